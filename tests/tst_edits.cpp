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
    // apply to the result, and Undo brings back the pixels, alpha included
    // (the levels of grayscale itself are tested with the kernels).
    void filterExamples_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("brightness");
        QTest::addColumn<QRgb>("input");
        QTest::addColumn<QRgb>("expected");
        const QString gray = QStringLiteral("Grayscale");
        const QString invert = QStringLiteral("Invert");
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
};

QTEST_MAIN(EditsTest)
#include "tst_edits.moc"
