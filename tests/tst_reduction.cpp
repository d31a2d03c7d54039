#include "reduction.h"

#include <QTest>

#include <cmath>

class TestReduction : public QObject
{
    Q_OBJECT
private slots:
    void checkerboardIsEven_data()
    {
        QTest::addColumn<double>("scale");
        for (double s : {0.512, 0.328, 0.168})
            QTest::addRow("%g", s) << s;
    }
    void checkerboardIsEven()
    {
        QFETCH(double, scale);
        QImage board(400, 300, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < board.height(); ++y)
            for (int x = 0; x < board.width(); ++x)
                board.setPixel(x, y, (x + y) % 2 ? 0xffffffff : 0xff000000);
        const QImage whole = Lumivex::reduceArea(board, scale, QRect(0, 0, 60, 45));
        double sum = 0, squares = 0;
        for (int y = 0; y < whole.height(); ++y)
            for (int x = 0; x < whole.width(); ++x) {
                const double g = qGray(whole.pixel(x, y));
                sum += g;
                squares += g * g;
            }
        const double n = whole.width() * whole.height();
        QVERIFY2(std::sqrt(squares / n - sum * sum / n / n) <= 12, "uneven");
        // A part of the grid is the same pixels as the whole shows there.
        QCOMPARE(Lumivex::reduceArea(board, scale, QRect(7, 5, 30, 20)), whole.copy(7, 5, 30, 20));
    }
};

QTEST_APPLESS_MAIN(TestReduction)
#include "tst_reduction.moc"
