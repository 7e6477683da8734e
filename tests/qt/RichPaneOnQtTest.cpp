// The pane logic driving the real Qt controls: the cases where the two must agree.
#include <QAbstractScrollArea>
#include <QMouseEvent>
#include <QWidget>

#include <algorithm>
#include <string>

#include "QtFixtures.h"
#include "ui/FormatCodes.h"
#include "ui/PaneNotify.h"
#include "ui/RichPane.h"
#include "ui/Window.h"

namespace {

class NotifiedWindow : public CWindow {
  public:
    void OnNotify(const PaneNotify& notify) override { codes.push_back(notify.code); }
    std::vector<PaneNotifyCode> codes;
};

class RichPaneOnQt : public PanesOnQt<NotifiedWindow> {
  protected:
    void SetUp() override {
        PanesOnQt::SetUp();
        if (HasFatalFailure()) return;
        output.SetUrlPrefixes({"http://"});
        ProcessEvents();
    }

    CharFormat FormatAt(CRichPane& pane, std::int32_t position) {
        pane.Control()->SetSelection(position, position + 1);
        return pane.Control()->GetSelectionFormat();
    }
};

TEST_F(RichPaneOnQt, PmlTagSplitAcrossAppendsIsWithheldThenQueued) {
    output.Append("before \x19pml ");
    EXPECT_EQ(output.GetText(), "");
    output.Append("tag\x19\r\nafter\r\n");
    EXPECT_EQ(output.GetText(), "before after\r\n");
    EXPECT_EQ(output.PopPmlTag(), "pml tag");
}

TEST_F(RichPaneOnQt, ColourCodesAndEscapesRenderInTheWidget) {
    output.Append(
        "\xC4"
        "ff00");
    output.Append(
        "00red\xBE plain \x1a"
        "263a\x1a\r\n");
    EXPECT_EQ(output.GetText(), "red plain ?\r\n");
    EXPECT_EQ(FormatAt(output, 0).textColour, 0x0000ffu);
    EXPECT_EQ(FormatAt(output, 4).textColour, output.Style().textColour);
    output.Control()->SetSelection(10, 11);
    const auto smiley = AsQtPaneControl(output.Control())->SelectionFragment();
    ASSERT_EQ(smiley.size(), 1u);
    EXPECT_EQ(smiley[0].character, u'\u263A');
}

TEST_F(RichPaneOnQt, LinksTakeTheUrlFormatAndRestoreTheFormatAfter) {
    output.Append("\xE0see http://example.com/a now\r\n");
    EXPECT_EQ(output.GetText(), "see http://example.com/a now\r\n");
    const CharFormat link = FormatAt(output, 4);
    EXPECT_EQ(link.effects, CharFormat::kUnderline);
    EXPECT_EQ(link.textColour, 0xffffffu);
    const CharFormat after = FormatAt(output, 25);
    EXPECT_EQ(after.effects & CharFormat::kBold, CharFormat::kBold);
    EXPECT_EQ(after.textColour, output.Style().textColour);
}

TEST_F(RichPaneOnQt, ServerTextAfterAClickKeepsTheFormatTheCodesLeft) {
    output.Append(ColourMessage(0x00ff00, "Connected!\r\n"));
    // The click goes where a player's goes: to the scroll area's viewport.
    auto* area = qobject_cast<QAbstractScrollArea*>(AsQtPaneControl(output.Control())->Widget());
    ASSERT_NE(area, nullptr);
    QWidget* view = area->viewport();
    const QPointF point(5, 5);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, point, view->mapToGlobal(point), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(view, &click);
    }
    ProcessEvents();
    output.Append("server line\r\n");
    EXPECT_EQ(FormatAt(output, 0).textColour, 0x00ff00u);
    EXPECT_EQ(FormatAt(output, 12).textColour, output.Style().textColour);
}

TEST_F(RichPaneOnQt, ProvisionalPromptTakenBackLeavesTextAndFormatAsBefore) {
    output.AppendReceived("line\r\n");
    output.ShowProvisional(
        "\xC8\xC4"
        "ff0000HP> ");
    EXPECT_EQ(output.GetText(), "line\r\nHP> ");
    output.TakeBackProvisional();
    EXPECT_EQ(output.GetText(), "line\r\n");
    output.AppendReceived("HP> ok\r\n");
    EXPECT_EQ(output.GetText(), "line\r\nHP> ok\r\n");
    const CharFormat after = FormatAt(output, 6);
    EXPECT_EQ(after.effects & CharFormat::kUnderline, 0u);
    EXPECT_EQ(after.textColour, output.Style().textColour);
}

