// The fast pixel operations against their literal per-pixel definitions, on
// every pixel format and at every instruction-set target the CPU runs
// (LUMIVEX_KERNEL_TARGETS in the environment narrows the targets, see
// kernelsupport.h).
#include "displayconversion.h"
#include "kernelsupport.h"

#include <QColorSpace>
#include <QColorTransform>
#include <QSysInfo>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

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

// Sizes of the random images, both under the 2^19 pixels from which rows
// are shared across threads, with widths no multiple of any vector width
// (largeImage goes over the threshold).
const QSize testSizes[] = {QSize(67, 23), QSize(301, 229)};

// One row per target under test, named after the target after prefix.
void addTargetRows(const QByteArray &prefix)
{
    for (KernelTarget target : targetsUnderTest())
        QTest::addRow("%s%s", prefix.constData(), qPrintable(kernelTargetName(target))) << target;
}

// Adobe RGB with a green curve of its own (gamma 1.8 where red and blue
// keep 2.2): Qt's profile shares one curve tag among the three, so a copy
// of it is appended for green.
QColorSpace adobeWithOwnGreen()
{
    QByteArray icc = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    const auto tag = [&](qsizetype i) {
        return reinterpret_cast<uchar *>(icc.data()) + 132 + 12 * i;
    };
    for (qsizetype i = 0; i < qsizetype(qFromBigEndian<quint32>(icc.constData() + 128)); ++i) {
        if (std::memcmp(tag(i), "gTRC", 4) != 0)
            continue;
        QByteArray curve = icc.mid(qFromBigEndian<quint32>(tag(i) + 4), 16);
        qToBigEndian<quint32>(0x0001cccd, curve.data() + 12); // 1.8 in s15.16
        qToBigEndian<quint32>(quint32(icc.size()), tag(i) + 4);
        icc += curve;
        qToBigEndian<quint32>(quint32(icc.size()), icc.data());
    }
    return QColorSpace::fromIccProfile(icc);
}

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
    void everyContrastValue_data();
    void everyContrastValue();
    void everyChannelValue_data();
    void everyChannelValue();
    void workedExamples_data();
    void workedExamples();
    void largeImage_data();
    void largeImage();
    void displayConversion_data();
    void displayConversion();

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
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<Adjustment>("adjustment");
    for (QImage::Format format : writableFormats()) {
        for (const Adjustment &a : sliderSettings()) {
            for (KernelTarget target : targetsUnderTest()) {
                QTest::addRow("%s/%s/%s", qPrintable(formatName(format)),
                              qPrintable(settingName(a)), qPrintable(kernelTargetName(target)))
                        << target << format << a;
            }
        }
    }
}

