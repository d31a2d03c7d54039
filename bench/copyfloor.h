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

// Milliseconds to run pass(byteOffset, bytes) over the rows of image, shared
// out to the thread pool as the kernels share theirs.
template<class Pass>
double timedRowsMs(const QImage &image, const Pass &pass)
{
    const auto rowBytes = size_t(image.bytesPerLine());
    QElapsedTimer timer;
    timer.start();
    Lumivex::forEachSegment(image.height(), qint64(image.width()) * image.height(),
                            [&](int y0, int y1) {
                                pass(size_t(y0) * rowBytes, size_t(y1 - y0) * rowBytes);
                            });
    return double(timer.nsecsElapsed()) / 1e6;
}

// Milliseconds to copy source into target, which has the same size and
// format and has been written before (so no page is first touched here).
inline double copyFloorMs(const QImage &source, QImage &target)
{
    const uchar *from = source.constBits();
    uchar *to = target.bits(); // detaches, if it must, before the clock starts
    return timedRowsMs(source, [&](size_t offset, size_t bytes) {
        std::memcpy(to + offset, from + offset, bytes);
    });
}

// The floor of a pass in place (the filters'): milliseconds to read and
// write back every byte of image, rows shared out as copyFloorMs shares
// them. It is lower than the copy's, which also reads each line of its
// target before writing it: a filter's time over the copy floor would
// flatter it.
inline double inPlaceFloorMs(QImage &image)
{
    uchar *bits = image.bits(); // detaches, if it must, before the clock starts
    return timedRowsMs(image, [&](size_t offset, size_t bytes) {
        // Each byte turned over (a real write), 64 at a time: 8 at a time,
        // one write a cycle, was no faster than the memory here.
        using Block = quint32 __attribute__((vector_size(64)));
        uchar *begin = bits + offset;
        size_t i = 0;
        for (; i + sizeof(Block) <= bytes; i += sizeof(Block)) {
            Block block;
            std::memcpy(&block, begin + i, sizeof block);
            block = ~block;
            std::memcpy(begin + i, &block, sizeof block);
        }
        for (; i < bytes; ++i)
            begin[i] = uchar(~begin[i]);
    });
}

// A target for copyFloorMs: a deep copy of source, so every page is touched.
inline QImage floorTarget(const QImage &source)
{
    return source.copy();
}

} // namespace LumivexBench
