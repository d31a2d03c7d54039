// Selection and crop: the pointer handlers as Qt delivers the events to the
// window, the crop region under a dragged box at any zoom and scroll, the
// crop's history, and the boxes that the tool layer draws over the view.
#include "testsupport.h"

#include "tooloverlay.h"
#include "viewgeometry.h"

#include <QMouseEvent>
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

// A pointer driven as the window system drives it: the press goes to the
// widget under the point, the moves and the release to the widget that took
// the press. The picture and the viewport leave the events unhandled, so Qt
// passes them on to the window in its own coordinates.
class Pointer
{
public:
    explicit Pointer(QWidget &topLevel) : top(topLevel) { }

    // Points are in window coordinates.
    void press(const QPointF &at)
    {
        grabber = top.childAt(at.toPoint());
        if (!grabber)
            grabber = &top;
        send(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    }
    void move(const QPointF &at) { send(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton); }
    void release(const QPointF &at)
    {
        send(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        grabber = nullptr;
    }
    void drag(const QPointF &from, const QPointF &to)
    {
        press(from);
        move((from + to) / 2);
        move(to);
        release(to);
    }
    QWidget *receiver() const { return grabber; }

private:
    void send(QEvent::Type type, const QPointF &at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        const QPointF local = at - QPointF(grabber->mapTo(&top, QPoint(0, 0)));
        const QPointF global = QPointF(top.mapToGlobal(QPoint(0, 0))) + at;
        QMouseEvent event(type, local, at, global, button, held, Qt::NoModifier);
        QApplication::sendEvent(grabber, &event);
    }

    QWidget &top;
    QWidget *grabber = nullptr;
};

// Whether shown is base under the layer's translucent fill of tint (alpha 50).
bool tintedWith(QRgb base, QRgb shown, QColor tint)
{
    const auto near = [](int c, int under, int over) {
        return qAbs(c - (under * 205 + over * 50) / 255) <= 2;
    };
    return near(qRed(shown), qRed(base), tint.red())
           && near(qGreen(shown), qGreen(base), tint.green())
           && near(qBlue(shown), qBlue(base), tint.blue());
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

// What is wrong with the layer's drawing of box (window coordinates,
// corners inclusive) in outline colour, or nothing: its edges are drawn in
// the colour and its inside tinted, as far as box lies in visible, and an
// edge beyond visible leaves no line at the border of visible. base is the
// same view without the layer.
QString boxProblem(const QImage &base, const QImage &shown, const QRect &box, const QRect &visible,
                   const QColor &outline)
{
    const auto named = [](const QPoint &p) {
        return QStringLiteral("(%1, %2)").arg(p.x()).arg(p.y());
    };
    const QRect in = box & visible;
    if (in.isEmpty())
        return QStringLiteral("the box is not in view");
    const QPoint mid = in.center();
    const QPoint edges[] = {{box.left(), mid.y()},
                            {box.right(), mid.y()},
                            {mid.x(), box.top()},
                            {mid.x(), box.bottom()}};
    const QPoint clipped[] = {{in.left(), mid.y()},
                              {in.right(), mid.y()},
                              {mid.x(), in.top()},
                              {mid.x(), in.bottom()}};
    const QPoint beyond[] = {{-3, 0}, {3, 0}, {0, -3}, {0, 3}};
    for (int e = 0; e < 4; ++e) {
        const QPoint outside = edges[e] + beyond[e];
        if (!visible.contains(edges[e])) {
            if (!tintedWith(base.pixel(clipped[e]), shown.pixel(clipped[e]), outline))
                return QStringLiteral("not tinted at the border %1").arg(named(clipped[e]));
        } else if (shown.pixel(edges[e]) != outline.rgb()) {
            return QStringLiteral("no outline at %1").arg(named(edges[e]));
        } else if (visible.contains(outside) && shown.pixel(outside) != base.pixel(outside)) {
            return QStringLiteral("drawn outside at %1").arg(named(outside));
        }
    }
    for (const QPoint inside :
         {mid, in.topLeft() + QPoint(3, 3), in.bottomRight() - QPoint(3, 3)}) {
        if (!tintedWith(base.pixel(inside), shown.pixel(inside), outline))
            return QStringLiteral("not tinted inside at %1").arg(named(inside));
    }
    return QString();
}

#define VERIFY_BOX(base, shown, box, visible, outline) \
    do { \
        const QString problem_ = boxProblem((base), (shown), (box), (visible), (outline)); \
        QVERIFY2(problem_.isEmpty(), qPrintable(problem_)); \
    } while (false)

} // namespace

class CropTest : public QObject
{
    Q_OBJECT

private slots:
    void roundedPosition_data();
    void roundedPosition();
    void imageRegionForViewBox_data();
    void imageRegionForViewBox();

    void eventsReachTheWindowRounded();
    void toolDrag_data();
    void toolDrag();
    void selectionTakesPrecedence();
    void toolsNeedModeAndImage();
    void emptyCropKeepsImage_data();
    void emptyCropKeepsImage();
    void cropAtNaturalSize_data();
    void cropAtNaturalSize();
    void cropZoomedAndScrolled();
    void applyWithoutBoxOrImage();

    void layerCoversViewport();
    void cropBoxUntilApplyOrCancel_data();
    void cropBoxUntilApplyOrCancel();
    void draggedSelectionDrawn();
    void selectAllOutlinesPicture_data();
    void selectAllOutlinesPicture();
    void wholePictureOutlineLeavesWithPicture();
    void boxDrawnTheSameWhicheverWay_data();
    void boxDrawnTheSameWhicheverWay();

private:
    // Opens image in window and shows the window.
    static bool show(MainWindow &window, const QImage &image)
    {
        MainWindowTestAccess{window}.load(image);
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }
};

void CropTest::roundedPosition_data()
{
    QTest::addColumn<QPointF>("position");
    QTest::addColumn<QPoint>("rounded");
    QTest::newRow("halves away from zero") << QPointF(10.5, -3.5) << QPoint(11, -4);
    QTest::newRow("half up, below half down") << QPointF(199.5, 0.49) << QPoint(200, 0);
    QTest::newRow("negative halves") << QPointF(-0.5, -2.5) << QPoint(-1, -3);
    QTest::newRow("below halves") << QPointF(-0.49, 2.4999) << QPoint(0, 2);
    QTest::newRow("whole") << QPointF(-7, 12) << QPoint(-7, 12);
    QTest::newRow("odd and even halves") << QPointF(2.5, -1.5) << QPoint(3, -2);
    // The signed half is added in double, and this sum rounds up to 1.
    QTest::newRow("just below a half")
            << QPointF(0.49999999999999994, -0.49999999999999994) << QPoint(1, -1);
    QTest::newRow("large halves") << QPointF(1073741823.5, -1073741824.5)
                                  << QPoint(1073741824, -1073741825);
    QTest::newRow("beyond int") << QPointF(1e12, -1e12) << QPoint(INT_MAX, INT_MIN);
}

void CropTest::roundedPosition()
{
    QFETCH(QPointF, position);
    QFETCH(QPoint, rounded);
    QCOMPARE(Lumivex::roundedPosition(position), rounded);
}

void CropTest::imageRegionForViewBox_data()
{
    QTest::addColumn<QPoint>("a");
    QTest::addColumn<QPoint>("b");
    QTest::addColumn<QSize>("view");
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QRect>("region");
    const QSize natural(600, 400);
    QTest::newRow("natural size") << QPoint(10, 20) << QPoint(109, 69) << natural << natural
                                  << QRect(10, 20, 100, 50);
    QTest::newRow("natural size reversed")
            << QPoint(109, 69) << QPoint(10, 20) << natural << natural << QRect(10, 20, 100, 50);
    QTest::newRow("one pixel") << QPoint(5, 7) << QPoint(5, 7) << natural << natural
                               << QRect(5, 7, 1, 1);
    QTest::newRow("zoom 0.8") << QPoint(123, 251) << QPoint(457, 429) << QSize(800, 600)
                              << QSize(1000, 750) << QRect(QPoint(153, 313), QPoint(571, 536));
    QTest::newRow("zoom 2") << QPoint(11, 21) << QPoint(12, 22) << QSize(1200, 800) << natural
                            << QRect(5, 10, 1, 1);
    QTest::newRow("one view pixel, whole image") << QPoint(0, 0) << QPoint(0, 0) << QSize(1, 1)
                                                 << natural << QRect(QPoint(0, 0), natural);
    QTest::newRow("over the edge")
            << QPoint(-10, -10) << QPoint(5, 5) << natural << natural << QRect(0, 0, 6, 6);
    QTest::newRow("int extremes") << QPoint(INT_MIN, INT_MIN) << QPoint(INT_MAX, INT_MAX) << natural
                                  << natural << QRect(QPoint(0, 0), natural);
    QTest::newRow("beside") << QPoint(700, 10) << QPoint(750, 50) << natural << natural << QRect();
    QTest::newRow("empty view") << QPoint(0, 0) << QPoint(10, 10) << QSize(0, 0) << natural
                                << QRect();
    QTest::newRow("no height") << QPoint(0, 0) << QPoint(10, 10) << QSize(10, 0) << natural
                               << QRect();
    QTest::newRow("no image") << QPoint(0, 0) << QPoint(10, 10) << natural << QSize(0, 0)
                              << QRect();
}

void CropTest::imageRegionForViewBox()
{
    QFETCH(QPoint, a);
    QFETCH(QPoint, b);
    QFETCH(QSize, view);
    QFETCH(QSize, image);
    QFETCH(QRect, region);
    const QRect found = Lumivex::imageRegionForViewBox(a, b, view, image);
    QCOMPARE(found.isEmpty() ? QRect() : found, region);
}

void CropTest::eventsReachTheWindowRounded()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(show(window, coordinateImage(600, 400)));
    TRIGGER(window, "Crop", "Start Crop");
    Pointer pointer(window);
    pointer.press(QPointF(200.5, 150.5));
    QCOMPARE(pointer.receiver(), static_cast<QWidget *>(state.imageLabel()));
    QCOMPARE(state.cropStart(), QPoint(201, 151));
    QCOMPARE(state.cropRect(), QRect(QPoint(201, 151), QPoint(201, 151)));
    pointer.move(QPointF(10.5, -3.5));
    QCOMPARE(state.cropRect().bottomRight(), QPoint(11, -4));
    pointer.move(QPointF(199.5, 0.49));
    QCOMPARE(state.cropRect().bottomRight(), QPoint(200, 0));
    pointer.release(QPointF(-0.5, 80.5));
    QCOMPARE(state.cropRect().topLeft(), QPoint(201, 151));
    QCOMPARE(state.cropRect().bottomRight(), QPoint(-1, 81));
}

void CropTest::toolDrag_data()
{
    QTest::addColumn<bool>("crop");
    QTest::newRow("crop") << true;
    QTest::newRow("selection") << false;
}

void CropTest::toolDrag()
{
    QFETCH(bool, crop);
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(show(window, coordinateImage(600, 400)));
    if (crop)
        TRIGGER(window, "Crop", "Start Crop");
    else
        TRIGGER(window, "Edit", "Select Region");
    QCOMPARE(state.cropping(), crop);
    QCOMPARE(state.selecting(), !crop);
    QRect &dragged = crop ? state.cropRect() : state.selectionRect();
    QVERIFY(dragged.isNull());
    Pointer pointer(window);
    pointer.press(QPointF(300, 200));
    QCOMPARE(crop ? state.cropStart() : state.selectionStart(), QPoint(300, 200));
    QCOMPARE(dragged, QRect(QPoint(300, 200), QPoint(300, 200)));
    pointer.move(QPointF(310.5, 260.5));
    QCOMPARE(dragged, QRect(QPoint(300, 200), QPoint(311, 261)));
    pointer.release(QPointF(100, 50));
    // Kept as dragged, not normalised: left 300, top 200, right 100, bottom 50.
    QCOMPARE(dragged, QRect(QPoint(300, 200), QPoint(100, 50)));
    QVERIFY(crop ? state.selectionRect().isNull() : state.cropRect().isNull());
    QCOMPARE(state.cropping(), crop);
    QCOMPARE(state.selecting(), !crop);
}

void CropTest::selectionTakesPrecedence()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(show(window, coordinateImage(600, 400)));
    TRIGGER(window, "Crop", "Start Crop");
    TRIGGER(window, "Edit", "Select Region");
    QVERIFY(state.cropping() && state.selecting());
    Pointer pointer(window);
    pointer.press(QPointF(120, 130));
    QCOMPARE(state.selectionRect(), QRect(QPoint(120, 130), QPoint(120, 130)));
    QCOMPARE(state.cropRect(), QRect(QPoint(120, 130), QPoint(120, 130)));
    pointer.move(QPointF(220, 180));
    pointer.release(QPointF(320, 230));
    QCOMPARE(state.selectionRect(), QRect(QPoint(120, 130), QPoint(320, 230)));
    QCOMPARE(state.cropRect(), QRect(QPoint(120, 130), QPoint(120, 130)));
    QCOMPARE(state.cropStart(), QPoint(120, 130));
}

