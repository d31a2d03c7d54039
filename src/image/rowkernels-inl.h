// The row kernels for one Highway target; rowkernels.cpp includes this once
// per target (see rowkernels.h for what they do). Everything here lives in
// the per-target namespace and is compiled with that target's instructions.
//
// The adjustment runs its contrast and saturation steps in float, as many
// lanes at a time as the target has, and keeps the literal double result:
//  - the contrast step in float gives the double table for every one of the
//    201 contrast values (tested), or is a table lookup outright;
//  - a float saturation result differs from the double one by less than
//    NearInteger, so it truncates to the same integer unless it lies within
//    NearInteger of one; the lanes where it does are redone in double;
//  - a neutral triple (r, g, b equal) always lands on an integer, so its
//    result comes from a table made per call instead.
// The grayscale luma works the same way.

// Per-target include guard, as Highway's re-inclusion wants it.
#if defined(LUMIVEX_ROWKERNELS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef LUMIVEX_ROWKERNELS_INL_H_
#undef LUMIVEX_ROWKERNELS_INL_H_
#else
#define LUMIVEX_ROWKERNELS_INL_H_
#endif

#include "pixelarithmetic.h"
#include "rowkernels.h"

#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include <cstring>

HWY_BEFORE_NAMESPACE();
namespace Lumivex {
namespace Rows {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET != HWY_SCALAR && HWY_TARGET != HWY_EMU128

using DU = hn::ScalableTag<uint32_t>;
using DI = hn::RebindToSigned<DU>;
using DF = hn::RebindToFloat<DU>;
using VU = hn::Vec<DU>;
using VF = hn::Vec<DF>;

// Closer than this to an integer, a float result is redone in double. The
// float adjustment differs from the double one by at most 5.1e-5 (over all
// slider values and channel triples, see lumivex_verify_kernels), the float
// luma by less; the margin is four times that. It sends 0.03-0.1% of the
// results back to doubles.
constexpr float NearInteger = 2e-4f;

// Channel 16 (red), 8 (green) or 0 (blue) of each pixel, as a float.
template<int Shift>
HWY_INLINE VF channel(VU pixels)
{
    const VU byte = hn::And(hn::ShiftRight<Shift>(pixels), hn::Set(DU(), 0xffu));
    return hn::ConvertTo(DF(), hn::BitCast(DI(), byte));
}

// Opaque pixels from three channels, each a float holding an integer 0..255.
// Adding 2^23 puts the integer in the low bits of the float's own bits,
// under an exponent that the shifts push out of the word or the opaque
// alpha covers; cheaper than a conversion, which must handle any float.
HWY_INLINE VU packed(VF r, VF g, VF b)
{
    const VF magic = hn::Set(DF(), 8388608.0f);
    const VU rBits = hn::BitCast(DU(), hn::Add(r, magic));
    const VU gBits = hn::BitCast(DU(), hn::Add(g, magic));
    const VU bBits = hn::BitCast(DU(), hn::Add(b, magic));
    return hn::Or(hn::Or(hn::Set(DU(), 0xff000000u), hn::ShiftLeft<16>(rBits)),
                  hn::Or(hn::ShiftLeft<8>(gBits), bBits));
}

// Lanes whose float value lies within NearInteger of an integer.
HWY_INLINE VF integerDistance(VF v)
{
    return hn::Abs(hn::Sub(v, hn::Round(v)));
}

HWY_INLINE VF clampByte(VF v)
{
    return hn::Min(hn::Max(v, hn::Zero(DF())), hn::Set(DF(), 255.0f));
}

// Replaces the lanes of results flagged in redo by exact(pixel), computed
// one by one from the input pixels.
template<class Exact>
HWY_NOINLINE VU redone(VU pixels, VU results, hn::Mask<DF> redo, const Exact &exact)
{
    const DU du;
    HWY_ALIGN uint32_t in[hn::MaxLanes(du)];
    HWY_ALIGN uint32_t out[hn::MaxLanes(du)];
    HWY_ALIGN uint32_t flags[hn::MaxLanes(du)];
    hn::Store(pixels, du, in);
    hn::Store(results, du, out);
    hn::Store(hn::VecFromMask(du, hn::RebindMask(du, redo)), du, flags);
    for (size_t i = 0; i < hn::Lanes(du); ++i) {
        if (flags[i])
            out[i] = exact(in[i]);
    }
    return hn::Load(du, out);
}

#if HWY_TARGET == HWY_AVX3_DL
// The contrast table applied to all 64 bytes of sixteen pixels at once:
// each two-register byte permute covers 128 entries, bit 7 picks one.
HWY_INLINE VU contrastedBytes(VU pixels, const uint8_t *table)
{
    const auto part = [table](int i) { return _mm512_loadu_si512(table + 64 * i); };
    const __m512i index = pixels.raw;
    const __m512i low = _mm512_permutex2var_epi8(part(0), index, part(1));
    const __m512i high = _mm512_permutex2var_epi8(part(2), index, part(3));
    return VU{_mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high)};
}
#else
// The contrast and brightness steps on channel values 0..255 held as floats:
// clamp(int(v * F + (128 - 128 F)) + brightness), which for every contrast
// value gives what clamp(int((v - 128) * F + 128) + brightness) gives in
// double (tested).
HWY_INLINE VF contrasted(VF v, VF f, VF offset, VF brightness)
{
    return clampByte(hn::Add(hn::Trunc(hn::Add(hn::Mul(v, f), offset)), brightness));
}
#endif

// (channel - l) * K + l: the saturation step before int() and the clamp.
HWY_INLINE VF saturated(VF c, VF l, VF k)
{
    return hn::Add(hn::Mul(hn::Sub(c, l), k), l);
}

HWY_INLINE VF luma(VF r, VF g, VF b)
{
    const DF df;
    return hn::Add(hn::Add(hn::Mul(hn::Set(df, 0.299f), r), hn::Mul(hn::Set(df, 0.587f), g)),
                   hn::Mul(hn::Set(df, 0.114f), b));
}

// Neutral lanes get table[v] for their channel value v.
HWY_INLINE VU neutralFromTable(VU results, hn::Mask<DF> neutral, VF v, const int32_t *table)
{
    const DU du;
    const VU fromTable = hn::BitCast(du, hn::GatherIndex(DI(), table, hn::ConvertTo(DI(), v)));
    return hn::IfThenElse(hn::RebindMask(du, neutral), fromTable, results);
}

// Clamps tells whether the saturation step can leave 0..255: for K <= 1 its
// result is a weighted mean of the channel and the luma, both within
// 0..255, and the float rounding can only move it by a fraction of the unit
// the truncation drops.
template<bool Clamps>
HWY_INLINE VU adjusted(VU pixels, const PreparedAdjustment &a)
{
    const DF df;
#if HWY_TARGET == HWY_AVX3_DL
    const VU q = contrastedBytes(pixels, a.contrasted);
    const VF r = channel<16>(q);
    const VF g = channel<8>(q);
    const VF b = channel<0>(q);
#else
    const VF f = hn::Set(df, a.contrastF);
    const VF offset = hn::Set(df, a.contrastOffsetF);
    const VF brightness = hn::Set(df, a.brightnessF);
    const VF r = contrasted(channel<16>(pixels), f, offset, brightness);
    const VF g = contrasted(channel<8>(pixels), f, offset, brightness);
    const VF b = contrasted(channel<0>(pixels), f, offset, brightness);
#endif
    const auto neutral = hn::And(hn::Eq(r, g), hn::Eq(g, b));
    if (hn::AllTrue(df, neutral))
        return hn::BitCast(DU(), hn::GatherIndex(DI(), a.neutral, hn::ConvertTo(DI(), r)));

    const VF k = hn::Set(df, a.saturationF);
    const VF l = luma(r, g, b);
    const VF r2 = saturated(r, l, k);
    const VF g2 = saturated(g, l, k);
    const VF b2 = saturated(b, l, k);
    const auto finished = [](VF v) { return Clamps ? clampByte(hn::Trunc(v)) : hn::Trunc(v); };
    VU result = packed(finished(r2), finished(g2), finished(b2));

    if (!hn::AllFalse(df, neutral))
        result = neutralFromTable(result, neutral, r, a.neutral);
    const VF distance =
            hn::Min(hn::Min(integerDistance(r2), integerDistance(g2)), integerDistance(b2));
    const auto unsure = hn::AndNot(neutral, hn::Lt(distance, hn::Set(df, NearInteger)));
    if (HWY_UNLIKELY(!hn::AllFalse(df, unsure))) {
        result = redone(pixels, result, unsure, [&a](uint32_t p) {
            return Exact::saturatedPixel(a.contrasted[(p >> 16) & 0xff],
                                         a.contrasted[(p >> 8) & 0xff], a.contrasted[p & 0xff],
                                         a.saturation);
        });
    }
    return result;
}

HWY_INLINE VU grayed(VU pixels)
{
    const DF df;
    const VF r = channel<16>(pixels);
    const VF g = channel<8>(pixels);
    const VF b = channel<0>(pixels);
    const auto neutral = hn::And(hn::Eq(r, g), hn::Eq(g, b));
    const VF l = luma(r, g, b);
    const VF gray = hn::Trunc(l);
    VU result = packed(gray, gray, gray);
    if (!hn::AllFalse(df, neutral))
        result = neutralFromTable(result, neutral, r, Exact::neutralGrays());
    const auto unsure = hn::AndNot(neutral, hn::Lt(integerDistance(l), hn::Set(df, NearInteger)));
    if (HWY_UNLIKELY(!hn::AllFalse(df, unsure)))
        result = redone(pixels, result, unsure, Exact::grayPixel);
    return result;
}

// Runs op over count pixels, whole vectors first. The pixels that do not
// fill a vector go through one in a buffer, so nothing outside the row is
// read or written. Streamed output is written in whole aligned vectors.
template<class Op>
HWY_INLINE void forEachVector(const uint32_t *in, uint32_t *out, size_t count, RowStore store,
                              const Op &op)
{
    const DU du;
    const size_t lanes = hn::Lanes(du);
    const auto partial = [&](size_t from, size_t n) {
        HWY_ALIGN uint32_t buffer[hn::MaxLanes(du)] = {};
        std::memcpy(buffer, in + from, n * sizeof(uint32_t));
        hn::Store(op(hn::Load(du, buffer)), du, buffer);
        std::memcpy(out + from, buffer, n * sizeof(uint32_t));
    };
    size_t i = 0;
    if (store == RowStore::Streamed) {
        const size_t misaligned = (reinterpret_cast<uintptr_t>(out) / sizeof(uint32_t)) % lanes;
        if (misaligned != 0) {
            i = HWY_MIN(count, lanes - misaligned);
            partial(0, i);
        }
        for (; i + lanes <= count; i += lanes)
            hn::Stream(op(hn::LoadU(du, in + i)), du, out + i);
        hwy::FlushStream();
    } else {
        for (; i + lanes <= count; i += lanes)
            hn::StoreU(op(hn::LoadU(du, in + i)), du, out + i);
    }
    if (i < count)
        partial(i, count - i);
}

template<bool Clamps>
struct Adjusting
{
    const PreparedAdjustment &prepared;
    HWY_INLINE VU operator()(VU pixels) const { return adjusted<Clamps>(pixels, prepared); }
};

struct Graying
{
    HWY_INLINE VU operator()(VU pixels) const { return grayed(pixels); }
};

struct Inverting
{
    HWY_INLINE VU operator()(VU pixels) const
    {
        return hn::Or(hn::Not(pixels), hn::Set(DU(), 0xff000000u));
    }
};

void adjustRow(const uint32_t *in, uint32_t *out, size_t count, const PreparedAdjustment &prepared,
               RowStore store)
{
    if (prepared.saturation <= 1.0)
        forEachVector(in, out, count, store, Adjusting<false>{prepared});
    else
        forEachVector(in, out, count, store, Adjusting<true>{prepared});
}

void grayscaleRow(const uint32_t *in, uint32_t *out, size_t count, RowStore store)
{
    forEachVector(in, out, count, store, Graying{});
}

void invertRow(const uint32_t *in, uint32_t *out, size_t count, RowStore store)
{
    forEachVector(in, out, count, store, Inverting{});
}

#else // the portable fallback

// One emulated lane after another, the float detour and its checks cost
// more than the double arithmetic itself, so the fallback does just that.

void adjustRow(const uint32_t *in, uint32_t *out, size_t count, const PreparedAdjustment &a,
               RowStore /*store*/)
{
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = in[i];
        out[i] =
                Exact::saturatedPixel(a.contrasted[(p >> 16) & 0xff], a.contrasted[(p >> 8) & 0xff],
                                      a.contrasted[p & 0xff], a.saturation);
    }
}

void grayscaleRow(const uint32_t *in, uint32_t *out, size_t count, RowStore /*store*/)
{
    for (size_t i = 0; i < count; ++i)
        out[i] = Exact::grayPixel(in[i]);
}

void invertRow(const uint32_t *in, uint32_t *out, size_t count, RowStore /*store*/)
{
    for (size_t i = 0; i < count; ++i)
        out[i] = ~in[i] | 0xff000000u;
}

#endif

// NOLINTNEXTLINE(google-readability-namespace-comments)
} // namespace HWY_NAMESPACE
} // namespace Rows
} // namespace Lumivex
HWY_AFTER_NAMESPACE();

#endif // per-target include guard
