#include "rowdriver.h"

#include "parallelrows.h"
#include "pixelrows.h"

#include <QColor>
#include <QColorSpace>

#include <hwy/cache_control.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace Lumivex {
namespace RowDriver {

namespace {

enum class RowPath {
    Words,              // RGB32, ARGB32: the kernels run on the scanlines
    RgbaWords,          // RGBX8888, RGBA8888: so do their R, G, B, A kernels
    PremultipliedWords, // ARGB32_Premultiplied: unpremultiplied in place first
    Converted,          // through a row of words, with the format's adapters
    ByteTable,          // Grayscale8: a table of all 256 values
    WordTable,          // Grayscale16: a table of all 65536 values
    Generic             // pixelColor / setPixelColor
};

// Pixels per piece of a converted row (a multiple of every vector width).
constexpr int ConvertedPiece = 512;

using FetchRow = void (*)(const uchar *, quint32 *, int);
using StoreRow = void (*)(const quint32 *, uchar *, int);

// How the rows of one image are read and written.
struct RowPlan
{
    RowPath path = RowPath::Generic;
    FetchRow fetch = nullptr; // Converted only
    StoreRow store = nullptr; // Converted only
    bool unpremultiplies = false;
    // Converted only: the vector adapters, used instead of fetch and store.
    RowKernels::FetchBytesFunction fetchBytes = nullptr;
    RowKernels::StoreBytesFunction storeBytes = nullptr;
    // The premultiplied formats, where pixelColor reads an opaque pixel as
    // it is (else null): the test of a piece for opaque pixels only, which
    // the kernel then runs on as it lies (see runRows).
    RowKernels::OpaqueFunction opaque = nullptr;
    // RGBA64_Premultiplied: the same test on a piece's bytes, and the fetch
    // of such a piece (RGBA64's).
    RowKernels::OpaqueBytesFunction opaqueBytes = nullptr;
    RowKernels::FetchBytesFunction fetchOpaqueBytes = nullptr;
    // Converted only: the adapters ask for the lines ahead themselves.
    bool asksAhead = false;
};

RowPlan rowPlanFor(const QImage &image, const RowOperation &operation)
{
    const RowKernels::TargetKernels *kernels = operation.kernels;
    using namespace PixelRows;
    const auto converted = [](FetchRow fetch, StoreRow store, bool unpremultiplies = false) {
        return RowPlan{RowPath::Converted, fetch, store, unpremultiplies};
    };
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        return {RowPath::Words};
    case QImage::Format_ARGB32_Premultiplied: {
        RowPlan plan{RowPath::PremultipliedWords, nullptr, nullptr, true};
        if (kernels && opaqueUnchanged())
            plan.opaque = kernels->opaque;
        return plan;
    }
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
        return operation.runsOnRgba() ? RowPlan{RowPath::RgbaWords}
                                      : converted(fetchRgba8888, storeRgba8888);
    case QImage::Format_RGBA8888_Premultiplied: {
        RowPlan plan = converted(fetchRgba8888Premultiplied, storeRgba8888, true);
        if (kernels) {
            plan.storeBytes = kernels->storeRgba8888;
            if (operation.runsOnRgba() && opaqueUnchanged())
                plan.opaque = kernels->opaque;
        }
        return plan;
    }
    case QImage::Format_RGB888: {
        RowPlan plan = converted(fetchRgb888, storeRgb888);
        if (kernels) {
            plan.fetchBytes = kernels->fetchRgb888;
            plan.storeBytes = kernels->storeRgb888;
            plan.asksAhead = true;
        }
        return plan;
    }
    case QImage::Format_BGR888: {
        RowPlan plan = converted(fetchBgr888, storeBgr888);
        if (kernels) {
            plan.fetchBytes = kernels->fetchBgr888;
            plan.storeBytes = kernels->storeBgr888;
            plan.asksAhead = true;
        }
        return plan;
    }
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied: {
        const bool premultiplied = image.format() == QImage::Format_RGBA64_Premultiplied;
        RowPlan plan =
                converted(premultiplied ? fetchRgba64Premultiplied : fetchRgba64, storeRgba64);
        if (kernels) {
            plan.fetchBytes = premultiplied ? nullptr : kernels->fetchRgba64;
            plan.storeBytes = kernels->storeRgba64;
            plan.asksAhead = true;
            if (premultiplied) {
                plan.opaqueBytes = kernels->opaqueRgba64;
                plan.fetchOpaqueBytes = kernels->fetchRgba64;
            }
        }
        return plan;
    }
    case QImage::Format_Grayscale8:
        return {RowPath::ByteTable};
    case QImage::Format_Grayscale16:
        // Filling the table costs as much as doing 65536 pixels one by one.
        return {qint64(image.width()) * image.height() > 65536 ? RowPath::WordTable
                                                               : RowPath::Generic};
    default:
        return {RowPath::Generic};
    }
}

// The result for every value of an 8-bit gray format, found by running the
// literal per-pixel code (reference) over an image holding each value once.
// The result of a pixel depends on its own value only, so this is exact.
std::vector<quint8> grayByteTable(const QImage &like, const ReferenceOperation &reference)
{
    QImage all(256, 1, like.format());
    all.setColorSpace(like.colorSpace());
    for (int v = 0; v < 256; ++v)
        all.scanLine(0)[v] = uchar(v);
    const QImage result = reference(all);
    return std::vector<quint8>(result.constScanLine(0), result.constScanLine(0) + 256);
}

// The same for 16-bit gray values: a pixel's result depends only on the
// 8-bit value that pixelColor reads of it, so the literal code runs on one
// pixel of each such value. (6000x4000 Grayscale16 adjust: filling the table
// from every 16-bit value took 2.9 ms of it, so 0.95 ms, most of that on
// reading each value's 8 bits through pixelColor, the same for every
// picture of the format; read once, the whole adjustment went from 7.7-7.8
// to 6.6-6.9 ms.)
std::vector<quint16> grayWordTable(const QImage &like, const ReferenceOperation &reference)
{
    // The 8 bits pixelColor reads of each 16-bit value.
    static const std::vector<quint8> read = [] {
        QImage all(256, 256, QImage::Format_Grayscale16);
        for (int y = 0; y < all.height(); ++y) {
            auto *line = reinterpret_cast<quint16 *>(all.scanLine(y));
            for (int x = 0; x < all.width(); ++x)
                line[x] = quint16(y * 256 + x);
        }
        std::vector<quint8> values(65536);
        for (int value = 0; value < 65536; ++value)
            values[size_t(value)] = quint8(all.pixelColor(value % 256, value / 256).red());
        return values;
    }();
    QImage some(256, 1, like.format());
    some.setColorSpace(like.colorSpace());
    some.fill(0);
    auto *line = reinterpret_cast<quint16 *>(some.scanLine(0));
    std::array<bool, 256> seen{};
    for (int value = 0; value < 65536; ++value) {
        const quint8 gray = read[size_t(value)];
        if (!seen[gray]) {
            seen[gray] = true;
            line[gray] = quint16(value);
        }
    }
    const QImage result = reference(some);
    const auto *results = reinterpret_cast<const quint16 *>(result.constScanLine(0));
    std::vector<quint16> table(65536);
    for (size_t value = 0; value < table.size(); ++value)
        table[value] = results[read[value]];
    return table;
}

// Asks for the cache lines of the length bytes that follow the length
// bytes at from: the next piece of a row, or the start of the next row,
// which comes next (a prefetch never faults, wherever it points).
void prefetchLines(const uchar *from, qsizetype length)
{
    const auto next = reinterpret_cast<uintptr_t>(from) + uintptr_t(length);
    for (uintptr_t k = 0; k < uintptr_t(length); k += 64)
        hwy::Prefetch(reinterpret_cast<const uchar *>(next + k));
}

} // namespace

