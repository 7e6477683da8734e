// Entry point: the Qt front end wired to the application object.
#include <QApplication>

#include <new>

#include "app/App.h"
#include "ui/qt/QtPlatform.h"

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
        app->Run();
        app->Destroy();
    } else {
        exitCode = -1;
    }
    delete app;
    return exitCode;
}
