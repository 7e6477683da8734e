#include "ui/qt/OutputView.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <limits>

#include "ui/qt/QtColour.h"
#include "ui/qt/QtKeyMap.h"

namespace {

constexpr int kTabColumns = 8;

bool IsWordCharacter(char16_t character) { return character > 0x20; }

// The keys QWidget::event spends on moving the focus before keyPressEvent sees them.
bool IsFocusKey(const QKeyEvent& event) {
    const bool tab = event.key() == Qt::Key_Tab || event.key() == Qt::Key_Backtab;
    return tab && !(event.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

}  // namespace

OutputView::OutputView(QWidget* parent, IPaneEvents& events)
    : QAbstractScrollArea(parent), m_events(events), m_sizeReporter(events) {
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
    SetPaneFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

void OutputView::TextChanged() {
    const std::int64_t end = m_text.TrimmedCharacters() + m_text.Length();
    m_anchor = std::min(m_anchor, end);
    m_caret = std::min(m_caret, end);
    if (m_text.Length() == 0) {
        m_topLine = 0;
        m_follow = true;
    }
    ScheduleRelayout();
}

void OutputView::ScheduleRelayout() {
    if (m_relayoutPending) return;
    m_relayoutPending = true;
    QMetaObject::invokeMethod(this, &OutputView::Relayout, Qt::QueuedConnection);
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
    for (std::size_t i = 0; i < m_fonts.size(); ++i) {
        QFont variant = font;
        variant.setBold((i & CharFormat::kBold) != 0);
        variant.setItalic((i & CharFormat::kItalic) != 0);
        variant.setUnderline((i & CharFormat::kUnderline) != 0);
        variant.setStrikeOut((i & CharFormat::kStrikeout) != 0);
        m_fonts[i] = variant;
    }
    const QFontMetricsF metrics(m_fonts[0]);
    m_rowHeight = std::max(1, static_cast<int>(std::ceil(metrics.lineSpacing())));
    m_ascent = metrics.ascent();
    for (int c = 0; c < 256; ++c) {
        m_latin1Advance[static_cast<std::size_t>(c)] =
            c < 0x20 ? 0.0 : metrics.horizontalAdvance(QChar(c));
    }
    m_spaceWidth = std::max<qreal>(1.0, m_latin1Advance[' ']);
    m_otherAdvance.clear();
    setFont(font);
    ScheduleRelayout();
}

void OutputView::SetBackColour(Colour colour) {
    m_backColour = colour & 0xFFFFFF;
    viewport()->update();
}

qreal OutputView::WrapWidth() const {
    return static_cast<qreal>(viewport()->width() - kMarginLeft - kMarginRight);
}

qreal OutputView::Advance(char16_t character, qreal x) const {
    if (character < 256) {
        if (character == u'\t') {
            const qreal stop = m_spaceWidth * kTabColumns;
            return (std::floor(x / stop) + 1) * stop - x;
        }
        return m_latin1Advance[character];
    }
    auto it = m_otherAdvance.find(character);
    if (it != m_otherAdvance.end()) return it->second;
    const qreal advance = QFontMetricsF(m_fonts[0]).horizontalAdvance(QChar(character));
    m_otherAdvance.emplace(character, advance);
    return advance;
}

std::int32_t OutputView::PieceCount(std::int32_t line) const {
    const std::int32_t length = m_text.LineTextEnd(line) - m_text.LineStart(line);
    return std::max(1, (length + OutputText::kLinePiece - 1) / OutputText::kLinePiece);
}

const char16_t* OutputView::Chars(std::int32_t start, std::int32_t end) const {
    m_chars.resize(static_cast<std::size_t>(std::max(0, end - start)));
    m_text.CopyUtf16(start, end, m_chars.data());
    return m_chars.data();
}

void OutputView::WrapPiece(std::int32_t line, std::int32_t piece, std::vector<Span>& rows) const {
    rows.clear();
    const std::int32_t lineStart = m_text.LineStart(line);
    const std::int32_t start = lineStart + piece * OutputText::kLinePiece;
    const std::int32_t end = std::min(start + OutputText::kLinePiece, m_text.LineTextEnd(line));
    const char16_t* text = Chars(start, end);
    const qreal limit = WrapWidth();
    // Too narrow to hold a character: leave the line whole rather than a column per character.
    const bool wrap = limit >= m_spaceWidth;
    const std::int32_t n = end - start;
    std::int32_t rowStart = 0;
    std::int32_t lastBreak = -1;
    qreal x = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        const char16_t c = text[i];
        qreal advance = Advance(c, x);
        if (wrap && x + advance > limit && i > rowStart && c != u' ') {
            const std::int32_t cut = lastBreak > rowStart ? lastBreak : i;
            rows.push_back({start + rowStart, start + cut});
            rowStart = cut;
            lastBreak = -1;
            x = 0;
            for (std::int32_t j = cut; j < i; ++j) x += Advance(text[j], x);
            advance = Advance(c, x);
        }
        x += advance;
        if (c == u' ' || c == u'\t') lastBreak = i + 1;
    }
    rows.push_back({start + rowStart, std::max(start, end)});
}

std::vector<OutputView::Row> OutputView::VisibleRows() const {
    std::vector<Row> rows;
    if (m_text.Length() == 0) return rows;
    const int height = viewport()->height();
    const int available = std::max(0, height - kMarginTop - kMarginBottom);
    std::vector<Span> spans;
    if (m_follow) {
        // Lay out from the end backwards until the page is full.
        int used = 0;
        std::int32_t line = m_text.LineCount() - 1;
        bool full = false;
        for (; line >= 0 && !full; --line) {
            for (std::int32_t piece = PieceCount(line) - 1; piece >= 0 && !full; --piece) {
                WrapPiece(line, piece, spans);
                for (auto it = spans.rbegin(); it != spans.rend(); ++it) {
                    rows.push_back({line, it->start, it->end, 0});
                }
                used += m_rowHeight * static_cast<int>(spans.size());
                full = used >= available;
            }
        }
        std::reverse(rows.begin(), rows.end());
        if (line < 0 && used <= available) {
            for (std::size_t i = 0; i < rows.size(); ++i) {
                rows[i].y = kMarginTop + static_cast<int>(i) * m_rowHeight;
            }
        } else {
            const int bottom = kMarginTop + available;
            const auto count = static_cast<int>(rows.size());
            for (int i = 0; i < count; ++i) {
                rows[static_cast<std::size_t>(i)].y = bottom - (count - i) * m_rowHeight;
            }
        }
        return rows;
    }
    int y = kMarginTop;
    for (std::int32_t line = TopLine(); line < m_text.LineCount() && y < height; ++line) {
        const std::int32_t pieces = PieceCount(line);
        for (std::int32_t piece = 0; piece < pieces && y < height; ++piece) {
            WrapPiece(line, piece, spans);
            for (const Span& span : spans) {
                rows.push_back({line, span.start, span.end, y});
                y += m_rowHeight;
            }
        }
    }
    return rows;
}

std::int32_t OutputView::ComputeMaxTopLine() const {
    const std::int32_t lines = m_text.LineCount();
    const int available = std::max(0, viewport()->height() - kMarginTop - kMarginBottom);
    const std::size_t pageRows = static_cast<std::size_t>(std::max(1, available / m_rowHeight));
    std::vector<Span> spans;
    std::size_t used = 0;
    std::int32_t line = lines - 1;
    for (; line >= 0; --line) {
        bool fits = true;
        for (std::int32_t piece = PieceCount(line) - 1; piece >= 0 && fits; --piece) {
            WrapPiece(line, piece, spans);
            fits = used + spans.size() <= pageRows;
            if (fits) used += spans.size();
        }
        if (!fits) break;
    }
    return std::min(line + 1, lines - 1);
}

std::int32_t OutputView::TopLine() const {
    if (m_follow) return m_maxTopLine;
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(m_topLine - m_text.TrimmedLines(), 0, m_text.LineCount() - 1));
}

void OutputView::Relayout() {
    m_relayoutPending = false;
    m_maxTopLine = ComputeMaxTopLine();
    if (!m_follow && TopLine() >= m_maxTopLine) m_follow = true;
    const int available = std::max(0, viewport()->height() - kMarginTop - kMarginBottom);
    QScrollBar* bar = verticalScrollBar();
    m_settingScrollBar = true;
    bar->setRange(0, m_maxTopLine);
    bar->setPageStep(std::max(1, available / m_rowHeight));
    bar->setValue(TopLine());
    m_settingScrollBar = false;
    viewport()->update();
}

void OutputView::OnScrollBarMoved(int value) {
    if (m_settingScrollBar) return;
    if (value >= m_maxTopLine) {
        m_follow = true;
    } else {
        m_follow = false;
        m_topLine = m_text.TrimmedLines() + std::max(0, value);
    }
    viewport()->update();
}

void OutputView::ScrollToLine(std::int32_t line) {
    if (m_relayoutPending) Relayout();
    verticalScrollBar()->setValue(std::clamp(line, 0, m_maxTopLine));
    OnScrollBarMoved(verticalScrollBar()->value());
}

void OutputView::ScrollToEnd() { ScrollToLine(std::numeric_limits<std::int32_t>::max()); }

void OutputView::scrollContentsBy(int, int) { viewport()->update(); }

void OutputView::paintEvent(QPaintEvent*) {
    if (m_relayoutPending) Relayout();
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), ToQColor(m_backColour));
    std::int32_t selStart = 0;
    std::int32_t selEnd = 0;
    GetSelection(selStart, selEnd);
    for (const Row& row : VisibleRows()) {
        if (row.y + m_rowHeight <= 0 || row.y >= viewport()->height()) continue;
        PaintRow(painter, row, selStart, selEnd);
    }
}

