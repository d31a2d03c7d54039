// The file helpers of the tests, the benchmarks and the fuzzer's seeds:
// files written and read byte for byte, a new empty folder for each test
// function, and image files built in memory (encoded by Qt, or by hand for
// what Qt does not write).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace TestSupport {

// Writes bytes to path as they are; whether all of them were written.
bool writeBytes(const QString &path, const QByteArray &bytes);

// The bytes of the file at path, or none when it cannot be read.
QByteArray readBytes(const QString &path);

// A new empty folder for each test function: the test class derives from
// it and calls renewFolder() from its init() slot.
class ScratchFolder
{
protected:
    bool renewFolder();
    QString file(const QString &name) const;

    std::unique_ptr<QTemporaryDir> dir;
};

// image encoded by Qt's writer for format (at quality, -1 the writer's
// default), or nothing when the writer fails.
QByteArray encoded(const QImage &image, const char *format, int quality = -1);

// The CRC-32 of PNG chunks (and zlib): reflected polynomial 0xedb88320.
quint32 crc32(const char *data, qsizetype size);
inline quint32 crc32(const QByteArray &bytes)
{
    return crc32(bytes.constData(), bytes.size());
}

// image as a JPEG whose Exif block carries the orientation tag (1 to 8).
QByteArray jpegWithOrientation(const QImage &image, int orientation);

// A GIF written by hand, since Qt only reads the format: one frame of
// width x height palette indexes (row by row), an optional transparent index
// (-1: none), optionally interlaced.
QByteArray gifFile(int width, int height, const QList<QRgb> &palette, const QList<int> &indexes,
                   int transparent = -1, bool interlaced = false);

} // namespace TestSupport
