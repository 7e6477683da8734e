#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ui/Geometry.h"

// Colours are held as 0x00BBGGRR (red in the lowest byte), the form settings and tags are
// converted into.
using Colour = std::uint32_t;

// Character format of a run of pane text. Only the fields named by `mask` are meaningful.
struct CharFormat {
    static constexpr std::uint32_t kBold = 0x00000001;
    static constexpr std::uint32_t kItalic = 0x00000002;
    static constexpr std::uint32_t kUnderline = 0x00000004;
    static constexpr std::uint32_t kStrikeout = 0x00000008;
    static constexpr std::uint32_t kEffects = kBold | kItalic | kUnderline | kStrikeout;
    static constexpr std::uint32_t kColour = 0x40000000;
    static constexpr std::uint32_t kBackColour = 0x04000000;

    std::uint32_t mask = 0;
    std::uint32_t effects = 0;  // kBold | kItalic | kUnderline | kStrikeout
    Colour textColour = 0;
    Colour backColour = 0;

    bool operator==(const CharFormat&) const = default;
};

// Key codes the panes act on (the values of the usual virtual-key codes).
namespace Key {
constexpr int kReturn = 13;
constexpr int kLineFeed = 10;
constexpr int kUp = 0x26;
constexpr int kDown = 0x28;
}  // namespace Key

struct KeyModifiers {
    bool ctrl = false;
    bool shift = false;
    bool alt = false;
};

// What a pane control reports to the pane that owns it. The control calls these on the UI
// thread from its own event handling.
class IPaneEvents {
  public:
    virtual ~IPaneEvents() = default;
    virtual void OnFocusChanged(bool hasFocus) = 0;
    // The control's size changed (a zero width or height means it is minimised or hidden).
    virtual void OnSizeChanged(std::int32_t width, std::int32_t height) = 0;
    // A key went down; returning false swallows it before the control sees it.
    virtual bool OnKeyDown(int key, KeyModifiers modifiers) = 0;
    // A character was typed (after key translation).
    virtual void OnChar(unsigned characterCode, KeyModifiers modifiers) = 0;
    virtual void OnMouseMove(std::int32_t x, std::int32_t y) = 0;
    virtual void OnLeftButtonUp(std::int32_t x, std::int32_t y) = 0;
    // The player asked for the context menu at a screen point.
    virtual void OnContextMenu(std::int32_t, std::int32_t) {}
};

// Events nobody listens to: for controls made only to be measured.
class NullPaneEvents : public IPaneEvents {
  public:
    void OnFocusChanged(bool) override {}
    void OnSizeChanged(std::int32_t, std::int32_t) override {}
    bool OnKeyDown(int, KeyModifiers) override { return true; }
    void OnChar(unsigned, KeyModifiers) override {}
    void OnMouseMove(std::int32_t, std::int32_t) override {}
    void OnLeftButtonUp(std::int32_t, std::int32_t) override {}
};

// The narrow set of rich-text control operations the pane logic needs. Positions count UTF-16
// characters; kEnd stands for the end of the text. Byte text is in the ANSI code page (Latin-1
// here): each byte is one character.
class IPaneControl {
  public:
    static constexpr std::int32_t kEnd = 0x7FFFFFFF;

    virtual ~IPaneControl() = default;

    virtual void GetSelection(std::int32_t& start, std::int32_t& end) const = 0;
    virtual void SetSelection(std::int32_t start, std::int32_t end) = 0;
    // Replaces the selection with byte text; the inserted text takes the format set for the
    // selection, and the caret ends after it.
    virtual void ReplaceSelection(std::string_view text, bool keepUndo) = 0;
    // Replaces the selection with one UTF-16 character.
    virtual void ReplaceSelectionUtf16(char16_t character, bool keepUndo) = 0;

    // Format at the selection (of its first character, or the insertion format when empty).
    virtual CharFormat GetSelectionFormat() const = 0;
    // Applies the masked fields to the selection; on an empty selection to what is typed or
    // inserted there next.
    virtual void SetSelectionFormat(const CharFormat& format) = 0;
    // Applies the masked fields to all text and to the default format.
    virtual void SetAllFormat(const CharFormat& format) = 0;
    // Font of all text: face, size in points, fixed pitch.
    virtual void SetFont(const std::string& face, unsigned pointSize) = 0;

    // Text of [start, end) as bytes; characters above 0xFF come back as '?'.
    virtual std::string GetTextRange(std::int32_t start, std::int32_t end) const = 0;
    virtual std::int32_t GetTextLength() const = 0;
    virtual std::string GetText() const = 0;
    // The whole text with characters above 0xFF as Unicode escapes instead of '?'.
    virtual std::string GetUnicodeText() const { return GetText(); }
    virtual void Clear() = 0;

    virtual std::int32_t CharFromPos(std::int32_t x, std::int32_t y) const = 0;
    virtual Rect GetFormattingRect() const = 0;
    // 0 shows the text as it is.
    virtual void SetPasswordChar(char16_t character) = 0;

    // Window-level operations.
    virtual void Move(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) = 0;
    virtual Size GetClientSize() const = 0;
    virtual void SetBackColour(Colour colour) = 0;
    virtual void SetFocus() = 0;
    // The most lines the control keeps, the oldest going first; 0 keeps all. Controls without
    // a scrollback ignore it.
    virtual void SetScrollbackLines(std::int32_t) {}
    // The selection as the player made it: where it was started and where it ends now.
    virtual void GetSelectionEnds(std::int32_t& anchor, std::int32_t& caret) const {
        GetSelection(anchor, caret);
    }
    // Characters the scrollback limit has taken from the front so far; positions of text that
    // stays shift down by what is taken.
    virtual std::int64_t TrimmedCharacters() const { return 0; }
};

// Measures text in the pane font: the bold, italic, underlined, struck-out fixed-pitch font of
// the given face and point size.
class ITextMeasure {
  public:
    virtual ~ITextMeasure() = default;
    // A zero size when it cannot be measured.
    virtual Size MeasureText(const std::string& face, unsigned pointSize,
                             std::string_view text) = 0;
    // Width a control of the given role uses beyond its formatting rectangle (borders and
    // margins), so that the width for n columns can be computed.
    virtual std::int32_t ControlFrameWidth(bool isOutput) = 0;
};

class IPaneDesktop;

// Creates pane controls; provided by the main window's port.
class IPaneFactory {
  public:
    virtual ~IPaneFactory() = default;
    virtual std::unique_ptr<IPaneControl> CreatePaneControl(bool isOutput, const Rect& rect,
                                                            IPaneEvents& events) = 0;
    // Clipboard, menus, cursors and the URL opener for the panes; none on a bare factory.
    virtual IPaneDesktop* PaneDesktop() { return nullptr; }
};
