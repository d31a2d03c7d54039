#include "malformed.h"

#include "filesupport.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

#include <climits>

namespace Malformed {

using TestSupport::crc32;
using TestSupport::gifFile;

namespace {

constexpr quint32 Max31 = 0x7fffffff;

// A small picture with some structure for the encoders to work on.
QImage picture(int width, int height, QImage::Format format, bool alpha = false)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y,
                           qRgba((x * 37) & 255, (y * 53) & 255, ((x ^ y) * 29) & 255,
                                 alpha ? 255 - ((x + y) * 23) % 256 : 255));
        }
    }
    return image.convertToFormat(format);
}

// turned: stored with an orientation tag (a quarter turn) for the reader to apply.
QByteArray encode(const QImage &image, const char *format, int quality, int compression,
                  bool progressive, bool turned)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (compression >= 0)
        writer.setCompression(compression);
    writer.setProgressiveScanWrite(progressive);
    if (turned)
        writer.setTransformation(QImageIOHandler::TransformationRotate90);
    if (!writer.write(image))
        qFatal("cannot encode a %s sample: %s", format, qPrintable(writer.errorString()));
    return bytes;
}

// Recomputes the CRC of every whole chunk, so that a changed byte reaches
// the decoder instead of failing the checksum.
void fixPngCrcs(QByteArray &png)
{
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        if (length > quint32(png.size() - at - 12))
            break;
        qToBigEndian(crc32(png.constData() + at + 4, length + 4), png.data() + at + 8 + length);
        at += 12 + qsizetype(length);
    }
}

// Offset of the first JPEG frame header (SOF0..SOF2) marker, or -1.
qsizetype jpegFrameHeader(const QByteArray &jpeg)
{
    qsizetype at = 2;
    while (at + 9 <= jpeg.size() && quint8(jpeg[at]) == 0xff) {
        const quint8 marker = quint8(jpeg[at + 1]);
        if (marker >= 0xc0 && marker <= 0xc2)
            return at;
        at += 2 + qFromBigEndian<quint16>(jpeg.constData() + at + 2);
    }
    return -1;
}

// Rewrites the TIFF width and length tags of the first directory as LONG
// values (the type that allows the largest sizes).
void patchTiffSize(QByteArray &tiff, quint32 width, quint32 height)
{
    const bool little = tiff.startsWith("II");
    auto get = [&](qsizetype at, int size) {
        quint32 value = 0;
        for (int i = 0; i < size; ++i)
            value |= quint32(quint8(tiff[at + (little ? i : size - 1 - i)])) << (8 * i);
        return value;
    };
    auto set = [&](qsizetype at, int size, quint32 value) {
        for (int i = 0; i < size; ++i)
            tiff[at + (little ? i : size - 1 - i)] = char(value >> (8 * i));
    };
    const qsizetype directory = get(4, 4);
    const int entries = int(get(directory, 2));
    for (int i = 0; i < entries; ++i) {
        const qsizetype entry = directory + 2 + 12 * qsizetype(i);
        const quint32 tag = get(entry, 2);
        if (tag != 256 && tag != 257)
            continue;
        set(entry + 2, 2, 4); // LONG
        set(entry + 4, 4, 1);
        set(entry + 8, 4, tag == 256 ? width : height);
    }
}

// Sets the size fields of every WebP image chunk (VP8, VP8L, VP8X); each
// keeps as many low bits as it holds (VP8 and VP8L 14, VP8X 24).
void patchWebpSize(QByteArray &webp, quint32 width, quint32 height)
{
    qsizetype at = 12;
    while (at + 8 <= webp.size()) {
        const QByteArray fourcc = webp.mid(at, 4);
        const quint32 length = qFromLittleEndian<quint32>(webp.constData() + at + 4);
        char *data = webp.data() + at + 8;
        if (fourcc == "VP8 " && length >= 10) {
            qToLittleEndian(quint16(width & 0x3fff), data + 6);
            qToLittleEndian(quint16(height & 0x3fff), data + 8);
        } else if (fourcc == "VP8L" && length >= 5) {
            const quint32 bits = qFromLittleEndian<quint32>(data + 1) & 0xf0000000u;
            qToLittleEndian(bits | ((height - 1) & 0x3fff) << 14 | ((width - 1) & 0x3fff),
                            data + 1);
        } else if (fourcc == "VP8X" && length >= 10) {
            for (int i = 0; i < 3; ++i) {
                data[4 + i] = char((width - 1) >> (8 * i));
                data[7 + i] = char((height - 1) >> (8 * i));
            }
        }
        at += 8 + ((qsizetype(length) + 1) & ~qsizetype(1));
    }
}

