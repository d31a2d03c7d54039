// The row kernels for one Highway target; rowkernels.cpp includes this once
// per target (see rowkernels.h for what they do). Everything here lives in
// the per-target namespace and is compiled with that target's instructions.
//
// The adjustment keeps the literal double result, as many lanes at a time
// as the target has:
//  - the contrast step is the double table, looked up outright at AVX3_DL
//    and as sums of 16-entry tables elsewhere (see contrastedBytes);
//  - the saturation step runs in float; at saturation 0 it changes nothing
//    (tested);
//  - a float saturation result is so close to the double one that both
//    truncate to the same integer unless they lie very close to one; the
//    lanes where the float one does are redone in double (see
//    FixedPointOffset);
//  - a neutral triple (r, g, b equal) always lands on an integer, so its
//    result comes from a table made per call instead.
// The grayscale filter's luma is exact, in integers, and screened the same
// way (see grayed). Where a target has fused multiply-adds (AVX2 and up,
// NEON, SVE) the float steps use them: each is one operation instead of
// two, and rounds once; the tests and the verification program hold every
// target to the double result either way.

// Per-target include guard, as Highway's re-inclusion wants it.
#if defined(LUMIVEX_ROWKERNELS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef LUMIVEX_ROWKERNELS_INL_H_
#undef LUMIVEX_ROWKERNELS_INL_H_
#else
#define LUMIVEX_ROWKERNELS_INL_H_
#endif

#include "exact.h"
#include "reduction.h"
#include "rowkernels.h"
#include "rowloop-inl.h"

#include <hwy/highway.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

