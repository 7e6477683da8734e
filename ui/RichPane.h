#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/FormatCodes.h"
#include "ui/InputHistory.h"
#include "ui/PaneControl.h"
#include "ui/PaneNotify.h"

class CWindow;

// One of the two panes of the main window (the output pane or the input line). The logic here
// is plain text processing; the control it drives is reached only through IPaneControl.
class CRichPane : public IPaneEvents {
  public:
    // Menu commands the pane answers itself.
    static constexpr int kCommandBold = 40011;
    static constexpr int kCommandItalic = 40012;
    static constexpr int kCommandUnderline = 40013;
    static constexpr int kCommandStrikeout = 40014;
    // The platform's face-name field holds 31 characters and its terminator.
    static constexpr std::size_t kMaxFontFaceLength = 31;
    static constexpr char16_t kPasswordChar = 0x25CF;

    CRichPane();
    ~CRichPane() override;
    CRichPane(const CRichPane&) = delete;
    CRichPane& operator=(const CRichPane&) = delete;

    // Creates the control at (0, top). The left edge is always 0.
    bool Create(IPaneFactory& instance, CWindow* parent, std::int32_t top, std::int32_t width,
                std::int32_t height, bool isOutput);
    // Destroys the control and restores every default except the URL prefixes.
    void Reset();
    void SetFont(const std::string& face, unsigned size);
    void SetUrlPrefixes(const std::vector<std::string>& prefixes);
    // Adds text to the pending text and displays what can be displayed; false while held.
    bool Append(std::string_view text, bool atSelection = false);
    void Flush();
    std::string GetText() const;
    std::string PopPmlTag();
    // Width in pixels of a control showing 100 columns; -1 on failure.
    std::int32_t PreferredWidth(ITextMeasure& measure) const;
    void WrapSelection(char letter);
    void SetPasswordMode(bool on);
    // Runs a menu or accelerator command; false for a command this pane does not know.
    bool MenuCommand(int id);
    // Plain text with format tags for a formatted fragment, relative to this pane's colours.
    std::string RtfToTags(const std::vector<FormattedChar>& fragment) const;

    IPaneControl* Control() const { return m_control.get(); }
    bool IsOutput() const { return m_isOutput != 0; }
    const CInputHistory& History() const { return m_history; }

    // IPaneEvents
    void OnFocusChanged(bool hasFocus) override;
    void OnSizeChanged(std::int32_t width, std::int32_t height) override;
    bool OnKeyDown(int key, KeyModifiers modifiers) override;
    void OnChar(unsigned characterCode, KeyModifiers modifiers) override;
    void OnMouseMove(std::int32_t x, std::int32_t y) override;
    void OnLeftButtonUp(std::int32_t x, std::int32_t y) override;

    // State the main window reads and writes.
    std::uint8_t m_isOutput = 1;
    std::string m_fontFace = "Courier New";
    unsigned m_fontSize = 10;
    std::uint8_t m_holdByUser = 0;
    std::uint8_t m_holdZeroSize = 0;
    std::uint8_t m_hasFocus = 0;
    std::uint8_t m_passwordMode = 0;
    Colour m_textColour = 0xd0d0d0;
    Colour m_backColour = 0x000000;
    std::string m_pending;
    std::uint8_t m_overUrl = 0;
    std::string m_hoverUrl;
    std::uint32_t m_savedEffects = 0;
    Colour m_savedTextColour = 0;
    Colour m_savedBackColour = 0;
    std::uint32_t m_urlEffects = 4;
    Colour m_urlTextColour = 0xffffff;
    Colour m_urlBackColour = 0x000000;
    std::uint8_t m_menuOpen = 0;
    std::vector<std::string> m_urlPrefixes;
    std::deque<std::string> m_pmlQueue;

  private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    // Where rendering inserts: at the end, or at a position that advances as text goes in.
    struct Insertion {
        std::int32_t position = IPaneControl::kEnd;
        bool atSelection = false;
        bool moveFirst = true;
    };

    // How far the previous Append got with text that is still pending, so that text waiting
    // for a closing delimiter is not scanned again from its start on every call. Indices count
    // from the start of m_pending; the state holds only while m_pending has `length` bytes.
    struct ScanState {
        std::size_t length = 0;
        // URL marking: positions before `urlFrom` are settled. With `urlSpan` set, `urlFrom`
        // lies inside a PML tag or Unicode escape whose closing byte is still being looked for.
        std::size_t urlFrom = 0;
        unsigned char urlSpan = 0;
        // Rendering: an opening 0x19 / 0x1A waiting for its closing byte, searched from
        // `closeFrom` on.
        std::size_t openMarker = kNone;
        std::size_t closeFrom = 0;
    };

    // Marks URLs in text; true when it put the marked text into m_marked.
    bool MarkUrls(std::string_view text);
    std::uint64_t ChunkHits(std::string_view src, std::size_t from) const;
    // Renders text; what cannot be rendered yet is left in m_pending.
    void Render(std::string_view text, bool textIsPending, bool atSelection);
    // Puts the selection where the next insertion or format change goes.
    void MoveToInsertion(const Insertion& at);
    void InsertPlain(std::string_view run, Insertion& at);
    void InsertUnicode(char16_t character, Insertion& at);
    void ApplyFormatCode(unsigned char code, Colour colour, const Insertion& at);
    void KeepPending(std::string_view text, bool textIsPending, std::size_t from);
    void ResetScanState();
    void ReplaceWholeText(const std::string& text);
    void Notify(PaneNotifyCode code, unsigned characterCode = 0, KeyModifiers modifiers = {});

    CWindow* m_parent = nullptr;
    std::unique_ptr<IPaneControl> m_control;
    CInputHistory m_history;
    ScanState m_scan;
    // The last byte rendered was a link start code: what follows continues that link.
    bool m_afterLinkStart = false;
    // What URL marking needs to know of each byte value.
    static constexpr unsigned char kUrlCandidate = 1;  // a prefix can begin with it
    static constexpr unsigned char kUrlBoundary = 2;   // a word can begin after it
    static constexpr unsigned char kUrlSpecial = 4;    // PML or Unicode delimiter, link start
    std::array<unsigned char, 256> m_urlClass{};
    // The distinct first two bytes of the prefixes (second 0 for a one-byte prefix), for the
    // chunk scan; none when it cannot be used.
    std::array<std::array<unsigned char, 2>, 8> m_urlPairs{};
    std::size_t m_urlPairCount = 0;
    // The selection was put at the end earlier in this render, and since then only insertions
    // at the end and format changes reached the control, which leave it there. Any event from
    // the control (the only way other code can run during a render) clears it.
    bool m_selectionAtEnd = false;
    // Text appended while a render is under way (a control event calling back) waits here.
    bool m_rendering = false;
    std::string m_appendedWhileRendering;
    std::string m_marked;  // reused buffer for URL marking
};
