// Sizes of the zoomed view: the same as scaling a pixmap to the truncated
// target would give, for every zoom step the menu can reach.
#include "viewgeometry.h"

#include <QPixmap>
#include <QRandomGenerator>
#include <QTest>

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

QTEST_MAIN(GeometryTest)
#include "tst_geometry.moc"
