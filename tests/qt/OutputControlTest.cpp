// The output pane's own widget: layout, scrolling, mouse and keys.
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <string>

#include "QtTestSupport.h"
#include "ui/qt/OutputView.h"
#include "ui/qt/QtOutputControl.h"

namespace {

class OutputControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        pane = std::make_unique<PaneUnderTest>(true);
        (*pane)->SetFont("Monospace", 10);
        ProcessEvents();
    }

    OutputView& View() {
        return *static_cast<QtOutputControl*>(AsQtPaneControl(pane->control.get()))->View();
    }

    void AppendLines(int count, const std::string& prefix = "line ") {
        for (int i = 0; i < count; ++i) {
            (*pane)->SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
            (*pane)->ReplaceSelection(prefix + std::to_string(i) + "\r\n", false);
        }
    }

    int RowHeight() { return View().fontMetrics().lineSpacing(); }
    int CharWidth() { return View().fontMetrics().horizontalAdvance('x'); }

    void Mouse(QEvent::Type type, QPoint point, Qt::MouseButtons buttons) {
        QMouseEvent event(type, point, View().viewport()->mapToGlobal(point), Qt::LeftButton,
                          buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(View().viewport(), &event);
    }

    std::unique_ptr<PaneUnderTest> pane;
};

TEST_F(OutputControlTest, FollowsTheEndUnlessTheUserScrolledUp) {
    AppendLines(200);
    ProcessEvents();
    EXPECT_TRUE(View().IsFollowingEnd());
    EXPECT_GT(View().MaxTopLine(), 150);
    EXPECT_EQ(View().verticalScrollBar()->value(), View().verticalScrollBar()->maximum());

    View().ScrollToLine(10);
    const int value = View().verticalScrollBar()->value();
    EXPECT_GE(value, 10);
    AppendLines(50);
    ProcessEvents();
    EXPECT_FALSE(View().IsFollowingEnd());
    EXPECT_EQ(View().TopLine(), 10);
    EXPECT_EQ(View().verticalScrollBar()->value(), value);

    // Back at the bottom it follows again.
    View().verticalScrollBar()->setValue(View().verticalScrollBar()->maximum());
    AppendLines(5);
    ProcessEvents();
    EXPECT_TRUE(View().IsFollowingEnd());
    EXPECT_EQ(View().verticalScrollBar()->value(), View().verticalScrollBar()->maximum());
}

