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
#include "ui/LinkWorker.h"
#include "ui/PaneControl.h"
#include "ui/PaneDesktop.h"
#include "ui/PaneNotify.h"

class CWindow;

// How a pane looks: what the settings choose before the panes are created. The defaults here are
// the panes' own.
struct PaneStyle {
    std::string fontFace = "Courier New";
    unsigned fontSize = 10;
    Colour textColour = 0xd0d0d0;
    Colour backColour = 0x000000;
    // Effects of links: CharFormat::kBold, kItalic, kUnderline, kStrikeout.
    std::uint32_t urlEffects = CharFormat::kUnderline;
    // 0xFFFFFFFF leaves the colour of the text under the link as it is.
    Colour urlTextColour = 0xffffff;
    Colour urlBackColour = 0x000000;
    // Lines the output pane keeps, the oldest going first; 0 keeps all.
    std::int32_t scrollbackLines = 1000000;
};

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
    // Bounds no honest server reaches. Held text beyond kMaxHeldText loses its oldest part, as
    // trimmed scrollback does; a PML tag or Unicode escape open for more than kMaxOpenSpan bytes
    // is closed there (the tag is queued with those bytes, the escape inserts nothing).
    static constexpr std::size_t kMaxHeldText = std::size_t{16} << 20;
    static constexpr std::size_t kMaxOpenSpan = std::size_t{1} << 20;

    CRichPane();
    ~CRichPane() override;
    CRichPane(const CRichPane&) = delete;
    CRichPane& operator=(const CRichPane&) = delete;

    // Creates the control at (0, top). The left edge is always 0.
    bool Create(IPaneFactory& instance, CWindow* parent, std::int32_t top, std::int32_t width,
                std::int32_t height, bool isOutput);
    // Destroys the control and restores every default except the URL prefixes.
    void Reset();
    // Takes the whole style at once; an existing control is restyled.
    void ApplyStyle(const PaneStyle& style);
    PaneStyle Style() const;
    void SetFont(const std::string& face, unsigned size);
    void SetUrlPrefixes(const std::vector<std::string>& prefixes);
    // Adds text to the pending text and displays what can be displayed; false while held.
    bool Append(std::string_view text, bool atSelection = false);
    void Flush();
    std::string GetText() const;
    // As GetText, with characters above 0xFF as Unicode escapes.
    std::string GetUnicodeText() const;
    std::string PopPmlTag();
    bool HasPmlTags() const { return !m_pmlQueue.empty(); }
    const std::deque<std::string>& PmlQueue() const { return m_pmlQueue; }
    // Server text: appended as it is, remembering whether it left its line open. A client
    // message (any other Append at the end) after an open line starts on a new line.
    bool AppendReceived(std::string_view text);
    // Text shown for now (a prompt whose line has not ended): TakeBackProvisional takes it
    // out of the control again with the format state it changed, SettleProvisional keeps it
    // as ordinary text. A further call adds to it. Nothing is shown for now while the pane is
    // held or text waits in it, and a part with a PML tag or a Unicode escape (whose effects
    // cannot be taken back) ends the showing until the line is taken back or settled.
    void ShowProvisional(std::string_view text);
    void TakeBackProvisional();
    void SettleProvisional();
    bool HasProvisional() const { return m_provisional.active; }
    // Closes every PML tag left open by dropping all PML delimiters from the pending text; the
    // text they held back is shown by the next Append.
    void ResetPml();
    // Text appended but not yet displayed (held, or waiting for a closing delimiter).
    const std::string& Pending() const { return m_pending; }
    bool IsHeldByUser() const { return m_holdByUser != 0; }
    void SetHoldByUser(bool on) { m_holdByUser = on ? 1 : 0; }
    bool HasFocus() const { return m_hasFocus != 0; }
    const std::string& FontFace() const { return m_fontFace; }
    unsigned FontSize() const { return m_fontSize; }
    // The line under the mouse is gone (the input line was cleared).
    void ClearHoverUrl() {
        m_overUrl = 0;
        m_hoverUrl.clear();
    }
    bool IsPasswordMode() const { return m_passwordMode != 0; }
    const std::vector<std::string>& UrlPrefixes() const { return m_urlPrefixes; }
    // Width in pixels of a control showing 100 columns; -1 on failure.
    std::int32_t PreferredWidth(ITextMeasure& measure) const;
    void WrapSelection(char letter);
    void SetPasswordMode(bool on);
    // Runs a menu or accelerator command; false for a command this pane does not know.
    bool MenuCommand(int id);
    // Shows the pane's context menu at a screen point and runs the command chosen.
    void ShowContextMenu(std::int32_t screenX, std::int32_t screenY);
    // Sets the enabled state and check mark of each item from the selection, clipboard and link.
    void UpdateMenu(std::vector<PaneMenuItem>& menu) const;
    // Puts the selection on the clipboard: plain text with its formatted form, or (tagged) the
    // text with format tags alone. False for an empty selection or a clipboard that failed.
    bool Copy(bool tagged);
    // Replaces the selection with the clipboard's text: the formatted form as format tags
    // unless plain is asked for or there is none.
    bool Paste(bool plain);
    // Whether the word at the point begins with a URL prefix; the word goes to the hover URL.
    bool UrlAt(std::int32_t x, std::int32_t y);
    void ChooseCursor();
    // Hands the URL to the link worker, replacing one it has not taken yet.
    void OpenUrl(const std::string& url);
    // Replaces the desktop the factory gave (tests); restarts the link worker with its opener.
    void SetPaneDesktop(IPaneDesktop* desktop);
    bool IsOverUrl() const { return m_overUrl != 0; }
    const std::string& HoverUrl() const { return m_hoverUrl; }
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
    void OnContextMenu(std::int32_t screenX, std::int32_t screenY) override;

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
    // from the start of m_pending.
    struct ScanState {
        // URL marking: positions before `urlFrom` are settled. With `urlSpan` set, `urlFrom`
        // lies inside a PML tag or Unicode escape whose closing byte is still being looked for.
        std::size_t urlFrom = 0;
        unsigned char urlSpan = 0;
        // Rendering: an opening 0x19 / 0x1A waiting for its closing byte, searched from
        // `closeFrom` on.
        std::size_t openMarker = kNone;
        std::size_t closeFrom = 0;
    };

    // Text shown for now and the state from before it, to go back to.
    // What rendering text changes of the pane's own state, so provisional text can be taken
    // back without a trace.
    struct RenderState {
        CharFormat format;
        bool linkOpen = false;
        std::uint32_t savedEffects = 0;
        Colour savedTextColour = 0;
        Colour savedBackColour = 0;
        bool afterLinkStart = false;
        bool lineOpen = false;
    };
    RenderState CaptureRenderState() const;
    void RestoreRenderState(const RenderState& state);
    struct Provisional {
        bool active = false;
        bool refused = false;
        std::string text;
        std::int32_t characters = 0;  // what it put into the control
        RenderState before;
    };
    // A client message: after an open line it starts a new one, and a provisional prompt
    // stays below it.
    bool AppendMessage(std::string_view text);
    bool AppendUnchecked(std::string_view text);

    // Marks URLs in text; true when it put the marked text into m_marked.
    bool MarkUrls(std::string_view text);
    std::uint64_t ChunkHits(std::string_view src, std::size_t from) const;
    // Renders text; what cannot be rendered yet is left in m_pending.
    void Render(std::string_view text, bool textIsPending, bool atSelection);
    // Puts the selection where the next insertion or format change goes.
    void MoveToInsertion(const Insertion& at);
    // Puts the player's selection in the output pane back after the pane inserted at the end
    // (which moves the control's selection there), shifted by what the scrollback took.
    class SelectionKeeper {
      public:
        explicit SelectionKeeper(CRichPane& pane);
        ~SelectionKeeper();
        SelectionKeeper(const SelectionKeeper&) = delete;
        SelectionKeeper& operator=(const SelectionKeeper&) = delete;

      private:
        CRichPane& m_pane;
        bool m_active = false;
        std::int64_t m_anchor = 0;
        std::int64_t m_caret = 0;
    };
    void InsertPlain(std::string_view run, Insertion& at);
    void InsertUnicode(char16_t character, Insertion& at);
    void ApplyFormatCode(unsigned char code, Colour colour, const Insertion& at);
    void KeepPending(std::string_view text, bool textIsPending, std::size_t from);
    // Drops the oldest held text, at a line end where one is near, down to 3/4 of the bound.
    void DropOldestHeld();
    void ForgetUrlScan();
    void ResetScanState();
    void ReplaceWholeText(const std::string& text);
    void Notify(PaneNotifyCode code, unsigned characterCode = 0, KeyModifiers modifiers = {});
    void NotifyText(PaneNotifyCode code, const std::string& text);
    void Beep();
    bool CopyHoverUrl();
    void SelectedRange(std::int32_t& start, std::int32_t& end) const;
    void ClearText();

    // Every field of the pane's state back to its default (the URL prefixes stay).
    void RestoreDefaults();
    // The format in effect at the end of the text with no code applied yet.
    CharFormat DefaultFormat() const;

    CWindow* m_parent = nullptr;
    std::unique_ptr<IPaneControl> m_control;
    std::uint8_t m_isOutput = 1;
    std::string m_fontFace;
    unsigned m_fontSize = 0;
    std::uint8_t m_holdByUser = 0;
    std::uint8_t m_holdZeroSize = 0;
    std::uint8_t m_hasFocus = 0;
    std::uint8_t m_passwordMode = 0;
    Colour m_textColour = 0;
    Colour m_backColour = 0;
    std::string m_pending;
    std::uint8_t m_overUrl = 0;
    std::string m_hoverUrl;
    std::uint32_t m_savedEffects = 0;
    Colour m_savedTextColour = 0;
    Colour m_savedBackColour = 0;
    std::uint32_t m_urlEffects = 0;
    Colour m_urlTextColour = 0;
    Colour m_urlBackColour = 0;
    std::int32_t m_scrollbackLines = 0;
    std::uint8_t m_menuOpen = 0;
    std::vector<std::string> m_urlPrefixes;
    std::deque<std::string> m_pmlQueue;
    // The format the rendered codes left at the end of the text (every field masked). The
    // control forgets what was set for its insertion point whenever its selection moves (a
    // click, a drag), so this is applied again when rendering comes back to the end.
    CharFormat m_format;
    // A link start was rendered and its end has not come yet.
    bool m_linkOpen = false;
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
    // Set while a SelectionKeeper looks after the selection, so nested inserts leave it alone.
    bool m_keepingSelection = false;
    // Text appended while a render is under way (a control event calling back) waits here.
    bool m_rendering = false;
    std::string m_appendedWhileRendering;
    std::string m_marked;  // reused buffer for URL marking
    Provisional m_provisional;
    // The last server text shown left its line without a line end (a prompt).
    bool m_lineOpen = false;
    // Appends from the provisional and received paths skip the client-message handling.
    bool m_appendingDirect = false;
    IPaneDesktop* m_desktop = nullptr;
    CLinkWorker m_linkWorker;
    std::int32_t m_mouseX = 0;
};
