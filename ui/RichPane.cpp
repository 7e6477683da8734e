#include "ui/RichPane.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/AsciiText.h"
#include "ui/Window.h"

CRichPane::CRichPane() { RestoreDefaults(); }

CRichPane::~CRichPane() { Reset(); }

bool CRichPane::Create(IPaneFactory& instance, CWindow* parent, std::int32_t top,
                       std::int32_t width, std::int32_t height, bool isOutput) {
    m_parent = parent;
    m_isOutput = isOutput ? 1 : 0;
    m_control = instance.CreatePaneControl(isOutput, Rect{0, top, width, top + height}, *this);
    if (!m_control) return false;
    m_control->SetBackColour(m_backColour);
    SetFont(m_fontFace, m_fontSize);
    m_format = DefaultFormat();
    m_control->SetAllFormat(m_format);
    if (m_passwordMode) m_control->SetPasswordChar(kPasswordChar);
    if (m_isOutput) m_control->SetScrollbackLines(m_scrollbackLines);
    SetPaneDesktop(instance.PaneDesktop());
    return true;
}

void CRichPane::Reset() {
    m_linkWorker.Stop();
    m_desktop = nullptr;
    m_control.reset();
    m_parent = nullptr;
    RestoreDefaults();
}

void CRichPane::RestoreDefaults() {
    m_isOutput = 1;
    const PaneStyle defaults;
    m_fontFace = defaults.fontFace;
    m_fontSize = defaults.fontSize;
    m_textColour = defaults.textColour;
    m_backColour = defaults.backColour;
    m_urlEffects = defaults.urlEffects;
    m_urlTextColour = defaults.urlTextColour;
    m_urlBackColour = defaults.urlBackColour;
    m_scrollbackLines = defaults.scrollbackLines;
    m_holdByUser = 0;
    m_holdZeroSize = 0;
    m_hasFocus = 0;
    m_passwordMode = 0;
    m_pending.clear();
    m_overUrl = 0;
    m_hoverUrl.clear();
    m_savedEffects = 0;
    m_savedTextColour = 0;
    m_savedBackColour = 0;
    m_menuOpen = 0;
    m_pmlQueue.clear();
    m_provisional = Provisional{};
    m_lineOpen = false;
    m_history.Clear();
    m_appendedWhileRendering.clear();
    m_marked.clear();
    ResetScanState();
    m_afterLinkStart = false;
    m_selectionAtEnd = false;
    m_linkOpen = false;
    m_format = DefaultFormat();
}

CharFormat CRichPane::DefaultFormat() const {
    CharFormat format;
    format.mask = CharFormat::kEffects | CharFormat::kColour | CharFormat::kBackColour;
    format.effects = 0;
    format.textColour = m_textColour;
    format.backColour = m_backColour;
    return format;
}

void CRichPane::ApplyStyle(const PaneStyle& style) {
    m_textColour = style.textColour;
    m_backColour = style.backColour;
    m_urlEffects = style.urlEffects & CharFormat::kEffects;
    m_urlTextColour = style.urlTextColour;
    m_urlBackColour = style.urlBackColour;
    m_scrollbackLines = std::max(0, style.scrollbackLines);
    if (m_control && m_isOutput) m_control->SetScrollbackLines(m_scrollbackLines);
    if (m_control) {
        // Text already shown keeps its colours; what follows starts from the new default.
        m_control->SetBackColour(m_backColour);
        m_format = DefaultFormat();
        m_linkOpen = false;
    }
    SetFont(style.fontFace, style.fontSize);
}

PaneStyle CRichPane::Style() const {
    PaneStyle style;
    style.fontFace = m_fontFace;
    style.fontSize = m_fontSize;
    style.textColour = m_textColour;
    style.backColour = m_backColour;
    style.urlEffects = m_urlEffects;
    style.urlTextColour = m_urlTextColour;
    style.urlBackColour = m_urlBackColour;
    style.scrollbackLines = m_scrollbackLines;
    return style;
}

void CRichPane::SetFont(const std::string& face, unsigned size) {
    m_fontFace = face.substr(0, kMaxFontFaceLength);
    m_fontSize = size;
    if (!m_control) return;
    m_selectionAtEnd = false;
    m_control->SetFont(m_fontFace, m_fontSize);
    m_control->SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
}

void CRichPane::ResetPml() {
    std::erase(m_pending, static_cast<char>(FormatCode::kPmlDelimiter));
    // What was learnt about the pending text no longer applies.
    ResetScanState();
}

