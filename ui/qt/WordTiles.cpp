#include "ui/qt/WordTiles.h"

#include <QGlyphRun>
#include <QPaintEngine>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "ui/qt/BlockMemory.h"

namespace {

bool g_enabled = true;

// Pictures kept before all are dropped (words met once are dropped with them when half the
// index is used): 8 blocks of 1 MiB of pixels, and at most this many pictures.
constexpr std::size_t kBlockPixels = 256 * 1024;
constexpr std::size_t kBlockBytes = kBlockPixels * sizeof(QRgb);
constexpr std::size_t kMaxBlocks = 8;
constexpr std::size_t kMaxTiles = 8192;
std::size_t g_maxTiles = kMaxTiles;
// A word wider than this (in pixels), or in a font larger than this, is always drawn by the
// painter.
constexpr std::int64_t kMaxTileSpan = 2048;
constexpr int kMaxTilePad = 512;
// Pixels fetched ahead for one picture.
constexpr std::size_t kMaxPrefetch = 4096;

// A position in the 1/64 pixels the painter places glyphs in.
std::int64_t Fixed(qreal value) { return std::llround(value * 64); }

}  // namespace

WordTiles::WordTiles() = default;
WordTiles::~WordTiles() = default;

void WordTiles::FreePixels::operator()(QRgb* block) const { FreeBlock(block, kBlockBytes); }

void WordTiles::SetEnabled(bool enabled) { g_enabled = enabled; }

void WordTiles::SetMaxTiles(std::size_t count) { g_maxTiles = count == 0 ? kMaxTiles : count; }

bool WordTiles::Begin(const QPainter& painter, QRgb background) {
    m_bits = nullptr;
    if (!g_enabled) return false;
    QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster) return false;
    QPaintDevice* device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image) return false;
    const auto* image = static_cast<const QImage*>(device);
    if (image->format() != QImage::Format_RGB32 &&
        image->format() != QImage::Format_ARGB32_Premultiplied) {
        return false;
    }
    const QTransform& transform = painter.deviceTransform();
    if (image->devicePixelRatio() != 1.0 || transform.type() > QTransform::TxTranslate ||
        transform.dx() != std::floor(transform.dx()) ||
        transform.dy() != std::floor(transform.dy()) || painter.opacity() != 1.0 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver ||
        painter.hasClipping()) {
        return false;
    }
    // Pictures are copied only inside one rectangle the paint may touch.
    QRect allowed = transform.mapRect(painter.viewport()) & image->rect();
    const QRegion system = engine->systemClip();
    if (!system.isEmpty()) {
        if (system.rectCount() != 1) return false;
        allowed &= system.boundingRect();
    }
    if (allowed.isEmpty()) return false;
    background |= 0xFF000000u;
    if (image->format() != m_format || background != m_background) {
        Forget();
        m_format = image->format();
        m_background = background;
    }
    m_device = allowed;
    m_offset = QPoint(static_cast<int>(transform.dx()), static_cast<int>(transform.dy()));
    m_lastRowTop = INT_MIN;
    m_below.clear();
    // The engine writes through the pointer it took when the paint began; constBits gives that
    // same buffer without the copy a non-const access would make of an image still shared.
    m_bits = const_cast<std::uint8_t*>(image->constBits());
    m_stride = image->bytesPerLine();
    return true;
}

void WordTiles::Forget() {
    m_tileList.clear();
    m_index.clear();
    m_usedSlots = 0;
    // The blocks are kept and filled again from the first.
    m_currentBlock = 0;
    m_lastBlockUsed = 0;
    ++m_forgets;
}

