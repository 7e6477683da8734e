#include "ui/qt/OutputText.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace {

constexpr unsigned char kWidePlaceholder = '?';
// Runs after the last one found that a look-up tries before it searches them all.
constexpr int kRunHintSteps = 8;
// Slots of the cache of recent formats (a power of two) and slots tried for each format.
constexpr unsigned kStyleCacheBits = 12;
constexpr std::size_t kStyleCacheSlots = std::size_t{1} << kStyleCacheBits;
constexpr std::size_t kStyleProbes = 4;

std::uint64_t StyleKey(const CharFormat& format) {
    return (static_cast<std::uint64_t>(format.effects & 0xF) << 48) |
           (static_cast<std::uint64_t>(format.textColour & 0xFFFFFF) << 24) |
           (format.backColour & 0xFFFFFF);
}

std::size_t CacheSlot(std::uint64_t key) {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - kStyleCacheBits));
}

std::int32_t ToIndex(std::size_t value) { return static_cast<std::int32_t>(value); }

}  // namespace

OutputText::OutputText(std::int32_t maxLength) : m_maxLength(maxLength) {
    // A fresh control shows black text on white until it is told otherwise.
    m_default.mask = kFullMask;
    m_default.effects = 0;
    m_default.textColour = 0x000000;
    m_default.backColour = 0xFFFFFF;
}

char16_t OutputText::At(std::int32_t position) const {
    const unsigned char byte = m_bytes[static_cast<std::size_t>(position)];
    if (byte != kWidePlaceholder || m_wide.Empty()) return byte;
    const std::size_t k = m_wide.PartitionPoint(
        0, m_wide.Size(), [&](const WideChar& wide) { return Logical(wide.position) < position; });
    if (k < m_wide.Size() && Logical(m_wide[k].position) == position) return m_wide[k].character;
    return byte;
}

void OutputText::CopyUtf16(std::int32_t start, std::int32_t end, char16_t* out) const {
    if (start >= end) return;
    char16_t* write = out;
    m_bytes.ForEachPiece(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start),
                         [&](const unsigned char* bytes, std::size_t n) {
                             for (std::size_t i = 0; i < n; ++i) write[i] = bytes[i];
                             write += n;
                         });
    if (m_wide.Empty()) return;
    std::size_t k = m_wide.PartitionPoint(
        0, m_wide.Size(), [&](const WideChar& wide) { return Logical(wide.position) < start; });
    for (; k < m_wide.Size(); ++k) {
        const std::int32_t position = Logical(m_wide[k].position);
        if (position >= end) break;
        out[position - start] = m_wide[k].character;
    }
}

void OutputText::CopyLatin1(std::int32_t start, std::int32_t end, char* out) const {
    if (start >= end) return;
    m_bytes.CopyOut(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start),
                    reinterpret_cast<unsigned char*>(out));
}

std::int32_t OutputText::LineTextEnd(std::int32_t line) const {
    std::int32_t end = line + 1 < LineCount() ? LineStart(line + 1) : Length();
    const std::int32_t start = LineStart(line);
    if (end > start && m_bytes[static_cast<std::size_t>(end - 1)] == '\n') --end;
    if (end > start && m_bytes[static_cast<std::size_t>(end - 1)] == '\r') --end;
    return end;
}

std::int32_t OutputText::LineOf(std::int32_t position) const {
    return ToIndex(m_lineStarts.PartitionPoint(
        0, m_lineStarts.Size(), [&](std::uint32_t start) { return Logical(start) <= position; }));
}

CharFormat OutputText::Merge(const CharFormat& base, const CharFormat& changes) {
    CharFormat result = base;
    result.mask = kFullMask;
    const std::uint32_t effectMask = changes.mask & CharFormat::kEffects;
    result.effects = (base.effects & ~effectMask) | (changes.effects & effectMask);
    result.effects &= CharFormat::kEffects;
    if (changes.mask & CharFormat::kColour) result.textColour = changes.textColour & 0xFFFFFF;
    if (changes.mask & CharFormat::kBackColour) result.backColour = changes.backColour & 0xFFFFFF;
    return result;
}

