#include "ui/qt/OutputLayout.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTabColumns = 8;

}  // namespace

void OutputLayout::SetFont(const QFont& font) {
    for (std::size_t i = 0; i < m_fonts.size(); ++i) {
        QFont variant = font;
        variant.setBold((i & CharFormat::kBold) != 0);
        variant.setItalic((i & CharFormat::kItalic) != 0);
        variant.setUnderline((i & CharFormat::kUnderline) != 0);
        variant.setStrikeOut((i & CharFormat::kStrikeout) != 0);
        m_fonts[i] = variant;
    }
    m_metrics.clear();
    for (std::size_t v = 0; v < m_latin1Advance.size(); ++v) {
        m_metrics.emplace_back(m_fonts[v]);
        for (int c = 0; c < 256; ++c) {
            m_latin1Advance[v][static_cast<std::size_t>(c)] =
                c < 0x20 ? 0.0 : m_metrics[v].horizontalAdvance(QChar(c));
        }
        m_rawFonts[v] = QRawFont::fromFont(m_fonts[v]);
        m_latin1Glyph[v].fill(0);
        m_inkDescent[v] = 0;
        if (!m_rawFonts[v].isValid()) continue;
        QChar characters[256 - 0x20];
        for (int c = 0x20; c < 256; ++c) characters[c - 0x20] = QChar(c);
        int count = 256 - 0x20;
        m_rawFonts[v].glyphIndexesForChars(characters, count, &m_latin1Glyph[v][0x20], &count);
        // A glyph the font draws elsewhere than where the layout measured it cannot be placed
        // by hand; such characters are shaped as text.
        // How far below the baseline these glyphs, or a line under them, may reach.
        qreal descent = m_rawFonts[v].underlinePosition() + m_rawFonts[v].lineThickness();
        for (int c = 0x20; c < 256; ++c) {
            quint32& glyph = m_latin1Glyph[v][static_cast<std::size_t>(c)];
            if (glyph == 0) continue;
            const QList<QPointF> advance = m_rawFonts[v].advancesForGlyphIndexes({glyph});
            if (advance.size() != 1 ||
                std::abs(advance[0].x() - m_latin1Advance[v][static_cast<std::size_t>(c)]) > 0.01) {
                glyph = 0;
                continue;
            }
            descent = std::max(descent, m_rawFonts[v].boundingRect(glyph).bottom());
        }
        m_inkDescent[v] = descent;
    }
    const QFontMetricsF& metrics = m_metrics[0];
    m_rowHeight = std::max(1, static_cast<int>(std::ceil(metrics.lineSpacing())));
    m_ascent = metrics.ascent();
    m_spaceWidth = std::max<qreal>(1.0, m_latin1Advance[0][' ']);
    m_otherAdvance.clear();
}

qreal OutputLayout::Advance(char16_t character, std::uint8_t variant, qreal x) const {
    if (character < 256) {
        if (character == u'\t') {
            const qreal stop = m_spaceWidth * kTabColumns;
            return (std::floor(x / stop) + 1) * stop - x;
        }
        return m_latin1Advance[variant][character];
    }
    const std::uint32_t key = (static_cast<std::uint32_t>(variant) << 16) | character;
    auto it = m_otherAdvance.find(key);
    if (it != m_otherAdvance.end()) return it->second;
    const qreal advance = m_metrics[variant].horizontalAdvance(QChar(character));
    m_otherAdvance.emplace(key, advance);
    return advance;
}

const std::uint8_t* OutputLayout::Variants(std::int32_t start, std::int32_t end) const {
    m_variants.resize(static_cast<std::size_t>(std::max(0, end - start)));
    if (start >= end) return m_variants.data();
    const std::size_t runCount = m_text.RunCount();
    std::size_t k = m_text.RunIndexAt(start);
    for (std::int32_t from = start; from < end; ++k) {
        const OutputText::Run run = m_text.RunAt(k);
        const std::int32_t to =
            std::min(end, k + 1 < runCount ? m_text.RunAt(k + 1).start : m_text.Length());
        const std::uint8_t variant = VariantOf(m_text.Style(run.style).effects);
        std::fill(m_variants.begin() + (from - start), m_variants.begin() + (to - start), variant);
        from = to;
    }
    return m_variants.data();
}

const char16_t* OutputLayout::Chars(std::int32_t start, std::int32_t end) const {
    m_chars.resize(static_cast<std::size_t>(std::max(0, end - start)));
    m_text.CopyUtf16(start, end, m_chars.data());
    return m_chars.data();
}

std::int32_t OutputLayout::PieceCount(std::int32_t line) const {
    const std::int32_t length = m_text.LineTextEnd(line) - m_text.LineStart(line);
    return std::max(1, (length + OutputText::kLinePiece - 1) / OutputText::kLinePiece);
}

