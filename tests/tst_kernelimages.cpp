// What the pixel operations do with buffers, sharing, metadata and palette
// images, and how the kernel target is chosen.
#include "kernelsupport.h"

#include <QColorSpace>

#include <algorithm>
#include <limits>

using namespace Lumivex;
using namespace KernelSupport;

class TestKernelImages : public QObject
{
    Q_OBJECT

private slots:
    void targetLimit();
    void grayscaleExamples_data();
    void grayscaleExamples();
    void grayLevelsUnderGrayscale();
    void grayscaleSettles();
    void invertTwiceRestores();
    void destinationBufferReused();
    void sharedDestinationLeftAlone();
    void paletteImages_data();
    void paletteImages();
    void editableFormatChoice();
    void metadataKept();
    void nullSource();
};

// The best target by default; a cap selects the best target no better than
// it, the fallback when none is.
void TestKernelImages::targetLimit()
{
    const QList<KernelTarget> targets = supportedKernelTargets();
    QVERIFY(!targets.isEmpty());
    QVERIFY(std::is_sorted(targets.begin(), targets.end()));
    const QString fallback = kernelTargetName(targets.last());
    QVERIFY2(fallback == QLatin1String("EMU128") || fallback == QLatin1String("SCALAR"),
             qPrintable(fallback));
    QCOMPARE(activeKernelTarget(), targets.first());
    for (KernelTarget target : targets) {
        const TargetLimit limit{target};
        QCOMPARE(activeKernelTarget(), target);
    }
    {
        const TargetLimit limit{targets.first() + 1}; // no target has this bit
        QCOMPARE(activeKernelTarget(), targets.size() > 1 ? targets[1] : targets.first());
    }
    {
        const TargetLimit limit{std::numeric_limits<KernelTarget>::max()};
        QCOMPARE(activeKernelTarget(), targets.last());
    }
    QCOMPARE(activeKernelTarget(), targets.first());
}

void TestKernelImages::grayscaleExamples_data()
{
    QTest::addColumn<QRgb>("pixel");
    QTest::addColumn<int>("gray");
    QTest::newRow("orange") << qRgb(200, 100, 50) << 124;
    QTest::newRow("red") << qRgb(255, 0, 0) << 76;
    QTest::newRow("green") << qRgb(0, 255, 0) << 149;
    QTest::newRow("blue") << qRgb(0, 0, 255) << 29;
    QTest::newRow("mid gray") << qRgb(128, 128, 128) << 127;
}

void TestKernelImages::grayscaleExamples()
{
    QFETCH(QRgb, pixel);
    QFETCH(int, gray);
    for (KernelTarget target : targetsUnderTest()) {
        const TargetLimit limit{target};
        QImage image(37, 1, QImage::Format_RGB32);
        image.fill(pixel);
        grayscaleImage(image);
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(image.pixel(x, 0), qRgb(gray, gray, gray));
    }
}

void TestKernelImages::grayLevelsUnderGrayscale()
{
    QImage levels(256, 1, QImage::Format_RGB32);
    for (int v = 0; v < 256; ++v)
        levels.setPixel(v, 0, qRgb(v, v, v));
    for (KernelTarget target : targetsUnderTest()) {
        const TargetLimit limit{target};
        QImage image = levels;
        grayscaleImage(image);
        QList<int> dropped;
        for (int v = 0; v < 256; ++v) {
            const int gray = qRed(image.pixel(v, 0));
            QCOMPARE(image.pixel(v, 0), qRgb(gray, gray, gray));
            if (gray != v) {
                QCOMPARE(gray, v - 1);
                dropped.append(v);
            }
        }
        QCOMPARE(dropped.size(), 65);
        for (int v : {1, 2, 4, 8, 127, 128, 254})
            QVERIFY2(dropped.contains(v), qPrintable(QString::number(v)));
        QVERIFY(!dropped.contains(0));
        QVERIFY(!dropped.contains(255));
    }
}

