// Walking a row of 32-bit pixels in vectors of one Highway target, for
// rowkernels-inl.h: whole vectors, the tail, and lanes redone one by one.

// Per-target include guard, as Highway's re-inclusion wants it.
#if defined(LUMIVEX_ROWLOOP_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef LUMIVEX_ROWLOOP_INL_H_
#undef LUMIVEX_ROWLOOP_INL_H_
#else
#define LUMIVEX_ROWLOOP_INL_H_
#endif

#include "rowkernels.h"

#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

HWY_BEFORE_NAMESPACE();
namespace Lumivex {
namespace RowKernels {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

using DU = hn::ScalableTag<uint32_t>;
using DI = hn::RebindToSigned<DU>;
using DF = hn::RebindToFloat<DU>;
using VU = hn::Vec<DU>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;

// Words in a 64-byte cache line, and how far ahead of the vector at hand
// the lines of both rows are asked for (2 KiB; 0.5 and 4 KiB were slower).
constexpr size_t LineWords = 16;
constexpr uintptr_t AheadBytes = 2048;

// Asks for the cache line AheadBytes past p. It may lie past the row: then
// it is the next row's, which comes next; a prefetch never faults.
template<typename T>
HWY_INLINE void prefetchAhead(const T *p)
{
    hwy::Prefetch(reinterpret_cast<const uint8_t *>(reinterpret_cast<uintptr_t>(p) + AheadBytes));
}

// Runs op over count pixels, whole vectors first, asking for the lines
// ahead once per line of each row. The pixels that do not fill a vector go
// through one in a buffer, so nothing outside the row is read or written.
// (Without the prefetches, the hardware's own prefetching alone kept the
// loads waiting on one machine: a 6000x4000 adjustment on two threads took
// 25 ms at AVX2 and 11 at AVX3_DL, 11.6 and 7.7 with them, against 7.4 for
// the copy floor. On another, with a 512 MB cache, they changed nothing.
// Streamed stores, bypassing the caches, made it 15% slower.)
template<class Op>
HWY_INLINE void forEachVector(const uint32_t *in, uint32_t *out, size_t count, const Op &op)
{
    const DU du;
    const size_t lanes = hn::Lanes(du);
    const size_t line = std::max(lanes, LineWords);
    size_t i = 0;
    while (i + line <= count) {
        prefetchAhead(in + i);
        prefetchAhead(out + i);
        for (const size_t end = i + line; i < end; i += lanes)
            hn::StoreU(op(hn::LoadU(du, in + i)), du, out + i);
    }
    for (; i + lanes <= count; i += lanes)
        hn::StoreU(op(hn::LoadU(du, in + i)), du, out + i);
    if (i < count) {
        HWY_ALIGN uint32_t buffer[hn::MaxLanes(du)] = {};
        std::memcpy(buffer, in + i, (count - i) * sizeof(uint32_t));
        hn::Store(op(hn::Load(du, buffer)), du, buffer);
        std::memcpy(out + i, buffer, (count - i) * sizeof(uint32_t));
    }
}

// Pixels a two-stage loop takes per stage: 1 KiB of results between them.
constexpr size_t StageWords = 256;
static_assert(StageWords % HWY_LANES(uint32_t) == 0 && StageWords % LineWords == 0);

// As forEachVector, for an op in two stages (op.first(pixels), then
// op.second(pixels, first's result); op(pixels) does both): each block of
// StageWords pixels goes through the first stage whole, its results kept
// in a buffer, then through the second. A core only runs ahead as far as
// its queues of operations waiting on their inputs reach, and a vector's
// chain through both stages is long (some 40 cycles): two loops with
// shorter chains keep more vectors in flight. (Adjust in cache on an AMD
// Zen 4 core: 24 cycles per AVX2 vector in one loop, 18 in two. 6000x4000
// adjust on its two threads: AVX2 10.2-10.8 to 8.2 ms, SSE4 18.7 to 15.0.)
template<class Op>
HWY_INLINE void inTwoStages(const uint32_t *in, uint32_t *out, size_t count, const Op &op,
                            uint32_t *firsts)
{
    const DU du;
    const size_t lanes = hn::Lanes(du);
    for (size_t i = 0; i < count; i += lanes) {
        if (i % LineWords == 0) {
            prefetchAhead(in + i);
            prefetchAhead(out + i);
        }
        hn::Store(op.first(hn::LoadU(du, in + i)), du, firsts + i);
    }
    for (size_t i = 0; i < count; i += lanes)
        hn::StoreU(op.second(hn::LoadU(du, in + i), hn::Load(du, firsts + i)), du, out + i);
}

template<class Op>
HWY_INLINE void forEachVectorInTwo(const uint32_t *in, uint32_t *out, size_t count, const Op &op)
{
    const size_t lanes = hn::Lanes(DU());
    HWY_ALIGN uint32_t firsts[StageWords];
    size_t i = 0;
    for (; i + StageWords <= count; i += StageWords)
        inTwoStages(in + i, out + i, StageWords, op, firsts);
    const size_t vectors = (count - i) / lanes * lanes;
    inTwoStages(in + i, out + i, vectors, op, firsts);
    i += vectors;
    forEachVector(in + i, out + i, count - i, op);
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

// NOLINTNEXTLINE(google-readability-namespace-comments)
} // namespace HWY_NAMESPACE
} // namespace RowKernels
} // namespace Lumivex
HWY_AFTER_NAMESPACE();

#endif // per-target include guard