// The entry comes back without a use; the caller's run takes one before the next Intern.
std::uint32_t OutputText::Intern(const CharFormat& format) {
    if (m_styleCache.empty()) m_styleCache.assign(kStyleCacheSlots, 0);
    const std::uint64_t key = StyleKey(format);
    const std::size_t home = CacheSlot(key);
    auto slotAt = [&](std::size_t probe) -> std::uint32_t& {
        return m_styleCache[(home + probe) & (kStyleCacheSlots - 1)];
    };
    for (std::size_t probe = 0; probe < kStyleProbes; ++probe) {
        const std::uint32_t held = slotAt(probe);
        // An entry reused for another format since it was cached fails the comparison.
        if (held != 0 && StyleKey(m_styles[held - 1].format) == key) return held - 1;
    }
    CharFormat stored = Merge(m_default, format);
    stored.effects = format.effects & CharFormat::kEffects;
    stored.textColour = format.textColour & 0xFFFFFF;
    stored.backColour = format.backColour & 0xFFFFFF;
    std::uint32_t index = UINT32_MAX;
    while (index == UINT32_MAX && m_freeStyles != kFreeEnd) {
        const std::uint32_t candidate = m_freeStyles;
        m_freeStyles = m_styles[candidate].nextFree;
        m_styles[candidate].nextFree = kNotFree;
        // Taken again while it waited on the list.
        if (m_styles[candidate].uses == 0) index = candidate;
    }
    if (index == UINT32_MAX) {
        index = static_cast<std::uint32_t>(m_styles.Size());
        m_styles.PushBack(StyleEntry{stored, 0, kNotFree});
    } else {
        m_styles[index] = StyleEntry{stored, 0, kNotFree};
    }
    // The newest format goes first; the oldest of the probed slots drops out.
    for (std::size_t probe = kStyleProbes - 1; probe > 0; --probe)
        slotAt(probe) = slotAt(probe - 1);
    slotAt(0) = index + 1;
    return index;
}

void OutputText::ReleaseStyle(std::uint32_t style) {
    StyleEntry& entry = m_styles[style];
    if (--entry.uses == 0 && entry.nextFree == kNotFree) {
        entry.nextFree = m_freeStyles;
        m_freeStyles = style;
    }
}

void OutputText::ReleaseRuns(std::size_t first, std::size_t last) {
    for (std::size_t k = first; k < last; ++k) ReleaseStyle(m_runs[k].style);
}

void OutputText::ResetStyles() {
    m_styles.Clear();
    m_freeStyles = kFreeEnd;
    m_styleCache.clear();
}

std::size_t OutputText::RunIndexAt(std::int32_t position) const {
    // Look-ups come in order down a page: the run found last, or one a few after it, usually
    // holds the position, which saves a search of every run held.
    const std::size_t count = m_runs.Size();
    std::size_t at = m_runHint;
    if (at < count && Logical(m_runs[at].start) <= position) {
        for (int step = 0; step < kRunHintSteps; ++step, ++at) {
            if (at + 1 == count || Logical(m_runs[at + 1].start) > position) {
                m_runHint = at;
                return at;
            }
        }
    }
    m_runHint = m_runs.PartitionPoint(0, count, [&](const StoredRun& run) {
        return Logical(run.start) <= position;
    }) - 1;
    return m_runHint;
}

CharFormat OutputText::FormatAt(std::int32_t position) const {
    if (m_bytes.Empty()) return m_default;
    position = std::clamp(position, 0, Length() - 1);
    return m_styles[m_runs[RunIndexAt(position)].style].format;
}

std::int32_t OutputText::CharacterBudget() const {
    const std::int64_t budget = std::clamp<std::int64_t>(m_lineLimit * kCharactersPerLine,
                                                         kMinCharacterBudget, kMaxCharacterBudget);
    return static_cast<std::int32_t>(std::min<std::int64_t>(budget, m_maxLength));
}

template <typename Char>
void OutputText::InsertText(std::int32_t position, const Char* text, std::size_t count,
                            const CharFormat& format,
                            void (OutputText::*append)(const Char*, std::size_t, std::uint32_t)) {
    if (m_lineLimit > 0) {
        // Only the newest characters of a text larger than the whole budget can stay.
        const auto budget = static_cast<std::size_t>(CharacterBudget());
        if (count > budget) {
            text += count - budget;
            count = budget;
        }
    } else {
        count = std::min(count, static_cast<std::size_t>(std::max(0, m_maxLength - Length())));
    }
    if (count == 0) return;
    position = std::clamp(position, 0, Length());
    const std::uint32_t style = Intern(format);
    if (position == Length()) {
        (this->*append)(text, count, style);
    } else {
        const Tail tail = TakeTail(position);
        (this->*append)(text, count, style);
        AppendTail(tail);
        ReleaseTail(tail);
    }
    EnforceLimits();
}

