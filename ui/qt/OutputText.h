#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "ui/PaneControl.h"

// The text of the output pane: one UTF-16 buffer, the start of every line and the character
// formats as runs into a small table of distinct formats. The scrollback only ever grows at the
// end in practice, so appending is the cheap path (amortised constant per character); edits in
// the middle are linear, which is fine for the rare edits made there.
class OutputText {
  public:
    // A run of text in one format; it lasts until the next run starts.
    struct Run {
        std::int32_t start;
        std::uint32_t style;
    };
    static constexpr std::uint32_t kFullMask =
        CharFormat::kEffects | CharFormat::kColour | CharFormat::kBackColour;

    // The most characters the text holds, like a rich text control's limit; text beyond is dropped
    // so that positions always fit their 32 bits.
    static constexpr std::int32_t kMaxLength = 0x7FFFFFFE;

    explicit OutputText(std::int32_t maxLength = kMaxLength);

    std::int32_t Length() const { return static_cast<std::int32_t>(m_text.size()); }
    const char16_t* Data() const { return m_text.data(); }
    char16_t At(std::int32_t position) const { return m_text[static_cast<std::size_t>(position)]; }

    // Lines end after each LF; the last line may be empty.
    std::int32_t LineCount() const { return static_cast<std::int32_t>(m_lineStarts.size()); }
    std::int32_t LineStart(std::int32_t line) const {
        return m_lineStarts[static_cast<std::size_t>(line)];
    }
    // End of the line's displayed text: before its LF and a CR in front of that.
    std::int32_t LineTextEnd(std::int32_t line) const;
    std::int32_t LineOf(std::int32_t position) const;

    // Inserts Latin-1 bytes (each one character) or UTF-16 text at position in the given format.
    void Insert(std::int32_t position, const char* latin1, std::size_t count,
                const CharFormat& format);
    void Insert(std::int32_t position, const char16_t* text, std::size_t count,
                const CharFormat& format);
    void Erase(std::int32_t start, std::int32_t end);
    void Clear();

    // Format of the character at position, with every field meaningful; the default format when
    // there is no such character.
    CharFormat FormatAt(std::int32_t position) const;
    // Merges the masked fields of format into the characters of [start, end).
    void ApplyFormat(std::int32_t start, std::int32_t end, const CharFormat& format);
    // Merges the masked fields into all text and into the default format.
    void ApplyFormatToAll(const CharFormat& format);
    const CharFormat& DefaultFormat() const { return m_default; }

    const std::vector<Run>& Runs() const { return m_runs; }
    // Index of the run holding the character at position (the text must not be empty).
    std::size_t RunIndexAt(std::int32_t position) const;
    const CharFormat& Style(std::uint32_t index) const { return m_styles[index]; }
    std::size_t StyleCount() const { return m_styles.size(); }

    static CharFormat Merge(const CharFormat& base, const CharFormat& changes);

  private:
    template <typename Char>
    void InsertChars(std::int32_t position, const Char* text, std::size_t count,
                     const CharFormat& format);
    void InsertRun(std::int32_t position, std::int32_t count, std::uint32_t style);
    std::uint32_t Intern(const CharFormat& format);
    void MergeRunsAround(std::size_t first, std::size_t last);

    std::vector<char16_t> m_text;
    std::vector<std::int32_t> m_lineStarts;
    std::vector<Run> m_runs;
    std::vector<CharFormat> m_styles;
    std::unordered_map<std::uint64_t, std::uint32_t> m_styleIndex;
    CharFormat m_default;
    std::int32_t m_maxLength;
};
