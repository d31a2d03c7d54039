// Quarter turns that keep what the picture carries besides its pixels, and
// one that holds the picture once, not twice: a photo of several hundred
// megabytes turned on open by its orientation tag.
#pragma once

#include <QImage>

namespace Lumivex {

// image turned a quarter clockwise or counter-clockwise, as QImage turns it,
// keeping its colour space and text.
QImage quarterTurned(const QImage &image, bool clockwise);

// The image turned a quarter clockwise. A 32-bit image that owns its pixels
// alone is turned within its own buffer, which the result then keeps alive,
// with a sixteenth of it or less besides; any other is turned by
// quarterTurned. The columns are cut into strips, the strips gathered each into one
// block, and each block turned through the spare buffer: a turned strip is
// the band of result rows that its block's place holds. Either way the
// result keeps the resolution, offset, colour space and text.
QImage rotatedClockwise(QImage image);

} // namespace Lumivex
