// The fast pixel operations against their literal per-pixel definitions, on
// every pixel format and at every instruction-set target the CPU runs
// (LUMIVEX_KERNEL_TARGETS in the environment narrows the targets, see
// kernelsupport.h).
#include "kernelsupport.h"

#include <QSysInfo>

using namespace Lumivex;
using namespace KernelSupport;

namespace {

// Every format a pixel can be written to with setPixelColor.
QList<QImage::Format> writableFormats()
{
    QList<QImage::Format> formats;
    for (int f = QImage::Format_Mono; f < QImage::NImageFormats; ++f) {
        const auto format = QImage::Format(f);
        if (format != QImage::Format_Mono && format != QImage::Format_MonoLSB
            && format != QImage::Format_Indexed8)
            formats.append(format);
    }
    return formats;
}

QList<Adjustment> sliderSettings()
{
    // Besides the extremes, saturations whose factor is no power of two.
    QList<Adjustment> settings{{0, 0, 0}, {10, 20, -50}, {-30, 40, 60}, {5, -7, 33}, {17, 63, -71}};
    for (int b : {-100, 100}) {
        for (int c : {-100, 100}) {
            for (int s : {-100, 100})
                settings.append({b, c, s});
        }
    }
    return settings;
}

// Sizes of the random images: a small one, and one over the threshold for
// sharing rows across cores whose width is no multiple of any vector width.
const QSize testSizes[] = {QSize(67, 23), QSize(301, 229)};

} // namespace

class TestKernels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void adjustMatchesReference_data();
    void adjustMatchesReference();
    void filtersMatchReference_data();
    void filtersMatchReference();
    void everyChannelTriple_data();
    void everyChannelTriple();
    void everyContrastValue();
    void everyChannelValue_data();
    void everyChannelValue();
    void workedExamples_data();
    void workedExamples();

private:
    // The reference results of the last format and setting, shared by the
    // rows of the different targets.
    QString m_referenceKey;
    QList<QImage> m_sources;
    QList<QImage> m_references;
};

void TestKernels::initTestCase()
{
    QStringList names;
    for (KernelTarget target : targetsUnderTest())
        names.append(kernelTargetName(target));
    qInfo("CPU architecture %s (built for %s); kernel targets tested: %s",
          qPrintable(QSysInfo::currentCpuArchitecture()),
          qPrintable(QSysInfo::buildCpuArchitecture()), qPrintable(names.join(QLatin1Char(' '))));
    QVERIFY2(!names.isEmpty(), "no kernel target left to test");
}

void TestKernels::adjustMatchesReference_data()
{
    QTest::addColumn<KernelTarget>("target");
    QTest::addColumn<int>("format");
    QTest::addColumn<Adjustment>("adjustment");
    for (QImage::Format format : writableFormats()) {
        for (const Adjustment &a : sliderSettings()) {
            for (KernelTarget target : targetsUnderTest()) {
                QTest::addRow("%s/%s/%s", qPrintable(formatName(format)),
                              qPrintable(settingName(a)), qPrintable(kernelTargetName(target)))
                        << target << int(format) << a;
            }
        }
    }
}

void TestKernels::adjustMatchesReference()
{
    QFETCH(KernelTarget, target);
    QFETCH(int, format);
    QFETCH(Adjustment, adjustment);

    const QString key = QString::number(format) + settingName(adjustment);
    if (key != m_referenceKey) {
        m_referenceKey = key;
        m_sources.clear();
        m_references.clear();
        quint32 seed = 67;
        for (const QSize &size : testSizes) {
            const QImage source =
                    randomImage(QImage::Format(format), size.width(), size.height(), seed++);
            QImage reference;
            Reference::adjustImage(source, reference, adjustment);
            m_sources.append(source);
            m_references.append(reference);
        }
    }

    const TargetLimit limit{target};
    QCOMPARE(activeKernelTarget(), target);
    for (qsizetype i = 0; i < m_sources.size(); ++i) {
        QImage result;
        QVERIFY(adjustImage(m_sources[i], result, adjustment));
        COMPARE_IMAGES(result, m_references[i]);
    }
}

void TestKernels::filtersMatchReference_data()
{
    QTest::addColumn<KernelTarget>("target");
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("invert");
    for (QImage::Format format : writableFormats()) {
        for (bool invert : {false, true}) {
            for (KernelTarget target : targetsUnderTest()) {
                QTest::addRow("%s/%s/%s", qPrintable(formatName(format)),
                              invert ? "invert" : "grayscale", qPrintable(kernelTargetName(target)))
                        << target << int(format) << invert;
            }
        }
    }
}

