// Opening image files: the dialogs' filters, what reads and how (formats,
// content over name, refusals, size limits, palettes), and Open through its
// dialog. The orientation tags are tested with the file safety.
#include "testsupport.h"

#include "imagefile.h"
#include "imageoperations.h"

#include <QImageWriter>
#include <QtEndian>

using namespace TestSupport;

namespace {

// A PNG whose header announces width × height, followed by a tiny image's data.
QByteArray pngAnnouncing(int width, int height)
{
    QByteArray png = encoded(coordinateImage(2, 2, QImage::Format_RGB32), "png");
    // Signature (8), IHDR length (4), "IHDR" (4), then width and height.
    qToBigEndian<quint32>(quint32(width), png.data() + 16);
    qToBigEndian<quint32>(quint32(height), png.data() + 20);
    qToBigEndian<quint32>(crc32(png.mid(12, 17)), png.data() + 29);
    return png;
}

// A 2 × 1 GIF: a red pixel and a blue one, transparent where transparent is set.
QByteArray gif(bool transparent)
{
    return gifFile(2, 1, {qRgb(255, 0, 0), qRgb(0, 0, 255)}, {0, 1}, transparent ? 1 : -1);
}

} // namespace

class OpenTest : public QObject, private ScratchFolder
{
    Q_OBJECT

private slots:
    void init();
    void filters();
    void readsEachFormat_data();
    void readsEachFormat();
    void contentDecidesFormat();
    void refusesOtherDecoders_data();
    void refusesOtherDecoders();
    void refusesUnreadable();
    void refusesOversizedFromHeader();
    void readsHundredMegapixels();
    void palettesBecomeThirtyTwoBit();
    void openThroughDialog();
    void openCancelledOrUnreadable();
};

void OpenTest::init()
{
    QVERIFY(renewFolder());
}

void OpenTest::filters()
{
    QCOMPARE(Lumivex::openFilter(),
             QStringLiteral("Images (*.png *.jpg *.jpeg *.bmp *.tiff *.tif *.webp *.gif)"));
    QCOMPARE(Lumivex::saveFilter(),
             QStringLiteral("Images (*.png *.jpg *.jpeg *.bmp *.tiff *.tif *.webp)"));
}

void OpenTest::readsEachFormat_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("lossless");
    QTest::newRow("png") << "a.png" << true;
    QTest::newRow("jpg") << "a.jpg" << false;
    QTest::newRow("jpeg") << "a.jpeg" << false;
    QTest::newRow("bmp") << "a.bmp" << true;
    QTest::newRow("tiff") << "a.tiff" << true;
    QTest::newRow("tif") << "a.tif" << true;
    QTest::newRow("webp") << "a.webp" << false;
}

void OpenTest::readsEachFormat()
{
    QFETCH(QString, name);
    QFETCH(bool, lossless);
    const QImage image = coordinateImage(40, 30, QImage::Format_RGB32);
    QVERIFY(image.save(file(name)));
    const QImage read = Lumivex::readImageFile(file(name));
    QCOMPARE(read.size(), image.size());
    if (lossless)
        COMPARE_IMAGES(read.convertToFormat(QImage::Format_RGB32), image);
}

void OpenTest::contentDecidesFormat()
{
    const QImage image = coordinateImage(5, 4, QImage::Format_RGB32);
    QVERIFY(writeBytes(file("png-inside.jpg"), encoded(image, "png")));
    COMPARE_IMAGES(Lumivex::readImageFile(file("png-inside.jpg"))
                           .convertToFormat(QImage::Format_RGB32),
                   image);
    QVERIFY(writeBytes(file("gif-inside.png"), gif(false)));
    QCOMPARE(Lumivex::readImageFile(file("gif-inside.png")).size(), QSize(2, 1));
}

void OpenTest::refusesOtherDecoders_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QString>("name");
    QTest::newRow("xpm named png") << QByteArray("xpm") << "x.png";
    QTest::newRow("ppm named jpg") << QByteArray("ppm") << "x.jpg";
    QTest::newRow("xbm named bmp") << QByteArray("xbm") << "x.bmp";
    QTest::newRow("ico named gif") << QByteArray("ico") << "x.gif";
    QTest::newRow("ppm as itself") << QByteArray("ppm") << "x.ppm";
}

void OpenTest::refusesOtherDecoders()
{
    QFETCH(QByteArray, format);
    QFETCH(QString, name);
    if (!QImageWriter::supportedImageFormats().contains(format))
        QSKIP("no writer for this format here");
    const QByteArray bytes = encoded(coordinateImage(16, 16, QImage::Format_RGB32), format);
    QVERIFY(!bytes.isEmpty());
    QVERIFY(writeBytes(file(name), bytes));
    QVERIFY(!QImage(file(name)).isNull()); // Qt itself would decode it
    QVERIFY(Lumivex::readImageFile(file(name)).isNull());
}

void OpenTest::refusesUnreadable()
{
    QVERIFY(Lumivex::readImageFile(file("missing.png")).isNull());
    QVERIFY(Lumivex::readImageFile(QString()).isNull());
    QVERIFY(writeBytes(file("text.png"), "not an image at all"));
    QVERIFY(Lumivex::readImageFile(file("text.png")).isNull());
    QByteArray truncated = encoded(coordinateImage(64, 64, QImage::Format_RGB32), "png");
    truncated.truncate(60);
    QVERIFY(writeBytes(file("truncated.png"), truncated));
    QVERIFY(Lumivex::readImageFile(file("truncated.png")).isNull());
}

