#include "reduction.h"

#include "parallelrows.h"
#include "rowkernels.h"

#include <QColorSpace>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace Lumivex {

namespace {

// Row y of picture from column x0 on, count pixels, as premultiplied 0xAARRGGBB
// words: the scanline itself for the 32-bit formats that already are, else
// written to into (room for count words): gray ones here, those of 24 bits
// a pixel and 16 bits a channel by the row kernels' fetches (RGBA64's only
// where its pixels are opaque, as an adjusted picture's all are:
// premultiplied or not, they are then the same), others by Qt. (Slider step
// at zoom 0.168 on a 6000x4000 picture, every row converted by Qt, then so:
// RGBX64 40.5 and 26 ms, against 21 at zoom 1; RGB888 15.4 and 12.8;
// Grayscale16 29.5 and 19.0; Grayscale8 15.9 and 13.1.)
const uchar *premultipliedRow(const QImage &picture, int y, int x0, int count, quint32 *into,
                              const RowKernels::TargetKernels &kernels)
{
    const uchar *line = picture.constScanLine(y);
    const auto fetched = [&](RowKernels::FetchBytesFunction fetch, int bytesPerPixel) {
        fetch(line + qsizetype(x0) * bytesPerPixel, into, size_t(count));
        return reinterpret_cast<const uchar *>(into);
    };
    switch (picture.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return line + qsizetype(x0) * 4;
    case QImage::Format_ARGB32: {
        const auto *words = reinterpret_cast<const QRgb *>(line) + x0;
        for (int i = 0; i < count; ++i)
            into[i] = qPremultiply(words[i]);
        return reinterpret_cast<const uchar *>(into);
    }
    case QImage::Format_Grayscale8: {
        const uchar *gray = line + x0;
        for (int i = 0; i < count; ++i)
            into[i] = 0xff000000u | gray[i] * 0x010101u;
        return reinterpret_cast<const uchar *>(into);
    }
    case QImage::Format_Grayscale16: {
        for (int i = 0; i < count; ++i) {
            quint16 x;
            std::memcpy(&x, line + 2 * (qsizetype(x0) + i), sizeof x);
            into[i] = 0xff000000u | RowKernels::narrowedChannel(x) * 0x010101u;
        }
        return reinterpret_cast<const uchar *>(into);
    }
    case QImage::Format_RGB888:
        return fetched(kernels.fetchRgb888, 3);
    case QImage::Format_BGR888:
        return fetched(kernels.fetchBgr888, 3);
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64_Premultiplied: // narrowed, still premultiplied
        return fetched(kernels.fetchRgba64, 8);
    case QImage::Format_RGBA64:
        if (kernels.opaqueRgba64(line + qsizetype(x0) * 8, size_t(count)))
            return fetched(kernels.fetchRgba64, 8);
        [[fallthrough]];
    default: {
        QImage wrapped(line, picture.width(), 1, picture.bytesPerLine(), picture.format());
        if (picture.format() <= QImage::Format_Indexed8)
            wrapped.setColorTable(picture.colorTable());
        const QImage row =
                wrapped.copy(x0, 0, count, 1).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        std::memcpy(into, row.constBits(), size_t(count) * sizeof(quint32));
        return reinterpret_cast<const uchar *>(into);
    }
    }
}

} // namespace

std::vector<Reduction::Span> Reduction::spansOf(int begin, int end, int picture, int grid,
                                                std::vector<quint16> &weights)
{
    std::vector<Span> spans(size_t(std::max(0, end - begin)));
    std::vector<double> parts;
    for (int i = begin; i < end; ++i) {
        // Grid pixel i covers [a, b) of the picture; the bounds are exact
        // fractions, so neighbours share them whichever rectangle holds them.
        const double a = double(qint64(i) * picture) / grid;
        const double b = double(qint64(i + 1) * picture) / grid;
        Span &span = spans[size_t(i - begin)];
        span.first = int(std::floor(a));
        span.count = std::min(picture - 1, int(std::ceil(b)) - 1) - span.first + 1;
        span.weights = quint32(weights.size());
        // Each pixel's share of the grid pixel in 256ths, rounded so that
        // they add up to 256 exactly (the largest remainders round up): an
        // even area then keeps its value. Beyond 256 pixels a side, at zooms
        // below 1/256, some pixels get no weight and the rest stand for them.
        parts.clear();
        int total = 0;
        for (int j = 0; j < span.count; ++j) {
            const double from = std::max(a, double(span.first + j));
            const double to = std::min(b, double(span.first + j + 1));
            parts.push_back(256 * (to - from) / (b - a));
            weights.push_back(quint16(parts.back()));
            total += weights.back();
        }
        while (total < 256) {
            size_t best = 0;
            for (size_t j = 1; j < parts.size(); ++j) {
                if (parts[j] - weights[span.weights + j]
                    > parts[best] - weights[span.weights + best])
                    best = j;
            }
            ++weights[span.weights + best];
            parts[best] = weights[span.weights + best]; // no second rounding up
            ++total;
        }
    }
    return spans;
}

