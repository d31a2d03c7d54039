// The sliders and the zoomable view: the adjustments shown over the
// document, palette pictures made editable, zoom sizes and limits, and the
// painted picture.
#include "testsupport.h"

#include "imagekernels.h"
#include "viewgeometry.h"

using namespace TestSupport;

class ViewTest : public QObject
{
    Q_OBJECT

private slots:
    void slidersWithoutImage();
    void slidersApplyAllThree();
    void newImageShownWithCurrentSliders();
    void paletteImagesBecomeEditable_data();
    void paletteImagesBecomeEditable();
    void zoomSizes_data();
    void zoomSizes();
    void zoomWithoutImage();
    void zoomVanishesAndComesBack();
    void zoomRefusesOversizedView();
    void viewPaintsPicture();
};

void ViewTest::slidersWithoutImage()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    state.brightnessSlider()->setValue(30);
    state.saturationSlider()->setValue(-100);
    QCOMPARE(state.brightnessSlider()->value(), 30);
    QVERIFY(state.workingImage().isNull());
    QVERIFY(state.adjustedImage().isNull());
    QVERIFY(state.undoStack().isEmpty());
}

void ViewTest::slidersApplyAllThree()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QImage original(1, 1, QImage::Format_RGB32);
    original.setPixel(0, 0, qRgb(200, 100, 50));
    state.load(original);

    state.brightnessSlider()->setValue(10);
    state.contrastSlider()->setValue(20);
    state.saturationSlider()->setValue(-50);
    QCOMPARE(state.adjustedImage().pixel(0, 0), qRgb(177, 119, 89));
    QCOMPARE(state.workingImage().pixel(0, 0), qRgb(200, 100, 50));
    QVERIFY(state.undoStack().isEmpty());

    state.brightnessSlider()->setValue(0);
    state.contrastSlider()->setValue(0);
    state.saturationSlider()->setValue(0);
    QCOMPARE(state.adjustedImage().pixel(0, 0), qRgb(200, 100, 50));
}

void ViewTest::newImageShownWithCurrentSliders()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    state.brightnessSlider()->setValue(100);
    QImage original(1, 1, QImage::Format_ARGB32);
    original.setPixel(0, 0, qRgba(200, 100, 50, 0));
    state.load(original);
    QCOMPARE(state.brightnessSlider()->value(), 100);
    // Shown brightened, and opaque although the document is transparent.
    QCOMPARE(state.adjustedImage().pixel(0, 0), qRgba(255, 200, 150, 255));
    QCOMPARE(state.adjustedImage().format(), QImage::Format_ARGB32);
}

void ViewTest::paletteImagesBecomeEditable_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<int>("expectedFormat");
    QImage indexed(4, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 50)});
    indexed.fill(1);
    QTest::newRow("Indexed8 opaque") << indexed << int(QImage::Format_RGB32);
    QImage transparent = indexed;
    transparent.setColorTable({qRgba(0, 0, 0, 0), qRgb(200, 100, 50)});
    QTest::newRow("Indexed8 with transparency") << transparent << int(QImage::Format_ARGB32);
    QImage mono(9, 3, QImage::Format_Mono);
    mono.fill(1);
    QTest::newRow("Mono") << mono << int(QImage::Format_RGB32);
}

void ViewTest::paletteImagesBecomeEditable()
{
    QFETCH(QImage, image);
    QFETCH(int, expectedFormat);
    const QImage editable = Lumivex::toEditableFormat(image);
    QCOMPARE(int(editable.format()), expectedFormat);
    COMPARE_IMAGES(editable, image.convertToFormat(QImage::Format(expectedFormat)));

    // The sliders act on the palette image exactly as on its 32-bit copy.
    MainWindow window;
    MainWindowTestAccess state{window};
    state.load(editable);
    state.saturationSlider()->setValue(-100);
    QImage expected;
    Lumivex::Reference::adjustImage(editable, expected, {0, 0, -100});
    COMPARE_IMAGES(state.adjustedImage(), expected);
}

