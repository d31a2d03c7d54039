// The pixel operations: what they do to an image's buffer and metadata,
// the choice of kernel target, and the literal definitions they must match.
// How rows are read and written per format is in kernels/rowdriver.cpp, the
// threads in parallelrows.cpp, the row kernels in kernels/rowkernels-inl.h.
#include "imageoperations.h"

#include "exact.h"
#include "rowdriver.h"
#include "rowkernels.h"

#include <QColor>
#include <QColorSpace>

#include <algorithm>

namespace Lumivex {

namespace {

// Slider positions outside the range are taken as the nearest end, by the
// reference and the fast paths alike.
Adjustment bounded(const Adjustment &a)
{
    return {std::clamp(a.brightness, -AdjustmentLimit, AdjustmentLimit),
            std::clamp(a.contrast, -AdjustmentLimit, AdjustmentLimit),
            std::clamp(a.saturation, -AdjustmentLimit, AdjustmentLimit)};
}

bool isPaletteFormat(QImage::Format format)
{
    return format == QImage::Format_Mono || format == QImage::Format_MonoLSB
           || format == QImage::Format_Indexed8;
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

// Runs a filter over image in place. A shared image gets a buffer of its own
// first; rather than copying the pixels into it and filtering the copy, the
// filter then reads the shared pixels and writes the new buffer.
bool filterInPlace(QImage &image, const RowKernels::TargetKernels &kernels,
                   RowKernels::FilterRowFunction filter, RowKernels::FilterRowFunction filterRgba,
                   const RowDriver::ReferenceOperation &reference)
{
    if (image.isNull())
        return false;
    if (isPaletteFormat(image.format()))
        image = toEditableFormat(image);
    RowDriver::RowOperation operation;
    operation.filter = filter;
    operation.filterRgba = filterRgba;
    operation.kernels = &kernels;

    if (!image.isDetached()) {
        QImage result(image.size(), image.format());
        if (result.isNull())
            return false;
        copyMetadata(image, result);
        RowDriver::runRows(image, result.bits(), result.bytesPerLine(), operation, reference);
        image = std::move(result);
        return true;
    }
    uchar *bits = image.bits(); // may still copy a buffer the image does not own
    if (!bits)
        return false;
    RowDriver::runRows(image, bits, image.bytesPerLine(), operation, reference);
    return true;
}
} // namespace

// ---------------------------------------------------------------------------

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

double contrastFactor(int contrast)
{
    return ((contrast + 255.0) * 259.0) / ((259.0 - contrast) * 255.0);
}

double saturationFactor(int saturation)
{
    return saturation / 100.0 + 1.0;
}

QList<KernelTarget> supportedKernelTargets()
{
    size_t count = 0;
    const RowKernels::TargetKernels *targets = RowKernels::supportedTargets(&count);
    QList<KernelTarget> list;
    for (size_t i = 0; i < count; ++i)
        list.append(targets[i].target);
    return list;
}

QString kernelTargetName(KernelTarget target)
{
    return QString::fromLatin1(RowKernels::targetName(target));
}

void setKernelTargetLimit(KernelTarget limit)
{
    RowKernels::setTargetLimit(limit);
}

KernelTarget activeKernelTarget()
{
    return RowKernels::activeTargetKernels().target;
}

QImage toEditableFormat(const QImage &image)
{
    if (!isPaletteFormat(image.format()))
        return image;
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
}

bool adjustImage(const QImage &srcImage, QImage &dst, const Adjustment &adjustment,
                 const std::function<void(int, int)> &written)
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
    const RowKernels::PreparedAdjustment prepared =
            RowKernels::prepareAdjustment(contrastFactor(a.contrast),
                                          saturationFactor(a.saturation), a.brightness);
    const RowKernels::TargetKernels &kernels = RowKernels::activeTargetKernels();
    RowDriver::RowOperation operation;
    operation.adjust = kernels.adjust;
    operation.adjustRgba = kernels.adjustRgba;
    operation.kernels = &kernels;
    operation.prepared = &prepared;
    operation.written = written;
    RowDriver::runRows(src, bits, dst.bytesPerLine(), operation, [&](const QImage &image) {
        QImage result;
        Reference::adjustImage(image, result, a);
        return result;
    });
    return true;
}

bool grayscaleImage(QImage &image)
{
    const RowKernels::TargetKernels &kernels = RowKernels::activeTargetKernels();
    return filterInPlace(image, kernels, kernels.grayscale, kernels.grayscaleRgba,
                         [](const QImage &values) {
                             QImage result = values;
                             Reference::grayscaleImage(result);
                             return result;
                         });
}

bool invertImage(QImage &image)
{
    const RowKernels::TargetKernels &kernels = RowKernels::activeTargetKernels();
    return filterInPlace(image, kernels, kernels.invert, kernels.invert, [](const QImage &values) {
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
            const int r1 = Exact::contrasted(c.red(), f, a.brightness);
            const int g1 = Exact::contrasted(c.green(), f, a.brightness);
            const int b1 = Exact::contrasted(c.blue(), f, a.brightness);
            const double l = Exact::luma(r1, g1, b1);
            dst.setPixelColor(x, y,
                              QColor(Exact::saturated(r1, l, k), Exact::saturated(g1, l, k),
                                     Exact::saturated(b1, l, k)));
        }
    }
}

void grayscaleImage(QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int gray = int(Exact::luma(c.red(), c.green(), c.blue()));
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