TEST_F(RichPaneOnQt, HiddenPaneHoldsOutputUntilItHasASizeAgain) {
    host->hide();
    ProcessEvents();
    output.Append("held line\r\n");
    EXPECT_EQ(output.GetText(), "");
    host->show();
    ProcessEvents();
    EXPECT_EQ(output.GetText(), "held line\r\n");
}

TEST_F(RichPaneOnQt, EnterAndHistoryWalkOnTheRealInputLine) {
    input.Control()->ReplaceSelection("north", true);
    EXPECT_FALSE(input.OnKeyDown(Key::kReturn, {}));
    ASSERT_EQ(window.codes.size(), 1u);
    EXPECT_EQ(window.codes[0], PaneNotifyCode::LineEntered);
    input.Control()->Clear();
    input.Control()->ReplaceSelection("so", true);
    EXPECT_FALSE(input.OnKeyDown(Key::kUp, {true, false, false}));
    EXPECT_EQ(input.GetText(), "north");
    EXPECT_FALSE(input.OnKeyDown(Key::kDown, {true, false, false}));
    EXPECT_EQ(input.GetText(), "so");
}

TEST_F(RichPaneOnQt, WrapSelectionAndPasswordModeOnTheRealInputLine) {
    input.WrapSelection('B');
    EXPECT_EQ(input.GetText(), "<-b><-/b>");
    input.Control()->ReplaceSelection("hi", true);
    EXPECT_EQ(input.GetText(), "<-b>hi<-/b>");

    input.Control()->Clear();
    input.SetPasswordMode(true);
    input.Control()->ReplaceSelection("secret", true);
    EXPECT_EQ(input.GetText(), "secret");
    EXPECT_FALSE(input.OnKeyDown(Key::kReturn, {}));
    const auto& entries = input.History().Entries();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "secret"), 0);
}

}  // namespace

TEST_F(RichPaneOnQt, PlayersSelectionSurvivesIncomingTextAndTrimming) {
    for (int i = 0; i < 4; ++i) output.AppendReceived("line " + std::to_string(i) + "\r\n");
    ProcessEvents();
    auto* area = qobject_cast<QAbstractScrollArea*>(AsQtPaneControl(output.Control())->Widget());
    ASSERT_NE(area, nullptr);
    QWidget* view = area->viewport();
    const auto mouse = [&](QEvent::Type type, QPointF point, Qt::MouseButtons held) {
        QMouseEvent event(type, point, view->mapToGlobal(point), Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    };
    const auto selected = [&] {
        std::int32_t start = 0;
        std::int32_t end = 0;
        output.Control()->GetSelection(start, end);
        return output.Control()->GetTextRange(start, end);
    };
    // Text arrives in the middle of a drag: the drag goes on from where it began.
    mouse(QEvent::MouseButtonPress, QPointF(3, 5), Qt::LeftButton);
    mouse(QEvent::MouseMove, QPointF(20, 5), Qt::LeftButton);
    const std::string before = selected();
    ASSERT_FALSE(before.empty());
    output.AppendReceived("more text\r\n");
    EXPECT_EQ(selected(), before);
    mouse(QEvent::MouseMove, QPointF(40, 5), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, QPointF(40, 5), Qt::NoButton);
    const std::string extended = selected();
    EXPECT_GT(extended.size(), before.size());
    EXPECT_EQ(extended.substr(0, before.size()), before);

    // The scrollback takes lines above a selection: it stays on its text.
    const std::string text = output.GetText();
    const auto at = static_cast<std::int32_t>(text.find("line 3"));
    output.Control()->SetSelection(at, at + 6);
    output.OnMouseMove(3, 5);
    output.Control()->SetScrollbackLines(5);
    for (int i = 0; i < 2; ++i) output.AppendReceived("new line\r\n");
    EXPECT_EQ(selected(), "line 3");
    EXPECT_EQ(output.GetText().find("line 0"), std::string::npos);
}
