// The panes' context menus, clipboard commands and links.
#include <algorithm>

#include "base/AsciiText.h"
#include "ui/PaneMenu.h"
#include "ui/RichPane.h"
#include "ui/Window.h"

namespace {

// Bytes a URL word is made of.
bool IsWordByte(unsigned char byte) { return byte >= 0x21 && byte <= 0x7F; }

constexpr std::int32_t kUrlReach = 511;
constexpr std::size_t kMaxHoverUrl = 1023;

}  // namespace

void CRichPane::SetPaneDesktop(IPaneDesktop* desktop) {
    m_linkWorker.Stop();
    m_desktop = desktop;
    if (m_desktop) m_linkWorker.Start(m_desktop->Opener());
}

void CRichPane::Beep() {
    if (m_desktop) m_desktop->Beep();
}

void CRichPane::SelectedRange(std::int32_t& start, std::int32_t& end) const {
    start = 0;
    end = 0;
    if (!m_control) return;
    m_control->GetSelection(start, end);
    // The control may report the end as "the end of the text".
    const std::int32_t length = m_control->GetTextLength();
    end = std::clamp(end, 0, length);
    start = std::clamp(start, 0, end);
}

bool CRichPane::MenuCommand(int id) {
    using namespace PaneCommand;
    m_selectionAtEnd = false;
    const bool input = m_isOutput == 0;
    switch (id) {
        case kBold:
        case kItalic:
        case kUnderline:
        case kStrikeout:
            if (input) WrapSelection("BIUS"[id - kBold]);
            return true;
        case kCut:
            if (!Copy(false)) {
                Beep();
            } else if (input && m_control) {
                m_control->ReplaceSelection("", true);
            }
            return true;
        case kCopy:
        case kCopyTagged:
            if (!Copy(id == kCopyTagged)) Beep();
            return true;
        case kPaste:
        case kPastePlain:
            if (input && !Paste(id == kPastePlain)) Beep();
            return true;
        case kCopyUrl:
            if (!CopyHoverUrl()) Beep();
            return true;
        case kSelectAll:
            if (m_control) m_control->SetSelection(0, IPaneControl::kEnd);
            return true;
        case kHoldOutput:
            if (!input) {
                m_holdByUser = m_holdByUser ? 0 : 1;
                if (!m_holdByUser) Flush();
            }
            return true;
        case kClear:
            ClearText();
            return true;
        case kGoogle: {
            std::int32_t start = 0;
            std::int32_t end = 0;
            SelectedRange(start, end);
            if (start == end) return true;
            std::string text = m_control->GetTextRange(start, end);
            if (!text.empty() && text.back() == '\0') text.pop_back();
            NotifyText(PaneNotifyCode::SearchSelection, text);
            return true;
        }
        case kSaveUrl:
            if (!m_hoverUrl.empty()) NotifyText(PaneNotifyCode::SaveUrl, m_hoverUrl);
            return true;
        default:
            return false;
    }
}

void CRichPane::ClearText() {
    if (!m_control) return;
    m_control->Clear();
    ClearHoverUrl();
    // A prompt shown for now went with the rest; taking it back later must not cut newer text.
    m_provisional.characters = 0;
}

bool CRichPane::CopyHoverUrl() {
    if (m_hoverUrl.empty() || !m_desktop) return false;
    return m_desktop->PutClipboard(m_hoverUrl, nullptr, m_backColour);
}

void CRichPane::NotifyText(PaneNotifyCode code, const std::string& text) {
    if (!m_parent) return;
    PaneNotify notify;
    notify.sender = this;
    notify.code = code;
    notify.text = text;
    m_parent->OnNotify(notify);
}

