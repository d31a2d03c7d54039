// Sizes of the zoomed view, kept apart from the widgets so they can be tested alone.
#pragma once

#include <QSize>

namespace Lumivex {

// One zoom step multiplies or divides the factor by this.
inline constexpr double ZoomStep = 1.25;

// The size at which the view shows an image of imageSize at zoom factor:
// the image scaled to fit (keeping its proportions) inside the target
// (width × factor, height × factor, each truncated toward zero), at least one
// pixel a side, or 0 by 0 when the target is empty. A target side beyond
// sideLimit, the largest side a view can take, is held at that limit.
// (The editor passes the widget size limit; this library knows no widgets.)
QSize zoomedViewSize(const QSize &imageSize, double factor, int sideLimit);

// Whether a view of imageSize at factor stays within sideLimit (and so
// within an int) on both sides. A factor that is zero or not finite never
// fits.
bool zoomFits(const QSize &imageSize, double factor, int sideLimit);

} // namespace Lumivex
