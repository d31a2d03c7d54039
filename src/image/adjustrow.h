// Row kernels of the colour adjustments and filters.
//
// A row is an array of 32-bit words 0xAARRGGBB; the kernels ignore the
// alpha byte of what they read and write opaque words 0xFFRRGGBB. Input and
// output may be the same array (in place), but must not overlap otherwise.
//
// The same kernels exist three times: plain C++ (adjustrow_scalar.cpp), AVX2
// (adjustrow_avx2.cpp) and AVX-512 (adjustrow_avx512.cpp); all three give
// identical results. The vector files are compiled with instruction-set
// flags of their own, so this header, which they include, must stay free of
// Qt and of standard-library code with inline functions or templates:
// anything inline compiled into those files could be picked by the linker
// for the whole program and then run on a CPU without those instructions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Lumivex {
namespace Rows {

// Everything an adjustment row needs, worked out once per image.
struct AdjustParams
{
    double contrast;    // F, see contrastFactor()
    double saturation;  // K, see saturationFactor()
    int32_t brightness; // added after the contrast step
    int32_t reserved;
    // contrasted[v]: channel value v after the contrast and brightness steps,
    // clamped to 0..255.
    uint8_t contrasted[256];
};

// Brightness, contrast and saturation, as described in imagekernels.h.
void adjustRowScalar(const uint32_t *in, uint32_t *out, size_t count, const AdjustParams &params);
void adjustRowAvx2(const uint32_t *in, uint32_t *out, size_t count, const AdjustParams &params);
void adjustRowAvx512(const uint32_t *in, uint32_t *out, size_t count, const AdjustParams &params);

// Luma gray: int((0.299 r + 0.587 g) + 0.114 b) in all three channels.
void grayscaleRowScalar(const uint32_t *in, uint32_t *out, size_t count);
void grayscaleRowAvx2(const uint32_t *in, uint32_t *out, size_t count);
void grayscaleRowAvx512(const uint32_t *in, uint32_t *out, size_t count);

// 255 - value in each colour channel.
void invertRowScalar(const uint32_t *in, uint32_t *out, size_t count);
void invertRowAvx2(const uint32_t *in, uint32_t *out, size_t count);
void invertRowAvx512(const uint32_t *in, uint32_t *out, size_t count);

} // namespace Rows
} // namespace Lumivex
