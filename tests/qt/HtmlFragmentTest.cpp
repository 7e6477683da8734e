// Formatted fragments to and from the clipboard's HTML.
#include "QtTestSupport.h"
#include "ui/FormatCodes.h"
#include "ui/qt/HtmlFragment.h"

namespace {

constexpr Colour kGrey = 0xD0D0D0;

TEST(HtmlFragment, RedBoldThenDefaultBecomesTagsOfTheSameFormats) {
    TestApplication();
    const auto fragment = FormattedCharsFromHtml(
        "<html><body><b><span style=\"color:#ff0000\">ab</span></b>c</body></html>", kGrey);
    EXPECT_EQ(DescribeRuns(fragment), "[b:ff0000]ab[:d0d0d0]c");
    EXPECT_EQ(RtfToTags(fragment, kGrey), "<-b><-cff0000>ab<-0>c");
}

TEST(HtmlFragment, BreaksBecomeLineFeedsAndNoBreakSpacesSpaces) {
    TestApplication();
    const auto fragment = FormattedCharsFromHtml("<p>one&nbsp;two</p><p>three<br>four</p>", kGrey);
    std::string text;
    for (const FormattedChar& c : fragment) text.push_back(static_cast<char>(c.character));
    EXPECT_EQ(text, "one two\nthree\nfour");
}

TEST(HtmlFragment, EveryFormatSurvivesTheRoundTrip) {
    TestApplication();
    std::vector<FormattedChar> original;
    auto add = [&](const char* text, std::uint32_t effects, Colour colour, Colour back) {
        CharFormat format;
        format.mask = CharFormat::kEffects | CharFormat::kColour | CharFormat::kBackColour;
        format.effects = effects;
        format.textColour = colour;
        format.backColour = back;
        for (const char* p = text; *p != 0; ++p) {
            original.push_back(FormattedChar{static_cast<char16_t>(*p), format});
        }
    };
    add("<b&", CharFormat::kBold | CharFormat::kItalic, 0x0000FF, 0x000000);
    add("  u ", CharFormat::kUnderline | CharFormat::kStrikeout, 0x123456, 0x654321);
    add("\r\nx", 0, kGrey, 0x000000);

    const auto back = FormattedCharsFromHtml(HtmlFromFormattedChars(original, 0), 0xABCDEF);
    std::vector<FormattedChar> expected = original;
    expected.erase(expected.begin() + 7);  // the CR of the line end
    ASSERT_EQ(back.size(), expected.size());
    for (std::size_t i = 0; i < back.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(back[i].character, expected[i].character);
        if (back[i].character == u'\n') continue;
        EXPECT_EQ(back[i].format.effects, expected[i].format.effects);
        EXPECT_EQ(back[i].format.textColour, expected[i].format.textColour);
        EXPECT_EQ(back[i].format.backColour, expected[i].format.backColour);
    }
}

}  // namespace