HWY_BEFORE_NAMESPACE();
namespace Lumivex {
namespace RowKernels {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// One pixel of a 64-bit row: 257 v is v in both bytes of each channel.
inline void storeRgba64Pixel(uint32_t word, uint8_t *out)
{
    const uint8_t c[8] = {uint8_t(word >> 16),
                          uint8_t(word >> 16),
                          uint8_t(word >> 8),
                          uint8_t(word >> 8),
                          uint8_t(word),
                          uint8_t(word),
                          0xff,
                          0xff};
    std::memcpy(out, c, sizeof c);
}

// Words of rows of bytes R, G, B, A have red in byte 0 where 0xAARRGGBB
// words have it in byte 2; the kernels take either (RedFirst), doing the
// same arithmetic on the same channels.
template<bool RedFirst>
constexpr uint8_t RedByte = RedFirst ? 0 : 2;
template<bool RedFirst>
constexpr uint8_t BlueByte = 2 - RedByte<RedFirst>;

// One order from the other, both ways.
template<bool RedFirst>
inline uint32_t inOrder(uint32_t word)
{
    if constexpr (RedFirst)
        return (word & 0xff00ff00u) | (word >> 16 & 0xffu) | (word & 0xffu) << 16;
    return word;
}

// The adjustment of one word by the tables and double arithmetic.
template<bool RedFirst>
inline uint32_t exactlyAdjusted(uint32_t word, const PreparedAdjustment &a)
{
    const uint32_t p = inOrder<RedFirst>(word);
    return inOrder<RedFirst>(Exact::saturatedPixel(a.contrasted[(p >> 16) & 0xff],
                                                   a.contrasted[(p >> 8) & 0xff],
                                                   a.contrasted[p & 0xff], a.saturation));
}

#if HWY_TARGET != HWY_SCALAR && HWY_TARGET != HWY_EMU128

// A float result in 0..256 plus 2048 lands in [2048, 2304), where floats
// are spaced 2^-12 apart: the sum holds the result rounded to 12 bits of
// fraction, as a fixed-point number in the low 20 bits of the float's own
// bits (its exponent sits above them). Its whole units are the truncated
// result, unless the rounding carried into it; so a result whose rounded
// fraction is zero (it lies within 2^-13 = 1.2e-4 of an integer) is redone
// in double. The float saturation step differs from the double one by at
// most 6.3e-5, over all slider values and channel triples, with fused
// multiply-adds or without, the float luma
// (the whole step at saturation -100) by at most 2.9e-5 (measured with
// lumivex_verify_kernels): outside that distance both truncate to the same
// integer. 0.01-0.1% of results are redone, 0.023% on average.
constexpr float FixedPointOffset = 2048.0f;
constexpr uint32_t FractionBits = 0xfff;

// A byte-shuffle index: a pattern of 16 indices (each counting within its
// 16 bytes) repeated over 64 bytes, the widest x86 vector.
struct ShuffleIndex
{
    alignas(64) uint8_t bytes[64];
};

constexpr ShuffleIndex repeated(const uint8_t (&pattern)[16])
{
    ShuffleIndex index{};
    for (size_t i = 0; i < 64; ++i)
        index.bytes[i] = pattern[i % 16];
    return index;
}

// On x86 the index is loaded whole (broadcast from 16 bytes, it cost a
// shuffle more per vector wherever the compiler ran short of registers to
// keep it in); on wider or scalable vectors, broadcast.
template<class D8>
HWY_INLINE hn::Vec<D8> shuffleIndex(D8 d8, const ShuffleIndex &index)
{
#if HWY_ARCH_X86
    static_assert(hn::MaxLanes(D8()) <= sizeof index.bytes, "one index per byte of a vector");
    return hn::Load(d8, index.bytes);
#else
    return hn::LoadDup128(d8, index.bytes);
#endif
}

// Byte 2 (red), 1 (green) or 0 (blue) of each pixel, as an integer: one
// byte shuffle moves it to the bottom of its lane and clears the rest.
template<uint8_t Byte>
HWY_INLINE VI channel(VU pixels)
{
    const hn::Repartition<uint8_t, DU> d8;
    constexpr uint8_t Z = 0x80;
    static constexpr ShuffleIndex index =
            repeated({Byte, Z, Z, Z, Byte + 4, Z, Z, Z, Byte + 8, Z, Z, Z, Byte + 12, Z, Z, Z});
    return hn::BitCast(DI(),
                       hn::TableLookupBytesOr0(hn::BitCast(d8, pixels), shuffleIndex(d8, index)));
}

// The fixed-point bits of results in 0..256, see FixedPointOffset.
HWY_INLINE VU fixedPoint(VF v)
{
    return hn::BitCast(DU(), hn::Add(v, hn::Set(DF(), FixedPointOffset)));
}

// Opaque pixels from the whole units of three fixed-point results: each
// shifted to its byte, then two blends, of 16-bit halves and of bytes (six
// operations where masking each and or-ing them took nine: adjust in a hot
// loop, AVX2 9% and SSE4 15% faster). AVX-512 masks and
// ors in ternary-logic operations, and blends bytes more slowly: there it
// stays the other way.
HWY_INLINE VU packedFixed(VU r, VU g, VU b)
{
    const DU du;
#if HWY_TARGET == HWY_AVX3
    const VU red = hn::And(hn::ShiftLeft<4>(r), hn::Set(du, 0xff0000u));
    const VU green = hn::And(hn::ShiftRight<4>(g), hn::Set(du, 0xff00u));
    const VU blue = hn::And(hn::ShiftRight<12>(b), hn::Set(du, 0xffu));
    return hn::Or(hn::Or(hn::Set(du, 0xff000000u), red), hn::Or(green, blue));
#else
    const hn::Repartition<uint16_t, DU> d16;
    const hn::Repartition<uint8_t, DU> d8;
    // Bytes 2 and 0 hold r and b, in the upper and lower 16 bits.
    const auto redBlue = hn::OddEven(hn::BitCast(d16, hn::ShiftLeft<4>(r)),
                                     hn::BitCast(d16, hn::ShiftRight<12>(b)));
    // Byte 1 holds g, byte 3 the opaque alpha.
    const VU greenAlpha = hn::Or(hn::ShiftRight<4>(g), hn::Set(du, 0xff000000u));
    return hn::BitCast(du, hn::OddEven(hn::BitCast(d8, greenAlpha), hn::BitCast(d8, redBlue)));
#endif
}

#if HWY_TARGET == HWY_AVX3_DL
// As packedFixed: one multishift per channel copies bits 12..19 of each
// lane (the whole units) into the channel's byte: bits 12 and 44 of
// each 64-bit pair of lanes. (With this and the masked tests of
// unsureLanes, 6000x4000 adjust took 18% less time at AVX3_DL and 7% less
// at AVX3: medians of 7.)
HWY_INLINE VU packedFixedBytes(VU r, VU g, VU b)
{
    const __m512i whole = _mm512_set1_epi64(0x2c2c2c2c0c0c0c0cLL);
    __m512i packed = _mm512_set1_epi32(int(0xff000000u));
    packed = _mm512_mask_multishift_epi64_epi8(packed, 0x4444444444444444ULL, whole, r.raw);
    packed = _mm512_mask_multishift_epi64_epi8(packed, 0x2222222222222222ULL, whole, g.raw);
    packed = _mm512_mask_multishift_epi64_epi8(packed, 0x1111111111111111ULL, whole, b.raw);
    return VU{packed};
}
#endif

// Lanes where a fixed-point result has no fraction left.
HWY_INLINE hn::Mask<DU> roundedToInteger(VU v)
{
    const DU du;
    return hn::Eq(hn::And(v, hn::Set(du, FractionBits)), hn::Zero(du));
}

// Lanes without a fraction left in one of the three results or more.
HWY_INLINE hn::Mask<DF> unsureLanes(VU r, VU g, VU b)
{
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
    // Each test only looks at the lanes the ones before found fractional:
    // three chained tests on mask registers in place of three ands, two mins
    // and a compare.
    const __m512i bits = _mm512_set1_epi32(int(FractionBits));
    __mmask16 fractional = _mm512_test_epi32_mask(r.raw, bits);
    fractional = _mm512_mask_test_epi32_mask(fractional, g.raw, bits);
    fractional = _mm512_mask_test_epi32_mask(fractional, b.raw, bits);
    return hn::Mask<DF>{static_cast<__mmask16>(~fractional)};
#else
    const DU du;
    const VU fractions = hn::Min(hn::Min(hn::And(r, hn::Set(du, FractionBits)),
                                         hn::And(g, hn::Set(du, FractionBits))),
                                 hn::And(b, hn::Set(du, FractionBits)));
    return hn::RebindMask(DF(), hn::Eq(fractions, hn::Zero(du)));
#endif
}

// For K > 1, a result is first clamped to 0.5..255.5: truncated, it gives
// the clamped byte from there, and bounds half way between integers never
// count as too close to one.
HWY_INLINE VF clampHalfway(VF v)
{
    return hn::Min(hn::Max(v, hn::Set(DF(), 0.5f)), hn::Set(DF(), 255.5f));
}

// What the kernels read of the prepared adjustment per vector, copied out
// of it so that the compiler keeps them in registers: as far as it knows, a
// store to the row may change the prepared adjustment's bytes.
struct Factors
{
    float saturation;
    // The luma weights times 1 - K, see saturated().
    float red;
    float green;
    float blue;
    uint8_t truncatedUp;
};

#if HWY_TARGET == HWY_AVX3_DL
// A table of 256 bytes looked up for all 64 bytes of a vector at once: each
// two-register byte permute covers 128 entries, bit 7 picks one.
struct ByteTable
{
    __m512i quarter[4];
    explicit ByteTable(const uint8_t *table)
        : quarter{_mm512_loadu_si512(table), _mm512_loadu_si512(table + 64),
                  _mm512_loadu_si512(table + 128), _mm512_loadu_si512(table + 192)}
    { }
    HWY_INLINE __m512i operator()(__m512i index) const
    {
        const __m512i low = _mm512_permutex2var_epi8(quarter[0], index, quarter[1]);
        const __m512i high = _mm512_permutex2var_epi8(quarter[2], index, quarter[3]);
        return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
    }
};

// The contrast table applied to all the bytes of sixteen pixels at once.
HWY_INLINE VU contrastedBytes(VU pixels, const PreparedAdjustment &a, const Factors &)
{
    return VU{ByteTable(a.contrasted)(pixels.raw)};
}
#else
// The same by the nibble tables of the prepared adjustment (see
// PreparedAdjustment::Nibbles), 16-entry byte lookups on all the bytes at
// once, with the clamp in saturating byte sums: 15 operations for all the
// channels of a vector, where the contrast step in float took 18 on 32-bit
// lanes (6000x4000 adjust on two threads: AVX2 11.0 to 9.8 ms, SSE4 21.1 to
// 18.6 ms).
HWY_INLINE VU contrastedBytes(VU pixels, const PreparedAdjustment &a, const Factors &factors)
{
    const hn::Repartition<uint8_t, DU> d8;
    const hn::Repartition<int8_t, DU> di8;
    const PreparedAdjustment::Nibbles &n = a.nibbles;
    const auto v = hn::BitCast(d8, pixels);
    const auto l = hn::And(v, hn::Set(d8, 0x0f));
    const auto h = hn::ShiftRight<4>(v);
    const auto lookUp = [d8](const uint8_t(&table)[16], decltype(v) index) {
        return hn::TableLookupBytes(hn::LoadDup128(d8, table), index);
    };
    const auto carry =
            hn::VecFromMask(d8,
                            hn::RebindMask(d8, hn::Gt(hn::BitCast(di8, lookUp(n.lowRank, l)),
                                                      hn::BitCast(di8, lookUp(n.highRank, h)))));
    const auto up = hn::Min(hn::SaturatedSub(hn::Set(d8, factors.truncatedUp), v), hn::Set(d8, 1));
    // carry is 0 or -1 (0xFF): subtracted, it adds 1.
    const auto low = hn::Sub(hn::Add(lookUp(n.low, l), up), carry);
    return hn::BitCast(DU(), hn::SaturatedSub(hn::SaturatedAdd(lookUp(n.highAdd, h), low),
                                              lookUp(n.highSub, h)));
}
#endif

// The saturation step before int() and the clamp, as channel * K + l (1 - K)
// with m = l (1 - K) made once per pixel, as the luma with its weights
// times 1 - K (one multiply less than the luma times 1 - K). The float
// result strays from the double (channel - l) * K + l by less than the
// margin of FixedPointOffset, fused multiply-add or not (measured with
// lumivex_verify_kernels).
HWY_INLINE VF saturated(VF c, VF k, VF m)
{
    return hn::MulAdd(c, k, m);
}

// 1000 times the luma of each pixel, 299 r + 587 g + 114 b, exactly: the
// bytes of each pixel spread to 16-bit halves, blue and red, green and
// alpha, each pair weighed and added by one 16-bit multiply-add.
template<bool RedFirst>
HWY_INLINE VI thousandfoldLuma(VU pixels)
{
    const DI di;
    const DU du;
    const hn::Repartition<int16_t, DU> d16;
    const VU evenBytes = hn::And(pixels, hn::Set(du, 0x00ff00ffu));
    const VU oddBytes = hn::And(hn::ShiftRight<8>(pixels), hn::Set(du, 0x00ff00ffu));
    constexpr int32_t EvenWeights = RedFirst ? 299 | 114 << 16 : 114 | 299 << 16;
    VI sum1 = hn::Zero(di);
    VI sum0 = hn::ReorderWidenMulAccumulate(di, hn::BitCast(d16, evenBytes),
                                            hn::BitCast(d16, hn::Set(di, EvenWeights)),
                                            hn::Zero(di), sum1);
    sum0 = hn::ReorderWidenMulAccumulate(di, hn::BitCast(d16, oddBytes),
                                         hn::BitCast(d16, hn::Set(di, 587)), sum0, sum1);
    return hn::RearrangeToOddPlusEven(sum0, sum1);
}

// Neutral lanes get table[v] for their channel value v.
HWY_INLINE VU neutralFromTable(VU results, hn::Mask<DF> neutral, VI v, const int32_t *table)
{
    const DU du;
    const VU fromTable = hn::BitCast(du, hn::GatherIndex(DI(), table, v));
    return hn::IfThenElse(hn::RebindMask(du, neutral), fromTable, results);
}

// The saturation step of pixels whose bytes went through the contrast step
// (q). Clamps tells whether it can leave 0..255: for K <= 1 its result is a
// weighted mean of the channel and the luma, both within 0..255, and the
// float rounding (monotonic) keeps it within 0..255 too.
template<bool Clamps, bool RedFirst>
HWY_INLINE VU saturatedFrom(VU pixels, VU q, const Factors &factors, const PreparedAdjustment &a)
{
    const DF df;
    constexpr uint8_t Red = RedByte<RedFirst>;
    constexpr uint8_t Blue = BlueByte<RedFirst>;
    const VI r = channel<Red>(q);
    const VI g = channel<1>(q);
    const VI b = channel<Blue>(q);
    const VF rf = hn::ConvertTo(df, r);
    const VF gf = hn::ConvertTo(df, g);
    const VF bf = hn::ConvertTo(df, b);
    const VF k = hn::Set(df, factors.saturation);
    const VF m = hn::MulAdd(hn::Set(df, factors.blue), bf,
                            hn::MulAdd(hn::Set(df, factors.green), gf,
                                       hn::Mul(hn::Set(df, factors.red), rf)));
    const VF r2 = saturated(rf, k, m);
    const VF g2 = saturated(gf, k, m);
    const VF b2 = saturated(bf, k, m);
    const auto fixed = [](VF v) { return fixedPoint(Clamps ? clampHalfway(v) : v); };
    const VU r3 = fixed(r2);
    const VU g3 = fixed(g2);
    const VU b3 = fixed(b2);
    // Each channel back in its own byte.
    const VU high = RedFirst ? b3 : r3;
    const VU low = RedFirst ? r3 : b3;
#if HWY_TARGET == HWY_AVX3_DL
    VU result = packedFixedBytes(high, g3, low);
#else
    VU result = packedFixed(high, g3, low);
#endif

    // A neutral triple lands on an integer, so it is among the unsure lanes
    // (the float result lies within the margin of it), and is only looked
    // for there: most pixels of a photo are not neutral, and most vectors
    // have no unsure lane.
    const auto unsure = unsureLanes(r3, g3, b3);
    if (HWY_UNLIKELY(!hn::AllFalse(df, unsure))) {
        const auto neutral = hn::RebindMask(df, hn::And(hn::Eq(r, g), hn::Eq(g, b)));
        result = neutralFromTable(result, neutral, r, a.neutral);
        const auto left = hn::AndNot(neutral, unsure);
        if (!hn::AllFalse(df, left)) {
            result = redone(pixels, result, left,
                            [&a](uint32_t p) { return exactlyAdjusted<RedFirst>(p, a); });
        }
    }
    return result;
}

// The gray of each pixel from its exact thousandfold luma L: L / 1000 in
// float, as a fixed-point result (see FixedPointOffset), is within 3e-5 of
// the double luma, and where L is no multiple of 1000 that lies 0.001 or
// more from an integer: its whole units are the gray then, and its rounded
// fraction is not zero. The multiples are redone (neutral triples, whose
// lumas are all multiples, from their table). (Where the luma was three
// float multiplies of the channels, grayscale in cache on a Zen 4 core took
// 15-18% longer: AVX2 0.25 against 0.22 ns a pixel, SSE4 0.47 against 0.39.)
template<bool RedFirst>
HWY_INLINE VU grayed(VU pixels)
{
    const DF df;
    const VU gray =
            hn::BitCast(DU(), hn::MulAdd(hn::ConvertTo(df, thousandfoldLuma<RedFirst>(pixels)),
                                         hn::Set(df, 0.001f), hn::Set(df, FixedPointOffset)));
    // The whole units, shifted to byte 2 of each lane, copied into bytes 0
    // to 2 by one byte shuffle (a 32-bit multiply by 0x010101 took two
    // operations on most x86 cores).
    const hn::Repartition<uint8_t, DU> d8;
    constexpr uint8_t Z = 0x80;
    static constexpr ShuffleIndex spread =
            repeated({2, 2, 2, Z, 6, 6, 6, Z, 10, 10, 10, Z, 14, 14, 14, Z});
    const auto units = hn::BitCast(d8, hn::ShiftLeft<4>(gray));
    VU result = hn::Or(hn::BitCast(DU(), hn::TableLookupBytesOr0(units, shuffleIndex(d8, spread))),
                       hn::Set(DU(), 0xff000000u));
    // Neutral lanes among the unsure ones, as in saturatedFrom().
    const auto unsure = hn::RebindMask(df, roundedToInteger(gray));
    if (HWY_UNLIKELY(!hn::AllFalse(df, unsure))) {
        const VI r = channel<RedByte<RedFirst>>(pixels);
        const VI g = channel<1>(pixels);
        const VI b = channel<BlueByte<RedFirst>>(pixels);
        const auto neutral = hn::RebindMask(df, hn::And(hn::Eq(r, g), hn::Eq(g, b)));
        result = neutralFromTable(result, neutral, r, Exact::neutralGrays());
        const auto left = hn::AndNot(neutral, unsure);
        if (!hn::AllFalse(df, left)) {
            result = redone(pixels, result, left,
                            [](uint32_t p) { return Exact::grayPixel(inOrder<RedFirst>(p)); });
        }
    }
    return result;
}

// For K = 1 the saturation step gives back every channel exactly, for
// every triple (the tests run all 2^24 of them): only the contrast step is
// left to do, the same on every channel, whichever order they are in.
HWY_INLINE VU contrastedOnly(VU pixels, const Factors &factors, const PreparedAdjustment &a)
{
    return hn::Or(contrastedBytes(pixels, a, factors), hn::Set(DU(), 0xff000000u));
}

// The factors of a prepared adjustment.
inline Factors factorsOf(const PreparedAdjustment &a)
{
    const float complement = 1.0f - a.saturationF;
    return {a.saturationF, 0.299f * complement, 0.587f * complement, 0.114f * complement,
            a.nibbles.truncatedUp};
}

struct ContrastOnly
{
    const PreparedAdjustment &prepared;
    Factors factors = factorsOf(prepared);
    HWY_INLINE VU operator()(VU pixels) const { return contrastedOnly(pixels, factors, prepared); }
};

// The adjustment in two stages (see forEachVectorInTwo): the contrast step
// on the bytes, then the saturation step.
template<bool Clamps, bool RedFirst>
struct Adjusting
{
    const PreparedAdjustment &prepared;
    Factors factors = factorsOf(prepared);
    HWY_INLINE VU first(VU pixels) const { return contrastedBytes(pixels, prepared, factors); }
    HWY_INLINE VU second(VU pixels, VU q) const
    {
        return saturatedFrom<Clamps, RedFirst>(pixels, q, factors, prepared);
    }
    HWY_INLINE VU operator()(VU pixels) const { return second(pixels, first(pixels)); }
};

template<bool RedFirst>
struct Graying
{
    HWY_INLINE VU operator()(VU pixels) const { return grayed<RedFirst>(pixels); }
};

struct Inverting
{
    HWY_INLINE VU operator()(VU pixels) const
    {
        return hn::Or(hn::Not(pixels), hn::Set(DU(), 0xff000000u));
    }
};

// The adjustment's loop. AVX3_DL's contrast step is one table lookup, short
// enough to take in the same chain as the saturation step (in two stages,
// 6000x4000 adjust took 7.9 ms where it takes 7.1-7.4; at AVX3 7.9 where it
// took 8.5).
template<class Op>
HWY_INLINE void adjustVectors(const uint32_t *in, uint32_t *out, size_t count, const Op &op)
{
#if HWY_TARGET == HWY_AVX3_DL
    forEachVector(in, out, count, op);
#else
    forEachVectorInTwo(in, out, count, op);
#endif
}

template<bool RedFirst>
HWY_INLINE void adjustWords(const uint32_t *in, uint32_t *out, size_t count,
                            const PreparedAdjustment &prepared)
{
#if HWY_TARGET != HWY_AVX3_DL
    if (HWY_UNLIKELY(!prepared.byNibbles)) {
        for (size_t i = 0; i < count; ++i)
            out[i] = exactlyAdjusted<RedFirst>(in[i], prepared);
        return;
    }
#endif
    if (prepared.saturation == 1.0)
        forEachVector(in, out, count, ContrastOnly{prepared});
    else if (prepared.saturation < 1.0)
        adjustVectors(in, out, count, Adjusting<false, RedFirst>{prepared});
    else
        adjustVectors(in, out, count, Adjusting<true, RedFirst>{prepared});
}

template<bool RedFirst>
HWY_INLINE void grayscaleWords(const uint32_t *in, uint32_t *out, size_t count)
{
    forEachVector(in, out, count, Graying<RedFirst>{});
}

void invertRow(const uint32_t *in, uint32_t *out, size_t count)
{
    forEachVector(in, out, count, Inverting{});
}

// Asks for the lines AheadBytes past the bytes [p, p + bytes) of a loop
// that takes them in turn: once per line, where a turn takes less than one.
HWY_INLINE void prefetchTurn(const uint8_t *p, size_t bytes)
{
    if (reinterpret_cast<uintptr_t>(p) % 64 < bytes || bytes >= 64) {
        for (size_t line = 0; line < bytes; line += 64)
            prefetchAhead(p + line);
    }
}

// Three-byte rows, four pixels (12 bytes) per 16 bytes of a shuffle: whole
// AVX2 and AVX-512 vectors, then 128-bit ones, asking for the lines ahead
// as they go. The loads and stores stay inside the row (a store's last
// bytes are the next pixels', written after it), the pixels left over go
// one by one. (6000x4000 RGB888 adjust, AVX3_DL, two threads: 5.8 times
// the copy floor with the scalar adapters; 1.50 times RGB32's time with
// 128-bit vectors only, 1.34 so.)
template<bool Reversed>
HWY_INLINE void fetchThreeBytes(const uint8_t *in, uint32_t *out, size_t count)
{
    const hn::Full128<uint8_t> d8;
    const hn::Full128<uint32_t> d32;
    constexpr uint8_t Z = 0x80;
    alignas(16) static constexpr uint8_t rgb[16] = {2, 1, 0, Z, 5,  4,  3, Z,
                                                    8, 7, 6, Z, 11, 10, 9, Z};
    alignas(16) static constexpr uint8_t bgr[16] = {0, 1, 2, Z, 3, 4,  5,  Z,
                                                    6, 7, 8, Z, 9, 10, 11, Z};
    const auto index = hn::Load(d8, Reversed ? bgr : rgb);
    const auto alpha = hn::Set(d32, 0xff000000u);
    size_t i = 0;
#if HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
    {
        // On wider vectors, one lane permute first gives each 16 bytes their
        // four pixels (12 bytes) from wherever they lie.
        const DU du;
        const hn::Repartition<uint8_t, DU> dv8;
        const size_t lanes = hn::Lanes(du);
        HWY_ALIGN uint32_t spread[hn::MaxLanes(du)];
        for (size_t k = 0; k < lanes; ++k)
            spread[k] = uint32_t(3 * (k / 4) + std::min<size_t>(k % 4, 2));
        const auto permute = hn::SetTableIndices(du, spread);
        const auto wideIndex = hn::LoadDup128(dv8, Reversed ? bgr : rgb);
        for (; 3 * i + 4 * lanes <= 3 * count; i += lanes) {
            prefetchTurn(in + 3 * i, 3 * lanes);
            const auto words =
                    hn::TableLookupLanes(hn::BitCast(du, hn::LoadU(dv8, in + 3 * i)), permute);
            const auto bytes = hn::TableLookupBytesOr0(hn::BitCast(dv8, words), wideIndex);
            hn::StoreU(hn::Or(hn::BitCast(du, bytes), hn::Set(du, 0xff000000u)), du, out + i);
        }
    }
#endif
    for (; i + 6 <= count; i += 4) { // 16 bytes read: pixels i..i+5 exist
        prefetchTurn(in + 3 * i, 12);
        const auto bytes = hn::TableLookupBytesOr0(hn::LoadU(d8, in + 3 * i), index);
        hn::StoreU(hn::Or(hn::BitCast(d32, bytes), alpha), d32, out + i);
    }
    for (; i < count; ++i) {
        const uint8_t *p = in + 3 * i;
        const uint32_t r = Reversed ? p[2] : p[0];
        const uint32_t b = Reversed ? p[0] : p[2];
        out[i] = 0xff000000u | r << 16 | uint32_t(p[1]) << 8 | b;
    }
}

template<bool Reversed>
HWY_INLINE void storeThreeBytes(const uint32_t *in, uint8_t *out, size_t count)
{
    const hn::Full128<uint8_t> d8;
    constexpr uint8_t Z = 0x80;
    alignas(16) static constexpr uint8_t rgb[16] = {2, 1,  0,  6,  5, 4, 10, 9,
                                                    8, 14, 13, 12, Z, Z, Z,  Z};
    alignas(16) static constexpr uint8_t bgr[16] = {0,  1,  2,  4,  5, 6, 8, 9,
                                                    10, 12, 13, 14, Z, Z, Z, Z};
    const auto index = hn::Load(d8, Reversed ? bgr : rgb);
    size_t i = 0;
#if HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
    {
        // On wider vectors, the 12 bytes made in each 16 are then packed
        // together by one lane permute (the lanes left over are written over
        // by the next pixels).
        const DU du;
        const hn::Repartition<uint8_t, DU> dv8;
        const size_t lanes = hn::Lanes(du);
        HWY_ALIGN uint32_t packing[hn::MaxLanes(du)] = {};
        for (size_t k = 0; k < 3 * lanes / 4; ++k)
            packing[k] = uint32_t(k / 3 * 4 + k % 3);
        const auto permute = hn::SetTableIndices(du, packing);
        const auto wideIndex = hn::LoadDup128(dv8, Reversed ? bgr : rgb);
        for (; 3 * i + 4 * lanes <= 3 * count; i += lanes) {
            prefetchTurn(out + 3 * i, 3 * lanes);
            const auto bytes =
                    hn::TableLookupBytesOr0(hn::LoadU(dv8,
                                                      reinterpret_cast<const uint8_t *>(in + i)),
                                            wideIndex);
            hn::StoreU(hn::BitCast(dv8, hn::TableLookupLanes(hn::BitCast(du, bytes), permute)), dv8,
                       out + 3 * i);
        }
    }
#endif
    for (; i + 6 <= count; i += 4) { // 16 bytes written: pixels i..i+5 exist
        prefetchTurn(out + 3 * i, 12);
        const auto words = hn::LoadU(d8, reinterpret_cast<const uint8_t *>(in + i));
        hn::StoreU(hn::TableLookupBytesOr0(words, index), d8, out + 3 * i);
    }
    for (; i < count; ++i) {
        uint8_t *p = out + 3 * i;
        const uint32_t w = in[i];
        p[Reversed ? 2 : 0] = uint8_t(w >> 16);
        p[1] = uint8_t(w >> 8);
        p[Reversed ? 0 : 2] = uint8_t(w);
    }
}

// Four-byte rows R, G, B, A from words: one byte shuffle per vector, which
// swaps R and B in each pixel.
alignas(16) inline constexpr uint8_t RgbaOrder[16] = {2,  1, 0, 3,  6,  5,  4,  7,
                                                      10, 9, 8, 11, 14, 13, 12, 15};

HWY_INLINE void storeRgba(const uint32_t *in, uint8_t *out, size_t count)
{
    const DU du;
    const hn::Repartition<uint8_t, DU> d8;
    const auto index = hn::LoadDup128(d8, RgbaOrder);
    const size_t lanes = hn::Lanes(du);
    size_t i = 0;
    for (; i + lanes <= count; i += lanes) {
        const VU words = hn::Or(hn::LoadU(du, in + i), hn::Set(du, 0xff000000u));
        hn::StoreU(hn::TableLookupBytes(hn::BitCast(d8, words), index), d8, out + 4 * i);
    }
    for (; i < count; ++i) {
        uint8_t *p = out + 4 * i;
        p[0] = uint8_t(in[i] >> 16);
        p[1] = uint8_t(in[i] >> 8);
        p[2] = uint8_t(in[i]);
        p[3] = 0xff;
    }
}

// QRgba64's x / 257 rounded (narrowedChannel), which is
// (x * 65281 / 65536 + 128) / 256 for every 16-bit x (tried all): the high
// half of a 16-bit product, then a rounding shift (three operations where
// the formula took eight). Whole vectors of pixels at a time, narrowed to
// bytes in order, their red and blue swapped, the lines ahead asked for as
// the loop goes. (6000x4000 RGBX64 adjust, AVX3_DL: 24.1 ms, 3.7 times
// RGB32's time, 16 bytes at a time by the formula after a burst of
// prefetches for each piece of the row; 16.2-17.0 ms, 2.5-2.7 times, so.
// The picture has twice RGB32's bytes.)
HWY_INLINE void fetchRgba64(const uint8_t *in, uint32_t *out, size_t count)
{
    const hn::ScalableTag<uint16_t> d16;
    const hn::RebindToSigned<decltype(d16)> di16;
    const hn::Rebind<uint8_t, decltype(d16)> half;
    const hn::Repartition<uint8_t, decltype(d16)> d8;
    const hn::Repartition<uint32_t, decltype(d16)> d32;
    static constexpr ShuffleIndex swap =
            repeated({2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15});
    const auto swapIndex = shuffleIndex(d8, swap);
    const auto to8Bit = [d16, di16, half](hn::Vec<decltype(d16)> x) {
        const auto scaled = hn::MulHigh(x, hn::Set(d16, 65281));
        return hn::DemoteTo(half, hn::BitCast(di16, hn::ShiftRight<8>(
                                                            hn::Add(scaled, hn::Set(d16, 128)))));
    };
    const size_t pixels = hn::Lanes(d16) / 2;
    size_t i = 0;
    for (; i + pixels <= count; i += pixels) {
        const uint8_t *from = in + 8 * i;
        prefetchTurn(from, 8 * pixels);
        const auto low = to8Bit(hn::LoadU(d16, reinterpret_cast<const uint16_t *>(from)));
        const auto high =
                to8Bit(hn::LoadU(d16, reinterpret_cast<const uint16_t *>(from + 4 * pixels)));
        const auto rgba = hn::Combine(d8, high, low);
        hn::StoreU(hn::BitCast(d32, hn::TableLookupBytes(rgba, swapIndex)), d32, out + i);
    }
    for (; i < count; ++i) {
        uint16_t c[4];
        std::memcpy(c, in + 8 * i, sizeof c);
        out[i] = narrowedChannel(c[3]) << 24 | narrowedChannel(c[0]) << 16
                 | narrowedChannel(c[1]) << 8 | narrowedChannel(c[2]);
    }
}

// 257 v is v in both bytes of a 16-bit channel: the bytes of the words
// widened to 16 bits in order, then one byte shuffle puts each pixel's
// channels in place, twice each, and the alpha set.
HWY_INLINE void storeRgba64(const uint32_t *in, uint8_t *out, size_t count)
{
    const hn::ScalableTag<uint16_t> d16;
    const hn::Rebind<uint8_t, decltype(d16)> half;
    const hn::Repartition<uint8_t, decltype(d16)> d8;
    constexpr uint8_t Z = 0x80;
    static constexpr ShuffleIndex spread =
            repeated({4, 4, 2, 2, 0, 0, Z, Z, 12, 12, 10, 10, 8, 8, Z, Z});
    static constexpr ShuffleIndex alpha =
            repeated({0, 0, 0, 0, 0, 0, 0xff, 0xff, 0, 0, 0, 0, 0, 0, 0xff, 0xff});
    const auto spreadIndex = shuffleIndex(d8, spread);
    const auto opaque = shuffleIndex(d8, alpha);
    const size_t pixels = hn::Lanes(d16) / 4;
    size_t i = 0;
    for (; i + pixels <= count; i += pixels) {
        uint8_t *to = out + 8 * i;
        prefetchTurn(to, 8 * pixels);
        const auto wide =
                hn::BitCast(d8,
                            hn::PromoteTo(d16, hn::LoadU(half, reinterpret_cast<const uint8_t *>(
                                                                       in + i))));
        hn::StoreU(hn::Or(hn::TableLookupBytesOr0(wide, spreadIndex), opaque), d8, to);
    }
    for (; i < count; ++i)
        storeRgba64Pixel(in[i], out + 8 * i);
}

#else // the portable fallback

// One emulated lane after another, the float detour and its checks cost
// more than the double arithmetic itself, so the fallback does just that.

template<bool RedFirst>
void adjustWords(const uint32_t *in, uint32_t *out, size_t count, const PreparedAdjustment &a)
{
    for (size_t i = 0; i < count; ++i)
        out[i] = exactlyAdjusted<RedFirst>(in[i], a);
}

template<bool RedFirst>
void grayscaleWords(const uint32_t *in, uint32_t *out, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        out[i] = Exact::grayPixel(inOrder<RedFirst>(in[i]));
}

void invertRow(const uint32_t *in, uint32_t *out, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        out[i] = ~in[i] | 0xff000000u;
}

template<bool Reversed>
void fetchThreeBytes(const uint8_t *in, uint32_t *out, size_t count)
{
    for (size_t i = 0; i < count; ++i, in += 3) {
        const uint32_t r = Reversed ? in[2] : in[0];
        const uint32_t b = Reversed ? in[0] : in[2];
        out[i] = 0xff000000u | r << 16 | uint32_t(in[1]) << 8 | b;
    }
}

template<bool Reversed>
void storeThreeBytes(const uint32_t *in, uint8_t *out, size_t count)
{
    for (size_t i = 0; i < count; ++i, out += 3) {
        out[Reversed ? 2 : 0] = uint8_t(in[i] >> 16);
        out[1] = uint8_t(in[i] >> 8);
        out[Reversed ? 0 : 2] = uint8_t(in[i]);
    }
}

void storeRgba(const uint32_t *in, uint8_t *out, size_t count)
{
    for (size_t i = 0; i < count; ++i, out += 4) {
        out[0] = uint8_t(in[i] >> 16);
        out[1] = uint8_t(in[i] >> 8);
        out[2] = uint8_t(in[i]);
        out[3] = 0xff;
    }
}

void storeRgba64(const uint32_t *in, uint8_t *out, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        storeRgba64Pixel(in[i], out + 8 * i);
}

void fetchRgba64(const uint8_t *in, uint32_t *out, size_t count)
{
    for (size_t i = 0; i < count; ++i, in += 8) {
        uint16_t c[4];
        std::memcpy(c, in, sizeof c);
        out[i] = narrowedChannel(c[3]) << 24 | narrowedChannel(c[0]) << 16
                 | narrowedChannel(c[1]) << 8 | narrowedChannel(c[2]);
    }
}

#endif

void adjustRow(const uint32_t *in, uint32_t *out, size_t count, const PreparedAdjustment &prepared)
{
    adjustWords<false>(in, out, count, prepared);
}

void adjustRgbaRow(const uint32_t *in, uint32_t *out, size_t count,
                   const PreparedAdjustment &prepared)
{
    adjustWords<true>(in, out, count, prepared);
}

void grayscaleRow(const uint32_t *in, uint32_t *out, size_t count)
{
    grayscaleWords<false>(in, out, count);
}

void grayscaleRgbaRow(const uint32_t *in, uint32_t *out, size_t count)
{
    grayscaleWords<true>(in, out, count);
}

bool opaqueRow(const uint32_t *row, size_t count)
{
    const DU du;
    const size_t lanes = hn::Lanes(du);
    auto all = hn::Set(du, ~0u);
    size_t i = 0;
    for (; i + lanes <= count; i += lanes)
        all = hn::And(all, hn::LoadU(du, row + i));
    uint32_t rest = ~0u;
    for (; i < count; ++i)
        rest &= row[i];
    const auto alpha = hn::Set(du, 0xff000000u);
    return (rest >> 24) == 0xff && hn::AllTrue(du, hn::Eq(hn::And(all, alpha), alpha));
}

bool opaqueRgba64Row(const uint8_t *in, size_t count)
{
    // A pixel in a 64-bit lane has its alpha word in the upper 16 bits.
    const hn::ScalableTag<uint64_t> d64;
    const size_t lanes = hn::Lanes(d64);
    auto all = hn::Set(d64, ~uint64_t(0));
    size_t i = 0;
    for (; i + lanes <= count; i += lanes)
        all = hn::And(all, hn::LoadU(d64, reinterpret_cast<const uint64_t *>(in + 8 * i)));
    uint64_t rest = ~uint64_t(0);
    for (; i < count; ++i) {
        uint64_t pixel;
        std::memcpy(&pixel, in + 8 * i, sizeof pixel);
        rest &= pixel;
    }
    return (rest >> 48) == 0xffff
           && hn::AllTrue(d64, hn::Eq(hn::ShiftRight<48>(all), hn::Set(d64, 0xffff)));
}

void lookUpBytesRow(const uint8_t *in, uint8_t *out, size_t count, const uint8_t *table)
{
    size_t i = 0;
#if HWY_TARGET == HWY_AVX3_DL
    // 64 bytes at a time; elsewhere one by one. (6000x4000 Grayscale8
    // adjust: 7.6 ms by the same loop inline in the row driver; 4.2 ms one
    // by one here, 1.0 at AVX3_DL.)
    const ByteTable lookUp(table);
    for (; i + 64 <= count; i += 64) {
        prefetchAhead(in + i);
        prefetchAhead(out + i);
        _mm512_storeu_si512(out + i, lookUp(_mm512_loadu_si512(in + i)));
    }
#endif
    for (; i < count; ++i)
        out[i] = table[in[i]];
}

void fetchRgba64Row(const uint8_t *in, uint32_t *out, size_t count)
{
    fetchRgba64(in, out, count);
}

void storeRgba64Row(const uint32_t *in, uint8_t *out, size_t count)
{
    storeRgba64(in, out, count);
}

void storeRgba8888Row(const uint32_t *in, uint8_t *out, size_t count)
{
    storeRgba(in, out, count);
}

void fetchRgb888Row(const uint8_t *in, uint32_t *out, size_t count)
{
    fetchThreeBytes<false>(in, out, count);
}

void storeRgb888Row(const uint32_t *in, uint8_t *out, size_t count)
{
    storeThreeBytes<false>(in, out, count);
}

void fetchBgr888Row(const uint8_t *in, uint32_t *out, size_t count)
{
    fetchThreeBytes<true>(in, out, count);
}

void storeBgr888Row(const uint32_t *in, uint8_t *out, size_t count)
{
    storeThreeBytes<true>(in, out, count);
}

// Where sum index k (pixel k / 4, channel k % 4) is stored: each pair of
// pixels interleaved by channel, so that one signed 16-bit multiply-add
// weighs the two columns of a pair (see weighedColumns).
constexpr size_t pairedIndex(size_t k)
{
    return (k & ~size_t(7)) | ((k & 3) << 1) | ((k >> 2) & 1);
}

void accumulateRow(const uint8_t *const *rows, const uint16_t *weights, size_t rowCount,
                   uint16_t *HWY_RESTRICT sum, size_t count)
{
    // Each vector of sums is made in a register from all the rows at once,
    // so that every byte is read once and every sum written once; four at a
    // time, so that each row is read 4 vectors' worth at once and its lines
    // ahead asked for. (Slider step at zoom 0.168 on 6000x4000, where these
    // sums are made as the rows are adjusted: 10.7 ms with one vector at a
    // time, without prefetches; 9.1 ms so, against 7.0 at zoom 1.)
    size_t k = 0;
#if HWY_TARGET != HWY_SCALAR
    const hn::ScalableTag<uint16_t> d16;
    const hn::Rebind<uint8_t, decltype(d16)> d8;
    const hn::Repartition<uint8_t, decltype(d16)> bytes;
    const size_t lanes = hn::Lanes(d16);
    alignas(16) static constexpr uint8_t interleave[16] = {0, 1, 8,  9,  2, 3, 10, 11,
                                                           4, 5, 12, 13, 6, 7, 14, 15};
    const auto index = hn::LoadDup128(bytes, interleave);
    const auto store = [&](decltype(hn::Zero(d16)) v, size_t at) {
        hn::StoreU(hn::BitCast(d16, hn::TableLookupBytes(hn::BitCast(bytes, v), index)), d16,
                   sum + at);
    };
    for (; k + 4 * lanes <= count; k += 4 * lanes) {
        auto v0 = hn::Set(d16, SumBias);
        auto v1 = v0;
        auto v2 = v0;
        auto v3 = v0;
        for (size_t r = 0; r < rowCount; ++r) {
            const uint8_t *row = rows[r] + k;
            for (size_t line = 0; line < 4 * lanes; line += 64)
                prefetchAhead(row + line);
            const auto w = hn::Set(d16, weights[r]);
            v0 = hn::Add(v0, hn::Mul(hn::PromoteTo(d16, hn::LoadU(d8, row)), w));
            v1 = hn::Add(v1, hn::Mul(hn::PromoteTo(d16, hn::LoadU(d8, row + lanes)), w));
            v2 = hn::Add(v2, hn::Mul(hn::PromoteTo(d16, hn::LoadU(d8, row + 2 * lanes)), w));
            v3 = hn::Add(v3, hn::Mul(hn::PromoteTo(d16, hn::LoadU(d8, row + 3 * lanes)), w));
        }
        store(v0, k);
        store(v1, k + lanes);
        store(v2, k + 2 * lanes);
        store(v3, k + 3 * lanes);
    }
    for (; k + lanes <= count; k += lanes) {
        auto v = hn::Set(d16, SumBias);
        for (size_t r = 0; r < rowCount; ++r)
            v = hn::Add(v, hn::Mul(hn::PromoteTo(d16, hn::LoadU(d8, rows[r] + k)),
                                   hn::Set(d16, weights[r])));
        store(v, k);
    }
#endif
    for (; k < count; ++k) {
        uint16_t v = SumBias;
        for (size_t r = 0; r < rowCount; ++r)
            v = uint16_t(v + weights[r] * rows[r][k]);
        sum[pairedIndex(k)] = v;
    }
}

#if HWY_TARGET != HWY_SCALAR
// Each vector of a grid pixel's paired sums, 16 bytes a pair of columns,
// multiplied by the pairs' weights and added in signed 16-bit multiply-adds:
// each 32-bit lane gets one channel of a pair of columns. The biased sums
// are taken as they are; the bias comes back out as 256 * 32768 (the weights
// add up to 256). The weights of a pair are one 32-bit word, spread over its
// block: a broadcast of the word where vectors are one block, else a byte
// shuffle of the vector's pairs, broadcast from 16 bytes.
template<class D32>
HWY_INLINE hn::Vec<D32> weighedColumns(D32 d32, const uint16_t *HWY_RESTRICT p,
                                       const uint16_t *HWY_RESTRICT w, hn::Vec<D32> v)
{
    const hn::Repartition<int16_t, D32> d16;
    const hn::Repartition<uint8_t, D32> d8;
    const hn::RebindToUnsigned<D32> du32;
    hn::Vec<D32> weights;
    if constexpr (hn::MaxLanes(d32) == 4) {
        uint32_t pair;
        std::memcpy(&pair, w, sizeof pair);
        weights = hn::BitCast(d32, hn::Set(du32, pair));
    } else {
        // Block i gets pair i (bytes 4i to 4i + 3) in each of its words.
        alignas(64) static constexpr uint8_t pairPerBlock[64] = {0,  1,  2,  3,  0,  1,  2,  3,
                                                                 0,  1,  2,  3,  0,  1,  2,  3,
                                                                 4,  5,  6,  7,  4,  5,  6,  7,
                                                                 4,  5,  6,  7,  4,  5,  6,  7,
                                                                 8,  9,  10, 11, 8,  9,  10, 11,
                                                                 8,  9,  10, 11, 8,  9,  10, 11,
                                                                 12, 13, 14, 15, 12, 13, 14, 15,
                                                                 12, 13, 14, 15, 12, 13, 14, 15};
        weights = hn::BitCast(
                d32, hn::TableLookupBytes(hn::LoadDup128(d8, reinterpret_cast<const uint8_t *>(w)),
                                          hn::Load(d8, pairPerBlock)));
    }
    const auto columnSums = hn::BitCast(d16, hn::LoadU(hn::RebindToUnsigned<decltype(d16)>(), p));
    // Where the products land in the two sums is the target's business
    // until they are rearranged (NEON adds neighbouring lanes of both then),
    // so both start at zero.
    auto odd = hn::Zero(d32);
    const auto products = hn::ReorderWidenMulAccumulate(d32, columnSums, hn::BitCast(d16, weights),
                                                        hn::Zero(d32), odd);
    return hn::Add(v, hn::RearrangeToOddPlusEven(products, odd));
}

// One grid pixel from its taps columns (a multiple of 2): on x86 the widest
// vectors first, 8 columns to 64 bytes, then their halves are added and the
// rest taken a half as wide; each 128-bit block ends up with the pixel's four
// channel sums of its columns. (With 16 bytes at a time and the sums
// interleaved by a byte shuffle here, a slider step at zoom 0.168 on
// 6000x4000 took 1.30-1.32 times the step at zoom 1 at AVX3_DL, this
// kernel 8.2% of it; so, with reduceFourColumns, 1.25-1.27 and 4.6%. At
// AVX2 and SSE4 no change beyond noise.)
template<class Taps>
HWY_INLINE void reduceColumn(const uint16_t *HWY_RESTRICT p, const uint16_t *HWY_RESTRICT w,
                             Taps taps, uint8_t *HWY_RESTRICT out)
{
    const hn::Full128<int32_t> d128;
    size_t j = 0;
    // 32768 more per channel rounds the result.
    auto v = hn::Set(d128, 257 * 32768);
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
    if (size_t(taps) >= 8) {
        const hn::Full512<int32_t> d512;
        auto wide = hn::Zero(d512);
        for (; j + 8 <= size_t(taps); j += 8)
            wide = weighedColumns(d512, p + j * 4, w + j, wide);
        const hn::Full256<int32_t> d256;
        const auto half = hn::Add(hn::LowerHalf(d256, wide), hn::UpperHalf(d256, wide));
        v = hn::Add(v, hn::Add(hn::LowerHalf(d128, half), hn::UpperHalf(d128, half)));
    }
#endif
#if HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
    if (size_t(taps) - j >= 4) {
        const hn::Full256<int32_t> d256;
        auto wide = hn::Zero(d256);
        for (; j + 4 <= size_t(taps); j += 4)
            wide = weighedColumns(d256, p + j * 4, w + j, wide);
        v = hn::Add(v, hn::Add(hn::LowerHalf(d128, wide), hn::UpperHalf(d128, wide)));
    }
#endif
    for (; j < size_t(taps); j += 2)
        v = weighedColumns(d128, p + j * 4, w + j, v);
    const hn::Rebind<uint8_t, decltype(d128)> bytes;
    hn::StoreU(hn::DemoteTo(bytes, hn::ShiftRight<16>(v)), bytes, out);
}

#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
// Four grid pixels at a time where their columns fill whole 512-bit vectors:
// each pixel's vector holds four blocks of its channel sums, added block by
// block for all four pixels in two rounds of block shuffles, where one
// pixel at a time took two extractions and two additions of its own.
template<class Taps>
HWY_INLINE void reduceFourColumns(const uint16_t *HWY_RESTRICT sums, int origin,
                                  const ReductionSpan *HWY_RESTRICT columns,
                                  const uint16_t *HWY_RESTRICT weights, Taps taps,
                                  uint8_t *HWY_RESTRICT out)
{
    const hn::Full512<int32_t> d;
    const auto column = [&](size_t i) {
        const uint16_t *p = sums + size_t(columns[i].first - origin) * 4;
        const uint16_t *w = weights + columns[i].weights;
        // A quarter of the rounding in each block.
        auto sum = hn::Set(d, 257 * 32768 / 4);
        for (size_t j = 0; j < size_t(taps); j += 8)
            sum = weighedColumns(d, p + j * 4, w + j, sum);
        return sum.raw;
    };
    // Blocks 0 and 1 of the first vector and of the second, plus blocks 2
    // and 3; then the first and third block of the two sums, plus the
    // second and fourth.
    const auto halves = [](__m512i a, __m512i b) {
        return _mm512_add_epi32(_mm512_shuffle_i32x4(a, b, 0x44), _mm512_shuffle_i32x4(a, b, 0xee));
    };
    const __m512i ab = halves(column(0), column(1));
    const __m512i cd = halves(column(2), column(3));
    const __m512i all = _mm512_add_epi32(_mm512_shuffle_i32x4(ab, cd, 0x88),
                                         _mm512_shuffle_i32x4(ab, cd, 0xdd));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out),
                     _mm512_cvtepi32_epi8(_mm512_srli_epi32(all, 16)));
}
#endif

