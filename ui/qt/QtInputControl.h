#pragma once

#include <QPointer>
#include <QString>
#include <QTextCharFormat>
#include <cstdint>

#include "ui/qt/InputEdit.h"
#include "ui/qt/QtPaneControl.h"

// The input line's control: the rich text operations the pane logic uses, on an InputEdit.
// Positions are those of the edit's document, where a paragraph break counts one character.
class QtInputControl : public QtPaneControl {
  public:
    QtInputControl(QWidget* parent, IPaneEvents& events);
    ~QtInputControl() override;
    QtInputControl(const QtInputControl&) = delete;
    QtInputControl& operator=(const QtInputControl&) = delete;

    void GetSelection(std::int32_t& start, std::int32_t& end) const override;
    void SetSelection(std::int32_t start, std::int32_t end) override;
    void ReplaceSelection(std::string_view text, bool keepUndo) override;
    void ReplaceSelectionUtf16(char16_t character, bool keepUndo) override;
    CharFormat GetSelectionFormat() const override;
    void SetSelectionFormat(const CharFormat& format) override;
    void SetAllFormat(const CharFormat& format) override;
    void SetFont(const std::string& face, unsigned pointSize) override;
    // Paragraph breaks come back as CR from a range and as CR LF from the whole text.
    std::string GetTextRange(std::int32_t start, std::int32_t end) const override;
    std::int32_t GetTextLength() const override;
    std::string GetText() const override;
    std::string GetUnicodeText() const override;
    void Clear() override;
    std::int32_t CharFromPos(std::int32_t x, std::int32_t y) const override;
    Rect GetFormattingRect() const override;
    void SetPasswordChar(char16_t character) override;
    void Move(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) override;
    Size GetClientSize() const override;
    void SetBackColour(Colour colour) override;
    void SetFocus() override;

    QWidget* Widget() const override { return m_edit; }
    bool IsOutput() const override { return false; }
    std::vector<FormattedChar> SelectionFragment() const override;

    InputEdit* Edit() const { return m_edit; }

  private:
    void Insert(const QString& text, bool keepUndo);
    CharFormat FromQt(const QTextCharFormat& format) const;
    void UpdatePalette();

    QPointer<InputEdit> m_edit;
    CharFormat m_default;
    Colour m_backColour = 0xFFFFFF;
};
