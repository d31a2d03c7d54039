#include "parallelrows.h"

#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <algorithm>

namespace Lumivex {

namespace {

// Pixels per segment, as Qt's own image conversions use. TODO measure
constexpr int SegmentShift = 16;

} // namespace

void forEachSegment(int height, qint64 pixels, const std::function<void(int, int)> &segment)
{
    QThreadPool *pool = QThreadPool::globalInstance();
    const int segments = int(std::min<qint64>(pixels >> SegmentShift, height));
    if (segments <= 1 || !pool || pool->maxThreadCount() < 2
        || pool->contains(QThread::currentThread())) {
        segment(0, height);
        return;
    }
    QSemaphore done;
    int y = 0;
    for (int i = 0; i < segments; ++i) {
        const int rows = (height - y) / (segments - i);
        pool->start([&segment, &done, y, rows] {
            segment(y, y + rows);
            done.release();
        });
        y += rows;
    }
    done.acquire(segments);
}

} // namespace Lumivex
