// The fast pixel operations against their literal per-pixel definitions, on
// every pixel format and at every instruction-set level the CPU supports.
#include "imagekernels.h"

#include <QColorSpace>
#include <QDebug>
#include <QRandomGenerator>
#include <QtTest>

// QSKIP is a variadic macro used with one argument, which clang's pedantic
// mode reports.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wgnu-zero-variadic-macro-arguments"
#endif

using namespace Lumivex;

Q_DECLARE_METATYPE(Lumivex::Adjustment)

namespace {

QString formatName(QImage::Format format)
{
    QString name;
    QDebug(&name).noquote().nospace() << format;
    return name.remove(QStringLiteral("QImage::Format_"));
}

QString levelName(KernelLevel level)
{
    switch (level) {
    case KernelLevel::Scalar:
        return QStringLiteral("scalar");
    case KernelLevel::Avx2:
        return QStringLiteral("avx2");
    case KernelLevel::Avx512:
        return QStringLiteral("avx512");
    }
    return QString();
}

const KernelLevel allLevels[] = {KernelLevel::Scalar, KernelLevel::Avx2, KernelLevel::Avx512};

QList<KernelLevel> supportedLevels()
{
    QList<KernelLevel> levels;
    for (KernelLevel level : allLevels) {
        if (int(level) <= int(supportedKernelLevel()))
            levels.append(level);
    }
    return levels;
}

// Caps the kernel level for one scope.
class LevelLimit
{
public:
    explicit LevelLimit(KernelLevel level) { setKernelLevelLimit(level); }
    ~LevelLimit() { setKernelLevelLimit(KernelLevel::Avx512); }
    LevelLimit(const LevelLimit &) = delete;
    LevelLimit &operator=(const LevelLimit &) = delete;
};

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

bool isFloatFormat(QImage::Format format)
{
    return format >= QImage::Format_RGBX16FPx4 && format <= QImage::Format_RGBA32FPx4_Premultiplied;
}

// A random image of the given format: valid pixels made by converting random
// ARGB32 colours (alpha often 0 or 255, otherwise partial); for integer
// formats the last third of the rows then holds raw random bytes, which for
// premultiplied formats includes pixels whose colour exceeds their alpha.
QImage randomImage(QImage::Format format, int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage argb(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(argb.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const quint32 choice = random.bounded(4);
            const quint32 alpha = choice == 0 ? 0 : (choice == 1 ? 255 : random.bounded(256));
            line[x] = (alpha << 24) | (random.generate() & 0xffffff);
        }
    }
    QImage image = argb.convertToFormat(format);
    if (!isFloatFormat(format)) {
        const qsizetype pixelBytes = (qsizetype(width) * image.depth() + 7) / 8;
        for (int y = height - height / 3; y < height; ++y) {
            uchar *line = image.scanLine(y);
            for (qsizetype i = 0; i < pixelBytes; ++i)
                line[i] = uchar(random.generate());
        }
    }
    return image;
}

// Compares format, size and the bytes of every pixel (not the padding at the
// ends of the scanlines); on a difference, describes the first one.
bool sameImage(const QImage &actual, const QImage &expected, QString *difference)
{
    if (actual.format() != expected.format() || actual.size() != expected.size()) {
        QDebug(difference) << "got" << actual.format() << actual.size() << "expected"
                           << expected.format() << expected.size();
        return false;
    }
    const int bytesPerPixel = qMax(1, actual.depth() / 8);
    const qsizetype pixelBytes = (qsizetype(actual.width()) * actual.depth() + 7) / 8;
    for (int y = 0; y < actual.height(); ++y) {
        const uchar *a = actual.constScanLine(y);
        const uchar *e = expected.constScanLine(y);
        if (std::memcmp(a, e, size_t(pixelBytes)) == 0)
            continue;
        qsizetype i = 0;
        while (a[i] == e[i])
            ++i;
        const qsizetype x = i / bytesPerPixel;
        const QByteArray got(reinterpret_cast<const char *>(a + x * bytesPerPixel), bytesPerPixel);
        const QByteArray want(reinterpret_cast<const char *>(e + x * bytesPerPixel), bytesPerPixel);
        *difference = QStringLiteral("first difference at (%1, %2): got %3, expected %4")
                              .arg(x)
                              .arg(y)
                              .arg(QString::fromLatin1(got.toHex(' ')),
                                   QString::fromLatin1(want.toHex(' ')));
        return false;
    }
    return true;
}

#define COMPARE_IMAGES(actual, expected) \
    do { \
        QString difference_; \
        const bool same_ = sameImage((actual), (expected), &difference_); \
        QVERIFY2(same_, qPrintable(difference_)); \
    } while (false)

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

QString settingName(const Adjustment &a)
{
    return QStringLiteral("%1,%2,%3").arg(a.brightness).arg(a.contrast).arg(a.saturation);
}

// Sizes of the random images: a small one, and one over the threshold for
// sharing rows across cores whose width is no multiple of 8 or 16.
const QSize testSizes[] = {QSize(67, 23), QSize(301, 229)};

} // namespace

