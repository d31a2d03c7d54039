// The picture edits through the window's menus: the quarter turns and
// mirrors in every pixel format, and the colour filters.
#include "editingsupport.h"

using namespace TestSupport;

namespace {

QImage pixelImage(QRgb value)
{
    QImage image(1, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, value);
    return image;
}

// The bytes of one pixel as stored, whatever the format.
QByteArray rawPixel(const QImage &image, QPoint p)
{
    const int bytes = image.depth() / 8;
    return QByteArray(reinterpret_cast<const char *>(image.constScanLine(p.y()))
                              + qsizetype(p.x()) * bytes,
                      bytes);
}

QImage grayRamp()
{
    QImage ramp(256, 1, QImage::Format_RGB32);
    for (int v = 0; v < 256; ++v)
        ramp.setPixel(v, 0, qRgb(v, v, v));
    return ramp;
}

} // namespace

class EditsTest : public QObject
{
    Q_OBJECT

private slots:
    // --- Quarter turns and mirrors ---------------------------------------

    void transformMapping_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("format");
        const QList<QPair<const char *, QImage::Format>> formats = {
                {"ARGB32", QImage::Format_ARGB32},
                {"RGB32", QImage::Format_RGB32},
                {"ARGB32_Premultiplied", QImage::Format_ARGB32_Premultiplied},
                {"RGBA64", QImage::Format_RGBA64},
                {"Grayscale8", QImage::Format_Grayscale8},
                {"RGB888", QImage::Format_RGB888},
        };
        for (const char *item :
             {"Rotate Right", "Rotate Left", "Flip Horizontal", "Flip Vertical"}) {
            for (const auto &format : formats) {
                QTest::addRow("%s, %s", item, format.first)
                        << QString::fromLatin1(item) << QSize(3, 2) << int(format.second);
            }
            QTest::addRow("%s, one pixel", item)
                    << QString::fromLatin1(item) << QSize(1, 1) << int(QImage::Format_ARGB32);
        }
    }

    void transformMapping()
    {
        QFETCH(QString, item);
        QFETCH(QSize, size);
        QFETCH(int, format);
        MainWindow window;
        MainWindowTestAccess access{window};
        const QImage source =
                coordinateImage(size.width(), size.height(), QImage::Format(format), true);
        access.load(source);
        TRIGGER(window, "Flip Vertical");
        TRIGGER(window, "Undo");
        QCOMPARE(access.redoStack().size(), 1);

        TRIGGER(window, item);
        const QImage result = access.workingImage();
        QCOMPARE(result.format(), source.format());
        const bool turn = item.startsWith(QLatin1String("Rotate"));
        QCOMPARE(result.size(), turn ? size.transposed() : size);
        const int w = size.width();
        const int h = size.height();
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const QPoint to = item == QLatin1String("Rotate Right")      ? QPoint(h - 1 - y, x)
                                  : item == QLatin1String("Rotate Left")     ? QPoint(y, w - 1 - x)
                                  : item == QLatin1String("Flip Horizontal") ? QPoint(w - 1 - x, y)
                                                                             : QPoint(x, h - 1 - y);
                QVERIFY2(rawPixel(result, to) == rawPixel(source, {x, y}),
                         qPrintable(QString::asprintf("pixel (%d, %d) did not land on (%d, %d)", x,
                                                      y, to.x(), to.y())));
            }
        }
        QCOMPARE(access.undoStack().size(), 1);
        QCOMPARE(access.redoStack().size(), 0);
        QCOMPARE(access.adjustedImage().format(), source.format());
        QVERIFY(allPixels(access.adjustedImage(), opaque));
    }

    // Sequences that must give back the picture, one history entry a step.
    void identities_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::newRow("four right turns") << "Rotate Right,Rotate Right,Rotate Right,Rotate Right";
        QTest::newRow("four left turns") << "Rotate Left,Rotate Left,Rotate Left,Rotate Left";
        QTest::newRow("left then right") << "Rotate Left,Rotate Right";
        QTest::newRow("right then left") << "Rotate Right,Rotate Left";
        QTest::newRow("flip horizontal twice") << "Flip Horizontal,Flip Horizontal";
        QTest::newRow("flip vertical twice") << "Flip Vertical,Flip Vertical";
        QTest::newRow("invert twice") << "Invert,Invert";
    }

    void identities()
    {
        QFETCH(QString, steps);
        const QStringList items = steps.split(QLatin1Char(','));
        MainWindow window;
        MainWindowTestAccess access{window};
        const QImage original = coordinateImage(5, 3);
        access.load(original);
        for (int i = 0; i < items.size(); ++i) {
            TRIGGER(window, items.at(i));
            QCOMPARE(access.undoStack().size(), i + 1);
            QVERIFY(i + 1 == items.size() || access.workingImage() != original);
        }
        COMPARE_IMAGES(access.workingImage(), original);
    }

    // --- Colour filters --------------------------------------------------

    // The filters read the document, not the adjusted picture; the sliders
    // apply to the result, and Undo brings back the pixels, alpha included.
    void filterExamples_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("brightness");
        QTest::addColumn<QRgb>("input");
        QTest::addColumn<QRgb>("expected");
        const QString gray = QStringLiteral("Grayscale");
        const QString invert = QStringLiteral("Invert");
        QTest::newRow("gray of orange") << gray << 0 << qRgb(200, 100, 50) << qRgb(124, 124, 124);
        QTest::newRow("gray of red") << gray << 0 << qRgb(255, 0, 0) << qRgb(76, 76, 76);
        QTest::newRow("gray of green") << gray << 0 << qRgb(0, 255, 0) << qRgb(149, 149, 149);
        QTest::newRow("gray of blue") << gray << 0 << qRgb(0, 0, 255) << qRgb(29, 29, 29);
        QTest::newRow("gray, translucent")
                << gray << 0 << qRgba(200, 100, 50, 90) << qRgb(124, 124, 124);
        QTest::newRow("gray, brightened")
                << gray << 40 << qRgb(200, 100, 50) << qRgb(124, 124, 124);
        QTest::newRow("invert orange") << invert << 0 << qRgb(200, 100, 50) << qRgb(55, 155, 205);
        QTest::newRow("invert, transparent")
                << invert << 0 << qRgba(0, 128, 255, 0) << qRgb(255, 127, 0);
        QTest::newRow("invert, brightened")
                << invert << 40 << qRgb(200, 100, 50) << qRgb(55, 155, 205);
    }

    void filterExamples()
    {
        QFETCH(QString, item);
        QFETCH(int, brightness);
        QFETCH(QRgb, input);
        QFETCH(QRgb, expected);
        MainWindow window;
        MainWindowTestAccess access{window};
        access.load(pixelImage(input));
        access.brightnessSlider()->setValue(brightness);
        TRIGGER(window, item);
        QCOMPARE(QColor::fromRgba(access.workingImage().pixel(0, 0)), QColor::fromRgba(expected));
        COMPARE_DOCUMENT(access, pixelImage(expected));
        QCOMPARE(access.undoStack().size(), 1);
        TRIGGER(window, "Undo");
        COMPARE_DOCUMENT(access, pixelImage(input));
    }

    // On a ramp of all grays, 65 levels come out one lower; a gray that
    // dropped may drop again on the next pass, until the third pass.
    void grayscaleRamp()
    {
        MainWindow window;
        MainWindowTestAccess access{window};
        access.load(grayRamp());
        TRIGGER(window, "Grayscale");
        QList<int> dropped;
        for (int v = 0; v < 256; ++v) {
            const QRgb out = access.workingImage().pixel(v, 0);
            QVERIFY(gray(out));
            QVERIFY2(qRed(out) == v || qRed(out) == v - 1, qPrintable(QString::number(v)));
            if (qRed(out) != v)
                dropped.append(v);
        }
        QCOMPARE(dropped.size(), 65);
        for (int v : {1, 2, 4, 8, 127, 128, 254})
            QVERIFY2(dropped.contains(v), qPrintable(QString::number(v)));
        QVERIFY(!dropped.contains(0) && !dropped.contains(255));

        // Changed pixels per later pass, and where 128 and 204 (the longest chain) stand.
        const int changed[] = {13, 1, 0};
        const int from128[] = {126, 126, 126};
        const int from204[] = {202, 201, 201};
        for (int pass = 0; pass < 3; ++pass) {
            const QImage before = access.workingImage();
            TRIGGER(window, "Grayscale");
            const QImage after = access.workingImage();
            int count = 0;
            for (int v = 0; v < 256; ++v)
                count += after.pixel(v, 0) != before.pixel(v, 0);
            QCOMPARE(count, changed[pass]);
            QCOMPARE(qRed(after.pixel(128, 0)), from128[pass]);
            QCOMPARE(qRed(after.pixel(204, 0)), from204[pass]);
            QCOMPARE(access.undoStack().size(), pass + 2);
        }
    }
};

QTEST_MAIN(EditsTest)
#include "tst_edits.moc"
