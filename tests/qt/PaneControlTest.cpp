// Rich text control semantics both pane controls share, run against the real widgets of each role.
#include <QWidget>

#include "QtTestSupport.h"

namespace {

constexpr Colour kRed = 0x0000FF;  // 0x00BBGGRR
constexpr Colour kGreen = 0x00FF00;
constexpr Colour kGrey = 0xD0D0D0;
constexpr Colour kBlack = 0x000000;

class PaneControlTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        pane = std::make_unique<PaneUnderTest>(GetParam());
        CharFormat all;
        all.mask = CharFormat::kEffects | CharFormat::kColour | CharFormat::kBackColour;
        all.textColour = kGrey;
        all.backColour = kBlack;
        (*pane)->SetAllFormat(all);
        (*pane)->SetBackColour(kBlack);
    }

    IPaneControl& Control() { return **pane; }

    // The way the pane logic renders: caret to the end, format there, then the text.
    void AppendFormatted(const char* text, const CharFormat& format) {
        Control().SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
        Control().SetSelectionFormat(format);
        Control().SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
        Control().ReplaceSelection(text, false);
    }

    std::unique_ptr<PaneUnderTest> pane;
};

TEST_P(PaneControlTest, TextAppendedAtTheEndTakesTheFormatSetThere) {
    CharFormat redBold = EffectsFormat(CharFormat::kBold, CharFormat::kEffects);
    redBold.mask |= CharFormat::kColour;
    redBold.textColour = kRed;
    AppendFormatted("ab", redBold);
    CharFormat plain = EffectsFormat(0, CharFormat::kEffects);
    plain.mask |= CharFormat::kColour;
    plain.textColour = kGrey;
    AppendFormatted("c", plain);

    EXPECT_EQ(Control().GetText(), "abc");
    EXPECT_EQ(DescribeControl(Control()), "[b:ff0000]ab[:d0d0d0]c");
}

TEST_P(PaneControlTest, FormatOnAnEmptySelectionLastsOnlyWhileTheCaretStays) {
    Control().ReplaceSelection("abc", true);
    Control().SetSelection(3, 3);
    Control().SetSelectionFormat(ColourFormat(kRed));
    // Moving away and typing elsewhere uses the neighbour's format, not the pending one.
    Control().SetSelection(1, 1);
    Control().ReplaceSelection("X", true);
    EXPECT_EQ(DescribeControl(Control()), "[:d0d0d0]aXbc");

    Control().SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
    Control().SetSelectionFormat(ColourFormat(kRed));
    EXPECT_EQ(Control().GetSelectionFormat().textColour, kRed);
    // Selecting the same empty place again keeps it.
    Control().SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
    Control().ReplaceSelection("d", true);
    Control().ReplaceSelection("e", true);
    EXPECT_EQ(DescribeControl(Control()), "[:d0d0d0]aXbc[:ff0000]de");
}

TEST_P(PaneControlTest, ReplacingASelectionPutsTheCaretAfterTheNewText) {
    Control().ReplaceSelection("hello world", true);
    Control().SetSelection(0, 5);
    CharFormat green = ColourFormat(kGreen);
    Control().SetSelectionFormat(green);
    Control().ReplaceSelection("HI", true);

    EXPECT_EQ(Control().GetText(), "HI world");
    std::int32_t start = -1;
    std::int32_t end = -1;
    Control().GetSelection(start, end);
    EXPECT_EQ(start, 2);
    EXPECT_EQ(end, 2);
    // The new text took the format of the text it replaced.
    EXPECT_EQ(DescribeControl(Control()), "[:00ff00]HI[:d0d0d0] world");
}

TEST_P(PaneControlTest, FormattingASelectionChangesOnlyThoseCharacters) {
    Control().ReplaceSelection("abcdef", true);
    Control().SetSelection(2, 4);
    Control().SetSelectionFormat(EffectsFormat(CharFormat::kItalic | CharFormat::kUnderline,
                                               CharFormat::kItalic | CharFormat::kUnderline));
    EXPECT_EQ(DescribeControl(Control()), "[:d0d0d0]ab[iu:d0d0d0]cd[:d0d0d0]ef");

    Control().SetSelection(3, 5);
    const CharFormat format = Control().GetSelectionFormat();
    EXPECT_EQ(format.mask, CharFormat::kEffects | CharFormat::kColour | CharFormat::kBackColour);
    EXPECT_EQ(format.effects, CharFormat::kItalic | CharFormat::kUnderline);
    EXPECT_EQ(format.textColour, kGrey);
    EXPECT_EQ(format.backColour, kBlack);
}