void CropTest::toolsNeedModeAndImage()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(show(window, coordinateImage(600, 400)));
    Pointer pointer(window);
    pointer.drag(QPointF(100, 100), QPointF(200, 200));
    QVERIFY(state.cropRect().isNull() && state.selectionRect().isNull());
    QVERIFY(!state.cropping() && !state.selecting());
    TRIGGER(window, "Crop", "Start Crop");
    TRIGGER(window, "Edit", "Select Region");
    TRIGGER(window, "Edit", "Cut");
    QVERIFY(state.workingImage().isNull());
    pointer.drag(QPointF(100, 100), QPointF(200, 200));
    QVERIFY(state.cropRect().isNull() && state.selectionRect().isNull());
    TRIGGER(window, "Edit", "Paste");
    QVERIFY(!state.workingImage().isNull());
    pointer.press(QPointF(100, 100));
    QCOMPARE(state.cropRect(), QRect(QPoint(100, 100), QPoint(100, 100)));
    QCOMPARE(state.selectionRect(), QRect(QPoint(100, 100), QPoint(100, 100)));
    pointer.release(QPointF(150, 170));
    QCOMPARE(state.selectionRect(), QRect(QPoint(100, 100), QPoint(150, 170)));
}

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
    QVERIFY(show(window, original));
    QWidget *label = state.imageLabel();
    for (int step = 0; zoomAway && step < 100 && !label->size().isEmpty(); ++step)
        TRIGGER(window, "Edit", "Zoom Out");
    QCOMPARE(label->size().isEmpty(), zoomAway);
    TRIGGER(window, "Crop", "Start Crop");
    QWidget *viewport = state.scrollArea()->viewport();
    Pointer pointer(window);
    pointer.press(viewport->mapTo(&window, path.first()));
    QCOMPARE(pointer.receiver() == viewport, !label->geometry().contains(path.first()));
    for (int i = 1; i + 1 < path.size(); ++i)
        pointer.move(viewport->mapTo(&window, path.at(i)));
    pointer.release(viewport->mapTo(&window, path.last()));
    QCOMPARE(state.cropRect(),
             QRect(viewport->mapTo(&window, path.first()), viewport->mapTo(&window, path.last())));
    TRIGGER(window, "Crop", "Apply Crop");
    COMPARE_IMAGES(state.workingImage(), original);
    QVERIFY(!state.cropping());
    QVERIFY(state.cropRect().isNull());
    // The attempt stays in the history.
    QCOMPARE(state.undoStack().size(), 1);
    COMPARE_IMAGES(state.undoStack().last(), original);
}

