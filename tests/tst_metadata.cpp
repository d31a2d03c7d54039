// Photo metadata through open and save, in camera files written with exiv2 and read with exiftool:
// the tags are kept, the orientation, pixel size, thumbnail and file structure are not.
#include "filesupport.h"
#include "imagefile.h"

#include <QColorSpace>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <exiv2/exiv2.hpp>

namespace {

using TestSupport::encoded;

// stored as Qt encodes it in format, with what a camera writes beside it.
QByteArray cameraFile(const QImage &stored, const QByteArray &format)
{
    const QByteArray file = encoded(stored, format.constData());
    const auto data = [](const QByteArray &bytes) {
        return reinterpret_cast<const Exiv2::byte *>(bytes.constData());
    };
    const auto image = Exiv2::ImageFactory::open(data(file), long(file.size()));
    image->readMetadata();
    Exiv2::ExifData &exif = image->exifData();
    exif["Exif.Image.Make"] = "Lumivex Optics";
    exif["Exif.Image.Model"] = "LX-1";
    exif["Exif.Image.Artist"] = "A. Photographer";
    exif["Exif.Image.Copyright"] = "CC BY 4.0";
    exif["Exif.Image.Orientation"] = uint16_t(6);
    exif["Exif.Photo.DateTimeOriginal"] = "2021:06:05 04:03:02";
    exif["Exif.Photo.PixelXDimension"] = uint32_t(stored.width());
    exif["Exif.GPSInfo.GPSLatitude"] = "48/1 30/1 0/1";
    exif["Exif.GPSInfo.GPSLongitude"] = "4/1 15/1 0/1";
    const QByteArray thumbnail = encoded(stored.scaled(8, 4), "jpeg");
    Exiv2::ExifThumb(exif).setJpegThumbnail(data(thumbnail), long(thumbnail.size()));
    image->xmpData()["Xmp.xmp.Rating"] = 4;
    image->xmpData()["Xmp.dc.subject"] = "harbour";
    image->xmpData()["Xmp.tiff.Orientation"] = 6;
    image->iptcData()["Iptc.Application2.Keywords"] = "lighthouse";
    image->writeMetadata();
    image->io().open();
    const Exiv2::DataBuf bytes = image->io().read(long(image->io().size()));
    return QByteArray(reinterpret_cast<const char *>(bytes.pData_), bytes.size_);
}

} // namespace

