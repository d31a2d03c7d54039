#include "imagefile.h"

#include "imageoperations.h"
#include "pngencoder.h"
#include "quarterturn.h"

#include <QBuffer>
#include <QColorSpace>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Lumivex {

namespace {

// Opens file, by its name, for reading if it is a regular file, links
// followed. The type is judged before opening, so that no device is opened,
// and again on the open descriptor, so that a FIFO put in the file's place
// meanwhile is refused too; the descriptor is opened non-blocking, so that
// even that FIFO cannot wait for a writer. On other systems the check before
// opening is all there is.
bool openRegularFile(QFile &file)
{
    if (!QFileInfo(file.fileName()).isFile())
        return false;
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(),
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
#else
    return file.open(QIODevice::ReadOnly);
#endif
}

// Why the last open, write, flush, sync or commit of file failed: its own message
// if it has one, else the system's for errorNumber, never an empty or unknown
// reason.
QString writeFailure(const QFileDevice &file, int errorNumber)
{
    if (file.error() != QFileDevice::NoError && !file.errorString().isEmpty()
        && file.errorString() != QLatin1String("Unknown error"))
        return file.errorString();
    if (errorNumber != 0)
        return QString::fromLocal8Bit(std::strerror(errorNumber));
    return QCoreApplication::translate("Lumivex", "The file could not be written completely.");
}

// Writes all of bytes to file and flushes them to the disk; returns why not.
// A short write is retried, so that the second attempt reports its cause.
QString writeAll(QFileDevice &file, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        errno = 0;
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return writeFailure(file, errno);
        done += written;
    }
    errno = 0;
    if (!file.flush())
        return writeFailure(file, errno);
#ifdef Q_OS_UNIX
    // On the disk before it replaces the old file, so a crash cannot leave
    // an empty file behind.
    if (::fsync(file.handle()) != 0)
        return writeFailure(file, errno);
#endif
    return QString();
}

// The transformation that EXIF orientation 1..8 stands for, as Qt's readers
// map it; none for any other value.
QImageIOHandler::Transformations exifTransformation(int orientation)
{
    switch (orientation) {
    case 2:
        return QImageIOHandler::TransformationMirror;
    case 3:
        return QImageIOHandler::TransformationRotate180;
    case 4:
        return QImageIOHandler::TransformationFlip;
    case 5:
        return QImageIOHandler::TransformationFlipAndRotate90;
    case 6:
        return QImageIOHandler::TransformationRotate90;
    case 7:
        return QImageIOHandler::TransformationMirrorAndRotate90;
    case 8:
        return QImageIOHandler::TransformationRotate270;
    default:
        return QImageIOHandler::TransformationNone;
    }
}

// Applies an orientation tag as the image reader would, with one picture's
// memory instead of two.
QImage oriented(QImage image, QImageIOHandler::Transformations transformation)
{
    image = std::move(image).mirrored(transformation & QImageIOHandler::TransformationMirror,
                                      transformation & QImageIOHandler::TransformationFlip);
    if (transformation & QImageIOHandler::TransformationRotate90)
        image = rotatedClockwise(std::move(image));
    return image;
}

