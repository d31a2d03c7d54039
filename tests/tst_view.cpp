// The sliders and the zoomable view: the adjustments shown over the
// document, zoom sizes and limits, and the painted picture.
#include "editingsupport.h"

#include "imageoperations.h"

#include <QScreen>

using namespace TestSupport;

class ViewTest : public QObject
{
    Q_OBJECT

private slots:
    void slidersApplyAllThree();
    void newImageShownWithCurrentSliders();
    void zoom_data();
    void zoom();
    void viewPaintsPicture();
};

void ViewTest::slidersApplyAllThree()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    const QImage original = coordinateImage(40, 30, QImage::Format_ARGB32, true);
    state.load(original);

    state.brightnessSlider()->setValue(10);
    state.contrastSlider()->setValue(20);
    state.saturationSlider()->setValue(-50);
    COMPARE_IMAGES(state.adjustedImage(), withSliders(original, 10, 20, -50));
    COMPARE_IMAGES(state.workingImage(), original);
    QVERIFY(state.undoStack().isEmpty());

    state.brightnessSlider()->setValue(0);
    state.contrastSlider()->setValue(0);
    state.saturationSlider()->setValue(-100);
    COMPARE_IMAGES(state.adjustedImage(), withSliders(original, 0, 0, -100));
}

// Sliders moved with no picture show nothing; the next picture is shown
// with them.
void ViewTest::newImageShownWithCurrentSliders()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    state.brightnessSlider()->setValue(100);
    QVERIFY(state.adjustedImage().isNull());
    QVERIFY(viewBlank(state));
    QImage original(1, 1, QImage::Format_ARGB32);
    original.setPixel(0, 0, qRgba(200, 100, 50, 0));
    state.load(original);
    QCOMPARE(state.brightnessSlider()->value(), 100);
    // Shown brightened, and opaque although the document is transparent.
    QCOMPARE(state.adjustedImage().pixel(0, 0), qRgba(255, 200, 150, 255));
    QCOMPARE(state.adjustedImage().format(), QImage::Format_ARGB32);
}

// Zoom steps (n > 0: n times Zoom In, n < 0: -n times Zoom Out) on a picture
// of imageSize (none when empty): the factor they reach (NaN: not checked),
// and the view's size, which is what scaling a pixmap to the truncated
// target gives (-1 by -1: not checked). Reset Zoom then shows the picture
// at its own size.
void ViewTest::zoom_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QList<int>>("steps");
    QTest::addColumn<double>("factor");
    QTest::addColumn<QSize>("viewSize");
    const QSize unchecked(-1, -1);
    double limit = 1.0;
    for (int i = 0; i < 37; ++i)
        limit *= 1.25;
    QTest::newRow("one step in") << QSize(100, 80) << QList<int>{1} << 1.25 << QSize(125, 100);
    QTest::newRow("three steps in truncate")
            << QSize(100, 80) << QList<int>{3} << 1.953125 << QSize(195, 156);
    QTest::newRow("one step out") << QSize(3, 3) << QList<int>{-1} << 0.8 << QSize(2, 2);
    QTest::newRow("thin image vanishes") << QSize(100, 1) << QList<int>{-1} << 0.8 << QSize(0, 0);
    QTest::newRow("photo zoomed out")
            << QSize(1000, 750) << QList<int>{-1} << 0.8 << QSize(800, 600);
    QTest::newRow("odd proportions") << QSize(7, 301) << QList<int>{2} << 1.5625 << QSize(10, 470);
    QTest::newRow("without a picture") << QSize() << QList<int>{2, -1, 1} << 1.5625 << unchecked;
    QTest::newRow("zoomed to nothing")
            << QSize(10, 10) << QList<int>{-11} << qQNaN() << QSize(0, 0);
    QTest::newRow("and back") << QSize(10, 10) << QList<int>{-11, 11} << 1.0 << QSize(10, 10);
    // 4000 × 1.25^n passes the widget size limit (16777215) at n = 38.
    QTest::newRow("no step past the widget limit")
            << QSize(4000, 10) << QList<int>{60} << limit << unchecked;
}

void ViewTest::zoom()
{
    QFETCH(QSize, imageSize);
    QFETCH(QList<int>, steps);
    QFETCH(double, factor);
    QFETCH(QSize, viewSize);
    MainWindow window;
    MainWindowTestAccess state{window};
    QImage image;
    if (!imageSize.isEmpty()) {
        image = QImage(imageSize, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        state.load(image);
    }
    for (int n : steps) {
        for (int i = 0; i < qAbs(n); ++i) {
            if (n > 0)
                TRIGGER(window, "Zoom In");
            else
                TRIGGER(window, "Zoom Out");
        }
    }
    if (!qIsNaN(factor))
        QCOMPARE(state.scaleFactor(), factor);
    if (image.isNull()) {
        QVERIFY(state.adjustedImage().isNull());
        return;
    }
    if (viewSize.isValid()) {
        QCOMPARE(state.imageLabel()->size(), viewSize);
        const double f = state.scaleFactor();
        const QSize target(int(imageSize.width() * f), int(imageSize.height() * f));
        const QPixmap scaled = QPixmap::fromImage(image).scaled(target, Qt::KeepAspectRatio,
                                                                Qt::SmoothTransformation);
        QCOMPARE(state.imageLabel()->size(), scaled.isNull() ? QSize(0, 0) : scaled.size());
    }
    // No zoomed copy of the picture is kept.
    QVERIFY(state.imageLabel()->pixmap().isNull());

    TRIGGER(window, "Reset Zoom");
    QCOMPARE(state.scaleFactor(), 1.0);
    QCOMPARE(state.imageLabel()->size(), imageSize);
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

    // A slider step is on the screen when it returns: what the window
    // flushed, not a fresh rendering.
    state.brightnessSlider()->setValue(60);
    const QPoint at = state.imageLabel()->mapTo(&window, QPoint(30, 20));
    const QImage screen =
            window.screen()->grabWindow(window.winId(), at.x(), at.y(), 1, 1).toImage();
    QCOMPARE(screen.pixel(0, 0), state.adjustedImage().pixel(30, 20));
    QVERIFY(screen.pixel(0, 0) != image.pixel(30, 20));
    state.brightnessSlider()->setValue(0);

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
