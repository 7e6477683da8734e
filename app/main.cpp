// Entry point: the Qt front end wired to the application object.
#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <new>

#include <fcntl.h>
#include <unistd.h>

#include "app/App.h"
#include "ui/qt/QtPlatform.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_signalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP close the window like the player would, without asking, so that
// the shutdown still writes the settings.
void CloseOnTerminationSignals(CApp& app, QObject& owner) {
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &owner);
    QObject::connect(notifier, &QSocketNotifier::activated, [&app] {
        char drained[16];
        while (read(g_signalPipe[0], drained, sizeof drained) > 0) {
        }
        if (IWindowPort* window = app.Port(); window && window->Exists()) window->DestroyWindow();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QtPlatform platform;

    CApp* app = new (std::nothrow) CApp();
    if (!app) {
        ShowStartupError("Out of Memory!");
        return -1;
    }
    int exitCode = 0;
    if (app->Create(&platform)) {
        CloseOnTerminationSignals(*app, application);
        app->Run();
        app->Destroy();
    } else {
        exitCode = -1;
    }
    delete app;
    return exitCode;
}
