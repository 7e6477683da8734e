#pragma once

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QRawFont>
#include <QRect>
#include <QRgb>
#include <cstdint>
#include <memory>
#include <vector>

class QPainter;

// Paints the words of the output pane from pictures of them it keeps. Game text says the same
// words again and again; a word met a second time in the same style, at the same fraction of a
// pixel, is drawn once by QPainter onto the pane's background and from then on copied into the
// window's image row by row, which costs a fraction of drawing its glyphs. What reaches the
// screen is what QPainter would draw: a picture is copied only where the background under it
// is the pane's own and no ink of a neighbour lies there, and every other word is drawn by
// QPainter at the very positions it would have had in its run.
class WordTiles {
  public:
    // One run of glyphs in one style, laid out from origin (the baseline start, logical
    // coordinates); wordStarts[i] says glyph i begins a word.
    struct Run {
        const QRawFont* font;
        std::uint8_t variant;
        const quint32* glyphs;
        const QPointF* positions;
        const std::uint8_t* wordStarts;
        int count;
        QPointF origin;
        qreal width;  // of the run's cells
        int rowTop;
        int rowHeight;
        QRgb colour;
    };

    WordTiles();
    ~WordTiles();
    WordTiles(const WordTiles&) = delete;
    WordTiles& operator=(const WordTiles&) = delete;

    // Looks at the painter once per paint (background: the pane's, under every run that
    // comes); false when every run must go through QPainter.
    bool Begin(const QPainter& painter, QRgb background);
    // Draws the run, by pictures where it can and through painter elsewhere; false, with
    // nothing drawn, when the caller must draw it all.
    bool Draw(QPainter& painter, const Run& run);
    // Tells of a run the painter drew itself (selected, with a line through it, or in glyphs
    // the font lacks) over cells of a row: its ink may reach a little right of them and down to
    // inkBottom, where no picture may then be copied.
    void NoteDrawnByPainter(QRectF cells, qreal inkBottom);
    // Forgets every picture: call when the fonts change.
    void Forget();

    // For tests and benchmarks: false sends every run through QPainter.
    static void SetEnabled(bool enabled);
    // For tests: at most this many pictures (0: the normal bound), so that they are dropped
    // while a paint uses them.
    static void SetMaxTiles(std::size_t count);

  private:
    // A picture: the ink's box, on the background, kept in a block of pixels row after row.
    struct Tile {
        std::uint32_t block = 0;
        std::uint32_t first = 0;  // its top left pixel in the block
        std::uint16_t width = 0;
        std::uint16_t height = 0;
        // Of its top left from the word's left pixel and the baseline.
        std::int16_t offsetX = 0;
        std::int16_t offsetY = 0;
        bool usable = true;
    };
    static constexpr std::uint32_t kNoTile = 0xFFFFFFFFu;
    // One word of the run being drawn.
    struct Word {
        int first;
        int end;
        std::int64_t left;  // its left pixel
        std::uint64_t hash;
        std::uint64_t check;
        std::uint32_t tile;  // or kNoTile
    };

    // Splits the run into its words (m_words) and finds the picture of each.
    void FindPictures(const Run& run, int baselineStep);
    void HashWord(Word& word, const Run& run, int baselineStep) const;
    std::uint32_t TileFor(const Run& run, const Word& word, int baselineStep);
    std::uint32_t MakeTile(const Run& run, const Word& word, int baselineStep);
    // The box of what is not background in the scratch image's top left width x height.
    QRect InkBox(int width, int height) const;
    // Copies the tile's pixels from the scratch image (its top left at from) into the blocks;
    // false when they are full. A tile too large for a block is made unusable instead.
    bool StorePixels(Tile& tile, QPoint from);
    void PrefetchPixels(std::uint32_t tile) const;
    void Copy(const Tile& tile, QPoint at);
    void StartRow(int rowTop);
    bool ClearOfInkAbove(const QRect& ink) const;
    void DrawByPainter(QPainter& painter, const Run& run, int first, int end);
    // Where a word's ink may lie, in device pixels, when no picture of it tells.
    QRect InkBounds(const Run& run, int first, int end, int baseline) const;

    std::uint8_t* m_bits = nullptr;
    qsizetype m_stride = 0;
    QRect m_device;
    QPoint m_offset;
    QRgb m_background = 0;
    QImage::Format m_format = QImage::Format_Invalid;
    // The row being painted and the right end of the ink drawn in it so far.
    int m_lastRowTop = 0;
    int m_lastRight = 0;
    // Where ink drawn in this paint lies, or may lie, below its row: no picture goes there.
    std::vector<QRect> m_below;
    // Words by their hashes, open addressing: a picture's index, or kSeenOnce.
    struct Slot {
        std::uint64_t hash = 0;  // 0: empty
        std::uint32_t check = 0;
        std::uint32_t tile = 0;
    };
    static constexpr std::size_t kIndexSlots = 1u << 16;
    static constexpr std::uint32_t kSeenOnce = 0xFFFFFFFFu;
    std::vector<Slot> m_index;
    std::size_t m_usedSlots = 0;
    std::vector<Tile> m_tileList;
    // The pictures' pixels, in blocks filled one after the other.
    struct FreePixels {
        void operator()(QRgb* block) const;
    };
    using PixelBlock = std::unique_ptr<QRgb[], FreePixels>;
    std::vector<PixelBlock> m_blocks;
    std::size_t m_currentBlock = 0;   // the one being filled
    std::size_t m_lastBlockUsed = 0;  // its pixels in use
    // Counts the times every picture was dropped, so a run sees it happen under it.
    std::uint64_t m_forgets = 0;
    // Reused by every run: the glyphs' positions in 1/64 device pixels, and its words.
    std::vector<std::int64_t> m_fixedX;
    std::vector<Word> m_words;
    std::vector<QPointF> m_scratchPositions;
    QImage m_scratch;
    std::unique_ptr<QPainter> m_scratchPainter;
};
