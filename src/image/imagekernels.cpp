// How the pixel operations are run: the pixel format picks a row path
// (straight on the scanlines, through a row of 0xAARRGGBB words, through a
// table of all values, or through pixelColor/setPixelColor), the CPU picks
// the row kernels, and large images are shared out to the global thread
// pool in bands of rows. All choices are made once per call.
#include "imagekernels.h"

#include "adjustrow.h"
#include "pixelrows.h"

#include <QColor>
#include <QColorSpace>
#include <QRunnable>
#include <QSemaphore>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace Lumivex {

namespace {

// Slider positions outside -100..100 are taken as the nearest end, by the
// reference and the fast paths alike.
Adjustment bounded(const Adjustment &a)
{
    return {std::clamp(a.brightness, -100, 100), std::clamp(a.contrast, -100, 100),
            std::clamp(a.saturation, -100, 100)};
}

// The contrast step followed by the brightness step, for one channel.
int contrastedChannel(int channel, double f, int brightness)
{
    int t = int(double(channel - 128) * f + 128.0);
    t += brightness;
    return std::clamp(t, 0, 255);
}

// The saturation step, for one channel, around the luma l.
int saturatedChannel(int channel, double l, double k)
{
    const double u = (double(channel) - l) * k + l;
    return std::clamp(int(u), 0, 255);
}

bool isPaletteFormat(QImage::Format format)
{
    return format == QImage::Format_Mono || format == QImage::Format_MonoLSB
           || format == QImage::Format_Indexed8;
}

// ---------------------------------------------------------------------------
// Kernel selection

std::atomic<int> kernelLevelLimit{int(KernelLevel::Avx512)};

KernelLevel detectKernelLevel()
{
#if defined(LUMIVEX_X86_DISPATCH)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
        && __builtin_cpu_supports("avx512vl"))
        return KernelLevel::Avx512;
    if (__builtin_cpu_supports("avx2"))
        return KernelLevel::Avx2;
#endif
    return KernelLevel::Scalar;
}

using AdjustRowFunction = void (*)(const uint32_t *, uint32_t *, size_t,
                                   const Rows::AdjustParams &);
using FilterRowFunction = void (*)(const uint32_t *, uint32_t *, size_t);

struct RowKernels
{
    AdjustRowFunction adjust;
    FilterRowFunction grayscale;
    FilterRowFunction invert;
};

RowKernels rowKernels()
{
    switch (activeKernelLevel()) {
#if defined(LUMIVEX_X86_DISPATCH)
    case KernelLevel::Avx512:
        return {Rows::adjustRowAvx512, Rows::grayscaleRowAvx512, Rows::invertRowAvx512};
    case KernelLevel::Avx2:
        return {Rows::adjustRowAvx2, Rows::grayscaleRowAvx2, Rows::invertRowAvx2};
#endif
    default:
        return {Rows::adjustRowScalar, Rows::grayscaleRowScalar, Rows::invertRowScalar};
    }
}

// One row operation on words: an adjustment with its prepared parameters, or
// one of the filters.
struct RowOperation
{
    AdjustRowFunction adjust = nullptr;
    const Rows::AdjustParams *params = nullptr;
    FilterRowFunction filter = nullptr;

    void operator()(const uint32_t *in, uint32_t *out, int count) const
    {
        if (adjust)
            adjust(in, out, size_t(count), *params);
        else
            filter(in, out, size_t(count));
    }
};

// ---------------------------------------------------------------------------
// Rows shared across cores

// Below this many pixels an image is done on the calling thread alone.
constexpr qint64 ParallelPixelThreshold = 65536;

class BandWorker : public QRunnable
{
public:
    explicit BandWorker(const std::function<void()> &work, QSemaphore &done)
        : m_work(work), m_done(done)
    {
        setAutoDelete(false);
    }

    void run() override
    {
        m_work();
        m_done.release();
    }

private:
    const std::function<void()> &m_work;
    QSemaphore &m_done;
};

