#include "QtTestSupport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <cstdio>

namespace {

QApplication* g_application = nullptr;

// The application goes before the process exits: Qt cannot be torn down from exit handlers.
class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { TestApplication(); }
    void TearDown() override {
        delete g_application;
        g_application = nullptr;
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "qt_tests";
    static char* argv[] = {name, nullptr};
    if (g_application == nullptr) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        g_application = new QApplication(argc, argv);
    }
    return *g_application;
}

PaneUnderTest::PaneUnderTest(bool isOutput, Rect rect) {
    TestApplication();
    host = std::make_unique<QWidget>();
    host->resize(rect.right + 20, rect.bottom + 20);
    control = CreateQtPaneControl(host.get(), isOutput, rect, events);
    host->show();
    ProcessEvents();
}

PaneUnderTest::~PaneUnderTest() {
    control.reset();
    host.reset();
}

void SendKey(QWidget* widget, int qtKey, Qt::KeyboardModifiers modifiers, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, qtKey, modifiers, text);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, qtKey, modifiers, text);
    QCoreApplication::sendEvent(widget, &release);
}

void ProcessEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

CharFormat ColourFormat(Colour colour) {
    CharFormat format;
    format.mask = CharFormat::kColour;
    format.textColour = colour;
    return format;
}

CharFormat EffectsFormat(std::uint32_t effectsOn, std::uint32_t mask) {
    CharFormat format;
    format.mask = mask;
    format.effects = effectsOn;
    return format;
}

std::string DescribeRuns(const std::vector<FormattedChar>& fragment) {
    std::string result;
    for (std::size_t i = 0; i < fragment.size(); ++i) {
        const CharFormat& format = fragment[i].format;
        if (i == 0 || !(format == fragment[i - 1].format)) {
            result += "[";
            if (format.effects & CharFormat::kBold) result += "b";
            if (format.effects & CharFormat::kItalic) result += "i";
            if (format.effects & CharFormat::kUnderline) result += "u";
            if (format.effects & CharFormat::kStrikeout) result += "s";
            char colour[8];
            std::snprintf(colour, sizeof colour, "%02x%02x%02x", format.textColour & 0xFF,
                          (format.textColour >> 8) & 0xFF, (format.textColour >> 16) & 0xFF);
            result += ":";
            result += colour;
            result += "]";
        }
        const char16_t c = fragment[i].character;
        result.push_back(c == u'\n' ? '|' : (c > 0x7F ? '?' : static_cast<char>(c)));
    }
    return result;
}

std::string DescribeControl(IPaneControl& control) {
    control.SetSelection(0, IPaneControl::kEnd);
    return DescribeRuns(AsQtPaneControl(&control)->SelectionFragment());
}
