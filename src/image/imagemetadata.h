// Photo metadata (EXIF, XMP, IPTC): read from an opened file, written fixed
// into a saved one.
#pragma once

#include <QByteArray>
#include <QSize>

namespace Lumivex {

// What a photo carries beside its pixels: its EXIF, XMP and IPTC, held as
// encoded blobs so that copies (one per history step) share them. The EXIF is
// a TIFF structure (byte-order mark first), the XMP a packet in UTF-8, the
// IPTC a run of IIM datasets. Nothing in it describes how the source file
// stored its pixels or its thumbnail: that is left out as it is read.
struct ImageMetadata
{
    QByteArray exif;
    QByteArray xmp;
    QByteArray iptc;

    bool isEmpty() const { return exif.isEmpty() && xmp.isEmpty() && iptc.isEmpty(); }
};

// The metadata of the JPEG, PNG (eXIf chunk or raw profile text), TIFF or
// WebP file whose whole content fileBytes is. Empty if it has none, if the
// file is of another kind, or if it cannot be parsed; never throws.
ImageMetadata readMetadata(const QByteArray &fileBytes);

// EXIF orientation 1..8 held in metadata, or 0 if none.
int exifOrientation(const ImageMetadata &metadata);

// encoded (a whole file in format "jpeg", "png", "tiff" or "webp", or by the
// writer's other names "jpg" and "tif") with metadata written into it, fixed
// for a saved picture of pixelSize: the orientation (EXIF and XMP) is 1, the
// pixel dimensions (in each of the EXIF and XMP that is written) are
// pixelSize, the EXIF thumbnail is dropped, and the file's own structure
// (TIFF tags, ICC profile) stays as the encoder wrote it. An XMP or IPTC
// block that cannot be parsed is left out. Returns encoded unchanged if
// metadata is empty, the format is another one, or exiv2 fails otherwise.
// WebP holds no IPTC, so a WebP file gets none.
QByteArray withMetadata(const QByteArray &encoded, const QByteArray &format,
                        const ImageMetadata &metadata, QSize pixelSize);

} // namespace Lumivex
