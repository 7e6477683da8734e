#include "ui/qt/QtPlatform.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>

#include "ui/qt/QtMainWindow.h"
#include "ui/qt/QtPaneControl.h"
#include "ui/qt/QtSound.h"
#include "ui/qt/QtTextMeasure.h"

// The session manager's "die" and the platform's own quit arrive as a Quit event to the
// application object; QCoreApplication::quit() and aboutToQuit do nothing outside exec(), which
// the loop does not use. Left to QApplication, the event would only close the windows, asking
// about downloads while the session goes away.
class QtPlatform::QuitWatcher : public QObject {
  public:
    explicit QuitWatcher(bool& quitRequested) : m_quitRequested(quitRequested) {
        QCoreApplication::instance()->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Quit || watched != QCoreApplication::instance()) {
            return false;
        }
        m_quitRequested = true;
        event->accept();
        return true;
    }

  private:
    bool& m_quitRequested;
};

QtPlatform::QtPlatform()
    : m_textMeasure(CreateQtTextMeasure()),
      m_quitWatcher(std::make_unique<QuitWatcher>(m_quitRequested)) {}

QtPlatform::~QtPlatform() = default;

int QtPlatform::RegisterWindowClass(const std::string&) {
    // Qt has no window classes to register.
    return 0;
}

void QtPlatform::UnregisterWindowClass(const std::string&) {}

std::unique_ptr<IWindowPort> QtPlatform::CreateWindow(const WindowCreateParams& params,
                                                      CWindow& owner, int& errorCode) {
    errorCode = 0;
    return std::make_unique<QtWindowPort>(owner, params);
}

bool QtPlatform::ProcessEvents(bool wait) {
    QCoreApplication::processEvents(wait ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
    // The repaint that input asks for is posted; handled here, a typed key is painted before
    // the tick that follows rather than after it.
    QCoreApplication::sendPostedEvents();
    // Objects handed to deleteLater() are otherwise only deleted by a running QEventLoop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return !m_quitRequested;
}

void QtPlatform::ShowMessageBox(const std::string& text, const std::string& caption,
                                MessageBoxKind) {
    QMessageBox::critical(nullptr, QString::fromLatin1(caption.c_str()),
                          QString::fromLatin1(text.c_str()));
}

ITextMeasure& QtPlatform::TextMeasure() { return *m_textMeasure; }

::Size QtPlatform::DefaultFrameSize() {
    // The window manager's frame is known only once a window is shown.
    return ::Size{0, 0};
}

void QtPlatform::Beep() { QApplication::beep(); }

void QtPlatform::PlaySoundFile(const std::string& path) {
    if (!m_sound) m_sound = std::make_unique<QtSound>();
    m_sound->Play(path);
}

void ShowStartupError(const std::string& text) {
    QMessageBox::critical(nullptr, "Error", QString::fromLatin1(text.c_str()));
}
