#include "imagefile.h"

#include "imagekernels.h"

#include <QBuffer>
#include <QColorSpace>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QTransform>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

// Why the last write, flush or sync of file failed: the device's own message
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
QString writeAll(QSaveFile &file, const QByteArray &bytes)
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

// Transposes the width × height pixels at data in place into height × width:
// each cycle of the permutation is followed once, the positions done marked
// in a bit each, so that a quarter turn needs no second picture.
void transposeInPlace(quint32 *data, quint32 width, quint32 height)
{
    if (width < 2 || height < 2)
        return;
    const quint32 last = width * height - 1; // the first and last pixels stay
    const double perRow = 1.0 / height;
    std::vector<quint64> done(last / 64 + 1);
    for (quint32 start = 1; start < last; ++start) {
        if (done[start / 64] == ~quint64(0)) {
            start |= 63;
            continue;
        }
        if (done[start / 64] >> (start % 64) & 1)
            continue;
        const quint32 carried = data[start];
        quint32 to = start;
        for (;;) {
            // Position to is row x, column y of the result: pixel (x, y) of
            // the source. The quotient by a multiplication, exact after the
            // correction.
            quint32 x = quint32(double(to) * perRow);
            x -= x * height > to ? 1 : 0;
            x += (x + 1) * height <= to ? 1 : 0;
            const quint32 from = (to - x * height) * width + x;
            done[to / 64] |= quint64(1) << (to % 64);
            if (from == start) {
                data[to] = carried;
                break;
            }
            data[to] = data[from];
            to = from;
        }
    }
}

// The image turned a quarter clockwise. A 32-bit image that owns its pixels
// alone is turned within its own buffer, which the result then keeps alive;
// any other is copied as QImage turns it.
QImage rotatedClockwise(QImage image)
{
    if (image.depth() != 32 || image.bytesPerLine() != qsizetype(image.width()) * 4
        || image.sizeInBytes() >= qsizetype(1) << 33 || !image.isDetached())
        return image.transformed(QTransform().rotate(90));
    auto *owner = new QImage(std::move(image));
    transposeInPlace(reinterpret_cast<quint32 *>(owner->bits()), owner->width(), owner->height());
    QImage turned(
            owner->bits(), owner->height(), owner->width(), qsizetype(owner->height()) * 4,
            owner->format(), [](void *pixels) { delete static_cast<QImage *>(pixels); }, owner);
    turned.setDotsPerMeterX(owner->dotsPerMeterX());
    turned.setDotsPerMeterY(owner->dotsPerMeterY());
    turned.setOffset(owner->offset());
    turned.setColorSpace(owner->colorSpace());
    for (const QString &key : owner->textKeys())
        turned.setText(key, owner->text(key));
    // A quarter turn is the transposition's mirror image.
    for (int y = 0; y < turned.height(); ++y) {
        auto *line = reinterpret_cast<quint32 *>(turned.scanLine(y));
        std::reverse(line, line + turned.width());
    }
    return turned;
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

} // namespace

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

QImage readImage(QIODevice *device)
{
    if (!device || !device->isReadable())
        return QImage();
    QImageReader::setAllocationLimit(ImageAllocationLimitMiB);
    QImageReader reader(device);
    // The content decides, so that no other decoder is reached through a
    // misleading suffix.
    reader.setDecideFormatFromContent(true);
    if (!readableFormats().contains(reader.format().toLower()))
        return QImage();
    const QSize size = reader.size();
    if (size.isValid()
        && qint64(size.width()) * size.height() * 4 > qint64(ImageAllocationLimitMiB) << 20)
        return QImage();
    // The orientation is applied here rather than by the reader, whose quarter
    // turn holds the picture twice.
    reader.setAutoTransform(false);
    QImage image;
    if (!reader.read(&image))
        return QImage();
    return toEditableFormat(oriented(std::move(image), reader.transformation()));
}

QImage readImageFile(const QString &path)
{
    QFile file(path);
    if (!openRegularFile(file))
        return QImage();
    return readImage(&file);
}

QString writeImageFile(const QImage &image, const QString &path)
{
    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (format.isEmpty())
        return QCoreApplication::translate("Lumivex",
                                           "The file name has no suffix to tell the image format.");
    if (!QImageWriter::supportedImageFormats().contains(format))
        return QCoreApplication::translate("Lumivex",
                                           "Images cannot be written in the format \"%1\".")
                .arg(QString::fromLatin1(format));
    // The whole file is encoded first: the writers ignore short writes, so
    // writing through them straight to the disk could pass a cut-off file
    // as saved.
    QBuffer encoded;
    encoded.open(QIODevice::WriteOnly);
    QImageWriter writer(&encoded, format);
    writer.setQuality(-1);
    if (!writer.write(image))
        return writer.errorString();
    encoded.close();

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    const QString failure = writeAll(file, encoded.data());
    if (!failure.isEmpty()) {
        file.cancelWriting(); // the temporary file goes with file
        return failure;
    }
    errno = 0;
    if (!file.commit())
        return writeFailure(file, errno);
    return QString();
}

} // namespace Lumivex