// Gray levels settle after three passes (two are not enough); a colour
// image, one pass later.
void TestKernelImages::grayscaleSettles()
{
    QImage levels(256, 1, QImage::Format_RGB32);
    for (int v = 0; v < 256; ++v)
        levels.setPixel(v, 0, qRgb(v, v, v));
    QImage twice = levels;
    grayscaleImage(twice);
    grayscaleImage(twice);
    QImage thrice = twice;
    grayscaleImage(thrice);
    QVERIFY(thrice != twice);
    QImage fourTimes = thrice;
    grayscaleImage(fourTimes);
    QCOMPARE(fourTimes, thrice);

    QImage colour = randomImage(QImage::Format_RGB32, 200, 100, 7);
    for (int pass = 0; pass < 4; ++pass)
        grayscaleImage(colour);
    QImage again = colour;
    grayscaleImage(again);
    QCOMPARE(again, colour);
}

void TestKernelImages::invertTwiceRestores()
{
    for (KernelTarget target : targetsUnderTest()) {
        const TargetLimit limit{target};
        const QImage source = randomImage(QImage::Format_ARGB32, 301, 229, 11);
        QImage image = source;
        invertImage(image);
        QCOMPARE(image.pixel(0, 0), ~source.pixel(0, 0) | 0xff000000u);
        invertImage(image);
        for (int y = 0; y < source.height(); ++y) {
            for (int x = 0; x < source.width(); ++x)
                QCOMPARE(image.pixel(x, y), source.pixel(x, y) | 0xff000000u);
        }
    }
}

void TestKernelImages::destinationBufferReused()
{
    const QImage source = randomImage(QImage::Format_RGB32, 301, 229, 3);
    QImage dst;
    QVERIFY(adjustImage(source, dst, Adjustment{10, 20, -50}));
    const uchar *buffer = dst.constBits();
    QVERIFY(adjustImage(source, dst, Adjustment{-30, 40, 60}));
    QCOMPARE(dst.constBits(), buffer);
    QImage expected;
    Reference::adjustImage(source, expected, Adjustment{-30, 40, 60});
    COMPARE_IMAGES(dst, expected);

    // Another size or format: a new buffer of the source's.
    const QImage other = randomImage(QImage::Format_RGB888, 50, 40, 4);
    QVERIFY(adjustImage(other, dst, Adjustment{-30, 40, 60}));
    QCOMPARE(dst.format(), QImage::Format_RGB888);
    QCOMPARE(dst.size(), QSize(50, 40));
}

void TestKernelImages::sharedDestinationLeftAlone()
{
    const QImage source = randomImage(QImage::Format_RGB32, 301, 229, 5);
    QImage dst;
    QVERIFY(adjustImage(source, dst, Adjustment{10, 20, -50}));
    const QImage kept = dst;
    const QImage keptCopy = kept.copy();
    QVERIFY(adjustImage(source, dst, Adjustment{100, 100, 100}));
    QVERIFY(dst.constBits() != kept.constBits());
    COMPARE_IMAGES(kept, keptCopy);

    // The source as its own destination.
    QImage self = source;
    QVERIFY(adjustImage(self, self, Adjustment{10, 20, -50}));
    COMPARE_IMAGES(self, keptCopy);
}

void TestKernelImages::paletteImages_data()
{
    QTest::addColumn<QImage>("image");
    QImage indexed(45, 31, QImage::Format_Indexed8);
    QList<QRgb> palette;
    QRandomGenerator random(9);
    for (int i = 0; i < 16; ++i)
        palette.append(random.generate() | 0xff000000u);
    indexed.setColorTable(palette);
    for (int y = 0; y < indexed.height(); ++y) {
        for (int x = 0; x < indexed.width(); ++x)
            indexed.setPixel(x, y, random.bounded(16));
    }
    QTest::newRow("Indexed8") << indexed;
    palette[3] = qRgba(10, 20, 30, 40);
    indexed.setColorTable(palette);
    QTest::newRow("Indexed8 with alpha") << indexed;

    QImage mono(45, 31, QImage::Format_Mono);
    mono.setColorTable({qRgb(200, 100, 50), qRgb(10, 220, 90)});
    for (int y = 0; y < mono.height(); ++y) {
        for (int x = 0; x < mono.width(); ++x)
            mono.setPixel(x, y, (x * y + x) & 1);
    }
    QTest::newRow("Mono") << mono;
    QTest::newRow("MonoLSB") << mono.convertToFormat(QImage::Format_MonoLSB);
}

