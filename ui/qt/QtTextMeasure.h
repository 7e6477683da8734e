#pragma once

#include <memory>

#include "ui/PaneControl.h"

// Measures text in the pane font with Qt's font metrics. Needs the Qt application object.
class QtTextMeasure : public ITextMeasure {
  public:
    Size MeasureText(const std::string& face, unsigned pointSize, std::string_view text) override;
    std::int32_t ControlFrameWidth(bool isOutput) override;
};

std::unique_ptr<ITextMeasure> CreateQtTextMeasure();