TEST_P(PaneControlTest, SetAllFormatReachesAllTextAndWhatComesAfterAClear) {
    CharFormat redBold = ColourFormat(kRed);
    redBold.mask |= CharFormat::kBold;
    redBold.effects = CharFormat::kBold;
    AppendFormatted("ab", redBold);
    CharFormat plain = ColourFormat(kGrey);
    plain.mask |= CharFormat::kBold;
    AppendFormatted("cd", plain);

    Control().SetAllFormat(ColourFormat(kGreen));
    EXPECT_EQ(DescribeControl(Control()), "[b:00ff00]ab[:00ff00]cd");

    Control().Clear();
    EXPECT_EQ(Control().GetTextLength(), 0);
    Control().ReplaceSelection("x", true);
    EXPECT_EQ(DescribeControl(Control()), "[:00ff00]x");
}

TEST_P(PaneControlTest, TextComesBackAsLatin1WithAQuestionMarkAboveFF) {
    Control().ReplaceSelection("caf\xE9 ", true);
    Control().ReplaceSelectionUtf16(u'\u263A', true);
    Control().ReplaceSelection("!", true);

    EXPECT_EQ(Control().GetTextLength(), 7);
    EXPECT_EQ(Control().GetText(), "caf\xE9 ?!");
    EXPECT_EQ(Control().GetTextRange(3, 5), "\xE9 ");
    EXPECT_EQ(Control().GetTextRange(5, IPaneControl::kEnd), "?!");
    EXPECT_EQ(Control().GetTextRange(4, 1000), " ?!");
    EXPECT_EQ(Control().GetTextRange(5, 5), "");
    EXPECT_EQ(Control().GetTextRange(6, 2), "");
}

TEST_P(PaneControlTest, ClearEmptiesTextAndSelection) {
    Control().ReplaceSelection("some text", true);
    Control().SetSelection(2, 6);
    Control().Clear();
    std::int32_t start = -1;
    std::int32_t end = -1;
    Control().GetSelection(start, end);
    EXPECT_EQ(Control().GetText(), "");
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 0);
    Control().SetSelection(0, IPaneControl::kEnd);
    Control().GetSelection(start, end);
    EXPECT_EQ(end, 0);
}

TEST_P(PaneControlTest, SelectionPositionsAreClampedToTheText) {
    Control().ReplaceSelection("abc", true);
    Control().SetSelection(1, IPaneControl::kEnd);
    std::int32_t start = -1;
    std::int32_t end = -1;
    Control().GetSelection(start, end);
    EXPECT_EQ(start, 1);
    EXPECT_EQ(end, 3);
    Control().SetSelection(0, -1);
    Control().GetSelection(start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 3);
}

TEST_P(PaneControlTest, SizeChangesAreReportedAndHidingReportsZero) {
    RecordingEvents& events = pane->events;
    ASSERT_FALSE(events.sizes.empty());
    EXPECT_EQ(events.sizes.back(), (Size{400, 200}));

    (*pane)->Move(0, 0, 300, 150);
    ProcessEvents();
    EXPECT_EQ(events.sizes.back(), (Size{300, 150}));

    pane->host->hide();
    ProcessEvents();
    EXPECT_EQ(events.sizes.back(), (Size{0, 0}));
    pane->host->show();
    ProcessEvents();
    EXPECT_EQ(events.sizes.back(), (Size{300, 150}));

    (*pane)->Move(0, 0, 300, 0);
    ProcessEvents();
    EXPECT_EQ(events.sizes.back(), (Size{300, 0}));
}

TEST_P(PaneControlTest, FormattingRectLiesInsideTheClientArea) {
    const Size client = Control().GetClientSize();
    const Rect rect = Control().GetFormattingRect();
    EXPECT_GT(client.width, 0);
    EXPECT_GE(rect.left, 0);
    EXPECT_GE(rect.top, 0);
    EXPECT_LE(rect.right, client.width);
    EXPECT_LE(rect.bottom, client.height);
    EXPECT_GT(rect.Width(), 0);
    // The frame (borders, scroll bar, margins) is what the control adds to the text width.
    EXPECT_GT(pane->Widget()->width() - rect.Width(), 0);
}

TEST_P(PaneControlTest, FocusChangesAreReported) {
    pane->host->activateWindow();
    Control().SetFocus();
    ProcessEvents();
    ASSERT_FALSE(pane->events.focus.empty());
    EXPECT_TRUE(pane->events.focus.back());
    QWidget other(pane->host.get());
    other.setFocusPolicy(Qt::StrongFocus);
    other.show();
    other.setFocus();
    ProcessEvents();
    EXPECT_FALSE(pane->events.focus.back());
}

INSTANTIATE_TEST_SUITE_P(BothRoles, PaneControlTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Output" : "Input";
                         });

}  // namespace
