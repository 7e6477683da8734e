// The output pane's text store: lines and format runs under edits anywhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ui/qt/BlockMemory.h"
#include "ui/qt/OutputText.h"

namespace {

CharFormat Colour(::Colour colour) {
    CharFormat format;
    format.mask = OutputText::kFullMask;
    format.textColour = colour;
    return format;
}

std::string Describe(const OutputText& text) {
    std::string result;
    for (std::size_t k = 0; k < text.RunCount(); ++k) {
        const OutputText::Run run = text.RunAt(k);
        const std::int32_t end = k + 1 < text.RunCount() ? text.RunAt(k + 1).start : text.Length();
        result += "[" + std::to_string(text.Style(run.style).textColour) + "]";
        for (std::int32_t i = run.start; i < end; ++i) {
            result.push_back(text.At(i) == u'\n' ? '|' : static_cast<char>(text.At(i)));
        }
    }
    return result;
}

std::string Lines(const OutputText& text) {
    std::string result;
    for (std::int32_t line = 0; line < text.LineCount(); ++line) {
        if (line > 0) result += ",";
        for (std::int32_t i = text.LineStart(line); i < text.LineTextEnd(line); ++i) {
            result.push_back(static_cast<char>(text.At(i)));
        }
    }
    return result;
}

TEST(OutputText, InsertingInsideARunSplitsItAndShiftsTheLines) {
    OutputText text;
    text.Insert(0, "ab\r\ncd", 6, Colour(1));
    text.Insert(1, "X\nY", 3, Colour(2));
    EXPECT_EQ(Describe(text), "[1]a[2]X|Y[1]b\r|cd");
    EXPECT_EQ(Lines(text), "aX,Yb,cd");
    EXPECT_EQ(text.LineOf(0), 0);
    EXPECT_EQ(text.LineOf(3), 1);
    EXPECT_EQ(text.LineOf(7), 2);

    // At a run boundary next to a run of the same format, no new run appears.
    text.Insert(4, "Z", 1, Colour(2));
    EXPECT_EQ(Describe(text), "[1]a[2]X|YZ[1]b\r|cd");
}

TEST(OutputText, ErasingAcrossRunsAndLinesKeepsTheFormatAfterTheRange) {
    OutputText text;
    text.Insert(0, "aa\n", 3, Colour(1));
    text.Insert(3, "bb\n", 3, Colour(2));
    text.Insert(6, "cc", 2, Colour(3));
    text.Erase(1, 7);
    EXPECT_EQ(Describe(text), "[1]a[3]c");
    EXPECT_EQ(Lines(text), "ac");
    text.Erase(0, 1);
    EXPECT_EQ(Describe(text), "[3]c");
    text.Erase(0, 1);
    EXPECT_EQ(text.RunCount(), 0u);
    EXPECT_EQ(text.LineCount(), 1);
    // Appending to the emptied text starts afresh.
    text.Insert(0, "d\n", 2, Colour(4));
    EXPECT_EQ(Lines(text), "d,");
}

TEST(OutputText, FormattingPartOfARunAndThenAllMergesEqualNeighbours) {
    OutputText text;
    text.Insert(0, "abcdef", 6, Colour(1));
    CharFormat bold;
    bold.mask = CharFormat::kBold;
    bold.effects = CharFormat::kBold;
    text.ApplyFormat(2, 4, bold);
    ASSERT_EQ(text.RunCount(), 3u);
    EXPECT_EQ(text.FormatAt(1).effects, 0u);
    EXPECT_EQ(text.FormatAt(2).effects, CharFormat::kBold);
    EXPECT_EQ(text.FormatAt(4).effects, 0u);
    EXPECT_EQ(text.FormatAt(4).textColour, 1u);

    text.ApplyFormatToAll(bold);
    EXPECT_EQ(text.RunCount(), 1u);
    EXPECT_EQ(text.DefaultFormat().effects, CharFormat::kBold);
    // Appending the same format at the end extends the last run.
    text.Insert(6, "g", 1, text.FormatAt(5));
    EXPECT_EQ(text.RunCount(), 1u);
}

TEST(OutputText, ManyAppendedLinesShareOneStyleEntryPerFormat) {
    OutputText text;
    for (int i = 0; i < 1000; ++i) {
        const std::string line = "line " + std::to_string(i) + "\r\n";
        text.Insert(text.Length(), line.data(), line.size(), Colour(i % 3 == 0 ? 5 : 6));
    }
    EXPECT_EQ(text.LineCount(), 1001);
    EXPECT_EQ(text.StyleCount(), 2u);
    EXPECT_EQ(Lines(text).substr(0, 20), "line 0,line 1,line 2");
}

TEST(OutputText, TextBeyondTheLimitIsDroppedNotWrappedAround) {
    OutputText text(10);
    text.Insert(0, "12345678\n", 9, Colour(1));
    text.Insert(9, "abc\n", 4, Colour(2));
    EXPECT_EQ(text.Length(), 10);
    EXPECT_EQ(Describe(text), "[1]12345678|[2]a");
    text.Insert(0, "x", 1, Colour(3));
    EXPECT_EQ(text.Length(), 10);
    EXPECT_EQ(text.LineCount(), 2);
}

std::string LineText(const OutputText& text, std::int32_t line) {
    std::string result;
    for (std::int32_t i = text.LineStart(line); i < text.LineTextEnd(line); ++i) {
        const char16_t c = text.At(i);
        result += c > 0xFF ? std::string("{") + std::to_string(c) + "}" : std::string(1, char(c));
    }
    return result;
}

// A line the way servers send them: about 74 characters, every third one in colour, some with
// a character from a Unicode escape.
void AppendNumberedLine(OutputText& text, int i) {
    char line[96];
    std::snprintf(line, sizeof line,
                  "%07d The town guard looks at you and says: move along now, young one.\r\n", i);
    const std::int32_t end = text.Length();
    text.Insert(end, line, std::strlen(line), Colour(i % 3 == 0 ? 0xff0000 : 0xd0d0d0));
    if (i % 10 == 0) {
        const char16_t smile = 0x263A;
        text.Insert(text.Length() - 2, &smile, 1, Colour(7));
    }
}

TEST(OutputTextLimit, TrimmingKeepsTheNewestLinesExactlyWithTheirFormats) {
    OutputText text;
    text.SetLineLimit(1000);
    const int total = 5000;  // several blocks of every kind are filled and dropped
    for (int i = 0; i < total; ++i) AppendNumberedLine(text, i);
    ASSERT_EQ(text.LineCount(), 1001);  // and the empty line after the last LF
    EXPECT_EQ(text.TrimmedLines(), total - 1000);
    for (std::int32_t line = 0; line < 1000; ++line) {
        const int i = total - 1000 + line;
        char expected[96];
        std::snprintf(expected, sizeof expected,
                      "%07d The town guard looks at you and says: move along now, young one.%s", i,
                      i % 10 == 0 ? "{9786}" : "");
        ASSERT_EQ(LineText(text, line), expected) << line;
        EXPECT_EQ(text.FormatAt(text.LineStart(line)).textColour,
                  i % 3 == 0 ? 0xff0000u : 0xd0d0d0u);
    }
    EXPECT_EQ(text.TrimmedCharacters() + text.Length(), std::int64_t{total} * 74 + total / 10);

    // The limit counts text lines: a line in progress is one of them.
    text.Insert(text.Length(), "prompt>", 7, Colour(9));
    EXPECT_EQ(LineText(text, 0).substr(0, 7), "0004001");
    EXPECT_EQ(LineText(text, text.LineCount() - 1), "prompt>");
    // Edits after trimming land where asked.
    text.Insert(text.LineStart(1), "X", 1, Colour(8));
    EXPECT_EQ(LineText(text, 1).substr(0, 8), "X0004002");
    EXPECT_EQ(text.FormatAt(text.LineStart(1)).textColour, 8u);
    text.Erase(text.Length() - 7, text.Length());
    EXPECT_EQ(LineText(text, text.LineCount() - 1), "");
}

TEST(OutputTextLimit, ARunCutByTheTrimKeepsItsFormatAndLimitZeroKeepsEverything) {
    OutputText text;
    text.Insert(0, "old\nlink starts ", 16, Colour(1));
    text.Insert(text.Length(), "here\nand ends\n", 14, Colour(2));
    text.Insert(text.Length(), "plain\n", 6, Colour(3));
    text.SetLineLimit(2);
    EXPECT_EQ(Describe(text), "[2]and ends|[3]plain|");
    text.SetLineLimit(0);
    for (int i = 0; i < 3000; ++i) AppendNumberedLine(text, i);
    EXPECT_EQ(text.LineCount(), 3003);
    EXPECT_EQ(text.TrimmedLines(), 2);
}

TEST(OutputTextLimit, AnEndlessLineStaysWithinTheCharacterBudget) {
    OutputText text;
    text.SetLineLimit(1000);  // a budget of kMinCharacterBudget characters
    std::string piece(4000, 'x');
    std::int64_t sent = 0;
    std::size_t peak = 0;
    for (int i = 0; i < 16000; ++i) {  // 64 MB without a line end
        std::snprintf(piece.data(), 12, "%010d ", i);
        text.Insert(text.Length(), piece.data(), piece.size(), Colour(i % 2));
        sent += static_cast<std::int64_t>(piece.size());
        peak = std::max(peak, text.MemoryUsage());
    }
    EXPECT_LE(text.Length(), OutputText::kMinCharacterBudget);
    EXPECT_GE(text.Length(), OutputText::kMinCharacterBudget - OutputText::kLinePiece);
    EXPECT_EQ(text.TrimmedCharacters() + text.Length(), sent);
    EXPECT_EQ(text.LineCount(), 1);
    // The storage's own allocations: the text and a few blocks for the rest.
    EXPECT_LE(peak, std::size_t{OutputText::kMinCharacterBudget} * 5 / 4);
    // The newest characters are all there, in their formats.
    std::string tail(piece.size(), '\0');
    text.CopyLatin1(text.Length() - 4000, text.Length(), tail.data());
    EXPECT_EQ(tail, piece);
    EXPECT_EQ(text.FormatAt(text.Length() - 1).textColour, 1u);

    // Once lines come again the huge one goes whole when the budget needs it.
    std::string line(200000, 'y');
    line.back() = '\n';
    for (int i = 0; i < 6; ++i) text.Insert(text.Length(), line.data(), line.size(), Colour(2));
    EXPECT_EQ(text.LineStart(0), 0);
    EXPECT_EQ(text.At(0), u'y');
    EXPECT_EQ(text.Length() % 200000, 0);
}

TEST(OutputTextLimit, RealisticLinesCostLessThanAHundredBytesEach) {
    OutputText text;
    text.SetLineLimit(200000);
    for (int i = 0; i < 200000; ++i) AppendNumberedLine(text, i);
    EXPECT_LE(text.MemoryUsage(), std::size_t{100} * 200000);
}

// A server that never repeats a colour, with edits in the middle: the entries of trimmed text
// are reused without disturbing the formats of what stays.
TEST(OutputTextLimit, StylesOfTrimmedTextAreReusedAndEditsKeepEveryFormat) {
    OutputText text;
    text.SetLineLimit(20);
    std::string chars;  // what the text should hold, with each character's colour and effects
    std::vector<std::uint32_t> colours;
    std::uint32_t seed = 12345;
    auto next = [&](std::uint32_t range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % range;
    };
    ::Colour fresh = 100;
    for (int step = 0; step < 1500; ++step) {
        const std::uint32_t kind = next(8);
        const std::int32_t length = text.Length();
        const std::int32_t a = length > 0 ? static_cast<std::int32_t>(next(length)) : 0;
        const std::int32_t b = std::min(length, a + static_cast<std::int32_t>(next(12)));
        if (kind == 0 && b > a) {
            const CharFormat format = Colour(fresh++);
            text.ApplyFormat(a, b, format);
            std::fill(colours.begin() + a, colours.begin() + b, format.textColour);
        } else if (kind == 1 && b > a) {
            text.Erase(a, b);
            chars.erase(a, b - a);
            colours.erase(colours.begin() + a, colours.begin() + b);
        } else if (kind == 2) {
            text.Insert(a, "mid", 3, Colour(fresh));
            chars.insert(a, "mid");
            colours.insert(colours.begin() + a, 3, fresh++);
        } else {
            const std::string line = "line " + std::to_string(step) + "\n";
            text.Insert(text.Length(), line.data(), line.size(), Colour(fresh));
            chars += line;
            colours.insert(colours.end(), line.size(), fresh++);
        }
        if (step == 700) {
            CharFormat bold;
            bold.mask = CharFormat::kBold;
            bold.effects = CharFormat::kBold;
            text.ApplyFormatToAll(bold);
            for (std::uint32_t& colour : colours) colour |= std::uint32_t{CharFormat::kBold} << 24;
        }
        // Trimming takes whole characters from the front only.
        const std::size_t kept = static_cast<std::size_t>(text.Length());
        ASSERT_LE(kept, chars.size());
        chars.erase(0, chars.size() - kept);
        colours.erase(colours.begin(), colours.end() - static_cast<std::ptrdiff_t>(kept));
        for (std::int32_t i = 0; i < text.Length(); ++i) {
            ASSERT_EQ(text.At(i), static_cast<char16_t>(chars[i])) << step << " at " << i;
            const CharFormat format = text.FormatAt(i);
            ASSERT_EQ(format.textColour | format.effects << 24, colours[i]) << step << " at " << i;
        }
    }
    EXPECT_GT(fresh - 100, 1000u);
    // About one entry per run held, not one per colour ever seen.
    EXPECT_LE(text.StyleCount(), text.RunCount() + 64);
}

// Blocks of the text's size come from a few made ready ahead on a thread of their own, and from
// the system when those run out: each comes zeroed and apart from all the others.
TEST(OutputText, StorageBlocksComeZeroedAndApartWhetherReadyAheadOrNot) {
    constexpr std::size_t kBytes = 64 * 1024;
    std::vector<unsigned char*> blocks;
    for (int i = 0; i < 40; ++i) {
        auto* block = static_cast<unsigned char*>(AllocateBlock(kBytes));
        ASSERT_NE(block, nullptr);
        EXPECT_TRUE(std::all_of(block, block + kBytes, [](unsigned char c) { return c == 0; }));
        std::memset(block, i + 1, kBytes);
        blocks.push_back(block);
    }
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(blocks[i][0], i + 1);
        EXPECT_EQ(blocks[i][kBytes - 1], i + 1);
        FreeBlock(blocks[i], kBytes);
    }
    for (const std::size_t bytes : {std::size_t{100}, std::size_t{1} << 20}) {
        auto* block = static_cast<unsigned char*>(AllocateBlock(bytes));
        std::memset(block, 7, bytes);
        FreeBlock(block, bytes);
    }
}

}  // namespace
