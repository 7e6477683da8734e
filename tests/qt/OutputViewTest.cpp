// Reading the output pane: scrolling by screen rows and measuring each style with its font.
#include <QFontMetricsF>
#include <QImage>
#include <QScrollBar>
#include <QWheelEvent>
#include <string>
#include <vector>

#include "QtTestSupport.h"
#include "ui/qt/OutputLayout.h"
#include "ui/qt/OutputView.h"
#include "ui/qt/QtOutputControl.h"

namespace {

class OutputViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        pane = std::make_unique<PaneUnderTest>(true);
        (*pane)->SetFont("DejaVu Sans Mono", 10);
        ProcessEvents();
    }

    OutputView& View() {
        return *static_cast<QtOutputControl*>(AsQtPaneControl(pane->control.get()))->View();
    }

    void Append(const std::string& text) {
        (*pane)->SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
        (*pane)->ReplaceSelection(text, false);
    }

    // Numbered words, so that every row starts with text of its own.
    static std::string Words(int first, int count) {
        std::string text;
        for (int i = first; i < first + count; ++i) text += "w" + std::to_string(10000 + i) + " ";
        return text;
    }

    // Start of each whole row shown, found by pointing at it as a player would.
    std::vector<std::int32_t> ShownRows() {
        const Rect text = (*pane)->GetFormattingRect();
        const int height = QFontMetricsF(View().font()).lineSpacing() + 0.999;
        std::vector<std::int32_t> rows;
        for (int k = 0; k < View().PageRows(); ++k) {
            rows.push_back((*pane)->CharFromPos(text.left + 1, text.top + k * height + height / 2));
        }
        return rows;
    }

    void Wheel(int notches) {
        const QPointF at(50, 50);
        QWheelEvent wheel(at, View().viewport()->mapToGlobal(at), QPoint(),
                          QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QCoreApplication::sendEvent(View().viewport(), &wheel);
    }

    // Steps up from the end to the top; each step must move by exactly `rows` rows of what was
    // shown, so no row is skipped. Returns the steps taken.
    template <typename Step>
    int ReadUpwards(int rows, Step step) {
        View().ScrollToEnd();
        std::vector<std::int32_t> before = ShownRows();
        int steps = 0;
        while (View().TopPosition() > 0 && steps < 10000) {
            step();
            ++steps;
            const std::vector<std::int32_t> after = ShownRows();
            const bool atTop = View().TopPosition() == 0;
            if (!atTop || after[static_cast<std::size_t>(rows)] == before[0]) {
                EXPECT_EQ(after[static_cast<std::size_t>(rows)], before[0]) << "step " << steps;
            } else {
                // The last step stops at the first row, moving less.
                EXPECT_NE(std::find(after.begin(), after.end(), before[0]), after.end());
            }
            if (::testing::Test::HasFailure()) break;
            before = after;
        }
        EXPECT_EQ(before.front(), 0);
        return steps;
    }

    std::unique_ptr<PaneUnderTest> pane;
};

TEST_F(OutputViewTest, ALineTallerThanThePaneIsReadInFullByWheelAndByPage) {
    // Longer than a layout piece, and many pages tall.
    const std::string line = Words(0, 1500);
    ASSERT_GT(static_cast<std::int32_t>(line.size()), OutputText::kLinePiece);
    Append("before\r\n" + line + "\r\nafter");
    ProcessEvents();
    const int page = View().PageRows();
    ASSERT_GE(page, 5);
    EXPECT_TRUE(View().IsFollowingEnd());

    // Three rows a notch, then a page less one row.
    const int notches = ReadUpwards(3, [&] { Wheel(1); });
    EXPECT_GT(notches, 3 * 20);
    EXPECT_FALSE(View().IsFollowingEnd());
    const int pages = ReadUpwards(page - 1, [&] { SendKey(pane->Widget(), Qt::Key_PageUp); });
    EXPECT_GT(pages, 10);
    EXPECT_NEAR(pages, notches * 3 / (page - 1), 2);

    // Down again by pages: the old bottom row becomes the top, up to the end, which is followed.
    for (int i = 0; i < 2 * pages && !View().IsFollowingEnd(); ++i) {
        const std::vector<std::int32_t> before = ShownRows();
        SendKey(pane->Widget(), Qt::Key_PageDown);
        if (!View().IsFollowingEnd()) {
            ASSERT_EQ(ShownRows().front(), before.back());
        }
    }
    EXPECT_TRUE(View().IsFollowingEnd());
    EXPECT_EQ(View().verticalScrollBar()->value(), View().verticalScrollBar()->maximum());
}

TEST_F(OutputViewTest, PageUpOverWrappedLinesSkipsNoRow) {
    // Lines of two or three rows each.
    for (int i = 0; i < 60; ++i) Append(Words(i * 100, 10 + i % 7) + "\r\n");
    ProcessEvents();
    const int page = View().PageRows();
    ASSERT_GE(page, 5);
    ReadUpwards(page - 1, [&] { SendKey(pane->Widget(), Qt::Key_PageUp); });
    // The bar counts rows: more than the lines.
    EXPECT_GT(View().verticalScrollBar()->maximum() + page, 60);
}

TEST_F(OutputViewTest, FollowModeShowsWholeRowsFromTheTop) {
    for (int i = 0; i < 100; ++i) Append("line " + std::to_string(i) + "\r\n");
    ProcessEvents();
    // The top row is whole: pointing at its middle finds the start of a line.
    const std::vector<std::int32_t> rows = ShownRows();
    OutputText& text = View().Text();
    EXPECT_EQ(rows.front(), text.LineStart(text.LineOf(rows.front())));
    // The last whole row is the empty line after the last line end.
    EXPECT_EQ(rows.back(), text.Length());
}

