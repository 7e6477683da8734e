#include "ui/qt/OutputView.h"

#include <QFontDatabase>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

#include "ui/qt/OutputScrollBar.h"
#include "ui/qt/QtColour.h"
#include "ui/qt/QtKeyMap.h"

namespace {

constexpr int kRowsPerWheelNotch = 3;
constexpr int kWheelNotch = 120;
constexpr int kFillBand = 64;

bool IsWordCharacter(char16_t character) { return character > 0x20; }

// The keys QWidget::event spends on moving the focus before keyPressEvent sees them.
bool IsFocusKey(const QKeyEvent& event) {
    const bool tab = event.key() == Qt::Key_Tab || event.key() == Qt::Key_Backtab;
    return tab && !(event.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

}  // namespace

OutputView::OutputView(QWidget* parent, IPaneEvents& events)
    : QAbstractScrollArea(parent), m_events(events), m_sizeReporter(events) {
    setVerticalScrollBar(new OutputScrollBar);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    // The scroll bar is always there (greyed when not needed), so the wrap width stays put.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(1);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &OutputView::OnScrollBarMoved);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &OutputView::OnScrollAction);
    SetPaneFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

void OutputView::TextChanged() {
    const std::int64_t end = m_text.TrimmedCharacters() + m_text.Length();
    m_anchor = std::min(m_anchor, end);
    m_caret = std::min(m_caret, end);
    if (m_text.Length() == 0) {
        m_top = m_text.TrimmedCharacters();
        m_follow = true;
    }
    ScheduleRelayout();
}

void OutputView::ScheduleRelayout() {
    m_lastPage.valid = false;
    if (m_relayoutPending) return;
    m_relayoutPending = true;
    QMetaObject::invokeMethod(this, &OutputView::Relayout, Qt::QueuedConnection);
    // Asked for now, the paint comes in the same event-loop turn as the layout; asked for by
    // the layout, it would wait for the turn after.
    viewport()->update();
}

std::int32_t OutputView::ToPosition(std::int64_t absolute) const {
    // What was trimmed away collapses onto the new start.
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(absolute - m_text.TrimmedCharacters(), 0, m_text.Length()));
}

void OutputView::GetSelection(std::int32_t& start, std::int32_t& end) const {
    start = ToPosition(std::min(m_anchor, m_caret));
    end = ToPosition(std::max(m_anchor, m_caret));
}

void OutputView::SetSelection(std::int32_t anchorPosition, std::int32_t caretPosition) {
    const std::int32_t length = m_text.Length();
    const std::int64_t trimmed = m_text.TrimmedCharacters();
    const std::int64_t anchor = trimmed + std::clamp(anchorPosition, 0, length);
    const std::int64_t caret = trimmed + std::clamp(caretPosition, 0, length);
    if (anchor == m_anchor && caret == m_caret) return;
    const bool visibleChange = m_anchor != m_caret || anchor != caret;
    m_anchor = anchor;
    m_caret = caret;
    ++m_selectionSerial;
    if (visibleChange) viewport()->update();
}

void OutputView::SetPaneFont(const QFont& font) {
    m_layout.SetFont(font);
    m_tiles.Forget();
    setFont(font);
    ScheduleRelayout();
}

void OutputView::SetBackColour(Colour colour) {
    m_backColour = colour & 0xFFFFFF;
    StyleScrollBar();
    viewport()->update();
}

// The bar takes the pane's colours: its groove the back colour, its handle between the two.
void OutputView::StyleScrollBar() {
    const Colour textColour = m_text.DefaultFormat().textColour & 0xFFFFFF;
    if (m_barColours == (static_cast<std::uint64_t>(m_backColour) << 24 | textColour)) return;
    m_barColours = static_cast<std::uint64_t>(m_backColour) << 24 | textColour;
    const QColor back = ToQColor(m_backColour);
    const QColor text = ToQColor(textColour);
    auto mix = [&](qreal share) {
        return QColor::fromRgbF(back.redF() + (text.redF() - back.redF()) * share,
                                back.greenF() + (text.greenF() - back.greenF()) * share,
                                back.blueF() + (text.blueF() - back.blueF()) * share);
    };
    QPalette palette = verticalScrollBar()->palette();
    palette.setColor(QPalette::Window, back);
    palette.setColor(QPalette::Base, back);
    palette.setColor(QPalette::Button, mix(0.35));
    palette.setColor(QPalette::Light, mix(0.5));
    palette.setColor(QPalette::Midlight, mix(0.45));
    palette.setColor(QPalette::Mid, mix(0.25));
    palette.setColor(QPalette::Dark, mix(0.15));
    palette.setColor(QPalette::Shadow, mix(0.1));
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::ButtonText, text);
    verticalScrollBar()->setPalette(palette);
}

qreal OutputView::WrapWidth() const {
    return static_cast<qreal>(viewport()->width() - kMarginLeft - kMarginRight);
}

int OutputView::PageRows() const {
    const int available = std::max(0, viewport()->height() - kMarginTop - kMarginBottom);
    return std::max(1, available / m_layout.RowHeight());
}

std::vector<OutputView::Row> OutputView::VisibleRows() const {
    std::vector<Row> rows;
    if (m_text.Length() == 0) return rows;
    // Whole rows from the top: in follow mode the last row is the lowest that fits whole, and
    // what is left below it is less than a row. A row cut in half at the top would be the one
    // read next; below the last text there is nothing to read.
    const int height = viewport()->height();
    if (m_follow && m_lastPage.valid && m_lastPage.width == WrapWidth() &&
        m_lastPage.height == height) {
        int y = kMarginTop;
        for (const OutputLayout::LineRow& row : m_lastPage.rows) {
            if (y >= height) break;
            rows.push_back({row.line, row.span.start, row.span.end, y});
            y += m_layout.RowHeight();
        }
        return rows;
    }
    OutputLayout::RowCursor cursor = m_layout.Locate(TopPosition(), WrapWidth());
    for (int y = kMarginTop; y < height; y += m_layout.RowHeight()) {
        const OutputLayout::Span& span = cursor.spans[cursor.row];
        rows.push_back({cursor.line, span.start, span.end, y});
        if (!m_layout.StepDown(cursor)) break;
    }
    return rows;
}

std::int32_t OutputView::TopPosition() const {
    if (m_follow) return m_maxTop;
    return ToPosition(m_top);
}

std::int32_t OutputView::TopLine() const { return m_text.LineOf(TopPosition()); }

std::int32_t OutputView::MaxTopLine() const { return m_text.LineOf(m_maxTop); }

// Rows above a position, estimated: a row for each line before it and one for each wrap width
// of characters before it.
int OutputView::BarValue(std::int32_t position) const {
    const qreal width = std::max(WrapWidth(), m_layout.SpaceWidth());
    const qreal wrapped = static_cast<qreal>(position) * m_layout.SpaceWidth() / width;
    const qreal rows = static_cast<qreal>(m_text.LineOf(position)) + std::floor(wrapped);
    return static_cast<int>(std::min<qreal>(rows, std::numeric_limits<int>::max() / 2));
}

std::int32_t OutputView::PositionFromBar(int value) const {
    std::int32_t low = 0;
    std::int32_t high = m_maxTop;
    while (low < high) {
        const std::int32_t middle = low + (high - low) / 2;
        if (BarValue(middle) < value) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return m_layout.Locate(low, WrapWidth()).Start();
}

void OutputView::Relayout() {
    if (!m_relayoutPending) return;
    m_relayoutPending = false;
    m_maxTop = m_layout.LastPageTop(PageRows(), WrapWidth(), &m_lastPage.rows);
    m_lastPage.valid = true;
    m_lastPage.width = WrapWidth();
    m_lastPage.height = viewport()->height();
    StyleScrollBar();
    if (!m_follow && !m_dragging && TopPosition() >= m_maxTop) m_follow = true;
    UpdateScrollBar();
}

void OutputView::UpdateScrollBar() {
    auto* bar = static_cast<OutputScrollBar*>(verticalScrollBar());
    const int maximum = BarValue(m_maxTop);
    int value = maximum;
    // Off the last page the bar never shows the bottom, whatever the estimate says.
    if (!m_follow && TopPosition() < m_maxTop)
        value = std::min(BarValue(TopPosition()), maximum - 1);
    m_settingScrollBar = true;
    bar->Show(maximum, std::max(1, PageRows() - 1), std::max(0, value));
    m_settingScrollBar = false;
}

void OutputView::SetTop(std::int32_t position) {
    if (position >= m_maxTop && !m_dragging) {
        m_follow = true;
    } else {
        m_follow = false;
        m_top = m_text.TrimmedCharacters() + std::min(position, m_maxTop);
    }
    UpdateScrollBar();
    viewport()->update();
}

void OutputView::OnScrollBarMoved(int value) {
    if (m_settingScrollBar) return;
    if (m_relayoutPending) Relayout();
    SetTop(value >= verticalScrollBar()->maximum() ? m_maxTop : PositionFromBar(value));
}

void OutputView::OnScrollAction(int action) {
    int rows = 0;
    switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            rows = 1;
            break;
        case QAbstractSlider::SliderSingleStepSub:
            rows = -1;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            rows = std::max(1, PageRows() - 1);
            break;
        case QAbstractSlider::SliderPageStepSub:
            rows = -std::max(1, PageRows() - 1);
            break;
        default:
            return;
    }
    // Steps go through the layout; the bar then shows where they led.
    ScrollRows(rows);
    QScrollBar* bar = verticalScrollBar();
    m_settingScrollBar = true;
    bar->setSliderPosition(bar->value());
    m_settingScrollBar = false;
}

void OutputView::ScrollRows(int rows) {
    if (m_relayoutPending) Relayout();
    if (rows == 0 || m_text.Length() == 0) return;
    OutputLayout::RowCursor cursor = m_layout.Locate(TopPosition(), WrapWidth());
    for (; rows > 0 && cursor.Start() < m_maxTop && m_layout.StepDown(cursor); --rows) {
    }
    for (; rows < 0 && m_layout.StepUp(cursor); ++rows) {
    }
    SetTop(cursor.Start());
}

void OutputView::ScrollToLine(std::int32_t line) {
    if (m_relayoutPending) Relayout();
    SetTop(m_text.LineStart(std::clamp(line, 0, m_text.LineCount() - 1)));
}

void OutputView::ScrollToEnd() {
    if (m_relayoutPending) Relayout();
    SetTop(m_maxTop);
}

void OutputView::wheelEvent(QWheelEvent* event) {
    m_wheelRemainder += event->angleDelta().y();
    const int notches = m_wheelRemainder / kWheelNotch;
    m_wheelRemainder -= notches * kWheelNotch;
    ScrollRows(-notches * kRowsPerWheelNotch);
    event->accept();
}

void OutputView::scrollContentsBy(int, int) { viewport()->update(); }

void OutputView::paintEvent(QPaintEvent*) {
    if (m_relayoutPending) Relayout();
    QPainter painter(viewport());
    // In bands: the raster engine hands a fill taller than about 96 scan lines to its thread
    // pool, and waking the pool costs more than the fill on a busy machine.
    const QRect area = viewport()->rect();
    const QColor back = ToQColor(m_backColour);
    for (int y = area.top(); y <= area.bottom(); y += kFillBand) {
        painter.fillRect(
            QRect(area.left(), y, area.width(), std::min(kFillBand, area.bottom() + 1 - y)), back);
    }
    std::int32_t selStart = 0;
    std::int32_t selEnd = 0;
    GetSelection(selStart, selEnd);
    m_tiles.Begin(painter, back.rgba());
    for (const Row& row : VisibleRows()) {
        if (row.y + m_layout.RowHeight() <= 0 || row.y >= viewport()->height()) continue;
        PaintRow(painter, row, selStart, selEnd);
    }
}

void OutputView::PaintRow(QPainter& painter, const Row& row, std::int32_t selStart,
                          std::int32_t selEnd) const {
    if (row.start >= row.end) return;
    // Indexed by text position: only [row.start, row.end) is read.
    const char16_t* rowText = m_layout.Chars(row.start, row.end);
    auto text = [&](std::int32_t i) { return rowText[i - row.start]; };
    const std::size_t runCount = m_text.RunCount();
    std::size_t runIndex = m_text.RunIndexAt(row.start);
    OutputText::Run run = m_text.RunAt(runIndex);
    auto nextRunStart = [&] {
        return runIndex + 1 < runCount ? m_text.RunAt(runIndex + 1).start : m_text.Length();
    };
    std::int32_t runEnd = nextRunStart();
    const QColor highlight = palette().color(QPalette::Highlight);
    const QColor highlightText = palette().color(QPalette::HighlightedText);
    const qreal baseline = row.y + m_layout.Ascent();
    qreal x = 0;
    std::int32_t i = row.start;
    while (i < row.end) {
        while (runEnd <= i) {
            run = m_text.RunAt(++runIndex);
            runEnd = nextRunStart();
        }
        const CharFormat& style = m_text.Style(run.style);
        const std::uint8_t variant = OutputLayout::VariantOf(style.effects);
        const bool selected = i >= selStart && i < selEnd;
        if (text(i) < 0x20) {
            // Tabs leave a gap; other control characters take no room.
            const qreal advance = m_layout.Advance(text(i), variant, x);
            if (advance > 0 && (selected || style.backColour != m_backColour)) {
                painter.fillRect(QRectF(kMarginLeft + x, row.y, advance, m_layout.RowHeight()),
                                 selected ? highlight : ToQColor(style.backColour));
            }
            x += advance;
            ++i;
            continue;
        }
        std::int32_t limit = std::min(row.end, runEnd);
        if (i < selStart) {
            limit = std::min(limit, selStart);
        } else if (i < selEnd) {
            limit = std::min(limit, selEnd);
        }
        std::int32_t j = i;
        qreal width = 0;
        // Glyphs placed where the layout measured them, as long as the font has them all.
        bool byGlyph = true;
        // A space draws nothing unless a line runs through it, which spans the run's glyphs.
        const bool skipSpaces =
            (style.effects & (CharFormat::kUnderline | CharFormat::kStrikeout)) == 0;
        m_glyphs.clear();
        m_glyphPositions.clear();
        m_wordStarts.clear();
        bool wordStart = true;
        while (j < limit && text(j) >= 0x20) {
            const quint32 glyph = m_layout.Glyph(text(j), variant);
            byGlyph = byGlyph && glyph != 0;
            if (skipSpaces && text(j) == u' ') {
                wordStart = true;
            } else if (byGlyph) {
                m_glyphs.push_back(glyph);
                m_glyphPositions.emplace_back(width, 0);
                m_wordStarts.push_back(wordStart);
                wordStart = false;
            }
            width += m_layout.Advance(text(j), variant, x + width);
            ++j;
        }
        if (selected || style.backColour != m_backColour) {
            painter.fillRect(QRectF(kMarginLeft + x, row.y, width, m_layout.RowHeight()),
                             selected ? highlight : ToQColor(style.backColour));
        }
        const QColor colour = selected ? highlightText : ToQColor(style.textColour);
        const QPointF origin(kMarginLeft + x, baseline);
        // Words of text with no line through it, on the pane's own background, come from the
        // pictures where they can.
        const bool tiled =
            byGlyph && skipSpaces && !m_glyphs.empty() && !selected &&
            style.backColour == m_backColour &&
            m_tiles.Draw(painter,
                         WordTiles::Run{&m_layout.RawFont(variant), variant, m_glyphs.data(),
                                        m_glyphPositions.data(), m_wordStarts.data(),
                                        static_cast<int>(m_glyphs.size()), origin, width, row.y,
                                        m_layout.RowHeight(), colour.rgba()});
        if (tiled) {
            x += width;
            i = j;
            continue;
        }
        if (!m_glyphs.empty() || !byGlyph) {
            // Text shaped by the painter may reach anywhere into the row below.
            const qreal inkBottom = byGlyph ? baseline + m_layout.InkDescent(variant)
                                            : row.y + 2 * m_layout.RowHeight();
            m_tiles.NoteDrawnByPainter(QRectF(kMarginLeft + x, row.y, width, m_layout.RowHeight()),
                                       inkBottom);
        }
        painter.setPen(colour);
        if (byGlyph && !m_glyphs.empty()) {
            QGlyphRun glyphs;
            glyphs.setRawFont(m_layout.RawFont(variant));
            glyphs.setRawData(m_glyphs.data(), m_glyphPositions.data(),
                              static_cast<int>(m_glyphs.size()));
            glyphs.setUnderline((style.effects & CharFormat::kUnderline) != 0);
            glyphs.setStrikeOut((style.effects & CharFormat::kStrikeout) != 0);
            painter.drawGlyphRun(origin, glyphs);
        } else if (!byGlyph) {
            painter.setFont(m_layout.Font(style.effects));
            painter.drawText(origin,
                             QString::fromRawData(
                                 reinterpret_cast<const QChar*>(&rowText[i - row.start]), j - i));
        }
        x += width;
        i = j;
    }
}

std::int32_t OutputView::BoundaryFromPos(QPoint point, bool nearest) const {
    const std::vector<Row> rows = VisibleRows();
    if (rows.empty()) return 0;
    const Row* row = &rows.back();
    if (point.y() < rows.front().y) {
        row = &rows.front();
    } else {
        for (const Row& candidate : rows) {
            if (point.y() < candidate.y + m_layout.RowHeight()) {
                row = &candidate;
                break;
            }
        }
    }
    return m_layout.BoundaryAt(row->start, row->end, point.x() - kMarginLeft, nearest);
}

std::int32_t OutputView::CharFromPos(QPoint point) const { return BoundaryFromPos(point, false); }

Rect OutputView::FormattingRect() const {
    const QRect area = viewport()->rect();
    return Rect{kMarginLeft, kMarginTop, std::max(kMarginLeft, area.width() - kMarginRight),
                std::max(kMarginTop, area.height() - kMarginBottom)};
}

bool OutputView::event(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress && IsFocusKey(*static_cast<QKeyEvent*>(event))) {
        // Qt would move the focus on Tab; here it is typed like any other character.
        keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
    }
    const bool handled = QAbstractScrollArea::event(event);
    m_sizeReporter.OnEvent(*this, type);
    return handled;
}

