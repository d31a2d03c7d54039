// libFuzzer target for the ways outside bytes become a document: the open
// path's decoding (readImage), the paste path's decoding of another
// program's clipboard bytes (readPastedImage), and the conversion every
// picture goes through before it is edited (toEditableFormat). Every input
// goes through all three: as the content of a file, as clipboard bytes under
// the type its first byte picks, and as a small image whose format, size,
// pixels and colour table it gives. Beyond crashes and undefined behaviour,
// each path's promises are checked: an opened or pasted image is editable
// and within the allocation limit, a converted one is editable and keeps its
// size.
#include "clipboardimage.h"
#include "imagefile.h"
#include "imageoperations.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QMimeData>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

bool editable(const QImage &image)
{
    return image.format() != QImage::Format_Mono && image.format() != QImage::Format_MonoLSB
           && image.format() != QImage::Format_Indexed8;
}

void checkDecoded(const QImage &image)
{
    if (image.isNull())
        return;
    if (!editable(image)
        || qint64(image.width()) * image.height() * 4 > qint64(Lumivex::ImageAllocationLimitMiB)
                                                                << 20)
        std::abort();
}

void checkOpen(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    checkDecoded(Lumivex::readImage(&buffer));
}

void checkClipboard(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const QStringList &types = Lumivex::pasteTypes();
    QMimeData data;
    data.setData(types[uchar(bytes[0]) % types.size()], bytes.mid(1));
    checkDecoded(Lumivex::readPastedImage(&data));
}

// The first four bytes choose the format, width, height and colour count;
// the rest, repeated, fills the pixel rows (padding included) and then the
// colour table, so nothing is left uninitialised.
void checkConversion(const uint8_t *data, size_t size)
{
    if (size < 4)
        return;
    const auto format = QImage::Format(1 + data[0] % (QImage::NImageFormats - 1));
    QImage image(1 + data[1] % 32, 1 + data[2] % 32, format);
    if (image.isNull())
        return;
    const uint8_t *payload = data + 4;
    const size_t length = size - 4;
    size_t next = 0;
    auto byte = [&]() { return length == 0 ? uint8_t(0) : payload[next++ % length]; };
    uchar *bits = image.bits();
    for (qsizetype i = 0; i < image.sizeInBytes(); ++i)
        bits[i] = byte();
    if (!editable(image)) {
        QList<QRgb> colours(data[3]);
        for (QRgb &colour : colours)
            colour = qRgba(byte(), byte(), byte(), byte());
        image.setColorTable(colours);
    }
    const QImage converted = Lumivex::toEditableFormat(image);
    if (converted.isNull() || !editable(converted) || converted.size() != image.size())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The image plugins are found the way the program finds them.
    static QCoreApplication app(*argc, *argv);
    // The decoders' complaints about broken input are expected, and slow.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    checkOpen(bytes);
    checkClipboard(bytes);
    checkConversion(data, size);
    return 0;
}
