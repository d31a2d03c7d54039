// Pure pixel operations on whole images: no widgets, no editor state.
//
// Every function here produces, bit for bit, what reading each pixel with
// QImage::pixelColor and writing QColor(r, g, b) back with
// QImage::setPixelColor produces, visiting every pixel once. The fast paths
// (scanline access, vector code, rows shared across cores) are chosen per
// pixel format and per CPU outside the pixel loops, once per call.
#pragma once

#include <QImage>

#include <functional>

namespace Lumivex {

// The end of each slider's range: positions run from -AdjustmentLimit to
// AdjustmentLimit.
inline constexpr int AdjustmentLimit = 100;

// Slider positions, each in -AdjustmentLimit..AdjustmentLimit.
struct Adjustment
{
    int brightness = 0;
    int contrast = 0;
    int saturation = 0;
};

// Contrast factor F and saturation factor K for the given slider positions.
double contrastFactor(int contrast);
double saturationFactor(int saturation);

// Writes src with the adjustment applied into dst. dst ends with src's size,
// pixel format and metadata; its pixel buffer is reused when it already has
// that size and format and shares its data with no other image. Every pixel
// written is opaque. Returns false (dst untouched) when src is null or memory
// for the result cannot be had.
// written, if set, is called on the thread that wrote them as rows of dst are
// finished: rows [runBegin, end) are written, runBegin being the first row
// that thread was given, every few rows, so that what it reads of them is
// still in the cache (the view reduces the result this way as it is made).
bool adjustImage(const QImage &src, QImage &dst, const Adjustment &adjustment,
                 const std::function<void(int runBegin, int end)> &written = {});

// In-place colour filters; every pixel becomes opaque. A shared image is
// detached first, so copies taken before keep the old pixels. Return false,
// with image unchanged, when it is null or memory for it cannot be had.
bool grayscaleImage(QImage &image);
bool invertImage(QImage &image);

// Gives dst everything of src but the pixels, as a shared copy of src would
// carry it: resolution, offset, device pixel ratio, colour space and text.
void copyMetadata(const QImage &src, QImage &dst);

// Palette and 1-bit images cannot be written pixel by pixel in their own
// format: returns image converted to ARGB32 (when it has an alpha channel) or
// RGB32. Any other image is returned unchanged, sharing its data.
QImage toEditableFormat(const QImage &image);

// Instruction-set targets of the pixel loops, as Highway numbers them: one
// bit each (HWY_AVX2, HWY_NEON, ...), a lower bit for a better target. The
// editor always uses the best one the CPU offers; the limit exists for tests
// and benchmarks, to run and time every target on one machine.
using KernelTarget = qint64;

// The targets this build has and this CPU runs, best first; the last is the
// portable fallback.
QList<KernelTarget> supportedKernelTargets();
// Highway's name of a target: "AVX3_DL", "AVX3", "AVX2", "SSE4", "NEON",
// "SVE", "EMU128", "SCALAR"...
QString kernelTargetName(KernelTarget target);
// Caps the target used from now on (for tests and benchmarks only): the best
// supported one that is no better than limit, or the fallback when none is.
// A supported target as limit selects exactly that target; 0 lifts the cap.
void setKernelTargetLimit(KernelTarget limit);
// The target in use: the best supported one, capped by the limit.
KernelTarget activeKernelTarget();

// The literal per-pixel definitions, one QColor per pixel. They serve as the
// reference in tests and benchmarks and as the path for rare formats.
namespace Reference {
void adjustImage(const QImage &src, QImage &dst, const Adjustment &adjustment);
void grayscaleImage(QImage &image);
void invertImage(QImage &image);
} // namespace Reference

} // namespace Lumivex
