#include "imagemetadata.h"

#include <exiv2/exiv2.hpp>
#include <exiv2/webpimage.hpp> // not among those exiv2.hpp brings

#include <algorithm>
#include <iterator>
#include <mutex>
#include <string>

namespace Lumivex {

namespace {

// exiv2 set up once for the process, whichever thread comes first: its log
// muted (a damaged file is an answer here, not news), and the XMP toolkit
// initialised, which is not thread-safe itself, with a lock for the namespace
// registrations that may come later from any thread.
void initializeExiv2()
{
    [[maybe_unused]] static const bool initialized = [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        static std::mutex xmpLock;
        return Exiv2::XmpParser::initialize(
                [](void *lock, bool locking) {
                    auto *mutex = static_cast<std::mutex *>(lock);
                    locking ? mutex->lock() : mutex->unlock();
                },
                &xmpLock);
    }();
}

// The exiv2 image type of the formats whose metadata goes through here, by
// the image writer's names.
int imageType(const QByteArray &format)
{
    if (format == "jpeg" || format == "jpg")
        return Exiv2::ImageType::jpeg;
    if (format == "png")
        return Exiv2::ImageType::png;
    if (format == "tiff" || format == "tif")
        return Exiv2::ImageType::tiff;
    if (format == "webp")
        return Exiv2::ImageType::webp;
    return Exiv2::ImageType::none;
}

bool isFileFormat(int type)
{
    return type == Exiv2::ImageType::jpeg || type == Exiv2::ImageType::png
           || type == Exiv2::ImageType::tiff || type == Exiv2::ImageType::webp;
}

const Exiv2::byte *bytesOf(const QByteArray &bytes)
{
    return reinterpret_cast<const Exiv2::byte *>(bytes.constData());
}

// The IFD0 tags that say how a TIFF structure stores its pixels (layout,
// sampling, compression, strips, tiles, colour table, the JPEG stream of old
// TIFF and of thumbnails), the ICC profile, the containers of XMP, IPTC and
// Photoshop resources (exiv2 writes XMP and IPTC from their own data), and
// the pointers to sub-IFDs and to the EXIF and GPS IFDs, which exiv2 writes
// itself where they are needed.
constexpr uint16_t SourceFileTags[] = {
        0x00fe, 0x00ff, 0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x0107, 0x0108, 0x0109, 0x010a,
        0x0111, 0x0115, 0x0116, 0x0117, 0x0118, 0x0119, 0x011c, 0x0122, 0x0123, 0x0124, 0x0125,
        0x013d, 0x0140, 0x0142, 0x0143, 0x0144, 0x0145, 0x014a, 0x014c, 0x0152, 0x0153, 0x0154,
        0x0155, 0x015b, 0x0200, 0x0201, 0x0202, 0x0203, 0x0205, 0x0206, 0x0207, 0x0208, 0x0209,
        0x0211, 0x0212, 0x0213, 0x0214, 0x02bc, 0x83bb, 0x8649, 0x8769, 0x8773, 0x8825,
};

// Whether datum belongs to the photo rather than to the file it came in.
// Kept: IFD0 but for the tags above, the EXIF IFD but for its pointer to
// the interoperability IFD, the GPS and interoperability IFDs, and the maker
// note but for its preview pictures. Dropped with the rest: the thumbnail
// (IFD1), further pages and sub-images, multi-picture indexes.
bool isPortable(const Exiv2::Exifdatum &datum)
{
    const std::string group = datum.groupName();
    if (group == "Image")
        return std::find(std::begin(SourceFileTags), std::end(SourceFileTags), datum.tag())
               == std::end(SourceFileTags);
    if (group == "Photo")
        return datum.tag() != 0xa005;
    if (group == "GPSInfo" || group == "Iop")
        return true;
    const std::string preview = "Preview";
    return Exiv2::ExifTags::isMakerGroup(group)
           && (group.size() < preview.size()
               || group.compare(group.size() - preview.size(), preview.size(), preview) != 0);
}

// The XMP properties that mirror the source file's structure or its EXIF:
// the TIFF layout, the thumbnails, and the digests by which a reader would
// judge the EXIF in step with the XMP.
bool isPortable(const Exiv2::Xmpdatum &datum)
{
    static const std::string dropped[] = {
            "Xmp.tiff.ImageWidth",          "Xmp.tiff.ImageLength",
            "Xmp.tiff.BitsPerSample",       "Xmp.tiff.Compression",
            "Xmp.tiff.SamplesPerPixel",     "Xmp.tiff.PhotometricInterpretation",
            "Xmp.tiff.PlanarConfiguration", "Xmp.tiff.YCbCrSubSampling",
            "Xmp.tiff.YCbCrPositioning",    "Xmp.tiff.NativeDigest",
            "Xmp.exif.NativeDigest",
    };
    const std::string key = datum.key();
    return key.rfind("Xmp.xmp.Thumbnails", 0) != 0
           && std::find(std::begin(dropped), std::end(dropped), key) == std::end(dropped);
}

template<typename Data>
void keepPortable(Data &data)
{
    for (auto it = data.begin(); it != data.end();)
        it = isPortable(*it) ? std::next(it) : data.erase(it);
}

// The EXIF that blob holds; throws if exiv2 cannot parse it.
Exiv2::ExifData decodedExif(const QByteArray &blob, Exiv2::ByteOrder *order = nullptr)
{
    Exiv2::ExifData exif;
    const Exiv2::ByteOrder found =
            Exiv2::ExifParser::decode(exif, bytesOf(blob), uint32_t(blob.size()));
    if (order)
        *order = found;
    return exif;
}

} // namespace

ImageMetadata readMetadata(const QByteArray &fileBytes)
{
    if (fileBytes.isEmpty())
        return {};
    initializeExiv2();
    try {
        const auto image = Exiv2::ImageFactory::open(bytesOf(fileBytes), long(fileBytes.size()));
        if (!image.get() || !isFileFormat(image->imageType()))
            return {};
        image->readMetadata();
        ImageMetadata metadata;
        Exiv2::ExifData exif = image->exifData();
        keepPortable(exif);
        if (!exif.empty()) {
            Exiv2::Blob blob;
            const Exiv2::ByteOrder order = image->byteOrder();
            Exiv2::ExifParser::encode(blob, order == Exiv2::bigEndian ? order : Exiv2::littleEndian,
                                      exif);
            metadata.exif =
                    QByteArray(reinterpret_cast<const char *>(blob.data()), qsizetype(blob.size()));
        }
        Exiv2::XmpData xmp = image->xmpData();
        keepPortable(xmp);
        std::string packet;
        if (!xmp.empty()
            && Exiv2::XmpParser::encode(packet, xmp,
                                        Exiv2::XmpParser::omitPacketWrapper
                                                | Exiv2::XmpParser::useCompactFormat)
                       == 0)
            metadata.xmp = QByteArray::fromStdString(packet);
        if (!image->iptcData().empty()) {
            const Exiv2::DataBuf iptc = Exiv2::IptcParser::encode(image->iptcData());
            metadata.iptc = QByteArray(reinterpret_cast<const char *>(iptc.pData_), iptc.size_);
        }
        return metadata;
    } catch (...) {
        return {};
    }
}

int exifOrientation(const ImageMetadata &metadata)
{
    if (metadata.exif.isEmpty())
        return 0;
    initializeExiv2();
    try {
        const Exiv2::ExifData exif = decodedExif(metadata.exif);
        const auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (orientation == exif.end() || orientation->count() == 0)
            return 0;
        const long value = orientation->toLong();
        return value >= 1 && value <= 8 ? int(value) : 0;
    } catch (...) {
        return 0;
    }
}

QByteArray withMetadata(const QByteArray &encoded, const QByteArray &format,
                        const ImageMetadata &metadata, QSize pixelSize)
{
    const int type = imageType(format);
    if (metadata.isEmpty() || type == Exiv2::ImageType::none || encoded.isEmpty())
        return encoded;
    initializeExiv2();
    try {
        const auto image = Exiv2::ImageFactory::open(bytesOf(encoded), long(encoded.size()));
        if (!image.get() || image->imageType() != type)
            return encoded;
        // What the encoder wrote stays: a TIFF file's own tags, the ICC
        // profile of any format.
        image->readMetadata();

        if (!metadata.exif.isEmpty()) {
            Exiv2::ByteOrder order = Exiv2::invalidByteOrder;
            Exiv2::ExifData source = decodedExif(metadata.exif, &order);
            keepPortable(source);
            Exiv2::ExifData exif = image->exifData();
            for (const Exiv2::Exifdatum &datum : source) {
                if (exif.findKey(Exiv2::ExifKey(datum.key())) == exif.end())
                    exif.add(datum);
            }
            exif["Exif.Image.Orientation"] = uint16_t(1);
            exif["Exif.Photo.PixelXDimension"] = uint32_t(pixelSize.width());
            exif["Exif.Photo.PixelYDimension"] = uint32_t(pixelSize.height());
            // The byte order of a TIFF file is its own; the others take the photo's.
            if (type != Exiv2::ImageType::tiff && order != Exiv2::invalidByteOrder)
                image->setByteOrder(order);
            image->setExifData(exif);
        }

        // A block that cannot be parsed is left out; the others are written.
        Exiv2::XmpData xmp;
        if (!metadata.xmp.isEmpty()
            && Exiv2::XmpParser::decode(xmp, metadata.xmp.toStdString()) == 0) {
            keepPortable(xmp);
            xmp["Xmp.tiff.Orientation"] = 1;
            xmp["Xmp.exif.PixelXDimension"] = pixelSize.width();
            xmp["Xmp.exif.PixelYDimension"] = pixelSize.height();
            image->setXmpData(xmp);
        }

        Exiv2::IptcData iptc;
        if (!metadata.iptc.isEmpty()
            && Exiv2::IptcParser::decode(iptc, bytesOf(metadata.iptc),
                                         uint32_t(metadata.iptc.size()))
                       == 0)
            image->setIptcData(iptc);

        image->writeMetadata();
        Exiv2::BasicIo &io = image->io();
        if (io.open() != 0)
            return encoded;
        const long size = long(io.size());
        const Exiv2::DataBuf written = io.read(size);
        if (size <= 0 || written.size_ != size)
            return encoded;
        return QByteArray(reinterpret_cast<const char *>(written.pData_), written.size_);
    } catch (...) {
        return encoded;
    }
}

} // namespace Lumivex
