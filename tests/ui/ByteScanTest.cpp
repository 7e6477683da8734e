// The vector scans against the plain ones, on texts built from the bytes they look for, at
// every length and start around the block and chunk edges.

#include "ui/ByteScan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

namespace {

std::string RandomBytes(std::mt19937& random, std::size_t length) {
    static const unsigned char kBytes[] = {'h',  'H',  't',  'w',  'W',  '.',  'a',
                                           ' ',  '\r', '\n', 0x19, 0x1A, 0xC4, 0xC1,
                                           0x81, 0xE0, 0x7F, 0x21, 0x00};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kBytes) - 1);
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text += static_cast<char>(kBytes[pick(random)]);
    return text;
}

TEST(ByteScan, PrefixHitsAgreeWithTheByteAtATimeScan) {
    std::mt19937 random(7);
    const ByteScan::PrefixPairs pairs{{{'h', 't'},
                                       {'w', 'w'},
                                       {'a', 0},
                                       {'.', 'h'},
                                       {'t', '.'},
                                       {'w', 'a'},
                                       {' ', 'h'},
                                       {0x7F, 0}}};
    for (std::size_t length = 1; length <= 140; ++length) {
        for (int round = 0; round < 20; ++round) {
            // In a block of exactly its size, so that the sanitizer sees any read beyond it.
            const std::string randomText = RandomBytes(random, length);
            const auto block = std::make_unique<char[]>(length);
            std::memcpy(block.get(), randomText.data(), length);
            const std::string_view text(block.get(), length);
            for (std::size_t from = 0; from < length; from += (from < 24 ? 1 : 13)) {
                for (std::size_t count : {1u, 2u, 3u, 4u, 5u, 8u}) {
                    std::uint64_t vector = ByteScan::PrefixHits(text, from, pairs, count);
                    std::uint64_t narrow = ByteScan::PrefixHits16(text, from, pairs, count);
                    std::uint64_t plain = ByteScan::PrefixHitsPortable(text, from, pairs, count);
                    // The last byte of the text is decided by the caller (it may still grow).
                    if (length - from <= 64) {
                        const std::uint64_t last = std::uint64_t{1} << (length - from - 1);
                        vector &= ~last;
                        narrow &= ~last;
                        plain &= ~last;
                    }
                    ASSERT_EQ(vector, plain)
                        << "length " << length << " from " << from << " pairs " << count;
                    ASSERT_EQ(narrow, plain)
                        << "length " << length << " from " << from << " pairs " << count;
                }
            }
        }
    }
}

TEST(ByteScan, MarkerFindersStopAtEveryCodeAndDelimiter) {
    std::mt19937 random(11);
    for (std::size_t length = 0; length <= 150; ++length) {
        // In a block of exactly its size, so that the sanitizer sees any read beyond it.
        const std::string randomText = RandomBytes(random, length);
        const auto block = std::make_unique<char[]>(length);
        std::memcpy(block.get(), randomText.data(), length);
        const std::string_view text(block.get(), length);
        ByteScan::ByteFinder<ByteScan::ByteKind::Marker> markers(text);
        ByteScan::ByteFinder<ByteScan::ByteKind::NotUrl> urlEnds(text);
        for (std::size_t from = 0; from <= length; ++from) {
            std::size_t marker = from;
            while (marker < length) {
                const auto b = static_cast<unsigned char>(text[marker]);
                if (b >= 0x80 || b == 0x19 || b == 0x1A) break;
                ++marker;
            }
            std::size_t urlEnd = from;
            while (urlEnd < length && ByteScan::IsUrlByte(static_cast<unsigned char>(text[urlEnd])))
                ++urlEnd;
            ASSERT_EQ(markers.Next(from), marker) << "length " << length << " from " << from;
            ASSERT_EQ(urlEnds.Next(from), urlEnd) << "length " << length << " from " << from;
            const std::size_t portable = ByteScan::FindMarkerPortable(text, from);
            ASSERT_EQ(portable == ByteScan::kNotFound ? length : portable, marker);
        }
    }
}

}  // namespace
