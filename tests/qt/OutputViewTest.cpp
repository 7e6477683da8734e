// Reading the output pane: scrolling by screen rows and measuring each style with its font.
#include <QFontMetricsF>
#include <QImage>
#include <QScrollBar>
#include <QWheelEvent>
#include <string>
#include <vector>

#include "QtTestSupport.h"
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

}  // namespace