void TestKernels::adjustMatchesReference()
{
    QFETCH(KernelTarget, target);
    QFETCH(QImage::Format, format);
    QFETCH(Adjustment, adjustment);

    const QString key = formatName(format) + settingName(adjustment);
    if (key != m_referenceKey) {
        m_referenceKey = key;
        m_sources.clear();
        m_references.clear();
        quint32 seed = 67;
        for (const QSize &size : testSizes) {
            const QImage source = randomImage(format, size.width(), size.height(), seed++);
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
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<bool>("invert");
    for (QImage::Format format : writableFormats()) {
        for (bool invert : {false, true}) {
            for (KernelTarget target : targetsUnderTest()) {
                QTest::addRow("%s/%s/%s", qPrintable(formatName(format)),
                              invert ? "invert" : "grayscale", qPrintable(kernelTargetName(target)))
                        << target << format << invert;
            }
        }
    }
}

void TestKernels::filtersMatchReference()
{
    QFETCH(KernelTarget, target);
    QFETCH(QImage::Format, format);
    QFETCH(bool, invert);

    const TargetLimit limit{target};
    quint32 seed = 167;
    for (const QSize &size : testSizes) {
        const QImage source = randomImage(format, size.width(), size.height(), seed++);
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

// The contrast and brightness steps against the double ones for every
// contrast value, with brightnesses that clamp at either end or not, on
// every channel value.
void TestKernels::everyContrastValue_data()
{
    QTest::addColumn<KernelTarget>("target");
    addTargetRows(QByteArray());
}

void TestKernels::everyContrastValue()
{
    QFETCH(KernelTarget, target);
    const QImage values = TestSupport::everyValue();
    const TargetLimit limit{target};
    for (int brightness : {-100, -37, -1, 0, 1, 10, 63, 100}) {
        for (int contrast = -100; contrast <= 100; ++contrast) {
            const Adjustment adjustment{brightness, contrast, 0};
            QImage expected;
            Reference::adjustImage(values, expected, adjustment);
            QImage actual;
            QVERIFY(adjustImage(values, actual, adjustment));
            QVERIFY2(actual == expected, qPrintable(settingName(adjustment)));
        }
    }
}

// Every channel value of the formats read through tables or 16-bit
// channels: each premultiplied alpha with each stored value (including
// values above their alpha), each 16-bit value and each gray byte.
void TestKernels::everyChannelValue_data()
{
    QTest::addColumn<KernelTarget>("target");
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<Adjustment>("adjustment");
    const QImage::Format formats[] = {QImage::Format_ARGB32_Premultiplied,
                                      QImage::Format_RGBA8888_Premultiplied,
                                      QImage::Format_RGBX64,
                                      QImage::Format_RGBA64,
                                      QImage::Format_RGBA64_Premultiplied,
                                      QImage::Format_Grayscale8,
                                      QImage::Format_Grayscale16};
    for (QImage::Format format : formats) {
        for (const Adjustment &a : {Adjustment{0, 0, 0}, Adjustment{10, 20, -50}}) {
            for (KernelTarget target : targetsUnderTest())
                QTest::addRow("%s/%s/%s", qPrintable(formatName(format)),
                              qPrintable(settingName(a)), qPrintable(kernelTargetName(target)))
                        << target << format << a;
        }
    }
}

void TestKernels::everyChannelValue()
{
    QFETCH(KernelTarget, target);
    QFETCH(QImage::Format, format);
    QFETCH(Adjustment, adjustment);

    QImage source(256, 256, format);
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
            case 8:
                line[x] = uchar(x + y);
                break;
            }
        }
    }

    const TargetLimit limit{target};
    matchReference(source, source, adjustment, false);
}

void TestKernels::workedExamples_data()
{
    QTest::addColumn<KernelTarget>("target");
    QTest::addColumn<QRgb>("pixel");
    QTest::addColumn<Adjustment>("adjustment");
    QTest::addColumn<QRgb>("expected");
    const QRgb orange = qRgb(200, 100, 50);
    const struct
    {
        const char *name;
        QRgb pixel;
        Adjustment adjustment;
        QRgb expected;
    } examples[] = {
            {"10,20,-50", orange, {10, 20, -50}, qRgb(177, 119, 89)},
            {"saturation -100", orange, {0, 0, -100}, qRgb(124, 124, 124)},
            {"saturation 100", orange, {0, 0, 100}, qRgb(255, 75, 0)},
            {"brightness 100", orange, {100, 0, 0}, qRgb(255, 200, 150)},
            {"brightness -100", orange, {-100, 0, 0}, qRgb(100, 0, 0)},
            {"contrast 100", orange, {0, 100, 0}, qRgb(255, 64, 0)},
            {"contrast -100", orange, {0, -100, 0}, qRgb(159, 115, 93)},
            {"dark gray", qRgb(41, 41, 41), {5, 50, 0}, qRgb(5, 5, 5)},
    };
    for (const auto &e : examples) {
        for (KernelTarget target : targetsUnderTest())
            QTest::addRow("%s/%s", e.name, qPrintable(kernelTargetName(target)))
                    << target << e.pixel << e.adjustment << e.expected;
    }
}

void TestKernels::workedExamples()
{
    QFETCH(KernelTarget, target);
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
    const TargetLimit limit{target};
    QImage result;
    QVERIFY(adjustImage(source, result, adjustment));
    for (int x = 0; x < source.width(); ++x)
        QCOMPARE(result.pixel(x, 0), expected);
}

// Every format at 1031x523, over the 2^19 pixels from which rows are shared
// across threads (a prime width), so that each row path runs its segments
// on several threads, at the best target.
void TestKernels::largeImage_data()
{
    QTest::addColumn<QImage::Format>("format");
    for (QImage::Format format : writableFormats())
        QTest::addRow("%s", qPrintable(formatName(format))) << format;
}

void TestKernels::largeImage()
{
    QFETCH(QImage::Format, format);
    QImage source = randomImage(format, 1031, 523, 1031);
    QVERIFY(qint64(source.width()) * source.height() > (1 << 19));
    // Opaque pieces of rows beside translucent ones, which take another path:
    // the alpha byte, or the alpha word of 64-bit pixels, all ones.
    const bool premultipliedWords = format == QImage::Format_ARGB32_Premultiplied
                                    || format == QImage::Format_RGBA8888_Premultiplied;
    const bool premultiplied64 = format == QImage::Format_RGBA64_Premultiplied;
    for (int y = 0; y < 64 && (premultipliedWords || premultiplied64); ++y) {
        auto *line = reinterpret_cast<quint32 *>(source.scanLine(y));
        for (int x = premultiplied64 ? 1 : 0; x < 1024; x += premultiplied64 ? 2 : 1)
            line[x] |= premultiplied64 ? 0xffff0000u : 0xff000000u;
    }
    const Adjustment adjustment{10, 20, -50};
    matchReference(source, source, adjustment, true);
}

// The view's colour conversion against Qt's, on random pixels (a row
// length with a tail), within the two levels its float steps may differ by.
void TestKernels::displayConversion_data()
{
    QTest::addColumn<KernelTarget>("target");
    QTest::addColumn<QColorSpace>("source");
    for (const auto space :
         {QColorSpace::AdobeRgb, QColorSpace::DisplayP3, QColorSpace::ProPhotoRgb}) {
        const QColorSpace colorSpace(space);
        for (KernelTarget target : targetsUnderTest()) {
            QTest::addRow("%s %s", qPrintable(colorSpace.description()),
                          qPrintable(kernelTargetName(target)))
                    << target << colorSpace;
        }
    }
    // A curve per channel: the vector lookups of a shared curve must not
    // take it.
    for (KernelTarget target : targetsUnderTest()) {
        QTest::addRow("own green curve %s", qPrintable(kernelTargetName(target)))
                << target << adobeWithOwnGreen();
    }
}

void TestKernels::displayConversion()
{
    QFETCH(KernelTarget, target);
    QFETCH(QColorSpace, source);
    const QColorSpace screen(QColorSpace::SRgb);
    const DisplayConversion conversion(source, screen);
    QVERIFY(conversion.isValid());
    const QImage pixels = randomImage(QImage::Format_RGB32, 4099, 15, 7);
    const auto *in = reinterpret_cast<const quint32 *>(pixels.constBits());
    std::vector<quint32> out(size_t(pixels.width()) * size_t(pixels.height()));
    const TargetLimit limit{target};
    conversion.convert(in, out.data(), out.size());
    const QColorTransform qts = source.transformationToColorSpace(screen);
    int worst = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const QRgb expected = qts.map(QRgb(in[i]));
        worst = std::max({worst, std::abs(qRed(out[i]) - qRed(expected)),
                          std::abs(qGreen(out[i]) - qGreen(expected)),
                          std::abs(qBlue(out[i]) - qBlue(expected)), 255 - qAlpha(out[i])});
    }
    QVERIFY2(worst <= 2, qPrintable(QString::number(worst)));
}

QTEST_GUILESS_MAIN(TestKernels)

#include "tst_kernels.moc"