void OutputLayout::WrapPiece(std::int32_t line, std::int32_t piece, qreal width,
                             std::vector<Span>& rows) const {
    rows.clear();
    const std::int32_t lineStart = m_text.LineStart(line);
    const std::int32_t start = lineStart + piece * OutputText::kLinePiece;
    const std::int32_t end = std::min(start + OutputText::kLinePiece, m_text.LineTextEnd(line));
    const char16_t* text = Chars(start, end);
    const std::uint8_t* variants = Variants(start, end);
    // Too narrow to hold a character: leave the line whole rather than a column per character.
    const bool wrap = width >= m_spaceWidth;
    const std::int32_t n = end - start;
    std::int32_t rowStart = 0;
    std::int32_t lastBreak = -1;
    qreal x = 0;
    // The common start: Latin-1 characters other than tabs, as long as the first row has room.
    std::int32_t i = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i];
        if (c >= 256 || c == u'\t') break;
        const qreal advance = m_latin1Advance[variants[i]][c];
        if (wrap && x + advance > width && i > 0 && c != u' ') break;
        x += advance;
        if (c == u' ') lastBreak = i + 1;
    }
    for (; i < n; ++i) {
        const char16_t c = text[i];
        qreal advance = Advance(c, variants[i], x);
        if (wrap && x + advance > width && i > rowStart && c != u' ') {
            const std::int32_t cut = lastBreak > rowStart ? lastBreak : i;
            rows.push_back({start + rowStart, start + cut});
            rowStart = cut;
            lastBreak = -1;
            x = 0;
            for (std::int32_t j = cut; j < i; ++j) x += Advance(text[j], variants[j], x);
            advance = Advance(c, variants[i], x);
        }
        x += advance;
        if (c == u' ' || c == u'\t') lastBreak = i + 1;
    }
    rows.push_back({start + rowStart, std::max(start, end)});
}

OutputLayout::RowCursor OutputLayout::Locate(std::int32_t position, qreal width) const {
    RowCursor cursor;
    cursor.width = width;
    position = std::clamp(position, 0, m_text.Length());
    cursor.line = m_text.LineOf(position);
    const std::int32_t offset = position - m_text.LineStart(cursor.line);
    cursor.piece = std::min(offset / OutputText::kLinePiece, PieceCount(cursor.line) - 1);
    WrapPiece(cursor.line, cursor.piece, width, cursor.spans);
    while (cursor.row + 1 < cursor.spans.size() && cursor.spans[cursor.row + 1].start <= position) {
        ++cursor.row;
    }
    return cursor;
}

bool OutputLayout::StepDown(RowCursor& cursor) const {
    if (cursor.row + 1 < cursor.spans.size()) {
        ++cursor.row;
        return true;
    }
    if (cursor.piece + 1 < PieceCount(cursor.line)) {
        ++cursor.piece;
    } else if (cursor.line + 1 < m_text.LineCount()) {
        ++cursor.line;
        cursor.piece = 0;
    } else {
        return false;
    }
    WrapPiece(cursor.line, cursor.piece, cursor.width, cursor.spans);
    cursor.row = 0;
    return true;
}

bool OutputLayout::StepUp(RowCursor& cursor) const {
    if (cursor.row > 0) {
        --cursor.row;
        return true;
    }
    if (cursor.piece > 0) {
        --cursor.piece;
    } else if (cursor.line > 0) {
        --cursor.line;
        cursor.piece = PieceCount(cursor.line) - 1;
    } else {
        return false;
    }
    WrapPiece(cursor.line, cursor.piece, cursor.width, cursor.spans);
    cursor.row = cursor.spans.size() - 1;
    return true;
}

std::int32_t OutputLayout::LastPageTop(int pageRows, qreal width,
                                       std::vector<LineRow>* rows) const {
    RowCursor cursor = Locate(m_text.Length(), width);
    if (rows) rows->clear();
    for (int i = 1;; ++i) {
        if (rows) rows->push_back({cursor.line, cursor.spans[cursor.row]});
        if (i >= pageRows || !StepUp(cursor)) break;
    }
    if (rows) std::reverse(rows->begin(), rows->end());
    return cursor.Start();
}

std::int32_t OutputLayout::BoundaryAt(std::int32_t start, std::int32_t end, qreal target,
                                      bool nearest) const {
    const char16_t* text = Chars(start, end);
    const std::uint8_t* variants = Variants(start, end);
    qreal x = 0;
    for (std::int32_t i = start; i < end; ++i) {
        const qreal advance = Advance(text[i - start], variants[i - start], x);
        if (target < x + (nearest ? advance / 2 : advance)) return i;
        x += advance;
    }
    return end;
}
