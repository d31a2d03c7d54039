#include "history.h"

#include <QHash>

namespace Lumivex {

namespace {

// How many entries of both lists hold each block of pixel data.
QHash<const uchar *, int> sharers(const QList<QImage> &undoStack, const QList<QImage> &redoStack)
{
    QHash<const uchar *, int> count;
    for (const QList<QImage> *list : {&undoStack, &redoStack}) {
        for (const QImage &image : *list) {
            if (!image.isNull())
                ++count[image.constBits()];
        }
    }
    return count;
}

} // namespace

qsizetype historyBytes(const QList<QImage> &undoStack, const QList<QImage> &redoStack)
{
    QHash<const uchar *, int> count = sharers(undoStack, redoStack);
    qsizetype bytes = 0;
    for (const QList<QImage> *list : {&undoStack, &redoStack}) {
        for (const QImage &image : *list) {
            if (!image.isNull() && count.take(image.constBits()) > 0)
                bytes += image.sizeInBytes();
        }
    }
    return bytes;
}

void trimHistory(QList<QImage> &undoStack, const QList<QImage> &redoStack, qsizetype budget)
{
    qsizetype bytes = historyBytes(undoStack, redoStack);
    if (bytes <= budget)
        return;
    QHash<const uchar *, int> count = sharers(undoStack, redoStack);
    qsizetype drop = 0;
    while (bytes > budget && undoStack.size() - drop > 1) {
        const QImage &oldest = undoStack.at(drop++);
        if (--count[oldest.constBits()] == 0)
            bytes -= oldest.sizeInBytes();
    }
    undoStack.remove(0, drop);
}

} // namespace Lumivex