void OutputText::Insert(std::int32_t position, const char* latin1, std::size_t count,
                        const CharFormat& format) {
    InsertText(position, reinterpret_cast<const unsigned char*>(latin1), count, format,
               &OutputText::AppendBytes);
}

void OutputText::Insert(std::int32_t position, const char16_t* text, std::size_t count,
                        const CharFormat& format) {
    InsertText(position, text, count, format, &OutputText::AppendUtf16);
}

void OutputText::AppendRun(std::uint32_t style) {
    if (m_runs.Empty() || m_runs.Back().style != style) {
        m_runs.PushBack(StoredRun{Stored(Length()), style});
        AcquireStyle(style);
    }
}

void OutputText::AppendBytes(const unsigned char* text, std::size_t count, std::uint32_t style) {
    AppendRun(style);
    const std::int32_t start = Length();
    m_bytes.Append(text, count);
    const unsigned char* from = text;
    const unsigned char* end = text + count;
    while (from < end) {
        const void* found = std::memchr(from, '\n', static_cast<std::size_t>(end - from));
        if (found == nullptr) break;
        const auto* lineFeed = static_cast<const unsigned char*>(found);
        m_lineStarts.PushBack(
            Stored(start + ToIndex(static_cast<std::size_t>(lineFeed - text)) + 1));
        from = lineFeed + 1;
    }
}

void OutputText::AppendUtf16(const char16_t* text, std::size_t count, std::uint32_t style) {
    AppendRun(style);
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t c = text[i];
        if (c > 0xFF) {
            m_wide.PushBack(WideChar{Stored(Length()), c});
            m_bytes.PushBack(kWidePlaceholder);
            continue;
        }
        m_bytes.PushBack(static_cast<unsigned char>(c));
        if (c == u'\n') m_lineStarts.PushBack(Stored(Length()));
    }
}

OutputText::Tail OutputText::TakeTail(std::int32_t position) {
    Tail tail;
    tail.text.resize(static_cast<std::size_t>(Length() - position));
    CopyUtf16(position, Length(), tail.text.data());
    for (std::size_t k = RunIndexAt(position); k < m_runs.Size(); ++k) {
        const Run run = RunAt(k);
        tail.runs.push_back(Run{std::max(run.start, position) - position, run.style});
        AcquireStyle(run.style);
    }
    Truncate(position);
    return tail;
}

void OutputText::AppendTail(const Tail& tail) {
    for (std::size_t k = 0; k < tail.runs.size(); ++k) {
        const std::int32_t start = tail.runs[k].start;
        const std::int32_t end =
            k + 1 < tail.runs.size() ? tail.runs[k + 1].start : ToIndex(tail.text.size());
        AppendUtf16(tail.text.data() + start, static_cast<std::size_t>(end - start),
                    tail.runs[k].style);
    }
}

void OutputText::ReleaseTail(const Tail& tail) {
    for (const Run& run : tail.runs) ReleaseStyle(run.style);
}

void OutputText::Truncate(std::int32_t length) {
    if (length >= Length()) return;
    m_lineStarts.Truncate(m_lineStarts.PartitionPoint(
        0, m_lineStarts.Size(), [&](std::uint32_t start) { return Logical(start) <= length; }));
    const std::size_t runs = m_runs.PartitionPoint(
        0, m_runs.Size(), [&](const StoredRun& run) { return Logical(run.start) < length; });
    ReleaseRuns(runs, m_runs.Size());
    m_runs.Truncate(runs);
    m_wide.Truncate(m_wide.PartitionPoint(
        0, m_wide.Size(), [&](const WideChar& wide) { return Logical(wide.position) < length; }));
    m_bytes.Truncate(static_cast<std::size_t>(length));
}

void OutputText::Erase(std::int32_t start, std::int32_t end) {
    const std::int32_t length = Length();
    start = std::clamp(start, 0, length);
    end = std::clamp(end, 0, length);
    if (start >= end) return;
    if (end == length) {
        // Taking back the end of the text is the cheap case.
        Truncate(start);
        return;
    }
    const Tail tail = TakeTail(end);
    Truncate(start);
    AppendTail(tail);
    ReleaseTail(tail);
}

void OutputText::Clear() {
    m_trimmedCharacters += Length();
    m_trimmedLines += LineCount() - 1;
    m_origin += static_cast<std::uint32_t>(Length());
    m_bytes.Clear();
    m_lineStarts.Clear();
    m_runs.Clear();
    m_wide.Clear();
    ResetStyles();
}

void OutputText::SetLineLimit(std::int32_t lines) {
    m_lineLimit = std::max(0, lines);
    EnforceLimits();
}

