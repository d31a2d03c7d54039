#include "imagecompare.h"
#include "pngencoder.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTest>

// Pixels that encode their position, with a little noise, so that every
// filter wins somewhere and the file is not trivially small.
static QImage picture(QImage::Format format, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int noise = int((quint32(x) * 2654435761u ^ quint32(y) * 40503u) >> 29);
            image.setPixel(x, y, qRgba(x + noise, y * 3, (x + y) / 4 + noise, 255 - (x ^ y) % 97));
        }
    return image.convertToFormat(format);
}

static QImage decoded(const QByteArray &file)
{
    QBuffer buffer;
    buffer.setData(file);
    return QImageReader(&buffer, "png").read();
}

Q_DECLARE_METATYPE(Lumivex::PngSize)

class TestPngEncoder : public QObject
{
    Q_OBJECT
private slots:
    void sameAsQt_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<Lumivex::PngSize>("size");
        const auto small = Lumivex::PngSize::Smallest;
        // 1031 is prime; 600 of its rows make several strips.
        QTest::newRow("grey") << picture(QImage::Format_Grayscale8, 1031, 600) << small;
        QTest::newRow("rgb32") << picture(QImage::Format_RGB32, 1031, 600) << small;
        QTest::newRow("argb32") << picture(QImage::Format_ARGB32, 1031, 600) << small;
        QTest::newRow("argb32pm") << picture(QImage::Format_ARGB32_Premultiplied, 257, 97) << small;
        QTest::newRow("rgb888") << picture(QImage::Format_RGB888, 257, 97) << small;
        QTest::newRow("rgbx8888") << picture(QImage::Format_RGBX8888, 257, 97) << small;
        QTest::newRow("rgba8888") << picture(QImage::Format_RGBA8888, 257, 97) << small;
        QTest::newRow("rgba8888pm")
                << picture(QImage::Format_RGBA8888_Premultiplied, 257, 97) << small;
        QImage p3 = picture(QImage::Format_RGB32, 64, 1);
        p3.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        QTest::newRow("colour space") << p3 << small;
        const auto stored = Lumivex::PngSize::Fastest;
        QTest::newRow("rgb32 stored") << picture(QImage::Format_RGB32, 1031, 600) << stored;
        QTest::newRow("grey stored") << picture(QImage::Format_Grayscale8, 1031, 600) << stored;
        // Rows over the 65535 bytes of a stored block, in two blocks each.
        QTest::newRow("wide stored") << picture(QImage::Format_ARGB32, 16500, 3) << stored;
    }
    void sameAsQt()
    {
        QFETCH(QImage, image);
        QFETCH(Lumivex::PngSize, size);
        QVERIFY(Lumivex::encodesPng(image.format()));
        const QByteArray ours = Lumivex::encodePng(image, nullptr, size);
        QByteArray qts;
        QBuffer buffer(&qts);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && QImageWriter(&buffer, "png").write(image));
        QString why;
        QVERIFY2(TestSupport::sameImage(decoded(ours), decoded(qts), &why), qPrintable(why));
        QCOMPARE(decoded(ours).colorSpace(), decoded(qts).colorSpace());
        // Our stream has two more chunks and two more flushes than Qt's: 40 bytes.
        QVERIFY2(size == Lumivex::PngSize::Fastest || ours.size() <= qts.size() * 105 / 100 + 40,
                 qPrintable(QString::number(ours.size()) + " " + QString::number(qts.size())));
        const QString pngcheck = QStandardPaths::findExecutable(QStringLiteral("pngcheck"));
        if (pngcheck.isEmpty())
            QSKIP("pngcheck is not installed");
        QTemporaryFile file;
        QVERIFY(file.open() && file.write(ours) == ours.size() && file.flush());
        const int status = QProcess::execute(pngcheck, {QStringLiteral("-q"), file.fileName()});
        if (status < 0)
            QSKIP("pngcheck cannot run here (an emulated program cannot start the host's)");
        QCOMPARE(status, 0);
    }
    void refusals()
    {
        const QImage image = picture(QImage::Format_RGB32, 1031, 600);
        const std::atomic<bool> cancelled{true};
        QVERIFY(Lumivex::encodePng(image, &cancelled).isNull());
        QVERIFY(!Lumivex::encodesPng(QImage::Format_Mono));
        QVERIFY(Lumivex::encodePng(image.convertToFormat(QImage::Format_Mono)).isNull());
    }
};

QTEST_GUILESS_MAIN(TestPngEncoder)
#include "tst_pngencoder.moc"
