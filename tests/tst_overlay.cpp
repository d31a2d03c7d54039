// The tool layer over the view: it covers the viewport, and draws the crop
// box, the dragged selection and the select-all outline, whichever way the
// box was dragged, at any zoom and scroll.
#include "pointersupport.h"

#include "tooloverlay.h"

#include <QScrollBar>

#include <climits>

using namespace TestSupport;
using Lumivex::ToolOverlay;

namespace {

// The tool layer, found by its type among the viewport's children.
ToolOverlay *overlayOf(MainWindowTestAccess &state)
{
    for (QObject *child : state.scrollArea()->viewport()->children()) {
        if (auto *layer = dynamic_cast<ToolOverlay *>(child))
            return layer;
    }
    return nullptr;
}

bool anyPixelOf(const QImage &image, const QRect &area, QRgb colour)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if ((image.pixel(x, y) & 0xffffff) == (colour & 0xffffff))
                return true;
        }
    }
    return false;
}

QImage grabbed(QWidget &window)
{
    return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The viewport's area in window coordinates.
QRect viewportArea(MainWindowTestAccess &state, QWidget &window)
{
    QWidget *viewport = state.scrollArea()->viewport();
    return QRect(viewport->mapTo(&window, QPoint(0, 0)), viewport->size());
}

} // namespace

class OverlayTest : public QObject
{
    Q_OBJECT

private slots:
    void layerCoversViewport();
    void cropBoxUntilApplyOrCancel_data();
    void cropBoxUntilApplyOrCancel();
    void draggedSelectionDrawn();
    void selectAllOutlinesPicture_data();
    void selectAllOutlinesPicture();
    void wholePictureOutlineLeavesWithPicture();
    void boxDrawnTheSameWhicheverWay_data();
    void boxDrawnTheSameWhicheverWay();
};

void OverlayTest::layerCoversViewport()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(showImage(window, coordinateImage(300, 200)));
    ToolOverlay *layer = overlayOf(state);
    QVERIFY(layer);
    QWidget *viewport = state.scrollArea()->viewport();
    QCOMPARE(layer->geometry(), viewport->rect());
    QVERIFY(layer->isVisible());
    QVERIFY(layer->testAttribute(Qt::WA_TransparentForMouseEvents));
    QCOMPARE(viewport->children().last(), layer);
    window.resize(700, 500);
    QTRY_COMPARE(layer->geometry(), viewport->rect());
    // The window's own way to its layer finds the same widget.
    QCOMPARE(state.toolOverlay(), layer);
}

void OverlayTest::cropBoxUntilApplyOrCancel_data()
{
    QTest::addColumn<QString>("finish");
    QTest::newRow("applied") << QStringLiteral("Apply Crop");
    QTest::newRow("cancelled") << QStringLiteral("Cancel Crop");
}

void OverlayTest::cropBoxUntilApplyOrCancel()
{
    QFETCH(QString, finish);
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(showImage(window, coordinateImage(600, 400)));
    TRIGGER(window, "Start Crop");
    const QImage base = grabbed(window);
    const QRect visible = viewportArea(state, window);
    Pointer pointer(window);
    pointer.press(QPointF(300, 250));
    pointer.move(QPointF(200, 150));
    VERIFY_BOX(base, grabbed(window), QRect(QPoint(200, 150), QPoint(300, 250)), visible, Qt::red);
    pointer.move(QPointF(450, 150));
    pointer.release(QPointF(450, 150));
    const QImage shown = grabbed(window);
    VERIFY_BOX(base, shown, QRect(QPoint(300, 150), QPoint(450, 250)), visible, Qt::red);
    QVERIFY(!anyPixelOf(shown, QRect(QPoint(200, 160), QPoint(296, 240)), qRgb(255, 0, 0)));
    QWidget *label = state.imageLabel();
    const QRect region(label->mapFrom(&window, QPoint(300, 150)),
                       label->mapFrom(&window, QPoint(450, 250)));
    TRIGGER(window, finish);
    QVERIFY(!state.cropping());
    QVERIFY(state.cropRect().isNull());
    const QImage after = grabbed(window);
    QVERIFY(!anyPixelOf(after, visible, qRgb(255, 0, 0)));
    if (finish == QLatin1String("Apply Crop")) {
        COMPARE_IMAGES(state.workingImage(), coordinateImage(600, 400).copy(region));
    } else {
        QVERIFY(state.undoStack().isEmpty());
        COMPARE_IMAGES(state.workingImage(), coordinateImage(600, 400));
        QCOMPARE(after.copy(visible), base.copy(visible));
        TRIGGER(window, "Apply Crop");
        QVERIFY(state.undoStack().isEmpty());
    }
}

void OverlayTest::draggedSelectionDrawn()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(showImage(window, coordinateImage(600, 400)));
    const QImage base = grabbed(window);
    const QRect visible = viewportArea(state, window);
    TRIGGER(window, "Select Region");
    Pointer pointer(window);
    pointer.drag(QPointF(400, 300), QPointF(250, 120));
    const QImage shown = grabbed(window);
    VERIFY_BOX(base, shown, QRect(QPoint(250, 120), QPoint(400, 300)), visible, Qt::blue);
    QVERIFY(!anyPixelOf(shown, visible, qRgb(255, 0, 0)));
    // A new selection drops the old box.
    TRIGGER(window, "Select Region");
    QCOMPARE(grabbed(window).copy(visible), base.copy(visible));
}