// Calls band(y0, y1) over [0, height) in bands of rows, on the calling
// thread and on the global thread pool, and returns when all are done. The
// bands are handed out one at a time, so a helper that starts late (or never,
// when the pool is busy) only does less of the work.
void forEachBand(int height, qint64 pixels, const std::function<void(int, int)> &band)
{
    QThreadPool *pool = QThreadPool::globalInstance();
    const int threads = pool->maxThreadCount();
    if (pixels < ParallelPixelThreshold || threads < 2 || height < 2) {
        band(0, height);
        return;
    }

    const int bandCount = std::min(height, threads * 8);
    const int rowsPerBand = (height + bandCount - 1) / bandCount;
    std::atomic<int> next{0};
    const std::function<void()> work = [&] {
        for (;;) {
            const int y0 = next.fetch_add(1) * rowsPerBand;
            if (y0 >= height)
                return;
            band(y0, std::min(height, y0 + rowsPerBand));
        }
    };

    QSemaphore done;
    std::vector<std::unique_ptr<BandWorker>> helpers;
    for (int i = 1; i < threads; ++i) {
        helpers.push_back(std::make_unique<BandWorker>(work, done));
        pool->start(helpers.back().get());
    }
    work();
    int running = 0;
    for (const auto &helper : helpers) {
        if (!pool->tryTake(helper.get()))
            ++running;
    }
    done.acquire(running);
}

// ---------------------------------------------------------------------------
// Row paths

enum class RowPath {
    Words,              // RGB32, ARGB32: the kernels run on the scanlines
    PremultipliedWords, // ARGB32_Premultiplied: unpremultiplied in place first
    Converted,          // through a row of words, with the format's adapters
    ByteTable,          // Grayscale8: a table of all 256 values
    WordTable,          // Grayscale16: a table of all 65536 values
    Generic             // pixelColor / setPixelColor
};

using FetchRow = void (*)(const uchar *, quint32 *, int);
using StoreRow = void (*)(const quint32 *, uchar *, int);

// How the rows of one image are read and written.
struct RowPlan
{
    RowPath path = RowPath::Generic;
    FetchRow fetch = nullptr; // Converted only
    StoreRow store = nullptr; // Converted only
    bool unpremultiplies = false;
};

RowPlan rowPlanFor(const QImage &image)
{
    using namespace PixelRows;
    const auto converted = [](FetchRow fetch, StoreRow store, bool unpremultiplies = false) {
        return RowPlan{RowPath::Converted, fetch, store, unpremultiplies};
    };
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        return {RowPath::Words};
    case QImage::Format_ARGB32_Premultiplied:
        return {RowPath::PremultipliedWords, nullptr, nullptr, true};
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
        return converted(fetchRgba8888, storeRgba8888);
    case QImage::Format_RGBA8888_Premultiplied:
        return converted(fetchRgba8888Premultiplied, storeRgba8888, true);
    case QImage::Format_RGB888:
        return converted(fetchRgb888, storeRgb888);
    case QImage::Format_BGR888:
        return converted(fetchBgr888, storeBgr888);
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
        return converted(fetchRgba64, storeRgba64);
    case QImage::Format_RGBA64_Premultiplied:
        return converted(fetchRgba64Premultiplied, storeRgba64);
    case QImage::Format_Grayscale8:
        return {RowPath::ByteTable};
    case QImage::Format_Grayscale16:
        // Filling the table costs as much as doing 65536 pixels one by one.
        return {qint64(image.width()) * image.height() > 65536 ? RowPath::WordTable
                                                               : RowPath::Generic};
    default:
        return {RowPath::Generic};
    }
}

