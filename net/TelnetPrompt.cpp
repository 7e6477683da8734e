// Prompts that end without IAC GA or IAC EOR: a partial line that has waited is shown for now,
// and taken back when the rest of its line arrives, so the filters only ever see whole lines.
#include <algorithm>
#include <string_view>

#include "net/TelnetEngine.h"

void CTelnetEngine::ShowWaitingPrompt() {
    if (!m_connected || m_promptDelay == 0) return;
    const CByteBuffer& working = m_compressIn ? m_textInput : m_rawInput;
    // Only scanned bytes are text; what follows may be a command still arriving.
    const std::size_t partial = std::min(m_scanPos, working.Size());
    const std::uint64_t now = m_host.CurrentTimeMilliseconds();
    if (partial < m_provisionalLength) {
        // The text under the provisional prompt is no longer what was shown.
        TakeBackProvisional();
    }
    if (partial != m_partialLength) {
        m_partialLength = partial;
        m_partialSince = now;
        // A line not shown yet waits from its last byte on.
        if (m_provisionalLength == 0) return;
    }
    if (partial == m_provisionalLength) return;
    if (m_provisionalLength == 0 && now - m_partialSince < m_promptDelay) return;
    // The preview decoder goes on from where the real one stands; the real one reads the
    // line only once it is whole.
    if (m_provisionalLength == 0) m_previewDecoder = m_decoder;
    std::string_view piece = std::string_view(working.Data(), partial).substr(m_provisionalLength);
    if (!m_previewDecoder.PassesUnchanged(piece)) {
        m_previewText.clear();
        m_previewDecoder.Decode(piece, m_previewText);
        piece = m_previewText;
    }
    m_host.ShowProvisional(piece);
    m_provisionalLength = partial;
}

void CTelnetEngine::TakeBackProvisional() {
    m_provisionalLength = 0;
    m_host.TakeBackProvisional();
}

void CTelnetEngine::SettleProvisional() {
    if (m_provisionalLength == 0) return;
    m_provisionalLength = 0;
    m_host.SettleProvisional();
}