TEST_F(OutputViewTest, BoldTextWithAProportionalFaceDoesNotOverlapWhatFollows) {
    (*pane)->SetFont("DejaVu Sans", 12);
    (*pane)->SetBackColour(0xFFFFFF);
    (*pane)->SetSelectionFormat(EffectsFormat(CharFormat::kBold, CharFormat::kBold));
    (*pane)->ReplaceSelection("WWWWWWWWWW", false);
    CharFormat after = EffectsFormat(0, CharFormat::kBold);
    after.mask |= CharFormat::kBackColour;
    after.backColour = 0xFF0000;  // blue, as BGR
    (*pane)->SetSelectionFormat(after);
    (*pane)->ReplaceSelection("next", false);
    ProcessEvents();

    QFont bold = View().font();
    bold.setBold(true);
    const qreal boldWidth = QFontMetricsF(bold).horizontalAdvance(QString(10, QChar('W')));
    const qreal plainWidth =
        QFontMetricsF(View().font()).horizontalAdvance(QString(10, QChar('W')));
    ASSERT_GT(boldWidth, plainWidth + 3) << "the face has no wider bold";

    // The text after the bold run starts where the bold run ends, for the eye and the mouse.
    const QImage image = View().viewport()->grab().toImage();
    const int y = OutputView::kMarginTop + QFontMetricsF(View().font()).lineSpacing() / 2;
    int blue = -1;
    for (int x = 0; x < image.width() && blue < 0; ++x) {
        if (image.pixelColor(x, y) == QColor(0, 0, 255)) blue = x;
    }
    EXPECT_NEAR(blue, OutputView::kMarginLeft + boldWidth, 1.5);
    const Rect text = (*pane)->GetFormattingRect();
    EXPECT_EQ((*pane)->CharFromPos(text.left + static_cast<int>(boldWidth) + 2, y), 10);
}

// Counts the paints a widget gets.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
    int paints = 0;
};

TEST_F(OutputViewTest, TextIsPaintedInTheTurnItArrivesAndTheBarOnlyWhenItLooksDifferent) {
    PaintCounter view(View().viewport());
    PaintCounter bar(View().verticalScrollBar());
    Append("first\r\n");
    // One pass of the event loop lays the text out and paints it.
    QCoreApplication::processEvents();
    EXPECT_EQ(view.paints, 1);

    for (int i = 0; i < 2000; ++i) Append("line " + std::to_string(i) + "\r\n");
    ProcessEvents();
    const int barPaints = bar.paints;
    const int viewPaints = view.paints;
    const int maximum = View().verticalScrollBar()->maximum();
    // Lines that move the handle by less than a pixel change the bar's range, not its looks.
    for (int i = 0; i < 5; ++i) {
        Append("more\r\n");
        ProcessEvents();
    }
    EXPECT_GE(View().verticalScrollBar()->maximum(), maximum + 5);
    EXPECT_EQ(view.paints - viewPaints, 5);
    EXPECT_EQ(bar.paints, barPaints);
    // Scrolling to the top moves the handle, which is painted there.
    View().ScrollToLine(0);
    ProcessEvents();
    EXPECT_GT(bar.paints, barPaints);
    EXPECT_EQ(View().verticalScrollBar()->value(), 0);
}

TEST_F(OutputViewTest, GlyphsAreDrawnWithTheirEffectsAndCharactersBeyondLatin1AsText) {
    (*pane)->SetBackColour(0x000000);
    (*pane)->SetSelectionFormat(ColourFormat(0xFFFFFF));
    CharFormat underline = EffectsFormat(CharFormat::kUnderline, CharFormat::kUnderline);
    (*pane)->SetSelectionFormat(underline);
    (*pane)->ReplaceSelection("____ ____", false);
    (*pane)->SetSelectionFormat(EffectsFormat(0, CharFormat::kUnderline));
    (*pane)->ReplaceSelection("MM", false);
    (*pane)->ReplaceSelectionUtf16(u'\u0416', false);
    ProcessEvents();
    ASSERT_NE(View().Layout().Glyph(u'M', 0), 0u) << "the face draws no M";

    const QImage image = View().viewport()->grab().toImage();
    const qreal advance = QFontMetricsF(View().font()).horizontalAdvance(QChar('M'));
    const int top = OutputView::kMarginTop;
    const int rowHeight = View().Layout().RowHeight();
    auto inkIn = [&](qreal from, qreal to) {
        int ink = 0;
        for (int x = OutputView::kMarginLeft + static_cast<int>(from);
             x < OutputView::kMarginLeft + static_cast<int>(to); ++x) {
            for (int y = top; y < top + rowHeight; ++y)
                ink += image.pixelColor(x, y).lightness() > 100;
        }
        return ink;
    };
    // The underline runs under the space between the words as well.
    EXPECT_GT(inkIn(4 * advance + 1, 5 * advance - 1), 0);
    // Each of the two M and the character from beyond Latin-1 leaves ink in its own cell.
    EXPECT_GT(inkIn(9 * advance + 1, 10 * advance - 1), 0);
    EXPECT_GT(inkIn(10 * advance + 1, 11 * advance - 1), 0);
    EXPECT_GT(inkIn(11 * advance + 1, 12 * advance - 1), 0);
    // And nothing after the text.
    EXPECT_EQ(inkIn(12 * advance + 1, 14 * advance), 0);
}

}  // namespace
