#include "ui/qt/QtPaneControl.h"

#include <QWidget>

#include "ui/qt/QtInputControl.h"
#include "ui/qt/QtOutputControl.h"
#include "ui/qt/QtPaneDesktop.h"

std::unique_ptr<IPaneControl> CreateQtPaneControl(QWidget* parent, bool isOutput, const Rect& rect,
                                                  IPaneEvents& events) {
    std::unique_ptr<QtPaneControl> control;
    if (isOutput) {
        control = std::make_unique<QtOutputControl>(parent, events);
    } else {
        control = std::make_unique<QtInputControl>(parent, events);
    }
    control->Move(rect.left, rect.top, rect.Width(), rect.Height());
    control->Widget()->show();
    return control;
}

QtPaneControl* AsQtPaneControl(IPaneControl* control) {
    return dynamic_cast<QtPaneControl*>(control);
}

IPaneDesktop* QtPaneFactory::PaneDesktop() { return &QtDesktop(); }
