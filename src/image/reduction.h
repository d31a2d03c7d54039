// Area-averaged reduction of a picture for display below zoom 1.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

#include <vector>

namespace Lumivex {

namespace RowKernels {
struct TargetKernels;
} // namespace RowKernels

// The picture pixels under one grid row or column: `count` of them from
// `first`, each counted by its weight from `weights` on (an index into the
// reduction's table of weights), in 256ths of the grid pixel.
struct ReductionSpan
{
    qint32 first = 0;
    qint32 count = 0;
    quint32 weights = 0;
};

// The reduction of a picture of one size onto a grid of device pixels no
// larger on either side, for one rectangle of that grid: each picture pixel
// counts by the area of it under the grid pixel, as in QImage::scaled() with
// Qt::SmoothTransformation. A grid pixel depends only on the picture pixels
// under it, so a pixel comes out the same whichever rectangle it is computed
// with, and scrolling moves the shown pixels without changing them.
//
// The rows can be computed as the picture's rows are made: addRows() is
// called while a pass over the picture writes its rows (one thread per run
// of rows), and computes every grid row whose picture rows that run has
// finished, still in the cache; finish() computes what is left.
class Reduction
{
public:
    Reduction() = default;
    Reduction(const QSize &pictureSize, const QSize &gridSize, const QRect &target);
    // Moved, never copied: a copy would write the same rows.
    Reduction(Reduction &&) = default;
    Reduction &operator=(Reduction &&) = default;
    Reduction(const Reduction &) = delete;
    Reduction &operator=(const Reduction &) = delete;

    QRect target() const { return area; }
    bool isNull() const { return result.isNull(); }

    // Computes the grid rows that lie wholly in the picture rows
    // [runBegin, end), which this thread wrote, and are not yet computed.
    // Runs of rows of different threads must not overlap.
    void addRows(const QImage &picture, int runBegin, int end);

    // Computes the rows still missing from picture, complete now, and gives
    // the reduction: Format_ARGB32_Premultiplied of the target's size (RGB32
    // where the picture has no alpha), in the picture's colour space. The
    // reduction is null after (its target stays).
    QImage finish(const QImage &picture);

private:
    using Span = ReductionSpan;
    static std::vector<Span> spansOf(int begin, int end, int picture, int grid,
                                     std::vector<quint16> &weights);
    static void pairColumns(std::vector<Span> &spans, std::vector<quint16> &weights);
    void computeRow(const QImage &picture, int row);

    QRect area;
    std::vector<Span> rows;
    std::vector<Span> columns;
    std::vector<quint16> rowWeights;
    std::vector<quint16> columnWeights;
    std::vector<char> done;
    QImage result;
    uchar *bits = nullptr;
    qsizetype bytesPerLine = 0;
    const RowKernels::TargetKernels *kernels = nullptr; // of the target in use
};

// The part of picture (clipped to it) as premultiplied 0xAARRGGBB words,
// each row as the reduction reads it, through the row kernels where they
// can: Format_RGB32 where the picture has no alpha, else
// Format_ARGB32_Premultiplied, in the picture's colour space. Rows shared
// out to the thread pool.
QImage premultipliedPart(const QImage &picture, const QRect &part);
// Whether the reduction and premultipliedPart read rows of the format
// themselves (gray, 24 bits a pixel, 16 bits a channel), where the others
// but the 32-bit ones go through Qt's conversion.
bool readsRowsItself(QImage::Format format);

// The reduction of the part `target` of a grid of gridSize, rows shared out
// to the thread pool.
QImage reduceArea(const QImage &picture, const QSize &gridSize, const QRect &target);

} // namespace Lumivex
