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
    void grayscale_data();
    void grayscale();
    void invertTwiceRestores_data();
    void invertTwiceRestores();
    void destinationBufferReused();
    void sharedDestinationLeftAlone();
    void paletteImages_data();
    void paletteImages();
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

// What passes of grayscale make of a picture: after the last pass every
// pixel is gray, the pixels at probes hold the given levels, and the last
// pass changed so many pixels. A gray level drops by one at most a pass: on
// the ramp of all levels 65 drop in the first pass, and the levels settle
// after the third (204 the longest chain); a colour picture, one pass later.
void TestKernelImages::grayscale_data()
{
    QTest::addColumn<KernelTarget>("target");
    QTest::addColumn<QImage>("source");
    QTest::addColumn<int>("passes");
    QTest::addColumn<QList<int>>("probes");
    QTest::addColumn<QList<int>>("levels");
    QTest::addColumn<int>("changed");
    // Enough pixels for every vector width and its tail.
    const auto flat = [](QRgb pixel) {
        QImage image(37, 1, QImage::Format_RGB32);
        image.fill(pixel);
        return image;
    };
    const QImage ramp = TestSupport::grayLevels();
    const QList<int> rampProbes{0, 1, 2, 4, 8, 127, 128, 204, 254, 255};
    const struct
    {
        const char *name;
        QImage source;
        int passes;
        QList<int> probes;
        QList<int> levels;
        int changed;
    } rows[] = {
            {"orange", flat(qRgb(200, 100, 50)), 1, {0, 36}, {124, 124}, 37},
            {"red", flat(qRgb(255, 0, 0)), 1, {0, 36}, {76, 76}, 37},
            {"green", flat(qRgb(0, 255, 0)), 1, {0, 36}, {149, 149}, 37},
            {"blue", flat(qRgb(0, 0, 255)), 1, {0, 36}, {29, 29}, 37},
            {"mid gray", flat(qRgb(128, 128, 128)), 1, {0, 36}, {127, 127}, 37},
            {"ramp, one pass", ramp, 1, rampProbes, {0, 0, 1, 3, 7, 126, 127, 203, 253, 255}, 65},
            {"ramp, two passes", ramp, 2, {128, 204}, {126, 202}, 13},
            {"ramp, three passes", ramp, 3, {128, 204}, {126, 201}, 1},
            {"ramp, four passes", ramp, 4, {128, 204}, {126, 201}, 0},
            {"colour, five passes", randomImage(QImage::Format_RGB32, 200, 100, 7), 5, {}, {}, 0},
    };
    for (const auto &row : rows) {
        for (KernelTarget target : targetsUnderTest())
            QTest::addRow("%s/%s", row.name, qPrintable(kernelTargetName(target)))
                    << target << row.source << row.passes << row.probes << row.levels
                    << row.changed;
    }
}

void TestKernelImages::grayscale()
{
    QFETCH(KernelTarget, target);
    QFETCH(QImage, source);
    QFETCH(int, passes);
    QFETCH(QList<int>, probes);
    QFETCH(QList<int>, levels);
    QFETCH(int, changed);
    const TargetLimit limit{target};
    QImage image = source;
    QImage before;
    for (int pass = 0; pass < passes; ++pass) {
        before = image.copy();
        QVERIFY(grayscaleImage(image));
    }
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb out = image.pixel(x, y);
            const QRgb in = before.pixel(x, y);
            QVERIFY(qRed(out) == qGreen(out) && qGreen(out) == qBlue(out));
            if (qRed(in) == qGreen(in) && qGreen(in) == qBlue(in))
                QVERIFY2(qRed(out) == qRed(in) || qRed(out) == qRed(in) - 1,
                         qPrintable(QStringLiteral("level %1 became %2")
                                            .arg(qRed(in))
                                            .arg(qRed(out))));
            count += out != in;
        }
    }
    QCOMPARE(count, changed);
    for (int i = 0; i < probes.size(); ++i)
        QCOMPARE(qRed(image.pixel(probes.at(i), 0)), levels.at(i));
}

void TestKernelImages::invertTwiceRestores_data()
{
    QTest::addColumn<KernelTarget>("target");
    for (KernelTarget target : targetsUnderTest())
        QTest::addRow("%s", qPrintable(kernelTargetName(target))) << target;
}

void TestKernelImages::invertTwiceRestores()
{
    QFETCH(KernelTarget, target);
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
    COMPARE_IMAGES(editable, image.convertToFormat(editable.format()));
    // Other formats are editable as they are, sharing their pixels.
    const QImage rgb = randomImage(QImage::Format_RGB888, 5, 5, 1);
    QCOMPARE(toEditableFormat(rgb).constBits(), rgb.constBits());

    matchReference(image, editable, {10, 20, -50}, true);
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
