#include "ui/ByteScan.h"

#if defined(OSTRAK_WIDE_SCAN)
#include <immintrin.h>
#endif

// The block steps of the chunk scan are small lambdas that must not become calls.
#if defined(__GNUC__)
#define OSTRAK_INLINE __attribute__((always_inline))
#else
#define OSTRAK_INLINE
#endif

namespace ByteScan {

#if defined(OSTRAK_SSE2_SCAN)
namespace {

// The eight-pair scans look at every pair; those from `count` on must match nothing.
const PrefixPairs& OnlyFirst(const PrefixPairs& pairs, std::size_t count, PrefixPairs& spare) {
    if (count >= pairs.size()) return pairs;
    spare = {};
    for (std::size_t k = 0; k < count; ++k) spare[k] = pairs[k];
    return spare;
}

}  // namespace
#endif

std::size_t FindMarkerPortable(std::string_view text, std::size_t from) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = from;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kOnes = 0x0101010101010101ull;
        constexpr std::uint64_t kHighs = 0x8080808080808080ull;
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, bytes + i, 8);
            const std::uint64_t pml = word ^ (kOnes * FormatCode::kPmlDelimiter);
            const std::uint64_t uni = word ^ (kOnes * FormatCode::kUnicodeDelimiter);
            // High bit of a byte: a code byte, or a zero byte of one of the xor-ed words. A
            // borrow can only mark bytes above a true hit, so the lowest mark is exact.
            const std::uint64_t hits =
                (word | ((pml - kOnes) & ~pml) | ((uni - kOnes) & ~uni)) & kHighs;
            if (hits) return i + static_cast<std::size_t>(std::countr_zero(hits)) / 8;
            i += 8;
        }
    }
    for (; i < n; ++i) {
        const unsigned char b = bytes[i];
        if (b >= FormatCode::kFirstCode || b == FormatCode::kPmlDelimiter ||
            b == FormatCode::kUnicodeDelimiter) {
            return i;
        }
    }
    return kNotFound;
}

