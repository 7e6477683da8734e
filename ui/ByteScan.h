#pragma once

// Byte scanners of the pane's append path. Server text goes through them line by line, so they
// work sixteen bytes (or a word) at a time. OSTRAK_PORTABLE_SCAN builds the plain C++ scans on
// machines that have SSE2 too; the plain ones are always compiled so that tests can hold the
// vector ones against them.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__) && !defined(OSTRAK_PORTABLE_SCAN)
#define OSTRAK_SSE2_SCAN 1
#include <emmintrin.h>
// Where the compiler can build 32-byte code for one function, the chunk scan uses it on machines
// that have it.
#if defined(__GNUC__) && defined(__x86_64__)
#define OSTRAK_WIDE_SCAN 1
#endif
#endif

#include "ui/FormatCodes.h"

namespace ByteScan {

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// The distinct first two bytes of the URL prefixes (second 0 for a one-byte prefix).
using PrefixPairs = std::array<std::array<unsigned char, 2>, 8>;

// A byte that may be part of a URL.
inline bool IsUrlByte(unsigned char b) { return b >= 0x21 && b <= 0x7F; }

// First `byte` at or after `from`, or kNotFound.
inline std::size_t FindByte(std::string_view text, std::size_t from, unsigned char byte) {
    if (from >= text.size()) return kNotFound;
    const void* hit = std::memchr(text.data() + from, byte, text.size() - from);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : kNotFound;
}

// First byte at or after `from` that starts a marker: 0x19, 0x1A or a format code (>= 0x80);
// kNotFound when there is none. A word at a time, without vector instructions.
std::size_t FindMarkerPortable(std::string_view text, std::size_t from);

// Bit i set where byte from+i may need the exact URL check: a PML or Unicode delimiter or a link
// start, or what may be the first two bytes of a prefix after a word boundary or seven bytes
// after a colour code. Looks at the text as it stands, so it may name a few bytes too many
// but never too few. Covers the 64 bytes from `from`, or up to the end of the text.
// `pairCount` is 1 to 8.
std::uint64_t PrefixHits(std::string_view text, std::size_t from, const PrefixPairs& pairs,
                         std::size_t pairCount);
// The same sixteen bytes at a time: what PrefixHits does on machines without the 32-byte
// instructions (and for chunks the 32-byte scan does not take).
std::uint64_t PrefixHits16(std::string_view text, std::size_t from, const PrefixPairs& pairs,
                           std::size_t pairCount);
// The same a byte at a time (what PrefixHits does where there are no vector instructions).
std::uint64_t PrefixHitsPortable(std::string_view text, std::size_t from, const PrefixPairs& pairs,
                                 std::size_t pairCount);

// What a ByteFinder looks for.
enum class ByteKind {
    Marker,  // 0x19, 0x1A or a format code
    NotUrl,  // a byte outside 0x21-0x7F, which ends a URL
};

#if defined(OSTRAK_WIDE_SCAN)
// Whether this machine runs the 32-byte scans.
extern const bool kWideScanAvailable;
// ByteFinder's bits for the `count` (32 to 64) bytes at p, 32 bytes at a time.
std::uint64_t WideBits(ByteKind kind, const char* p, std::size_t count);
#endif

// Finds bytes of one kind front to back. It keeps a bit mask of them in the next 64 bytes, so
// a line with several codes is looked at once rather than once per code.
template <ByteKind kKind>
class ByteFinder {
  public:
    explicit ByteFinder(std::string_view text) : m_text(text) {}

    // The first such byte at or after `from`, or the end of the text.
    std::size_t Next(std::size_t from) {
        const std::size_t n = m_text.size();
#if defined(OSTRAK_SSE2_SCAN)
        while (from < n) {
            if (from >= m_end || from < m_base) {
                m_base = from;
                m_end = n - from > 64 ? from + 64 : n;
                m_bits = Bits(m_text.data() + from, m_end - from);
            }
            const std::uint64_t ahead = m_bits >> (from - m_base);
            if (ahead) return from + static_cast<std::size_t>(std::countr_zero(ahead));
            from = m_end;
        }
        return n;
#else
        if constexpr (kKind == ByteKind::Marker) {
            const std::size_t at = FindMarkerPortable(m_text, from);
            return at == kNotFound ? n : at;
        } else {
            while (from < n && IsUrlByte(static_cast<unsigned char>(m_text[from]))) ++from;
            return from < n ? from : n;
        }
#endif
    }

  private:
#if defined(OSTRAK_SSE2_SCAN)
    static std::uint32_t Block(const char* p) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if constexpr (kKind == ByteKind::Marker) {
            const __m128i delimiters =
                _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(FormatCode::kPmlDelimiter)),
                             _mm_cmpeq_epi8(v, _mm_set1_epi8(FormatCode::kUnicodeDelimiter)));
            // The high bit of each byte marks the format codes.
            return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(v, delimiters)));
        } else {
            // Signed, the bytes below 0x21 and those from 0x80 on are less than 0x21.
            return static_cast<std::uint32_t>(
                _mm_movemask_epi8(_mm_cmpgt_epi8(_mm_set1_epi8(0x21), v)));
        }
    }

    // Such bytes among the `count` (1 to 64) bytes at p; reads nothing beyond them.
    static std::uint64_t Bits(const char* p, std::size_t count) {
#if defined(OSTRAK_WIDE_SCAN)
        if (count >= 32 && kWideScanAvailable) return WideBits(kKind, p, count);
#endif
        if (count < 16) {
            alignas(16) char block[16] = {};
            std::memcpy(block, p, count);
            return Block(block) & ((1u << count) - 1);
        }
        std::uint64_t bits = 0;
        std::size_t at = 0;
        for (; at + 16 <= count; at += 16) bits |= std::uint64_t{Block(p + at)} << at;
        // The rest: the last 16 bytes, without those already seen.
        if (at < count) bits |= std::uint64_t{Block(p + count - 16) >> (at + 16 - count)} << at;
        return bits;
    }

    // The bytes found in [m_base, m_end).
    std::size_t m_base = 0;
    std::size_t m_end = 0;
    std::uint64_t m_bits = 0;
#endif
    std::string_view m_text;
};

}  // namespace ByteScan
