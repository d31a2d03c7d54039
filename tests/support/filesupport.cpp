// The file builders and the scratch folder of the tests.
#include "filesupport.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>

namespace TestSupport {

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool ScratchFolder::renewFolder()
{
    dir = std::make_unique<QTemporaryDir>();
    return dir->isValid();
}

QString ScratchFolder::file(const QString &name) const
{
    return dir->filePath(name);
}

QByteArray encoded(const QImage &image, const char *format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    return writer.write(image) ? bytes : QByteArray();
}

quint32 crc32(const char *data, qsizetype size)
{
    quint32 crc = 0xffffffffu;
    for (qsizetype i = 0; i < size; ++i) {
        crc ^= quint8(data[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray jpegWithOrientation(const QImage &image, int orientation)
{
    // APP1 of 34 bytes: "Exif", a little-endian TIFF header and one IFD
    // entry, tag 0x0112 (SHORT, one value), then no next IFD.
    QByteArray exif("\xff\xe1\x00\x22"
                    "Exif\0\0"
                    "II\x2a\x00\x08\x00\x00\x00"
                    "\x01\x00\x12\x01\x03\x00\x01\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00",
                    36);
    exif[28] = char(orientation);
    return encoded(image, "jpeg").insert(2, exif);
}

// The pixel data is LZW-coded without compression: literal codes only, with a
// clear code before the table would grow past the initial code width.
QByteArray gifFile(int width, int height, const QList<QRgb> &palette, const QList<int> &indexes,
                   int transparent, bool interlaced)
{
    int bits = 1;
    while ((1 << bits) < palette.size())
        ++bits;
    QByteArray gif("GIF89a");
    auto put16 = [&gif](int value) { gif.append(char(value & 0xff)).append(char(value >> 8)); };
    put16(width);
    put16(height);
    gif.append(char(0x80 | (bits - 1) << 4 | (bits - 1)));
    gif.append(2, '\0'); // background colour, aspect ratio
    for (int i = 0; i < (1 << bits); ++i) {
        const QRgb colour = palette.value(i);
        gif.append(char(qRed(colour))).append(char(qGreen(colour))).append(char(qBlue(colour)));
    }
    if (transparent >= 0)
        gif.append("\x21\xf9\x04\x01\x00\x00", 6).append(char(transparent)).append('\0');
    gif.append(char(0x2c));
    for (const int value : {0, 0, width, height}) // left, top, width, height
        put16(value);
    gif.append(char(interlaced ? 0x40 : 0));

    const int minimum = qMax(2, bits);
    const int clear = 1 << minimum;
    QByteArray codes;
    quint32 pending = 0;
    int pendingBits = 0;
    auto emitCode = [&](int code) {
        pending |= quint32(code) << pendingBits;
        for (pendingBits += minimum + 1; pendingBits >= 8; pendingBits -= 8, pending >>= 8)
            codes.append(char(pending & 0xff));
    };
    QList<int> rows; // in the order they are stored
    const QList<std::pair<int, int>> passes{{0, 8}, {4, 8}, {2, 4}, {1, 2}};
    for (const auto &[start, step] : interlaced ? passes : QList<std::pair<int, int>>{{0, 1}}) {
        for (int y = start; y < height; y += step)
            rows.append(y);
    }
    int literals = 0;
    emitCode(clear);
    for (const int y : rows) {
        for (int x = 0; x < width; ++x) {
            emitCode(indexes.at(y * width + x));
            if (++literals == clear - 2) {
                emitCode(clear);
                literals = 0;
            }
        }
    }
    emitCode(clear + 1);
    if (pendingBits > 0)
        codes.append(char(pending & 0xff));
    gif.append(char(minimum));
    for (qsizetype at = 0; at < codes.size(); at += 255) {
        const QByteArray block = codes.mid(at, 255);
        gif.append(char(block.size())).append(block);
    }
    gif.append('\0').append(char(0x3b));
    return gif;
}

} // namespace TestSupport
