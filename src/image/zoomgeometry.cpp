#include "zoomgeometry.h"

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

} // namespace Lumivex
