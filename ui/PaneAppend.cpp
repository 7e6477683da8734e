// The append path of CRichPane: URL marking and rendering of format codes, PML tags and
// Unicode escapes. Server text goes through here line by line, so the scans work a word at a
// time and nothing is moved from the front of the pending text per marker.

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "base/AsciiText.h"
#include "ui/ByteScan.h"
#include "ui/RichPane.h"

using ByteScan::ByteFinder;
using ByteScan::ByteKind;
using ByteScan::FindByte;
using ByteScan::IsUrlByte;
using ByteScan::kNotFound;

namespace {

// The value of a Unicode escape's digits, or 0 when they are not 1 to 8 hexadecimal digits.
std::uint32_t EscapeValue(std::string_view digits) {
    if (digits.empty() || digits.size() > 8) return 0;
    std::uint32_t value = 0;
    for (char ch : digits) {
        const int digit = HexDigitValue(static_cast<unsigned char>(ch));
        if (digit < 0) return 0;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

}  // namespace

void CRichPane::ResetScanState() { m_scan = ScanState{}; }

// The prefix scan's hits, plus a prefix's first byte ending the text.
std::uint64_t CRichPane::ChunkHits(std::string_view src, std::size_t from) const {
    const std::size_t n = src.size();
    const std::size_t count = n - from < 64 ? n - from : 64;
    std::uint64_t hits = ByteScan::PrefixHits(src, from, m_urlPairs, m_urlPairCount);
    // A prefix's first byte as the last of the text may still be completed by the next append.
    if (n - from <= 64 && (m_urlClass[static_cast<unsigned char>(src[n - 1])] & kUrlCandidate)) {
        hits |= std::uint64_t{1} << (count - 1);
    }
    return hits;
}

CRichPane::SelectionKeeper::SelectionKeeper(CRichPane& pane) : m_pane(pane) {
    // At the end the selection is the pane's own insertion point, and nothing is to be kept.
    if (!pane.m_isOutput || !pane.m_control || pane.m_keepingSelection || pane.m_selectionAtEnd)
        return;
    std::int32_t anchor = 0;
    std::int32_t caret = 0;
    pane.m_control->GetSelectionEnds(anchor, caret);
    if (anchor == caret && caret >= pane.m_control->GetTextLength()) return;
    const std::int64_t trimmed = pane.m_control->TrimmedCharacters();
    m_anchor = trimmed + anchor;
    m_caret = trimmed + caret;
    m_active = true;
    pane.m_keepingSelection = true;
}

CRichPane::SelectionKeeper::~SelectionKeeper() {
    if (!m_active) return;
    m_pane.m_keepingSelection = false;
    IPaneControl* control = m_pane.m_control.get();
    if (!control) return;
    // Text the scrollback took collapses onto the new start.
    const std::int64_t trimmed = control->TrimmedCharacters();
    const auto back = [trimmed](std::int64_t position) {
        return static_cast<std::int32_t>(
            std::clamp<std::int64_t>(position - trimmed, 0, IPaneControl::kEnd - 1));
    };
    control->SetSelection(back(m_anchor), back(m_caret));
    m_pane.m_selectionAtEnd = false;
}

bool CRichPane::Append(std::string_view text, bool atSelection) {
    const SelectionKeeper keeper(*this);
    if (m_rendering) {
        // A control event that appends while text is going in: keep it for the next render.
        m_appendedWhileRendering.append(text);
        return true;
    }
    // Client messages: never on a prompt's line, and above a prompt shown for now.
    if (!m_appendingDirect && !atSelection && !text.empty() &&
        (m_lineOpen || m_provisional.active)) {
        return AppendMessage(text);
    }
    if (m_holdByUser || m_holdZeroSize || !m_control) {
        m_pending.append(text);
        if (m_pending.size() > kMaxHeldText) DropOldestHeld();
        return false;
    }

    m_rendering = true;
    if (m_pending.empty()) {
        // Usual case: nothing waits, so the text is rendered without copying it first.
        if (m_isOutput && !m_urlPrefixes.empty() && MarkUrls(text)) {
            Render(m_marked, false, atSelection);
        } else {
            Render(text, false, atSelection);
        }
    } else {
        m_pending.append(text);
        if (m_isOutput && !m_urlPrefixes.empty() && MarkUrls(m_pending)) m_pending.swap(m_marked);
        Render(m_pending, true, atSelection);
    }
    m_rendering = false;

    if (!m_appendedWhileRendering.empty()) {
        if (m_pending.empty()) ResetScanState();
        m_pending += m_appendedWhileRendering;
        m_appendedWhileRendering.clear();
    }
    return true;
}

// Encloses each URL in a link start and a link end code. A URL begins with a prefix at a word
// boundary and runs over the bytes 0x21-0x7F; one that reaches the end of the text is left
// until more text arrives. The contents of PML tags and Unicode escapes are never marked (they
// are not shown, and marking would change what the scripts receive), and a URL that already
// follows a link start is not enclosed again.
bool CRichPane::MarkUrls(std::string_view src) {
    const std::size_t n = src.size();
    std::size_t q = m_scan.urlFrom < n ? m_scan.urlFrom : n;
    unsigned char span = m_scan.urlSpan;

    // Once a URL is marked, m_marked holds the marked text of src[0, copied).
    bool copying = false;
    std::size_t copied = 0;
    auto markedIndex = [&](std::size_t index) {
        return copying ? m_marked.size() + (index - copied) : index;
    };
    auto byteAt = [&](std::size_t markedPos) -> unsigned char {
        if (copying && markedPos < m_marked.size()) {
            return static_cast<unsigned char>(m_marked[markedPos]);
        }
        const std::size_t index = copying ? copied + (markedPos - m_marked.size()) : markedPos;
        return static_cast<unsigned char>(src[index]);
    };
    ByteFinder<ByteKind::NotUrl> urlEnds(src);
    auto skipUrlBytes = [&] { q = urlEnds.Next(q); };

    std::size_t resume = kNotFound;  // first position (marked text) that may still change
    if (q == 0 && m_afterLinkStart) {
        // The text continues a link whose start code has been rendered already.
        skipUrlBytes();
        if (q == n) resume = 0;
    }
    // Positions from exactUntil on are found by the chunk scan; before it each byte is checked.
    std::size_t exactUntil = m_urlPairCount == 0 ? n : 0;
    std::uint64_t chunk = 0;  // ChunkHits from chunkFrom, valid up to chunkEnd
    std::size_t chunkFrom = 0;
    std::size_t chunkEnd = 0;
    if (span == 0 && exactUntil == 0 && q < n && n - q <= 64) {
        // A line at a time: most have nothing to look at more closely.
        chunk = ChunkHits(src, q);
        chunkFrom = q;
        chunkEnd = n;
        if (chunk == 0) {
            m_scan.urlFrom = resume == kNotFound ? n : resume;
            m_scan.urlSpan = 0;
            return false;
        }
    }
    // Whether the byte before q ends a word (the start of the text counts as such).
    bool afterBoundary = q == 0 || (m_urlClass[byteAt(markedIndex(q) - 1)] & kUrlBoundary);

    while (q < n) {
        if (span) {
            const std::size_t close = FindByte(src, q, span);
            if (close == kNotFound) {
                q = n;
                break;
            }
            q = close + 1;
            span = 0;
            afterBoundary = true;  // the closing delimiter is a control character
            continue;
        }
        // Most bytes are neither special nor a prefix's first byte after a word boundary.
        unsigned char cls = 0;
        while (q < n) {
            if (q >= exactUntil) {
                if (q >= chunkEnd) {
                    chunkFrom = q;
                    chunk = ChunkHits(src, q);
                    chunkEnd = n - q > 64 ? q + 64 : n;
                }
                const std::uint64_t ahead = chunk >> (q - chunkFrom);
                if (ahead == 0) {
                    q = chunkEnd;
                    continue;
                }
                q += static_cast<std::size_t>(std::countr_zero(ahead));
                // Away from marked URLs the text before q is the source text.
                afterBoundary =
                    q == 0 || (m_urlClass[static_cast<unsigned char>(src[q - 1])] & kUrlBoundary);
            }
            cls = m_urlClass[static_cast<unsigned char>(src[q])];
            if ((cls & kUrlSpecial) || ((cls & kUrlCandidate) && afterBoundary)) break;
            if (cls & kUrlCandidate) {
                // After a colour code and its six characters.
                const std::size_t p = markedIndex(q);
                if (p >= 7 && (byteAt(p - 7) & FormatCode::kColourOn) == FormatCode::kColourOn) {
                    break;
                }
            }
            afterBoundary = (cls & kUrlBoundary) != 0;
            ++q;
        }
        if (q == n) break;
        const auto b = static_cast<unsigned char>(src[q]);
        if (cls & kUrlSpecial) {
            ++q;
            if (b == FormatCode::kLinkStart) {
                // An enclosed URL: nothing in it is enclosed again.
                const std::size_t start = q;
                skipUrlBytes();
                if (q == n && resume == kNotFound) resume = markedIndex(start - 1);
                afterBoundary = q == start;
            } else {
                span = b;
            }
            continue;
        }
        if (!IsUrlByte(b)) {
            // A URL is made of URL bytes from its first byte on; only a prefix that begins
            // otherwise (an empty one) gets here.
            afterBoundary = (cls & kUrlBoundary) != 0;
            ++q;
            continue;
        }

        const std::size_t p = markedIndex(q);
        bool marked = false;
        for (const std::string& prefix : m_urlPrefixes) {
            const std::size_t available = n - q;
            const std::size_t compare = prefix.size() < available ? prefix.size() : available;
            bool same = true;
            for (std::size_t k = 0; k < compare && same; ++k) {
                same = LowerAscii(static_cast<unsigned char>(src[q + k])) ==
                       static_cast<unsigned char>(prefix[k]);
            }
            if (!same) continue;
            if (compare < prefix.size()) {
                // The prefix may still complete when more text arrives.
                if (resume == kNotFound) resume = p;
                continue;
            }
            const std::size_t last = urlEnds.Next(q + 1) - 1;
            if (last + 1 == n) {
                // Runs to the end: so does every later position, so nothing more is marked now.
                if (resume == kNotFound) resume = p;
                q = n;
                marked = true;
                break;
            }
            // Inserting before the opening byte of text that waits to be rendered moves it;
            // rendering then looks for it again.
            if (m_scan.openMarker != kNone && q <= m_scan.closeFrom) m_scan.openMarker = kNone;
            if (!copying) {
                m_marked.clear();
                m_marked.reserve(n + n / 16 + 16);
                copying = true;
            }
            m_marked.append(src, copied, q - copied);
            m_marked += static_cast<char>(FormatCode::kLinkStart);
            m_marked.append(src, q, last + 1 - q);
            m_marked += static_cast<char>(FormatCode::kLinkEnd);
            copied = last + 1;
            const std::size_t urlLength = last + 1 - q;
            q = last + 1;
            afterBoundary = true;  // the link end code
            // The chunk scan reads the bytes before a position in the source text, where the
            // inserted codes are missing; the next few bytes are checked one by one. From a
            // URL of five bytes on, the seven bytes before each of them lie within the link and
            // its codes, none of which is a colour code, so only the first, which follows the
            // link end code, can be missed.
            if (m_urlPairCount != 0) exactUntil = q + (urlLength >= 5 ? 1 : 8);
            // A marked URL is settled; what was uncertain before it is no longer looked at.
            resume = kNotFound;
            marked = true;
            break;
        }
        if (!marked) {
            afterBoundary = false;  // b is a URL byte
            ++q;
        }
    }
    if (copying) m_marked.append(src, copied, n - copied);

    const std::size_t length = copying ? m_marked.size() : n;
    if (resume != kNotFound) {
        m_scan.urlFrom = resume;
        m_scan.urlSpan = 0;
    } else {
        m_scan.urlFrom = length;
        // Still inside a tag or escape (its opening byte may have been the last one).
        m_scan.urlSpan = span;
    }
    return copying;
}

void CRichPane::Render(std::string_view src, bool textIsPending, bool atSelection) {
    Insertion at;
    m_selectionAtEnd = false;
    if (atSelection) {
        std::int32_t start = 0;
        std::int32_t end = 0;
        m_control->GetSelection(start, end);
        at.position = start;
        at.atSelection = true;
        at.moveFirst = false;
    }

    const std::size_t n = src.size();
    std::size_t off = 0;  // everything before it has been rendered
    bool closedAtBound = false;
    ByteFinder<ByteKind::Marker> markers(src);
    for (;;) {
        const std::size_t i = m_scan.openMarker != kNone ? m_scan.openMarker : markers.Next(off);
        if (i == n) break;
        const auto b = static_cast<unsigned char>(src[i]);

        if (b == FormatCode::kPmlDelimiter || b == FormatCode::kUnicodeDelimiter) {
            const std::size_t from = m_scan.openMarker == i ? m_scan.closeFrom : i + 1;
            std::size_t close = FindByte(src, from, b);
            const bool overlong = (close == kNotFound ? n : close) - i - 1 > kMaxOpenSpan;
            if (close == kNotFound && !overlong) {
                // Nothing from the text before the marker on is shown until it is closed.
                m_scan.openMarker = i;
                m_scan.closeFrom = n;
                KeepPending(src, textIsPending, off);
                if (closedAtBound) ForgetUrlScan();
                return;
            }
            // Open for longer than any honest server keeps one: closed at the bound, and what
            // follows is text again.
            if (overlong) {
                close = i + 1 + kMaxOpenSpan;
                closedAtBound = true;
            }
            const std::size_t after = overlong ? close : close + 1;
            m_scan.openMarker = kNone;
            InsertPlain(src.substr(off, i - off), at);
            if (b == FormatCode::kPmlDelimiter) {
                m_pmlQueue.emplace_back(src.substr(i + 1, close - i - 1));
                std::size_t next = after;
                if (!overlong && next < n && src[next] == '\r') ++next;
                if (!overlong && next < n && src[next] == '\n') ++next;
                off = next;
            } else {
                // Only the low 16 bits count. A zero character is not inserted: it would end
                // the text wherever the control's contents are read as a C string.
                const auto character =
                    static_cast<char16_t>(EscapeValue(src.substr(i + 1, close - i - 1)) & 0xFFFFu);
                if (character != 0) InsertUnicode(character, at);
                off = after;
            }
            continue;
        }

        InsertPlain(src.substr(off, i - off), at);
        off = i;
        unsigned char code = b;
        Colour colour = 0;
        const unsigned char colourOn = FormatCode::kOn | FormatCode::kColour;
        if ((code & colourOn) == colourOn) {
            if (n - off < FormatCode::kColourCodeLength) {
                KeepPending(src, textIsPending, off);
                if (closedAtBound) ForgetUrlScan();
                return;
            }
            if (!ParseHexColour(src.substr(off + 1, 6), colour)) {
                code = static_cast<unsigned char>(code & ~FormatCode::kColour);
            }
        }
        ApplyFormatCode(code, colour, at);
        off += (code & colourOn) == colourOn ? FormatCode::kColourCodeLength : 1;
    }
    InsertPlain(src.substr(off), at);
    KeepPending(src, textIsPending, n);
}

// URL marking took a span closed at the bound for one still open; what is left is looked at
// again (enclosed URLs are not enclosed twice).
void CRichPane::ForgetUrlScan() {
    m_scan.urlFrom = 0;
    m_scan.urlSpan = 0;
}

void CRichPane::KeepPending(std::string_view src, bool textIsPending, std::size_t from) {
    if (from > 0) {
        // A link start with a colour that does not parse was taken as a plain link start.
        const auto last = static_cast<unsigned char>(src[from - 1]);
        m_afterLinkStart = (last & ~FormatCode::kColour) == FormatCode::kLinkStart;
    }
    if (from == src.size()) {
        // Usual case: the whole text went in and nothing waits.
        m_pending.clear();
        ResetScanState();
        return;
    }
    if (textIsPending) {
        m_pending.erase(0, from);
    } else {
        m_pending.assign(src.substr(from));
    }
    if (m_pending.empty()) {
        ResetScanState();
        return;
    }
    if (m_scan.openMarker != kNone) {
        m_scan.openMarker -= from;
        m_scan.closeFrom -= from;
    }
    if (m_scan.urlFrom >= from) {
        m_scan.urlFrom -= from;
    } else {
        m_scan.urlFrom = 0;
        m_scan.urlSpan = 0;
    }
}

void CRichPane::MoveToInsertion(const Insertion& at) {
    if (at.atSelection) {
        m_control->SetSelection(at.position, at.position);
        return;
    }
    // Setting the same empty selection again is a no-op for the control, so it is skipped.
    if (m_selectionAtEnd) return;
    m_selectionAtEnd = true;
    m_control->SetSelection(at.position, at.position);
    // The selection may have been elsewhere (the player clicked or selected), and moving it
    // makes the control forget the format the codes had left for the end.
    m_control->SetSelectionFormat(m_format);
}

void CRichPane::InsertPlain(std::string_view run, Insertion& at) {
    if (run.empty()) return;
    if (at.moveFirst) MoveToInsertion(at);
    m_control->ReplaceSelection(run, m_isOutput == 0);
    if (at.atSelection) {
        const std::int64_t next =
            static_cast<std::int64_t>(at.position) + static_cast<std::int64_t>(run.size());
        at.position =
            next < IPaneControl::kEnd ? static_cast<std::int32_t>(next) : IPaneControl::kEnd;
    }
    at.moveFirst = true;
}

void CRichPane::InsertUnicode(char16_t character, Insertion& at) {
    if (at.moveFirst) MoveToInsertion(at);
    m_control->ReplaceSelectionUtf16(character, m_isOutput == 0);
    if (at.atSelection && at.position < IPaneControl::kEnd) ++at.position;
    at.moveFirst = true;
}

void CRichPane::ApplyFormatCode(unsigned char code, Colour colour, const Insertion& at) {
    constexpr std::uint32_t kLinkMask =
        CharFormat::kEffects | CharFormat::kColour | CharFormat::kBackColour;
    CharFormat format;
    format.effects = (code & FormatCode::kOn) ? CharFormat::kEffects : 0;
    if (code & FormatCode::kBold) format.mask |= CharFormat::kBold;
    if (code & FormatCode::kItalic) format.mask |= CharFormat::kItalic;
    if (code & FormatCode::kUnderline) format.mask |= CharFormat::kUnderline;
    if (code & FormatCode::kStrikeout) format.mask |= CharFormat::kStrikeout;
    if (code & FormatCode::kColour) {
        format.mask |= CharFormat::kColour;
        format.textColour = (code & FormatCode::kOn) ? colour : m_textColour;
    }
    if (code & FormatCode::kLink) {
        if (code & FormatCode::kOn) {
            MoveToInsertion(at);
            // At the end the format in effect is known; elsewhere the control has it.
            const CharFormat current = at.atSelection ? m_control->GetSelectionFormat() : m_format;
            m_savedEffects = current.effects & CharFormat::kEffects;
            m_savedTextColour = current.textColour;
            m_savedBackColour = current.backColour;
            m_linkOpen = true;
            format.mask = kLinkMask;
            format.effects = m_urlEffects & CharFormat::kEffects;
            format.textColour = m_urlTextColour;
            format.backColour = m_urlBackColour;
            if (m_urlTextColour == 0xFFFFFFFFu) format.mask &= ~CharFormat::kColour;
            if (m_urlBackColour == 0xFFFFFFFFu) format.mask &= ~CharFormat::kBackColour;
        } else if (m_linkOpen) {
            m_linkOpen = false;
            format.mask = kLinkMask;
            format.effects = m_savedEffects;
            format.textColour = m_savedTextColour;
            format.backColour = m_savedBackColour;
        } else {
            // A link end without a start has nothing saved to go back to: the zeroed record
            // would make the text black on black.
            format = DefaultFormat();
        }
    }
    MoveToInsertion(at);
    if (!at.atSelection) {
        if (format.mask & CharFormat::kEffects) {
            m_format.effects = (m_format.effects & ~(format.mask & CharFormat::kEffects)) |
                               (format.effects & format.mask & CharFormat::kEffects);
        }
        if (format.mask & CharFormat::kColour) m_format.textColour = format.textColour;
        if (format.mask & CharFormat::kBackColour) m_format.backColour = format.backColour;
    }
#if defined(OSTRAK_SSE2_SCAN)
    // Stored in one piece: a control that copies the format reads it in one piece as well, and
    // reading it back from four separate stores would stall.
    static_assert(sizeof(CharFormat) == 16 && std::is_trivially_copyable_v<CharFormat>);
    const __m128i packed =
        _mm_set_epi32(static_cast<int>(format.backColour), static_cast<int>(format.textColour),
                      static_cast<int>(format.effects), static_cast<int>(format.mask));
    std::memcpy(static_cast<void*>(&format), &packed, sizeof format);
#endif
    m_control->SetSelectionFormat(format);
}