class TestKernels : public QObject
{
    Q_OBJECT

private slots:
    void adjustMatchesReference_data();
    void adjustMatchesReference();
    void filtersMatchReference_data();
    void filtersMatchReference();
    void everyChannelValue_data();
    void everyChannelValue();
    void workedExamples_data();
    void workedExamples();
    void grayscaleExamples_data();
    void grayscaleExamples();
    void allColoursKeptWithoutAdjustment();
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

private:
    // The reference results of the last format and setting, shared by the
    // rows of the different levels.
    QString m_referenceKey;
    QList<QImage> m_sources;
    QList<QImage> m_references;
};

void TestKernels::adjustMatchesReference_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("format");
    QTest::addColumn<Adjustment>("adjustment");
    for (QImage::Format format : writableFormats()) {
        for (const Adjustment &a : sliderSettings()) {
            for (KernelLevel level : allLevels) {
                QTest::addRow("%s/%s/%s", qPrintable(formatName(format)),
                              qPrintable(settingName(a)), qPrintable(levelName(level)))
                        << int(level) << int(format) << a;
            }
        }
    }
}

void TestKernels::adjustMatchesReference()
{
    QFETCH(int, level);
    QFETCH(int, format);
    QFETCH(Adjustment, adjustment);
    if (level > int(supportedKernelLevel()))
        QSKIP("This CPU lacks the instruction set");

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

    const LevelLimit limit{KernelLevel(level)};
    QCOMPARE(int(activeKernelLevel()), level);
    for (qsizetype i = 0; i < m_sources.size(); ++i) {
        QImage result;
        QVERIFY(adjustImage(m_sources[i], result, adjustment));
        COMPARE_IMAGES(result, m_references[i]);
    }
}

void TestKernels::filtersMatchReference_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("invert");
    for (QImage::Format format : writableFormats()) {
        for (bool invert : {false, true}) {
            for (KernelLevel level : allLevels) {
                QTest::addRow("%s/%s/%s", qPrintable(formatName(format)),
                              invert ? "invert" : "grayscale", qPrintable(levelName(level)))
                        << int(level) << int(format) << invert;
            }
        }
    }
}

void TestKernels::filtersMatchReference()
{
    QFETCH(int, level);
    QFETCH(int, format);
    QFETCH(bool, invert);
    if (level > int(supportedKernelLevel()))
        QSKIP("This CPU lacks the instruction set");

    const LevelLimit limit{KernelLevel(level)};
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
        // The copy taken before is left as it was.
        COMPARE_IMAGES(source,
                       randomImage(QImage::Format(format), size.width(), size.height(), seed - 1));
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

    for (KernelLevel level : supportedLevels()) {
        const LevelLimit limit{level};
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
    for (KernelLevel level : supportedLevels()) {
        const LevelLimit limit{level};
        QImage result;
        QVERIFY(adjustImage(source, result, adjustment));
        for (int x = 0; x < source.width(); ++x)
            QCOMPARE(result.pixel(x, 0), expected);
    }
}

void TestKernels::grayscaleExamples_data()
{
    QTest::addColumn<QRgb>("pixel");
    QTest::addColumn<int>("gray");
    QTest::newRow("orange") << qRgb(200, 100, 50) << 124;
    QTest::newRow("red") << qRgb(255, 0, 0) << 76;
    QTest::newRow("green") << qRgb(0, 255, 0) << 149;
    QTest::newRow("blue") << qRgb(0, 0, 255) << 29;
    QTest::newRow("mid gray") << qRgb(128, 128, 128) << 127;
}

void TestKernels::grayscaleExamples()
{
    QFETCH(QRgb, pixel);
    QFETCH(int, gray);
    for (KernelLevel level : supportedLevels()) {
        const LevelLimit limit{level};
        QImage image(37, 1, QImage::Format_RGB32);
        image.fill(pixel);
        grayscaleImage(image);
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(image.pixel(x, 0), qRgb(gray, gray, gray));
    }
}

void TestKernels::allColoursKeptWithoutAdjustment()
{
    QImage all(4096, 4096, QImage::Format_RGB32);
    for (int y = 0; y < 4096; ++y) {
        auto *line = reinterpret_cast<QRgb *>(all.scanLine(y));
        for (int x = 0; x < 4096; ++x)
            line[x] = 0xff000000u | quint32(y) << 12 | quint32(x);
    }
    for (KernelLevel level : supportedLevels()) {
        const LevelLimit limit{level};
        QImage result;
        QVERIFY(adjustImage(all, result, Adjustment{}));
        COMPARE_IMAGES(result, all);
    }
}

void TestKernels::grayLevelsUnderGrayscale()
{
    QImage levels(256, 1, QImage::Format_RGB32);
    for (int v = 0; v < 256; ++v)
        levels.setPixel(v, 0, qRgb(v, v, v));
    for (KernelLevel level : supportedLevels()) {
        const LevelLimit limit{level};
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
void TestKernels::grayscaleSettles()
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

void TestKernels::invertTwiceRestores()
{
    for (KernelLevel level : supportedLevels()) {
        const LevelLimit limit{level};
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

void TestKernels::destinationBufferReused()
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

void TestKernels::sharedDestinationLeftAlone()
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

void TestKernels::paletteImages_data()
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

void TestKernels::paletteImages()
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

void TestKernels::editableFormatChoice()
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

void TestKernels::metadataKept()
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

void TestKernels::nullSource()
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

QTEST_GUILESS_MAIN(TestKernels)

#include "tst_kernels.moc"
