#include "imagecompare.h"
#include "kernelsupport.h"
#include "reduction.h"

#include <QTest>
#include <cmath>

using namespace KernelSupport;
using TestSupport::coordinateImage;

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
        const QSize grid(int(400 * scale), int(300 * scale));
        for (int i = 0; i < 400 * 300; ++i)
            board.setPixel(i % 400, i / 400, (i % 400 + i / 400) % 2 ? 0xffffffff : 0xff000000);
        const QImage whole = Lumivex::reduceArea(board, grid, QRect(0, 0, 60, 45));
        double sum = 0, squares = 0, n = 60 * 45;
        for (int i = 0; i < n; ++i) {
            const double g = qGray(whole.pixel(i % 60, i / 60));
            sum += g;
            squares += g * g;
        }
        QVERIFY2(std::sqrt(squares / n - sum * sum / n / n) <= 12, "uneven");
        // A part of the grid is the same pixels as the whole shows there.
        QCOMPARE(Lumivex::reduceArea(board, grid, QRect(7, 5, 30, 20)), whole.copy(7, 5, 30, 20));
    }
    // Edges included, the grid is the area average of Qt's smooth scaling,
    // within rounding; the white last column counts in the last one only.
    void matchesSmoothScaling()
    {
        QImage picture = coordinateImage(203, 101, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < 101; ++y)
            picture.setPixel(202, y, 0xffffffff);
        const QImage ours = Lumivex::reduceArea(picture, {83, 41}, {0, 0, 83, 41});
        const QImage qts = picture.scaled(83, 41, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        for (int i = 0; i < 83 * 41; ++i) {
            const QRgb p = ours.pixel(i % 83, i / 83), q = qts.pixel(i % 83, i / 83);
            QVERIFY(qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q))
                            + qAbs(qBlue(p) - qBlue(q))
                    <= 6);
        }
    }
    // Every format reduces as its premultiplied 32-bit conversion: the rows
    // of opaque pixels through the kernels' fetches, the others through Qt's
    // conversion, 16-bit values of every kind among them.
    void sameAsPremultiplied_data()
    {
        QTest::addColumn<QImage::Format>("format");
        for (QImage::Format format :
             {QImage::Format_Grayscale8, QImage::Format_Grayscale16, QImage::Format_RGB888,
              QImage::Format_BGR888, QImage::Format_RGBX64, QImage::Format_RGBA64,
              QImage::Format_RGBA64_Premultiplied})
            QTest::addRow("%s", qPrintable(formatName(format))) << format;
    }
    void sameAsPremultiplied()
    {
        QFETCH(QImage::Format, format);
        QImage picture = randomImage(format, 301, 90, 3);
        // Half the rows opaque; RGBX64's fourth word is always all ones.
        for (int y = 0; y < 90 && picture.depth() == 64; y += picture.hasAlphaChannel() ? 2 : 1) {
            auto *channels = reinterpret_cast<quint16 *>(picture.scanLine(y));
            for (int x = 0; x < 301; ++x)
                channels[4 * x + 3] = 0xffff;
        }
        const QImage premultiplied = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const QRect all(0, 0, 97, 31);
        COMPARE_IMAGES(Lumivex::reduceArea(picture, all.size(), all)
                               .convertToFormat(QImage::Format_ARGB32_Premultiplied),
                       Lumivex::reduceArea(premultiplied, all.size(), all));
    }
    // Every target sums exactly as the portable fallback does, over rows of
    // any colour and a prime width, with spans short and long, and one that
    // passes the picture's end.
    void sameOnEveryTarget_data()
    {
        QTest::addColumn<KernelTarget>("target");
        for (KernelTarget target : targetsUnderTest())
            QTest::addRow("%s", qPrintable(kernelTargetName(target))) << target;
    }
    void sameOnEveryTarget()
    {
        QFETCH(KernelTarget, target);
        const QImage picture = randomImage(QImage::Format_ARGB32_Premultiplied, 1031, 211, 5);
        for (const QSize grid :
             {QSize(601, 123), QSize(172, 36), QSize(97, 20), QSize(40, 9), QSize(1, 2)}) {
            QImage expected;
            {
                const TargetLimit fallback(supportedKernelTargets().constLast());
                expected = Lumivex::reduceArea(picture, grid, QRect(QPoint(0, 0), grid));
            }
            const TargetLimit limit(target);
            COMPARE_IMAGES(Lumivex::reduceArea(picture, grid, QRect(QPoint(0, 0), grid)), expected);
        }
    }
};

QTEST_APPLESS_MAIN(TestReduction)
#include "tst_reduction.moc"
