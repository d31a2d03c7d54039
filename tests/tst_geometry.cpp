// The view geometry, apart from the widgets: sizes of the zoomed view (the
// same as scaling a pixmap to the truncated target would give, for every
// zoom step the menu can reach), pointer positions rounded to pixels, and
// the image region under a dragged box; and the quarter turn, against Qt's.
#include "imagecompare.h"
#include "pointergeometry.h"
#include "quarterturn.h"
#include "zoomgeometry.h"

#include <QColorSpace>
#include <QTransform>

#include <QPixmap>
#include <QPoint>
#include <QRandomGenerator>
#include <QRect>
#include <QTest>

#include <climits>

namespace {
// The widget size limit, which the editor passes to the geometry.
constexpr int SideLimit = (1 << 24) - 1;
} // namespace

class GeometryTest : public QObject
{
    Q_OBJECT

private slots:
    void matchesPixmapScaling_data();
    void matchesPixmapScaling();
    void zoomLimits_data();
    void zoomLimits();
    void roundedPosition_data();
    void roundedPosition();
    void imageRegionForViewBox_data();
    void imageRegionForViewBox();
    void quarterTurn_data();
    void quarterTurn();
};

void GeometryTest::matchesPixmapScaling_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<int>("steps");
    QRandomGenerator random(20261208);
    for (int i = 0; i < 60; ++i) {
        const QSize size(1 + random.bounded(700), 1 + random.bounded(500));
        const int steps = random.bounded(-12, 8);
        QTest::addRow("%dx%d at %d", size.width(), size.height(), steps) << size << steps;
    }
    QTest::newRow("square one step out") << QSize(3, 3) << -1;
    QTest::newRow("line vanishes") << QSize(100, 1) << -1;
    QTest::newRow("1x1 far out") << QSize(1, 1) << -3;
}

void GeometryTest::matchesPixmapScaling()
{
    QFETCH(QSize, imageSize);
    QFETCH(int, steps);
    double factor = 1.0;
    for (int i = 0; i < qAbs(steps); ++i)
        factor = steps > 0 ? factor * Lumivex::ZoomStep : factor / Lumivex::ZoomStep;
    const QSize target(int(imageSize.width() * factor), int(imageSize.height() * factor));
    QPixmap pixmap(imageSize);
    pixmap.fill(Qt::gray);
    const QPixmap scaled = pixmap.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QCOMPARE(Lumivex::zoomedViewSize(imageSize, factor, SideLimit),
             scaled.isNull() ? QSize(0, 0) : scaled.size());
}

void GeometryTest::zoomLimits_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<double>("factor");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<QSize>("viewSize");
    QTest::newRow("ordinary") << QSize(6000, 4000) << 2.0 << true << QSize(12000, 8000);
    QTest::newRow("at the widget limit")
            << QSize(SideLimit, 1) << 1.0 << true << QSize(SideLimit, 1);
    QTest::newRow("past the widget limit")
            << QSize(4000, 3000) << 5000.0 << false << QSize(SideLimit, 12582911);
    QTest::newRow("past int") << QSize(60000, 60000) << 1e6 << false << QSize(SideLimit, SideLimit);
    QTest::newRow("zero factor") << QSize(10, 10) << 0.0 << false << QSize(0, 0);
    QTest::newRow("infinite factor")
            << QSize(10, 10) << qInf() << false << QSize(SideLimit, SideLimit);
    QTest::newRow("not a number") << QSize(10, 10) << qQNaN() << false
                                  << QSize(SideLimit, SideLimit);
}

void GeometryTest::zoomLimits()
{
    QFETCH(QSize, imageSize);
    QFETCH(double, factor);
    QFETCH(bool, fits);
    QFETCH(QSize, viewSize);
    QCOMPARE(Lumivex::zoomFits(imageSize, factor, SideLimit), fits);
    QCOMPARE(Lumivex::zoomedViewSize(imageSize, factor, SideLimit), viewSize);
}