void CropTest::cropAtNaturalSize_data()
{
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::newRow("down right") << QPoint(10, 20) << QPoint(109, 69);
    QTest::newRow("up left") << QPoint(109, 69) << QPoint(10, 20);
    QTest::newRow("down left") << QPoint(109, 20) << QPoint(10, 69);
    QTest::newRow("up right") << QPoint(10, 69) << QPoint(109, 20);
}

void CropTest::cropAtNaturalSize()
{
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    MainWindow window;
    MainWindowTestAccess state{window};
    const QImage original = coordinateImage(600, 400);
    QVERIFY(show(window, original));
    TRIGGER(window, "Crop", "Start Crop");
    QWidget *label = state.imageLabel();
    Pointer(window).drag(label->mapTo(&window, from), label->mapTo(&window, to));
    TRIGGER(window, "Crop", "Apply Crop");
    COMPARE_IMAGES(state.workingImage(), original.copy(10, 20, 100, 50));
    QCOMPARE(state.workingImage().pixel(0, 0), qRgb(10, 20, 130));
    COMPARE_IMAGES(state.adjustedImage(), original.copy(10, 20, 100, 50));
    QCOMPARE(label->size(), QSize(100, 50));
    QVERIFY(!state.cropping());
    QVERIFY(state.cropRect().isNull());
    QCOMPARE(state.undoStack().size(), 1);
    TRIGGER(window, "Edit", "Undo");
    COMPARE_IMAGES(state.workingImage(), original);
    QCOMPARE(label->size(), QSize(600, 400));
    TRIGGER(window, "Edit", "Redo");
    COMPARE_IMAGES(state.workingImage(), original.copy(10, 20, 100, 50));
}