void runRows(const QImage &src, uchar *dstBits, qsizetype dstBytesPerLine,
             const RowOperation &operation, const ReferenceOperation &reference)
{
    const RowPlan plan = rowPlanFor(src, operation);
    const RowPath path = plan.path;
    const int width = src.width();
    const uchar *srcBits = src.constBits();
    const qsizetype srcBytesPerLine = src.bytesPerLine();
    const qsizetype pixelBytes = (qsizetype(width) * src.depth() + 7) / 8;

    if (plan.unpremultiplies)
        PixelRows::prepareUnpremultiply();
    std::vector<quint8> table8;
    std::vector<quint16> table16;
    if (path == RowPath::ByteTable)
        table8 = grayByteTable(src, reference);
    else if (path == RowPath::WordTable)
        table16 = grayWordTable(src, reference);

    const qsizetype pieceBytes = qsizetype(ConvertedPiece) * src.depth() / 8;
    forEachSegment(src.height(), qint64(width) * src.height(), [&](int y0, int y1) {
        std::unique_ptr<uint32_t[]> temp;
        if (path != RowPath::Words && path != RowPath::RgbaWords)
            temp.reset(new uint32_t[size_t(width)]);
        QImage generic;
        if (path == RowPath::Generic) {
            generic = QImage(width, 1, src.format());
            generic.setColorSpace(src.colorSpace());
        }

        for (int y = y0; y < y1; ++y) {
            const uchar *s = srcBits + y * srcBytesPerLine;
            uchar *d = dstBits + y * dstBytesPerLine;
            auto *dWords = reinterpret_cast<uint32_t *>(d);
            switch (path) {
            case RowPath::Words:
                operation(reinterpret_cast<const uint32_t *>(s), dWords, width);
                break;
            case RowPath::RgbaWords:
                // (6000x4000 adjust, AVX3_DL: 1.55 times RGB32's time through
                // the vector fetch and store, as a converted row; 1.0 so.)
                operation.onRgba(reinterpret_cast<const uint32_t *>(s), dWords, width);
                break;
            case RowPath::PremultipliedWords:
                // An opaque piece (most of a photo) is what pixelColor reads
                // and goes to the kernel as it is; the others are
                // unpremultiplied into the row buffer first. (6000x4000
                // opaque adjust, AVX3_DL: 1.76 times RGB32's time with the
                // whole row unpremultiplied in place first, 1.15 so.)
                for (int x = 0; x < width; x += ConvertedPiece) {
                    const int n = std::min(ConvertedPiece, width - x);
                    const auto *piece = reinterpret_cast<const uint32_t *>(s) + x;
                    if (plan.opaque && plan.opaque(piece, size_t(n))) {
                        operation(piece, dWords + x, n);
                    } else {
                        PixelRows::fetchArgb32Premultiplied(piece, temp.get(), n);
                        operation(temp.get(), dWords + x, n);
                    }
                }
                break;
            case RowPath::Converted:
                // A piece of the row at a time, so that its words stay in
                // the first-level cache and the reads of the scanline go
                // along with the writes (6000x4000 RGB888 adjust, best of
                // 15 on a busy two-core machine: whole rows 1.58-1.79 times
                // RGB32's time, pieces of 256 or 512 pixels 1.30-1.62).
                for (int x = 0; x < width; x += ConvertedPiece) {
                    const int n = std::min(ConvertedPiece, width - x);
                    const qsizetype offset = qsizetype(x) * src.depth() / 8;
                    // An opaque piece of premultiplied RGBA8888 as above: the
                    // R, G, B, A kernel on its bytes as they lie (6000x4000
                    // opaque adjust, AVX3_DL: 3.4 times RGB32's time through
                    // the unpremultiplying fetch, 1.8 through the plain one,
                    // 1.2 so).
                    const auto *words = reinterpret_cast<const uint32_t *>(s + offset);
                    if (plan.opaque && plan.opaque(words, size_t(n))) {
                        operation.onRgba(words, reinterpret_cast<uint32_t *>(d + offset), n);
                        continue;
                    }
                    // The lines of the next piece of both rows, asked for
                    // now: the adapters' loads and stores do not wait on
                    // them then (6000x4000 RGB888 adjust, AVX3_DL, on a
                    // machine whose own prefetching left them waiting: 1.53
                    // times RGB32's time without, 1.24 with). The vector
                    // fetches and stores of 24- and 64-bit rows ask as
                    // they go instead (on a Zen 4 core the burst made
                    // RGB888 1.66-1.81 times RGB32's time, asking as they
                    // go 1.27-1.35, on AVX2 and AVX3_DL alike).
                    if (!plan.asksAhead) {
                        prefetchLines(s + offset, pieceBytes);
                        prefetchLines(d + offset, pieceBytes);
                    }
                    // An opaque piece of RGBA64_Premultiplied, as RGBA64's
                    // (6000x4000 opaque adjust, AVX3_DL: 6.3 times RGB32's
                    // time through the unpremultiplying fetch, 2.8 so).
                    if (plan.opaqueBytes && plan.opaqueBytes(s + offset, size_t(n)))
                        plan.fetchOpaqueBytes(s + offset, temp.get(), size_t(n));
                    else if (plan.fetchBytes)
                        plan.fetchBytes(s + offset, temp.get(), size_t(n));
                    else
                        plan.fetch(s + offset, temp.get(), n);
                    operation(temp.get(), temp.get(), n);
                    if (plan.storeBytes)
                        plan.storeBytes(temp.get(), d + offset, size_t(n));
                    else
                        plan.store(temp.get(), d + offset, n);
                }
                break;
            case RowPath::ByteTable:
                if (operation.kernels) {
                    operation.kernels->lookUpBytes(s, d, size_t(width), table8.data());
                } else {
                    for (int x = 0; x < width; ++x)
                        d[x] = table8[s[x]];
                }
                break;
            case RowPath::WordTable: {
                // The table's address in a local: a store through d may
                // change any byte, the vector's own included, and the
                // compiler read it again after each (6000x4000 Grayscale16
                // adjust: 11.4 ms, 9.5 so).
                const quint16 *table = table16.data();
                for (int x = 0; x < width; ++x) {
                    quint16 v;
                    std::memcpy(&v, s + 2 * qsizetype(x), 2);
                    std::memcpy(d + 2 * qsizetype(x), &table[v], 2);
                }
                break;
            }
            case RowPath::Generic: {
                // Reads through the const pixelColor (safe from several
                // threads); writes through setPixelColor on this band's own
                // one-row image, whose bytes are then copied to the scanline.
                for (int x = 0; x < width; ++x) {
                    const QColor c = src.pixelColor(x, y);
                    temp[x] = qRgb(c.red(), c.green(), c.blue());
                }
                operation(temp.get(), temp.get(), width);
                for (int x = 0; x < width; ++x) {
                    const uint32_t p = temp[x];
                    generic.setPixelColor(x, 0, QColor(qRed(p), qGreen(p), qBlue(p)));
                }
                std::memcpy(d, generic.constScanLine(0), size_t(pixelBytes));
                break;
            }
            }
            if (operation.written && ((y + 1 - y0) % RowOperation::WrittenBand == 0 || y + 1 == y1))
                operation.written(y0, y + 1);
        }
    });
}

} // namespace RowDriver
} // namespace Lumivex