void CRichPane::DropOldestHeld() {
    const std::size_t keep = kMaxHeldText / 4 * 3;
    std::size_t cut = m_pending.size() - keep;
    // A line end a little further on is a cleaner place to cut than the middle of a line.
    const std::size_t look = std::min(kMaxHeldText / 8, m_pending.size() - cut);
    const void* lineFeed = std::memchr(m_pending.data() + cut, '\n', look);
    if (lineFeed != nullptr)
        cut = static_cast<std::size_t>(static_cast<const char*>(lineFeed) - m_pending.data()) + 1;
    m_pending.erase(0, cut);
    // What was learnt about the pending text no longer applies, and it no longer continues
    // a link rendered before it.
    ResetScanState();
    m_afterLinkStart = false;
}

void CRichPane::SetUrlPrefixes(const std::vector<std::string>& prefixes) {
    m_urlPrefixes.clear();
    m_urlPrefixes.reserve(prefixes.size());
    for (unsigned b = 0; b < 256; ++b) {
        m_urlClass[b] = (b <= 0x20 || b >= 0x80) ? kUrlBoundary : 0;
    }
    m_urlClass[FormatCode::kPmlDelimiter] |= kUrlSpecial;
    m_urlClass[FormatCode::kUnicodeDelimiter] |= kUrlSpecial;
    m_urlClass[FormatCode::kLinkStart] |= kUrlSpecial;
    for (const std::string& prefix : prefixes) {
        std::string lower = LowerAsciiCopy(prefix);
        if (lower.empty()) {
            for (unsigned char& cls : m_urlClass) cls |= kUrlCandidate;
        } else {
            const auto first = static_cast<unsigned char>(lower.front());
            m_urlClass[first] |= kUrlCandidate;
            if (first >= 'a' && first <= 'z') m_urlClass[first - ('a' - 'A')] |= kUrlCandidate;
        }
        m_urlPrefixes.push_back(std::move(lower));
    }
    // The block scan needs non-empty prefixes without zero bytes in their first two, and a
    // short list of distinct pairs.
    m_urlPairs = {};
    m_urlPairCount = 0;
    bool pairsUsable = true;
    for (const std::string& prefix : m_urlPrefixes) {
        std::array<unsigned char, 2> pair{};
        if (prefix.empty() || prefix[0] == '\0' || (prefix.size() > 1 && prefix[1] == '\0')) {
            pairsUsable = false;
            break;
        }
        pair[0] = static_cast<unsigned char>(prefix[0]);
        if (prefix.size() > 1) pair[1] = static_cast<unsigned char>(prefix[1]);
        bool known = false;
        for (std::size_t k = 0; k < m_urlPairCount; ++k) known = known || m_urlPairs[k] == pair;
        if (known) continue;
        if (m_urlPairCount == m_urlPairs.size()) {
            pairsUsable = false;
            break;
        }
        m_urlPairs[m_urlPairCount++] = pair;
    }
    if (!pairsUsable) m_urlPairCount = 0;
    // Text already marked stays marked; the rest is looked at again with the new prefixes.
    m_scan.urlFrom = 0;
    m_scan.urlSpan = 0;
}

void CRichPane::Flush() {
    if (!m_pending.empty()) Append("", false);
}

std::string CRichPane::GetText() const { return m_control ? m_control->GetText() : std::string(); }

std::string CRichPane::GetUnicodeText() const {
    return m_control ? m_control->GetUnicodeText() : std::string();
}

std::string CRichPane::PopPmlTag() {
    if (m_pmlQueue.empty()) return std::string();
    std::string tag = std::move(m_pmlQueue.front());
    m_pmlQueue.pop_front();
    return tag;
}

std::int32_t CRichPane::PreferredWidth(ITextMeasure& measure) const {
    const Size text = measure.MeasureText(m_fontFace, m_fontSize, std::string(100, '_'));
    if (text.width <= 0 || text.height <= 0) return -1;
    const std::int32_t frame = measure.ControlFrameWidth(m_isOutput != 0);
    if (frame < 0) return -1;
    return text.width + frame;
}

void CRichPane::WrapSelection(char letter) {
    if (m_isOutput || !m_control) return;
    m_selectionAtEnd = false;
    const char t = LowerAscii(letter);
    std::int32_t start = 0;
    std::int32_t end = 0;
    m_control->GetSelection(start, end);
    // The control may report the end as "the end of the text"; the new selection is computed
    // from it, so it has to be a real position.
    const std::int32_t length = m_control->GetTextLength();
    if (end > length) end = length;
    if (start > end) start = end;
    std::string text = m_control->GetTextRange(start, end);
    if (!text.empty() && text.back() == '\0') text.pop_back();
    std::string wrapped = "<-";
    wrapped += t;
    wrapped += '>';
    wrapped += text;
    wrapped += "<-/";
    wrapped += t;
    wrapped += '>';
    m_control->ReplaceSelection(wrapped, true);
    if (start == end) {
        m_control->SetSelection(start + 4, start + 4);
    } else {
        m_control->SetSelection(start, end + 9);
    }
}

