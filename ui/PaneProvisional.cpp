// Text the output pane shows for now (a prompt without a line end that has waited) and the
// client messages printed around it: a message never continues a prompt's line, and a prompt
// shown for now stays the last thing in the pane until it is taken back or settled.
#include <string_view>

#include "ui/FormatCodes.h"
#include "ui/RichPane.h"

namespace {

// Whether text ends its line; format codes after the line end do not count.
bool EndsLine(std::string_view text) {
    for (std::size_t i = text.size(); i-- > 0;) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) return b == '\n';
    }
    return false;
}

bool HasMarker(std::string_view text) {
    constexpr char kMarkers[] = {static_cast<char>(FormatCode::kPmlDelimiter),
                                 static_cast<char>(FormatCode::kUnicodeDelimiter)};
    return text.find_first_of(std::string_view(kMarkers, 2)) != std::string_view::npos;
}

}  // namespace

CRichPane::RenderState CRichPane::CaptureRenderState() const {
    return RenderState{m_format,          m_linkOpen,       m_savedEffects, m_savedTextColour,
                       m_savedBackColour, m_afterLinkStart, m_lineOpen};
}

void CRichPane::RestoreRenderState(const RenderState& state) {
    m_format = state.format;
    m_linkOpen = state.linkOpen;
    m_savedEffects = state.savedEffects;
    m_savedTextColour = state.savedTextColour;
    m_savedBackColour = state.savedBackColour;
    m_afterLinkStart = state.afterLinkStart;
    m_lineOpen = state.lineOpen;
}

bool CRichPane::AppendUnchecked(std::string_view text) {
    const bool outer = m_appendingDirect;
    m_appendingDirect = true;
    const bool shown = Append(text);
    m_appendingDirect = outer;
    return shown;
}

bool CRichPane::AppendReceived(std::string_view text) {
    const bool shown = AppendUnchecked(text);
    if (!text.empty()) m_lineOpen = !EndsLine(text);
    return shown;
}

bool CRichPane::AppendMessage(std::string_view text) {
    std::string provisional;
    if (m_provisional.active) {
        provisional.swap(m_provisional.text);
        TakeBackProvisional();
    }
    if (m_lineOpen) AppendUnchecked("\r\n");
    const bool shown = AppendUnchecked(text);
    m_lineOpen = false;
    if (!provisional.empty()) ShowProvisional(provisional);
    return shown;
}

void CRichPane::ShowProvisional(std::string_view text) {
    if (text.empty() || m_provisional.refused) return;
    if (HasMarker(text)) {
        // A PML tag goes to the scripts' queue and an escape may be cut in two: neither can be
        // taken back, so the line waits for its end.
        TakeBackProvisional();
        m_provisional.refused = true;
        return;
    }
    if (!m_provisional.active) {
        // With text waiting (held, or a code not complete yet) the end of the control is not
        // where the provisional text would begin.
        if (m_holdByUser || m_holdZeroSize || !m_control || !m_pending.empty()) {
            m_provisional.refused = true;
            return;
        }
        m_provisional.active = true;
        m_provisional.text.clear();
        m_provisional.characters = 0;
        m_provisional.before = CaptureRenderState();
    }
    const std::int32_t before = m_control ? m_control->GetTextLength() : 0;
    AppendUnchecked(text);
    const std::int32_t after = m_control ? m_control->GetTextLength() : 0;
    if (after > before) m_provisional.characters += after - before;
    m_provisional.text.append(text);
    m_lineOpen = true;
}

void CRichPane::TakeBackProvisional() {
    m_provisional.refused = false;
    if (!m_provisional.active) return;
    const SelectionKeeper keeper(*this);
    if (m_control && m_provisional.characters > 0) {
        // Counted from the end: lines the control drops from the front meanwhile do not move
        // the provisional text's own position wrong.
        const std::int32_t length = m_control->GetTextLength();
        const std::int32_t start =
            length > m_provisional.characters ? length - m_provisional.characters : 0;
        m_control->SetSelection(start, IPaneControl::kEnd);
        m_control->ReplaceSelection("", m_isOutput == 0);
    }
    // Nothing waited when it began, so what waits now came with it.
    m_pending.clear();
    ResetScanState();
    RestoreRenderState(m_provisional.before);
    // The next insertion puts the restored format on the control again.
    m_selectionAtEnd = false;
    m_provisional = Provisional{};
}

void CRichPane::SettleProvisional() {
    const bool shown = m_provisional.active;
    m_provisional = Provisional{};
    if (shown) m_lineOpen = true;
}
