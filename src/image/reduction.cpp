#include "reduction.h"

#include "parallelrows.h"

#include <QColorSpace>

#include <algorithm>
#include <cmath>

namespace Lumivex {

namespace {

// Row y of picture from column x0 on, count pixels, as premultiplied 0xAARRGGBB
// words: the scanline itself for the 32-bit formats that already are, else
// converted into scratch.
const uchar *premultipliedRow(const QImage &picture, int y, int x0, int count,
                              std::vector<quint32> &scratch)
{
    const uchar *line = picture.constScanLine(y);
    switch (picture.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return line + qsizetype(x0) * 4;
    case QImage::Format_ARGB32: {
        scratch.resize(size_t(count));
        const auto *words = reinterpret_cast<const QRgb *>(line) + x0;
        for (int i = 0; i < count; ++i)
            scratch[size_t(i)] = qPremultiply(words[i]);
        return reinterpret_cast<const uchar *>(scratch.data());
    }
    default: {
        QImage wrapped(line, picture.width(), 1, picture.bytesPerLine(), picture.format());
        if (picture.format() <= QImage::Format_Indexed8)
            wrapped.setColorTable(picture.colorTable());
        const QImage row =
                wrapped.copy(x0, 0, count, 1).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        scratch.assign(reinterpret_cast<const quint32 *>(row.constBits()),
                       reinterpret_cast<const quint32 *>(row.constBits()) + count);
        return reinterpret_cast<const uchar *>(scratch.data());
    }
    }
}

} // namespace

std::vector<Reduction::Span> Reduction::spansOf(int begin, int end, int picture, int grid)
{
    std::vector<Span> spans(size_t(std::max(0, end - begin)));
    for (int i = begin; i < end; ++i) {
        // Grid pixel i covers [a, b) of the picture; the bounds are exact
        // fractions, so neighbours share them whichever rectangle holds them.
        const double a = double(qint64(i) * picture) / grid;
        const double b = double(qint64(i + 1) * picture) / grid;
        Span &span = spans[size_t(i - begin)];
        span.first = int(std::floor(a));
        const int last = std::min(picture - 1, int(std::ceil(b)) - 1);
        span.count = last - span.first + 1;
        if (span.count == 1) {
            span.head = float(b - a);
        } else {
            span.head = float(span.first + 1 - a);
            span.tail = float(b - last);
        }
        span.norm = float(1.0 / (b - a));
    }
    return spans;
}

Reduction::Reduction(const QSize &pictureSize, const QSize &gridSize, const QRect &target)
    : area(target & QRect(QPoint(0, 0), gridSize))
{
    if (area.isEmpty() || gridSize.width() > pictureSize.width()
        || gridSize.height() > pictureSize.height())
        return;
    result = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (result.isNull())
        return;
    rows = spansOf(area.top(), area.bottom() + 1, pictureSize.height(), gridSize.height());
    columns = spansOf(area.left(), area.right() + 1, pictureSize.width(), gridSize.width());
    done.assign(rows.size(), 0);
}

void Reduction::addRows(const QImage &picture, int runBegin, int end)
{
    if (result.isNull())
        return;
    // The rows' spans only move down: skip those starting above the run, and
    // stop at the first one reaching past what is written.
    auto row = std::lower_bound(rows.begin(), rows.end(), runBegin,
                                [](const Span &span, int y) { return span.first < y; });
    for (; row != rows.end() && row->first + row->count <= end; ++row) {
        const auto index = size_t(row - rows.begin());
        if (!done[index])
            computeRow(picture, int(index));
    }
}

QImage Reduction::finish(const QImage &picture)
{
    for (size_t i = 0; i < rows.size() && !result.isNull(); ++i) {
        if (!done[i])
            computeRow(picture, int(i));
    }
    result.setColorSpace(picture.colorSpace());
    return result;
}

// The picture rows of the grid row are summed, each by the part of it under
// the row, into one row of floats (a row of the picture is read while it is in
// the cache, and the columns then only read that sum); the columns of that sum
// are then summed the same way into each grid pixel. Floats hold the sums of
// up to 2^16 levels exactly, far more than the few hundred picture pixels a
// grid pixel covers at the smallest zoom.
void Reduction::computeRow(const QImage &picture, int row)
{
    done[size_t(row)] = 1;
    const Span &rowSpan = rows[size_t(row)];
    const int x0 = columns.front().first;
    const int width = columns.back().first + columns.back().count - x0;
    thread_local std::vector<float> sum;
    thread_local std::vector<quint32> scratch;
    sum.assign(size_t(width) * 4, 0.0f);
    float *acc = sum.data();
    const int channels = width * 4;
    for (int j = 0; j < rowSpan.count; ++j) {
        const uchar *src = premultipliedRow(picture, rowSpan.first + j, x0, width, scratch);
        const float w = j == 0 ? rowSpan.head : j == rowSpan.count - 1 ? rowSpan.tail : 1.0f;
        if (w == 1.0f) {
            for (int k = 0; k < channels; ++k)
                acc[k] += float(src[k]);
        } else {
            for (int k = 0; k < channels; ++k)
                acc[k] += w * float(src[k]);
        }
    }

    uchar *out = result.scanLine(row);
    for (size_t x = 0; x < columns.size(); ++x) {
        const Span &col = columns[x];
        const float *p = acc + size_t(col.first - x0) * 4;
        float v[4] = {0, 0, 0, 0};
        for (int j = 0; j < col.count; ++j, p += 4) {
            const float w = j == 0 ? col.head : j == col.count - 1 ? col.tail : 1.0f;
            for (int c = 0; c < 4; ++c)
                v[c] += w * p[c];
        }
        const float norm = rowSpan.norm * col.norm;
        for (int c = 0; c < 4; ++c)
            out[x * 4 + size_t(c)] = uchar(std::clamp(int(v[c] * norm + 0.5f), 0, 255));
    }
}

QImage reduceArea(const QImage &picture, const QSize &gridSize, const QRect &target)
{
    Reduction reduction(picture.size(), gridSize, target);
    if (reduction.isNull())
        return QImage();
    const QRect area = reduction.target();
    // The rows of the picture under the target, shared out as a pass over
    // the picture would share them.
    const double rowsPerGridRow = double(picture.height()) / gridSize.height();
    const int top = int(area.top() * rowsPerGridRow);
    const int bottom =
            std::min(picture.height(), int(std::ceil((area.bottom() + 1) * rowsPerGridRow)));
    forEachSegment(bottom - top,
                   qint64(bottom - top) * picture.width() * area.width() / gridSize.width(),
                   [&](int y0, int y1) { reduction.addRows(picture, top + y0, top + y1); });
    return reduction.finish(picture);
}

} // namespace Lumivex
