#include "clipboardimage.h"

#include "imagefile.h"
#include "pngencoder.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageWriter>
#include <QThreadPool>

#include <chrono>
#include <condition_variable>
#include <iterator>
#include <mutex>

namespace Lumivex {

namespace {

// The types offered, each with the writer's format name.
struct Offer
{
    QString mimeType;
    const char *format;
};

const Offer offers[] = {{QStringLiteral("image/png"), "png"}, {QStringLiteral("image/bmp"), "bmp"}};
constexpr int OfferCount = int(std::size(offers));

// The encoders' own threads: not the global pool, whose threads the
// adjustments share out rows to while a big picture is being encoded.
QThreadPool &encoderThreads()
{
    static QThreadPool pool;
    return pool;
}

QByteArray encoded(const QImage &image, const char *format)
{
    // PNG of 8-bit channels through the parallel encoder: a 24-megapixel
    // picture is ready in well under a second instead of seven, so a paste
    // in another program soon after Copy waits for little.
    if (qstrcmp(format, "png") == 0 && encodesPng(image.format())) {
        QByteArray bytes = encodePng(image);
        if (!bytes.isNull())
            return bytes;
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(withoutMetadataText(image))) // pixels only
        return QByteArray();
    buffer.close();
    return buffer.data();
}

} // namespace

struct EncodedImageData::Encodings
{
    std::mutex mutex;
    std::condition_variable finished;
    QByteArray bytes[OfferCount];
    bool done[OfferCount] = {};
};

const QStringList &pasteTypes()
{
    static const QStringList types{
            QStringLiteral("image/png"),  QStringLiteral("image/jpeg"),
            QStringLiteral("image/bmp"),  QStringLiteral("image/x-bmp"),
            QStringLiteral("image/tiff"), QStringLiteral("image/webp"),
            QStringLiteral("image/gif"),
    };
    return types;
}

QImage readPastedImage(const QMimeData *data)
{
    if (!data)
        return QImage();
    const QStringList available = data->formats();
    for (const QString &type : pasteTypes()) {
        if (!available.contains(type))
            continue;
        QByteArray bytes = data->data(type);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        return readImage(&buffer);
    }
    return QImage();
}

EncodedImageData::EncodedImageData(const QImage &image) : encodings(std::make_shared<Encodings>())
{
    encoderThreads().setMaxThreadCount(OfferCount);
    for (int i = 0; i < OfferCount; ++i) {
        // Data the clipboard has let go of before its encoding began is
        // not encoded at all, so that Copy after Copy waits for no other.
        encoderThreads().start([weak = std::weak_ptr<Encodings>(encodings), image, i] {
            const std::shared_ptr<Encodings> shared = weak.lock();
            if (!shared)
                return;
            QByteArray bytes = encoded(image, offers[i].format);
            const std::lock_guard<std::mutex> lock(shared->mutex);
            shared->bytes[i] = std::move(bytes);
            shared->done[i] = true;
            shared->finished.notify_all();
        });
    }
}

EncodedImageData::~EncodedImageData() = default;

QStringList EncodedImageData::formats() const
{
    QStringList types;
    for (const Offer &offer : offers)
        types << offer.mimeType;
    return types;
}

bool EncodedImageData::hasFormat(const QString &mimeType) const
{
    return formats().contains(mimeType);
}

QVariant EncodedImageData::retrieveData(const QString &mimeType, QMetaType type) const
{
    Q_UNUSED(type)
    for (int i = 0; i < OfferCount; ++i) {
        if (offers[i].mimeType != mimeType)
            continue;
        // Another program's request arrives on the GUI thread. While the
        // encoding is still running, the window keeps painting: events other
        // than the user's are handled between short waits (user input would
        // let a new Copy replace this data as it is read). Only the local
        // share of the encodings is used once events have run, since one of
        // them may be the clipboard's loss, which deletes this.
        const std::shared_ptr<Encodings> shared = encodings;
        std::unique_lock<std::mutex> lock(shared->mutex);
        while (!shared->finished.wait_for(lock, std::chrono::milliseconds(10),
                                          [&] { return shared->done[i]; })) {
            lock.unlock();
            if (QCoreApplication::instance())
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
            lock.lock();
        }
        return shared->bytes[i];
    }
    return QVariant();
}

} // namespace Lumivex
