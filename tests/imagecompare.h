// What the tests and the benchmarks share about images: one comparison (same
// format, same size and the same bytes in every pixel, the padding at the
// ends of the scanlines not looked at; a difference is described by its first
// pixel), and a picture of every colour.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstring>

namespace TestSupport {

// Whether actual and expected are the same picture; if not, why holds the
// first difference, e.g. "pixel (3, 0) is ff 10 20 30, expected ff 10 20 31".
inline bool sameImage(const QImage &actual, const QImage &expected, QString *why)
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

// Every colour once: 4096x4096 pixels 0xffRRGGBB.
inline QImage allColours()
{
    QImage all(4096, 4096, QImage::Format_RGB32);
    for (int y = 0; y < 4096; ++y) {
        auto *line = reinterpret_cast<QRgb *>(all.scanLine(y));
        for (int x = 0; x < 4096; ++x)
            line[x] = 0xff000000u | quint32(y) << 12 | quint32(x);
    }
    return all;
}

} // namespace TestSupport

// Fails the test when the images differ, naming the first differing pixel.
#define COMPARE_IMAGES(actual, expected) \
    do { \
        QString why_; \
        const bool same_ = TestSupport::sameImage((actual), (expected), &why_); \
        QVERIFY2(same_, qPrintable(why_)); \
    } while (false)