// Sets the size of the first GIF frame.
void patchGifFrameSize(QByteArray &gif, quint32 width, quint32 height)
{
    const quint8 flags = quint8(gif[10]);
    qsizetype at = 13 + ((flags & 0x80) ? 3 << ((flags & 7) + 1) : 0);
    while (at + 9 < gif.size() && gif[at] == '\x21') {
        at += 2; // extension introducer and label, then sub-blocks up to an empty one
        while (at < gif.size() && gif[at] != '\0')
            at += 1 + quint8(gif[at]);
        ++at;
    }
    if (at + 9 < gif.size() && gif[at] == '\x2c') {
        qToLittleEndian(quint16(width), gif.data() + at + 5);
        qToLittleEndian(quint16(height), gif.data() + at + 7);
    }
}

// Copies of one intact file announcing other sizes, each named by the size.
// Huge ones: sizes the codec libraries refuse themselves are there too, but
// every format has one that reaches the editor's own size check (JPEG stops at
// 65500 pixels, Qt's BMP reader at 16384 x 16384, WebP at 16384). The large
// one is within the limit, so the decoder gets its memory and then runs out
// of data.
QList<std::pair<QString, QByteArray>> resized(const Case &file, bool huge)
{
    QList<std::pair<quint32, quint32>> sizes{{65535, 65535}, {Max31, 1}, {1, Max31}};
    if (!huge)
        sizes = {{8192, 8192}};
    else if (file.format == "bmp")
        sizes += {{16384, 16384}, {1, quint32(INT_MIN)}}; // the latter top-down, |height| overflows
    else if (file.format == "jpeg")
        sizes = {{65500, 65500}};
    else if (file.format == "gif" || file.format == "webp")
        sizes = {{65535, 65535}}; // webp: as much of it as its fields hold
    QList<std::pair<QString, QByteArray>> copies;
    for (const auto &[width, height] : sizes) {
        QByteArray copy = file.bytes;
        const QString name = QStringLiteral("%1x%2").arg(width).arg(qint32(height));
        if (file.format == "png") {
            qToBigEndian(width, copy.data() + 16);
            qToBigEndian(height, copy.data() + 20);
            fixPngCrcs(copy);
        } else if (file.format == "bmp") {
            qToLittleEndian(width, copy.data() + 18);
            qToLittleEndian(height, copy.data() + 22);
        } else if (file.format == "tiff") {
            patchTiffSize(copy, width, height);
        } else if (file.format == "jpeg") {
            const qsizetype frame = jpegFrameHeader(copy);
            if (frame < 0)
                continue;
            qToBigEndian(quint16(height), copy.data() + frame + 5);
            qToBigEndian(quint16(width), copy.data() + frame + 7);
        } else if (file.format == "gif") {
            qToLittleEndian(quint16(width), copy.data() + 6);
            qToLittleEndian(quint16(height), copy.data() + 8);
            patchGifFrameSize(copy, width, height);
        } else if (file.format == "webp") {
            patchWebpSize(copy, width, height);
        }
        copies.append({name, copy});
    }
    return copies;
}

Case variant(const Case &file, Kind kind, const QString &detail, const QByteArray &bytes)
{
    const QString suffix = file.name.section(QLatin1Char('.'), -1);
    const QString stem = file.name.section(QLatin1Char('.'), 0, -2);
    return Case{stem + QLatin1Char('-') + detail + QLatin1Char('.') + suffix, file.format, kind,
                bytes, QSize()};
}

} // namespace

QList<QByteArray> formats()
{
    return {"png", "jpeg", "bmp", "tiff", "webp", "gif"};
}