void GeometryTest::roundedPosition_data()
{
    QTest::addColumn<QPointF>("position");
    QTest::addColumn<QPoint>("rounded");
    QTest::newRow("halves away from zero") << QPointF(10.5, -3.5) << QPoint(11, -4);
    QTest::newRow("half up, below half down") << QPointF(199.5, 0.49) << QPoint(200, 0);
    QTest::newRow("negative halves") << QPointF(-0.5, -2.5) << QPoint(-1, -3);
    QTest::newRow("below halves") << QPointF(-0.49, 2.4999) << QPoint(0, 2);
    QTest::newRow("whole") << QPointF(-7, 12) << QPoint(-7, 12);
    QTest::newRow("odd and even halves") << QPointF(2.5, -1.5) << QPoint(3, -2);
    // Below a half, on every platform, although adding a half in double
    // would round up to 1.
    QTest::newRow("just below a half")
            << QPointF(0.49999999999999994, -0.49999999999999994) << QPoint(0, 0);
    QTest::newRow("large halves") << QPointF(1073741823.5, -1073741824.5)
                                  << QPoint(1073741824, -1073741825);
    QTest::newRow("beyond int") << QPointF(1e12, -1e12) << QPoint(INT_MAX, INT_MIN);
}

void GeometryTest::roundedPosition()
{
    QFETCH(QPointF, position);
    QFETCH(QPoint, rounded);
    QCOMPARE(Lumivex::roundedPosition(position), rounded);
}

void GeometryTest::imageRegionForViewBox_data()
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
    QTest::newRow("natural size down left")
            << QPoint(109, 20) << QPoint(10, 69) << natural << natural << QRect(10, 20, 100, 50);
    QTest::newRow("natural size up right")
            << QPoint(10, 69) << QPoint(109, 20) << natural << natural << QRect(10, 20, 100, 50);
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

void GeometryTest::imageRegionForViewBox()
{
    QFETCH(QPoint, a);
    QFETCH(QPoint, b);
    QFETCH(QSize, view);
    QFETCH(QSize, image);
    QFETCH(QRect, region);
    const QRect found = Lumivex::imageRegionForViewBox(a, b, view, image);
    QCOMPARE(found.isEmpty() ? QRect() : found, region);
}

void GeometryTest::quarterTurn_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<bool>("shared"); // a copy is kept, so the buffer cannot be reused
    // Widths whose strips are a sixteenth, a prime's one column, or the whole.
    for (const QSize size : {QSize(1, 1), QSize(1, 9), QSize(9, 1), QSize(64, 48), QSize(97, 61),
                             QSize(48, 130), QSize(1031, 37)}) {
        const QByteArray name =
                QByteArray::number(size.width()) + "x" + QByteArray::number(size.height());
        QTest::addRow("%s RGB32", name.data()) << size << QImage::Format_RGB32 << false;
        QTest::addRow("%s ARGB32 shared", name.data()) << size << QImage::Format_ARGB32 << true;
        QTest::addRow("%s RGB888", name.data()) << size << QImage::Format_RGB888 << false;
    }
}

void GeometryTest::quarterTurn()
{
    QFETCH(QSize, size);
    QFETCH(QImage::Format, format);
    QFETCH(bool, shared);
    QImage image = TestSupport::coordinateImage(size.width(), size.height(), format, true);
    image.setColorSpace(QColorSpace::DisplayP3);
    image.setText(QStringLiteral("Comment"), QStringLiteral("kept"));
    const QImage expected = image.transformed(QTransform().rotate(90));
    const QImage kept = shared ? image : QImage();
    const QImage turned = Lumivex::rotatedClockwise(std::move(image));
    COMPARE_IMAGES(turned, expected);
    QCOMPARE(turned.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    QCOMPARE(turned.text(QStringLiteral("Comment")), QStringLiteral("kept"));
    QVERIFY(!shared || kept.transformed(QTransform().rotate(90)) == expected);
    const QImage back = Lumivex::quarterTurned(turned, false);
    QCOMPARE(back.size(), size);
    QCOMPARE(back.colorSpace(), turned.colorSpace());
    QCOMPARE(back.text(QStringLiteral("Comment")), QStringLiteral("kept"));
}

QTEST_MAIN(GeometryTest)
#include "tst_geometry.moc"
