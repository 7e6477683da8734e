#include <cstdio>

#include "tests/ui/PaneTestSupport.h"

namespace {

class OutputAppend : public PaneFixture {
  protected:
    void SetUp() override { Make(true); }
};

class InputAppend : public PaneFixture {
  protected:
    void SetUp() override { Make(false); }
};

// ---- PML tags ----

TEST_F(OutputAppend, UnclosedPmlTagWithholdsTheTextBeforeIt) {
    EXPECT_TRUE(pane.Append("before\x19tag"));
    EXPECT_EQ(control->Text(), "");
    EXPECT_EQ(control->insertions, 0);
    EXPECT_TRUE(pane.Append("ged\x19\r\nafter"));
    EXPECT_EQ(control->Text(), "beforeafter");
    ASSERT_EQ(pane.PmlQueue().size(), 1u);
    EXPECT_EQ(pane.PopPmlTag(), "tagged");
    EXPECT_EQ(pane.PopPmlTag(), "");
    EXPECT_TRUE(pane.Pending().empty());
}

TEST_F(OutputAppend, PmlTagDropsOneCrThenOneLf) {
    pane.Append("a\x19one\x19\n\rb\x19two\x19\r\r\nc\x19\x19\r\n\r\nd");
    EXPECT_EQ(control->Text(), "a\rb\r\nc\r\nd");
    ASSERT_EQ(pane.PmlQueue().size(), 3u);
    EXPECT_EQ(pane.PmlQueue()[0], "one");
    EXPECT_EQ(pane.PmlQueue()[1], "two");
    EXPECT_EQ(pane.PmlQueue()[2], "");
}

TEST_F(OutputAppend, LineEndArrivingAfterTheTagIsKept) {
    pane.Append("x\x19t\x19");
    pane.Append("\r\ny");
    EXPECT_EQ(control->Text(), "x\r\ny");
}

TEST_F(OutputAppend, TextBeforeAnEarlierTagIsShownWhenALaterOneIsOpen) {
    pane.Append(
        "a\x19one\x19"
        "b\x19open");
    EXPECT_EQ(control->Text(), "a");
    EXPECT_EQ(pane.Pending(), "b\x19open");
    pane.Append(" still");
    pane.Append(" open\x19z");
    EXPECT_EQ(control->Text(), "abz");
    EXPECT_EQ(pane.PmlQueue().back(), "open still open");
}

TEST_F(OutputAppend, ResetPmlReleasesWithheldText) {
    pane.Append("shown \x19never closed");
    // What the reset command does to the pending text before printing its message.
    pane.ResetPml();
    pane.Append("!");
    EXPECT_EQ(control->Text(), "shown never closed!");
}

// ---- Unicode escapes ----

TEST_F(OutputAppend, UnicodeEscapesInsertOneCharacter) {
    pane.Append(
        "a\x1a"
        "263a\x1a"
        "b\x1a"
        "10041\x1a"
        "c\x1a"
        "E9\x1a");
    EXPECT_EQ(control->TextUtf16(),
              u"a\u263ab"
              u"Ac\u00e9");
}

TEST_F(OutputAppend, RejectedEscapesInsertNothing) {
    pane.Append(
        "1\x1agg\x1a"
        "2\x1a\x1a"
        "3\x1a"
        "123456789\x1a"
        "4\x1a"
        "0\x1a"
        "5");
    EXPECT_EQ(control->Text(), "12345");
    // Eight digits are accepted; only the low 16 bits count.
    pane.Append(
        "\x1a"
        "FFFF0042\x1a");
    EXPECT_EQ(control->Text(), "12345B");
}

TEST_F(OutputAppend, EscapeWhoseLow16BitsAreZeroInsertsNothing) {
    pane.Append(
        "a\x1a"
        "10000\x1a"
        "b");
    EXPECT_EQ(control->TextUtf16(), u"ab");
}

TEST_F(OutputAppend, EscapeSplitAcrossAppendsWaitsWithTheTextBeforeIt) {
    EXPECT_TRUE(
        pane.Append("x\x1a"
                    "26"));
    EXPECT_EQ(control->Text(), "");
    pane.Append("3a\x1ay");
    EXPECT_EQ(control->TextUtf16(), u"x\u263ay");
}

// ---- Format codes ----

TEST_F(OutputAppend, EveryEffectBitSwitchesItsEffect) {
    pane.Append(
        "\xE0"
        "b\xD0i\xC8u\xC2s\xA0\x90\x88\x82n");
    EXPECT_EQ(Runs(), "[b]b[b,i]i[b,i,u]u[b,i,u,s]s[]n");
    pane.Append(
        "\xFA"
        "all\xBE"
        "none");
    EXPECT_EQ(control->Runs(5, 12), "[b,i,u,s]all[]none");
}

TEST_F(OutputAppend, ColourOnOffAndReset) {
    pane.Append(
        "\xE0\xC4"
        "ff0000r\x84"
        "d\xC4"
        "00ff00g\xBE"
        "x");
    EXPECT_EQ(Runs(), "[b,c=ff0000]r[b]d[b,c=00ff00]g[]x");
}

TEST_F(OutputAppend, ColourCodeWaitsForItsSixCharacters) {
    EXPECT_TRUE(
        pane.Append("ab\xC4"
                    "ff000"));
    EXPECT_EQ(control->Text(), "ab");
    EXPECT_EQ(pane.Pending(),
              "\xC4"
              "ff000");
    pane.Append("0red");
    EXPECT_EQ(Runs(), "[]ab[c=ff0000]red");
}

TEST_F(OutputAppend, ColourCodeAloneAtTheEndWaits) {
    pane.Append("\xC4");
    pane.Append("0000");
    pane.Append("ffblue");
    EXPECT_EQ(Runs(), "[c=0000ff]blue");
}

TEST_F(OutputAppend, NonHexColourShowsItsCharactersInTheCurrentColour) {
    pane.Append(
        "\xC4"
        "00ff00g\xC4"
        "zz0000x");
    EXPECT_EQ(Runs(), "[c=00ff00]gzz0000x");
}

TEST_F(OutputAppend, FailedColourKeepsTheCodesOtherEffects) {
    pane.Append(
        "\xE4"
        "12345zbold");
    EXPECT_EQ(Runs(), "[b]12345zbold");
}

TEST_F(OutputAppend, LinkCodesSaveAndRestoreTheFormat) {
    pane.Append(
        "\xC4"
        "ff0000"
        "a\xC1link\x81"
        "b");
    EXPECT_EQ(Runs(), "[c=ff0000]a[u,c=ffffff]link[c=ff0000]b");
}

TEST_F(OutputAppend, LinkEndWithoutStartReturnsToTheDefaultFormat) {
    pane.Append(
        "\xE0"
        "a\x81"
        "b");
    EXPECT_EQ(Runs(), "[b]a[]b");
}

TEST_F(OutputAppend, TextAfterTheSelectionMovedTakesTheFormatTheCodesLeft) {
    pane.Append(ColourMessage(0x00ff00, "Connected!\r\n"));
    // A click puts the caret into the green text; the control forgets the reset after it.
    control->SetSelection(3, 3);
    pane.OnLeftButtonUp(3, 3);
    pane.Append("server\r\n");
    // A drag selects without a release yet.
    control->SetSelection(0, 4);
    pane.Append(
        "\xE0"
        "bold\r\n");
    control->SetSelection(2, 2);
    pane.Append("more\r\n");
    EXPECT_EQ(Runs(), "[c=00ff00]Connected!\\r\\n[]server\\r\\n[b]bold\\r\\nmore\\r\\n");
}

TEST_F(OutputAppend, LinkFormatFieldsOfAllOnesAreLeftAlone) {
    PaneStyle style = pane.Style();
    style.urlTextColour = 0xFFFFFFFFu;
    style.urlBackColour = 0x00ff0000;  // blue background
    style.urlEffects = 1 | 8;
    pane.ApplyStyle(style);
    pane.Append(
        "\xE0\xC4"
        "ff0000"
        "a\xC1link\x81"
        "b");
    EXPECT_EQ(Runs(), "[b,c=ff0000]a[b,s,c=ff0000,bg=0000ff]link[b,c=ff0000]b");
}

// ---- URL marking ----

class UrlMarking : public OutputAppend {
  protected:
    void SetUp() override {
        OutputAppend::SetUp();
        pane.SetUrlPrefixes({"HTTP://", "www."});
    }
};

TEST_F(UrlMarking, PrefixesAreStoredLowerCase) {
    EXPECT_EQ(pane.UrlPrefixes(), (std::vector<std::string>{"http://", "www."}));
}

TEST_F(UrlMarking, WordAfterBoundaryIsEnclosed) {
    pane.Append("see http://a.b/c now");
    EXPECT_EQ(control->Text(), "see http://a.b/c now");
    EXPECT_EQ(Runs(), "[]see [u,c=ffffff]http://a.b/c[] now");
}

TEST_F(UrlMarking, PrefixInCapitalsMatches) {
    pane.Append("HTTP://A.B\r\n");
    EXPECT_EQ(Runs(), "[u,c=ffffff]HTTP://A.B[]\\r\\n");
}

TEST_F(UrlMarking, WordPrecededByALetterIsNot) {
    pane.Append("xhttp://a.b c");
    EXPECT_EQ(Runs(), "[]xhttp://a.b c");
}

TEST_F(UrlMarking, WordReachingTheEndIsNotMarked) {
    pane.Append("see www.a.b");
    EXPECT_EQ(Runs(), "[]see www.a.b");
}

TEST_F(UrlMarking, BoundaryAfterCodesAndAfterAColourCode) {
    pane.Append(
        "\xE0www.x y\xC4"
        "ff0000www.z w");
    EXPECT_EQ(Runs(), "[u,c=ffffff]www.x[b] y[u,c=ffffff]www.z[b,c=ff0000] w");
}

TEST_F(UrlMarking, UrlEndingInFrontOfAPmlTagIsMarkedButTagContentsAreNot) {
    pane.Append("go www.a\x19see http://b.c now\x19\r\n");
    EXPECT_EQ(Runs(), "[]go [u,c=ffffff]www.a");
    ASSERT_EQ(pane.PmlQueue().size(), 1u);
    EXPECT_EQ(pane.PmlQueue()[0], "see http://b.c now");
}

TEST_F(UrlMarking, OpenPmlTagContentsStayUnmarkedAcrossAppends) {
    pane.Append("\x19 http://a.b ");
    pane.Append(" www.c.d \x19");
    ASSERT_EQ(pane.PmlQueue().size(), 1u);
    EXPECT_EQ(pane.PmlQueue()[0], " http://a.b  www.c.d ");
}

TEST_F(UrlMarking, UrlAtTheEndOfHeldTextIsMarkedWhenMoreTextArrives) {
    pane.SetHoldByUser(true);
    EXPECT_FALSE(pane.Append("go http://a.b"));
    EXPECT_FALSE(pane.Append("/c now\r\n"));
    EXPECT_EQ(control->Text(), "");
    pane.SetHoldByUser(false);
    pane.Flush();
    EXPECT_EQ(Runs(), "[]go [u,c=ffffff]http://a.b/c[] now\\r\\n");
}

TEST_F(UrlMarking, UrlWaitingBehindAnOpenTagIsMarkedWhenItEnds) {
    pane.Append(
        "\x19t\x19 http://a.b\x1a"
        "26");
    pane.Append("3a\x1a");
    EXPECT_EQ(Runs(), "[] [u,c=ffffff]http://a.b[]{263a}");
}

TEST_F(UrlMarking, PrefixCompletedByTheNextAppendWhileAColourCodeWaits) {
    EXPECT_TRUE(
        pane.Append("\xC4"
                    "ww"));
    EXPECT_EQ(control->Text(), "");
    // The six characters after the code are then not a colour and show as text.
    pane.Append("w.x y");
    EXPECT_EQ(Runs(), "[u,c=ffffff]www.x[] y");
}

TEST_F(UrlMarking, PrefixBeginningInTheLastOfSixteenBytesIsCompletedLater) {
    // Sixteen bytes whose last one may begin "www."; the colour code keeps it pending.
    pane.Append("abcdefghijkl\xC4\xE0\rw");
    EXPECT_EQ(control->Text(), "abcdefghijkl");
    pane.Append("ww. y");
    EXPECT_EQ(control->Runs(12, 20), "[b]\\r[u,c=ffffff]www.[b] y");
}

TEST_F(UrlMarking, AlreadyEnclosedUrlIsNotEnclosedAgain) {
    pane.SetUrlPrefixes({"a"});
    // The colour code waits for six characters, so the marked URL stays pending.
    pane.Append(
        "\xC4"
        "a b");
    EXPECT_EQ(pane.Pending(),
              "\xC4\xC1"
              "a\x81 b");
    // New prefixes make the pane look at all pending text again.
    pane.SetUrlPrefixes({"a"});
    pane.Append("c");
    // A second link start would make the inner link end restore the link format.
    EXPECT_EQ(Runs(), "[u,c=ffffff]a[] bc");
}

TEST_F(UrlMarking, TextAfterARenderedLinkStartIsNotEnclosedAgain) {
    pane.Append("see \xC1");
    pane.Append("http://x y");
    // A second link start would have saved the link format as the one to return to.
    pane.Append("\x81 z");
    EXPECT_EQ(Runs(), "[]see [u,c=ffffff]http://x y[] z");
}

// A link start whose colour does not parse is a plain link start: the same holds behind it.
TEST_F(UrlMarking, TextAfterALinkStartWithABadColourIsNotEnclosedAgain) {
    pane.Append("see \xC5http://x");
    pane.Append(" y\x81 z");
    EXPECT_EQ(Runs(), "[]see [u,c=ffffff]http://x y[] z");
}

TEST_F(UrlMarking, ManyUrlsInOneAppend) {
    std::string text;
    std::string expected = "[]a ";
    const int count = 2000;
    for (int i = 0; i < count; ++i) {
        text += "a www.x" + std::to_string(i) + " ";
        expected += "[u,c=ffffff]www.x" + std::to_string(i) + "[] ";
        if (i + 1 < count) expected += "a ";
    }
    pane.Append(text);
    EXPECT_EQ(Runs(), expected);
}

TEST_F(InputAppend, InputLineNeverMarksUrlsAndKeepsUndo) {
    pane.SetUrlPrefixes({"www."});
    pane.Append("a www.b c");
    EXPECT_EQ(Runs(), "[]a www.b c");
    EXPECT_EQ(control->undoInsertions, control->insertions);
    EXPECT_GT(control->insertions, 0);
}

TEST_F(OutputAppend, OutputInsertionsDoNotKeepUndo) {
    pane.Append(
        "a\x1a"
        "41\x1a");
    EXPECT_EQ(control->insertions, 2);
    EXPECT_EQ(control->undoInsertions, 0);
}

// ---- Where text goes ----

TEST_F(OutputAppend, RenderingAtTheEndMovesAPlayersSelectionThere) {
    pane.Append("hello world");
    control->SetSelection(0, 5);
    pane.Append("!");
    EXPECT_EQ(control->Text(), "hello world!");
    std::int32_t s = 0, e = 0;
    control->GetSelection(s, e);
    EXPECT_EQ(s, 12);
    EXPECT_EQ(e, 12);
}

TEST_F(OutputAppend, NothingToRenderLeavesTheSelectionAlone) {
    pane.Append("hello");
    control->SetSelection(1, 3);
    const int changes = control->selectionChanges;
    EXPECT_TRUE(pane.Append(""));
    pane.Flush();
    EXPECT_EQ(control->selectionChanges, changes);
}

TEST_F(InputAppend, AtSelectionReplacesTheSelectionThenAdvances) {
    pane.Append("hello world");
    control->SetSelection(6, 11);
    pane.Append(
        "a\x1a"
        "263a\x1a"
        "b\xE0"
        "c",
        true);
    EXPECT_EQ(control->TextUtf16(), u"hello a\u263abc");
    EXPECT_EQ(control->Runs(6, 10), "[]a{263a}b[b]c");
    control->SetSelection(0, 0);
    pane.Append("<", true);
    EXPECT_EQ(control->TextUtf16(), u"<hello a\u263abc");
}

TEST_F(InputAppend, AtSelectionInsertsInsideTheText) {
    pane.Append("ad");
    control->SetSelection(1, 1);
    pane.Append(
        "b\x19tag\x19"
        "c",
        true);
    EXPECT_EQ(control->Text(), "abcd");
}

// ---- Holding ----

TEST_F(OutputAppend, HoldByUserCollectsUntilFlush) {
    pane.SetHoldByUser(true);
    EXPECT_FALSE(pane.Append("one\r\n"));
    EXPECT_FALSE(pane.Append("\xE0two\r\n"));
    EXPECT_EQ(control->Text(), "");
    EXPECT_EQ(pane.Pending(), "one\r\n\xE0two\r\n");
    pane.SetHoldByUser(false);
    pane.Flush();
    EXPECT_EQ(Runs(), "[]one\\r\\n[b]two\\r\\n");
    EXPECT_TRUE(pane.Pending().empty());
}

TEST_F(OutputAppend, ZeroSizeHoldsAndRegainingASizeRenders) {
    pane.OnSizeChanged(0, 300);
    EXPECT_FALSE(pane.Append("while minimised"));
    EXPECT_EQ(control->Text(), "");
    pane.OnSizeChanged(640, 0);
    EXPECT_EQ(control->Text(), "");
    pane.OnSizeChanged(640, 300);
    EXPECT_EQ(control->Text(), "while minimised");
}

TEST_F(OutputAppend, ResizingWithoutHoldDoesNotTouchTheControl) {
    pane.Append("text");
    control->SetSelection(0, 2);
    const int changes = control->selectionChanges;
    pane.OnSizeChanged(800, 600);
    EXPECT_EQ(control->selectionChanges, changes);
}

TEST_F(OutputAppend, HeldLinesAreRenderedInOneGo) {
    pane.SetHoldByUser(true);
    for (int i = 0; i < 20000; ++i)
        pane.Append(
            "line \xC4"
            "00ff00green\xBE\r\n");
    pane.SetHoldByUser(false);
    pane.Flush();
    EXPECT_EQ(control->TextUtf16().size(), 20000u * 12u);
    EXPECT_EQ(control->Runs(0, 12), "[]line [c=00ff00]green[]\\r\\n");
}

TEST_F(OutputAppend, TextAppendedByAControlEventIsKept) {
    bool once = false;
    control->afterInsert = [&] {
        if (once) return;
        once = true;
        EXPECT_TRUE(pane.Append("late"));
    };
    pane.Append("first");
    EXPECT_EQ(control->Text(), "first");
    pane.Append("!");
    EXPECT_EQ(control->Text(), "firstlate!");
}

TEST_F(OutputAppend, OneRenderMovesTheSelectionToTheEndOnce) {
    pane.Append("start ");
    control->SetSelection(0, 2);
    const int changes = control->selectionChanges;
    pane.Append(
        "a\xE0"
        "b\xA0"
        "c\x1a"
        "263a\x1a"
        "d\r\n");
    EXPECT_EQ(control->selectionChanges - changes, 1);
    EXPECT_EQ(control->Runs(6, 13), "[]a[b]b[]c{263a}d\\r\\n");
}

TEST_F(OutputAppend, AControlEventDuringARenderMakesItMoveTheSelectionAgain) {
    bool once = false;
    control->afterInsert = [&] {
        if (once) return;
        once = true;
        // The player selects while the control reports the mouse to the pane.
        control->SetSelection(0, 1);
        pane.OnMouseMove(1, 1);
    };
    pane.Append(
        "ab\xE0"
        "cd");
    EXPECT_EQ(control->Text(), "abcd");
    EXPECT_EQ(Runs(), "[]ab[b]cd");
}

// ---- Bounds on what waits ----

TEST_F(OutputAppend, HeldTextPastTheBoundLosesItsOldestLinesFirst) {
    pane.SetHoldByUser(true);
    const std::string filler(1002, '.');
    std::size_t lines = 0;
    for (; lines * 1024 <= CRichPane::kMaxHeldText + 1024; ++lines) {
        char number[32];
        std::snprintf(number, sizeof number, "%08zu ", lines);
        EXPECT_FALSE(pane.Append(number + filler +
                                 "\xC4"
                                 "ff0000red\xBE\r\n"));
    }
    const std::string& held = pane.Pending();
    EXPECT_LE(held.size(), CRichPane::kMaxHeldText);
    EXPECT_GE(held.size(), CRichPane::kMaxHeldText / 2);
    // Whole lines went, the oldest first; the newest are all there.
    ASSERT_EQ(held.size() % 1024, 0u);
    char newest[32];
    std::snprintf(newest, sizeof newest, "%08zu ", lines - held.size() / 1024);
    EXPECT_EQ(held.substr(0, 9), newest);
    EXPECT_EQ(held.substr(held.size() - 13),
              "\xC4"
              "ff0000red\xBE\r\n");
    EXPECT_EQ(control->Text(), "");
}

TEST_F(OutputAppend, SpansLeftOpenPastTheBoundAreClosedThere) {
    // A PML tag: queued with the bound's worth, and what follows shows again.
    pane.Append("before \x19");
    const std::string piece(64 * 1024, 't');
    for (std::size_t sent = 0; sent < CRichPane::kMaxOpenSpan; sent += piece.size()) {
        pane.Append(piece);
    }
    EXPECT_EQ(control->Text(), "");
    pane.Append("spill\r\nafter\x19tag\x19\r\n");
    ASSERT_EQ(pane.PmlQueue().size(), 2u);
    EXPECT_EQ(pane.PmlQueue()[0], std::string(CRichPane::kMaxOpenSpan, 't'));
    EXPECT_EQ(pane.PmlQueue()[1], "tag");
    EXPECT_EQ(control->Text(), "before spill\r\nafter");
    EXPECT_TRUE(pane.Pending().empty());

    // A Unicode escape far longer than any: inserts nothing, and the text after it shows.
    pane.Append("\x1A" + std::string(CRichPane::kMaxOpenSpan, '4') + "1 shown");
    EXPECT_EQ(control->Text(), "before spill\r\nafter1 shown");
    EXPECT_TRUE(pane.Pending().empty());
}

TEST(PaneScrollback, TheOutputControlIsToldTheLineLimitAndTheInputLineIsNot) {
    RecordingPaneFactory factory;
    NotifyRecorder window;
    CRichPane output;
    CRichPane input;
    PaneStyle style;
    style.scrollbackLines = 500;
    output.ApplyStyle(style);
    input.ApplyStyle(style);
    ASSERT_TRUE(output.Create(factory, &window, 0, 640, 400, true));
    EXPECT_EQ(factory.last->scrollbackLines, 500);
    ASSERT_TRUE(input.Create(factory, &window, 402, 640, 20, false));
    EXPECT_EQ(factory.last->scrollbackLines, -1);
    style.scrollbackLines = 0;
    output.ApplyStyle(style);
    EXPECT_EQ(static_cast<RecordingPaneControl*>(output.Control())->scrollbackLines, 0);
}

TEST(PaneWithoutControl, AppendKeepsTheText) {
    CRichPane pane;
    EXPECT_FALSE(pane.Append("early"));
    EXPECT_EQ(pane.Pending(), "early");
    EXPECT_EQ(pane.GetText(), "");
}

}  // namespace
