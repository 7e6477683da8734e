#include "ui/InputHistory.h"

void CInputHistory::Clear() {
    m_entries.clear();
    m_position = kEnd;
}

bool CInputHistory::Push(const std::string& text) {
    m_entries.push_back(text);
    if (m_entries.size() <= kLimit) return false;
    m_entries.pop_front();
    // An entry position keeps pointing at the same line; one at the removed oldest line moves
    // to the line that followed it.
    if (m_position != kEnd && m_position > 0) --m_position;
    return true;
}

bool CInputHistory::SaveCurrent(const std::string& text) {
    if (text.empty()) return false;
    // Only the same line again is left out: a line that merely begins with the newest entry
    // (typed on after recalling it) would be lost.
    if (!m_entries.empty() && text == m_entries.back()) return false;
    Push(text);
    return true;
}

const std::string& CInputHistory::Older(const std::string& currentText) {
    if (m_position == kEnd) {
        if (SaveCurrent(currentText)) m_position = m_entries.size() - 1;
    }
    if (m_position == kEnd) {
        m_position = m_entries.size() - 1;
    } else if (m_position > 0) {
        --m_position;
    }
    return m_entries[m_position];
}

const std::string* CInputHistory::Newer(const std::string& currentText) {
    if (m_position == kEnd) {
        SaveCurrent(currentText);
        return nullptr;
    }
    ++m_position;
    if (m_position < m_entries.size()) return &m_entries[m_position];
    m_position = kEnd;
    SaveCurrent(currentText);
    return nullptr;
}

void CInputHistory::AddEntered(const std::string& text) {
    const bool wasEnd = m_position == kEnd;
    const std::size_t before = m_position;
    const bool dropped = Push(text);
    if (wasEnd) return;
    // One entry forward from the recalled line; when that line was the one dropped, the line
    // that followed it already sits at its index.
    m_position = (dropped && before == 0) ? 0 : m_position + 1;
}
