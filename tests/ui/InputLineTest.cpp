#include "tests/ui/PaneTestSupport.h"

namespace {

constexpr KeyModifiers kNone{};
constexpr KeyModifiers kCtrl{true, false, false};
constexpr KeyModifiers kShift{false, true, false};
constexpr KeyModifiers kCtrlShift{true, true, false};
constexpr KeyModifiers kAlt{false, false, true};

class InputLine : public PaneFixture {
  protected:
    void SetUp() override { Make(false); }

    void Type(const std::string& text) {
        control->SetSelection(0, IPaneControl::kEnd);
        control->ReplaceSelection(text, true);
    }
    // Types the line and presses Enter.
    bool Enter(const std::string& text, KeyModifiers modifiers = kNone) {
        Type(text);
        return pane.OnKeyDown(Key::kReturn, modifiers);
    }
    void Fill(std::initializer_list<const char*> lines) {
        for (const char* line : lines) Enter(line);
        Type("");
        window.notes.clear();
    }
    bool Up() { return pane.OnKeyDown(Key::kUp, kCtrl); }
    bool Down() { return pane.OnKeyDown(Key::kDown, kCtrl); }
    std::vector<std::string> Entries() const {
        return {pane.History().Entries().begin(), pane.History().Entries().end()};
    }
};

using Lines = std::vector<std::string>;

TEST_F(InputLine, EnterSendsTheLineAndKeepsIt) {
    EXPECT_FALSE(Enter("look"));
    ASSERT_EQ(window.notes.size(), 1u);
    EXPECT_EQ(window.notes[0].code, PaneNotifyCode::LineEntered);
    EXPECT_EQ(window.notes[0].sender, &pane);
    EXPECT_EQ(window.notes[0].id, 0);
    EXPECT_EQ(Entries(), Lines{"look"});
    EXPECT_TRUE(pane.History().AtEnd());
    // The pane itself leaves the text to the main window.
    EXPECT_EQ(control->Text(), "look");
}

TEST_F(InputLine, LineFeedKeyActsAsEnter) {
    Type("x");
    EXPECT_FALSE(pane.OnKeyDown(Key::kLineFeed, kNone));
    EXPECT_EQ(window.notes.size(), 1u);
}

TEST_F(InputLine, EnterOnEmptyTextSendsButKeepsNothing) {
    EXPECT_FALSE(Enter(""));
    EXPECT_EQ(window.notes.size(), 1u);
    EXPECT_TRUE(pane.History().Empty());
}

TEST_F(InputLine, ShiftOrCtrlEnterBreaksTheLineAndKeepsTheText) {
    EXPECT_TRUE(Enter("first part", kShift));
    EXPECT_TRUE(Enter("second", kCtrl));
    EXPECT_TRUE(window.notes.empty());
    EXPECT_EQ(Entries(), (Lines{"first part", "second"}));
    // Alt is no reason not to send.
    EXPECT_FALSE(Enter("third", kAlt));
    EXPECT_EQ(window.notes.size(), 1u);
}

TEST_F(InputLine, PasswordModeKeepsLinesOutOfTheHistory) {
    pane.SetPasswordMode(true);
    EXPECT_TRUE(pane.IsPasswordMode());
    EXPECT_EQ(control->passwordChar, u'\u25CF');
    EXPECT_FALSE(Enter("secret"));
    EXPECT_EQ(window.notes.size(), 1u);
    EXPECT_TRUE(pane.History().Empty());
    pane.SetPasswordMode(false);
    EXPECT_EQ(control->passwordChar, 0);
    Enter("open");
    EXPECT_EQ(Entries(), Lines{"open"});
}

TEST_F(InputLine, PasswordModeKeepsWalkedAwayLinesOutOfTheHistory) {
    Fill({"one"});
    pane.SetPasswordMode(true);
    Type("secret");
    Up();
    EXPECT_EQ(control->Text(), "one");
    Type("secret");
    Down();
    EXPECT_EQ(control->Text(), "");
    EXPECT_EQ(Entries(), Lines{"one"});
}

TEST_F(InputLine, UpSavesTheTypedLineAndWalksBack) {
    Fill({"one", "two", "three"});
    Type("four");
    EXPECT_FALSE(Up());
    EXPECT_EQ(control->Text(), "three");
    EXPECT_EQ(Entries(), (Lines{"one", "two", "three", "four"}));
    Up();
    EXPECT_EQ(control->Text(), "two");
    EXPECT_FALSE(Down());
    EXPECT_EQ(control->Text(), "three");
    Down();
    EXPECT_EQ(control->Text(), "four");
    Down();
    EXPECT_EQ(control->Text(), "");
    EXPECT_TRUE(pane.History().AtEnd());
    // "four" was the newest entry already.
    EXPECT_EQ(Entries().size(), 4u);
}

TEST_F(InputLine, UpFromAnEmptyLineStopsAtTheOldest) {
    Fill({"one", "two"});
    Up();
    EXPECT_EQ(control->Text(), "two");
    Up();
    EXPECT_EQ(control->Text(), "one");
    Up();
    EXPECT_EQ(control->Text(), "one");
    EXPECT_EQ(Entries(), (Lines{"one", "two"}));
}

TEST_F(InputLine, DownAtTheEndSavesAndEmpties) {
    Fill({"one"});
    Type("draft");
    EXPECT_FALSE(Down());
    EXPECT_EQ(control->Text(), "");
    EXPECT_EQ(Entries(), (Lines{"one", "draft"}));
    EXPECT_TRUE(pane.History().AtEnd());
}

TEST_F(InputLine, WalkingDownPastTheNewestSavesAnEditedLine) {
    Fill({"one", "two"});
    Up();
    Type("two edited");
    Down();
    EXPECT_EQ(control->Text(), "");
    EXPECT_EQ(Entries(), (Lines{"one", "two", "two edited"}));
    Up();
    Down();  // past the newest: the same line is not saved again
    EXPECT_EQ(Entries(), (Lines{"one", "two", "two edited"}));
}

TEST_F(InputLine, TypedLineBeginningWithTheNewestEntryIsKept) {
    Fill({"n"});
    Type("north gate");
    Up();
    EXPECT_EQ(control->Text(), "n");
    EXPECT_EQ(Entries(), (Lines{"n", "north gate"}));
    Down();
    EXPECT_EQ(control->Text(), "north gate");
    // The newest entry itself is not saved a second time.
    Down();
    EXPECT_EQ(control->Text(), "");
    EXPECT_EQ(Entries(), (Lines{"n", "north gate"}));
}

TEST_F(InputLine, EnterOnARecalledEntryLeavesThePositionAfterIt) {
    Fill({"one", "two", "three"});
    Up();
    Up();
    EXPECT_EQ(control->Text(), "two");
    Enter("two");
    EXPECT_EQ(Entries(), (Lines{"one", "two", "three", "two"}));
    EXPECT_EQ(pane.History().Position(), 2u);
    Type("");
    Up();
    EXPECT_EQ(control->Text(), "two");
    Down();
    EXPECT_EQ(control->Text(), "three");
}

TEST_F(InputLine, TypingReturnsThePositionToTheEnd) {
    Fill({"one", "two"});
    Up();
    Up();
    EXPECT_TRUE(pane.OnKeyDown('x', kNone));
    EXPECT_TRUE(pane.History().AtEnd());
    // Keys with other modifiers keep the position.
    Up();
    EXPECT_TRUE(pane.OnKeyDown('x', kShift));
    EXPECT_TRUE(pane.OnKeyDown(Key::kUp, kCtrlShift));
    EXPECT_TRUE(pane.OnKeyDown('Z', kCtrl));
    EXPECT_FALSE(pane.History().AtEnd());
}

TEST_F(InputLine, EmptyHistoryLetsTheControlHaveTheKeys) {
    Type("text");
    EXPECT_TRUE(Up());
    EXPECT_TRUE(Down());
    EXPECT_EQ(control->Text(), "text");
    EXPECT_TRUE(pane.History().Empty());
}

TEST_F(InputLine, HistoryHoldsAtMost256Entries) {
    for (int i = 1; i <= 257; ++i) Enter("line " + std::to_string(i));
    ASSERT_EQ(pane.History().Size(), 256u);
    EXPECT_EQ(pane.History().At(0), "line 2");
    EXPECT_EQ(pane.History().At(255), "line 257");
    // Saving on Ctrl+Up respects the limit too.
    Type("draft");
    Up();
    EXPECT_EQ(pane.History().Size(), 256u);
    EXPECT_EQ(pane.History().At(0), "line 3");
    EXPECT_EQ(control->Text(), "line 257");
}

TEST_F(InputLine, EnterDroppingTheRecalledOldestEntryKeepsAValidPosition) {
    for (int i = 1; i <= 256; ++i) Enter("line " + std::to_string(i));
    Type("");
    for (int i = 0; i < 300; ++i) Up();
    EXPECT_EQ(control->Text(), "line 1");
    Enter("line 1");
    ASSERT_EQ(pane.History().Size(), 256u);
    EXPECT_EQ(pane.History().At(0), "line 2");
    // The position is on the line that followed the dropped one.
    EXPECT_EQ(pane.History().Position(), 0u);
    Type("");
    Down();
    EXPECT_EQ(control->Text(), "line 3");
}

TEST_F(InputLine, EnterOnARecalledEntryInAFullHistory) {
    for (int i = 1; i <= 256; ++i) Enter("line " + std::to_string(i));
    Type("");
    for (int i = 0; i < 6; ++i) Up();  // line 251
    Enter("line 251");
    Type("");
    Up();
    EXPECT_EQ(control->Text(), "line 251");
}

TEST_F(InputLine, WrapSelectionWithoutSelectionPutsTheCaretBetween) {
    Type("ab");
    control->SetSelection(1, 1);
    pane.WrapSelection('B');
    EXPECT_EQ(control->Text(), "a<-b><-/b>b");
    std::int32_t s = 0, e = 0;
    control->GetSelection(s, e);
    EXPECT_EQ(s, 5);
    EXPECT_EQ(e, 5);
    EXPECT_GT(control->undoInsertions, 1);
}

TEST_F(InputLine, WrapSelectionSelectsTagsAndText) {
    Type("say word now");
    control->SetSelection(4, 8);
    pane.WrapSelection('i');
    EXPECT_EQ(control->Text(), "say <-i>word<-/i> now");
    std::int32_t s = 0, e = 0;
    control->GetSelection(s, e);
    EXPECT_EQ(s, 4);
    EXPECT_EQ(e, 17);
}

// A control that reports a selection reaching the end as "to the end of the text".
struct EndReportingControl : RecordingPaneControl {
    using RecordingPaneControl::RecordingPaneControl;
    void GetSelection(std::int32_t& start, std::int32_t& end) const override {
        RecordingPaneControl::GetSelection(start, end);
        if (end == GetTextLength()) end = IPaneControl::kEnd;
    }
};

struct EndReportingFactory : IPaneFactory {
    std::unique_ptr<IPaneControl> CreatePaneControl(bool isOutput, const Rect& rect,
                                                    IPaneEvents& events) override {
        auto control = std::make_unique<EndReportingControl>(&events, isOutput, rect);
        last = control.get();
        return control;
    }
    EndReportingControl* last = nullptr;
};

TEST(InputLineWrap, SelectionReportedToTheEndIsWrappedWhole) {
    EndReportingFactory factory;
    NotifyRecorder window;
    CRichPane pane;
    ASSERT_TRUE(pane.Create(factory, &window, 0, 200, 20, false));
    factory.last->ReplaceSelection("word", true);
    factory.last->SetSelection(0, IPaneControl::kEnd);
    pane.WrapSelection('u');
    EXPECT_EQ(factory.last->Text(), "<-u>word<-/u>");
    std::int32_t s = 0, e = 0;
    factory.last->RecordingPaneControl::GetSelection(s, e);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(e, 13);
}

TEST_F(InputLine, MenuCommandsWrapTheSelection) {
    Type("x");
    control->SetSelection(0, 1);
    EXPECT_TRUE(pane.MenuCommand(CRichPane::kCommandStrikeout));
    EXPECT_EQ(control->Text(), "<-s>x<-/s>");
    control->SetSelection(0, 0);
    EXPECT_TRUE(pane.MenuCommand(CRichPane::kCommandUnderline));
    EXPECT_TRUE(pane.MenuCommand(CRichPane::kCommandItalic));
    EXPECT_TRUE(pane.MenuCommand(CRichPane::kCommandBold));
    EXPECT_EQ(control->Text(), "<-u><-i><-b><-/b><-/i><-/u><-s>x<-/s>");
    EXPECT_FALSE(pane.MenuCommand(40004));
    EXPECT_FALSE(pane.MenuCommand(0));
}

class OutputPaneKeys : public PaneFixture {
  protected:
    void SetUp() override { Make(true); }
};

TEST_F(OutputPaneKeys, KeysGoToTheControlAndFormattingCommandsAreIgnored) {
    pane.Append("text");
    control->SetSelection(0, 4);
    EXPECT_TRUE(pane.OnKeyDown(Key::kReturn, kNone));
    EXPECT_TRUE(pane.OnKeyDown(Key::kUp, kCtrl));
    EXPECT_TRUE(pane.MenuCommand(CRichPane::kCommandBold));
    pane.WrapSelection('B');
    EXPECT_EQ(control->Text(), "text");
    EXPECT_TRUE(window.notes.empty());
    EXPECT_TRUE(pane.History().Empty());
}

TEST_F(OutputPaneKeys, TypedCharactersAreHandedToTheMainWindow) {
    pane.OnChar('k', KeyModifiers{false, true, false});
    pane.OnChar('c', kCtrl);
    ASSERT_EQ(window.notes.size(), 1u);
    EXPECT_EQ(window.notes[0].code, PaneNotifyCode::CharTyped);
    EXPECT_EQ(window.notes[0].characterCode, static_cast<unsigned>('k'));
    EXPECT_TRUE(window.notes[0].shift);
    EXPECT_FALSE(window.notes[0].ctrl);
    EXPECT_EQ(window.notes[0].sender, &pane);
}

TEST_F(InputLine, TypedCharactersAreNotReported) {
    pane.OnChar('k', kNone);
    EXPECT_TRUE(window.notes.empty());
}

}  // namespace
