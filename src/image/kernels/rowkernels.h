// Row kernels of the colour adjustments and filters, written once with
// Highway and compiled for every instruction-set target it offers on this
// architecture (x86: SSSE3, SSE4, AVX2, AVX3, AVX3_DL; Arm: NEON, SVE, SVE2;
// everywhere: a portable fallback); the caller picks a target per call.
//
// A row is an array of 32-bit words 0xAARRGGBB; the kernels ignore the alpha
// byte of what they read and write opaque words 0xFFRRGGBB. Input and output
// may be the same array (in place), but must not overlap otherwise. Every
// target gives, bit for bit, the literal double-precision result.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Lumivex {
struct ReductionSpan;
namespace RowKernels {

// An adjustment worked out once per image from the slider values: the
// factors and the tables the kernels use.
struct PreparedAdjustment
{
    double contrast;    // F, see contrastFactor()
    double saturation;  // K, see saturationFactor()
    int32_t brightness; // added after the contrast step
    // K as a float, see prepareAdjustment().
    float saturationF;
    // contrasted[v]: channel value v after the contrast and brightness steps,
    // clamped to 0..255.
    uint8_t contrasted[256];
    // The same as sums of 16-entry tables, for the targets that look bytes
    // up 16 at a time: for v = 16 h + l, contrasted[v] is
    // max(0, min(255, highAdd[h] + low[l] + carry + up) - highSub[h]), where
    // carry is 1 if lowRank[l] > highRank[h] and up is 1 if v < truncatedUp.
    // Where no such tables give every value (byNibbles false), those targets
    // take the double arithmetic pixel by pixel; within the slider range
    // they always exist (all 201 x 201 contrast and brightness values were
    // tried).
    struct Nibbles
    {
        uint8_t low[16];
        uint8_t lowRank[16];
        uint8_t highRank[16];
        uint8_t highAdd[16];
        uint8_t highSub[16];
        uint8_t truncatedUp;
    } nibbles;
    bool byNibbles;
    // neutral[v]: the finished opaque pixel of a channel triple (v, v, v)
    // after the contrast step, whose luma lands on an integer.
    int32_t neutral[256];
};

// A 16-bit channel x as the 8 bits QColor reports of it: x / 257 rounded,
// as QRgba64 has it.
constexpr uint32_t narrowedChannel(uint32_t x)
{
    return ((x + 128) - ((x + 128) >> 8)) >> 8;
}

// Fills every field from the factors F and K and the brightness of slider
// values within -100..100.
PreparedAdjustment prepareAdjustment(double contrast, double saturation, int brightness);

// A conversion of colours between two colour spaces made of a curve per
// channel and a matrix (see displayconversion.h): each channel through its
// decoding table to linear light, the matrix, then each through its
// encoding table, indexed by the linear value in 65535ths.
struct ColorTables
{
    float decode[3][256]; // red, green, blue
    float matrix[9];      // row by row: red, green, blue out
    const int32_t *encode[3];
    // Where the three channels share one decoding table: byte k of each of
    // its floats at decodeBytes[k][v] (AVX3_DL looks those up 64 at once).
    bool sharedDecode = false;
    uint8_t decodeBytes[4][256];
};

using AdjustRowFunction = void (*)(const uint32_t *in, uint32_t *out, size_t count,
                                   const PreparedAdjustment &prepared);
using FilterRowFunction = void (*)(const uint32_t *in, uint32_t *out, size_t count);
// Whether every one of count words has 0xFF in its alpha byte.
using OpaqueFunction = bool (*)(const uint32_t *row, size_t count);
// out[i] = table[in[i]] for count bytes (table: 256 entries).
using LookUpBytesFunction = void (*)(const uint8_t *in, uint8_t *out, size_t count,
                                     const uint8_t *table);
// Whether every one of count 8-byte pixels (16-bit R, G, B, A) has its
// alpha word all ones.
using OpaqueBytesFunction = bool (*)(const uint8_t *in, size_t count);
// Byte pixels to and from words 0xAARRGGBB (count pixels).
using FetchBytesFunction = void (*)(const uint8_t *in, uint32_t *out, size_t count);
using StoreBytesFunction = void (*)(const uint32_t *in, uint8_t *out, size_t count);
// The sum of weights[r] * rows[r][k] over the rowCount rows, plus SumBias,
// in 16 bits, for k < count, stored with each pair of pixels (8 bytes each)
// interleaved by channel: sum k at ((k & ~7) | (k & 3) << 1 | (k >> 2 & 1)),
// so that sum has room for count rounded up to a whole pair.
// With weights adding up to 256 the sum fits in 16 bits, and the biased
// one, read as signed, is the sum - 32768.
constexpr uint16_t SumBias = 0x8000;
using AccumulateFunction = void (*)(const uint8_t *const *rows, const uint16_t *weights,
                                    size_t rowCount, uint16_t *sum, size_t count);
// Converts count opaque words as the tables say, writing opaque words.
using ConvertColorsFunction = void (*)(const uint32_t *in, uint32_t *out, size_t count,
                                       const ColorTables &tables);
// For each of count grid pixels, the four channel sums of sums (origin: the
// picture column of sums[0]; paired and biased as accumulate leaves them)
// under its span, weighted, to bytes: (s + 32768) >> 16 of each. Every span
// has the same even length, starts at an even distance from origin, and has
// its weights adding up to 256; up to 8 bytes past the last span's weights
// are read.
using ReduceColumnsFunction = void (*)(const uint16_t *sums, int origin,
                                       const ReductionSpan *columns, size_t count,
                                       const uint16_t *weights, uint8_t *out);

// The kernels of one target:
//  - adjust: brightness, contrast and saturation, see imageoperations.h;
//  - grayscale: luma gray int((0.299 r + 0.587 g) + 0.114 b) in all three
//    channels;
//  - invert: 255 - value in each colour channel.
struct TargetKernels
{
    int64_t target = 0; // Highway's bit for the target (HWY_AVX2, ...)
    AdjustRowFunction adjust = nullptr;
    FilterRowFunction grayscale = nullptr;
    FilterRowFunction invert = nullptr;
    // Adjust and grayscale on words of rows of bytes R, G, B, A as they lie
    // (red in byte 0, alpha in byte 3), for RGBX8888 and RGBA8888 rows;
    // invert is the same on either order.
    AdjustRowFunction adjustRgba = nullptr;
    FilterRowFunction grayscaleRgba = nullptr;
    OpaqueFunction opaque = nullptr;
    // RGB888 (bytes R, G, B) and BGR888 (bytes B, G, R) rows, as the
    // scalar adapters in pixelrows.h do them.
    FetchBytesFunction fetchRgb888 = nullptr;
    StoreBytesFunction storeRgb888 = nullptr;
    FetchBytesFunction fetchBgr888 = nullptr;
    StoreBytesFunction storeBgr888 = nullptr;
    // The store of RGBA8888_Premultiplied rows (bytes R, G, B, A), 0xFF in
    // the alpha byte.
    StoreBytesFunction storeRgba8888 = nullptr;
    // RGBX64, RGBA64 and RGBA64_Premultiplied rows (16-bit R, G, B, A): the
    // fetch of the first two, each channel x / 257 rounded as QRgba64 does
    // it; the store, 257 v in each channel and 0xFFFF in the alpha one.
    FetchBytesFunction fetchRgba64 = nullptr;
    StoreBytesFunction storeRgba64 = nullptr;
    OpaqueBytesFunction opaqueRgba64 = nullptr;
    // Grayscale8 rows through their table of all values.
    LookUpBytesFunction lookUpBytes = nullptr;
    // The reduction's weighted sums of picture rows and of columns (see
    // reduction.cpp).
    AccumulateFunction accumulate = nullptr;
    ReduceColumnsFunction reduceColumns = nullptr;
    ConvertColorsFunction convertColors = nullptr;
};

// Targets compiled in and runnable on this CPU, best first (Highway gives
// better targets lower bits); never empty, the fallback comes last.
const TargetKernels *supportedTargets(size_t *count);
// Highway's name of a target: "AVX3_DL", "AVX2", "SSE4", "NEON", "SCALAR"...
const char *targetName(int64_t target);
// The kernels in use: the best supported target no better than the limit
// (0: none), which tests and benchmarks set to run every target.
const TargetKernels &activeTargetKernels();
void setTargetLimit(int64_t limit);

} // namespace RowKernels
} // namespace Lumivex
