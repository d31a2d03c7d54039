// What the tests and the benchmarks share about images: one comparison (same
// format, same size and the same bytes in every pixel, the padding at the
// ends of the scanlines not looked at; a difference is described by its first
// pixel), and the pictures the tests are made of.
#pragma once

#include <QImage>
#include <QString>

namespace TestSupport {

// Whether actual and expected are the same picture; if not, why holds the
// first difference, e.g. "pixel (3, 0) is ff 10 20 30, expected ff 10 20 31".
bool sameImage(const QImage &actual, const QImage &expected, QString *why);

// Every colour once: 4096x4096 pixels 0xffRRGGBB.
QImage allColours();

// Every channel value in each row, 256x3 RGB32: row 0 (v, 255 - v, 7v),
// row 1 (3v, v, 128), row 2 the gray levels (v, v, v), v = x (mod 256).
QImage everyValue();

// The gray levels 0 to 255 in one row of RGB32 (everyValue's last row).
QImage grayLevels();

// A small image whose pixels encode their position: red = x, green = y,
// blue = 7 * x + 3 * y, alpha 255 (or varying with x + y when withAlpha).
QImage coordinateImage(int width, int height, QImage::Format format = QImage::Format_ARGB32,
                       bool withAlpha = false);

} // namespace TestSupport

// Fails the test when the images differ, naming the first differing pixel.
#define COMPARE_IMAGES(actual, expected) \
    do { \
        QString why_; \
        const bool same_ = TestSupport::sameImage((actual), (expected), &why_); \
        QVERIFY2(same_, qPrintable(why_)); \
    } while (false)