void OutputText::EnforceLimits() {
    if (m_lineLimit <= 0 || m_bytes.Empty()) return;
    const std::int32_t length = Length();
    const std::int32_t lines = LineCount();
    const bool lastEmpty = LineStart(lines - 1) == length;
    const std::int32_t textLines = lines - (lastEmpty ? 1 : 0);
    std::int32_t cut = 0;
    if (textLines > m_lineLimit) cut = LineStart(textLines - m_lineLimit);
    const std::int32_t budget = CharacterBudget();
    if (length - cut > budget) {
        const std::int32_t need = length - budget;
        const std::int32_t line = LineOf(need);
        const std::int32_t lineStart = LineStart(line);
        if (lineStart == need) {
            cut = need;
        } else if (line + 1 < lines && LineStart(line + 1) < length) {
            cut = LineStart(line + 1);
        } else {
            // Inside one huge line: whole pieces of it go, so its layout stays put.
            const std::int64_t pieces = (need - lineStart + kLinePiece - 1) / kLinePiece;
            cut = static_cast<std::int32_t>(
                std::min<std::int64_t>(length, lineStart + pieces * kLinePiece));
        }
    }
    if (cut > 0) TrimFront(cut);
}

void OutputText::TrimFront(std::int32_t count) {
    if (count >= Length()) {
        Clear();
        return;
    }
    const std::size_t lines = m_lineStarts.PartitionPoint(
        0, m_lineStarts.Size(), [&](std::uint32_t start) { return Logical(start) <= count; });
    const std::size_t runs = RunIndexAt(count);
    const std::size_t wide = m_wide.PartitionPoint(
        0, m_wide.Size(), [&](const WideChar& entry) { return Logical(entry.position) < count; });
    m_lineStarts.PopFront(lines);
    ReleaseRuns(0, runs);
    m_runs.PopFront(runs);
    m_runs[0].start = Stored(count);
    m_wide.PopFront(wide);
    m_bytes.PopFront(static_cast<std::size_t>(count));
    m_origin += static_cast<std::uint32_t>(count);
    m_trimmedCharacters += count;
    m_trimmedLines += static_cast<std::int64_t>(lines);
}

void OutputText::ApplyFormat(std::int32_t start, std::int32_t end, const CharFormat& format) {
    const std::int32_t length = Length();
    start = std::clamp(start, 0, length);
    end = std::clamp(end, 0, length);
    if (start >= end) return;
    const Tail tail = TakeTail(start);
    const std::int32_t span = end - start;
    for (std::size_t k = 0; k < tail.runs.size(); ++k) {
        const std::int32_t from = tail.runs[k].start;
        const std::int32_t to =
            k + 1 < tail.runs.size() ? tail.runs[k + 1].start : ToIndex(tail.text.size());
        const std::uint32_t style = tail.runs[k].style;
        const std::int32_t split = std::clamp(span, from, to);
        if (split > from) {
            const std::uint32_t merged = Intern(Merge(m_styles[style].format, format));
            AppendUtf16(tail.text.data() + from, static_cast<std::size_t>(split - from), merged);
        }
        if (to > split) {
            AppendUtf16(tail.text.data() + split, static_cast<std::size_t>(to - split), style);
        }
    }
    ReleaseTail(tail);
}

void OutputText::ApplyFormatToAll(const CharFormat& format) {
    m_default = Merge(m_default, format);
    std::unordered_map<std::uint32_t, std::uint32_t> remap;
    std::size_t out = 0;
    for (std::size_t k = 0; k < m_runs.Size(); ++k) {
        StoredRun run = m_runs[k];
        const std::uint32_t old = run.style;
        auto it = remap.find(old);
        if (it == remap.end()) {
            const CharFormat merged = Merge(m_styles[old].format, format);
            it = remap.emplace(old, Intern(merged)).first;
        }
        run.style = it->second;
        // The new entry takes its use before the old one gives its up, as they may be one.
        if (out > 0 && m_runs[out - 1].style == run.style) {
            ReleaseStyle(old);
            continue;
        }
        AcquireStyle(run.style);
        ReleaseStyle(old);
        m_runs[out++] = run;
    }
    m_runs.Truncate(out);
}

std::size_t OutputText::MemoryUsage() const {
    return m_bytes.MemoryUsage() + m_lineStarts.MemoryUsage() + m_runs.MemoryUsage() +
           m_wide.MemoryUsage() + m_styles.MemoryUsage() +
           m_styleCache.capacity() * sizeof(std::uint32_t);
}
