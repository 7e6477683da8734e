#include "tests/ui/PaneTestSupport.h"

namespace {

TEST(RichPaneCreate, SetsUpTheControl) {
    RecordingPaneFactory factory;
    NotifyRecorder window;
    CRichPane pane;
    PaneStyle style;
    style.textColour = 0x00ff00;
    style.backColour = 0x202020;
    style.fontFace = "Fixed";
    style.fontSize = 12;
    pane.ApplyStyle(style);
    ASSERT_TRUE(pane.Create(factory, &window, 30, 500, 64, false));
    RecordingPaneControl* control = factory.last;
    ASSERT_NE(control, nullptr);
    EXPECT_FALSE(control->isOutput);
    EXPECT_EQ(control->rect, (Rect{0, 30, 500, 94}));
    EXPECT_EQ(pane.Control(), control);
    EXPECT_FALSE(pane.IsOutput());
    EXPECT_EQ(control->fontFace, "Fixed");
    EXPECT_EQ(control->fontSize, 12u);
    EXPECT_EQ(control->backColour, 0x202020u);
    EXPECT_EQ(control->DefaultFormat().textColour, 0x00ff00u);
    EXPECT_EQ(control->DefaultFormat().backColour, 0x202020u);
    EXPECT_EQ(control->DefaultFormat().effects, 0u);
    // Text typed later shows in the pane's colours.
    control->ReplaceSelection("x", true);
    EXPECT_EQ(control->FormatAt(0).textColour, 0x00ff00u);
}

TEST(RichPaneCreate, FailsWithoutAControl) {
    RecordingPaneFactory factory;
    factory.fail = true;
    CRichPane pane;
    EXPECT_FALSE(pane.Create(factory, nullptr, 0, 10, 10, true));
    EXPECT_EQ(pane.Control(), nullptr);
}

TEST(RichPaneFont, AppliedWhenTheControlExistsAndCaretGoesToTheEnd) {
    RecordingPaneFactory factory;
    CRichPane pane;
    ASSERT_TRUE(pane.Create(factory, nullptr, 0, 100, 100, true));
    pane.Append("some text");
    factory.last->SetSelection(0, 2);
    pane.SetFont("Mono", 9);
    EXPECT_EQ(factory.last->fontFace, "Mono");
    EXPECT_EQ(factory.last->fontSize, 9u);
    std::int32_t s = 0, e = 0;
    factory.last->GetSelection(s, e);
    EXPECT_EQ(s, 9);
    EXPECT_EQ(e, 9);
}

TEST(RichPaneFont, LongFaceIsCutTo31Characters) {
    CRichPane pane;
    const std::string longFace(40, 'F');
    pane.SetFont(longFace, 10);
    EXPECT_EQ(pane.FontFace(), std::string(31, 'F'));
    RecordingPaneFactory factory;
    ASSERT_TRUE(pane.Create(factory, nullptr, 0, 100, 100, true));
    EXPECT_EQ(factory.last->fontFace, std::string(31, 'F'));
    pane.SetFont("", 8);
    EXPECT_EQ(factory.last->fontFace, "");
}

TEST(RichPaneWidth, HundredUnderscoresPlusTheFrame) {
    CRichPane pane;
    pane.SetFont("Mono", 11);
    RecordingTextMeasure measure;
    measure.charWidth = 7;
    measure.frameWidth = 9;
    EXPECT_EQ(pane.PreferredWidth(measure), 709);
    EXPECT_EQ(measure.lastFace, "Mono");
    EXPECT_EQ(measure.lastPointSize, 11u);
    measure.fail = true;
    EXPECT_EQ(pane.PreferredWidth(measure), -1);
    measure.fail = false;
    measure.frameWidth = -1;
    EXPECT_EQ(pane.PreferredWidth(measure), -1);
}

TEST(RichPaneUrlPrefixes, ReplacedAndLowerCased) {
    CRichPane pane;
    pane.SetUrlPrefixes({"HTTP://", "Www."});
    pane.SetUrlPrefixes({"FTP://"});
    EXPECT_EQ(pane.UrlPrefixes(), std::vector<std::string>{"ftp://"});
}

TEST(RichPaneReset, RestoresDefaultsButKeepsUrlPrefixes) {
    RecordingPaneFactory factory;
    NotifyRecorder window;
    CRichPane pane;
    ASSERT_TRUE(pane.Create(factory, &window, 0, 100, 100, false));
    pane.SetUrlPrefixes({"www."});
    PaneStyle style;
    style.fontFace = "Other";
    style.fontSize = 14;
    style.textColour = 1;
    style.backColour = 2;
    style.urlEffects = 1;
    style.urlTextColour = 3;
    style.urlBackColour = 4;
    pane.ApplyStyle(style);
    pane.OnFocusChanged(true);
    pane.Append("\x19tag\x19");
    pane.SetHoldByUser(true);
    pane.Append("held");
    factory.last->ReplaceSelection("line", true);
    pane.OnKeyDown(Key::kReturn, KeyModifiers{});
    pane.SetPasswordMode(true);

    pane.Reset();
    EXPECT_EQ(pane.Control(), nullptr);
    EXPECT_TRUE(pane.IsOutput());
    const PaneStyle defaults;
    const PaneStyle now = pane.Style();
    EXPECT_EQ(now.fontFace, "Courier New");
    EXPECT_EQ(now.fontSize, 10u);
    EXPECT_EQ(now.textColour, 0xd0d0d0u);
    EXPECT_EQ(now.backColour, 0u);
    EXPECT_EQ(now.urlEffects, 4u);
    EXPECT_EQ(now.urlTextColour, 0xffffffu);
    EXPECT_EQ(now.urlBackColour, defaults.urlBackColour);
    EXPECT_FALSE(pane.IsHeldByUser());
    EXPECT_FALSE(pane.HasFocus());
    EXPECT_FALSE(pane.IsPasswordMode());
    EXPECT_TRUE(pane.Pending().empty());
    EXPECT_FALSE(pane.HasPmlTags());
    EXPECT_TRUE(pane.History().Empty());
    EXPECT_EQ(pane.UrlPrefixes(), std::vector<std::string>{"www."});

    // The pane can be built again and works from a clean state.
    ASSERT_TRUE(pane.Create(factory, &window, 0, 100, 100, true));
    pane.Append("a www.b c");
    EXPECT_EQ(factory.last->Runs(), "[]a [u,c=ffffff]www.b[] c");
}

TEST(RichPaneFocus, FollowsTheControl) {
    RecordingPaneFactory factory;
    CRichPane pane;
    ASSERT_TRUE(pane.Create(factory, nullptr, 0, 100, 100, true));
    factory.last->SetFocus();
    EXPECT_TRUE(pane.HasFocus());
    pane.OnFocusChanged(false);
    EXPECT_FALSE(pane.HasFocus());
}

TEST(RichPaneText, GetTextIsTheControlsText) {
    RecordingPaneFactory factory;
    CRichPane pane;
    EXPECT_EQ(pane.GetText(), "");
    ASSERT_TRUE(pane.Create(factory, nullptr, 0, 100, 100, true));
    pane.Append(
        "abc\x1a"
        "263a\x1a");
    EXPECT_EQ(pane.GetText(), "abc?");
}

TEST(RichPaneTags, RtfToTagsUsesThePanesTextColour) {
    CRichPane pane;
    PaneStyle style;
    style.textColour = 0x00ff00;
    pane.ApplyStyle(style);
    FormattedChar a;
    a.character = 'a';
    a.format.mask = CharFormat::kColour;
    a.format.textColour = 0x00ff00;
    FormattedChar b = a;
    b.character = 'b';
    b.format.textColour = 0xd0d0d0;
    EXPECT_EQ(pane.RtfToTags({a, b}), "a<-cd0d0d0>b");
}

}  // namespace
