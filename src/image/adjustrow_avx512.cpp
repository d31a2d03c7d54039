// AVX-512 row kernels: sixteen pixels per step, their doubles eight to a
// register. They do the same double operations, in the same order, as the
// plain C++ kernels, so the results are identical.
//
// This file is compiled with -mavx512f -mavx512bw -mavx512vl and is only
// called after a CPU check. It includes nothing but the intrinsics,
// <cstdint>/<cstddef> and the POD row header (see adjustrow.h for why), and
// every helper here has internal linkage.
#include "adjustrow.h"

// GCC 12's AVX-512 intrinsics header reads deliberately undefined registers
// (GCC bug 105593), which -Wuninitialized reports once they are inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

namespace Lumivex {
namespace Rows {

namespace {

struct Constants
{
    __m512d wr = _mm512_set1_pd(0.299);
    __m512d wg = _mm512_set1_pd(0.587);
    __m512d wb = _mm512_set1_pd(0.114);
    __m512i byteMask = _mm512_set1_epi32(0xff);
    __m512i opaque = _mm512_set1_epi32(int(0xff000000u));
    __m512i zero = _mm512_setzero_si512();
    __m512i max = _mm512_set1_epi32(255);
};

// Sixteen int32 lanes to two registers of eight doubles.
inline void toDoubles(__m512i v, __m512d &lo, __m512d &hi)
{
    lo = _mm512_cvtepi32_pd(_mm512_castsi512_si256(v));
    hi = _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(v, 1));
}

// Two registers of eight doubles to sixteen int32 lanes, truncating.
inline __m512i toInts(__m512d lo, __m512d hi)
{
    return _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvttpd_epi32(lo)),
                              _mm512_cvttpd_epi32(hi), 1);
}

inline __m512i clampByte(__m512i v, const Constants &c)
{
    return _mm512_min_epi32(_mm512_max_epi32(v, c.zero), c.max);
}

inline __m512d luma(__m512d r, __m512d g, __m512d b, const Constants &c)
{
    return _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(c.wr, r), _mm512_mul_pd(c.wg, g)),
                         _mm512_mul_pd(c.wb, b));
}

// The contrast and brightness steps as a table of 256 16-bit entries held in
// eight registers (AdjustParams::contrasted, widened).
struct ContrastTable
{
    __m512i part[8];

    explicit ContrastTable(const AdjustParams &params)
    {
        for (int i = 0; i < 8; ++i) {
            part[i] = _mm512_cvtepu8_epi16(_mm256_loadu_si256(
                    reinterpret_cast<const __m256i *>(params.contrasted + 32 * ptrdiff_t(i))));
        }
    }

    // Looks up 32 16-bit indexes, each 0..255: each two-register permute
    // covers 64 entries, bits 6 and 7 of the index pick among the four.
    __m512i operator()(__m512i index) const
    {
        const __mmask32 bit6 = _mm512_test_epi16_mask(index, _mm512_set1_epi16(0x40));
        const __mmask32 bit7 = _mm512_test_epi16_mask(index, _mm512_set1_epi16(0x80));
        const __m512i q0 = _mm512_permutex2var_epi16(part[0], index, part[1]);
        const __m512i q1 = _mm512_permutex2var_epi16(part[2], index, part[3]);
        const __m512i q2 = _mm512_permutex2var_epi16(part[4], index, part[5]);
        const __m512i q3 = _mm512_permutex2var_epi16(part[6], index, part[7]);
        return _mm512_mask_blend_epi16(bit7, _mm512_mask_blend_epi16(bit6, q0, q1),
                                       _mm512_mask_blend_epi16(bit6, q2, q3));
    }
};

// clamp(int((channel - L) * K + L)) for sixteen channels given as doubles.
inline __m512i saturated(__m512d lo, __m512d hi, __m512d lLo, __m512d lHi, __m512d k,
                         const Constants &c)
{
    lo = _mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(lo, lLo), k), lLo);
    hi = _mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(hi, lHi), k), lHi);
    return clampByte(toInts(lo, hi), c);
}

