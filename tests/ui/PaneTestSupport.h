#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/RecordingPaneControl.h"
#include "ui/PaneNotify.h"
#include "ui/RichPane.h"
#include "ui/Window.h"

// A main window that only records what its panes tell it.
class NotifyRecorder : public CWindow {
  public:
    void OnNotify(const PaneNotify& notify) override { notes.push_back(notify); }
    std::vector<PaneNotify> notes;
};

// A pane created on a recording control.
class PaneFixture : public ::testing::Test {
  protected:
    void Make(bool isOutput) {
        ASSERT_TRUE(pane.Create(factory, &window, 0, 640, 400, isOutput));
        control = factory.last;
    }
    std::string Runs() const { return control->Runs(); }

    RecordingPaneFactory factory;
    NotifyRecorder window;
    CRichPane pane;
    RecordingPaneControl* control = nullptr;
};