// run(taps), with taps as a std::integral_constant where it is an even
// number from Taps to 16, else as it is.
template<int Taps = 2, class Run>
HWY_INLINE void withEvenTaps(int taps, const Run &run)
{
    if constexpr (Taps <= 16) {
        if (taps == Taps)
            return run(std::integral_constant<int, Taps>());
        return withEvenTaps<Taps + 2>(taps, run);
    } else {
        run(taps);
    }
}
#endif

void reduceColumnsRow(const uint16_t *HWY_RESTRICT sums, int origin,
                      const ReductionSpan *HWY_RESTRICT columns, size_t count,
                      const uint16_t *HWY_RESTRICT weights, uint8_t *HWY_RESTRICT out)
{
    if (count == 0)
        return;
#if HWY_TARGET == HWY_SCALAR
    for (size_t x = 0; x < count; ++x) {
        const ReductionSpan &column = columns[x];
        const uint16_t *p = sums + size_t(column.first - origin) * 4;
        const uint16_t *w = weights + column.weights;
        uint32_t v[4] = {0, 0, 0, 0};
        for (int j = 0; j < column.count; ++j) {
            for (int c = 0; c < 4; ++c)
                v[c] += uint32_t(w[j]) * uint32_t(p[pairedIndex(size_t(j * 4 + c))] ^ SumBias);
        }
        for (int c = 0; c < 4; ++c)
            out[x * 4 + size_t(c)] = uint8_t((v[c] + 32768) >> 16);
    }
#else
    // Every span has the same even length. The usual lengths (zooms down to
    // about 1/14) are constants, so that the compiler unrolls the loop over
    // the columns.
    withEvenTaps(columns[0].count, [&](auto taps) {
        size_t x = 0;
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
        if (size_t(taps) % 8 == 0) {
            for (; x + 4 <= count; x += 4)
                reduceFourColumns(sums, origin, columns + x, weights, taps, out + x * 4);
        }
#endif
        for (; x < count; ++x) {
            reduceColumn(sums + size_t(columns[x].first - origin) * 4, weights + columns[x].weights,
                         taps, out + x * 4);
        }
    });
#endif
}