inline __m512i adjustSixteen(__m512i p, const ContrastTable &contrasted, __m512d k,
                             const Constants &c)
{
    // 16-bit lanes: blue and red in one lookup, green (and alpha) in the other.
    const __m512i blueRed = contrasted(_mm512_and_si512(p, _mm512_set1_epi32(0x00ff00ff)));
    const __m512i greenAlpha = contrasted(_mm512_srli_epi16(p, 8));
    const __m512i wordMask = _mm512_set1_epi32(0xffff);
    const __m512i r = _mm512_srli_epi32(blueRed, 16);
    const __m512i g = _mm512_and_si512(greenAlpha, wordMask);
    const __m512i b = _mm512_and_si512(blueRed, wordMask);

    __m512d rLo, rHi, gLo, gHi, bLo, bHi;
    toDoubles(r, rLo, rHi);
    toDoubles(g, gLo, gHi);
    toDoubles(b, bLo, bHi);
    const __m512d lLo = luma(rLo, gLo, bLo, c);
    const __m512d lHi = luma(rHi, gHi, bHi, c);

    const __m512i r2 = saturated(rLo, rHi, lLo, lHi, k, c);
    const __m512i g2 = saturated(gLo, gHi, lLo, lHi, k, c);
    const __m512i b2 = saturated(bLo, bHi, lLo, lHi, k, c);
    return _mm512_or_si512(_mm512_or_si512(c.opaque, _mm512_slli_epi32(r2, 16)),
                           _mm512_or_si512(_mm512_slli_epi32(g2, 8), b2));
}

inline __m512i graySixteen(__m512i p, const Constants &c)
{
    __m512d rLo, rHi, gLo, gHi, bLo, bHi;
    toDoubles(_mm512_and_si512(_mm512_srli_epi32(p, 16), c.byteMask), rLo, rHi);
    toDoubles(_mm512_and_si512(_mm512_srli_epi32(p, 8), c.byteMask), gLo, gHi);
    toDoubles(_mm512_and_si512(p, c.byteMask), bLo, bHi);
    const __m512i gray = toInts(luma(rLo, gLo, bLo, c), luma(rHi, gHi, bHi, c));
    return _mm512_or_si512(c.opaque, _mm512_mullo_epi32(gray, _mm512_set1_epi32(0x010101)));
}

inline __m512i invertSixteen(__m512i p, const Constants &c)
{
    return _mm512_or_si512(_mm512_xor_si512(p, _mm512_set1_epi32(-1)), c.opaque);
}

// Runs op over whole groups of sixteen, then over the last partial group
// with masked loads and stores.
template<typename Op>
inline void forEachSixteen(const uint32_t *in, uint32_t *out, size_t count, Op op)
{
    size_t i = 0;
    for (; i + 16 <= count; i += 16)
        _mm512_storeu_si512(out + i, op(_mm512_loadu_si512(in + i)));
    if (i < count) {
        const __mmask16 mask = __mmask16((1u << (count - i)) - 1u);
        const __m512i p = _mm512_maskz_loadu_epi32(mask, in + i);
        _mm512_mask_storeu_epi32(out + i, mask, op(p));
    }
}

} // namespace

void adjustRowAvx512(const uint32_t *in, uint32_t *out, size_t count, const AdjustParams &params)
{
    const Constants c;
    const ContrastTable contrasted(params);
    const __m512d k = _mm512_set1_pd(params.saturation);
    forEachSixteen(in, out, count, [&](__m512i p) { return adjustSixteen(p, contrasted, k, c); });
}

void grayscaleRowAvx512(const uint32_t *in, uint32_t *out, size_t count)
{
    const Constants c;
    forEachSixteen(in, out, count, [&](__m512i p) { return graySixteen(p, c); });
}

void invertRowAvx512(const uint32_t *in, uint32_t *out, size_t count)
{
    const Constants c;
    forEachSixteen(in, out, count, [&](__m512i p) { return invertSixteen(p, c); });
}

} // namespace Rows
} // namespace Lumivex
