#pragma once

#include <QPointer>
#include <cstdint>

#include "ui/qt/OutputView.h"
#include "ui/qt/QtPaneControl.h"

// The output pane's control: the rich text operations the pane logic uses, on an OutputView.
class QtOutputControl : public QtPaneControl {
  public:
    QtOutputControl(QWidget* parent, IPaneEvents& events);
    ~QtOutputControl() override;
    QtOutputControl(const QtOutputControl&) = delete;
    QtOutputControl& operator=(const QtOutputControl&) = delete;

    void GetSelection(std::int32_t& start, std::int32_t& end) const override;
    void SetSelection(std::int32_t start, std::int32_t end) override;
    void ReplaceSelection(std::string_view text, bool keepUndo) override;
    void ReplaceSelectionUtf16(char16_t character, bool keepUndo) override;
    CharFormat GetSelectionFormat() const override;
    void SetSelectionFormat(const CharFormat& format) override;
    void SetAllFormat(const CharFormat& format) override;
    void SetFont(const std::string& face, unsigned pointSize) override;
    std::string GetTextRange(std::int32_t start, std::int32_t end) const override;
    std::int32_t GetTextLength() const override;
    std::string GetText() const override;
    void Clear() override;
    std::int32_t CharFromPos(std::int32_t x, std::int32_t y) const override;
    Rect GetFormattingRect() const override;
    void SetPasswordChar(char16_t character) override;
    void Move(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) override;
    Size GetClientSize() const override;
    void SetBackColour(Colour colour) override;
    void SetScrollbackLines(std::int32_t lines) override;
    void GetSelectionEnds(std::int32_t& anchor, std::int32_t& caret) const override;
    std::int64_t TrimmedCharacters() const override;
    void SetFocus() override;

    QWidget* Widget() const override { return m_view; }
    bool IsOutput() const override { return true; }
    std::vector<FormattedChar> SelectionFragment() const override;

    OutputView* View() const { return m_view; }

  private:
    // The format text inserted at position takes: what was set on the empty selection there,
    // else that of the character before it (or after it at the start).
    CharFormat InsertionFormat(std::int32_t position) const;
    template <typename Char>
    void Replace(const Char* text, std::size_t count);

    QPointer<OutputView> m_view;
    bool m_hasInsertFormat = false;
    CharFormat m_insertFormat;
    std::int64_t m_insertPosition = 0;  // counting trimmed characters
    std::uint64_t m_insertSerial = 0;
};
