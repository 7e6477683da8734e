#include "ui/RichPane.h"

// Placeholder until the pane logic lands.
CRichPane::CRichPane() = default;
CRichPane::~CRichPane() = default;
bool CRichPane::Create(IPaneFactory& instance, CWindow* parent, std::int32_t top,
                       std::int32_t width, std::int32_t height, bool isOutput) {
    m_parent = parent;
    m_isOutput = isOutput ? 1 : 0;
    m_control = instance.CreatePaneControl(isOutput, Rect{0, top, width, top + height}, *this);
    return m_control != nullptr;
}
void CRichPane::Reset() { m_control.reset(); }
void CRichPane::SetFont(const std::string& face, unsigned size) {
    m_fontFace = face;
    m_fontSize = size;
}
void CRichPane::SetUrlPrefixes(const std::vector<std::string>& prefixes) { m_urlPrefixes = prefixes; }
bool CRichPane::Append(std::string_view text, bool) {
    m_pending += text;
    if (!m_control) return true;
    m_control->SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
    m_control->ReplaceSelection(m_pending, false);
    m_pending.clear();
    return true;
}
void CRichPane::Flush() { Append(""); }
std::string CRichPane::GetText() const { return m_control ? m_control->GetText() : std::string(); }
std::string CRichPane::PopPmlTag() { return std::string(); }
std::int32_t CRichPane::PreferredWidth(ITextMeasure&) const { return -1; }
void CRichPane::WrapSelection(char) {}
void CRichPane::SetPasswordMode(bool) {}
void CRichPane::OnFocusChanged(bool hasFocus) { m_hasFocus = hasFocus; }
void CRichPane::OnSizeChanged(std::int32_t, std::int32_t) {}
bool CRichPane::OnKeyDown(int, KeyModifiers) { return true; }
void CRichPane::OnChar(unsigned, KeyModifiers) {}
void CRichPane::OnMouseMove(std::int32_t, std::int32_t) {}
void CRichPane::OnLeftButtonUp(std::int32_t, std::int32_t) {}
