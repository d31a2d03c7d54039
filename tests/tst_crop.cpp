// Crop: what Apply Crop makes of a dragged box at any zoom and scroll, and
// the crop's history (the region under a box is tested with the geometry).
#include "pointersupport.h"

#include <QScrollBar>

using namespace TestSupport;

class CropTest : public QObject
{
    Q_OBJECT

private slots:
    void emptyCropKeepsImage_data();
    void emptyCropKeepsImage();
    void cropAtNaturalSize();
    void cropZoomedAndScrolled();
    void applyWithoutBoxOrImage();
};

void CropTest::emptyCropKeepsImage_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("zoomAway");
    // Viewport points: the press, the moves, the release.
    QTest::addColumn<QList<QPoint>>("path");
    const QSize size(600, 400);
    QTest::newRow("click") << size << false << QList<QPoint>{{150, 160}, {150, 160}};
    QTest::newRow("drag back to the press point")
            << size << false << QList<QPoint>{{150, 160}, {300, 300}, {150, 160}};
    QTest::newRow("beside the picture")
            << QSize(200, 150) << false << QList<QPoint>{{300, 200}, {350, 250}, {400, 300}};
    QTest::newRow("view zoomed to nothing")
            << size << true << QList<QPoint>{{0, 0}, {100, 80}, {200, 150}};
}

void CropTest::emptyCropKeepsImage()
{
    QFETCH(QSize, size);
    QFETCH(bool, zoomAway);
    QFETCH(QList<QPoint>, path);
    MainWindow window;
    MainWindowTestAccess state{window};
    const QImage original = coordinateImage(size.width(), size.height());
    QVERIFY(showImage(window, original));
    QWidget *label = state.imageLabel();
    for (int step = 0; zoomAway && step < 100 && !label->size().isEmpty(); ++step)
        TRIGGER(window, "Zoom Out");
    QCOMPARE(label->size().isEmpty(), zoomAway);
    TRIGGER(window, "Start Crop");
    QWidget *viewport = state.scrollArea()->viewport();
    Pointer pointer(window);
    pointer.press(viewport->mapTo(&window, path.first()));
    QCOMPARE(pointer.receiver() == viewport, !label->geometry().contains(path.first()));
    for (int i = 1; i + 1 < path.size(); ++i)
        pointer.move(viewport->mapTo(&window, path.at(i)));
    pointer.release(viewport->mapTo(&window, path.last()));
    QCOMPARE(state.cropRect(),
             QRect(viewport->mapTo(&window, path.first()), viewport->mapTo(&window, path.last())));
    TRIGGER(window, "Apply Crop");
    COMPARE_IMAGES(state.workingImage(), original);
    QVERIFY(!state.cropping());
    QVERIFY(state.cropRect().isNull());
    // The attempt stays in the history.
    QCOMPARE(state.undoStack().size(), 1);
    COMPARE_IMAGES(state.undoStack().last(), original);
}

// A box dragged up and left (every order of the corners is tested with
// the geometry) crops the pixels under it.
void CropTest::cropAtNaturalSize()
{
    const QPoint from(109, 69);
    const QPoint to(10, 20);
    MainWindow window;
    MainWindowTestAccess state{window};
    const QImage original = coordinateImage(600, 400);
    QVERIFY(showImage(window, original));
    TRIGGER(window, "Start Crop");
    QWidget *label = state.imageLabel();
    Pointer(window).drag(label->mapTo(&window, from), label->mapTo(&window, to));
    TRIGGER(window, "Apply Crop");
    COMPARE_IMAGES(state.workingImage(), original.copy(10, 20, 100, 50));
    QCOMPARE(state.workingImage().pixel(0, 0), qRgb(10, 20, 130));
    COMPARE_IMAGES(state.adjustedImage(), original.copy(10, 20, 100, 50));
    QCOMPARE(label->size(), QSize(100, 50));
    QVERIFY(!state.cropping());
    QVERIFY(state.cropRect().isNull());
    QCOMPARE(state.undoStack().size(), 1);
    TRIGGER(window, "Undo");
    COMPARE_IMAGES(state.workingImage(), original);
    QCOMPARE(label->size(), QSize(600, 400));
    TRIGGER(window, "Redo");
    COMPARE_IMAGES(state.workingImage(), original.copy(10, 20, 100, 50));
}

void CropTest::cropZoomedAndScrolled()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    const QImage original = coordinateImage(1600, 1200);
    QVERIFY(showImage(window, original));
    TRIGGER(window, "Zoom Out");
    QWidget *label = state.imageLabel();
    QCOMPARE(label->size(), QSize(1280, 960));
    state.scrollArea()->horizontalScrollBar()->setValue(150);
    state.scrollArea()->verticalScrollBar()->setValue(200);
    QCOMPARE(label->pos(), QPoint(-150, -200));
    TRIGGER(window, "Start Crop");
    QWidget *viewport = state.scrollArea()->viewport();
    const QPoint first(400, 300);
    const QPoint second(100, 80);
    // The corners over the shown picture: view pixels (250, 280) and (550, 500),
    // each 1.25 image pixels wide and high.
    const QPoint a = label->mapFrom(viewport, second);
    const QPoint b = label->mapFrom(viewport, first);
    QCOMPARE(a, QPoint(250, 280));
    Pointer(window).drag(viewport->mapTo(&window, first), viewport->mapTo(&window, second));
    TRIGGER(window, "Apply Crop");
    const QRect expected(QPoint(a.x() * 1600 / 1280, a.y() * 1200 / 960),
                         QPoint((b.x() + 1) * 1600 / 1280 - 1, (b.y() + 1) * 1200 / 960 - 1));
    QCOMPARE(expected, QRect(QPoint(312, 350), QPoint(687, 625)));
    COMPARE_IMAGES(state.workingImage(), original.copy(expected));
    QCOMPARE(state.undoStack().size(), 1);
}

void CropTest::applyWithoutBoxOrImage()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    TRIGGER(window, "Start Crop");
    QVERIFY(!state.cropping());
    TRIGGER(window, "Apply Crop");
    TRIGGER(window, "Cancel Crop");
    TRIGGER(window, "Select All");
    TRIGGER(window, "Select Region");
    QVERIFY(state.undoStack().isEmpty());
    QVERIFY(state.selectionRect().isNull() && !state.selecting());

    const QImage original = coordinateImage(200, 150);
    QVERIFY(showImage(window, original));
    TRIGGER(window, "Apply Crop");
    QVERIFY(!state.cropping());
    TRIGGER(window, "Start Crop");
    TRIGGER(window, "Apply Crop");
    QVERIFY(state.cropping());
    QVERIFY(state.undoStack().isEmpty());
    COMPARE_IMAGES(state.workingImage(), original);

    // A box left over from before a cut crops nothing either.
    Pointer(window).drag(QPointF(20, 60), QPointF(80, 120));
    TRIGGER(window, "Cut");
    QCOMPARE(state.undoStack().size(), 1);
    TRIGGER(window, "Apply Crop");
    QCOMPARE(state.undoStack().size(), 1);
    QVERIFY(state.workingImage().isNull());
    QVERIFY(state.cropping());
}

QTEST_MAIN(CropTest)
#include "tst_crop.moc"
