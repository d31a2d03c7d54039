// Photo metadata through open and save: a camera's tags are kept, while its
// orientation, pixel dimensions, thumbnail and file structure are not. The
// camera files are written with exiv2, the saved ones read with exiftool.
#include "imagefile.h"

#include <QBuffer>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <exiv2/exiv2.hpp>

namespace {

QByteArray encoded(const QImage &image, const QByteArray &format)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return buffer.data();
}

// stored as Qt encodes it in format, with what a camera writes beside it.
QByteArray cameraFile(const QImage &stored, const QByteArray &format, int orientation)
{
    const QByteArray file = encoded(stored, format);
    const auto image =
            Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(file.constData()),
                                      long(file.size()));
    image->readMetadata();
    Exiv2::ExifData &exif = image->exifData();
    exif["Exif.Image.Make"] = "Lumivex Optics";
    exif["Exif.Image.Model"] = "LX-1";
    exif["Exif.Image.Artist"] = "A. Photographer";
    exif["Exif.Image.Copyright"] = "CC BY 4.0";
    exif["Exif.Image.Orientation"] = uint16_t(orientation);
    exif["Exif.Photo.DateTimeOriginal"] = "2021:06:05 04:03:02";
    exif["Exif.Photo.PixelXDimension"] = uint32_t(stored.width());
    exif["Exif.Photo.PixelYDimension"] = uint32_t(stored.height());
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    exif["Exif.GPSInfo.GPSLatitude"] = "48/1 30/1 0/1";
    exif["Exif.GPSInfo.GPSLongitudeRef"] = "W";
    exif["Exif.GPSInfo.GPSLongitude"] = "4/1 15/1 0/1";
    const QByteArray thumbnail = encoded(stored.scaled(8, 4), "jpeg");
    Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte *>(
                                                    thumbnail.constData()),
                                            long(thumbnail.size()));
    image->xmpData()["Xmp.xmp.Rating"] = 4;
    image->xmpData()["Xmp.dc.subject"] = "harbour";
    image->xmpData()["Xmp.tiff.Orientation"] = orientation;
    image->xmpData()["Xmp.exif.PixelXDimension"] = stored.width();
    image->iptcData()["Iptc.Application2.Keywords"] = "lighthouse";
    image->writeMetadata();
    image->io().open();
    const Exiv2::DataBuf bytes = image->io().read(long(image->io().size()));
    return QByteArray(reinterpret_cast<const char *>(bytes.pData_), bytes.size_);
}

// The tags exiftool reads in the file at path, by group and name.
QJsonObject exiftool(const QString &path)
{
    QProcess process;
    process.start(QStringLiteral("exiftool"), {"-j", "-G", "-n", path});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(process.readAllStandardOutput()).array().at(0).toObject();
}

bool writable(const QByteArray &format)
{
    return QImageWriter::supportedImageFormats().contains(format);
}

// Not under an emulator that cannot start the host's Perl, for one.
bool exiftoolRuns()
{
    static const bool runs = [] {
        QProcess process;
        process.start(QStringLiteral("exiftool"), {"-ver"});
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
               && process.exitCode() == 0;
    }();
    return runs;
}

} // namespace

class MetadataTest : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

    QString written(const QString &name, const QByteArray &bytes)
    {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()
                       ? file.fileName()
                       : QString();
    }