void OpenTest::refusesOversizedFromHeader()
{
    // 20000 × 20000 would need 1.6 GB: refused from the header alone.
    QVERIFY(writeBytes(file("huge.png"), pngAnnouncing(20000, 20000)));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(Lumivex::readImageFile(file("huge.png")).isNull());
    QVERIFY(timer.elapsed() < 5000);
}

void OpenTest::readsHundredMegapixels()
{
    // Qt's default allocation limit (128 MiB) refuses anything above about
    // 33 megapixels; a 100-megapixel photo must still open.
    QImage image(10000, 10000, QImage::Format_RGB32);
    image.fill(qRgb(30, 60, 90));
    image.setPixel(9999, 9999, qRgb(1, 2, 3));
    QVERIFY(image.save(file("big.bmp")));
    image = QImage();
    const QImage read = Lumivex::readImageFile(file("big.bmp"));
    QCOMPARE(read.size(), QSize(10000, 10000));
    QCOMPARE(read.pixel(9999, 9999), qRgb(1, 2, 3));
}

void OpenTest::palettesBecomeThirtyTwoBit()
{
    QVERIFY(writeBytes(file("opaque.gif"), gif(false)));
    const QImage opaque = Lumivex::readImageFile(file("opaque.gif"));
    QCOMPARE(opaque.format(), QImage::Format_RGB32);
    QCOMPARE(opaque.pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(opaque.pixel(1, 0), qRgb(0, 0, 255));

    QVERIFY(writeBytes(file("transparent.gif"), gif(true)));
    const QImage transparent = Lumivex::readImageFile(file("transparent.gif"));
    QCOMPARE(transparent.format(), QImage::Format_ARGB32);
    QCOMPARE(qAlpha(transparent.pixel(1, 0)), 0);

    QImage mono(17, 5, QImage::Format_Mono);
    mono.fill(0);
    mono.setPixel(3, 2, 1);
    QVERIFY(mono.save(file("mono.bmp")));
    const QImage read = Lumivex::readImageFile(file("mono.bmp"));
    QCOMPARE(read.format(), QImage::Format_RGB32);
    COMPARE_IMAGES(read, mono.convertToFormat(QImage::Format_RGB32));
}

void OpenTest::openThroughDialog()
{
    const QImage image = coordinateImage(50, 40, QImage::Format_RGB32);
    QVERIFY(image.save(file("open.png")));

    MainWindow window;
    MainWindowTestAccess state{window};
    state.load(coordinateImage(10, 10));
    TRIGGER(window, "Rotate Right");
    TRIGGER(window, "Flip Vertical");
    TRIGGER(window, "Undo");
    QVERIFY(!state.undoStack().isEmpty() && !state.redoStack().isEmpty());
    TRIGGER(window, "Zoom In");
    TRIGGER(window, "Select All");
    TRIGGER(window, "Start Crop");
    state.cropRect() = QRect(1, 1, 5, 5);
    state.brightnessSlider()->setValue(50);

    DialogAnswer answer(file("open.png"));
    TRIGGER(window, "Open");
    QVERIFY(answer.seen);
    QCOMPARE(answer.caption, QStringLiteral("Open Image"));
    QCOMPARE(answer.filters, QStringList{Lumivex::openFilter()});

    COMPARE_IMAGES(state.workingImage().convertToFormat(QImage::Format_RGB32), image);
    QVERIFY(state.undoStack().isEmpty());
    QVERIFY(state.redoStack().isEmpty());
    QCOMPARE(state.scaleFactor(), 1.0);
    QCOMPARE(state.imageLabel()->size(), image.size());
    QVERIFY(!state.cropping());
    QVERIFY(state.cropRect().isNull());
    QCOMPARE(state.selectionRect(), QRect(0, 0, 10, 10)); // selection left as it was
    QCOMPARE(state.brightnessSlider()->value(), 50);
    QImage expected;
    Lumivex::Reference::adjustImage(state.workingImage(), expected, {50, 0, 0});
    COMPARE_IMAGES(state.adjustedImage(), expected);
}

void OpenTest::openCancelledOrUnreadable()
{
    QVERIFY(writeBytes(file("bad.png"), "garbage"));
    for (const QString &path : {QString(), file("bad.png")}) {
        MainWindow window;
        MainWindowTestAccess state{window};
        const QImage image = coordinateImage(10, 10);
        state.load(image);
        TRIGGER(window, "Invert");
        TRIGGER(window, "Zoom In");
        TRIGGER(window, "Start Crop");
        const QImage before = state.workingImage();

        DialogAnswer answer(path);
        TRIGGER(window, "Open");
        QTest::qWait(50);
        QVERIFY(answer.seen);
        QVERIFY(!answer.messageSeen);
        QCOMPARE(state.workingImage(), before);
        QCOMPARE(state.scaleFactor(), 1.25);
        QVERIFY(state.cropping());
    }
}

QTEST_MAIN(OpenTest)
#include "tst_open.moc"
