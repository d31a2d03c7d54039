// Area-averaged reduction of a picture for display below zoom 1.
#pragma once

#include <QImage>
#include <QRect>

namespace Lumivex {

// Reduces rows [y0, y1) of `target` (a rectangle of the grid of the whole
// picture scaled by `scale`, 0 < scale < 1) into `out`, whose row 0 is
// target.top(). Each picture pixel counts by the area of it under the
// output pixel. `source` must be ARGB32_Premultiplied; so is `out`.
void reduceRows(const QImage &source, double scale, const QRect &target, QImage *out, int y0,
                int y1);

// The reduction of the part `target` of the scaled grid, rows shared out to
// the global thread pool. Aligned to the whole grid, so a pixel shown is the
// same whichever visible part it is computed with.
QImage reduceArea(const QImage &source, double scale, const QRect &target);

} // namespace Lumivex
