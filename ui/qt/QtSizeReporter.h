#pragma once

#include <QEvent>
#include <QWidget>

#include "ui/PaneControl.h"

// Tells the pane when its control changes size: nothing before the first show, 0 x 0 while
// hidden (minimised), the real size once shown again, and afterwards only real changes.
class QtSizeReporter {
  public:
    explicit QtSizeReporter(IPaneEvents& events) : m_events(events) {}

    // Call after the widget has handled the event.
    void OnEvent(const QWidget& widget, QEvent::Type type) {
        if (type == QEvent::Show) {
            m_mapped = true;
            Report(widget);
        } else if (type == QEvent::Hide) {
            if (!m_mapped) return;
            m_mapped = false;
            m_reportedSize = Size{0, 0};
            m_events.OnSizeChanged(0, 0);
        } else if (type == QEvent::Resize) {
            Report(widget);
        }
    }

  private:
    void Report(const QWidget& widget) {
        if (!m_mapped) return;
        const Size size{widget.width(), widget.height()};
        if (size == m_reportedSize) return;
        m_reportedSize = size;
        m_events.OnSizeChanged(size.width, size.height);
    }

    IPaneEvents& m_events;
    bool m_mapped = false;
    Size m_reportedSize{-1, -1};
};
