// Pure pixel operations on whole images: no widgets, no editor state.
//
// Every function here produces, bit for bit, what reading each pixel with
// QImage::pixelColor and writing QColor(r, g, b) back with
// QImage::setPixelColor produces, visiting every pixel once. The fast paths
// (scanline access, vector code, rows shared across cores) are chosen per
// pixel format and per CPU outside the pixel loops.
#pragma once

#include <QImage>

namespace Lumivex {

// Slider positions, each in -100..100.
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
bool adjustImage(const QImage &src, QImage &dst, const Adjustment &adjustment);

// In-place colour filters; every pixel becomes opaque. A shared image is
// detached first, so copies taken before keep the old pixels. Return false,
// with image unchanged, when it is null or memory for it cannot be had.
bool grayscaleImage(QImage &image);
bool invertImage(QImage &image);

// Palette and 1-bit images cannot be written pixel by pixel in their own
// format: returns image converted to ARGB32 (when it has an alpha channel) or
// RGB32. Any other image is returned unchanged, sharing its data.
QImage toEditableFormat(const QImage &image);

// Instruction sets the pixel loops can run with. The editor always uses the
// best one the CPU offers; the limit exists for tests and benchmarks, to run
// and time every level on one machine.
enum class KernelLevel { Scalar = 0, Avx2 = 1, Avx512 = 2 };

// The best level this build and CPU support.
KernelLevel supportedKernelLevel();
// Caps the level used from now on (for tests and benchmarks only).
void setKernelLevelLimit(KernelLevel limit);
// The level in use: the supported one, capped by the limit.
KernelLevel activeKernelLevel();

// The literal per-pixel definitions, one QColor per pixel. They serve as the
// reference in tests and benchmarks and as the path for rare formats.
namespace Reference {
void adjustImage(const QImage &src, QImage &dst, const Adjustment &adjustment);
void grayscaleImage(QImage &image);
void invertImage(QImage &image);
} // namespace Reference

} // namespace Lumivex