void TestKernels::filtersMatchReference()
{
    QFETCH(KernelTarget, target);
    QFETCH(int, format);
    QFETCH(bool, invert);

    const TargetLimit limit{target};
    quint32 seed = 167;
    for (const QSize &size : testSizes) {
        const QImage source =
                randomImage(QImage::Format(format), size.width(), size.height(), seed++);
        QImage expected = source;
        QImage shared = source;     // filtered into a new buffer
        QImage own = source.copy(); // filtered in place
        if (invert) {
            Reference::invertImage(expected);
            invertImage(shared);
            invertImage(own);
        } else {
            Reference::grayscaleImage(expected);
            grayscaleImage(shared);
            grayscaleImage(own);
        }
        COMPARE_IMAGES(shared, expected);
        COMPARE_IMAGES(own, expected);
    }
}

// All 2^24 channel triples, for saturations where the float step is most
// often too close to call (the verification program covers all 201), and
// the grayscale of every triple; one row per target, so that each stays
// short under an emulator. Contrast and brightness 0 leave the triples as
// they are for the saturation step.
void TestKernels::everyChannelTriple_data()
{
    QTest::addColumn<KernelTarget>("target");
    QTest::addColumn<int>("saturation"); // 1000: grayscale
    for (int s : {0, -71, 33, 1000}) {
        for (KernelTarget target : targetsUnderTest()) {
            const QByteArray name =
                    s == 1000 ? QByteArray("grayscale") : "saturation " + QByteArray::number(s);
            QTest::addRow("%s/%s", name.constData(), qPrintable(kernelTargetName(target)))
                    << target << s;
        }
    }
}

void TestKernels::everyChannelTriple()
{
    QFETCH(KernelTarget, target);
    QFETCH(int, saturation);
    const Adjustment adjustment{0, 0, saturation};
    const QString key = QStringLiteral("all colours %1").arg(saturation);
    if (key != m_referenceKey) {
        m_referenceKey = key;
        m_sources = {TestSupport::allColours()};
        QImage expected = m_sources[0];
        if (saturation == 1000)
            Reference::grayscaleImage(expected);
        else
            Reference::adjustImage(m_sources[0], expected, adjustment);
        m_references = {expected};
    }
    if (saturation == 0)
        COMPARE_IMAGES(m_references[0], m_sources[0]);

    const TargetLimit limit{target};
    QImage actual = m_sources[0];
    if (saturation == 1000)
        QVERIFY(grayscaleImage(actual));
    else
        QVERIFY(adjustImage(m_sources[0], actual, adjustment));
    COMPARE_IMAGES(actual, m_references[0]);
}

// The float contrast step against the double one for every contrast value
// (each with the extreme brightnesses), on every channel value.
void TestKernels::everyContrastValue()
{
    QImage values(256, 3, QImage::Format_RGB32);
    for (int v = 0; v < 256; ++v) {
        values.setPixel(v, 0, qRgb(v, 255 - v, (v * 7) & 255));
        values.setPixel(v, 1, qRgb((v * 3) & 255, v, 128));
        values.setPixel(v, 2, qRgb(v, v, v));
    }
    for (int brightness : {-100, 0, 100}) {
        for (int contrast = -100; contrast <= 100; ++contrast) {
            const Adjustment adjustment{brightness, contrast, 0};
            QImage expected;
            Reference::adjustImage(values, expected, adjustment);
            for (KernelTarget target : targetsUnderTest()) {
                const TargetLimit limit{target};
                QImage actual;
                QVERIFY(adjustImage(values, actual, adjustment));
                QVERIFY2(actual == expected, qPrintable(settingName(adjustment) + QLatin1Char(' ')
                                                        + kernelTargetName(target)));
            }
        }
    }
}

// Every channel value of the formats read through tables or 16-bit
// channels: each premultiplied alpha with each stored value (including
// values above their alpha), and each 16-bit value.
void TestKernels::everyChannelValue_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<Adjustment>("adjustment");
    const QImage::Format formats[] = {QImage::Format_ARGB32_Premultiplied,
                                      QImage::Format_RGBA8888_Premultiplied,
                                      QImage::Format_RGBX64,
                                      QImage::Format_RGBA64,
                                      QImage::Format_RGBA64_Premultiplied,
                                      QImage::Format_Grayscale16};
    for (QImage::Format format : formats) {
        for (const Adjustment &a : {Adjustment{0, 0, 0}, Adjustment{10, 20, -50}})
            QTest::addRow("%s/%s", qPrintable(formatName(format)), qPrintable(settingName(a)))
                    << int(format) << a;
    }
}

