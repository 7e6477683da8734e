#pragma once

#include <memory>
#include <vector>

#include "ui/FormatCodes.h"
#include "ui/Geometry.h"
#include "ui/PaneControl.h"
#include "ui/qt/QtTextMeasure.h"  // CreateQtTextMeasure, for the platform

class QWidget;

// A pane control on a Qt widget, with what the front end needs beyond the pane logic's
// interface: the widget itself and the selection as formatted characters (for copying it with
// its formats).
class QtPaneControl : public IPaneControl {
  public:
    virtual QWidget* Widget() const = 0;
    virtual bool IsOutput() const = 0;
    // The selected characters with the format of each; paragraph breaks come as LF.
    virtual std::vector<FormattedChar> SelectionFragment() const = 0;
};

// Creates the control of the output pane (isOutput) or the input line as a child widget of
// parent, placed at rect and shown. The control owns its widget.
std::unique_ptr<IPaneControl> CreateQtPaneControl(QWidget* parent, bool isOutput, const Rect& rect,
                                                  IPaneEvents& events);

// Creates the pane controls as children of one host widget.
class QtPaneFactory : public IPaneFactory {
  public:
    explicit QtPaneFactory(QWidget* host) : m_host(host) {}
    std::unique_ptr<IPaneControl> CreatePaneControl(bool isOutput, const Rect& rect,
                                                    IPaneEvents& events) override {
        return CreateQtPaneControl(m_host, isOutput, rect, events);
    }
    IPaneDesktop* PaneDesktop() override;

  private:
    QWidget* m_host;
};

// The Qt side of a control created above; null for any other control.
QtPaneControl* AsQtPaneControl(IPaneControl* control);