#if defined(OSTRAK_SSE2_SCAN)
namespace {

// The vector part of PrefixHits for K prefix pairs (a zero pair, filling up K, matches
// nothing), over the `count` (1 to 64) bytes at p. With `padded` the bytes from p - 7 to p + 80
// may all be read. Otherwise only the text is read: p - 7 on unless `atStart` (p begins the
// text, count is 16 or more and, unless a multiple of 16, at least 23), and p + count when
// `moreAfter`.
template <std::size_t K>
std::uint64_t ScanChunk(const char* p, std::size_t count, bool padded, bool atStart, bool moreAfter,
                        const PrefixPairs& pairs) {
    // Or-ing in 0x20 folds A-Z onto a-z (and a few other bytes onto each other, which only costs
    // an exact check now and then). A one-byte prefix takes any second byte.
    const __m128i caseBit = _mm_set1_epi8(0x20);
    __m128i first[K];
    __m128i second[K];
    __m128i anySecond[K];
    for (std::size_t k = 0; k < K; ++k) {
        const unsigned char a = pairs[k][0];
        const unsigned char b = pairs[k][1];
        first[k] = a == 0 ? _mm_setzero_si128() : _mm_set1_epi8(static_cast<char>(a | 0x20));
        second[k] = _mm_set1_epi8(static_cast<char>(b | 0x20));
        anySecond[k] = b == 0 ? _mm_set1_epi8(-1) : _mm_setzero_si128();
    }
    const __m128i colourBits = _mm_set1_epi8(static_cast<char>(FormatCode::kColourOn));
    const __m128i aboveSpace = _mm_set1_epi8(0x21);
    const __m128i pml = _mm_set1_epi8(FormatCode::kPmlDelimiter);
    const __m128i unicode = _mm_set1_epi8(FormatCode::kUnicodeDelimiter);
    const __m128i linkStart = _mm_set1_epi8(static_cast<char>(FormatCode::kLinkStart));
    const auto load = [](const char* at) OSTRAK_INLINE {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    };
    // Sixteen bytes, the byte before each, the one seven before and the one after.
    const auto block = [&](__m128i v, __m128i before, __m128i earlier,
                           __m128i after) OSTRAK_INLINE {
        const __m128i folded = _mm_or_si128(v, caseBit);
        const __m128i foldedAfter = _mm_or_si128(after, caseBit);
        __m128i pairHits = _mm_setzero_si128();
        for (std::size_t k = 0; k < K; ++k) {
            const __m128i secondHit =
                _mm_or_si128(_mm_cmpeq_epi8(foldedAfter, second[k]), anySecond[k]);
            pairHits =
                _mm_or_si128(pairHits, _mm_and_si128(_mm_cmpeq_epi8(folded, first[k]), secondHit));
        }
        // Signed, the bytes below 0x21 and those from 0x80 on are less than 0x21: word ends.
        const __m128i boundary = _mm_cmpgt_epi8(aboveSpace, before);
        const __m128i colour = _mm_cmpeq_epi8(_mm_and_si128(earlier, colourBits), colourBits);
        const __m128i special =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, pml), _mm_cmpeq_epi8(v, unicode)),
                         _mm_cmpeq_epi8(v, linkStart));
        const __m128i hit =
            _mm_or_si128(special, _mm_and_si128(pairHits, _mm_or_si128(boundary, colour)));
        return std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(hit))};
    };

    std::uint64_t hits = 0;
    if (padded) {
        for (std::size_t at = 0; at < count; at += 16) {
            hits |= block(load(p + at), load(p + at - 1), load(p + at - 7), load(p + at + 1)) << at;
        }
        return count == 64 ? hits : hits & ((std::uint64_t{1} << count) - 1);
    }
    std::size_t at = 0;
    for (; at + 16 <= count; at += 16) {
        const __m128i v = load(p + at);
        // Zeros shifted in before the text are word boundaries and no colour codes; one shifted
        // in after it matches no second byte.
        const bool first16 = atStart && at == 0;
        const __m128i before = first16 ? _mm_slli_si128(v, 1) : load(p + at - 1);
        const __m128i earlier = first16 ? _mm_slli_si128(v, 7) : load(p + at - 7);
        const __m128i after =
            (at + 16 < count || moreAfter) ? load(p + at + 1) : _mm_srli_si128(v, 1);
        hits |= block(v, before, earlier, after) << at;
    }
    if (at < count) {
        // The rest as the last 16 bytes, without those already seen.
        const std::size_t last = count - 16;
        const __m128i v = load(p + last);
        const std::uint64_t tail =
            block(v, load(p + last - 1), load(p + last - 7), _mm_srli_si128(v, 1));
        hits |= (tail >> (at - last)) << at;
    }
    return hits;
}
}  // namespace
#endif

std::uint64_t PrefixHits16(std::string_view src, std::size_t from, const PrefixPairs& pairs,
                           std::size_t pairCount) {
#if defined(OSTRAK_SSE2_SCAN)
    const std::size_t n = src.size();
    const std::size_t count = n - from < 64 ? n - from : 64;
    std::uint64_t hits = 0;
    const bool atStart = from == 0;
    const bool moreAfter = n - from > 64;
    const char* at = src.data() + from;
    bool padded = false;
    alignas(16) char copy[96];
    if (count < 16 || (from > 0 && from < 7) || (atStart && count % 16 != 0 && count < 23)) {
        // Short texts and chunks near the start are scanned in a zeroed copy. A zero byte is a
        // word boundary, no colour code and no part of a prefix pair.
        for (std::size_t k = 0; k < sizeof copy; k += 16) {
            _mm_store_si128(reinterpret_cast<__m128i*>(copy + k), _mm_setzero_si128());
        }
        const std::size_t start = from < 8 ? 0 : from - 8;
        const std::size_t end = moreAfter ? from + 65 : n;
        std::memcpy(copy + 8 - (from - start), src.data() + start, end - start);
        at = copy + 8;
        padded = true;
    }
    switch (pairCount) {
        case 1:
            hits = ScanChunk<1>(at, count, padded, atStart, moreAfter, pairs);
            break;
        case 2:
            hits = ScanChunk<2>(at, count, padded, atStart, moreAfter, pairs);
            break;
        case 3:
            hits = ScanChunk<3>(at, count, padded, atStart, moreAfter, pairs);
            break;
        case 4:
            hits = ScanChunk<4>(at, count, padded, atStart, moreAfter, pairs);
            break;
        default: {
            PrefixPairs spare;
            hits = ScanChunk<8>(at, count, padded, atStart, moreAfter,
                                OnlyFirst(pairs, pairCount, spare));
            break;
        }
    }
    return hits;
#else
    return PrefixHitsPortable(src, from, pairs, pairCount);
#endif
}

