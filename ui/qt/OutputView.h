#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QPointF>
#include <cstdint>
#include <vector>

#include "ui/PaneControl.h"
#include "ui/qt/OutputLayout.h"
#include "ui/qt/OutputText.h"
#include "ui/qt/QtSizeReporter.h"
#include "ui/qt/WordTiles.h"

// The output pane's widget: paints an OutputText with word wrap at the widget width, laying out
// only the lines it shows. A line longer than OutputText::kLinePiece is wrapped piece by piece,
// so the work of a paint is bounded however long a line grows. Scrolling moves by screen rows:
// the top is the start of a row, found again by laying out only the piece of the line holding
// it. The scroll bar counts rows by an estimate from lines and characters, while every step of
// the wheel, the keys and the bar's arrows moves through the real layout. Each style is measured
// with its own font. Text added at the end is followed, whole rows from the top of the page,
// unless the user scrolled up or is selecting; changes made during one event-loop turn are laid
// out and painted once. Selection and scroll position are held counting the text trimmed from
// the front, so they stay on their text when the top goes.
class OutputView : public QAbstractScrollArea {
    Q_OBJECT

  public:
    static constexpr int kMarginLeft = 2;
    static constexpr int kMarginTop = 1;
    static constexpr int kMarginRight = 2;
    static constexpr int kMarginBottom = 1;

    OutputView(QWidget* parent, IPaneEvents& events);

    OutputText& Text() { return m_text; }
    const OutputText& Text() const { return m_text; }
    const OutputLayout& Layout() const { return m_layout; }
    // Call after every change of the text or its formats.
    void TextChanged();

    void GetSelection(std::int32_t& start, std::int32_t& end) const;
    void SetSelection(std::int32_t anchor, std::int32_t caret);
    void GetSelectionEnds(std::int32_t& anchor, std::int32_t& caret) const {
        anchor = ToPosition(m_anchor);
        caret = ToPosition(m_caret);
    }
    // Changes whenever the selection moves, by the program or by the mouse.
    std::uint64_t SelectionSerial() const { return m_selectionSerial; }

    void SetPaneFont(const QFont& font);
    void SetBackColour(Colour colour);
    Colour BackColour() const { return m_backColour; }

    // Index of the character under a viewport point (the nearest one when outside the text).
    std::int32_t CharFromPos(QPoint point) const;
    Rect FormattingRect() const;
    bool IsFollowingEnd() const { return m_follow; }
    // First text line shown (maybe from one of its later rows), and that of the last page.
    std::int32_t TopLine() const;
    std::int32_t MaxTopLine() const;
    // Start of the first row shown.
    std::int32_t TopPosition() const;
    // Whole rows of text the viewport shows.
    int PageRows() const;
    void ScrollToLine(std::int32_t line);
    void ScrollToEnd();
    // Moves the top by rows of the layout, down when positive.
    void ScrollRows(int rows);

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    struct Row {
        std::int32_t line;
        std::int32_t start;
        std::int32_t end;
        int y;
    };

    void Relayout();
    void ScheduleRelayout();
    void OnScrollBarMoved(int value);
    void OnScrollAction(int action);
    void UpdateScrollBar();
    void StyleScrollBar();
    // Makes position the top, following the end when it is at or past the last page.
    void SetTop(std::int32_t position);

    qreal WrapWidth() const;
    std::int32_t ToPosition(std::int64_t absolute) const;
    std::vector<Row> VisibleRows() const;
    int BarValue(std::int32_t position) const;
    std::int32_t PositionFromBar(int value) const;
    std::int32_t BoundaryFromPos(QPoint point, bool nearest) const;
    void PaintRow(QPainter& painter, const Row& row, std::int32_t selStart,
                  std::int32_t selEnd) const;
    void ExtendSelectionTo(QPoint point);
    void EndDrag();

    IPaneEvents& m_events;
    OutputText m_text;
    // Reused by every paint.
    mutable std::vector<quint32> m_glyphs;
    mutable std::vector<QPointF> m_glyphPositions;
    mutable std::vector<std::uint8_t> m_wordStarts;
    mutable WordTiles m_tiles;
    // Counting the characters trimmed from the front (see OutputText::TrimmedCharacters).
    std::int64_t m_anchor = 0;
    std::int64_t m_caret = 0;
    std::uint64_t m_selectionSerial = 0;
    bool m_dragging = false;
    // Following was paused for a drag; it resumes unless the drag scrolled.
    bool m_resumeFollow = false;
    std::int64_t m_pressTop = 0;
    int m_wheelRemainder = 0;

    OutputLayout m_layout{m_text};
    Colour m_backColour = 0xFFFFFF;
    std::uint64_t m_barColours = UINT64_MAX;  // back and text colour the bar was styled for

    std::int64_t m_top = 0;  // start of the top row, counting the characters trimmed
    std::int32_t m_maxTop = 0;
    bool m_follow = true;
    bool m_relayoutPending = false;
    // The rows of the last page as the last layout found them, for the width and height it
    // was made for: a pane that follows the end paints them without wrapping them again. Any
    // change that asks for a new layout voids them.
    struct LastPage {
        std::vector<OutputLayout::LineRow> rows;
        bool valid = false;
        qreal width = 0;
        int height = 0;
    };
    LastPage m_lastPage;
    bool m_settingScrollBar = false;
    QtSizeReporter m_sizeReporter;
};
