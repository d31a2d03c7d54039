// Sharing the rows of one image out to the global thread pool.
#pragma once

#include <QtGlobal>

#include <functional>

namespace Lumivex {

// Calls segment(y0, y1) over [0, height) in segments of rows, on the calling
// thread and idle threads of the global pool when the image (pixels in all)
// is large enough to gain from it, and returns when all are done. Segments never overlap, so each
// may write its own rows without locking. Called from a pool thread, it
// runs everything on that thread instead of waiting on its own pool.
void forEachSegment(int height, qint64 pixels, const std::function<void(int, int)> &segment);

} // namespace Lumivex