class MetadataTest : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

    QString written(const QString &name, const QByteArray &bytes)
    {
        QFile file(dir.filePath(name));
        const bool done = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        return done ? file.fileName() : QString();
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
        const QList<QByteArray> writable = QImageWriter::supportedImageFormats();
        if (!writable.contains(source) || !writable.contains(target.toLatin1()))
            QSKIP("Qt has no writer for this format here");
        // Dark at the top left as stored, put at the top right by orientation 6.
        QImage stored(40, 20, QImage::Format_RGB32);
        stored.fill(Qt::white);
        stored.setColorSpace(QColorSpace::AdobeRgb);
        for (int i = 0; i < 64; ++i)
            stored.setPixel(i % 8, i / 8, qRgb(0, 0, 0));
        Lumivex::ImageMetadata metadata;
        const QImage opened =
                Lumivex::readImageFile(written("camera." + source, cameraFile(stored, source)),
                                       &metadata);
        QCOMPARE(opened.size(), QSize(20, 40));
        for (const QPoint corner : {QPoint(0, 0), QPoint(19, 0), QPoint(0, 39), QPoint(19, 39)})
            QCOMPARE(qGray(opened.pixel(corner)) < 128, corner == QPoint(19, 0));
        const QString saved = dir.filePath("saved." + target);
        QCOMPARE(Lumivex::writeImageFile(opened, saved, metadata), QString());
        const QImage reopened = Lumivex::readImageFile(saved);
        QCOMPARE(reopened.size(), QSize(20, 40));
        QCOMPARE(reopened.colorSpace(), QColorSpace(QColorSpace::AdobeRgb));

        QProcess exiftool;
        exiftool.start(QStringLiteral("exiftool"), {"-j", "-G", "-n", saved});
        if (!exiftool.waitForFinished(60000) || exiftool.exitCode() != 0)
            QSKIP("exiftool (libimage-exiftool-perl) is not installed, or cannot run under an "
                  "emulator");
        const QJsonObject tags =
                QJsonDocument::fromJson(exiftool.readAllStandardOutput()).array().at(0).toObject();
        // null: absent. WebP holds no IPTC; a TIFF file has its own structure, no other has any.
        QJsonObject expected = QJsonDocument::fromJson(R"({"EXIF:Make": "Lumivex Optics",
            "EXIF:Model": "LX-1", "EXIF:Artist": "A. Photographer", "EXIF:Copyright": "CC BY 4.0",
            "EXIF:DateTimeOriginal": "2021:06:05 04:03:02", "EXIF:GPSLatitude": 48.5,
            "EXIF:GPSLongitude": 4.25, "XMP:Rating": 4,
            "XMP:Subject": "harbour", "IPTC:Keywords": "lighthouse", "EXIF:Orientation": 1,
            "XMP:Orientation": 1, "EXIF:ExifImageWidth": 20, "EXIF:ExifImageHeight": 40,
            "XMP:ExifImageWidth": 20, "XMP:ExifImageHeight": 40, "EXIF:ThumbnailOffset": null,
            "EXIF:ThumbnailLength": null, "EXIF:ImageWidth": 20, "EXIF:ImageHeight": 40,
            "EXIF:StripByteCounts": 2400, "EXIF:PhotometricInterpretation": 2})")
                                       .object();
        if (source == "webp" || target == "webp")
            expected["IPTC:Keywords"] = QJsonValue::Null;
        for (const char *key : {"EXIF:ImageWidth", "EXIF:ImageHeight", "EXIF:StripByteCounts",
                                "EXIF:PhotometricInterpretation"})
            expected[key] = target == "tif" ? expected.value(key) : QJsonValue::Null;
        for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
            QVERIFY2((tags.contains(it.key()) ? tags[it.key()] : QJsonValue()) == *it,
                     qPrintable(it.key()));
    }

    // A PNG's eXIf chunk (here big-endian, orientation 6 alone) turns it too.
    void pngExifChunk()
    {
        const QByteArray exif = QByteArray::fromHex("4d4d002a00000008" // header, IFD at 8
                                                    "0001"
                                                    "011200030000000100060000"
                                                    "00000000");
        QByteArray chunk = "eXIf" + exif;
        const quint32 crc = TestSupport::crc32(chunk);
        chunk = QByteArray::fromHex("0000001a") + chunk;
        for (int shift = 24; shift >= 0; shift -= 8)
            chunk += char(crc >> shift);
        QImage stored(40, 20, QImage::Format_RGB32);
        stored.fill(Qt::darkGreen);
        QByteArray png = encoded(stored, "png");
        png.insert(33, chunk); // after the header chunk
        Lumivex::ImageMetadata metadata;
        QCOMPARE(Lumivex::readImageFile(written("exif.png", png), &metadata).size(), QSize(20, 40));
        QCOMPARE(Lumivex::exifOrientation(metadata), 6);
    }

    // An XMP packet that cannot be parsed is left out of a save, the EXIF kept.
    void brokenBlockLeftOut()
    {
        const QImage stored(8, 4, QImage::Format_RGB32);
        Lumivex::ImageMetadata metadata = Lumivex::readMetadata(cameraFile(stored, "jpeg"));
        metadata.xmp = "<x:xmpmeta";
        const Lumivex::ImageMetadata saved = Lumivex::readMetadata(
                Lumivex::withMetadata(encoded(stored, "jpeg"), "jpeg", metadata, stored.size()));
        QVERIFY(!saved.exif.isEmpty());
        QVERIFY(saved.xmp.isEmpty());
    }

    // The picture as Qt decodes it without the metadata, which comes back empty.
    void garbageIgnored()
    {
        QImage image(12, 8, QImage::Format_RGB32);
        image.fill(Qt::darkRed);
        image.setText("Raw profile type exif", "\nexif\n      14\n45786966000049492a00ffffff7f\n");
        Lumivex::ImageMetadata metadata{"stale", "stale", "stale"};
        const QImage opened =
                Lumivex::readImageFile(written("garbage.png", encoded(image, "png")), &metadata);
        QVERIFY(metadata.isEmpty());
        QCOMPARE(opened, image);
    }
};

QTEST_GUILESS_MAIN(MetadataTest)
#include "tst_metadata.moc"