// The result for every value of a one-channel format, found by running the
// literal per-pixel code (reference) over an image holding each value once.
// The result of a pixel depends on its own value only, so this is exact.
template<typename Channel>
std::vector<Channel> valueTable(const QImage &like,
                                const std::function<QImage(const QImage &)> &reference)
{
    constexpr int values = 1 << (8 * sizeof(Channel));
    constexpr int width = 256;
    QImage all(width, values / width, like.format());
    all.setColorSpace(like.colorSpace());
    for (int y = 0; y < all.height(); ++y) {
        auto *line = reinterpret_cast<Channel *>(all.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = Channel(y * width + x);
    }
    const QImage result = reference(all);
    std::vector<Channel> table(values);
    for (int y = 0; y < result.height(); ++y)
        std::memcpy(table.data() + y * width, result.constScanLine(y), width * sizeof(Channel));
    return table;
}

// Runs operation over every pixel of src, writing to the scanlines at dstBits
// (an image of src's size and format, which may be src itself). reference
// applies the same operation literally; it fills the tables.
void runRows(const QImage &src, uchar *dstBits, qsizetype dstBytesPerLine,
             const RowOperation &operation, const std::function<QImage(const QImage &)> &reference)
{
    const RowPlan plan = rowPlanFor(src);
    const RowPath path = plan.path;
    const int width = src.width();
    const uchar *srcBits = src.constBits();
    const qsizetype srcBytesPerLine = src.bytesPerLine();
    const qsizetype pixelBytes = (qsizetype(width) * src.depth() + 7) / 8;

    if (plan.unpremultiplies)
        PixelRows::prepareUnpremultiply();
    std::vector<quint8> table8;
    std::vector<quint16> table16;
    if (path == RowPath::ByteTable)
        table8 = valueTable<quint8>(src, reference);
    else if (path == RowPath::WordTable)
        table16 = valueTable<quint16>(src, reference);

    forEachBand(src.height(), qint64(width) * src.height(), [&](int y0, int y1) {
        std::unique_ptr<uint32_t[]> temp;
        if (path != RowPath::Words && path != RowPath::PremultipliedWords)
            temp.reset(new uint32_t[size_t(width)]);
        QImage generic;
        if (path == RowPath::Generic) {
            generic = QImage(width, 1, src.format());
            generic.setColorSpace(src.colorSpace());
        }

        for (int y = y0; y < y1; ++y) {
            const uchar *s = srcBits + y * srcBytesPerLine;
            uchar *d = dstBits + y * dstBytesPerLine;
            auto *dWords = reinterpret_cast<uint32_t *>(d);
            switch (path) {
            case RowPath::Words:
                operation(reinterpret_cast<const uint32_t *>(s), dWords, width);
                break;
            case RowPath::PremultipliedWords:
                PixelRows::fetchArgb32Premultiplied(reinterpret_cast<const quint32 *>(s),
                                                    reinterpret_cast<quint32 *>(d), width);
                operation(dWords, dWords, width);
                break;
            case RowPath::Converted:
                plan.fetch(s, temp.get(), width);
                operation(temp.get(), temp.get(), width);
                plan.store(temp.get(), d, width);
                break;
            case RowPath::ByteTable:
                for (int x = 0; x < width; ++x)
                    d[x] = table8[s[x]];
                break;
            case RowPath::WordTable:
                for (int x = 0; x < width; ++x) {
                    quint16 v;
                    std::memcpy(&v, s + 2 * qsizetype(x), 2);
                    std::memcpy(d + 2 * qsizetype(x), &table16[v], 2);
                }
                break;
            case RowPath::Generic: {
                // Reads through the const pixelColor (safe from several
                // threads); writes through setPixelColor on this band's own
                // one-row image, whose bytes are then copied to the scanline.
                for (int x = 0; x < width; ++x) {
                    const QColor c = src.pixelColor(x, y);
                    temp[x] = qRgb(c.red(), c.green(), c.blue());
                }
                operation(temp.get(), temp.get(), width);
                for (int x = 0; x < width; ++x) {
                    const uint32_t p = temp[x];
                    generic.setPixelColor(x, 0, QColor(qRed(p), qGreen(p), qBlue(p)));
                }
                std::memcpy(d, generic.constScanLine(0), size_t(pixelBytes));
                break;
            }
            }
        }
    });
}

// Everything but the pixels, as a shared copy of src would carry it.
void copyMetadata(const QImage &src, QImage &dst)
{
    dst.setDotsPerMeterX(src.dotsPerMeterX());
    dst.setDotsPerMeterY(src.dotsPerMeterY());
    dst.setOffset(src.offset());
    dst.setDevicePixelRatio(src.devicePixelRatio());
    if (dst.colorSpace() != src.colorSpace())
        dst.setColorSpace(src.colorSpace());
    const QStringList keys = src.textKeys();
    for (const QString &key : keys)
        dst.setText(key, src.text(key));
}

// Whether dst's pixel buffer can take the adjustment of src as it is: text
// keys cannot be taken off an image, so dst must not have any src lacks.
bool canReuse(const QImage &src, const QImage &dst)
{
    if (!dst.isDetached() || dst.size() != src.size() || dst.format() != src.format())
        return false;
    const QStringList srcKeys = src.textKeys();
    const QStringList dstKeys = dst.textKeys();
    return std::all_of(dstKeys.begin(), dstKeys.end(),
                       [&](const QString &key) { return srcKeys.contains(key); });
}

Rows::AdjustParams adjustParams(const Adjustment &a)
{
    Rows::AdjustParams params{};
    params.contrast = contrastFactor(a.contrast);
    params.saturation = saturationFactor(a.saturation);
    params.brightness = a.brightness;
    for (int v = 0; v < 256; ++v)
        params.contrasted[v] = uint8_t(contrastedChannel(v, params.contrast, a.brightness));
    return params;
}

// Runs a filter over image in place. A shared image gets a buffer of its own
// first; rather than copying the pixels into it and filtering the copy, the
// filter then reads the shared pixels and writes the new buffer.
bool filterInPlace(QImage &image, FilterRowFunction filter,
                   const std::function<QImage(const QImage &)> &reference)
{
    if (image.isNull())
        return false;
    if (isPaletteFormat(image.format()))
        image = toEditableFormat(image);
    RowOperation operation;
    operation.filter = filter;

    if (!image.isDetached()) {
        QImage result(image.size(), image.format());
        if (result.isNull())
            return false;
        copyMetadata(image, result);
        runRows(image, result.bits(), result.bytesPerLine(), operation, reference);
        image = std::move(result);
        return true;
    }
    uchar *bits = image.bits(); // may still copy a buffer the image does not own
    if (!bits)
        return false;
    runRows(image, bits, image.bytesPerLine(), operation, reference);
    return true;
}

} // namespace

