// The clipboard through the window's menus: what Copy and Cut hand over,
// and what Paste makes of a picture, into a document or the empty editor.
#include "editingsupport.h"
#include "filesupport.h"

using namespace TestSupport;

class ClipboardTest : public QObject
{
    Q_OBJECT

private slots:
    // Copy and Cut hand over the adjusted picture, opaque; Cut empties the
    // editor (the view keeps its size) and Undo brings the document back.
    void clipboardGetsShownPicture_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("brightness");
        QTest::addColumn<int>("saturation");
        QTest::newRow("copy") << QStringLiteral("Copy") << 0 << 0;
        QTest::newRow("copy, brightened") << QStringLiteral("Copy") << 50 << 0;
        QTest::newRow("cut") << QStringLiteral("Cut") << 0 << 0;
        QTest::newRow("cut, desaturated") << QStringLiteral("Cut") << 0 << -100;
    }

    void clipboardGetsShownPicture()
    {
        QFETCH(QString, item);
        QFETCH(int, brightness);
        QFETCH(int, saturation);
        MainWindow window;
        MainWindowTestAccess access{window};
        const QImage original = coordinateImage(6, 4, QImage::Format_ARGB32, true);
        access.load(original);
        access.brightnessSlider()->setValue(brightness);
        access.saturationSlider()->setValue(saturation);
        const QImage shown = access.adjustedImage();
        const QSize viewSize = access.imageLabel()->size();
        QVERIFY(!viewBlank(access));
        clipboard()->clear();

        TRIGGER(window, item);
        const QImage clip = clipboardImage();
        QVERIFY(allPixels(clip, opaque));
        COMPARE_IMAGES(clip.convertToFormat(QImage::Format_ARGB32), shown);
        COMPARE_IMAGES(clip.convertToFormat(QImage::Format_ARGB32),
                       withSliders(original, brightness, 0, saturation));
        QCOMPARE(allPixels(clip, gray), saturation == -100);
        if (item == QLatin1String("Copy")) {
            COMPARE_DOCUMENT(access, original);
            QCOMPARE(access.undoStack().size(), 0);
            return;
        }
        QVERIFY(access.workingImage().isNull());
        QVERIFY(access.adjustedImage().isNull());
        QVERIFY(viewBlank(access));
        QCOMPARE(access.imageLabel()->size(), viewSize);
        QCOMPARE(access.undoStack().size(), 1);
        TRIGGER(window, "Undo");
        COMPARE_DOCUMENT(access, original);
    }

    // The brightened picture pasted becomes the document and is brightened again.
    void brightnessAppliedAgainAfterPaste()
    {
        QImage original(3, 1, QImage::Format_RGB32);
        original.setPixel(0, 0, qRgb(200, 100, 50));
        original.setPixel(1, 0, qRgb(255, 255, 255));
        original.setPixel(2, 0, qRgb(0, 10, 250));
        MainWindow window;
        MainWindowTestAccess access{window};
        access.load(original);
        access.brightnessSlider()->setValue(50);
        const QImage brightened = access.adjustedImage();
        TRIGGER(window, "Copy");
        TRIGGER(window, "Paste");
        COMPARE_DOCUMENT(access, brightened);
        int (*const channels[])(QRgb) = {qRed, qGreen, qBlue};
        for (int x = 0; x < 3; ++x) {
            const QRgb once = brightened.pixel(x, 0);
            const QRgb twice = access.adjustedImage().pixel(x, 0);
            for (const auto channel : channels)
                QVERIFY(channel(once) == 255 ? channel(twice) == 255
                                             : channel(twice) > channel(once));
        }
        QCOMPARE(access.undoStack().size(), 1);
        TRIGGER(window, "Undo");
        COMPARE_DOCUMENT(access, original);
    }

    // Pasting into the empty editor shows the picture at its size, with
    // nothing to undo; palette and 1-bit pictures arrive in 32 bits.
    void pasteIntoEmptyEditor_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<int>("format");
        const QImage colours = coordinateImage(8, 4, QImage::Format_RGB32);
        QImage translucent(4, 2, QImage::Format_Indexed8);
        translucent.setColorTable({qRgba(10, 20, 30, 128), qRgb(200, 0, 0)});
        for (int i = 0; i < 8; ++i)
            translucent.setPixel(i % 4, i / 4, i % 3 == 0);
        QTest::newRow("32 bit") << colours << int(QImage::Format_RGB32);
        QTest::newRow("24 bit") << colours.convertToFormat(QImage::Format_RGB888)
                                << int(QImage::Format_RGB32);
        QTest::newRow("palette") << colours.convertToFormat(QImage::Format_Indexed8)
                                 << int(QImage::Format_RGB32);
        QTest::newRow("one bit") << colours.convertToFormat(QImage::Format_Mono)
                                 << int(QImage::Format_RGB32);
        QTest::newRow("translucent palette") << translucent << int(QImage::Format_ARGB32);
    }

    // Another program's bytes are decoded as Open decodes a file: its formats
    // only, whatever the type says, and its allocation limit from the start.
    void pastedBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QSize>("pasted");
        const QImage picture = coordinateImage(8, 4, QImage::Format_RGB32);
        QImage big(6000, 6000, QImage::Format_RGB32); // over Qt's default limit of 128 MiB
        big.fill(Qt::darkCyan);
        QTest::newRow("PNG") << encoded(picture, "png") << "image/png" << picture.size();
        QTest::newRow("JPEG") << encoded(picture, "jpeg") << "image/jpeg" << picture.size();
        QTest::newRow("PPM called PNG") << encoded(picture, "ppm") << "image/png" << QSize();
        QTest::newRow("XPM called PNG") << encoded(picture, "xpm") << "image/png" << QSize();
        QTest::newRow("6000 x 6000") << encoded(big, "png") << "image/png" << big.size();
    }

    void pastedBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, type);
        QFETCH(QSize, pasted);
        offer(bytes, type);
        QCOMPARE(clipboardImage().size(), pasted.isValid() ? pasted : QSize(0, 0));
    }

    void pasteIntoEmptyEditor()
    {
        QFETCH(QImage, picture);
        QFETCH(int, format);
        MainWindow window;
        MainWindowTestAccess access{window};
        const QImage expected = picture.convertToFormat(QImage::Format(format));
        offer(picture);
        TRIGGER(window, "Paste");
        QCOMPARE(access.workingImage().format(), QImage::Format(format));
        COMPARE_DOCUMENT(access, expected);
        QCOMPARE(access.imageLabel()->size(), picture.size());
        QCOMPARE(access.undoStack().size(), 0);
        TRIGGER(window, "Undo");
        COMPARE_DOCUMENT(access, expected);
        QCOMPARE(access.redoStack().size(), 0);
    }
};

QTEST_MAIN(ClipboardTest)
#include "tst_clipboard.moc"
