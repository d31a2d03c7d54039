// The selection and crop pointer handlers as Qt delivers the events to the
// window: positions rounded as the geometry rounds them, the dragged boxes,
// and when the tools respond.
#include "pointersupport.h"

using namespace TestSupport;

class PointerTest : public QObject
{
    Q_OBJECT

private slots:
    void eventsReachTheWindowRounded();
    void toolDrag_data();
    void toolDrag();
    void selectionTakesPrecedence();
    void toolsNeedModeAndImage();
};

void PointerTest::eventsReachTheWindowRounded()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(showImage(window, coordinateImage(600, 400)));
    TRIGGER(window, "Start Crop");
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

void PointerTest::toolDrag_data()
{
    QTest::addColumn<bool>("crop");
    QTest::newRow("crop") << true;
    QTest::newRow("selection") << false;
}

void PointerTest::toolDrag()
{
    QFETCH(bool, crop);
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(showImage(window, coordinateImage(600, 400)));
    if (crop)
        TRIGGER(window, "Start Crop");
    else
        TRIGGER(window, "Select Region");
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

void PointerTest::selectionTakesPrecedence()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(showImage(window, coordinateImage(600, 400)));
    TRIGGER(window, "Start Crop");
    TRIGGER(window, "Select Region");
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

void PointerTest::toolsNeedModeAndImage()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QVERIFY(showImage(window, coordinateImage(600, 400)));
    Pointer pointer(window);
    pointer.drag(QPointF(100, 100), QPointF(200, 200));
    QVERIFY(state.cropRect().isNull() && state.selectionRect().isNull());
    QVERIFY(!state.cropping() && !state.selecting());
    TRIGGER(window, "Start Crop");
    TRIGGER(window, "Select Region");
    TRIGGER(window, "Cut");
    QVERIFY(state.workingImage().isNull());
    pointer.drag(QPointF(100, 100), QPointF(200, 200));
    QVERIFY(state.cropRect().isNull() && state.selectionRect().isNull());
    TRIGGER(window, "Paste");
    QVERIFY(!state.workingImage().isNull());
    pointer.press(QPointF(100, 100));
    QCOMPARE(state.cropRect(), QRect(QPoint(100, 100), QPoint(100, 100)));
    QCOMPARE(state.selectionRect(), QRect(QPoint(100, 100), QPoint(100, 100)));
    pointer.release(QPointF(150, 170));
    QCOMPARE(state.selectionRect(), QRect(QPoint(100, 100), QPoint(150, 170)));
}

QTEST_MAIN(PointerTest)
#include "tst_pointer.moc"