#if defined(OSTRAK_WIDE_SCAN)
namespace {

__attribute__((target("avx2"), always_inline)) inline __m256i LoadWide(const char* at) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

// One 32-byte step of the wide scan: the bytes, the byte before each, the one seven before and
// the one after. Bit i set where byte i is a hit as PrefixHits defines it.
template <std::size_t K>
__attribute__((target("avx2"), always_inline)) inline std::uint32_t WideBlock(
    __m256i v, __m256i before, __m256i earlier, __m256i after, const PrefixPairs& pairs) {
    const __m256i caseBit = _mm256_set1_epi8(0x20);
    const __m256i colourBits = _mm256_set1_epi8(static_cast<char>(FormatCode::kColourOn));
    const __m256i folded = _mm256_or_si256(v, caseBit);
    const __m256i foldedAfter = _mm256_or_si256(after, caseBit);
    __m256i pairHits = _mm256_setzero_si256();
    for (std::size_t k = 0; k < K; ++k) {
        // A zero pair (filling up K) matches nothing: folded bytes are never zero.
        const unsigned char a = pairs[k][0];
        const unsigned char b = pairs[k][1];
        const __m256i first =
            a == 0 ? _mm256_setzero_si256() : _mm256_set1_epi8(static_cast<char>(a | 0x20));
        // A one-byte prefix takes any second byte.
        const __m256i secondHit =
            b == 0 ? _mm256_set1_epi8(-1)
                   : _mm256_cmpeq_epi8(foldedAfter, _mm256_set1_epi8(static_cast<char>(b | 0x20)));
        pairHits = _mm256_or_si256(pairHits,
                                   _mm256_and_si256(_mm256_cmpeq_epi8(folded, first), secondHit));
    }
    // Signed, the bytes below 0x21 and those from 0x80 on are less than 0x21: word ends.
    const __m256i boundary = _mm256_cmpgt_epi8(_mm256_set1_epi8(0x21), before);
    const __m256i colour = _mm256_cmpeq_epi8(_mm256_and_si256(earlier, colourBits), colourBits);
    const __m256i special = _mm256_or_si256(
        _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(FormatCode::kPmlDelimiter)),
                        _mm256_cmpeq_epi8(v, _mm256_set1_epi8(FormatCode::kUnicodeDelimiter))),
        _mm256_cmpeq_epi8(v, _mm256_set1_epi8(static_cast<char>(FormatCode::kLinkStart))));
    const __m256i hit =
        _mm256_or_si256(special, _mm256_and_si256(pairHits, _mm256_or_si256(boundary, colour)));
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(hit));
}

// PrefixHits 32 bytes at a time, for a chunk of 39 to 64 bytes that starts the text or lies at
// least seven bytes into it (a line usually is one such chunk). It reads only the text: the
// first block and the last 32 bytes of the chunk, which may overlap (their bits agree). Bytes
// before the text and after its end are shifted in as zeros, which are word boundaries, no
// colour codes and no second byte of a pair.
template <std::size_t K>
__attribute__((target("avx2"))) std::uint64_t WideHits(std::string_view src, std::size_t from,
                                                       const PrefixPairs& pairs) {
    const std::size_t n = src.size();
    const std::size_t count = n - from < 64 ? n - from : 64;
    const char* p = src.data() + from;
    const __m256i a = LoadWide(p);
    __m256i before;
    __m256i earlier;
    if (from == 0) {
        const __m256i lowLaneUp = _mm256_permute2x128_si256(a, a, 0x08);
        before = _mm256_alignr_epi8(a, lowLaneUp, 15);
        earlier = _mm256_alignr_epi8(a, lowLaneUp, 9);
    } else {
        before = LoadWide(p - 1);
        earlier = LoadWide(p - 7);
    }
    std::uint64_t hits = WideBlock<K>(a, before, earlier, LoadWide(p + 1), pairs);

    const char* q = p + count - 32;
    const __m256i b = LoadWide(q);
    __m256i after;
    if (n - from > 64) {
        after = LoadWide(q + 1);
    } else {
        const __m256i highLaneDown = _mm256_permute2x128_si256(b, b, 0x81);
        after = _mm256_alignr_epi8(highLaneDown, b, 1);
    }
    hits |= std::uint64_t{WideBlock<K>(b, LoadWide(q - 1), LoadWide(q - 7), after, pairs)}
            << (count - 32);
    return hits;
}

}  // namespace

