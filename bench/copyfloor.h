// The memory floor of one pass over a picture: its bytes read once and
// written once, into a buffer already touched, with the rows shared out to
// the thread pool exactly as the kernels share theirs. A kernel cannot beat
// it by much, so a ratio to it says how much a kernel does beyond moving
// the picture; a one-thread copy would flatter every kernel that runs on
// all the cores.
#pragma once

#include "parallelrows.h"

#include <QElapsedTimer>
#include <QImage>
#include <QThreadPool>

#include <cstring>

namespace LumivexBench {

// The threads the floor and the kernels share their rows over.
inline int floorThreads()
{
    return QThreadPool::globalInstance()->maxThreadCount();
}

// Milliseconds to copy source into target, which has the same size and
// format and has been written before (so no page is first touched here).
inline double copyFloorMs(const QImage &source, QImage &target)
{
    const uchar *from = source.constBits();
    uchar *to = target.bits(); // detaches, if it must, before the clock starts
    const auto rowBytes = size_t(source.bytesPerLine());
    QElapsedTimer timer;
    timer.start();
    Lumivex::forEachSegment(source.height(), qint64(source.width()) * source.height(),
                            [&](int y0, int y1) {
                                std::memcpy(to + y0 * rowBytes, from + y0 * rowBytes,
                                            size_t(y1 - y0) * rowBytes);
                            });
    return double(timer.nsecsElapsed()) / 1e6;
}

// A target for copyFloorMs: a deep copy of source, so every page is touched.
inline QImage floorTarget(const QImage &source)
{
    return source.copy();
}

} // namespace LumivexBench
