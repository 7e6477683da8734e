// Words painted from pictures must look exactly as the painter draws them.
#include <QAbstractScrollArea>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QScreen>
#include <string>
#include <vector>

#include "QtTestSupport.h"
#include "ui/qt/OutputView.h"
#include "ui/qt/QtOutputControl.h"
#include "ui/qt/WordTiles.h"

namespace {

int CountDifferences(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return -1;
    int differences = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) differences += a.pixel(x, y) != b.pixel(x, y);
    }
    return differences;
}

struct Piece {
    const char* text;
    std::uint32_t effects;
    Colour colour;
    Colour back = 0;
};

// The pane as the window system shows it, by default painted often enough for every word to
// have its picture.
QImage Shown(PaneUnderTest& pane, bool tiles, int paints = 3) {
    WordTiles::SetEnabled(tiles);
    ProcessEvents();
    for (int paint = 0; paint < paints; ++paint) {
        static_cast<QAbstractScrollArea*>(pane.Widget())->viewport()->repaint();
    }
    ProcessEvents();
    QImage image = QGuiApplication::primaryScreen()->grabWindow(pane.host->winId()).toImage();
    WordTiles::SetEnabled(true);
    return image;
}

TEST(WordTiles, PanePaintedFromPicturesLooksAsThePainterDrawsIt) {
    const Piece pieces[] = {{"plain words ", 0, 0xC0C0C0},
                            {"bold words ", CharFormat::kBold, 0xFF4040},
                            {"italic fjord ", CharFormat::kItalic, 0x40FF40},
                            {"both ", CharFormat::kBold | CharFormat::kItalic, 0x4080FF},
                            {"glued", 0, 0xC0C0C0},
                            {"Together ", CharFormat::kBold, 0xFFFF00},
                            {"http://example.org/ ", CharFormat::kUnderline, 0xFFFFFF},
                            {"struck ", CharFormat::kStrikeout, 0xFFFF00},
                            {"on blue ", 0, 0xFFFFFF, 0x0000A0},
                            {"w\xe9rd \xc5gypsy", 0, 0xC0C0C0},
                            {"\r\n", 0, 0xC0C0C0}};
    for (const char* family : {"DejaVu Sans Mono", "DejaVu Serif"}) {
        PaneUnderTest pane(true, Rect{7, 5, 330, 160});
        pane->SetFont(family, 11);
        auto& view = *static_cast<QtOutputControl*>(AsQtPaneControl(pane.control.get()))->View();
        view.SetBackColour(0x101010);
        const Colour paneBack = view.BackColour();
        for (int line = 0; line < 14; ++line) {
            for (const Piece& piece : pieces) {
                pane->SetSelection(IPaneControl::kEnd, IPaneControl::kEnd);
                const std::uint32_t mask =
                    CharFormat::kEffects | CharFormat::kColour | CharFormat::kBackColour;
                pane->SetSelectionFormat(CharFormat{mask, piece.effects, piece.colour,
                                                    piece.back ? piece.back : paneBack});
                pane->ReplaceSelection(piece.text, false);
            }
        }
        pane->SetSelection(30, 75);
        const QImage painted = Shown(pane, false);
        ASSERT_FALSE(painted.isNull());
        EXPECT_EQ(CountDifferences(painted, Shown(pane, true)), 0) << family;
        // Scrolled by a row, every word lands on other pixels of the window.
        view.ScrollRows(-1);
        EXPECT_EQ(CountDifferences(Shown(pane, false), Shown(pane, true)), 0) << family;
    }
}

// Words at whole-pixel steps are the same picture wherever they stand. With room for a single
// picture it is dropped while the run uses it, and another word's picture takes its place: no
// word may then be copied from that one.
TEST(WordTiles, PicturesDroppedWhileARunUsesThemAreNotCopiedForOtherWords) {
    const QRawFont font = QRawFont::fromFont(QFont("DejaVu Sans Mono", 12));
    const QList<quint32> glyphs = font.glyphIndexesForString("aabbccdd");
    std::vector<QPointF> positions;
    for (int i = 0; i < glyphs.size(); ++i) positions.emplace_back(20 * i, 0);
    const std::vector<std::uint8_t> wordStarts(glyphs.size(), 1);
    const QRgb back = 0xFF101010;
    const QRgb ink = 0xFFC0C0C0;
    const WordTiles::Run run{&font,
                             0,
                             glyphs.data(),
                             positions.data(),
                             wordStarts.data(),
                             static_cast<int>(glyphs.size()),
                             QPointF(5, 22),
                             160.0,
                             0,
                             30,
                             ink};
    QImage expected(180, 30, QImage::Format_RGB32);
    expected.fill(back);
    {
        QPainter painter(&expected);
        painter.setPen(QColor::fromRgba(ink));
        QGlyphRun all;
        all.setRawFont(font);
        all.setRawData(glyphs.data(), positions.data(), static_cast<int>(glyphs.size()));
        painter.drawGlyphRun(run.origin, all);
    }
    WordTiles::SetMaxTiles(1);
    WordTiles tiles;
    for (int paint = 0; paint < 3; ++paint) {
        QImage image(expected.size(), QImage::Format_RGB32);
        image.fill(back);
        QPainter painter(&image);
        ASSERT_TRUE(tiles.Begin(painter, back));
        ASSERT_TRUE(tiles.Draw(painter, run));
        painter.end();
        EXPECT_EQ(CountDifferences(expected, image), 0) << paint;
    }
    WordTiles::SetMaxTiles(0);
}

}  // namespace
