// From pointer positions on the view to pixels of the picture, kept apart
// from the widgets so they can be tested alone.
#pragma once

class QPoint;
class QPointF;
class QRect;
class QSize;

namespace Lumivex {

// A pointer position as a whole pixel: halves round away from zero, and
// positions beyond the int range are held at its ends.
QPoint roundedPosition(const QPointF &position);

// The pixels of an image of imageSize under a box dragged between the view
// points a and b (in any order, both corner pixels included), where the view
// of viewSize shows the whole image stretched to its size. Empty when the
// view is empty or the box misses the image.
QRect imageRegionForViewBox(const QPoint &a, const QPoint &b, const QSize &viewSize,
                            const QSize &imageSize);

} // namespace Lumivex
