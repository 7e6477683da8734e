#pragma once

// The real client on the real Qt event loop, for benchmarks that time what the player sees:
// a private settings folder, the installation's link prefixes, and a hook after each paint of
// a widget. Header only, since every bench/*.cpp is a program of its own.
#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/App.h"
#include "bench/BenchSupport.h"
#include "ui/qt/QtPaneControl.h"

namespace bench {

// A fresh folder for the client's working directory and settings, with an installation's
// program configuration in it; the client starts there.
inline void PrepareClientFolder(const std::string& name) {
    const auto folder = std::filesystem::temp_directory_path() / name;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    std::ofstream(folder / CApp::kProgramConfigFile) << InstalledUrlPrefixSetting();
}

// The widget that paints a pane: the viewport of its scroll area.
inline QWidget* PaintedWidget(CRichPane& pane) {
    QtPaneControl* control = AsQtPaneControl(pane.Control());
    if (!control) return nullptr;
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control->Widget())) return area->viewport();
    return control->Widget();
}

// Calls back right after each paint of a widget has run (not when it is requested): the paint
// is delivered from inside the filter, then the time is taken.
class PaintWatch : public QObject {
  public:
    using Painted = std::function<void(Clock::time_point)>;
    PaintWatch(QWidget* widget, Painted painted) : m_painted(std::move(painted)) {
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || m_inside) return false;
        m_inside = true;
        QCoreApplication::sendEvent(watched, event);
        m_inside = false;
        m_painted(Clock::now());
        return true;
    }

  private:
    Painted m_painted;
    bool m_inside = false;
};

}  // namespace bench