void OutputView::resizeEvent(QResizeEvent*) { ScheduleRelayout(); }

void OutputView::keyPressEvent(QKeyEvent* event) {
    const KeyModifiers modifiers = ModifiersFromQt(event->modifiers());
    // The output pane has no key handling of its own beyond scrolling; its answer is not asked.
    m_events.OnKeyDown(VirtualKeyFromEvent(*event), modifiers);
    switch (event->key()) {
        case Qt::Key_PageUp:
            ScrollRows(-std::max(1, PageRows() - 1));
            break;
        case Qt::Key_PageDown:
            ScrollRows(std::max(1, PageRows() - 1));
            break;
        case Qt::Key_Up:
            ScrollRows(-1);
            break;
        case Qt::Key_Down:
            ScrollRows(1);
            break;
        case Qt::Key_Home:
            if (modifiers.ctrl) ScrollToLine(0);
            break;
        case Qt::Key_End:
            if (modifiers.ctrl) ScrollToEnd();
            break;
        default:
            break;
    }
    QString typed = event->text();
    // Shift+Tab types a Tab too, but some platforms give Backtab no text.
    if (event->key() == Qt::Key_Backtab && typed.isEmpty()) typed = QStringLiteral("\t");
    for (const QChar character : typed) m_events.OnChar(character.unicode(), modifiers);
    event->accept();
}

