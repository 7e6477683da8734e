#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/PaneControl.h"
#include "ui/qt/ChunkedArray.h"

// The text of the output pane. Characters are held as Latin-1 bytes in blocks, with the rare
// characters above 0xFF (from Unicode escapes) kept aside by position; line starts and format
// runs (into a small table of distinct formats) are blocked the same way. Positions stored
// inside count from the first character ever held, modulo 2^32, so dropping the oldest text
// moves nothing. Appending at the end is the cheap path; edits elsewhere re-append the text
// after them, which is fine for the rare edits made there.
//
// With a line limit the oldest lines are dropped as new ones come. So that an endless line
// cannot outgrow the limit either, the text also keeps at most kCharactersPerLine characters
// per allowed line; past that the oldest whole lines go, or, inside a single huge line, its
// oldest pieces of kLinePiece characters.
//
// Styles are counted by the runs that use them; one no run uses is reused for the next new
// format, so a server that never repeats a colour costs a bounded table and no pass over all
// runs. Equal formats share an entry as long as a small cache of recent formats finds it.
class OutputText {
  public:
    // A run of text in one format; it lasts until the next run starts.
    struct Run {
        std::int32_t start;
        std::uint32_t style;
    };
    static constexpr std::uint32_t kFullMask =
        CharFormat::kEffects | CharFormat::kColour | CharFormat::kBackColour;

    // The most characters the text holds without a line limit, like a rich text control's
    // limit; text beyond is dropped so that positions always fit their 32 bits.
    static constexpr std::int32_t kMaxLength = 0x7FFFFFFE;
    // Long lines are laid out, and trimmed, in pieces of this many characters.
    static constexpr std::int32_t kLinePiece = 4096;
    static constexpr std::int64_t kCharactersPerLine = 128;
    static constexpr std::int32_t kMinCharacterBudget = 1 << 20;
    static constexpr std::int32_t kMaxCharacterBudget = (1 << 30) - 1;

    explicit OutputText(std::int32_t maxLength = kMaxLength);

    std::int32_t Length() const { return static_cast<std::int32_t>(m_bytes.Size()); }
    char16_t At(std::int32_t position) const;
    // The characters of [start, end) into out (end - start of them).
    void CopyUtf16(std::int32_t start, std::int32_t end, char16_t* out) const;
    // The same as bytes; characters above 0xFF become '?'.
    void CopyLatin1(std::int32_t start, std::int32_t end, char* out) const;

    // Lines end after each LF; the last line may be empty.
    std::int32_t LineCount() const { return static_cast<std::int32_t>(m_lineStarts.Size()) + 1; }
    std::int32_t LineStart(std::int32_t line) const {
        return line == 0 ? 0 : Logical(m_lineStarts[static_cast<std::size_t>(line - 1)]);
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
    // Drops all text; it counts as trimmed.
    void Clear();

    // The most lines kept (a last empty line after a LF does not count); 0 keeps everything.
    void SetLineLimit(std::int32_t lines);
    std::int32_t LineLimit() const { return m_lineLimit; }
    // Characters and lines dropped from the front so far. A position p of the text is character
    // p + TrimmedCharacters() of all text ever held; holders of positions keep them that way.
    std::int64_t TrimmedCharacters() const { return m_trimmedCharacters; }
    std::int64_t TrimmedLines() const { return m_trimmedLines; }

    // Format of the character at position, with every field meaningful; the default format when
    // there is no such character.
    CharFormat FormatAt(std::int32_t position) const;
    // Merges the masked fields of format into the characters of [start, end).
    void ApplyFormat(std::int32_t start, std::int32_t end, const CharFormat& format);
    // Merges the masked fields into all text and into the default format.
    void ApplyFormatToAll(const CharFormat& format);
    const CharFormat& DefaultFormat() const { return m_default; }

    std::size_t RunCount() const { return m_runs.Size(); }
    Run RunAt(std::size_t index) const {
        const StoredRun& run = m_runs[index];
        return Run{Logical(run.start), run.style};
    }
    // Index of the run holding the character at position (the text must not be empty).
    std::size_t RunIndexAt(std::int32_t position) const;
    const CharFormat& Style(std::uint32_t index) const { return m_styles[index].format; }
    // Entries of the style table, in use or free for reuse.
    std::size_t StyleCount() const { return m_styles.Size(); }

    // Bytes this text has allocated.
    std::size_t MemoryUsage() const;

    static CharFormat Merge(const CharFormat& base, const CharFormat& changes);

  private:
    struct StoredRun {
        std::uint32_t start;
        std::uint32_t style;
    };
    struct WideChar {
        std::uint32_t position;
        char16_t character;
    };
    struct StyleEntry {
        CharFormat format;
        std::uint32_t uses;      // runs (and taken tails) holding the entry
        std::uint32_t nextFree;  // the free list through the entries, or kNotFree
    };
    // Text cut off behind an edit, to be appended again; it holds a use of each run's style.
    struct Tail {
        std::u16string text;
        std::vector<Run> runs;  // starts relative to the tail
    };

    std::int32_t Logical(std::uint32_t stored) const {
        return static_cast<std::int32_t>(stored - m_origin);
    }
    std::uint32_t Stored(std::int32_t position) const {
        return m_origin + static_cast<std::uint32_t>(position);
    }
    std::int32_t CharacterBudget() const;
    template <typename Char>
    void InsertText(std::int32_t position, const Char* text, std::size_t count,
                    const CharFormat& format,
                    void (OutputText::*append)(const Char*, std::size_t, std::uint32_t));
    void AppendBytes(const unsigned char* text, std::size_t count, std::uint32_t style);
    void AppendUtf16(const char16_t* text, std::size_t count, std::uint32_t style);
    void AppendRun(std::uint32_t style);
    Tail TakeTail(std::int32_t position);
    void AppendTail(const Tail& tail);
    void Truncate(std::int32_t length);
    void EnforceLimits();
    void TrimFront(std::int32_t count);
    void ReleaseTail(const Tail& tail);
    std::uint32_t Intern(const CharFormat& format);
    void AcquireStyle(std::uint32_t style) { ++m_styles[style].uses; }
    void ReleaseStyle(std::uint32_t style);
    void ReleaseRuns(std::size_t first, std::size_t last);
    void ResetStyles();

    ChunkedArray<unsigned char, 16> m_bytes;
    ChunkedArray<std::uint32_t, 14> m_lineStarts;  // of lines 1 on; line 0 starts at 0
    ChunkedArray<StoredRun, 13> m_runs;
    mutable std::size_t m_runHint = 0;  // the run RunIndexAt found last
    ChunkedArray<WideChar, 10> m_wide;  // by position; their bytes hold '?'
    std::uint32_t m_origin = 0;         // stored position of position 0
    std::int64_t m_trimmedCharacters = 0;
    std::int64_t m_trimmedLines = 0;
    std::int32_t m_lineLimit = 0;
    ChunkedArray<StyleEntry, 10> m_styles;
    static constexpr std::uint32_t kNotFree = UINT32_MAX;
    static constexpr std::uint32_t kFreeEnd = UINT32_MAX - 1;
    std::uint32_t m_freeStyles = kFreeEnd;  // first entry of the free list
    // Recently interned formats: style index + 1 by hash of the format, 0 when empty.
    std::vector<std::uint32_t> m_styleCache;
    CharFormat m_default;
    std::int32_t m_maxLength;
};