void OverlayTest::selectAllOutlinesPicture_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("scroll");
    QTest::addColumn<bool>("selectFirst");
    QTest::newRow("zoom 0.8") << QSize(1000, 600) << QPoint(0, 0) << false;
    QTest::newRow("zoom 0.8, selected at 1.0") << QSize(1000, 600) << QPoint(0, 0) << true;
    QTest::newRow("zoom 0.8 scrolled") << QSize(1600, 1200) << QPoint(150, 200) << false;
    QTest::newRow("zoom 0.8 scrolled to the end")
            << QSize(1600, 1200) << QPoint(INT_MAX, INT_MAX) << true;
}

void OverlayTest::selectAllOutlinesPicture()
{
    QFETCH(QSize, size);
    QFETCH(QPoint, scroll);
    QFETCH(bool, selectFirst);
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(showImage(window, coordinateImage(size.width(), size.height())));
    if (selectFirst)
        TRIGGER(window, "Select All");
    TRIGGER(window, "Zoom Out");
    QScrollBar *across = state.scrollArea()->horizontalScrollBar();
    QScrollBar *down = state.scrollArea()->verticalScrollBar();
    across->setValue(qMin(scroll.x(), across->maximum()));
    down->setValue(qMin(scroll.y(), down->maximum()));
    QWidget *label = state.imageLabel();
    QCOMPARE(label->size(), size * 0.8);
    QVERIFY(scroll.isNull() || (label->x() < 0 && label->y() < 0));
    const QRect picture(label->mapTo(&window, QPoint(0, 0)), label->size());
    const QRect visible = viewportArea(state, window);
    if (!selectFirst)
        TRIGGER(window, "Select All");
    QVERIFY(!state.selecting());
    QCOMPARE(state.selectionRect(), QRect(QPoint(0, 0), size));
    const QImage shown = grabbed(window);
    // Starting a new selection drops the outline: the view as it is without.
    TRIGGER(window, "Select Region");
    QVERIFY(state.selectionRect().isNull());
    const QImage base = grabbed(window);
    VERIFY_BOX(base, shown, picture, visible, Qt::blue);
    QVERIFY(!anyPixelOf(shown, visible, qRgb(255, 0, 0)));
}

void OverlayTest::wholePictureOutlineLeavesWithPicture()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(showImage(window, coordinateImage(300, 200)));
    TRIGGER(window, "Select All");
    const QRect visible = viewportArea(state, window);
    QVERIFY(anyPixelOf(grabbed(window), visible, qRgb(0, 0, 255)));
    // Cut empties the view but keeps the selection and the view's size: no
    // outline is left around nothing. Undo brings both back.
    TRIGGER(window, "Cut");
    QCOMPARE(state.imageLabel()->size(), QSize(300, 200));
    QVERIFY(!anyPixelOf(grabbed(window), visible, qRgb(0, 0, 255)));
    TRIGGER(window, "Undo");
    QVERIFY(anyPixelOf(grabbed(window), visible, qRgb(0, 0, 255)));
}

void OverlayTest::boxDrawnTheSameWhicheverWay_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QRgb>("outline");
    const QRgb red = qRgb(255, 0, 0);
    const QRgb blue = qRgb(0, 0, 255);
    QTest::newRow("crop up and left")
            << "Start Crop" << QPoint(300, 250) << QPoint(200, 150) << red;
    QTest::newRow("crop back one pixel")
            << "Start Crop" << QPoint(300, 200) << QPoint(299, 400) << red;
    QTest::newRow("crop up one pixel")
            << "Start Crop" << QPoint(100, 201) << QPoint(350, 200) << red;
    QTest::newRow("selection up and left")
            << "Select Region" << QPoint(400, 300) << QPoint(250, 120) << blue;
    QTest::newRow("selection back one pixel")
            << "Select Region" << QPoint(300, 200) << QPoint(299, 400) << blue;
}

void OverlayTest::boxDrawnTheSameWhicheverWay()
{
    QFETCH(QString, command);
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(QRgb, outline);
    // The same two corner pixels dragged forwards (top left to bottom right)
    // and the given way must be drawn alike.
    const QPoint topLeft(qMin(from.x(), to.x()), qMin(from.y(), to.y()));
    const QPoint bottomRight(qMax(from.x(), to.x()), qMax(from.y(), to.y()));
    QImage drawn[2];
    for (int way = 0; way < 2; ++way) {
        MainWindow window;
        MainWindowTestAccess state{window};
        QVERIFY(showImage(window, coordinateImage(600, 400)));
        TRIGGER(window, command);
        Pointer pointer(window);
        if (way == 0)
            pointer.drag(QPointF(topLeft), QPointF(bottomRight));
        else
            pointer.drag(QPointF(from), QPointF(to));
        drawn[way] = grabbed(window).copy(viewportArea(state, window));
    }
    QVERIFY(anyPixelOf(drawn[1], drawn[1].rect(), outline));
    COMPARE_IMAGES(drawn[1], drawn[0]);
}

QTEST_MAIN(OverlayTest)
#include "tst_overlay.moc"