bool WordTiles::Draw(QPainter& painter, const Run& run) {
    if (!m_bits || qAlpha(run.colour) != 255 || run.count == 0) return false;
    const std::int64_t baseX = Fixed(run.origin.x() + m_offset.x());
    const std::int64_t baseY = Fixed(run.origin.y() + m_offset.y());
    const int baseline = static_cast<int>(baseY >> 6);
    const int baselineStep = static_cast<int>(baseY & 63);
    m_fixedX.resize(static_cast<std::size_t>(run.count));
    for (int i = 0; i < run.count; ++i) {
        if (run.positions[i].y() != 0) return false;
        m_fixedX[static_cast<std::size_t>(i)] = baseX + Fixed(run.positions[i].x());
    }
    FindPictures(run, baselineStep);
    const int runLeft = static_cast<int>(std::floor(run.origin.x() + m_offset.x()));
    const int runRight = static_cast<int>(std::ceil(run.origin.x() + m_offset.x() + run.width));
    const int rowTop = run.rowTop + m_offset.y();
    const int rowBottom = rowTop + run.rowHeight;
    StartRow(rowTop);
    for (const Word& word : m_words) {
        const Tile* tile = word.tile == kNoTile ? nullptr : &m_tileList[word.tile];
        QRect ink;
        bool copied = false;
        if (tile && tile->usable) {
            ink = QRect(static_cast<int>(word.left) + tile->offsetX, baseline + tile->offsetY,
                        tile->width, tile->height);
            // Only over the run's own cells in its own row, clear of ink drawn before it.
            if (ink.isEmpty() ||
                (ink.left() >= std::max(runLeft, m_lastRight) && ink.right() < runRight &&
                 ink.top() >= rowTop && ink.bottom() < rowBottom && m_device.contains(ink) &&
                 ClearOfInkAbove(ink))) {
                Copy(*tile, ink.topLeft());
                copied = true;
            }
        }
        if (!copied) {
            DrawByPainter(painter, run, word.first, word.end);
            if (!tile || !tile->usable) ink = InkBounds(run, word.first, word.end, baseline);
        }
        if (!ink.isEmpty()) {
            m_lastRight = std::max(m_lastRight, ink.right() + 1);
            if (ink.bottom() >= rowBottom) {
                m_below.push_back(QRect(QPoint(ink.left(), rowBottom), ink.bottomRight()));
            }
        }
    }
    return true;
}

void WordTiles::FindPictures(const Run& run, int baselineStep) {
    // The words are looked up in two sweeps before any is drawn, so that what each needs from
    // memory (its slot, then its pixels) is fetched while the others are dealt with, not one
    // after the other.
    m_words.clear();
    for (int first = 0; first < run.count;) {
        int end = first + 1;
        while (end < run.count && !run.wordStarts[end]) ++end;
        Word word{first, end, m_fixedX[static_cast<std::size_t>(first)] >> 6, 0, 0, kNoTile};
        HashWord(word, run, baselineStep);
        if (!m_index.empty()) __builtin_prefetch(&m_index[word.hash & (kIndexSlots - 1)]);
        m_words.push_back(word);
        first = end;
    }
    std::uint64_t forgets = m_forgets;
    for (std::size_t k = 0; k < m_words.size(); ++k) {
        m_words[k].tile = TileFor(run, m_words[k], baselineStep);
        if (m_forgets != forgets) {
            // Every picture went: those found for the words before are gone with them.
            forgets = m_forgets;
            for (std::size_t j = 0; j < k; ++j) m_words[j].tile = kNoTile;
        }
        PrefetchPixels(m_words[k].tile);
    }
}

void WordTiles::NoteDrawnByPainter(QRectF cells, qreal inkBottom) {
    if (!m_bits) return;
    const QRect device = cells.translated(m_offset).toAlignedRect().adjusted(-2, 0, 2, 0);
    StartRow(device.top());
    m_lastRight = std::max(m_lastRight, device.right() + 1);
    // A pixel more for the edges' shading.
    const int bottom = static_cast<int>(std::ceil(inkBottom + m_offset.y())) + 1;
    if (bottom > device.bottom()) {
        m_below.push_back(
            QRect(QPoint(device.left(), device.bottom() + 1), QPoint(device.right(), bottom)));
    }
}

void WordTiles::StartRow(int rowTop) {
    if (rowTop == m_lastRowTop) return;
    m_lastRowTop = rowTop;
    m_lastRight = INT_MIN;
}

bool WordTiles::ClearOfInkAbove(const QRect& ink) const {
    return std::none_of(m_below.begin(), m_below.end(),
                        [&](const QRect& area) { return area.intersects(ink); });
}

void WordTiles::HashWord(Word& word, const Run& run, int baselineStep) const {
    // Two independent 64-bit hashes of its style, baseline step, glyphs and their 1/64
    // offsets: the 96 bits kept tell words apart.
    std::uint64_t hash = 0x243F6A8885A308D3ull;
    std::uint64_t check = 0x13198A2E03707344ull;
    const auto add = [&](std::uint64_t value) {
        hash = (hash ^ value) * 0x9E3779B97F4A7C15ull;
        hash ^= hash >> 29;
        check = (check + value) * 0xC2B2AE3D27D4EB4Full;
        check ^= check >> 31;
    };
    add(run.variant | static_cast<std::uint64_t>(baselineStep) << 8);
    add(run.colour);
    for (int i = word.first; i < word.end; ++i) {
        add(run.glyphs[i] |
            static_cast<std::uint64_t>(m_fixedX[static_cast<std::size_t>(i)] - word.left * 64)
                << 32);
    }
    word.hash = hash == 0 ? 1 : hash;  // 0 marks an empty slot
    word.check = check;
}

