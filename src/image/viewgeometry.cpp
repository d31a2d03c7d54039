#include "viewgeometry.h"

#include <QPoint>
#include <QPointF>
#include <QRect>

#include <algorithm>
#include <climits>
#include <cmath>

namespace Lumivex {

namespace {

// Truncates a scaled side toward zero, holding it within limit.
int scaledSide(int side, double factor, int limit)
{
    const double scaled = side * factor;
    if (!(scaled < double(limit)))
        return limit;
    return scaled > 0.0 ? int(scaled) : 0;
}

// One edge of the region: trunc(viewCoordinate × scale), held within
// [-1, limit + 1] so that the conversion to int is always defined; the
// intersection with the image discards anything outside.
int imageEdge(qint64 viewCoordinate, double scale, int limit)
{
    return int(std::clamp(std::trunc(double(viewCoordinate) * scale), -1.0, limit + 1.0));
}

} // namespace

QSize zoomedViewSize(const QSize &imageSize, double factor, int sideLimit)
{
    const QSize target(scaledSide(imageSize.width(), factor, sideLimit),
                       scaledSide(imageSize.height(), factor, sideLimit));
    if (target.isEmpty() || imageSize.isEmpty())
        return QSize(0, 0);
    const QSize fitted = imageSize.scaled(target, Qt::KeepAspectRatio);
    return QSize(qMax(fitted.width(), 1), qMax(fitted.height(), 1));
}

bool zoomFits(const QSize &imageSize, double factor, int sideLimit)
{
    if (!std::isfinite(factor) || factor <= 0.0)
        return false;
    return imageSize.width() * factor <= double(sideLimit)
           && imageSize.height() * factor <= double(sideLimit);
}

QPoint roundedPosition(const QPointF &position)
{
    // Qt's conversion adds a signed half and truncates; only the range is
    // left to hold.
    const auto held = [](double v) {
        return std::isnan(v) ? double(INT_MIN) : std::clamp(v, double(INT_MIN), double(INT_MAX));
    };
    return QPointF(held(position.x()), held(position.y())).toPoint();
}

QRect imageRegionForViewBox(const QPoint &a, const QPoint &b, const QSize &viewSize,
                            const QSize &imageSize)
{
    if (viewSize.isEmpty() || imageSize.isEmpty())
        return QRect();
    const double sx = double(imageSize.width()) / double(viewSize.width());
    const double sy = double(imageSize.height()) / double(viewSize.height());
    const int left = imageEdge(std::min(a.x(), b.x()), sx, imageSize.width());
    const int top = imageEdge(std::min(a.y(), b.y()), sy, imageSize.height());
    // Exclusive right and bottom: the edge one past the far corner pixel.
    const int rightEdge = imageEdge(qint64(std::max(a.x(), b.x())) + 1, sx, imageSize.width());
    const int bottomEdge = imageEdge(qint64(std::max(a.y(), b.y())) + 1, sy, imageSize.height());
    if (rightEdge <= left || bottomEdge <= top)
        return QRect();
    return QRect(QPoint(left, top), QPoint(rightEdge - 1, bottomEdge - 1))
           & QRect(QPoint(0, 0), imageSize);
}

} // namespace Lumivex