void CRichPane::SetPasswordMode(bool on) {
    m_passwordMode = on ? 1 : 0;
    if (m_control) m_control->SetPasswordChar(on ? kPasswordChar : 0);
}

std::string CRichPane::RtfToTags(const std::vector<FormattedChar>& fragment) const {
    return ::RtfToTags(fragment, m_textColour);
}

void CRichPane::OnFocusChanged(bool hasFocus) {
    m_selectionAtEnd = false;
    m_hasFocus = hasFocus ? 1 : 0;
}

void CRichPane::OnSizeChanged(std::int32_t width, std::int32_t height) {
    m_selectionAtEnd = false;
    if (width == 0 || height == 0) {
        m_holdZeroSize = 1;
        return;
    }
    const bool wasHeld = m_holdZeroSize != 0;
    m_holdZeroSize = 0;
    if (wasHeld) Append("", false);
}

bool CRichPane::OnKeyDown(int key, KeyModifiers modifiers) {
    m_selectionAtEnd = false;
    if (m_isOutput || !m_control) return true;
    if (key == Key::kReturn || key == Key::kLineFeed) {
        const std::string text = m_control->GetText();
        if (!text.empty() && !m_passwordMode) m_history.AddEntered(text);
        if (!modifiers.ctrl && !modifiers.shift) {
            Notify(PaneNotifyCode::LineEntered);
            return false;
        }
        // The control inserts the line break; the text is already in the history.
        return true;
    }
    if (!modifiers.ctrl && !modifiers.shift && !modifiers.alt) {
        m_history.MoveToEnd();
        return true;
    }
    if (!modifiers.ctrl || modifiers.shift || modifiers.alt) return true;
    if (key != Key::kUp && key != Key::kDown) return true;
    if (m_history.Empty()) return true;

    // A masked line is never kept: recalled later it would show in clear text.
    const std::string current = m_passwordMode ? std::string() : m_control->GetText();
    if (key == Key::kUp) {
        ReplaceWholeText(m_history.Older(current));
    } else if (const std::string* entry = m_history.Newer(current)) {
        ReplaceWholeText(*entry);
    } else {
        ReplaceWholeText(std::string());
    }
    return false;
}

void CRichPane::OnChar(unsigned characterCode, KeyModifiers modifiers) {
    m_selectionAtEnd = false;
    if (m_isOutput && !modifiers.ctrl) {
        Notify(PaneNotifyCode::CharTyped, characterCode, modifiers);
    }
}

void CRichPane::OnMouseMove(std::int32_t x, std::int32_t y) {
    m_selectionAtEnd = false;
    m_mouseX = x;
    // The input line never tracks links, so its Copy URL and Save URL have nothing to act on.
    if (m_isOutput) m_overUrl = UrlAt(x, y) ? 1 : 0;
    ChooseCursor();
}

void CRichPane::OnLeftButtonUp(std::int32_t, std::int32_t) {
    m_selectionAtEnd = false;
    if (m_overUrl) OpenUrl(m_hoverUrl);
    // The input line's widget offers its own selection.
    if (m_isOutput && m_desktop && m_control) {
        std::int32_t start = 0;
        std::int32_t end = 0;
        SelectedRange(start, end);
        if (start < end) m_desktop->OfferSelection(m_control->GetTextRange(start, end));
    }
}

void CRichPane::OnContextMenu(std::int32_t screenX, std::int32_t screenY) {
    ShowContextMenu(screenX, screenY);
}

void CRichPane::ReplaceWholeText(const std::string& text) {
    m_selectionAtEnd = false;
    m_control->SetSelection(0, IPaneControl::kEnd);
    m_control->ReplaceSelection(text, true);
}

void CRichPane::Notify(PaneNotifyCode code, unsigned characterCode, KeyModifiers modifiers) {
    if (!m_parent) return;
    PaneNotify notify;
    notify.sender = this;
    notify.id = 0;
    notify.code = code;
    notify.characterCode = characterCode;
    notify.ctrl = modifiers.ctrl;
    notify.shift = modifiers.shift;
    notify.alt = modifiers.alt;
    m_parent->OnNotify(notify);
}
