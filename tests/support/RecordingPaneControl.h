#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/PaneControl.h"

// An in-memory rich edit control: UTF-16 text with a full character format per character, a
// selection and an insertion format. Text inserted at an empty selection takes the format set
// there since the selection last moved, otherwise the format of the character before it (the
// default format at the start); text replacing a selection takes the format of its first
// character.
class RecordingPaneControl : public IPaneControl {
  public:
    explicit RecordingPaneControl(IPaneEvents* events = nullptr, bool isOutput = true,
                                  Rect rect = Rect{0, 0, 640, 480});

    // IPaneControl
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
    std::string GetUnicodeText() const override;
    void Clear() override;
    std::int32_t CharFromPos(std::int32_t x, std::int32_t y) const override;
    Rect GetFormattingRect() const override;
    void SetPasswordChar(char16_t character) override;
    void Move(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) override;
    Size GetClientSize() const override;
    void SetBackColour(Colour colour) override;
    void SetFocus() override;
    void SetScrollbackLines(std::int32_t lines) override { scrollbackLines = lines; }

    // Test accessors.
    const std::u16string& TextUtf16() const { return m_text; }
    // The text as bytes; characters above 0xFF as '?'.
    std::string Text() const { return GetText(); }
    CharFormat FormatAt(std::size_t index) const { return m_formats.at(index); }
    const CharFormat& DefaultFormat() const { return m_default; }
    // The text as runs of equal format, each opened by its format relative to the default
    // format: "[b,c=ff0000]ab[]c". Attributes: b i u s, c=RRGGBB (text colour), bg=RRGGBB;
    // characters outside printable ASCII are written as {hex}, CR as \r and LF as \n.
    std::string Runs() const;
    // Runs of the characters [start, end) only.
    std::string Runs(std::size_t start, std::size_t end) const;

    bool isOutput = true;
    IPaneEvents* events = nullptr;
    Rect rect;
    std::string fontFace;
    unsigned fontSize = 0;
    int fontChanges = 0;
    Colour backColour = 0;
    char16_t passwordChar = 0;
    int passwordCharChanges = 0;
    int focusRequests = 0;
    int insertions = 0;                 // ReplaceSelection and ReplaceSelectionUtf16 calls
    int undoInsertions = 0;             // of which with keepUndo
    int selectionChanges = 0;           // SetSelection calls
    std::int32_t scrollbackLines = -1;  // what SetScrollbackLines was given last
    std::int32_t charFromPosResult = 0;
    std::optional<Rect> formattingRect;  // defaults to the client area less 2 pixels each side
    // Called after every insertion (to play a control that reports events while text goes in).
    std::function<void()> afterInsert;

  private:
    std::int32_t Clamp(std::int32_t position) const;
    CharFormat InsertionFormat() const;
    void Insert(const std::u16string& text, bool keepUndo);

    std::u16string m_text;
    std::vector<CharFormat> m_formats;
    std::int32_t m_selStart = 0;
    std::int32_t m_selEnd = 0;
    CharFormat m_default;
    // Format set on the empty selection since it last moved.
    std::optional<CharFormat> m_insertFormat;
};

// A factory that hands out RecordingPaneControls and remembers them.
class RecordingPaneFactory : public IPaneFactory {
  public:
    std::unique_ptr<IPaneControl> CreatePaneControl(bool isOutput, const Rect& rect,
                                                    IPaneEvents& events) override;

    bool fail = false;
    RecordingPaneControl* last = nullptr;
    int created = 0;
};

// Text measurement with fixed metrics: every character is charWidth × charHeight.
class RecordingTextMeasure : public ITextMeasure {
  public:
    Size MeasureText(const std::string& face, unsigned pointSize, std::string_view text) override;
    std::int32_t ControlFrameWidth(bool isOutput) override;

    std::int32_t charWidth = 8;
    std::int32_t charHeight = 16;
    std::int32_t frameWidth = 12;
    bool fail = false;
    std::string lastFace;
    unsigned lastPointSize = 0;
};
