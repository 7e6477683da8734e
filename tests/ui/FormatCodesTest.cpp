#include "ui/FormatCodes.h"

#include <gtest/gtest.h>

namespace {

std::string Codes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

TEST(TagsToCodes, ConvertsEveryTagOfTheTable) {
    EXPECT_EQ(TagsToCodes("<-b>"), Codes({0xE0}));
    EXPECT_EQ(TagsToCodes("<-B>"), Codes({0xE0}));
    EXPECT_EQ(TagsToCodes("<-1>"), Codes({0xE0}));
    EXPECT_EQ(TagsToCodes("<-i><-U><-s><-0>"), Codes({0xD0, 0xC8, 0xC2, 0xBE}));
    EXPECT_EQ(TagsToCodes("<-/b><-/I><-/u><-/S>"), Codes({0xA0, 0x90, 0x88, 0x82}));
    EXPECT_EQ(TagsToCodes("x<-b>bold<-/b>y"), "x" + Codes({0xE0}) + "bold" + Codes({0xA0}) + "y");
}

TEST(TagsToCodes, NumberedColoursInDigitOrder) {
    const char* colours[] = {"ff0000", "00ff00", "ffff00", "0000ff", "ff00ff", "00ffff", "ffffff"};
    for (int digit = 1; digit <= 7; ++digit) {
        std::string tag = "<-3" + std::to_string(digit) + ">";
        EXPECT_EQ(TagsToCodes(tag), Codes({0xC4}) + colours[digit - 1]) << tag;
    }
    EXPECT_EQ(TagsToCodes("<-38>"), "<-38>");
    EXPECT_EQ(TagsToCodes("<-39>x"), "<-39>x");
    EXPECT_EQ(TagsToCodes("<-30>"), "<-30>");
}

TEST(TagsToCodes, ColourTagKeepsItsCharactersAsWritten) {
    EXPECT_EQ(TagsToCodes("<-cFf00aA>text"), Codes({0xC4}) + "Ff00aA" + "text");
    // Validated only when shown: non-hex characters pass through.
    EXPECT_EQ(TagsToCodes("<-Czzzzzz>"), Codes({0xC4}) + "zzzzzz");
    // Too short: stays as typed.
    EXPECT_EQ(TagsToCodes("<-cff00>"), "<-cff00>");
    EXPECT_EQ(TagsToCodes("<-cff0000"), "<-cff0000");
}

TEST(TagsToCodes, ColourCharactersAreScannedAgain) {
    // The six characters of a colour tag are looked at after the code, so a tag among them,
    // or one that begins there and ends after the dropped ">", is converted too.
    EXPECT_EQ(TagsToCodes("<-cab<-b>>x"), Codes({0xC4}) + "ab" + Codes({0xE0}) + "x");
    EXPECT_EQ(TagsToCodes("<-cabcd<->b>"), Codes({0xC4}) + "abcd" + Codes({0xE0}));
}

TEST(TagsToCodes, MalformedAndUnknownTagsStay) {
    EXPECT_EQ(TagsToCodes("<-x>"), "<-x>");
    EXPECT_EQ(TagsToCodes("<-b"), "<-b");
    EXPECT_EQ(TagsToCodes("<-bb>"), "<-bb>");
    EXPECT_EQ(TagsToCodes("<-/x>"), "<-/x>");
    EXPECT_EQ(TagsToCodes("<-/b"), "<-/b");
    EXPECT_EQ(TagsToCodes("<b>"), "<b>");
    EXPECT_EQ(TagsToCodes(""), "");
    EXPECT_EQ(TagsToCodes("<-"), "<-");
    // Bytes of the text are copied as they are, NULs included.
    EXPECT_EQ(TagsToCodes(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(TagsToCodes, ThreeSequenceWithoutClosingBracketDoesNotStopTheScan) {
    EXPECT_EQ(TagsToCodes("<-3x <-b>bold"), "<-3x " + Codes({0xE0}) + "bold");
    EXPECT_EQ(TagsToCodes("<-33 and <-32>"), "<-33 and " + Codes({0xC4}) + "00ff00");
}

TEST(TagsToCodes, ShortTailStops) {
    EXPECT_EQ(TagsToCodes("<-3>"), "<-3>");
    EXPECT_EQ(TagsToCodes("a<-/>"), "a<-/>");
}

TEST(TagsToCodes, LongTextIsConvertedWhole) {
    std::string text;
    std::string expected;
    for (int i = 0; i < 20000; ++i) {
        text += "<-b>x<-/b>";
        expected += Codes({0xE0}) + "x" + Codes({0xA0});
    }
    EXPECT_EQ(TagsToCodes(text), expected);
}

TEST(ParseHexColour, ReadsRedFirstIntoBgr) {
    Colour c = 0;
    ASSERT_TRUE(ParseHexColour("ff0000", c));
    EXPECT_EQ(c, 0x0000ffu);
    ASSERT_TRUE(ParseHexColour("12aBcD", c));
    EXPECT_EQ(c, 0xcdab12u);
    ASSERT_TRUE(ParseHexColour("00ff00trailing", c));
    EXPECT_EQ(c, 0x00ff00u);
}

TEST(ParseHexColour, RejectsWithoutTouchingTheResult) {
    Colour c = 0x123456;
    EXPECT_FALSE(ParseHexColour("ff00g0", c));
    EXPECT_FALSE(ParseHexColour("ff00", c));
    EXPECT_FALSE(ParseHexColour(" ff000", c));
    EXPECT_FALSE(ParseHexColour("", c));
    EXPECT_EQ(c, 0x123456u);
}

TEST(ParseHexColour, TakesExactlyTheHexDigitsInEveryPosition) {
    // Each byte value in each of the six places: digits give their value there, anything else
    // (the bytes next to the digit ranges, high bytes, NUL) rejects the whole code.
    for (int position = 0; position < 6; ++position) {
        for (int b = 0; b < 256; ++b) {
            std::string six = "000000";
            six[position] = static_cast<char>(b);
            int digit = -1;
            if (b >= '0' && b <= '9') digit = b - '0';
            if (b >= 'a' && b <= 'f') digit = b - 'a' + 10;
            if (b >= 'A' && b <= 'F') digit = b - 'A' + 10;
            Colour c = 0x123456;
            ASSERT_EQ(ParseHexColour(six, c), digit >= 0) << position << " " << b;
            // Pairs are red, green, blue; the high digit of a pair comes first.
            const int shift = (position / 2) * 8 + (position % 2 == 0 ? 4 : 0);
            EXPECT_EQ(c, digit >= 0 ? static_cast<Colour>(digit) << shift : 0x123456u)
                << position << " " << b;
        }
    }
}

TEST(ColourMessage, FrameAndEndingRules) {
    EXPECT_EQ(ColourMessage(0xff0000, "Error\r\n"),
              Codes({0xC4}) + "ff0000Error\r\n" + Codes({0xBE}));
    EXPECT_EQ(ColourMessage(0x00ff00, ""), Codes({0xC4}) + "00ff00" + Codes({0xBE}));
    EXPECT_EQ(ColourMessage(0x0000ff, "x"), Codes({0xC4}) + "0000ffx" + Codes({0xBE}));
    // Ends in an "off" code already (0x80-0xBF): no reset added.
    EXPECT_EQ(ColourMessage(0xffff00, "a" + Codes({0xA0})),
              Codes({0xC4}) + "ffff00a" + Codes({0xA0}));
    EXPECT_EQ(ColourMessage(0xffff00, "a" + Codes({0xBF})),
              Codes({0xC4}) + "ffff00a" + Codes({0xBF}));
    // An "on" code at the end still gets the reset.
    EXPECT_EQ(ColourMessage(0xffff00, "a" + Codes({0xC0})),
              Codes({0xC4}) + "ffff00a" + Codes({0xC0, 0xBE}));
    // Only six digits ever follow the code.
    EXPECT_EQ(ColourMessage(0x1ff0000, "x").substr(0, 7), Codes({0xC4}) + "ff0000");
}

TEST(ParseUrlPrefixList, AcceptsQuotedListsWithOptionalCommas) {
    std::vector<std::string> p;
    ASSERT_TRUE(ParseUrlPrefixList("\"http://\", \"WWW.\"", p));
    EXPECT_EQ(p, (std::vector<std::string>{"http://", "WWW."}));
    ASSERT_TRUE(ParseUrlPrefixList("  \"a\"  \"b\",\"c\" ,", p));
    EXPECT_EQ(p, (std::vector<std::string>{"a", "b", "c"}));
    ASSERT_TRUE(ParseUrlPrefixList("\"\"", p));
    EXPECT_EQ(p, (std::vector<std::string>{""}));
    ASSERT_TRUE(ParseUrlPrefixList("", p));
    EXPECT_TRUE(p.empty());
}

TEST(ParseUrlPrefixList, ErrorsKeepTheOldList) {
    const std::vector<std::string> old{"keep"};
    for (const char* bad : {"   ", "\"a\", ", "\"a\",  ,\"b\"", "http://", "\"open", "\"a\" x"}) {
        std::vector<std::string> p = old;
        EXPECT_FALSE(ParseUrlPrefixList(bad, p)) << bad;
        EXPECT_EQ(p, old) << bad;
    }
}

FormattedChar Char(char16_t c, std::uint32_t effects, Colour colour,
                   std::uint32_t mask = CharFormat::kEffects | CharFormat::kColour) {
    FormattedChar fc;
    fc.character = c;
    fc.format.mask = mask;
    fc.format.effects = effects;
    fc.format.textColour = colour;
    return fc;
}

constexpr Colour kText = 0xd0d0d0;
constexpr Colour kRed = 0x0000ff;  // 0x00BBGGRR

TEST(RtfToTags, RedBoldThenDefault) {
    std::vector<FormattedChar> f{Char('a', CharFormat::kBold, kRed),
                                 Char('b', CharFormat::kBold, kRed), Char('c', 0, kText)};
    EXPECT_EQ(RtfToTags(f, kText), "<-b><-cff0000>ab<-0>c");
}

TEST(RtfToTags, RedBoldThenRedPlain) {
    std::vector<FormattedChar> f{Char('a', CharFormat::kBold, kRed), Char('b', 0, kRed)};
    EXPECT_EQ(RtfToTags(f, kText), "<-b><-cff0000>a<-0><-cff0000>b");
}

TEST(RtfToTags, EffectsSwitchInOrderAndOff) {
    std::vector<FormattedChar> f{Char('a', CharFormat::kBold | CharFormat::kStrikeout, kText),
                                 Char('b', CharFormat::kItalic | CharFormat::kStrikeout, kText),
                                 Char('c', CharFormat::kUnderline, kText)};
    EXPECT_EQ(RtfToTags(f, kText), "<-b><-s>a<-/b><-i>b<-/i><-u><-/s>c");
}

TEST(RtfToTags, EffectWithoutMaskBitDoesNotCount) {
    std::vector<FormattedChar> f{Char('a', CharFormat::kBold, kText, CharFormat::kColour)};
    EXPECT_EQ(RtfToTags(f, kText), "a");
}

TEST(RtfToTags, BlackAndMissingColourCountAsDefault) {
    std::vector<FormattedChar> f{Char('a', 0, 0), Char('b', 0, kRed), Char('c', 0, 0, 0)};
    // "c" has no colour in its mask, so it keeps the current red.
    EXPECT_EQ(RtfToTags(f, kText), "a<-cff0000>bc");
}

TEST(RtfToTags, LineBreaksResetWithoutTagAndCharactersAreFiltered) {
    std::vector<FormattedChar> f{Char('a', 0, kRed),   Char('\r', 0, kRed), Char('\n', 0, kRed),
                                 Char('b', 0, kRed),   Char(0xB7, 0, kRed), Char(0xE9, 0, kRed),
                                 Char(0x263A, 0, kRed)};
    // Each line break starts over from the default colour, so the red comes back as a tag.
    EXPECT_EQ(RtfToTags(f, kText), "<-cff0000>a\r<-cff0000>\n<-cff0000>b*");
    EXPECT_EQ(RtfToTags({}, kText), "");
}

}  // namespace
