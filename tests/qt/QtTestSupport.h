#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "ui/PaneControl.h"
#include "ui/qt/QtPaneControl.h"

// One application object for all widget tests, on the offscreen platform.
QApplication& TestApplication();

// Records what a control reports; OnKeyDown answers with `allowKeys` unless a key is vetoed.
class RecordingEvents : public IPaneEvents {
  public:
    struct KeyDown {
        int key;
        KeyModifiers modifiers;
    };

    void OnFocusChanged(bool hasFocus) override { focus.push_back(hasFocus); }
    void OnSizeChanged(std::int32_t width, std::int32_t height) override {
        sizes.push_back(Size{width, height});
    }
    bool OnKeyDown(int key, KeyModifiers modifiers) override {
        keys.push_back({key, modifiers});
        for (int vetoed : vetoedKeys) {
            if (vetoed == key) return false;
        }
        return true;
    }
    void OnChar(unsigned characterCode, KeyModifiers) override { chars.push_back(characterCode); }
    void OnMouseMove(std::int32_t x, std::int32_t y) override { moves.push_back(Size{x, y}); }
    void OnLeftButtonUp(std::int32_t x, std::int32_t y) override { clicks.push_back(Size{x, y}); }

    std::vector<bool> focus;
    std::vector<Size> sizes;
    std::vector<KeyDown> keys;
    std::vector<int> vetoedKeys;
    std::vector<unsigned> chars;
    std::vector<Size> moves;
    std::vector<Size> clicks;
};

// A top-level host widget with one pane control in it, shown offscreen.
struct PaneUnderTest {
    explicit PaneUnderTest(bool isOutput, Rect rect = Rect{0, 0, 400, 200});
    ~PaneUnderTest();

    IPaneControl& operator*() const { return *control; }
    IPaneControl* operator->() const { return control.get(); }
    QWidget* Widget() const { return AsQtPaneControl(control.get())->Widget(); }

    RecordingEvents events;
    std::unique_ptr<QWidget> host;
    std::unique_ptr<IPaneControl> control;
};

void SendKey(QWidget* widget, int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
             const QString& text = QString());
void ProcessEvents();

// A format with only the named fields.
CharFormat ColourFormat(Colour colour);
CharFormat EffectsFormat(std::uint32_t effectsOn, std::uint32_t mask);

// Runs of a fragment as "[b:ff0000]ab[:d0d0d0]c": effects letters and the text colour RRGGBB.
std::string DescribeRuns(const std::vector<FormattedChar>& fragment);
// The whole text of a control with its formats, described as above (selects all first).
std::string DescribeControl(IPaneControl& control);
