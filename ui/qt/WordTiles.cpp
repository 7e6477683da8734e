#include "ui/qt/WordTiles.h"

#include <QGlyphRun>
#include <QPaintEngine>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

bool g_enabled = true;

// Pictures kept before all are dropped (words met once are dropped with them when half the
// index is used).
constexpr std::size_t kMaxTileBytes = 8u << 20;
constexpr std::size_t kMaxTiles = 8192;

// A position in the 1/64 pixels the painter places glyphs in.
std::int64_t Fixed(qreal value) { return std::llround(value * 64); }

}  // namespace

void WordTiles::SetEnabled(bool enabled) { g_enabled = enabled; }

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
    m_tileBytes = 0;
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
    const int runLeft = static_cast<int>(std::floor(run.origin.x() + m_offset.x()));
    const int runRight = static_cast<int>(std::ceil(run.origin.x() + m_offset.x() + run.width));
    const int rowTop = run.rowTop + m_offset.y();
    const int rowBottom = rowTop + run.rowHeight;
    StartRow(rowTop);
    for (int first = 0; first < run.count;) {
        int end = first + 1;
        while (end < run.count && !run.wordStarts[end]) ++end;
        const std::int64_t left = m_fixedX[static_cast<std::size_t>(first)] >> 6;
        const Tile* tile = TileFor(run, first, end, left, baselineStep);
        QRect ink;
        bool copied = false;
        if (tile && tile->usable) {
            ink = QRect(
                QPoint(static_cast<int>(left) + tile->offset.x(), baseline + tile->offset.y()),
                tile->image.size());
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
            DrawByPainter(painter, run, first, end);
            if (!tile || !tile->usable) ink = InkBounds(run, first, end, baseline);
        }
        if (!ink.isEmpty()) {
            m_lastRight = std::max(m_lastRight, ink.right() + 1);
            if (ink.bottom() >= rowBottom) {
                m_below.push_back(QRect(QPoint(ink.left(), rowBottom), ink.bottomRight()));
            }
        }
        first = end;
    }
    return true;
}

void WordTiles::NoteDrawnByPainter(QRectF cells) {
    if (!m_bits) return;
    const QRect device = cells.translated(m_offset).toAlignedRect().adjusted(-2, 0, 2, 0);
    StartRow(device.top());
    m_lastRight = std::max(m_lastRight, device.right() + 1);
    m_below.push_back(device.translated(0, device.height()));
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

const WordTiles::Tile* WordTiles::TileFor(const Run& run, int first, int end, std::int64_t left,
                                          int baselineStep) {
    // The word as two independent 64-bit hashes of its style, baseline step, glyphs and their
    // 1/64 offsets: 128 bits tell words apart.
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
    for (int i = first; i < end; ++i) {
        add(run.glyphs[i] |
            static_cast<std::uint64_t>(m_fixedX[static_cast<std::size_t>(i)] - left * 64) << 32);
    }
    if (hash == 0) hash = 1;  // 0 marks an empty slot
    if (m_index.empty()) m_index.resize(kIndexSlots);
    std::size_t at = hash & (kIndexSlots - 1);
    while (m_index[at].hash != 0 && (m_index[at].hash != hash || m_index[at].check != check)) {
        at = (at + 1) & (kIndexSlots - 1);
    }
    Slot& slot = m_index[at];
    if (slot.hash != 0 && slot.tile != kSeenOnce) return &m_tileList[slot.tile];
    if (slot.hash == 0) {
        // A word met for the first time is only noted: one that never comes again costs no
        // picture.
        if (++m_usedSlots > kIndexSlots / 2) {
            Forget();
        } else {
            slot = Slot{hash, check, kSeenOnce};
        }
        return nullptr;
    }
    if (m_tileList.size() >= kMaxTiles || m_tileBytes >= kMaxTileBytes) {
        Forget();
        return nullptr;
    }
    slot.tile = static_cast<std::uint32_t>(m_tileList.size());
    m_tileList.push_back(MakeTile(run, first, end, left, baselineStep));
    m_tileBytes += static_cast<std::size_t>(m_tileList.back().image.sizeInBytes());
    return &m_tileList.back();
}

WordTiles::Tile WordTiles::MakeTile(const Run& run, int first, int end, std::int64_t left,
                                    int baselineStep) {
    // The word is drawn as the painter would draw it in place: each glyph at the same 1/64
    // from the word's left pixel and the baseline's, on the background, with room all round.
    const int pad = static_cast<int>(std::ceil(run.font->pixelSize())) + 4;
    const std::int64_t span = (m_fixedX[static_cast<std::size_t>(end - 1)] - left * 64) >> 6;
    const int width = static_cast<int>(span) + 3 * pad;
    const int height = 3 * pad;
    // One scratch image serves every word, grown when a word needs more room.
    if (m_scratch.width() < width || m_scratch.height() < height ||
        m_scratch.format() != m_format) {
        m_scratch = QImage(std::max(width, m_scratch.width()), std::max(height, m_scratch.height()),
                           m_format);
    }
    QImage& scratch = m_scratch;
    scratch.fill(m_background);
    std::vector<QPointF> positions;
    for (int i = first; i < end; ++i) {
        positions.emplace_back(
            pad + static_cast<qreal>(m_fixedX[static_cast<std::size_t>(i)] - left * 64) / 64, 0);
    }
    {
        QPainter painter(&scratch);
        // Ink past the room is cut, so it touches the edge and the word stays the painter's.
        painter.setClipRect(0, 0, width, height);
        painter.setPen(QColor::fromRgba(run.colour));
        QGlyphRun glyphs;
        glyphs.setRawFont(*run.font);
        glyphs.setRawData(run.glyphs + first, positions.data(), end - first);
        painter.drawGlyphRun(QPointF(0, 2 * pad + static_cast<qreal>(baselineStep) / 64), glyphs);
    }
    int minX = width, minY = height, maxX = -1, maxY = -1;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(scratch.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            if (row[x] == m_background) continue;
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
        }
    }
    Tile tile;
    if (maxX < 0) return tile;  // no ink: nothing to copy
    // Ink that reaches the edge may have been cut off: such a word stays the painter's.
    tile.usable = minX > 0 && minY > 0 && maxX < width - 1 && maxY < height - 1;
    tile.image = scratch.copy(minX, minY, maxX - minX + 1, maxY - minY + 1);
    tile.offset = QPoint(minX - pad, minY - 2 * pad);
    return tile;
}

void WordTiles::Copy(const Tile& tile, QPoint at) {
    const QImage& image = tile.image;
    const std::size_t bytes = static_cast<std::size_t>(image.width()) * 4;
    for (int y = 0; y < image.height(); ++y) {
        std::memcpy(m_bits + (at.y() + y) * m_stride + at.x() * 4, image.constScanLine(y), bytes);
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