void CropTest::cropZoomedAndScrolled()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    const QImage original = coordinateImage(1600, 1200);
    QVERIFY(show(window, original));
    TRIGGER(window, "Edit", "Zoom Out");
    QWidget *label = state.imageLabel();
    QCOMPARE(label->size(), QSize(1280, 960));
    state.scrollArea()->horizontalScrollBar()->setValue(150);
    state.scrollArea()->verticalScrollBar()->setValue(200);
    QCOMPARE(label->pos(), QPoint(-150, -200));
    TRIGGER(window, "Crop", "Start Crop");
    QWidget *viewport = state.scrollArea()->viewport();
    const QPoint first(400, 300);
    const QPoint second(100, 80);
    // The corners over the shown picture: view pixels (250, 280) and (550, 500),
    // each 1.25 image pixels wide and high.
    const QPoint a = label->mapFrom(viewport, second);
    const QPoint b = label->mapFrom(viewport, first);
    QCOMPARE(a, QPoint(250, 280));
    Pointer(window).drag(viewport->mapTo(&window, first), viewport->mapTo(&window, second));
    TRIGGER(window, "Crop", "Apply Crop");
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
    TRIGGER(window, "Crop", "Start Crop");
    QVERIFY(!state.cropping());
    TRIGGER(window, "Crop", "Apply Crop");
    TRIGGER(window, "Crop", "Cancel Crop");
    TRIGGER(window, "Edit", "Select All");
    TRIGGER(window, "Edit", "Select Region");
    QVERIFY(state.undoStack().isEmpty());
    QVERIFY(state.selectionRect().isNull() && !state.selecting());

    const QImage original = coordinateImage(200, 150);
    QVERIFY(show(window, original));
    TRIGGER(window, "Crop", "Apply Crop");
    QVERIFY(!state.cropping());
    TRIGGER(window, "Crop", "Start Crop");
    TRIGGER(window, "Crop", "Apply Crop");
    QVERIFY(state.cropping());
    QVERIFY(state.undoStack().isEmpty());
    COMPARE_IMAGES(state.workingImage(), original);

    // A box left over from before a cut crops nothing either.
    Pointer(window).drag(QPointF(20, 60), QPointF(80, 120));
    TRIGGER(window, "Edit", "Cut");
    QCOMPARE(state.undoStack().size(), 1);
    TRIGGER(window, "Crop", "Apply Crop");
    QCOMPARE(state.undoStack().size(), 1);
    QVERIFY(state.workingImage().isNull());
    QVERIFY(state.cropping());
}

