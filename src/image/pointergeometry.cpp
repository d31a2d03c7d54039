#include "pointergeometry.h"

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

#include <algorithm>
#include <climits>
#include <cmath>

namespace Lumivex {

namespace {

// One edge of the region: trunc(viewCoordinate × scale), held within
// [-1, limit + 1] so that the conversion to int is always defined; the
// intersection with the image discards anything outside.
int imageEdge(qint64 viewCoordinate, double scale, int limit)
{
    return int(std::clamp(std::trunc(double(viewCoordinate) * scale), -1.0, limit + 1.0));
}

} // namespace

QPoint roundedPosition(const QPointF &position)
{
    // Rounded exactly, halves away from zero, and held to the int range.
    // (QPointF::toPoint() adds a signed half and truncates on some
    // platforms, rounding 0.49999999999999994 up there, and rounds exactly
    // on others, arm64 among them.)
    const auto rounded = [](double v) {
        return std::isnan(v) ? INT_MIN
                             : int(std::clamp(std::round(v), double(INT_MIN), double(INT_MAX)));
    };
    return QPoint(rounded(position.x()), rounded(position.y()));
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
