// Plain C++ row kernels: the fallback on any CPU. On x86-64 the double
// arithmetic runs in SSE2 registers, each operation rounded to double.
#include "adjustrow.h"

#if defined(__FLT_EVAL_METHOD__) && __FLT_EVAL_METHOD__ != 0
#error "The pixel arithmetic needs each double operation rounded to double (no x87 extended precision)"
#endif

namespace Lumivex {
namespace Rows {

namespace {

inline int clampByte(int value)
{
    return value < 0 ? 0 : (value > 255 ? 255 : value);
}

inline double luma(int r, int g, int b)
{
    return (0.299 * double(r) + 0.587 * double(g)) + 0.114 * double(b);
}

inline int saturated(int channel, double l, double k)
{
    return clampByte(int((double(channel) - l) * k + l));
}

} // namespace

void adjustRowScalar(const uint32_t *in, uint32_t *out, size_t count, const AdjustParams &params)
{
    const double k = params.saturation;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = in[i];
        const int r = params.contrasted[(p >> 16) & 0xff];
        const int g = params.contrasted[(p >> 8) & 0xff];
        const int b = params.contrasted[p & 0xff];
        const double l = luma(r, g, b);
        out[i] = 0xff000000u | uint32_t(saturated(r, l, k)) << 16
                 | uint32_t(saturated(g, l, k)) << 8 | uint32_t(saturated(b, l, k));
    }
}

void grayscaleRowScalar(const uint32_t *in, uint32_t *out, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = in[i];
        const uint32_t gray = uint32_t(int(luma((p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff)));
        out[i] = 0xff000000u | gray * 0x010101u;
    }
}

void invertRowScalar(const uint32_t *in, uint32_t *out, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        out[i] = ~in[i] | 0xff000000u;
}

} // namespace Rows
} // namespace Lumivex