void CropTest::layerCoversViewport()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(show(window, coordinateImage(300, 200)));
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

void CropTest::cropBoxUntilApplyOrCancel_data()
{
    QTest::addColumn<QString>("finish");
    QTest::newRow("applied") << QStringLiteral("Apply Crop");
    QTest::newRow("cancelled") << QStringLiteral("Cancel Crop");
}

void CropTest::cropBoxUntilApplyOrCancel()
{
    QFETCH(QString, finish);
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(show(window, coordinateImage(600, 400)));
    TRIGGER(window, "Crop", "Start Crop");
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
    TRIGGER(window, "Crop", finish);
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
        TRIGGER(window, "Crop", "Apply Crop");
        QVERIFY(state.undoStack().isEmpty());
    }
}

void CropTest::draggedSelectionDrawn()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(show(window, coordinateImage(600, 400)));
    const QImage base = grabbed(window);
    const QRect visible = viewportArea(state, window);
    TRIGGER(window, "Edit", "Select Region");
    Pointer pointer(window);
    pointer.drag(QPointF(400, 300), QPointF(250, 120));
    const QImage shown = grabbed(window);
    VERIFY_BOX(base, shown, QRect(QPoint(250, 120), QPoint(400, 300)), visible, Qt::blue);
    QVERIFY(!anyPixelOf(shown, visible, qRgb(255, 0, 0)));
    // A new selection drops the old box.
    TRIGGER(window, "Edit", "Select Region");
    QCOMPARE(grabbed(window).copy(visible), base.copy(visible));
}