// The colour conversion of ColorTables, in float, on every target alike:
// six table lookups per pixel, gathered where the target has gathers.
struct ConvertingColors
{
    const ColorTables &t;
    HWY_INLINE VU operator()(VU pixels) const
    {
        const DF df;
        const DI di;
        const VI p = hn::BitCast(di, pixels);
        const VI byte = hn::Set(di, 0xff);
        return fromLinear(hn::GatherIndex(df, t.decode[0], hn::And(hn::ShiftRight<16>(p), byte)),
                          hn::GatherIndex(df, t.decode[1], hn::And(hn::ShiftRight<8>(p), byte)),
                          hn::GatherIndex(df, t.decode[2], hn::And(p, byte)));
    }

    // Opaque words from the channels in linear light.
    HWY_INLINE VU fromLinear(VF r, VF g, VF b) const
    {
        const DF df;
        const DI di;
        const auto encoded = [&](int c) {
            const float *m = t.matrix + 3 * size_t(c);
            const VF x =
                    hn::MulAdd(hn::Set(df, m[2]), b,
                               hn::MulAdd(hn::Set(df, m[1]), g, hn::Mul(hn::Set(df, m[0]), r)));
            const VF scaled = hn::Min(hn::Max(hn::Mul(x, hn::Set(df, 65535.0f)), hn::Zero(df)),
                                      hn::Set(df, 65535.0f));
            return hn::GatherIndex(di, t.encode[c], hn::NearestInt(scaled));
        };
        const VI red = hn::ShiftLeft<16>(encoded(0));
        const VI green = hn::ShiftLeft<8>(encoded(1));
        return hn::BitCast(DU(), hn::Or(hn::Or(hn::Set(di, int32_t(0xff000000u)), red),
                                        hn::Or(green, encoded(2))));
    }
};