void OutputView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const std::int32_t position = BoundaryFromPos(event->position().toPoint(), true);
    if (event->modifiers() & Qt::ShiftModifier) {
        SetSelection(ToPosition(m_anchor), position);
    } else {
        SetSelection(position, position);
    }
    // Text coming in during the drag must not move what is being selected.
    if (m_relayoutPending) Relayout();
    m_resumeFollow = m_follow;
    if (m_follow) m_top = m_text.TrimmedCharacters() + m_maxTop;
    m_follow = false;
    m_pressTop = m_top;
    m_dragging = true;
}

void OutputView::EndDrag() {
    m_dragging = false;
    if (m_resumeFollow && m_top == m_pressTop) ScrollToEnd();
    m_resumeFollow = false;
}

void OutputView::ExtendSelectionTo(QPoint point) {
    if (point.y() < 0) {
        ScrollRows(-1);
    } else if (point.y() >= viewport()->height()) {
        ScrollRows(1);
    }
    point.setY(std::clamp(point.y(), 0, std::max(0, viewport()->height() - 1)));
    SetSelection(ToPosition(m_anchor), BoundaryFromPos(point, true));
    viewport()->update();
}

void OutputView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    m_events.OnMouseMove(point.x(), point.y());
    if (m_dragging && (event->buttons() & Qt::LeftButton)) ExtendSelectionTo(point);
}

void OutputView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    EndDrag();
    const QPoint point = event->position().toPoint();
    m_events.OnLeftButtonUp(point.x(), point.y());
}

void OutputView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const std::int32_t at = CharFromPos(event->position().toPoint());
    const std::int32_t length = m_text.Length();
    if (at >= length || !IsWordCharacter(m_text.At(at))) return;
    // A word is looked for within a piece each way, so a click costs little in an endless line.
    const std::int32_t first = std::max(0, at - OutputText::kLinePiece);
    const std::int32_t last = std::min(length, at + OutputText::kLinePiece);
    std::int32_t start = at;
    std::int32_t end = at;
    while (start > first && IsWordCharacter(m_text.At(start - 1))) --start;
    while (end < last && IsWordCharacter(m_text.At(end))) ++end;
    SetSelection(start, end);
    EndDrag();
}

void OutputView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    m_events.OnFocusChanged(true);
}

void OutputView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    m_events.OnFocusChanged(false);
}
