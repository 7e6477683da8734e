#pragma once

#include <cstddef>
#include <deque>
#include <string>

// The input line's history of entered lines, oldest first, and the position the player has
// walked to with Ctrl+Up / Ctrl+Down. The position is an entry or the end (past the newest).
class CInputHistory {
  public:
    static constexpr std::size_t kLimit = 256;
    static constexpr std::size_t kEnd = static_cast<std::size_t>(-1);

    bool Empty() const { return m_entries.empty(); }
    std::size_t Size() const { return m_entries.size(); }
    const std::string& At(std::size_t index) const { return m_entries[index]; }
    const std::deque<std::string>& Entries() const { return m_entries; }
    std::size_t Position() const { return m_position; }
    bool AtEnd() const { return m_position == kEnd; }
    void MoveToEnd() { m_position = kEnd; }
    void Clear();

    // Keeps the line the player walks away from. Nothing is kept when it is empty or is the
    // newest entry. True when it was kept.
    bool SaveCurrent(const std::string& text);
    // Ctrl+Up: the entry to show. Only for a non-empty history.
    const std::string& Older(const std::string& currentText);
    // Ctrl+Down: the entry to show, or null when the line is to be emptied.
    const std::string* Newer(const std::string& currentText);
    // Enter: the line goes in as the newest entry. A position at the end stays there; a
    // recalled entry's position moves one forward, so Ctrl+Up recalls the same entry again.
    void AddEntered(const std::string& text);

  private:
    // Appends and drops the oldest beyond the limit; true when one was dropped.
    bool Push(const std::string& text);

    std::deque<std::string> m_entries;
    std::size_t m_position = kEnd;
};
