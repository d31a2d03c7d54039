// Reading and writing image files, apart from the dialogs that name them.
#pragma once

#include "imagemetadata.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <atomic>

class QIODevice;

namespace Lumivex {

// Largest decoded image the editor reads, in MiB (100 megapixels at 32 bits
// per pixel fit). It is the image reader's limit for the whole process, set
// as the library is loaded.
inline constexpr int ImageAllocationLimitMiB = 512;

// The file dialogs' filters.
QString openFilter();
QString saveFilter();

// The formats the editor decodes, by the names the image reader gives them.
const QList<QByteArray> &readableFormats();

// The most bytes of an encoded image that are read, twice the allocation
// limit: no file that decodes within the limit is bigger but for junk.
inline constexpr qint64 MaxEncodedBytes = qint64(ImageAllocationLimitMiB) << 21;

// image without the text that holds photo metadata (Qt's PNG reader hands a
// file's raw profiles and XMP over as text, and its writer would write them
// back as they were): a view of its pixels, valid while image lives.
QImage withoutMetadataText(const QImage &image);

// Decodes the image that device holds from its current position to its end,
// at most MaxEncodedBytes. The format is judged by the content and must be one
// of readableFormats(); an image whose header announces more than the
// allocation limit is refused before decoding. The EXIF orientation is applied
// (from the file's metadata where Qt's reader leaves it: PNG and WebP), and
// palette and 1-bit images come back in 32 bits. Any failure, whatever the
// bytes, gives a null image. If metadata is given, it gets the file's metadata
// (see readMetadata()), or none on failure.
QImage readImage(QIODevice *device, ImageMetadata *metadata = nullptr);

// Reads the image file at path as readImage() does. Only a regular file (links
// followed) is read: a FIFO, device or directory gives a null image at once
// instead of blocking. Any failure gives a null image.
QImage readImageFile(const QString &path, ImageMetadata *metadata = nullptr);

// Why path may not be saved to, or an empty string if it may: its suffix
// must name a format that the editor both writes and reads, and the name,
// links followed, must not exist or be a regular file. Nothing is opened.
QString checkSaveTarget(const QString &path);

// The reason a save gives when it was cancelled in time.
QString saveCancelled();

// Puts bytes in the file at path, links followed, through a temporary file
// of a short name in the same folder, renamed over it once every byte has
// reached the disk. Returns an empty string on success, else why not; then
// the file is as it was and the temporary file is gone. When cancelled is
// set by the time the rename would begin, it returns saveCancelled() so.
QString commitBytes(const QByteArray &bytes, const QString &path,
                    const std::atomic<bool> *cancelled = nullptr);

// Writes image to path in the format that the path's suffix names. The whole
// file is encoded first, and an existing file is replaced only once every
// byte has reached the disk; otherwise it is left as it was, and no other file
// is left behind. Returns an empty string on success, else why the file was
// not written (e.g. the system's "No space left on device"). A JPEG, PNG, TIFF
// or WebP file gets metadata, fixed for the saved picture (see withMetadata()),
// and no other: text that Qt's reader handed over as the image's (a PNG's raw
// profiles, its XMP) is not written back. cancelled may be set from another
// thread: if it is before the file is replaced, nothing is, and
// saveCancelled() is returned.
QString writeImageFile(const QImage &image, const QString &path, const ImageMetadata &metadata = {},
                       const std::atomic<bool> *cancelled = nullptr);

} // namespace Lumivex
