// AVX2 row kernels: eight pixels per step, their doubles four to a register.
// They do the same double operations, in the same order, as the plain C++
// kernels, so the results are identical.
//
// This file is compiled with -mavx2 and is only called after a CPU check.
// It includes nothing but the intrinsics, <cstdint>/<cstddef> and the POD
// row header (see adjustrow.h for why), and every helper here has internal
// linkage.
#include "adjustrow.h"

#include <immintrin.h>

namespace Lumivex {
namespace Rows {

namespace {

struct Constants
{
    __m256d wr = _mm256_set1_pd(0.299);
    __m256d wg = _mm256_set1_pd(0.587);
    __m256d wb = _mm256_set1_pd(0.114);
    __m256i byteMask = _mm256_set1_epi32(0xff);
    __m256i opaque = _mm256_set1_epi32(int(0xff000000u));
    __m256i zero = _mm256_setzero_si256();
    __m256i max = _mm256_set1_epi32(255);
};

// Eight int32 lanes to two registers of four doubles.
inline void toDoubles(__m256i v, __m256d &lo, __m256d &hi)
{
    lo = _mm256_cvtepi32_pd(_mm256_castsi256_si128(v));
    hi = _mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1));
}

// Two registers of four doubles to eight int32 lanes, truncating.
inline __m256i toInts(__m256d lo, __m256d hi)
{
    return _mm256_set_m128i(_mm256_cvttpd_epi32(hi), _mm256_cvttpd_epi32(lo));
}

inline __m256i clampByte(__m256i v, const Constants &c)
{
    return _mm256_min_epi32(_mm256_max_epi32(v, c.zero), c.max);
}

inline __m256d luma(__m256d r, __m256d g, __m256d b, const Constants &c)
{
    return _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(c.wr, r), _mm256_mul_pd(c.wg, g)),
                         _mm256_mul_pd(c.wb, b));
}

// clamp(int(value - 128) * F + 128.0) + brightness) for eight channel values.
inline __m256i contrasted(__m256i v, __m256d f, __m256i brightness, const Constants &c)
{
    const __m256i centred = _mm256_sub_epi32(v, _mm256_set1_epi32(128));
    const __m256d half = _mm256_set1_pd(128.0);
    __m256d lo, hi;
    toDoubles(centred, lo, hi);
    lo = _mm256_add_pd(_mm256_mul_pd(lo, f), half);
    hi = _mm256_add_pd(_mm256_mul_pd(hi, f), half);
    return clampByte(_mm256_add_epi32(toInts(lo, hi), brightness), c);
}

// clamp(int((channel - L) * K + L)) for eight channels given as doubles.
inline __m256i saturated(__m256d lo, __m256d hi, __m256d lLo, __m256d lHi, __m256d k,
                         const Constants &c)
{
    lo = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(lo, lLo), k), lLo);
    hi = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(hi, lHi), k), lHi);
    return clampByte(toInts(lo, hi), c);
}

inline __m256i adjustEight(__m256i p, const AdjustParams &params, const Constants &c)
{
    const __m256d f = _mm256_set1_pd(params.contrast);
    const __m256d k = _mm256_set1_pd(params.saturation);
    const __m256i brightness = _mm256_set1_epi32(params.brightness);

    const __m256i r =
            contrasted(_mm256_and_si256(_mm256_srli_epi32(p, 16), c.byteMask), f, brightness, c);
    const __m256i g =
            contrasted(_mm256_and_si256(_mm256_srli_epi32(p, 8), c.byteMask), f, brightness, c);
    const __m256i b = contrasted(_mm256_and_si256(p, c.byteMask), f, brightness, c);

    __m256d rLo, rHi, gLo, gHi, bLo, bHi;
    toDoubles(r, rLo, rHi);
    toDoubles(g, gLo, gHi);
    toDoubles(b, bLo, bHi);
    const __m256d lLo = luma(rLo, gLo, bLo, c);
    const __m256d lHi = luma(rHi, gHi, bHi, c);

    const __m256i r2 = saturated(rLo, rHi, lLo, lHi, k, c);
    const __m256i g2 = saturated(gLo, gHi, lLo, lHi, k, c);
    const __m256i b2 = saturated(bLo, bHi, lLo, lHi, k, c);
    return _mm256_or_si256(_mm256_or_si256(c.opaque, _mm256_slli_epi32(r2, 16)),
                           _mm256_or_si256(_mm256_slli_epi32(g2, 8), b2));
}

inline __m256i grayEight(__m256i p, const Constants &c)
{
    __m256d rLo, rHi, gLo, gHi, bLo, bHi;
    toDoubles(_mm256_and_si256(_mm256_srli_epi32(p, 16), c.byteMask), rLo, rHi);
    toDoubles(_mm256_and_si256(_mm256_srli_epi32(p, 8), c.byteMask), gLo, gHi);
    toDoubles(_mm256_and_si256(p, c.byteMask), bLo, bHi);
    const __m256i gray = toInts(luma(rLo, gLo, bLo, c), luma(rHi, gHi, bHi, c));
    return _mm256_or_si256(c.opaque, _mm256_mullo_epi32(gray, _mm256_set1_epi32(0x010101)));
}

inline __m256i invertEight(__m256i p, const Constants &c)
{
    return _mm256_or_si256(_mm256_xor_si256(p, _mm256_set1_epi32(-1)), c.opaque);
}

// Runs op over whole groups of eight, then over the last partial group
// through a small buffer.
template<typename Op>
inline void forEachEight(const uint32_t *in, uint32_t *out, size_t count, Op op)
{
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i), op(p));
    }
    if (i < count) {
        alignas(32) uint32_t tail[8] = {};
        const size_t rest = count - i;
        for (size_t j = 0; j < rest; ++j)
            tail[j] = in[i + j];
        const __m256i p = _mm256_load_si256(reinterpret_cast<const __m256i *>(tail));
        _mm256_store_si256(reinterpret_cast<__m256i *>(tail), op(p));
        for (size_t j = 0; j < rest; ++j)
            out[i + j] = tail[j];
    }
}

} // namespace

void adjustRowAvx2(const uint32_t *in, uint32_t *out, size_t count, const AdjustParams &params)
{
    const Constants c;
    forEachEight(in, out, count, [&](__m256i p) { return adjustEight(p, params, c); });
}

void grayscaleRowAvx2(const uint32_t *in, uint32_t *out, size_t count)
{
    const Constants c;
    forEachEight(in, out, count, [&](__m256i p) { return grayEight(p, c); });
}

void invertRowAvx2(const uint32_t *in, uint32_t *out, size_t count)
{
    const Constants c;
    forEachEight(in, out, count, [&](__m256i p) { return invertEight(p, c); });
}

} // namespace Rows
} // namespace Lumivex
