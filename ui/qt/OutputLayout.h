#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QRawFont>
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "ui/qt/OutputText.h"

// Lays out the output pane's text: measures every character in its style's font (bold and
// italic change the advance, underline and strikeout do not) and wraps a line at a width into
// screen rows. A line is wrapped piece by piece (OutputText::kLinePiece), so stepping from row to
// row lays out only the piece holding the row, however long the line grows.
class OutputLayout {
  public:
    struct Span {
        std::int32_t start;
        std::int32_t end;
    };
    // One row of the layout with the wrapped piece it belongs to.
    struct RowCursor {
        std::int32_t line = 0;
        std::int32_t piece = 0;
        std::size_t row = 0;
        qreal width = 0;  // the wrap width the spans were laid out for
        std::vector<Span> spans;
        std::int32_t Start() const { return spans[row].start; }
    };

    explicit OutputLayout(const OutputText& text) : m_text(text) {}

    void SetFont(const QFont& font);
    // The font for a style's effects, underline and strikeout included.
    const QFont& Font(std::uint32_t effects) const { return m_fonts[effects & 0xF]; }
    int RowHeight() const { return m_rowHeight; }
    qreal Ascent() const { return m_ascent; }
    qreal SpaceWidth() const { return m_spaceWidth; }

    // The font variant of a style: the effects that change the advance.
    static std::uint8_t VariantOf(std::uint32_t effects) {
        return static_cast<std::uint8_t>(effects & (CharFormat::kBold | CharFormat::kItalic));
    }
    // The font of a variant as glyphs, and its glyph for a Latin-1 character (0 where it has
    // none, and for control characters), so that painting need not shape text.
    const QRawFont& RawFont(std::uint8_t variant) const { return m_rawFonts[variant]; }
    quint32 Glyph(char16_t character, std::uint8_t variant) const {
        return character < 256 ? m_latin1Glyph[variant][character] : 0;
    }
    // How far below the baseline the ink of a variant's glyphs (see Glyph), underlined or
    // not, may reach: drawn antialiased, up to a pixel more.
    qreal InkDescent(std::uint8_t variant) const { return m_inkDescent[variant]; }
    // Advance of a character in a font variant, starting at x (tabs reach the next stop).
    qreal Advance(char16_t character, std::uint8_t variant, qreal x) const;
    // The font variant of each character of [start, end); valid until the next call.
    const std::uint8_t* Variants(std::int32_t start, std::int32_t end) const;
    // The characters of [start, end); valid until the next call.
    const char16_t* Chars(std::int32_t start, std::int32_t end) const;

    std::int32_t PieceCount(std::int32_t line) const;
    // Rows of one piece of a line, as positions of the text.
    void WrapPiece(std::int32_t line, std::int32_t piece, qreal width,
                   std::vector<Span>& rows) const;
    // The row holding a position (clamped to the text).
    RowCursor Locate(std::int32_t position, qreal width) const;
    // Move to the next or previous row; false at the end or the start of the text.
    bool StepDown(RowCursor& cursor) const;
    bool StepUp(RowCursor& cursor) const;
    // Start of the top row of a page of pageRows rows ending with the last row; with rows, the
    // page's rows too, from the top, each with its line.
    struct LineRow {
        std::int32_t line;
        Span span;
    };
    std::int32_t LastPageTop(int pageRows, qreal width, std::vector<LineRow>* rows = nullptr) const;
    // The character of the row [start, end) at x from the row's left, or, when nearest, the
    // boundary between characters closest to x.
    std::int32_t BoundaryAt(std::int32_t start, std::int32_t end, qreal x, bool nearest) const;

  private:
    const OutputText& m_text;
    std::array<QFont, 16> m_fonts;
    int m_rowHeight = 1;
    qreal m_ascent = 0;
    qreal m_spaceWidth = 1;
    // By variant.
    std::vector<QFontMetricsF> m_metrics;
    std::array<std::array<qreal, 256>, 4> m_latin1Advance{};
    std::array<QRawFont, 4> m_rawFonts;
    std::array<std::array<quint32, 256>, 4> m_latin1Glyph{};
    std::array<qreal, 4> m_inkDescent{};
    mutable std::unordered_map<std::uint32_t, qreal> m_otherAdvance;
    mutable std::u16string m_chars;
    mutable std::vector<std::uint8_t> m_variants;
};