void TestKernels::everyChannelValue()
{
    QFETCH(int, format);
    QFETCH(Adjustment, adjustment);

    QImage source(256, 256, QImage::Format(format));
    for (int y = 0; y < 256; ++y) {
        uchar *line = source.scanLine(y);
        for (int x = 0; x < 256; ++x) {
            const quint16 v = quint16(y * 256 + x);
            switch (source.depth()) {
            case 32: { // alpha y, colour values x (red), 255 - x and x * 7
                const uchar bytes[] = {uchar(x), uchar(255 - x), uchar(x * 7), uchar(y)};
                if (source.format() == QImage::Format_RGBA8888_Premultiplied) {
                    std::memcpy(line + 4 * qsizetype(x), bytes, 4);
                } else {
                    const QRgb p = qRgba(bytes[0], bytes[1], bytes[2], bytes[3]);
                    std::memcpy(line + 4 * qsizetype(x), &p, 4);
                }
                break;
            }
            case 64: { // alpha from the random-looking y * 97
                const quint16 channels[] = {v, quint16(~v), quint16(v * 7u), quint16(y * 97 * 257)};
                std::memcpy(line + 8 * qsizetype(x), channels, 8);
                break;
            }
            case 16:
                std::memcpy(line + 2 * qsizetype(x), &v, 2);
                break;
            }
        }
    }

    for (KernelTarget target : targetsUnderTest()) {
        const TargetLimit limit{target};
        QImage expected;
        Reference::adjustImage(source, expected, adjustment);
        QImage actual;
        QVERIFY(adjustImage(source, actual, adjustment));
        COMPARE_IMAGES(actual, expected);

        QImage grayExpected = source;
        Reference::grayscaleImage(grayExpected);
        QImage grayActual = source;
        grayscaleImage(grayActual);
        COMPARE_IMAGES(grayActual, grayExpected);
    }
}

void TestKernels::workedExamples_data()
{
    QTest::addColumn<QRgb>("pixel");
    QTest::addColumn<Adjustment>("adjustment");
    QTest::addColumn<QRgb>("expected");
    const QRgb orange = qRgb(200, 100, 50);
    QTest::newRow("10,20,-50") << orange << Adjustment{10, 20, -50} << qRgb(177, 119, 89);
    QTest::newRow("saturation -100") << orange << Adjustment{0, 0, -100} << qRgb(124, 124, 124);
    QTest::newRow("saturation 100") << orange << Adjustment{0, 0, 100} << qRgb(255, 75, 0);
    QTest::newRow("brightness 100") << orange << Adjustment{100, 0, 0} << qRgb(255, 200, 150);
    QTest::newRow("brightness -100") << orange << Adjustment{-100, 0, 0} << qRgb(100, 0, 0);
    QTest::newRow("contrast 100") << orange << Adjustment{0, 100, 0} << qRgb(255, 64, 0);
    QTest::newRow("contrast -100") << orange << Adjustment{0, -100, 0} << qRgb(159, 115, 93);
    QTest::newRow("dark gray") << qRgb(41, 41, 41) << Adjustment{5, 50, 0} << qRgb(5, 5, 5);
}

void TestKernels::workedExamples()
{
    QFETCH(QRgb, pixel);
    QFETCH(Adjustment, adjustment);
    QFETCH(QRgb, expected);

    QCOMPARE(contrastFactor(20), 1.168676675691197);
    QCOMPARE(contrastFactor(0), 1.0);

    // Enough pixels for every vector width and its tail.
    QImage source(37, 1, QImage::Format_RGB32);
    source.fill(pixel);
    QImage reference;
    Reference::adjustImage(source, reference, adjustment);
    QCOMPARE(reference.pixel(0, 0), expected);
    for (KernelTarget target : targetsUnderTest()) {
        const TargetLimit limit{target};
        QImage result;
        QVERIFY(adjustImage(source, result, adjustment));
        for (int x = 0; x < source.width(); ++x)
            QCOMPARE(result.pixel(x, 0), expected);
    }
}

QTEST_GUILESS_MAIN(TestKernels)

#include "tst_kernels.moc"