#if HWY_TARGET == HWY_AVX3_DL
// As ConvertingColors where the channels share their decoding table: its
// floats' four bytes looked up for all 64 bytes of a vector at once, then
// each channel's four bytes put together by two byte permutes and a blend
// (in place of three gathers; a 1000x650 view from Adobe RGB on one Zen 4
// thread, 2.01 to 1.73 ms).
struct ConvertingSharedCurve
{
    const ColorTables &t;
    const ByteTable plane[4] = {ByteTable(t.decodeBytes[0]), ByteTable(t.decodeBytes[1]),
                                ByteTable(t.decodeBytes[2]), ByteTable(t.decodeBytes[3])};
    ConvertingColors rest{t};

    // Channel byte C of each pixel, from the looked-up planes: bytes 0 and 1
    // of its float from planes 0 and 1, bytes 2 and 3 from planes 2 and 3.
    template<int C>
    static HWY_INLINE __m512i channelFloats(const __m512i (&bytes)[4])
    {
        static constexpr auto index = [] {
            std::array<uint8_t, 64> i{};
            for (int k = 0; k < 64; ++k)
                i[size_t(k)] = uint8_t((k & ~3) + C + (k % 2 == 1 ? 64 : 0));
            return i;
        }();
        const __m512i at = _mm512_loadu_si512(index.data());
        return _mm512_mask_blend_epi8(0xccccccccccccccccULL,
                                      _mm512_permutex2var_epi8(bytes[0], at, bytes[1]),
                                      _mm512_permutex2var_epi8(bytes[2], at, bytes[3]));
    }

    HWY_INLINE VU operator()(VU pixels) const
    {
        const __m512i bytes[4] = {plane[0](pixels.raw), plane[1](pixels.raw), plane[2](pixels.raw),
                                  plane[3](pixels.raw)};
        return rest.fromLinear(VF{_mm512_castsi512_ps(channelFloats<2>(bytes))},
                               VF{_mm512_castsi512_ps(channelFloats<1>(bytes))},
                               VF{_mm512_castsi512_ps(channelFloats<0>(bytes))});
    }
};
#endif

void convertColorsRow(const uint32_t *in, uint32_t *out, size_t count, const ColorTables &tables)
{
#if HWY_TARGET == HWY_AVX3_DL
    if (tables.sharedDecode) {
        forEachVector(in, out, count, ConvertingSharedCurve{tables});
        return;
    }
#endif
    forEachVector(in, out, count, ConvertingColors{tables});
}

// NOLINTNEXTLINE(google-readability-namespace-comments)
} // namespace HWY_NAMESPACE
} // namespace RowKernels
} // namespace Lumivex
HWY_AFTER_NAMESPACE();

#endif // per-target include guard