QList<Case> validFiles(const QByteArray &format)
{
    struct Sample
    {
        const char *name;
        QImage image;
        int quality = -1;
        int compression = -1;
        bool progressive = false;
        bool turned = false;
    };
    QList<Sample> samples;
    const char *suffix = format.constData();
    if (format == "png") {
        samples = {{"rgb", picture(9, 7, QImage::Format_RGB32)},
                   {"indexed", picture(7, 5, QImage::Format_Indexed8)}};
    } else if (format == "jpeg") {
        suffix = "jpg";
        samples = {{"rgb", picture(19, 13, QImage::Format_RGB32)},
                   {"progressive-turned", picture(9, 7, QImage::Format_Grayscale8), 80, -1, true,
                    true}};
    } else if (format == "bmp") {
        samples = {{"rgb", picture(9, 7, QImage::Format_RGB32)},
                   {"mono", picture(10, 6, QImage::Format_Mono)}};
    } else if (format == "tiff") {
        samples = {{"rgb", picture(9, 7, QImage::Format_RGB32)},
                   {"alpha-lzw-turned", picture(7, 5, QImage::Format_ARGB32, true), -1, 1, false,
                    true}};
    } else if (format == "webp") {
        samples = {{"lossy", picture(19, 13, QImage::Format_RGB32), 75},
                   {"lossless-alpha", picture(7, 5, QImage::Format_ARGB32, true), 100}};
    }
    QList<Case> files;
    for (const Sample &sample : samples) {
        files.append(Case{QStringLiteral("%1-%2.%3")
                                  .arg(QLatin1String(format), QLatin1String(sample.name),
                                       QLatin1String(suffix)),
                          format, Kind::Valid,
                          encode(sample.image, format.constData(), sample.quality,
                                 sample.compression, sample.progressive, sample.turned),
                          sample.turned ? sample.image.size().transposed() : sample.image.size()});
    }
    if (format == "gif") {
        files.append(Case{QStringLiteral("gif-transparent.gif"), format, Kind::Valid,
                          gifFile(2, 1, {qRgb(255, 0, 0), qRgb(0, 0, 255)}, {0, 1}, 1, false),
                          QSize(2, 1)});
        QList<int> indexes;
        for (int i = 0; i < 5 * 9; ++i)
            indexes.append((i * 7 + i / 5) % 4);
        files.append(Case{QStringLiteral("gif-interlaced.gif"), format, Kind::Valid,
                          gifFile(5, 9,
                                  {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(200, 30, 30),
                                   qRgb(20, 160, 60)},
                                  indexes, -1, true),
                          QSize(5, 9)});
    }
    return files;
}

QList<Case> cases(const QByteArray &format)
{
    const QList<Case> files = validFiles(format);
    QList<Case> all = files;
    if (format == "png")
        all.append(Case{QStringLiteral("empty.png"), format, Kind::Truncated, {}, {}});
    for (const Case &file : files) {
        const qsizetype size = file.bytes.size();
        QList<qsizetype> cuts{1, 6, 12, 20, 33, size / 2, size - 1};
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
        for (const qsizetype cut : cuts) {
            if (cut > 0 && cut < size)
                all.append(variant(file, Kind::Truncated, QStringLiteral("cut%1").arg(cut),
                                   file.bytes.left(cut)));
        }

        // Positions and values from the name: the same on every run.
        quint32 state = 2166136261u;
        for (const QChar c : file.name)
            state = (state ^ c.unicode()) * 16777619u;
        auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
        for (int i = 0; i < 6; ++i) {
            // Three changes among the first 64 bytes, three in the second half.
            const bool header = i < 3;
            const qsizetype span = header ? qMin<qsizetype>(size, 64) : size - size / 2;
            const qsizetype at = (header ? 0 : size / 2) + qsizetype(next() % span);
            QByteArray bytes = file.bytes;
            bytes[at] = char(bytes[at] ^ char(1 + next() % 255));
            if (format == "png")
                fixPngCrcs(bytes);
            all.append(variant(file, Kind::Flipped,
                               QStringLiteral("%1%2").arg(header ? "head" : "data").arg(at),
                               bytes));
        }

        for (const auto &[name, bytes] : resized(file, true))
            all.append(variant(file, Kind::Huge, name, bytes));
        if (&file == &files.first()) {
            for (const auto &[name, bytes] : resized(file, false))
                all.append(variant(file, Kind::Large, name, bytes));
        }
        if (format == "gif") {
            // A huge frame on a small screen: the screen is the announced
            // size, so this is a damaged file, not a huge one.
            QByteArray bytes = file.bytes;
            patchGifFrameSize(bytes, 65535, 65535);
            all.append(variant(file, Kind::Flipped, QStringLiteral("frame65535x65535"), bytes));
        }
    }
    return all;
}

} // namespace Malformed
