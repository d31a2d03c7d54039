// Reading and writing image files, apart from the dialogs that name them.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

class QIODevice;

namespace Lumivex {

// Largest decoded image the editor reads, in MiB (100 megapixels at 32 bits
// per pixel fit).
inline constexpr int ImageAllocationLimitMiB = 512;

// The file dialogs' filters.
QString openFilter();
QString saveFilter();

// The formats the editor decodes, by the names the image reader gives them.
const QList<QByteArray> &readableFormats();

// Decodes the image that device holds from its current position. The format
// is judged by the content and must be one of readableFormats(); an image
// whose header announces more than the allocation limit is refused before
// decoding. The orientation tag is applied, and palette and 1-bit images come
// back in 32 bits. Any failure, whatever the bytes, gives a null image.
QImage readImage(QIODevice *device);

// Reads the image file at path as readImage() does. Only a regular file (links
// followed) is read: a FIFO, device or directory gives a null image at once
// instead of blocking. Any failure gives a null image.
QImage readImageFile(const QString &path);

// Writes image to path in the format that the path's suffix names. The whole
// file is encoded first, and an existing file is replaced only once every
// byte has reached the disk; otherwise it is left as it was, and no other file
// is left behind. Returns an empty string on success, else why the file was
// not written (e.g. the system's "No space left on device").
QString writeImageFile(const QImage &image, const QString &path);

} // namespace Lumivex