std::uint32_t WordTiles::TileFor(const Run& run, const Word& word, int baselineStep) {
    if (m_index.empty()) m_index.resize(kIndexSlots);
    const auto check = static_cast<std::uint32_t>(word.check);
    std::size_t at = word.hash & (kIndexSlots - 1);
    while (m_index[at].hash != 0 && (m_index[at].hash != word.hash || m_index[at].check != check)) {
        at = (at + 1) & (kIndexSlots - 1);
    }
    Slot& slot = m_index[at];
    if (slot.hash != 0 && slot.tile != kSeenOnce) return slot.tile;
    if (slot.hash == 0) {
        // A word met for the first time is only noted: one that never comes again costs no
        // picture.
        if (++m_usedSlots > kIndexSlots / 2) {
            Forget();
        } else {
            slot = Slot{word.hash, check, kSeenOnce};
        }
        return kNoTile;
    }
    const std::uint32_t tile =
        m_tileList.size() < g_maxTiles ? MakeTile(run, word, baselineStep) : kNoTile;
    if (tile == kNoTile) {
        Forget();
        return kNoTile;
    }
    slot.tile = tile;
    return tile;
}

std::uint32_t WordTiles::MakeTile(const Run& run, const Word& word, int baselineStep) {
    // The word is drawn as the painter would draw it in place: each glyph at the same 1/64
    // from the word's left pixel and the baseline's, on the background, with room all round.
    const int pad = static_cast<int>(std::ceil(run.font->pixelSize())) + 4;
    const std::int64_t span =
        (m_fixedX[static_cast<std::size_t>(word.end - 1)] - word.left * 64) >> 6;
    if (span > kMaxTileSpan || pad > kMaxTilePad) {
        // Too large to keep: the painter draws it every time.
        m_tileList.push_back(Tile{.usable = false});
        return static_cast<std::uint32_t>(m_tileList.size() - 1);
    }
    const int width = static_cast<int>(span) + 3 * pad;
    const int height = 3 * pad;
    // One scratch image, with a painter kept open on it, serves every word; it is grown when a
    // word needs more room.
    if (m_scratch.width() < width || m_scratch.height() < height ||
        m_scratch.format() != m_format) {
        m_scratchPainter.reset();
        m_scratch = QImage(std::max(width, m_scratch.width()), std::max(height, m_scratch.height()),
                           m_format);
        m_scratchPainter = std::make_unique<QPainter>(&m_scratch);
    }
    QPainter& painter = *m_scratchPainter;
    painter.setClipping(false);
    painter.fillRect(0, 0, width, height, QColor::fromRgba(m_background));
    m_scratchPositions.clear();
    for (int i = word.first; i < word.end; ++i) {
        m_scratchPositions.emplace_back(
            pad + static_cast<qreal>(m_fixedX[static_cast<std::size_t>(i)] - word.left * 64) / 64,
            0);
    }
    // Ink past the room is cut, so it touches the edge and the word stays the painter's.
    painter.setClipRect(0, 0, width, height);
    painter.setPen(QColor::fromRgba(run.colour));
    QGlyphRun glyphs;
    glyphs.setRawFont(*run.font);
    glyphs.setRawData(run.glyphs + word.first, m_scratchPositions.data(), word.end - word.first);
    painter.drawGlyphRun(QPointF(0, 2 * pad + static_cast<qreal>(baselineStep) / 64), glyphs);
    const QRect ink = InkBox(width, height);
    Tile tile;
    if (!ink.isEmpty()) {
        // Ink that reaches the edge may have been cut off: such a word stays the painter's.
        tile.usable = QRect(1, 1, width - 2, height - 2).contains(ink);
        tile.width = static_cast<std::uint16_t>(ink.width());
        tile.height = static_cast<std::uint16_t>(ink.height());
        tile.offsetX = static_cast<std::int16_t>(ink.left() - pad);
        tile.offsetY = static_cast<std::int16_t>(ink.top() - 2 * pad);
    }
    if (tile.usable && !ink.isEmpty() && !StorePixels(tile, ink.topLeft())) return kNoTile;
    m_tileList.push_back(tile);
    return static_cast<std::uint32_t>(m_tileList.size() - 1);
}