TEST_F(OutputControlTest, WheelScrollsUpFromTheEnd) {
    AppendLines(100);
    ProcessEvents();
    const int bottom = View().verticalScrollBar()->value();
    QWheelEvent wheel(QPointF(50, 50), View().viewport()->mapToGlobal(QPointF(50, 50)), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(View().viewport(), &wheel);
    EXPECT_LT(View().verticalScrollBar()->value(), bottom);
    EXPECT_FALSE(View().IsFollowingEnd());
}

TEST_F(OutputControlTest, CharFromPosFindsTheCharacterUnderAPoint) {
    (*pane)->ReplaceSelection("abc\r\ndefgh\r\n", false);
    ProcessEvents();
    const Rect text = (*pane)->GetFormattingRect();
    const int row = RowHeight();
    const int column = CharWidth();
    EXPECT_EQ((*pane)->CharFromPos(text.left + 1, text.top + row / 2), 0);
    EXPECT_EQ((*pane)->CharFromPos(text.left + 2 * column + 1, text.top + row / 2), 2);
    // Second line: "defgh" starts at 5.
    EXPECT_EQ((*pane)->CharFromPos(text.left + 1 * column + 1, text.top + row + row / 2), 6);
    // Past the end of a line: the line end.
    EXPECT_EQ((*pane)->CharFromPos(text.left + 50 * column, text.top + row / 2), 3);
    // Below all text: the last line, which is empty and starts at the end.
    EXPECT_EQ((*pane)->CharFromPos(text.left + 1, text.bottom - 1), 12);
}

TEST_F(OutputControlTest, LongLinesWrapAtWordsWithinTheWidth) {
    const Rect text = (*pane)->GetFormattingRect();
    const int columns =
        static_cast<int>(text.Width() / QFontMetricsF(View().font()).horizontalAdvance('x'));
    ASSERT_GT(columns, 10);
    // Words of 9 letters and a space: the second row starts at a word.
    std::string line;
    while (static_cast<int>(line.size()) < columns * 2) line += "abcdefghi ";
    (*pane)->ReplaceSelection(line, false);
    ProcessEvents();
    const std::int32_t secondRow =
        (*pane)->CharFromPos(text.left + 1, text.top + RowHeight() + RowHeight() / 2);
    EXPECT_GT(secondRow, 0);
    EXPECT_LE(secondRow, columns);
    EXPECT_EQ(secondRow % 10, 0);

    // A word longer than the row is cut at the width.
    (*pane)->Clear();
    (*pane)->ReplaceSelection(std::string(static_cast<std::size_t>(columns) + 5, 'x'), false);
    ProcessEvents();
    EXPECT_EQ((*pane)->CharFromPos(text.left + 1, text.top + RowHeight() + RowHeight() / 2),
              columns);
}

TEST_F(OutputControlTest, TrimmingTheTopKeepsScrollAndSelectionOnTheirText) {
    (*pane)->SetScrollbackLines(100);
    AppendLines(100);
    ProcessEvents();
    View().ScrollToLine(40);
    AppendLines(30, "more ");  // lines 0-29 go
    ProcessEvents();
    EXPECT_FALSE(View().IsFollowingEnd());
    EXPECT_EQ(View().TopLine(), 10);
    EXPECT_LT(View().verticalScrollBar()->value(), View().verticalScrollBar()->maximum());
    OutputText& text = View().Text();
    EXPECT_EQ((*pane)->GetTextRange(text.LineStart(10), text.LineStart(10) + 7), "line 40");

    // Rendering moves the selection to the end, so a selection meets trimming when text goes
    // in below it without moving it, or when the limit shrinks.
    const std::int32_t at = text.LineStart(50);
    (*pane)->SetSelection(at, at + 7);
    const std::string more = "tail\r\ntail\r\n";
    text.Insert(text.Length(), more.data(), more.size(), text.DefaultFormat());
    View().TextChanged();
    std::int32_t start = 0;
    std::int32_t end = 0;
    (*pane)->GetSelection(start, end);
    EXPECT_EQ((*pane)->GetTextRange(start, end), "line 80");
    // Partly trimmed, it keeps what is left; wholly trimmed, it is empty at the new start.
    (*pane)->SetSelection(text.LineStart(1) + 2, text.LineStart(4));
    (*pane)->SetScrollbackLines(98);
    (*pane)->GetSelection(start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ((*pane)->GetTextRange(start, end), "line 34\r\nline 35\r\n");
    (*pane)->SetScrollbackLines(50);
    (*pane)->GetSelection(start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 0);
    ProcessEvents();
    EXPECT_EQ(View().TopLine(), 0);
}

TEST_F(OutputControlTest, AnEndlessLineIsShownByItsNewestPieces) {
    std::string piece(1000, 'x');
    for (int i = 0; i < 2000; ++i) {
        piece[0] = static_cast<char>('a' + i % 26);
        (*pane)->SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
        (*pane)->ReplaceSelection(piece, false);
    }
    ProcessEvents();
    View().repaint();
    // The last rows shown are the end of the line; the point below the text finds its end.
    const QPoint below(5, View().viewport()->height() - 2);
    EXPECT_EQ((*pane)->CharFromPos(below.x(), below.y()) / 1000, 1999);
    EXPECT_EQ(View().MaxTopLine(), 0);
}

TEST_F(OutputControlTest, TypingGoesToTheEventsAsKeysAndCharacters) {
    SendKey(pane->Widget(), Qt::Key_A, Qt::NoModifier, "a");
    SendKey(pane->Widget(), Qt::Key_Return, Qt::NoModifier, "\r");
    ASSERT_EQ(pane->events.keys.size(), 2u);
    EXPECT_EQ(pane->events.keys[0].key, 'A');
    EXPECT_EQ(pane->events.keys[1].key, Key::kReturn);
    EXPECT_EQ(pane->events.chars, (std::vector<unsigned>{'a', '\r'}));
    // Read-only: nothing was inserted.
    EXPECT_EQ((*pane)->GetTextLength(), 0);
}

TEST_F(OutputControlTest, TabIsTypedIntoThePaneInsteadOfMovingTheFocus) {
    // With a second focusable widget in the window Qt would move the focus on Tab.
    auto* other = new QLineEdit(pane->host.get());
    other->show();
    pane->Widget()->setFocus();
    ProcessEvents();
    ASSERT_TRUE(pane->Widget()->hasFocus());
    SendKey(pane->Widget(), Qt::Key_Tab, Qt::NoModifier, "\t");
    // Shift+Tab arrives as Backtab, on some platforms without text.
    SendKey(pane->Widget(), Qt::Key_Backtab, Qt::ShiftModifier);
    ProcessEvents();
    EXPECT_TRUE(pane->Widget()->hasFocus());
    EXPECT_FALSE(other->hasFocus());
    ASSERT_EQ(pane->events.keys.size(), 2u);
    EXPECT_EQ(pane->events.keys[0].key, 0x09);
    EXPECT_EQ(pane->events.keys[1].key, 0x09);
    EXPECT_EQ(pane->events.chars, (std::vector<unsigned>{'\t', '\t'}));
}

TEST_F(OutputControlTest, DraggingSelectsAndTheMouseIsReported) {
    (*pane)->ReplaceSelection("hello world\r\n", false);
    ProcessEvents();
    const Rect text = (*pane)->GetFormattingRect();
    const int y = text.top + RowHeight() / 2;
    const QPoint from(text.left + 1, y);
    const QPoint to(text.left + 5 * CharWidth() + 1, y);
    Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
    Mouse(QEvent::MouseMove, to, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);

    std::int32_t start = -1;
    std::int32_t end = -1;
    (*pane)->GetSelection(start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 5);
    EXPECT_EQ((*pane)->GetTextRange(start, end), "hello");
    ASSERT_FALSE(pane->events.moves.empty());
    EXPECT_EQ(pane->events.moves.back(), (Size{to.x(), to.y()}));
    ASSERT_EQ(pane->events.clicks.size(), 1u);
    EXPECT_EQ(pane->events.clicks[0], (Size{to.x(), to.y()}));
}

TEST_F(OutputControlTest, InsertingInTheMiddleKeepsLinesAndFormatsInPlace) {
    (*pane)->ReplaceSelection("one\r\nthree\r\n", false);
    (*pane)->SetSelection(5, 5);
    CharFormat red = ColourFormat(0x0000FF);
    (*pane)->SetSelectionFormat(red);
    (*pane)->ReplaceSelection("two\r\n", false);
    ProcessEvents();
    EXPECT_EQ((*pane)->GetText(), "one\r\ntwo\r\nthree\r\n");
    const Rect text = (*pane)->GetFormattingRect();
    // Line 3 ("three") now starts at 10.
    EXPECT_EQ((*pane)->CharFromPos(text.left + 1, text.top + 2 * RowHeight() + RowHeight() / 2),
              10);
    (*pane)->SetSelection(5, 10);
    EXPECT_EQ((*pane)->GetSelectionFormat().textColour, 0x0000FFu);
    (*pane)->SetSelection(10, 11);
    EXPECT_NE((*pane)->GetSelectionFormat().textColour, 0x0000FFu);
}

TEST_F(OutputControlTest, SelectionFragmentCarriesEveryCharactersFormat) {
    (*pane)->ReplaceSelection("ab", false);
    (*pane)->SetSelectionFormat(ColourFormat(0x0000FF));
    (*pane)->ReplaceSelectionUtf16(u'\u263A', false);
    (*pane)->SetSelection(1, 3);
    const auto fragment = AsQtPaneControl(pane->control.get())->SelectionFragment();
    ASSERT_EQ(fragment.size(), 2u);
    EXPECT_EQ(fragment[0].character, u'b');
    EXPECT_EQ(fragment[1].character, u'\u263A');
    EXPECT_EQ(fragment[1].format.textColour, 0x0000FFu);
    EXPECT_EQ(fragment[1].format.mask,
              CharFormat::kEffects | CharFormat::kColour | CharFormat::kBackColour);
}

TEST_F(OutputControlTest, PaintingAManyLinePaneDrawsTheLastLines) {
    (*pane)->SetBackColour(0x000000);
    CharFormat white = ColourFormat(0xFFFFFF);
    (*pane)->SetAllFormat(white);
    AppendLines(500, "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx ");
    ProcessEvents();
    const QImage image = View().viewport()->grab().toImage();
    // Some white text near the bottom, black background at the top-left corner.
    bool textNearBottom = false;
    for (int y = image.height() - 3 * RowHeight(); y < image.height(); ++y) {
        for (int x = 0; x < image.width() && !textNearBottom; ++x) {
            textNearBottom = image.pixelColor(x, y).lightness() > 128;
        }
    }
    EXPECT_TRUE(textNearBottom);
    EXPECT_EQ(image.pixelColor(0, 0), QColor(0, 0, 0));
}

}  // namespace

namespace {

class PaintCounter : public QObject {
  public:
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST_F(OutputControlTest, TextAppendedInOneTurnIsPaintedOnce) {
    ProcessEvents();
    PaintCounter counter;
    View().viewport()->installEventFilter(&counter);
    AppendLines(1000);
    EXPECT_EQ(counter.paints, 0);
    ProcessEvents();
    EXPECT_EQ(counter.paints, 1);
    View().viewport()->removeEventFilter(&counter);
}

}  // namespace