void CRichPane::UpdateMenu(std::vector<PaneMenuItem>& menu) const {
    PaneMenuContext context;
    std::int32_t start = 0;
    std::int32_t end = 0;
    SelectedRange(start, end);
    context.hasSelection = start < end;
    if (m_desktop) context.clipboard = m_desktop->AvailableClipboardFormats();
    context.overUrl = m_overUrl != 0;
    context.hoverUrl = m_hoverUrl;
    context.holdByUser = m_holdByUser != 0;
    for (PaneMenuItem& item : menu) {
        if (item.command == 0) continue;
        const PaneMenuItemState state = MenuItemState(item.command, context);
        item.enabled = state.enabled;
        item.checked = state.checked;
    }
}

void CRichPane::ShowContextMenu(std::int32_t screenX, std::int32_t screenY) {
    if (!m_desktop || !m_control) return;
    std::vector<PaneMenuItem> menu = PaneMenuItems(m_isOutput != 0);
    UpdateMenu(menu);
    m_menuOpen = 1;
    ChooseCursor();
    const int command = m_desktop->ShowMenu(*m_control, menu, screenX, screenY);
    m_menuOpen = 0;
    ChooseCursor();
    if (command != 0) MenuCommand(command);
}

bool CRichPane::Copy(bool tagged) {
    std::int32_t start = 0;
    std::int32_t end = 0;
    SelectedRange(start, end);
    if (start == end || !m_desktop) return false;
    const std::vector<FormattedChar> fragment = m_desktop->SelectionFragment(*m_control);
    std::string text;
    if (tagged) {
        text = RtfToTags(fragment);
    } else {
        text = m_control->GetTextRange(start, end);
        if (!text.empty() && text.back() == '\0') text.pop_back();
    }
    return m_desktop->PutClipboard(text, tagged ? nullptr : &fragment, m_backColour);
}

bool CRichPane::Paste(bool plain) {
    if (!m_desktop || !m_control) return false;
    m_selectionAtEnd = false;
    if (plain || !m_desktop->AvailableClipboardFormats().rich) {
        std::string text;
        if (!m_desktop->GetClipboardText(text)) return false;
        m_control->ReplaceSelection(text, true);
        return true;
    }
    std::vector<FormattedChar> rich;
    if (!m_desktop->GetClipboardRich(rich, m_textColour)) return false;
    // The tags are plain ASCII, so rendering leaves them as typed text ready to be sent.
    Append(RtfToTags(rich), true);
    return true;
}

bool CRichPane::UrlAt(std::int32_t x, std::int32_t y) {
    m_hoverUrl.clear();
    if (!m_control) return false;
    const std::int32_t c = m_control->CharFromPos(x, y);
    if (c < 0) return false;
    const std::int32_t from = std::max(c - kUrlReach, 0);
    const std::string text = m_control->GetTextRange(from, c + kUrlReach);
    const auto p = static_cast<std::size_t>(c - from);
    if (p >= text.size() || !IsWordByte(static_cast<unsigned char>(text[p]))) return false;
    std::size_t begin = p;
    while (begin > 0 && IsWordByte(static_cast<unsigned char>(text[begin - 1]))) --begin;
    std::size_t end = p + 1;
    while (end < text.size() && IsWordByte(static_cast<unsigned char>(text[end]))) ++end;
    if (end - begin < 3) return false;
    const std::string_view word(text.data() + begin, end - begin);
    const std::string lower = LowerAsciiCopy(std::string(word));
    for (const std::string& prefix : m_urlPrefixes) {
        if (!lower.starts_with(prefix)) continue;
        m_hoverUrl.assign(word.substr(0, kMaxHoverUrl));
        return true;
    }
    return false;
}

void CRichPane::ChooseCursor() {
    if (!m_desktop || !m_control) return;
    PaneCursor cursor = PaneCursor::Arrow;
    if (m_menuOpen) {
        cursor = PaneCursor::Arrow;
    } else if (m_overUrl) {
        cursor = PaneCursor::Hand;
    } else if (m_mouseX < m_control->GetClientSize().width) {
        cursor = PaneCursor::IBeam;
    }
    m_desktop->SetCursor(*m_control, cursor);
}

void CRichPane::OpenUrl(const std::string& url) { m_linkWorker.Open(url); }
