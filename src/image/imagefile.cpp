#include "imagefile.h"

#include "imagekernels.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

namespace Lumivex {

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
    reader.setAutoTransform(true);
    QImage image;
    if (!reader.read(&image))
        return QImage();
    return toEditableFormat(image);
}

QImage readImageFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    QImageWriter writer(&file, format);
    writer.setQuality(-1);
    if (!writer.write(image)) {
        file.cancelWriting();
        return writer.errorString();
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}

} // namespace Lumivex
