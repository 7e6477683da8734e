// The output pane's text store: lines and format runs under edits anywhere.
#include <gtest/gtest.h>

#include <string>

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
    const auto& runs = text.Runs();
    for (std::size_t k = 0; k < runs.size(); ++k) {
        const std::int32_t end = k + 1 < runs.size() ? runs[k + 1].start : text.Length();
        result += "[" + std::to_string(text.Style(runs[k].style).textColour) + "]";
        for (std::int32_t i = runs[k].start; i < end; ++i) {
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
    EXPECT_EQ(text.Runs().size(), 0u);
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
    ASSERT_EQ(text.Runs().size(), 3u);
    EXPECT_EQ(text.FormatAt(1).effects, 0u);
    EXPECT_EQ(text.FormatAt(2).effects, CharFormat::kBold);
    EXPECT_EQ(text.FormatAt(4).effects, 0u);
    EXPECT_EQ(text.FormatAt(4).textColour, 1u);

    text.ApplyFormatToAll(bold);
    EXPECT_EQ(text.Runs().size(), 1u);
    EXPECT_EQ(text.DefaultFormat().effects, CharFormat::kBold);
    // Appending the same format at the end extends the last run.
    text.Insert(6, "g", 1, text.FormatAt(5));
    EXPECT_EQ(text.Runs().size(), 1u);
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

}  // namespace
