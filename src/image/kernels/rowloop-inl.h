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

#include <hwy/highway.h>

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

// Runs op over count pixels, whole vectors first. The pixels that do not
// fill a vector go through one in a buffer, so nothing outside the row is
// read or written. (Streamed stores, bypassing the caches, made a 6000x4000
// adjustment 15% slower on the machine it was measured on.)
template<class Op>
HWY_INLINE void forEachVector(const uint32_t *in, uint32_t *out, size_t count, const Op &op)
{
    const DU du;
    const size_t lanes = hn::Lanes(du);
    size_t i = 0;
    for (; i + lanes <= count; i += lanes)
        hn::StoreU(op(hn::LoadU(du, in + i)), du, out + i);
    if (i < count) {
        HWY_ALIGN uint32_t buffer[hn::MaxLanes(du)] = {};
        std::memcpy(buffer, in + i, (count - i) * sizeof(uint32_t));
        hn::Store(op(hn::Load(du, buffer)), du, buffer);
        std::memcpy(out + i, buffer, (count - i) * sizeof(uint32_t));
    }
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