void TestKernelImages::paletteImages()
{
    QFETCH(QImage, image);
    const QImage editable = toEditableFormat(image);
    QCOMPARE(editable.format(),
             image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);

    const Adjustment adjustment{10, 20, -50};
    QImage expected;
    Reference::adjustImage(editable, expected, adjustment);
    QImage actual;
    QVERIFY(adjustImage(image, actual, adjustment));
    COMPARE_IMAGES(actual, expected);

    QImage grayExpected = editable;
    Reference::grayscaleImage(grayExpected);
    QImage grayActual = image;
    grayscaleImage(grayActual);
    COMPARE_IMAGES(grayActual, grayExpected);

    QImage invertExpected = editable;
    Reference::invertImage(invertExpected);
    QImage invertActual = image;
    invertImage(invertActual);
    COMPARE_IMAGES(invertActual, invertExpected);
}

void TestKernelImages::editableFormatChoice()
{
    QImage indexed(4, 4, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(1, 2, 3), qRgb(4, 5, 6)});
    indexed.fill(1);
    QCOMPARE(toEditableFormat(indexed).format(), QImage::Format_RGB32);
    indexed.setColorTable({qRgb(1, 2, 3), qRgba(4, 5, 6, 0)});
    QCOMPARE(toEditableFormat(indexed).format(), QImage::Format_ARGB32);

    const QImage rgb = randomImage(QImage::Format_RGB888, 5, 5, 1);
    const QImage same = toEditableFormat(rgb);
    QCOMPARE(same.constBits(), rgb.constBits());
}

void TestKernelImages::metadataKept()
{
    QImage source = randomImage(QImage::Format_ARGB32, 30, 20, 2);
    source.setDotsPerMeterX(3780);
    source.setDotsPerMeterY(2835);
    source.setOffset(QPoint(7, -3));
    source.setText(QStringLiteral("Comment"), QStringLiteral("lighthouse at dusk"));
    source.setColorSpace(QColorSpace::SRgb);

    QImage expected;
    Reference::adjustImage(source, expected, Adjustment{10, 20, -50});

    QImage dst;
    for (int pass = 0; pass < 2; ++pass) { // a new buffer, then the reused one
        QVERIFY(adjustImage(source, dst, Adjustment{10, 20, -50}));
        QCOMPARE(dst.dotsPerMeterX(), expected.dotsPerMeterX());
        QCOMPARE(dst.dotsPerMeterY(), expected.dotsPerMeterY());
        QCOMPARE(dst.offset(), expected.offset());
        QCOMPARE(dst.textKeys(), expected.textKeys());
        QCOMPARE(dst.text(QStringLiteral("Comment")), QStringLiteral("lighthouse at dusk"));
        QCOMPARE(dst.colorSpace(), expected.colorSpace());
        QCOMPARE(dst.devicePixelRatio(), expected.devicePixelRatio());
        COMPARE_IMAGES(dst, expected);
    }

    // A destination carrying a text key the source lacks gets a new buffer
    // without it.
    dst.setText(QStringLiteral("Stale"), QStringLiteral("x"));
    QVERIFY(adjustImage(source, dst, Adjustment{10, 20, -50}));
    QCOMPARE(dst.textKeys(), expected.textKeys());

    // The filters keep everything but the pixels, whether the image shared
    // its buffer or not.
    for (bool shared : {true, false}) {
        QImage filtered = source;
        if (!shared)
            filtered.detach();
        invertImage(filtered);
        QCOMPARE(filtered.text(QStringLiteral("Comment")), QStringLiteral("lighthouse at dusk"));
        QCOMPARE(filtered.textKeys(), source.textKeys());
        QCOMPARE(filtered.dotsPerMeterX(), 3780);
        QCOMPARE(filtered.dotsPerMeterY(), 2835);
        QCOMPARE(filtered.offset(), QPoint(7, -3));
        QCOMPARE(filtered.colorSpace(), source.colorSpace());
    }
}

void TestKernelImages::nullSource()
{
    QImage dst = randomImage(QImage::Format_RGB32, 4, 4, 1);
    const QImage before = dst;
    QVERIFY(!adjustImage(QImage(), dst, Adjustment{}));
    QCOMPARE(dst.constBits(), before.constBits());
    QImage empty;
    grayscaleImage(empty);
    invertImage(empty);
    QVERIFY(empty.isNull());
}

QTEST_GUILESS_MAIN(TestKernelImages)

#include "tst_kernelimages.moc"
