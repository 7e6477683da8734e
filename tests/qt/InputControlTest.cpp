// The input line's widget: keys through the pane first, line breaks, undo, password masking.
#include <QTextDocument>

#include "QtTestSupport.h"
#include "ui/qt/InputEdit.h"
#include "ui/qt/QtInputControl.h"

namespace {

class InputControlTest : public ::testing::Test {
  protected:
    void SetUp() override { pane = std::make_unique<PaneUnderTest>(false); }

    InputEdit& Edit() {
        return *static_cast<QtInputControl*>(AsQtPaneControl(pane->control.get()))->Edit();
    }
    QString Shown() { return Edit().document()->toPlainText(); }
    void Type(const QString& text) {
        for (const QChar c : text) {
            SendKey(&Edit(), c.isLetter() ? Qt::Key_A + (c.toUpper().unicode() - 'A') : Qt::Key_1,
                    Qt::NoModifier, QString(c));
        }
    }

    std::unique_ptr<PaneUnderTest> pane;
};

TEST_F(InputControlTest, EveryKeyAsksThePaneFirstWithItsVirtualKey) {
    Type("ab");
    SendKey(&Edit(), Qt::Key_Up, Qt::ControlModifier);
    ASSERT_EQ(pane->events.keys.size(), 3u);
    EXPECT_EQ(pane->events.keys[0].key, 'A');
    EXPECT_FALSE(pane->events.keys[0].modifiers.ctrl);
    EXPECT_EQ(pane->events.keys[2].key, Key::kUp);
    EXPECT_TRUE(pane->events.keys[2].modifiers.ctrl);
    EXPECT_EQ((*pane)->GetText(), "ab");
}

TEST_F(InputControlTest, AVetoedKeyNeverReachesTheEdit) {
    Type("ab");
    pane->events.vetoedKeys = {Key::kReturn, 'C'};
    SendKey(&Edit(), Qt::Key_Return, Qt::NoModifier, "\r");
    SendKey(&Edit(), Qt::Key_C, Qt::NoModifier, "c");
    EXPECT_EQ((*pane)->GetText(), "ab");
    EXPECT_EQ(pane->events.keys.back().key, 'C');
}

TEST_F(InputControlTest, ShiftOrCtrlEnterLetThroughInsertAParagraphBreak) {
    Type("ab");
    SendKey(&Edit(), Qt::Key_Return, Qt::ShiftModifier, "\r");
    Type("c");
    SendKey(&Edit(), Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier, "\r");
    Type("d");
    EXPECT_TRUE(pane->events.keys[2].modifiers.shift);
    EXPECT_EQ((*pane)->GetText(), "ab\r\nc\r\nd");
    EXPECT_EQ((*pane)->GetTextLength(), 6);
    EXPECT_EQ((*pane)->GetTextRange(0, IPaneControl::kEnd), "ab\rc\rd");
}

TEST_F(InputControlTest, InsertedLineEndsBecomeOneBreakEach) {
    (*pane)->ReplaceSelection("a\r\nb\nc\rd", true);
    EXPECT_EQ((*pane)->GetTextLength(), 7);
    EXPECT_EQ((*pane)->GetText(), "a\r\nb\r\nc\r\nd");
}

TEST_F(InputControlTest, InsertingWithoutKeepingUndoForgetsEarlierSteps) {
    (*pane)->ReplaceSelection("abc", true);
    EXPECT_TRUE(Edit().document()->isUndoAvailable());
    (*pane)->ReplaceSelection("x", false);
    EXPECT_FALSE(Edit().document()->isUndoAvailable());
    EXPECT_EQ((*pane)->GetText(), "abcx");
    (*pane)->ReplaceSelection("y", true);
    Edit().undo();
    EXPECT_EQ((*pane)->GetText(), "abcx");
}

TEST_F(InputControlTest, PasswordCharMasksTheShownTextButNotTheRealOne) {
    (*pane)->ReplaceSelection("ab", true);
    Type("c");
    (*pane)->SetPasswordChar(0x25CF);
    EXPECT_EQ(Shown(), QString(3, QChar(0x25CF)));
    EXPECT_EQ((*pane)->GetText(), "abc");

    // Typing, inserting and deleting while masked keep the real text in step.
    Type("d");
    (*pane)->ReplaceSelection("ef", true);
    SendKey(&Edit(), Qt::Key_Backspace, Qt::NoModifier, "\b");
    EXPECT_EQ(Shown(), QString(5, QChar(0x25CF)));
    EXPECT_EQ((*pane)->GetText(), "abcde");
    (*pane)->SetSelection(1, 3);
    (*pane)->ReplaceSelection("X", true);
    EXPECT_EQ((*pane)->GetText(), "aXde");
    EXPECT_EQ((*pane)->GetTextRange(1, 2), "X");
    EXPECT_EQ(Shown(), QString(4, QChar(0x25CF)));

    (*pane)->SetPasswordChar(0);
    EXPECT_EQ(Shown(), "aXde");
    EXPECT_EQ((*pane)->GetText(), "aXde");
}

TEST_F(InputControlTest, ClearingAMaskedLineKeepsItMasked) {
    (*pane)->SetPasswordChar(0x25CF);
    (*pane)->ReplaceSelection("secret", true);
    (*pane)->Clear();
    EXPECT_EQ((*pane)->GetText(), "");
    Type("x");
    EXPECT_EQ(Shown(), QString(QChar(0x25CF)));
    EXPECT_EQ((*pane)->GetText(), "x");
}

TEST_F(InputControlTest, FormatsSurviveMasking) {
    CharFormat red = ColourFormat(0x0000FF);
    (*pane)->SetSelectionFormat(red);
    (*pane)->ReplaceSelection("ab", true);
    (*pane)->SetPasswordChar(0x25CF);
    (*pane)->SetPasswordChar(0);
    EXPECT_EQ(DescribeControl(**pane), "[:ff0000]ab");
}

TEST_F(InputControlTest, WindowAcceleratorsAreLeftToTheMainWindow) {
    auto overridden = [&](int key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(QEvent::ShortcutOverride, key, modifiers);
        event.ignore();
        QCoreApplication::sendEvent(&Edit(), &event);
        return event.isAccepted();
    };
    EXPECT_FALSE(overridden(Qt::Key_C, Qt::ControlModifier));
    EXPECT_FALSE(overridden(Qt::Key_V, Qt::ControlModifier));
    // Undo is not a window command: the edit keeps it.
    EXPECT_TRUE(overridden(Qt::Key_Z, Qt::ControlModifier));
}

}  // namespace
