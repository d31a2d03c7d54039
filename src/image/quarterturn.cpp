#include "quarterturn.h"

#include "imageoperations.h"

#include <QTransform>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace Lumivex {

namespace {

// Reorders the rows × columns matrix of chunks at data, each chunk size
// pixels, into columns × rows in place: each cycle of the permutation is
// followed once, the chunks done marked in a bit each.
void transposeChunks(quint32 *data, quint32 rows, quint32 columns, quint32 size)
{
    if (rows < 2 || columns < 2)
        return;
    const quint32 last = rows * columns - 1; // the first and last chunks stay
    const double perRow = 1.0 / rows;
    const size_t bytes = size_t(size) * sizeof(quint32);
    std::vector<quint64> done(last / 64 + 1);
    std::vector<quint32> carried(size);
    const auto chunk = [&](quint32 index) { return data + qsizetype(index) * size; };
    for (quint32 start = 1; start < last; ++start) {
        if (done[start / 64] == ~quint64(0)) {
            start |= 63;
            continue;
        }
        if (done[start / 64] >> (start % 64) & 1)
            continue;
        std::memcpy(carried.data(), chunk(start), bytes);
        quint32 to = start;
        for (;;) {
            // Place to is row x, column y of the result: chunk (x, y) of the
            // source. The quotient by a multiplication, exact after correction.
            quint32 x = quint32(double(to) * perRow);
            x -= x * rows > to ? 1 : 0;
            x += (x + 1) * rows <= to ? 1 : 0;
            const quint32 from = (to - x * rows) * columns + x;
            done[to / 64] |= quint64(1) << (to % 64);
            if (from == start) {
                std::memcpy(chunk(to), carried.data(), bytes);
                break;
            }
            std::memcpy(chunk(to), chunk(from), bytes);
            to = from;
        }
    }
}

} // namespace

QImage quarterTurned(const QImage &image, bool clockwise)
{
    // QImage::transformed keeps neither the colour space nor the text.
    QImage turned = image.transformed(QTransform().rotate(clockwise ? 90.0 : -90.0),
                                      Qt::FastTransformation);
    copyMetadata(image, turned);
    return turned;
}

QImage rotatedClockwise(QImage image)
{
    const quint32 width = image.width();
    const quint32 height = image.height();
    quint32 strip = std::max(width / 16, 1u);
    while (width % strip != 0)
        --strip;
    std::unique_ptr<quint32[]> spare;
    if (image.depth() == 32 && image.bytesPerLine() == qsizetype(width) * 4
        && image.sizeInBytes() < qsizetype(1) << 33 && image.isDetached())
        spare.reset(new (std::nothrow) quint32[size_t(height) * strip]);
    if (!spare)
        return quarterTurned(image, true);

    auto *owner = new QImage(std::move(image));
    auto *pixels = reinterpret_cast<quint32 *>(owner->bits());
    transposeChunks(pixels, height, width / strip, strip);
    constexpr quint32 Tile = 64;
    for (quint32 left = 0; left < width; left += strip) {
        quint32 *block = pixels + qsizetype(left) * height;
        std::memcpy(spare.get(), block, size_t(height) * strip * sizeof(quint32));
        // Row k of the turned block is column k of the strip, bottom up.
        for (quint32 top = 0; top < height; top += Tile) {
            const quint32 bottom = std::min(top + Tile, height);
            for (quint32 k = 0; k < strip; ++k) {
                quint32 *row = block + qsizetype(k) * height;
                for (quint32 c = top; c < bottom; ++c)
                    row[c] = spare[size_t(height - 1 - c) * strip + k];
            }
        }
    }

    QImage turned(
            owner->bits(), int(height), int(width), qsizetype(height) * 4, owner->format(),
            [](void *info) { delete static_cast<QImage *>(info); }, owner);
    copyMetadata(*owner, turned);
    return turned;
}

} // namespace Lumivex
