// Context menus, the clipboard, links and accelerators on the real Qt widgets and clipboard.
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <mutex>

#include "QtFixtures.h"
#include "ui/PaneMenu.h"
#include "ui/RichPane.h"
#include "ui/Window.h"
#include "ui/qt/OutputView.h"
#include "ui/qt/QtPaneDesktop.h"

namespace {

// The Qt desktop with its beep counted and URLs recorded instead of opened.
class TestDesktop : public QtPaneDesktop {
  public:
    void Beep() override { ++beeps; }
    UrlOpener Opener() override {
        return [this](const std::string& url) {
            std::lock_guard guard(lock);
            opened.push_back(url);
        };
    }
    std::vector<std::string> Opened() {
        std::lock_guard guard(lock);
        return opened;
    }
    // Waits a little for the link worker.
    std::vector<std::string> OpenedSoon(std::size_t count) {
        for (int i = 0; i < 200 && Opened().size() < count; ++i) usleep(10000);
        return Opened();
    }

    int beeps = 0;
    std::mutex lock;
    std::vector<std::string> opened;
};

class Notes : public CWindow {
  public:
    void OnNotify(const PaneNotify& notify) override { notes.push_back(notify); }
    std::vector<PaneNotify> notes;
};

std::string ClipboardText() { return QGuiApplication::clipboard()->text().toStdString(); }

class PaneMenuOnQt : public PanesOnQt<Notes> {
  protected:
    void SetUp() override {
        PanesOnQt::SetUp();
        if (HasFatalFailure()) return;
        output.SetPaneDesktop(&desktop);
        input.SetPaneDesktop(&desktop);
        output.SetUrlPrefixes({"http://", "www.", "telnet://"});
        QGuiApplication::clipboard()->clear();
        ProcessEvents();
    }
    QWidget* OutputViewport() {
        return static_cast<OutputView*>(AsQtPaneControl(output.Control())->Widget())->viewport();
    }
    // Moves the mouse over the first row of the output pane, at a character column.
    void MouseOverColumn(int column) {
        const QPoint at(OutputView::kMarginLeft + column * 8 + 1, OutputView::kMarginTop + 3);
        QMouseEvent move(QEvent::MouseMove, at, OutputViewport()->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(OutputViewport(), &move);
    }
    void Click() {
        const QPoint at(OutputView::kMarginLeft + 1, OutputView::kMarginTop + 3);
        const QPoint global = OutputViewport()->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(OutputViewport(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(OutputViewport(), &release);
    }

    TestDesktop desktop;
};

TEST_F(PaneMenuOnQt, CopyPutsTextAndHtmlAndTaggedCopyOnlyTags) {
    output.MenuCommand(PaneCommand::kCopy);
    EXPECT_EQ(desktop.beeps, 1);
    EXPECT_EQ(ClipboardText(), "");

    // Red bold text, then plain.
    output.Append(
        "\xC4"
        "FF0000\xE0"
        "Red\xBE"
        " plain\r\n");
    output.Control()->SetSelection(0, 9);
    output.MenuCommand(PaneCommand::kCopy);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(data->text().toStdString(), "Red plain");
    ASSERT_TRUE(data->hasHtml());

    // The formatted form pastes into the input line as tags; plain as the text.
    input.MenuCommand(PaneCommand::kPaste);
    EXPECT_EQ(input.GetText(), "<-b><-cff0000>Red<-0> plain");
    input.MenuCommand(PaneCommand::kSelectAll);
    input.MenuCommand(PaneCommand::kPastePlain);
    EXPECT_EQ(input.GetText(), "Red plain");
    // Not in the output pane.
    output.MenuCommand(PaneCommand::kPaste);
    EXPECT_EQ(output.GetText(), "Red plain\r\n");

    output.Control()->SetSelection(0, 3);
    output.MenuCommand(PaneCommand::kCopyTagged);
    EXPECT_EQ(ClipboardText(), "<-b><-cff0000>Red");
    EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasHtml());
    EXPECT_EQ(desktop.beeps, 1);
}

TEST_F(PaneMenuOnQt, LinksUnderTheMouseShowTheHandAndClicksOpenThem) {
    output.Append("WWW.Site.ORG/a telnet://mud.org:23 ab\r\n");
    MouseOverColumn(3);
    EXPECT_TRUE(output.IsOverUrl());
    EXPECT_EQ(OutputViewport()->cursor().shape(), Qt::PointingHandCursor);
    output.MenuCommand(PaneCommand::kCopyUrl);
    EXPECT_EQ(ClipboardText(), "WWW.Site.ORG/a");
    Click();
    EXPECT_EQ(desktop.OpenedSoon(1), std::vector<std::string>{"WWW.Site.ORG/a"});

    std::vector<PaneMenuItem> menu = PaneMenuItems(true);
    MouseOverColumn(20);
    EXPECT_EQ(output.HoverUrl(), "telnet://mud.org:23");
    output.UpdateMenu(menu);
    for (const PaneMenuItem& item : menu) {
        if (item.command == PaneCommand::kCopyUrl) {
            EXPECT_TRUE(item.enabled);
        } else if (item.command == PaneCommand::kSaveUrl) {
            EXPECT_FALSE(item.enabled);
        }
    }
    // A two-letter word is never a link; away from links the I-beam returns.
    MouseOverColumn(36);
    EXPECT_FALSE(output.IsOverUrl());
    EXPECT_EQ(OutputViewport()->cursor().shape(), Qt::IBeamCursor);
}

// The whole client: each accelerator reaches its command in the pane with the focus.
class AcceleratorsOnQt : public AppOnQtFixture {
  protected:
    void SetUp() override {
        AppOnQtFixture::SetUp();
        if (HasFatalFailure()) return;
        m_app->InputLine().SetPaneDesktop(&desktop);
        m_app->OutputPane().SetPaneDesktop(&desktop);
        QWidget* window = Widget(m_app->OutputPane())->window();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QGuiApplication::clipboard()->clear();
    }
    static QWidget* Widget(CRichPane& pane) { return AsQtPaneControl(pane.Control())->Widget(); }
    void Press(CRichPane& pane, Qt::Key key) {
        Widget(pane)->setFocus();
        ProcessEvents();
        QTest::keyClick(Widget(pane), key, Qt::ControlModifier);
        ProcessEvents();
    }

    TestDesktop desktop;
};

TEST_F(AcceleratorsOnQt, EveryKeyOfTheTableRunsItsCommandInTheFocusedPane) {
    CRichPane& input = m_app->InputLine();
    CRichPane& output = m_app->OutputPane();
    input.Control()->ReplaceSelection("go", false);
    Press(input, Qt::Key_A);
    for (Qt::Key key : {Qt::Key_B, Qt::Key_I, Qt::Key_U, Qt::Key_S}) Press(input, key);
    EXPECT_EQ(input.GetText(), "<-s><-u><-i><-b>go<-/b><-/i><-/u><-/s>");
    Press(input, Qt::Key_A);
    Press(input, Qt::Key_X);
    EXPECT_EQ(input.GetText(), "");
    EXPECT_EQ(ClipboardText(), "<-s><-u><-i><-b>go<-/b><-/i><-/u><-/s>");
    Press(input, Qt::Key_V);
    Press(input, Qt::Key_V);
    EXPECT_EQ(input.GetText(),
              "<-s><-u><-i><-b>go<-/b><-/i><-/u><-/s>"
              "<-s><-u><-i><-b>go<-/b><-/i><-/u><-/s>");
    // Ctrl+D copies tagged rather than deleting a character.
    input.Control()->SetSelection(0, 4);
    Press(input, Qt::Key_D);
    EXPECT_EQ(ClipboardText(), "<-s>");
    EXPECT_EQ(input.GetText().size(), 76u);
    Press(input, Qt::Key_G);
    const std::vector<std::string> searched = desktop.OpenedSoon(1);
    ASSERT_EQ(searched.size(), 1u);
    EXPECT_EQ(searched[0], m_app->SearchUrlPrefix() + "<-s>");

    output.Append("server text\r\n");
    Press(output, Qt::Key_A);
    Press(output, Qt::Key_C);
    EXPECT_EQ(ClipboardText(), output.GetText());
    EXPECT_TRUE(ClipboardText().ends_with("server text\r\n"));
    Press(output, Qt::Key_H);
    EXPECT_TRUE(output.IsHeldByUser());
    EXPECT_FALSE(input.IsHeldByUser());
    Press(output, Qt::Key_H);
    EXPECT_FALSE(output.IsHeldByUser());
    EXPECT_EQ(desktop.beeps, 0);
}

}  // namespace