void CropTest::selectAllOutlinesPicture_data()
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

void CropTest::selectAllOutlinesPicture()
{
    QFETCH(QSize, size);
    QFETCH(QPoint, scroll);
    QFETCH(bool, selectFirst);
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(show(window, coordinateImage(size.width(), size.height())));
    if (selectFirst)
        TRIGGER(window, "Edit", "Select All");
    TRIGGER(window, "Edit", "Zoom Out");
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
        TRIGGER(window, "Edit", "Select All");
    QVERIFY(!state.selecting());
    QCOMPARE(state.selectionRect(), QRect(QPoint(0, 0), size));
    const QImage shown = grabbed(window);
    // Starting a new selection drops the outline: the view as it is without.
    TRIGGER(window, "Edit", "Select Region");
    QVERIFY(state.selectionRect().isNull());
    const QImage base = grabbed(window);
    VERIFY_BOX(base, shown, picture, visible, Qt::blue);
    QVERIFY(!anyPixelOf(shown, visible, qRgb(255, 0, 0)));
}

void CropTest::wholePictureOutlineLeavesWithPicture()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(show(window, coordinateImage(300, 200)));
    TRIGGER(window, "Edit", "Select All");
    const QRect visible = viewportArea(state, window);
    QVERIFY(anyPixelOf(grabbed(window), visible, qRgb(0, 0, 255)));
    // Cut empties the view but keeps the selection and the view's size: no
    // outline is left around nothing. Undo brings both back.
    TRIGGER(window, "Edit", "Cut");
    QCOMPARE(state.imageLabel()->size(), QSize(300, 200));
    QVERIFY(!anyPixelOf(grabbed(window), visible, qRgb(0, 0, 255)));
    TRIGGER(window, "Edit", "Undo");
    QVERIFY(anyPixelOf(grabbed(window), visible, qRgb(0, 0, 255)));
}

void CropTest::boxDrawnTheSameWhicheverWay_data()
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

void CropTest::boxDrawnTheSameWhicheverWay()
{
    QFETCH(QString, command);
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(QRgb, outline);
    const QString menu = command == QLatin1String("Start Crop") ? "Crop" : "Edit";
    // The same two corner pixels dragged forwards (top left to bottom right)
    // and the given way must be drawn alike.
    const QPoint topLeft(qMin(from.x(), to.x()), qMin(from.y(), to.y()));
    const QPoint bottomRight(qMax(from.x(), to.x()), qMax(from.y(), to.y()));
    QImage drawn[2];
    for (int way = 0; way < 2; ++way) {
        MainWindow window;
        MainWindowTestAccess state{window};
        QVERIFY(show(window, coordinateImage(600, 400)));
        TRIGGER(window, menu, command);
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

QTEST_MAIN(CropTest)
#include "tst_crop.moc"
