// The whole client on the Qt front end: the application object on the real Qt loop and widgets.
#include <unistd.h>
#include <QCoreApplication>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <string>

#include "QtFixtures.h"

namespace {

class AppOnQt : public AppOnQtFixture {
  protected:
    void SetUp() override {
        AppOnQtFixture::SetUp();
        ProcessEvents();
    }

    QWidget* OutputWidget() { return AsQtPaneControl(m_app->OutputPane().Control())->Widget(); }
    QWidget* InputWidget() { return AsQtPaneControl(m_app->InputLine().Control())->Widget(); }
    std::string SettingsFile() const { return m_dir.Path() + "/config/OstrakClient/Settings.cfg"; }

    // Runs the client's own loop until it ends. A loop that does not end by itself (or stops in
    // a message box) is ended after a few seconds, and that is reported.
    bool RunEndsWithin5Seconds() {
        bool timedOut = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            timedOut = true;
            if (QWidget* box = QApplication::activeModalWidget()) box->close();
            if (IWindowPort* window = m_app->Port(); window && window->Exists()) {
                window->DestroyWindow();
            }
        });
        guard.start(5000);
        m_app->Run();
        return !timedOut;
    }
};

TEST_F(AppOnQt, TypingInTheOutputPaneTypesIntoTheInputLineTabIncluded) {
    OutputWidget()->setFocus();
    ProcessEvents();
    SendKey(OutputWidget(), Qt::Key_N, Qt::NoModifier, "n");
    // Tab must neither move the focus nor get lost on the way.
    OutputWidget()->setFocus();
    SendKey(OutputWidget(), Qt::Key_Tab, Qt::NoModifier, "\t");
    OutputWidget()->setFocus();
    SendKey(OutputWidget(), Qt::Key_Escape, Qt::NoModifier, "\x1b");
    OutputWidget()->setFocus();
    SendKey(OutputWidget(), Qt::Key_S, Qt::NoModifier, "s");
    ProcessEvents();
    EXPECT_EQ(m_app->InputLine().GetText(), "n\ts");
    EXPECT_TRUE(InputWidget()->hasFocus());
}

// The session manager's "die" and the platform's own quit reach the application object as a
// Quit event. The session is going away: no question about downloads, but the normal shutdown.
TEST_F(AppOnQt, SessionQuitEndsTheLoopWithoutAskingAndWritesTheSettings) {
    auto download = std::make_unique<DownloadRequest>();
    download->url = "http://127.0.0.1/file";
    m_app->Downloads().push_back(std::move(download));
    QTimer::singleShot(50, [] {
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    });
    EXPECT_TRUE(RunEndsWithin5Seconds());
    // The request's worker never ran; it is the shutdown's to clean up.
    m_app->Downloads().front()->ended = true;
    m_app->Destroy();
    m_created = false;
    const std::string settings = TempDir::Read(SettingsFile());
    EXPECT_NE(settings.find("Window.X = "), std::string::npos) << settings;
    EXPECT_NE(settings.find("Window.W = "), std::string::npos) << settings;
}

}  // namespace