void ViewTest::zoomSizes_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QSize>("viewSize");
    QTest::newRow("one step in") << QSize(100, 80) << 1 << QSize(125, 100);
    QTest::newRow("three steps in truncate") << QSize(100, 80) << 3 << QSize(195, 156);
    QTest::newRow("one step out") << QSize(3, 3) << -1 << QSize(2, 2);
    QTest::newRow("thin image vanishes") << QSize(100, 1) << -1 << QSize(0, 0);
    QTest::newRow("photo zoomed out") << QSize(1000, 750) << -1 << QSize(800, 600);
    QTest::newRow("odd proportions") << QSize(7, 301) << 2 << QSize(10, 470);
}

void ViewTest::zoomSizes()
{
    QFETCH(QSize, imageSize);
    QFETCH(int, steps);
    QFETCH(QSize, viewSize);
    MainWindow window;
    MainWindowTestAccess state{window};
    QImage image(imageSize, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    state.load(image);
    for (int i = 0; i < qAbs(steps); ++i) {
        if (steps > 0)
            TRIGGER(window, "Zoom In");
        else
            TRIGGER(window, "Zoom Out");
    }
    QCOMPARE(state.imageLabel()->size(), viewSize);

    // The same size that scaling a pixmap to the truncated target gives.
    const double factor = state.scaleFactor();
    const QSize target(int(imageSize.width() * factor), int(imageSize.height() * factor));
    const QPixmap scaled =
            QPixmap::fromImage(image).scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QCOMPARE(state.imageLabel()->size(), scaled.isNull() ? QSize(0, 0) : scaled.size());
    // No zoomed copy of the picture is kept.
    QVERIFY(state.imageLabel()->pixmap().isNull());

    TRIGGER(window, "Reset Zoom");
    QCOMPARE(state.scaleFactor(), 1.0);
    QCOMPARE(state.imageLabel()->size(), imageSize);
}

void ViewTest::zoomWithoutImage()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    TRIGGER(window, "Zoom In");
    TRIGGER(window, "Zoom In");
    QCOMPARE(state.scaleFactor(), 1.5625);
    TRIGGER(window, "Zoom Out");
    TRIGGER(window, "Zoom In");
    QCOMPARE(state.scaleFactor(), 1.5625);
    QVERIFY(state.adjustedImage().isNull());
}

void ViewTest::zoomVanishesAndComesBack()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(Qt::red);
    state.load(image);
    for (int i = 0; i < 11; ++i)
        TRIGGER(window, "Zoom Out");
    QCOMPARE(state.imageLabel()->size(), QSize(0, 0));
    for (int i = 0; i < 11; ++i)
        TRIGGER(window, "Zoom In");
    QCOMPARE(state.scaleFactor(), 1.0);
    QCOMPARE(state.imageLabel()->size(), QSize(10, 10));
}

void ViewTest::zoomRefusesOversizedView()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QImage image(4000, 10, QImage::Format_RGB32);
    image.fill(Qt::blue);
    state.load(image);
    // 4000 × 1.25^n passes the widget size limit (16777215) at n = 38.
    for (int i = 0; i < 60; ++i)
        TRIGGER(window, "Zoom In");
    double expected = 1.0;
    for (int i = 0; i < 37; ++i)
        expected *= 1.25;
    QCOMPARE(state.scaleFactor(), expected);
    QVERIFY(state.imageLabel()->width() <= QWIDGETSIZE_MAX);
    QVERIFY(!Lumivex::zoomFits(image.size(), expected * 1.25, QWIDGETSIZE_MAX));
    QVERIFY(state.imageLabel()->pixmap().isNull());
}

void ViewTest::viewPaintsPicture()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage image = coordinateImage(120, 90, QImage::Format_RGB32);
    state.load(image);
    const QImage shown = state.imageLabel()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    COMPARE_IMAGES(shown, image);

    // Zoomed, the shown picture is scaled smoothly to the view's size.
    TRIGGER(window, "Zoom In");
    const QImage zoomed = state.imageLabel()->grab().toImage();
    QCOMPARE(zoomed.size(), QSize(149, 112));
    const QColor corner = zoomed.pixelColor(148, 111);
    QVERIFY(qAbs(corner.red() - 119) <= 2);
    QVERIFY(qAbs(corner.green() - 89) <= 2);
}

QTEST_MAIN(ViewTest)
#include "tst_view.moc"