void OutputView::PaintRow(QPainter& painter, const Row& row, std::int32_t selStart,
                          std::int32_t selEnd) const {
    if (row.start >= row.end) return;
    // Indexed by text position: only [row.start, row.end) is read.
    const char16_t* rowText = Chars(row.start, row.end);
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
    const qreal baseline = row.y + m_ascent;
    qreal x = 0;
    std::int32_t i = row.start;
    while (i < row.end) {
        while (runEnd <= i) {
            run = m_text.RunAt(++runIndex);
            runEnd = nextRunStart();
        }
        const CharFormat& style = m_text.Style(run.style);
        const bool selected = i >= selStart && i < selEnd;
        if (text(i) < 0x20) {
            // Tabs leave a gap; other control characters take no room.
            const qreal advance = Advance(text(i), x);
            if (advance > 0 && (selected || style.backColour != m_backColour)) {
                painter.fillRect(QRectF(kMarginLeft + x, row.y, advance, m_rowHeight),
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
        while (j < limit && text(j) >= 0x20) {
            width += Advance(text(j), x + width);
            ++j;
        }
        if (selected || style.backColour != m_backColour) {
            painter.fillRect(QRectF(kMarginLeft + x, row.y, width, m_rowHeight),
                             selected ? highlight : ToQColor(style.backColour));
        }
        painter.setFont(m_fonts[style.effects & 0xF]);
        painter.setPen(selected ? highlightText : ToQColor(style.textColour));
        painter.drawText(
            QPointF(kMarginLeft + x, baseline),
            QString::fromRawData(reinterpret_cast<const QChar*>(&rowText[i - row.start]), j - i));
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
            if (point.y() < candidate.y + m_rowHeight) {
                row = &candidate;
                break;
            }
        }
    }
    const qreal target = point.x() - kMarginLeft;
    const char16_t* text = Chars(row->start, row->end);
    qreal x = 0;
    for (std::int32_t i = row->start; i < row->end; ++i) {
        const qreal advance = Advance(text[i - row->start], x);
        if (target < x + (nearest ? advance / 2 : advance)) return i;
        x += advance;
    }
    return row->end;
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
    QScrollBar* bar = verticalScrollBar();
    switch (event->key()) {
        case Qt::Key_PageUp:
            bar->triggerAction(QAbstractSlider::SliderPageStepSub);
            break;
        case Qt::Key_PageDown:
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            break;
        case Qt::Key_Up:
            bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
            break;
        case Qt::Key_Down:
            bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
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
    m_dragging = true;
}

void OutputView::ExtendSelectionTo(QPoint point) {
    if (point.y() < 0) {
        ScrollToLine(TopLine() - 1);
    } else if (point.y() >= viewport()->height()) {
        ScrollToLine(TopLine() + 1);
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
    m_dragging = false;
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
    m_dragging = false;
}

void OutputView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    m_events.OnFocusChanged(true);
}

void OutputView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    m_events.OnFocusChanged(false);
}
