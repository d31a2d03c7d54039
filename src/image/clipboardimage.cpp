#include "clipboardimage.h"

#include "imagefile.h"
#include "pngencoder.h"

#include <QBuffer>
#include <QImageWriter>
#include <QThreadPool>

#include <condition_variable>
#include <mutex>

namespace Lumivex {

namespace {

// The encodings made of a picture on the clipboard, in the order they are
// started: a PNG stored as it is, made as fast as the pixels can be copied,
// so that a program asking at once (a clipboard manager asks as soon as Copy
// runs) waits for very little; BMP; and the small PNG that replaces the
// stored one as soon as it is ready. Requests are answered on the GUI
// thread, which waits for the encoding asked for: handling events meanwhile
// could let another program's copy delete this data while Qt is still
// sending it.
enum Encoding { StoredPng, Bmp, SmallPng, EncodingCount };

const QString PngType = QStringLiteral("image/png");
const QString BmpType = QStringLiteral("image/bmp");

// The encoders' own threads: not the global pool, whose threads the
// adjustments share out rows to while a big picture is being encoded.
QThreadPool &encoderThreads()
{
    static QThreadPool pool;
    return pool;
}

QByteArray encoded(const QImage &image, Encoding encoding)
{
    // PNG of 8-bit channels through the parallel encoder; other pictures
    // through Qt's writer, which has no stored PNG.
    if (encoding != Bmp && encodesPng(image.format()))
        return encodePng(image, nullptr,
                         encoding == StoredPng ? PngSize::Fastest : PngSize::Smallest);
    if (encoding == StoredPng)
        return QByteArray();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, encoding == Bmp ? "bmp" : "png");
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
    QByteArray bytes[EncodingCount];
    bool done[EncodingCount] = {};
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
    encoderThreads().setMaxThreadCount(2); // the stored PNG and BMP at once, then the small PNG
    for (int i = 0; i < EncodingCount; ++i) {
        // Data the clipboard has let go of before its encoding began is
        // not encoded at all, so that Copy after Copy waits for no other.
        encoderThreads().start([weak = std::weak_ptr<Encodings>(encodings), image, i] {
            const std::shared_ptr<Encodings> shared = weak.lock();
            if (!shared)
                return;
            QByteArray bytes = encoded(image, Encoding(i));
            const std::lock_guard<std::mutex> lock(shared->mutex);
            shared->bytes[i] = std::move(bytes);
            shared->done[i] = true;
            if (i == SmallPng && !shared->bytes[SmallPng].isEmpty())
                shared->bytes[StoredPng] = QByteArray(); // what is asked for from now on
            shared->finished.notify_all();
        });
    }
}

EncodedImageData::~EncodedImageData() = default;

QStringList EncodedImageData::formats() const
{
    return {PngType, BmpType};
}

bool EncodedImageData::hasFormat(const QString &mimeType) const
{
    return formats().contains(mimeType);
}

QVariant EncodedImageData::retrieveData(const QString &mimeType, QMetaType type) const
{
    Q_UNUSED(type)
    std::unique_lock<std::mutex> lock(encodings->mutex);
    const bool *done = encodings->done;
    const QByteArray *bytes = encodings->bytes;
    if (mimeType == BmpType) {
        encodings->finished.wait(lock, [&] { return done[Bmp]; });
        return bytes[Bmp];
    }
    if (mimeType != PngType)
        return QVariant();
    // The small PNG once it is ready, the stored one until then.
    encodings->finished.wait(lock, [&] {
        return done[SmallPng] || (done[StoredPng] && !bytes[StoredPng].isEmpty());
    });
    return done[SmallPng] && !bytes[SmallPng].isEmpty() ? bytes[SmallPng] : bytes[StoredPng];
}

} // namespace Lumivex
