#include "imagecompare.h"

#include <QByteArray>

#include <cstring>

namespace TestSupport {

bool sameImage(const QImage &actual, const QImage &expected, QString *why)
{
    if (actual.format() != expected.format() || actual.size() != expected.size()) {
        *why = QStringLiteral("%1x%2 in format %3, expected %4x%5 in format %6")
                       .arg(actual.width())
                       .arg(actual.height())
                       .arg(actual.format())
                       .arg(expected.width())
                       .arg(expected.height())
                       .arg(expected.format());
        return false;
    }
    const int bytesPerPixel = qMax(1, actual.depth() / 8);
    const qsizetype rowBytes = (qsizetype(actual.width()) * actual.depth() + 7) / 8;
    for (int y = 0; y < actual.height(); ++y) {
        const uchar *a = actual.constScanLine(y);
        const uchar *e = expected.constScanLine(y);
        if (std::memcmp(a, e, size_t(rowBytes)) == 0)
            continue;
        qsizetype i = 0;
        while (a[i] == e[i])
            ++i;
        const qsizetype x = i / bytesPerPixel;
        const auto bytes = [bytesPerPixel, x](const uchar *row) {
            return QString::fromLatin1(
                    QByteArray(reinterpret_cast<const char *>(row + x * bytesPerPixel),
                               bytesPerPixel)
                            .toHex(' '));
        };
        *why = QStringLiteral("pixel (%1, %2) is %3, expected %4")
                       .arg(actual.depth() < 8 ? i * 8 / actual.depth() : x)
                       .arg(y)
                       .arg(bytes(a), bytes(e));
        return false;
    }
    return true;
}

QImage allColours()
{
    QImage all(4096, 4096, QImage::Format_RGB32);
    for (int y = 0; y < 4096; ++y) {
        auto *line = reinterpret_cast<QRgb *>(all.scanLine(y));
        for (int x = 0; x < 4096; ++x)
            line[x] = 0xff000000u | quint32(y) << 12 | quint32(x);
    }
    return all;
}

QImage everyValue()
{
    QImage values(256, 3, QImage::Format_RGB32);
    for (int v = 0; v < 256; ++v) {
        values.setPixel(v, 0, qRgb(v, 255 - v, (v * 7) & 255));
        values.setPixel(v, 1, qRgb((v * 3) & 255, v, 128));
        values.setPixel(v, 2, qRgb(v, v, v));
    }
    return values;
}

QImage grayLevels()
{
    return everyValue().copy(0, 2, 256, 1);
}

QImage coordinateImage(int width, int height, QImage::Format format, bool withAlpha)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int alpha = withAlpha ? 255 - (x + y) % 200 : 255;
            image.setPixel(x, y, qRgba(x & 255, y & 255, (7 * x + 3 * y) & 255, alpha));
        }
    }
    return image.convertToFormat(format);
}

} // namespace TestSupport