const bool kWideScanAvailable = __builtin_cpu_supports("avx2");

__attribute__((target("avx2"))) std::uint64_t WideBits(ByteKind kind, const char* p,
                                                       std::size_t count) {
    const __m256i first = LoadWide(p);
    const __m256i last = LoadWide(p + count - 32);
    std::uint32_t firstBits;
    std::uint32_t lastBits;
    if (kind == ByteKind::Marker) {
        // The high bit of each byte marks the format codes.
        const auto markers = [](__m256i v) __attribute__((target("avx2"))) {
            const __m256i delimiters = _mm256_or_si256(
                _mm256_cmpeq_epi8(v, _mm256_set1_epi8(FormatCode::kPmlDelimiter)),
                _mm256_cmpeq_epi8(v, _mm256_set1_epi8(FormatCode::kUnicodeDelimiter)));
            return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(v, delimiters)));
        };
        firstBits = markers(first);
        lastBits = markers(last);
    } else {
        // Signed, the bytes below 0x21 and those from 0x80 on are less than 0x21.
        const __m256i aboveSpace = _mm256_set1_epi8(0x21);
        firstBits =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpgt_epi8(aboveSpace, first)));
        lastBits =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpgt_epi8(aboveSpace, last)));
    }
    // The two blocks overlap unless count is 64; their bits agree where they do.
    return std::uint64_t{firstBits} | (std::uint64_t{lastBits} << (count - 32));
}
#endif

std::uint64_t PrefixHits(std::string_view src, std::size_t from, const PrefixPairs& pairs,
                         std::size_t pairCount) {
#if defined(OSTRAK_WIDE_SCAN)
    if (kWideScanAvailable && src.size() - from >= 39 && (from == 0 || from >= 7)) {
        switch (pairCount) {
            case 1:
                return WideHits<1>(src, from, pairs);
            case 2:
                return WideHits<2>(src, from, pairs);
            case 3:
                return WideHits<3>(src, from, pairs);
            case 4:
                return WideHits<4>(src, from, pairs);
            default: {
                PrefixPairs spare;
                return WideHits<8>(src, from, OnlyFirst(pairs, pairCount, spare));
            }
        }
    }
#endif
    return PrefixHits16(src, from, pairs, pairCount);
}

std::uint64_t PrefixHitsPortable(std::string_view src, std::size_t from, const PrefixPairs& pairs,
                                 std::size_t pairCount) {
    const std::size_t n = src.size();
    const std::size_t count = n - from < 64 ? n - from : 64;
    const auto* bytes = reinterpret_cast<const unsigned char*>(src.data());
    std::uint64_t hits = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t p = from + i;
        const unsigned char b = bytes[p];
        if (b == FormatCode::kPmlDelimiter || b == FormatCode::kUnicodeDelimiter ||
            b == FormatCode::kLinkStart) {
            hits |= std::uint64_t{1} << i;
            continue;
        }
        const bool wordStart =
            p == 0 || bytes[p - 1] <= 0x20 || bytes[p - 1] >= 0x80 ||
            (p >= 7 && (bytes[p - 7] & FormatCode::kColourOn) == FormatCode::kColourOn);
        if (!wordStart || p + 1 == n) continue;
        for (std::size_t k = 0; k < pairCount; ++k) {
            if ((b | 0x20) == (pairs[k][0] | 0x20) &&
                (pairs[k][1] == 0 || (bytes[p + 1] | 0x20) == (pairs[k][1] | 0x20))) {
                hits |= std::uint64_t{1} << i;
                break;
            }
        }
    }
    return hits;
}

}  // namespace ByteScan
