#include "history.h"

#include <QHash>

namespace Lumivex {

namespace {

// How many entries of both lists hold each block of pixel data, and the
// bytes those blocks hold, each block counted once.
struct Sharing
{
    QHash<const uchar *, int> holders;
    qsizetype bytes = 0;
};

Sharing sharing(const QList<QImage> &undoStack, const QList<QImage> &redoStack)
{
    Sharing result;
    for (const QList<QImage> *list : {&undoStack, &redoStack}) {
        for (const QImage &image : *list) {
            if (image.isNull())
                continue;
            if (result.holders[image.constBits()]++ == 0)
                result.bytes += image.sizeInBytes();
        }
    }
    return result;
}

} // namespace

qsizetype historyBytes(const QList<QImage> &undoStack, const QList<QImage> &redoStack)
{
    return sharing(undoStack, redoStack).bytes;
}

void trimHistory(QList<QImage> &undoStack, const QList<QImage> &redoStack, qsizetype budget)
{
    Sharing held = sharing(undoStack, redoStack);
    qsizetype drop = 0;
    while (held.bytes > budget && undoStack.size() - drop > 1) {
        const QImage &oldest = undoStack.at(drop++);
        if (--held.holders[oldest.constBits()] == 0)
            held.bytes -= oldest.sizeInBytes();
    }
    undoStack.remove(0, drop);
}

} // namespace Lumivex