// The image that bytes, a whole file, hold, as readImage() gives it.
QImage decodedImage(const QByteArray &bytes, ImageMetadata *metadata)
{
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    QImageReader reader(&device);
    // The content decides, so that no other decoder is reached through a
    // misleading suffix.
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format().toLower();
    if (!readableFormats().contains(format))
        return QImage();
    const QSize size = reader.size();
    if (size.isValid()
        && qint64(size.width()) * size.height() * 4 > qint64(ImageAllocationLimitMiB) << 20)
        return QImage();
    // The orientation is applied here rather than by the reader, whose quarter
    // turn holds the picture twice.
    reader.setAutoTransform(false);
    QImage image;
    // Qt's BMP reader stops at the end of a cut-short file and leaves the rows
    // it never reached as they were in memory. It decodes into an image
    // handed to it with the announced size and format, so it gets a cleared one.
    const QImage::Format imageFormat = reader.imageFormat();
    if (format == "bmp" && size.isValid() && imageFormat != QImage::Format_Invalid) {
        image = QImage(size, imageFormat);
        image.fill(0);
    }
    if (!reader.read(&image))
        return QImage();
    // Qt's JPEG and TIFF readers give the orientation; its PNG and WebP readers
    // pass over the eXIf chunk, raw profile text and EXIF chunk that hold it,
    // so it comes from the metadata for them, unless the reader did find one.
    QImageIOHandler::Transformations transformation = reader.transformation();
    const bool orientationLeft = (format == "png" || format == "webp")
                                 && transformation == QImageIOHandler::TransformationNone;
    if (metadata || orientationLeft) {
        ImageMetadata found = readMetadata(bytes);
        if (orientationLeft)
            transformation = exifTransformation(exifOrientation(found));
        if (metadata)
            *metadata = std::move(found);
    }
    return toEditableFormat(oriented(std::move(image), transformation));
}

// The one allocation limit of the process, set before main() runs, so that
// Open, Paste and every test decode the same pictures whichever runs first.
[[maybe_unused]] const bool allocationLimitSet = [] {
    QImageReader::setAllocationLimit(ImageAllocationLimitMiB);
    return true;
}();

} // namespace

QImage withoutMetadataText(const QImage &image)
{
    const auto isMetadata = [](const QString &key) {
        return key.startsWith(QLatin1String("Raw profile type "), Qt::CaseInsensitive)
               || key == QLatin1String("XML:com.adobe.xmp");
    };
    const QStringList keys = image.textKeys();
    if (std::none_of(keys.begin(), keys.end(), isMetadata))
        return image;
    QImage view(image.constBits(), image.width(), image.height(), image.bytesPerLine(),
                image.format());
    view.setColorTable(image.colorTable());
    view.setDotsPerMeterX(image.dotsPerMeterX());
    view.setDotsPerMeterY(image.dotsPerMeterY());
    view.setOffset(image.offset());
    view.setColorSpace(image.colorSpace());
    for (const QString &key : keys) {
        if (!isMetadata(key))
            view.setText(key, image.text(key));
    }
    return view;
}

QString checkSaveTarget(const QString &path)
{
    static const QList<QByteArray> writable{"png", "jpg", "jpeg", "bmp", "tif", "tiff", "webp"};
    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (format.isEmpty())
        return QCoreApplication::translate("Lumivex",
                                           "The file name has no suffix to tell the image format.");
    if (!writable.contains(format) || !QImageWriter::supportedImageFormats().contains(format))
        return QCoreApplication::translate("Lumivex",
                                           "Images cannot be written in the format \"%1\".")
                .arg(QString::fromLatin1(format));
#ifdef Q_OS_UNIX
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        // A name that does not exist yet is written; a link loop or a
        // folder that cannot be searched is not.
        if (errno == ENOENT)
            return QString();
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    if (S_ISDIR(status.st_mode))
        return QString::fromLocal8Bit(std::strerror(EISDIR));
    if (!S_ISREG(status.st_mode))
        return QCoreApplication::translate("Lumivex", "It is not a regular file.");
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return QCoreApplication::translate("Lumivex", "It is not a regular file.");
#endif
    return QString();
}

// QSaveFile is not used: its temporary file is the target's name plus seven
// bytes, so a file whose name is near the system's 255-byte limit could never
// be replaced. This keeps what it gives otherwise: the temporary file is in
// the target's folder (a link is written through to the file it names), it
// gets the permissions of the file it replaces, the rename is atomic, and on
// any failure the temporary file is removed and the target left as it was.
QString saveCancelled()
{
    return QCoreApplication::translate("Lumivex", "The save was cancelled.");
}

