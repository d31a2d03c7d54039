// How the rows of each pixel format reach the row kernels: straight on the
// scanlines, through a row of 0xAARRGGBB words with the format's fetch and
// store, through a table of all values, or through pixelColor and
// setPixelColor. The choice is made once per image.
#pragma once

#include "rowkernels.h"

#include <QImage>

#include <functional>

namespace Lumivex {
namespace RowDriver {

// One row operation on words: an adjustment with its prepared tables, or
// one of the filters, with the kernels of one target.
struct RowOperation
{
    RowKernels::AdjustRowFunction adjust = nullptr;
    const RowKernels::PreparedAdjustment *prepared = nullptr;
    RowKernels::FilterRowFunction filter = nullptr;
    // The same on words of rows of bytes R, G, B, A as they lie (see
    // RowKernels::TargetKernels::adjustRgba); may be null.
    RowKernels::AdjustRowFunction adjustRgba = nullptr;
    RowKernels::FilterRowFunction filterRgba = nullptr;
    // If set, called on the thread that wrote them as rows are finished:
    // rows [runBegin, end) of the result are written, where runBegin is the
    // first row that thread was given. Called every WrittenBand rows, so
    // that what it reads of them is still in the cache.
    std::function<void(int runBegin, int end)> written;
    static constexpr int WrittenBand = 8;
    // The kernels of the same target, for their three-byte row adapters;
    // without them those rows go through the scalar ones.
    const RowKernels::TargetKernels *kernels = nullptr;

    void operator()(const uint32_t *in, uint32_t *out, int count) const
    {
        if (adjust)
            adjust(in, out, size_t(count), *prepared);
        else
            filter(in, out, size_t(count));
    }

    bool runsOnRgba() const { return adjust ? adjustRgba != nullptr : filterRgba != nullptr; }
    void onRgba(const uint32_t *in, uint32_t *out, int count) const
    {
        if (adjust)
            adjustRgba(in, out, size_t(count), *prepared);
        else
            filterRgba(in, out, size_t(count));
    }
};

// The literal per-pixel code of the operation on a whole image.
using ReferenceOperation = std::function<QImage(const QImage &)>;

// Runs operation over every pixel of src, writing to the scanlines at
// dstBits (an image of src's size and format, which may be src itself), on
// several threads for large images. reference applies the same operation
// literally; it fills the tables of the one-channel formats.
void runRows(const QImage &src, uchar *dstBits, qsizetype dstBytesPerLine,
             const RowOperation &operation, const ReferenceOperation &reference);

} // namespace RowDriver
} // namespace Lumivex
