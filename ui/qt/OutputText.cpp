#include "ui/qt/OutputText.h"

#include <algorithm>
#include <cstring>

namespace {

std::int32_t ToIndex(std::size_t value) { return static_cast<std::int32_t>(value); }

}  // namespace

OutputText::OutputText(std::int32_t maxLength) : m_maxLength(maxLength) {
    m_lineStarts.push_back(0);
    // A fresh control shows black text on white until it is told otherwise.
    m_default.mask = kFullMask;
    m_default.effects = 0;
    m_default.textColour = 0x000000;
    m_default.backColour = 0xFFFFFF;
}

std::int32_t OutputText::LineTextEnd(std::int32_t line) const {
    std::int32_t end = line + 1 < LineCount() ? LineStart(line + 1) : Length();
    const std::int32_t start = LineStart(line);
    if (end > start && At(end - 1) == u'\n') --end;
    if (end > start && At(end - 1) == u'\r') --end;
    return end;
}

std::int32_t OutputText::LineOf(std::int32_t position) const {
    auto it = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), position);
    return ToIndex(static_cast<std::size_t>(it - m_lineStarts.begin())) - 1;
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

std::uint32_t OutputText::Intern(const CharFormat& format) {
    const std::uint64_t key = (static_cast<std::uint64_t>(format.effects & 0xF) << 48) |
                              (static_cast<std::uint64_t>(format.textColour & 0xFFFFFF) << 24) |
                              (format.backColour & 0xFFFFFF);
    auto it = m_styleIndex.find(key);
    if (it != m_styleIndex.end()) return it->second;
    CharFormat stored = Merge(m_default, format);
    stored.effects = format.effects & CharFormat::kEffects;
    stored.textColour = format.textColour & 0xFFFFFF;
    stored.backColour = format.backColour & 0xFFFFFF;
    const auto index = static_cast<std::uint32_t>(m_styles.size());
    m_styles.push_back(stored);
    m_styleIndex.emplace(key, index);
    return index;
}

std::size_t OutputText::RunIndexAt(std::int32_t position) const {
    auto it =
        std::upper_bound(m_runs.begin(), m_runs.end(), position,
                         [](std::int32_t value, const Run& run) { return value < run.start; });
    return static_cast<std::size_t>(it - m_runs.begin()) - 1;
}

CharFormat OutputText::FormatAt(std::int32_t position) const {
    if (m_text.empty()) return m_default;
    position = std::clamp(position, 0, Length() - 1);
    return m_styles[m_runs[RunIndexAt(position)].style];
}

void OutputText::Insert(std::int32_t position, const char* latin1, std::size_t count,
                        const CharFormat& format) {
    InsertChars(position, reinterpret_cast<const unsigned char*>(latin1), count, format);
}

void OutputText::Insert(std::int32_t position, const char16_t* text, std::size_t count,
                        const CharFormat& format) {
    InsertChars(position, text, count, format);
}

template <typename Char>
void OutputText::InsertChars(std::int32_t position, const Char* text, std::size_t count,
                             const CharFormat& format) {
    const std::int32_t oldLength = Length();
    count = std::min(count, static_cast<std::size_t>(std::max(0, m_maxLength - oldLength)));
    if (count == 0) return;
    position = std::clamp(position, 0, oldLength);
    const auto n = ToIndex(count);
    const std::uint32_t style = Intern(format);

    // Line starts: shift those after the insertion, add one after every inserted LF.
    auto firstAfter = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), position);
    const auto insertAt = static_cast<std::size_t>(firstAfter - m_lineStarts.begin());
    for (auto it = firstAfter; it != m_lineStarts.end(); ++it) *it += n;
    std::vector<std::int32_t> newStarts;
    const bool atEnd = position == oldLength;
    for (std::size_t i = 0; i < count; ++i) {
        if (text[i] != '\n') continue;
        if (atEnd) {
            m_lineStarts.push_back(position + ToIndex(i) + 1);
        } else {
            newStarts.push_back(position + ToIndex(i) + 1);
        }
    }
    if (!newStarts.empty()) {
        m_lineStarts.insert(m_lineStarts.begin() + static_cast<std::ptrdiff_t>(insertAt),
                            newStarts.begin(), newStarts.end());
    }

    if (atEnd) {
        m_text.insert(m_text.end(), text, text + count);
    } else {
        m_text.insert(m_text.begin() + position, text, text + count);
    }
    InsertRun(position, n, style);
}

void OutputText::InsertRun(std::int32_t position, std::int32_t count, std::uint32_t style) {
    const std::int32_t oldLength = Length() - count;
    auto shiftFrom = [&](std::size_t first) {
        for (std::size_t i = first; i < m_runs.size(); ++i) m_runs[i].start += count;
    };
    if (m_runs.empty()) {
        m_runs.push_back({0, style});
        return;
    }
    if (position == oldLength) {
        if (m_runs.back().style != style) m_runs.push_back({position, style});
        return;
    }
    const std::size_t k = RunIndexAt(position);
    if (m_runs[k].start == position) {
        if (k > 0 && m_runs[k - 1].style == style) {
            shiftFrom(k);
        } else if (m_runs[k].style == style) {
            shiftFrom(k + 1);
        } else {
            m_runs.insert(m_runs.begin() + static_cast<std::ptrdiff_t>(k), Run{position, style});
            shiftFrom(k + 1);
        }
        return;
    }
    if (m_runs[k].style == style) {
        shiftFrom(k + 1);
        return;
    }
    const Run tail{position + count, m_runs[k].style};
    m_runs.insert(m_runs.begin() + static_cast<std::ptrdiff_t>(k + 1),
                  {Run{position, style}, tail});
    for (std::size_t i = k + 3; i < m_runs.size(); ++i) m_runs[i].start += count;
}