// ---------------------------------------------------------------------------

double contrastFactor(int contrast)
{
    return ((contrast + 255.0) * 259.0) / ((259.0 - contrast) * 255.0);
}

double saturationFactor(int saturation)
{
    return saturation / 100.0 + 1.0;
}

KernelLevel supportedKernelLevel()
{
    static const KernelLevel level = detectKernelLevel();
    return level;
}

void setKernelLevelLimit(KernelLevel limit)
{
    kernelLevelLimit.store(int(limit));
}

KernelLevel activeKernelLevel()
{
    return KernelLevel(std::min(int(supportedKernelLevel()), kernelLevelLimit.load()));
}

QImage toEditableFormat(const QImage &image)
{
    if (!isPaletteFormat(image.format()))
        return image;
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
}

bool adjustImage(const QImage &srcImage, QImage &dst, const Adjustment &adjustment)
{
    if (srcImage.isNull())
        return false;
    // A shared copy, which also keeps the pixels alive when dst is srcImage.
    const QImage src = toEditableFormat(srcImage);
    if (src.isNull())
        return false;

    if (!canReuse(src, dst)) {
        QImage fresh(src.size(), src.format());
        if (fresh.isNull())
            return false;
        dst = std::move(fresh);
    }
    copyMetadata(src, dst);
    uchar *bits = dst.bits();
    if (!bits)
        return false;

    const Adjustment a = bounded(adjustment);
    const Rows::AdjustParams params = adjustParams(a);
    RowOperation operation;
    operation.adjust = rowKernels().adjust;
    operation.params = &params;
    runRows(src, bits, dst.bytesPerLine(), operation, [&](const QImage &image) {
        QImage result;
        Reference::adjustImage(image, result, a);
        return result;
    });
    return true;
}

bool grayscaleImage(QImage &image)
{
    return filterInPlace(image, rowKernels().grayscale, [](const QImage &values) {
        QImage result = values;
        Reference::grayscaleImage(result);
        return result;
    });
}

bool invertImage(QImage &image)
{
    return filterInPlace(image, rowKernels().invert, [](const QImage &values) {
        QImage result = values;
        Reference::invertImage(result);
        return result;
    });
}

// ---------------------------------------------------------------------------
// The literal definitions

namespace Reference {

void adjustImage(const QImage &src, QImage &dst, const Adjustment &adjustment)
{
    const Adjustment a = bounded(adjustment);
    const double f = contrastFactor(a.contrast);
    const double k = saturationFactor(a.saturation);
    const QImage source = src;
    dst = source;
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            const QColor c = source.pixelColor(x, y);
            const int r1 = contrastedChannel(c.red(), f, a.brightness);
            const int g1 = contrastedChannel(c.green(), f, a.brightness);
            const int b1 = contrastedChannel(c.blue(), f, a.brightness);
            const double l = (0.299 * r1 + 0.587 * g1) + 0.114 * b1;
            dst.setPixelColor(x, y,
                              QColor(saturatedChannel(r1, l, k), saturatedChannel(g1, l, k),
                                     saturatedChannel(b1, l, k)));
        }
    }
}

void grayscaleImage(QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int gray = int((0.299 * c.red() + 0.587 * c.green()) + 0.114 * c.blue());
            image.setPixelColor(x, y, QColor(gray, gray, gray));
        }
    }
}

void invertImage(QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            image.setPixelColor(x, y, QColor(255 - c.red(), 255 - c.green(), 255 - c.blue()));
        }
    }
}

} // namespace Reference

} // namespace Lumivex
