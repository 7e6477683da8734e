#pragma once

// A pane control that only counts what the pane logic gives it, so that figures are the pane
// logic's own.
#include <memory>
#include <string>
#include <string_view>

#include "ui/PaneControl.h"

// A control that only counts what it is given, so the figures are the pane logic's own.
class CountingControl : public IPaneControl {
  public:
    void GetSelection(std::int32_t& start, std::int32_t& end) const override {
        start = end = m_caret;
    }
    void SetSelection(std::int32_t start, std::int32_t) override { m_caret = start; }
    void ReplaceSelection(std::string_view text, bool) override { bytes += text.size(); }
    void ReplaceSelectionUtf16(char16_t, bool) override { ++bytes; }
    CharFormat GetSelectionFormat() const override { return m_format; }
    void SetSelectionFormat(const CharFormat& format) override {
        m_format = format;
        ++formats;
    }
    void SetAllFormat(const CharFormat& format) override { m_format = format; }
    void SetFont(const std::string&, unsigned) override {}
    std::string GetTextRange(std::int32_t, std::int32_t) const override { return {}; }
    std::int32_t GetTextLength() const override { return 0; }
    std::string GetText() const override { return {}; }
    void Clear() override {}
    std::int32_t CharFromPos(std::int32_t, std::int32_t) const override { return 0; }
    Rect GetFormattingRect() const override { return {}; }
    void SetPasswordChar(char16_t) override {}
    void Move(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}
    Size GetClientSize() const override { return {640, 480}; }
    void SetBackColour(Colour) override {}
    void SetFocus() override {}

    std::size_t bytes = 0;
    std::size_t formats = 0;

  private:
    std::int32_t m_caret = 0;
    CharFormat m_format;
};

class CountingFactory : public IPaneFactory {
  public:
    std::unique_ptr<IPaneControl> CreatePaneControl(bool, const Rect&, IPaneEvents&) override {
        auto control = std::make_unique<CountingControl>();
        last = control.get();
        return control;
    }
    CountingControl* last = nullptr;
};
