#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QFontMetricsF>
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "ui/PaneControl.h"
#include "ui/qt/OutputText.h"
#include "ui/qt/QtSizeReporter.h"

// The output pane's widget: paints an OutputText with word wrap at the widget width, laying out
// only the lines it shows. A line longer than OutputText::kLinePiece is wrapped piece by piece,
// so the work of a paint is bounded however long a line grows. The vertical scroll bar counts
// text lines. Text added at the end is followed unless the user scrolled up; changes made during
// one event-loop turn are laid out and painted once. Selection and scroll position are held
// counting the text trimmed from the front, so they stay on their text when the top goes.
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
    // Call after every change of the text or its formats.
    void TextChanged();

    void GetSelection(std::int32_t& start, std::int32_t& end) const;
    void SetSelection(std::int32_t anchor, std::int32_t caret);
    // Changes whenever the selection moves, by the program or by the mouse.
    std::uint64_t SelectionSerial() const { return m_selectionSerial; }

    void SetPaneFont(const QFont& font);
    void SetBackColour(Colour colour);
    Colour BackColour() const { return m_backColour; }

    // Index of the character under a viewport point (the nearest one when outside the text).
    std::int32_t CharFromPos(QPoint point) const;
    Rect FormattingRect() const;
    bool IsFollowingEnd() const { return m_follow; }
    // First text line shown, and how many lines there are above the last page.
    std::int32_t TopLine() const;
    std::int32_t MaxTopLine() const { return m_maxTopLine; }
    void ScrollToLine(std::int32_t line);
    void ScrollToEnd();

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
    void scrollContentsBy(int dx, int dy) override;

  private:
    struct Row {
        std::int32_t line;
        std::int32_t start;
        std::int32_t end;
        int y;
    };
    struct Span {
        std::int32_t start;
        std::int32_t end;
    };

    void Relayout();
    void ScheduleRelayout();
    void OnScrollBarMoved(int value);

    qreal WrapWidth() const;
    qreal Advance(char16_t character, qreal x) const;
    std::int32_t PieceCount(std::int32_t line) const;
    // Rows of one piece of a line, as positions of the text.
    void WrapPiece(std::int32_t line, std::int32_t piece, std::vector<Span>& rows) const;
    // The characters of [start, end) in m_chars.
    const char16_t* Chars(std::int32_t start, std::int32_t end) const;
    std::int32_t ToPosition(std::int64_t absolute) const;
    std::vector<Row> VisibleRows() const;
    // Lines from the end that fit the viewport: the smallest first line of a full last page.
    std::int32_t ComputeMaxTopLine() const;
    std::int32_t BoundaryFromPos(QPoint point, bool nearest) const;
    void PaintRow(QPainter& painter, const Row& row, std::int32_t selStart,
                  std::int32_t selEnd) const;
    void ExtendSelectionTo(QPoint point);

    IPaneEvents& m_events;
    OutputText m_text;
    // Counting the characters trimmed from the front (see OutputText::TrimmedCharacters).
    std::int64_t m_anchor = 0;
    std::int64_t m_caret = 0;
    std::uint64_t m_selectionSerial = 0;
    bool m_dragging = false;

    std::array<QFont, 16> m_fonts;
    int m_rowHeight = 1;
    qreal m_ascent = 0;
    qreal m_spaceWidth = 1;
    std::array<qreal, 256> m_latin1Advance{};
    mutable std::unordered_map<char16_t, qreal> m_otherAdvance;
    mutable std::u16string m_chars;
    Colour m_backColour = 0xFFFFFF;

    std::int64_t m_topLine = 0;  // counting the lines trimmed from the front
    std::int32_t m_maxTopLine = 0;
    bool m_follow = true;
    bool m_relayoutPending = false;
    bool m_settingScrollBar = false;
    QtSizeReporter m_sizeReporter;
};