private slots:
    void keptThroughSave_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QString>("target");
        for (const char *source : {"jpeg", "png", "tiff", "webp"})
            for (const char *target : {"jpg", "png", "tif", "webp"})
                QTest::addRow("%s-to-%s", source, target) << QByteArray(source) << target;
    }
    void keptThroughSave()
    {
        QFETCH(QByteArray, source);
        QFETCH(QString, target);
        if (!exiftoolRuns())
            QSKIP("exiftool (libimage-exiftool-perl) is not installed or does not run here");
        if (!writable(source) || !writable(target.toLatin1()))
            QSKIP("Qt has no writer for this format here");
        QImage stored(40, 20, QImage::Format_RGB32);
        stored.fill(Qt::darkCyan);
        Lumivex::ImageMetadata metadata;
        const QImage opened =
                Lumivex::readImageFile(written("camera." + source, cameraFile(stored, source, 6)),
                                       &metadata);
        QCOMPARE(opened.size(), QSize(20, 40));
        const QString saved = dir.filePath("saved." + target);
        QCOMPARE(Lumivex::writeImageFile(opened, saved, metadata), QString());
        QCOMPARE(Lumivex::readImageFile(saved).size(), QSize(20, 40));

        const QJsonObject tags = exiftool(saved);
        const QJsonValue absent(QJsonValue::Undefined);
        const bool tiff = target == "tif";
        // WebP holds no IPTC.
        const bool iptc = source != "webp" && target != "webp";
        const std::pair<const char *, QJsonValue> expected[] = {
                {"EXIF:Make", "Lumivex Optics"},
                {"EXIF:Model", "LX-1"},
                {"EXIF:Artist", "A. Photographer"},
                {"EXIF:Copyright", "CC BY 4.0"},
                {"EXIF:DateTimeOriginal", "2021:06:05 04:03:02"},
                {"EXIF:GPSLatitude", 48.5},
                {"EXIF:GPSLongitudeRef", "W"},
                {"EXIF:GPSLongitude", 4.25},
                {"XMP:Rating", 4},
                {"XMP:Subject", "harbour"},
                {"IPTC:Keywords", iptc ? QJsonValue("lighthouse") : absent},
                {"EXIF:Orientation", 1},
                {"XMP:Orientation", 1},
                {"EXIF:ExifImageWidth", 20},
                {"EXIF:ExifImageHeight", 40},
                {"XMP:ExifImageWidth", 20},
                {"XMP:ExifImageHeight", 40},
                {"EXIF:ThumbnailOffset", absent},
                {"EXIF:ThumbnailLength", absent},
                // A TIFF file's own structure, no other's.
                {"EXIF:ImageWidth", tiff ? QJsonValue(20) : absent},
                {"EXIF:ImageHeight", tiff ? QJsonValue(40) : absent},
                {"EXIF:StripByteCounts", tiff ? QJsonValue(20 * 40 * 3) : absent},
                {"EXIF:PhotometricInterpretation", tiff ? QJsonValue(2) : absent},
        };
        for (const auto &[key, value] : expected)
            QVERIFY2(tags.value(key) == value, key);
    }

    void orientationApplied_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QPoint>("dark");
        for (const char *format : {"png", "webp", "jpeg", "tiff"}) {
            QTest::addRow("%s-6", format) << QByteArray(format) << 6 << QPoint(19, 0);
            QTest::addRow("%s-8", format) << QByteArray(format) << 8 << QPoint(0, 39);
        }
    }
    void orientationApplied()
    {
        QFETCH(QByteArray, format);
        QFETCH(int, orientation);
        QFETCH(QPoint, dark);
        if (!writable(format))
            QSKIP("Qt has no writer for this format here");
        // Dark at the top left as stored, the rest white.
        QImage stored(40, 20, QImage::Format_RGB32);
        stored.fill(Qt::white);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                stored.setPixel(x, y, qRgb(0, 0, 0));
        const QImage opened = Lumivex::readImageFile(
                written("turned." + format, cameraFile(stored, format, orientation)));
        QCOMPARE(opened.size(), QSize(20, 40));
        for (const QPoint corner : {QPoint(0, 0), QPoint(19, 0), QPoint(0, 39), QPoint(19, 39)})
            QCOMPARE(qGray(opened.pixel(corner)) < 128, corner == dark);
    }

    void garbageIgnored_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("clean");
        QImage image(12, 8, QImage::Format_RGB32);
        image.fill(Qt::darkRed);
        const QByteArray png = encoded(image, "png");
        image.setText("Raw profile type exif", "\nexif\n      14\n45786966000049492a00ffffff7f\n");
        QTest::addRow("png-raw-profile") << encoded(image, "png") << png;
        image.setText("Raw profile type exif", "\nexif\n    9999\nzz\n");
        QTest::addRow("png-raw-profile-text") << encoded(image, "png") << png;
        const QByteArray jpeg = encoded(image, "jpeg");
        QTest::addRow("jpeg-app1") << jpeg.left(2)
                                              + QByteArray("\xff\xe1\x00\x12"
                                                           "Exif\0\0II*\0\xff\xff\xff\x7f\0\0",
                                                           20)
                                              + jpeg.mid(2)
                                   << jpeg;
    }
    void garbageIgnored()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, clean);
        Lumivex::ImageMetadata metadata{"stale", "stale", "stale"};
        const QImage opened = Lumivex::readImageFile(written("garbage", file), &metadata);
        QVERIFY(metadata.isEmpty());
        QVERIFY(!opened.isNull());
        QCOMPARE(opened, Lumivex::readImageFile(written("clean", clean)));
    }
};

QTEST_GUILESS_MAIN(MetadataTest)
#include "tst_metadata.moc"