QRect WordTiles::InkBox(int width, int height) const {
    // Most rows hold no ink (told at once by a pass the compiler makes wide); a row's ink is
    // found from both of its ends.
    int minX = width, minY = height, maxX = -1, maxY = -1;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(m_scratch.constScanLine(y));
        QRgb differs = 0;
        for (int x = 0; x < width; ++x) differs |= row[x] ^ m_background;
        if (differs == 0) continue;
        int left = 0;
        while (row[left] == m_background) ++left;
        int right = width - 1;
        while (row[right] == m_background) --right;
        minX = std::min(minX, left);
        maxX = std::max(maxX, right);
        minY = std::min(minY, y);
        maxY = y;
    }
    return maxX < 0 ? QRect() : QRect(QPoint(minX, minY), QPoint(maxX, maxY));
}

bool WordTiles::StorePixels(Tile& tile, QPoint from) {
    const std::size_t pixels = std::size_t{tile.width} * tile.height;
    if (pixels > kBlockPixels) {
        tile.usable = false;
        return true;
    }
    if (m_lastBlockUsed + pixels > kBlockPixels) {
        ++m_currentBlock;
        m_lastBlockUsed = 0;
    }
    if (m_currentBlock == m_blocks.size()) {
        if (m_blocks.size() >= kMaxBlocks) return false;
        m_blocks.push_back(PixelBlock(static_cast<QRgb*>(AllocateBlock(kBlockBytes))));
    }
    tile.block = static_cast<std::uint32_t>(m_currentBlock);
    tile.first = static_cast<std::uint32_t>(m_lastBlockUsed);
    QRgb* into = m_blocks[m_currentBlock].get() + m_lastBlockUsed;
    for (int y = 0; y < tile.height; ++y, into += tile.width) {
        std::memcpy(into, m_scratch.constScanLine(from.y() + y) + from.x() * 4,
                    std::size_t{tile.width} * 4);
    }
    m_lastBlockUsed += pixels;
    return true;
}

void WordTiles::PrefetchPixels(std::uint32_t tile) const {
    if (tile == kNoTile) return;
    const Tile& picture = m_tileList[tile];
    if (!picture.usable || picture.width == 0) return;
    const auto* from = reinterpret_cast<const char*>(m_blocks[picture.block].get() + picture.first);
    const std::size_t bytes = std::size_t{picture.width} * picture.height * 4;
    for (std::size_t at = 0; at < std::min(bytes, kMaxPrefetch); at += 64) {
        __builtin_prefetch(from + at);
    }
}

void WordTiles::Copy(const Tile& tile, QPoint at) {
    const QRgb* from = m_blocks[tile.block].get() + tile.first;
    const std::size_t bytes = std::size_t{tile.width} * 4;
    std::uint8_t* into = m_bits + at.y() * m_stride + at.x() * 4;
    for (int y = 0; y < tile.height; ++y, from += tile.width, into += m_stride) {
        std::memcpy(into, from, bytes);
    }
}

void WordTiles::DrawByPainter(QPainter& painter, const Run& run, int first, int end) {
    // At the positions the glyphs have in their run, so the painter rounds them as it would
    // have drawing the whole run.
    painter.setPen(QColor::fromRgba(run.colour));
    QGlyphRun glyphs;
    glyphs.setRawFont(*run.font);
    glyphs.setRawData(run.glyphs + first, run.positions + first, end - first);
    painter.drawGlyphRun(run.origin, glyphs);
}

QRect WordTiles::InkBounds(const Run& run, int first, int end, int baseline) const {
    // From the glyphs' outlines, a pixel wider all round for the edges' shading.
    QRect bounds;
    for (int i = first; i < end; ++i) {
        const QRectF box = run.font->boundingRect(run.glyphs[i]);
        const qreal x = static_cast<qreal>(m_fixedX[static_cast<std::size_t>(i)]) / 64;
        bounds |= QRect(QPoint(static_cast<int>(std::floor(x + box.left())) - 1,
                               static_cast<int>(std::floor(baseline + box.top())) - 1),
                        QPoint(static_cast<int>(std::ceil(x + box.right())) + 1,
                               static_cast<int>(std::ceil(baseline + box.bottom())) + 1));
    }
    return bounds;
}
