#include "reduction.h"

#include "parallelrows.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Lumivex {

namespace {

struct Span
{
    int first = 0;
    std::vector<double> weights;
};

// The picture pixels under output cell `i` of the scaled grid and the length
// of each under it, in picture pixels.
Span spanOf(int i, double scale, int size)
{
    const double a = std::clamp(i / scale, 0.0, double(size));
    const double b = std::clamp((i + 1) / scale, 0.0, double(size));
    Span span;
    span.first = int(std::floor(a));
    for (int p = span.first; p < size && p < b; ++p) {
        const double w = std::min(b, p + 1.0) - std::max(a, double(p));
        if (w > 0)
            span.weights.push_back(w);
        else if (span.weights.empty())
            ++span.first;
    }
    return span;
}

} // namespace

// QImage::scaled() with Qt::SmoothTransformation averages by area too, but only
// over a whole image: it cannot compute a part of the scaled grid, so the view
// would have to scale the whole picture for every repaint. This computes any
// rectangle of that grid, in doubles, the same wherever it is cut.
void reduceRows(const QImage &source, double scale, const QRect &target, QImage *out, int y0,
                int y1)
{
    std::vector<Span> columns(size_t(target.width()));
    for (int x = 0; x < target.width(); ++x)
        columns[size_t(x)] = spanOf(target.left() + x, scale, source.width());
    for (int y = y0; y < y1; ++y) {
        const Span row = spanOf(target.top() + y, scale, source.height());
        auto *dst = reinterpret_cast<QRgb *>(out->scanLine(y));
        for (int x = 0; x < target.width(); ++x) {
            const Span &col = columns[size_t(x)];
            double sum[4] = {0, 0, 0, 0};
            double area = 0;
            for (size_t j = 0; j < row.weights.size(); ++j) {
                const auto *src =
                        reinterpret_cast<const QRgb *>(source.constScanLine(row.first + int(j)));
                for (size_t k = 0; k < col.weights.size(); ++k) {
                    const double w = row.weights[j] * col.weights[k];
                    const QRgb p = src[col.first + int(k)];
                    sum[0] += w * qAlpha(p);
                    sum[1] += w * qRed(p);
                    sum[2] += w * qGreen(p);
                    sum[3] += w * qBlue(p);
                    area += w;
                }
            }
            if (area <= 0) {
                dst[x] = 0;
                continue;
            }
            auto level = [&](int c) { return int(std::lround(sum[c] / area)); };
            dst[x] = qRgba(level(1), level(2), level(3), level(0));
        }
    }
}

QImage reduceArea(const QImage &source, double scale, const QRect &target)
{
    QImage out(target.size(), QImage::Format_ARGB32_Premultiplied);
    if (out.isNull() || !(scale > 0 && scale < 1))
        return out;
    const QImage src = source.format() == QImage::Format_ARGB32_Premultiplied
                               ? source
                               : source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    forEachSegment(target.height(), qint64(target.width()) * target.height(),
                   [&](int y0, int y1) { reduceRows(src, scale, target, &out, y0, y1); });
    return out;
}

} // namespace Lumivex