// The column kernel takes a grid pixel's picture columns two at a time, in
// the pairs the row sums are stored in (see RowKernels::AccumulateFunction),
// the same number of them for every pixel: at most zooms the pixels take two
// and three columns mixed, in no pattern a branch predictor follows. (A zoom
// step from 0.512 to 0.41 at 6000x4000 in a 984x642 view: 8.1 ms with
// spans of their own lengths, 6.4 ms padded to one, medians of 200. The
// pairing below adds a column at some zooms; the step in
// lumivex_bench_window's view took 2.8 ms before it, 2.7-2.9 after.)
// So every span starts at an even column, with a zero weight before it
// where it started at an odd one, and is padded with zero weights to the
// length of the longest, rounded up to even; it may then pass the picture's
// end, where the sums are left as they were. The kernel reads 16 bytes of
// weights at a time: 8 zeros end them.
void Reduction::pairColumns(std::vector<Span> &spans, std::vector<quint16> &weights)
{
    int taps = 0;
    for (const Span &span : spans)
        taps = std::max(taps, span.count + span.first % 2);
    taps += taps % 2;
    std::vector<quint16> paired;
    paired.reserve(spans.size() * size_t(taps) + 8);
    for (Span &span : spans) {
        const auto from = weights.begin() + span.weights;
        span.weights = quint32(paired.size());
        paired.insert(paired.end(), size_t(span.first % 2), 0);
        paired.insert(paired.end(), from, from + span.count);
        paired.resize(span.weights + size_t(taps));
        span.first -= span.first % 2;
        span.count = taps;
    }
    paired.resize(paired.size() + 8);
    weights = std::move(paired);
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
    // Taken here, once: rows are written from several threads, and
    // QImage::scanLine() is not for that.
    bits = result.bits();
    bytesPerLine = result.bytesPerLine();
    // Integer sums, the same on every target.
    kernels = &RowKernels::activeTargetKernels();
    rows = spansOf(area.top(), area.bottom() + 1, pictureSize.height(), gridSize.height(),
                   rowWeights);
    columns = spansOf(area.left(), area.right() + 1, pictureSize.width(), gridSize.width(),
                      columnWeights);
    pairColumns(columns, columnWeights);
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
    // An opaque picture reduces to opaque pixels, which premultiplied are
    // what they are plain: said so, a colour transform takes the fast path
    // (at 1008x672 in half the time).
    if (!picture.hasAlphaChannel())
        result.reinterpretAsFormat(QImage::Format_RGB32);
    // Handed over, so that the caller can convert it for the screen where it
    // lies, without a copy.
    return std::exchange(result, QImage());
}

// The picture rows of the grid row are summed, each by its weight, into one
// row of 16-bit sums (a row of the picture is read while it is in the cache,
// and the columns then read only that sum); the columns of that sum are then
// summed the same way into each grid pixel. The weights add up to 256 on
// each axis, so a row sum is at most 255 * 256 and fits in 16 bits, and a
// pixel's sum, 8 more bits, in 32. Both run in the vector kernels: the row
// sums in 16-bit lanes, a pixel's four channels in 32-bit ones, two columns
// per multiply-add.
void Reduction::computeRow(const QImage &picture, int row)
{
    done[size_t(row)] = 1;
    const Span &rowSpan = rows[size_t(row)];
    const int x0 = columns.front().first;
    const int width = columns.back().first + columns.back().count - x0;
    const int inPicture = std::min(width, picture.width() - x0);
    thread_local std::vector<quint16> sums;
    thread_local std::vector<std::vector<quint32>> scratch;
    thread_local std::vector<const uchar *> lines;
    const auto channels = size_t(inPicture) * 4;
    // A column past the picture's end (see pairColumns) is left as it
    // was: its weight is zero.
    sums.resize(size_t(width) * 4);
    scratch.resize(std::max(scratch.size(), size_t(rowSpan.count)));
    lines.resize(size_t(rowSpan.count));
    for (int j = 0; j < rowSpan.count; ++j) {
        scratch[size_t(j)].resize(size_t(inPicture));
        lines[size_t(j)] = premultipliedRow(picture, rowSpan.first + j, x0, inPicture,
                                            scratch[size_t(j)].data(), *kernels);
    }
    kernels->accumulate(lines.data(), rowWeights.data() + rowSpan.weights, lines.size(),
                        sums.data(), channels);
    kernels->reduceColumns(sums.data(), x0, columns.data(), columns.size(), columnWeights.data(),
                           bits + qsizetype(row) * bytesPerLine);
}

bool readsRowsItself(QImage::Format format)
{
    switch (format) {
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
        return true;
    default:
        return false;
    }
}

QImage premultipliedPart(const QImage &picture, const QRect &part)
{
    const QRect area = part & picture.rect();
    QImage result(area.size(), picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                         : QImage::Format_RGB32);
    if (result.isNull())
        return result;
    result.setColorSpace(picture.colorSpace());
    const RowKernels::TargetKernels &kernels = RowKernels::activeTargetKernels();
    uchar *bits = result.bits();
    const qsizetype bytesPerLine = result.bytesPerLine();
    forEachSegment(area.height(), qint64(area.width()) * area.height(), [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            auto *into = reinterpret_cast<quint32 *>(bits + y * bytesPerLine);
            const uchar *row =
                    premultipliedRow(picture, area.y() + y, area.x(), area.width(), into, kernels);
            if (row != reinterpret_cast<const uchar *>(into))
                std::memcpy(into, row, size_t(area.width()) * sizeof(quint32));
        }
    });
    return result;
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
