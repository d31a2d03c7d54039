// The memory bound of the edit history.
#pragma once

#include <QImage>
#include <QList>

namespace Lumivex {

// Pixel data the history may hold before its oldest entries are dropped:
// ten steps back on a 24-megapixel photo (96 MB a step), while a picture at
// the reader's allocation limit still keeps two.
inline constexpr qsizetype HistoryBudgetBytes = qsizetype(1) << 30;

// Bytes of pixel data held by the images of both lists, as
// QImage::sizeInBytes() counts them; images that share their data count once.
qsizetype historyBytes(const QList<QImage> &undoStack, const QList<QImage> &redoStack);

// Drops the oldest entries of undoStack while both lists together hold more
// than budget bytes. The newest entry of undoStack is always kept.
void trimHistory(QList<QImage> &undoStack, const QList<QImage> &redoStack,
                 qsizetype budget = HistoryBudgetBytes);

} // namespace Lumivex