void OutputText::Erase(std::int32_t start, std::int32_t end) {
    const std::int32_t length = Length();
    start = std::clamp(start, 0, length);
    end = std::clamp(end, 0, length);
    if (start >= end) return;
    const std::int32_t removed = end - start;

    // A line start in (start, end] belonged to an erased LF.
    auto first = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), start);
    auto last = std::upper_bound(first, m_lineStarts.end(), end);
    for (auto it = last; it != m_lineStarts.end(); ++it) *it -= removed;
    m_lineStarts.erase(first, last);

    if (end == length) {
        auto cut =
            std::lower_bound(m_runs.begin(), m_runs.end(), start,
                             [](const Run& run, std::int32_t value) { return run.start < value; });
        m_runs.erase(cut, m_runs.end());
    } else {
        const std::uint32_t styleAtEnd = m_runs[RunIndexAt(end)].style;
        auto k0 =
            std::lower_bound(m_runs.begin(), m_runs.end(), start,
                             [](const Run& run, std::int32_t value) { return run.start < value; });
        auto k1 =
            std::upper_bound(m_runs.begin(), m_runs.end(), end,
                             [](std::int32_t value, const Run& run) { return value < run.start; });
        for (auto it = k1; it != m_runs.end(); ++it) it->start -= removed;
        auto at = m_runs.erase(k0, k1);
        const auto index = static_cast<std::size_t>(at - m_runs.begin());
        const bool sameAsBefore = index > 0 && m_runs[index - 1].style == styleAtEnd;
        if (!sameAsBefore) m_runs.insert(at, Run{start, styleAtEnd});
        MergeRunsAround(index == 0 ? 0 : index - 1, std::min(index + 1, m_runs.size() - 1));
    }
    m_text.erase(m_text.begin() + start, m_text.begin() + end);
    if (m_text.empty()) m_runs.clear();
}

void OutputText::Clear() {
    m_text.clear();
    m_text.shrink_to_fit();
    m_lineStarts.assign(1, 0);
    m_lineStarts.shrink_to_fit();
    m_runs.clear();
    m_runs.shrink_to_fit();
}

void OutputText::MergeRunsAround(std::size_t first, std::size_t last) {
    if (m_runs.empty()) return;
    last = std::min(last, m_runs.size() - 1);
    std::size_t out = first + 1;
    for (std::size_t i = first + 1; i <= last; ++i) {
        if (m_runs[i].style == m_runs[out - 1].style) continue;
        m_runs[out++] = m_runs[i];
    }
    m_runs.erase(m_runs.begin() + static_cast<std::ptrdiff_t>(out),
                 m_runs.begin() + static_cast<std::ptrdiff_t>(last + 1));
}

void OutputText::ApplyFormat(std::int32_t start, std::int32_t end, const CharFormat& format) {
    const std::int32_t length = Length();
    start = std::clamp(start, 0, length);
    end = std::clamp(end, 0, length);
    if (start >= end) return;
    const std::size_t k0 = RunIndexAt(start);
    const std::size_t k1 = RunIndexAt(end - 1);
    std::vector<Run> replacement;
    if (m_runs[k0].start < start) replacement.push_back(m_runs[k0]);
    for (std::size_t k = k0; k <= k1; ++k) {
        const CharFormat merged = Merge(m_styles[m_runs[k].style], format);
        replacement.push_back({std::max(m_runs[k].start, start), Intern(merged)});
    }
    const bool nextStartsAtEnd = k1 + 1 < m_runs.size() && m_runs[k1 + 1].start == end;
    if (end < length && !nextStartsAtEnd) replacement.push_back({end, m_runs[k1].style});
    m_runs.erase(m_runs.begin() + static_cast<std::ptrdiff_t>(k0),
                 m_runs.begin() + static_cast<std::ptrdiff_t>(k1 + 1));
    m_runs.insert(m_runs.begin() + static_cast<std::ptrdiff_t>(k0), replacement.begin(),
                  replacement.end());
    MergeRunsAround(k0 == 0 ? 0 : k0 - 1, k0 + replacement.size());
}

void OutputText::ApplyFormatToAll(const CharFormat& format) {
    m_default = Merge(m_default, format);
    std::unordered_map<std::uint32_t, std::uint32_t> remap;
    for (Run& run : m_runs) {
        auto it = remap.find(run.style);
        if (it == remap.end()) {
            const CharFormat merged = Merge(m_styles[run.style], format);
            it = remap.emplace(run.style, Intern(merged)).first;
        }
        run.style = it->second;
    }
    if (!m_runs.empty()) MergeRunsAround(0, m_runs.size() - 1);
}