QString commitBytes(const QByteArray &bytes, const QString &path,
                    const std::atomic<bool> *cancelled)
{
    if (cancelled && *cancelled)
        return saveCancelled();
    const QFileInfo info(path);
    const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : path;
    QTemporaryFile file(QFileInfo(target).absolutePath() + QStringLiteral("/.lumivex-XXXXXX"));
    errno = 0;
    if (!file.open())
        return writeFailure(file, errno);
#ifdef Q_OS_UNIX
    struct stat status = {};
    mode_t mode = 0;
    if (::stat(QFile::encodeName(target).constData(), &status) == 0) {
        mode = status.st_mode & 07777;
    } else {
        // A new file gets what open() would give it. The mask can only be
        // read by setting it, and is put back at once.
        const mode_t mask = ::umask(022);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(file.handle(), mode) != 0)
        return writeFailure(file, errno);
#endif
    const QString failure = writeAll(file, bytes);
    if (!failure.isEmpty())
        return failure; // the temporary file goes with file
    file.close();
    if (cancelled && *cancelled)
        return saveCancelled(); // the temporary file goes with file
#ifdef Q_OS_UNIX
    if (::rename(QFile::encodeName(file.fileName()).constData(),
                 QFile::encodeName(target).constData())
        != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
#else
    QFile::remove(target);
    if (!file.rename(target))
        return writeFailure(file, 0);
#endif
    file.setAutoRemove(false);
    return QString();
}

QString openFilter()
{
    return QStringLiteral("Images (*.png *.jpg *.jpeg *.bmp *.tiff *.tif *.webp *.gif)");
}

QString saveFilter()
{
    return QStringLiteral("Images (*.png *.jpg *.jpeg *.bmp *.tiff *.tif *.webp)");
}

const QList<QByteArray> &readableFormats()
{
    static const QList<QByteArray> formats{"png",  "jpeg", "jpg",  "bmp",
                                           "tiff", "tif",  "webp", "gif"};
    return formats;
}

QImage readImage(QIODevice *device, ImageMetadata *metadata)
{
    if (metadata)
        *metadata = {};
    if (!device || !device->isReadable()
        || (!device->isSequential() && device->size() - device->pos() > MaxEncodedBytes))
        return QImage();
    const QByteArray bytes = device->readAll();
    if (bytes.size() > MaxEncodedBytes)
        return QImage();
    return decodedImage(bytes, metadata);
}

QImage readImageFile(const QString &path, ImageMetadata *metadata)
{
    if (metadata)
        *metadata = {};
    QFile file(path);
    if (!openRegularFile(file))
        return QImage();
    return readImage(&file, metadata);
}

QString writeImageFile(const QImage &image, const QString &path, const ImageMetadata &metadata,
                       const std::atomic<bool> *cancelled)
{
    const QString refused = checkSaveTarget(path);
    if (!refused.isEmpty())
        return refused;
    if (cancelled && *cancelled)
        return saveCancelled();
    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    // The whole file is encoded first: the writers ignore short writes, so
    // writing through them straight to the disk could pass a cut-off file
    // as saved. PNG pictures of 8-bit channels go through the parallel
    // encoder, many times faster than Qt's writer, which takes the rest.
    QByteArray bytes;
    if (format == "png" && encodesPng(image.format())) {
        bytes = encodePng(image, cancelled);
        if (cancelled && *cancelled)
            return saveCancelled();
    }
    if (bytes.isNull()) {
        QBuffer encoded;
        encoded.open(QIODevice::WriteOnly);
        QImageWriter writer(&encoded, format);
        writer.setQuality(-1);
        if (!writer.write(withoutMetadataText(image))) {
            if (writer.error() != QImageWriter::UnknownError)
                return writer.errorString();
            return QCoreApplication::translate("Lumivex", "The image could not be encoded as %1.")
                    .arg(QString::fromLatin1(format));
        }
        bytes = encoded.data();
    }

    return commitBytes(withMetadata(bytes, format, metadata, image.size()), path, cancelled);
}

} // namespace Lumivex
