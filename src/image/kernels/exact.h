// The per-pixel arithmetic of the adjustments and the grayscale filter in
// double precision, operation for operation as the literal definitions in
// imageoperations.cpp. The row kernels use it to fill their tables and to
// settle the rare pixels whose float result is too close to call.
//
// Included by the Highway kernel file outside its per-target code, so these
// functions are compiled for the baseline instruction set only and may be
// called (and inlined) from any target.
#pragma once

#include <array>
#include <cstdint>

#if defined(__FLT_EVAL_METHOD__) && __FLT_EVAL_METHOD__ != 0
#error "The pixel arithmetic needs each double operation rounded to double (no x87 extended precision)"
#endif

namespace Lumivex {
namespace Exact {

inline int clampByte(int value)
{
    return value < 0 ? 0 : (value > 255 ? 255 : value);
}

inline double luma(int r, int g, int b)
{
    return (0.299 * double(r) + 0.587 * double(g)) + 0.114 * double(b);
}

// The contrast step followed by the brightness step, for one channel.
inline int contrasted(int channel, double f, int brightness)
{
    return clampByte(int(double(channel - 128) * f + 128.0) + brightness);
}

// The saturation step, for one channel, around the luma l.
inline int saturated(int channel, double l, double k)
{
    return clampByte(int((double(channel) - l) * k + l));
}

inline uint32_t opaque(int r, int g, int b)
{
    return 0xff000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

// The saturation step of channels already through the contrast step.
inline uint32_t saturatedPixel(int r, int g, int b, double k)
{
    const double l = luma(r, g, b);
    return opaque(saturated(r, l, k), saturated(g, l, k), saturated(b, l, k));
}

inline uint32_t grayPixel(uint32_t p)
{
    const int gray = int(luma(int((p >> 16) & 0xff), int((p >> 8) & 0xff), int(p & 0xff)));
    return opaque(gray, gray, gray);
}

// The grayscale pixel of each neutral triple (v, v, v), whose luma lands on
// an integer (or just below it).
inline const int32_t *neutralGrays()
{
    static const std::array<int32_t, 256> table = [] {
        std::array<int32_t, 256> t{};
        for (uint32_t v = 0; v < 256; ++v)
            t[v] = int32_t(grayPixel(v * 0x010101u));
        return t;
    }();
    return table.data();
}

} // namespace Exact
} // namespace Lumivex
