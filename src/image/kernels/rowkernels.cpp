// Compiles rowkernels-inl.h once per Highway target and lists the results.
//
// Every target Highway can build here is compiled, the portable fallback
// included (HWY_COMPILE_ALL_ATTAINABLE; by default Highway leaves out the
// fallback where the baseline has vectors, as on arm64), and the
// Ice Lake / Zen 4 level AVX3_DL with its byte permutes (HWY_WANT_AVX3_DL).
//
// The targets are chosen from a table of our own rather than through
// HWY_DYNAMIC_DISPATCH and hwy::SetSupportedTargetsForTest: the test hook
// changes process-wide Highway state, shared with any other Highway user in
// the program, and dynamic dispatch reads it at each call, so a cap set while
// rows are running on pool threads would switch targets in mid-image. Here
// the caller reads one target per operation and keeps it.
#define HWY_COMPILE_ALL_ATTAINABLE
#define HWY_WANT_AVX3_DL

#include "rowkernels.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "rowkernels.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include "rowkernels-inl.h"

#if HWY_ONCE

#include "exact.h"

#include <hwy/targets.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>

namespace Lumivex {
namespace RowKernels {

namespace {

// HWY_CHOOSE_X(f) is &N_X::f when target X was compiled, otherwise nullptr.
#define LUMIVEX_TARGET_KERNELS(TARGET, CHOOSE) \
    TargetKernels \
    { \
        TARGET, CHOOSE(adjustRow), CHOOSE(grayscaleRow), CHOOSE(invertRow), CHOOSE(adjustRgbaRow), \
                CHOOSE(grayscaleRgbaRow), CHOOSE(opaqueRow), CHOOSE(fetchRgb888Row), \
                CHOOSE(storeRgb888Row), CHOOSE(fetchBgr888Row), CHOOSE(storeBgr888Row), \
                CHOOSE(storeRgba8888Row), CHOOSE(fetchRgba64Row), CHOOSE(storeRgba64Row), \
                CHOOSE(opaqueRgba64Row), CHOOSE(lookUpBytesRow), CHOOSE(accumulateRow), \
                CHOOSE(reduceColumnsRow), CHOOSE(convertColorsRow) \
    }

#if HWY_TARGETS & HWY_EMU128
constexpr int64_t FallbackTarget = HWY_EMU128;
#else
constexpr int64_t FallbackTarget = HWY_SCALAR;
#endif

// Best first; the architecture's own entries are filled, the others null.
const TargetKernels compiledTargets[] = {
        LUMIVEX_TARGET_KERNELS(HWY_AVX3_DL, HWY_CHOOSE_AVX3_DL),
        LUMIVEX_TARGET_KERNELS(HWY_AVX3, HWY_CHOOSE_AVX3),
        LUMIVEX_TARGET_KERNELS(HWY_AVX2, HWY_CHOOSE_AVX2),
        LUMIVEX_TARGET_KERNELS(HWY_SSE4, HWY_CHOOSE_SSE4),
        LUMIVEX_TARGET_KERNELS(HWY_SSSE3, HWY_CHOOSE_SSSE3),
        LUMIVEX_TARGET_KERNELS(HWY_SVE2_128, HWY_CHOOSE_SVE2_128),
        LUMIVEX_TARGET_KERNELS(HWY_SVE_256, HWY_CHOOSE_SVE_256),
        LUMIVEX_TARGET_KERNELS(HWY_SVE2, HWY_CHOOSE_SVE2),
        LUMIVEX_TARGET_KERNELS(HWY_SVE, HWY_CHOOSE_SVE),
        LUMIVEX_TARGET_KERNELS(HWY_NEON, HWY_CHOOSE_NEON),
        LUMIVEX_TARGET_KERNELS(FallbackTarget, HWY_CHOOSE_FALLBACK),
};

#undef LUMIVEX_TARGET_KERNELS

struct SupportedList
{
    std::array<TargetKernels, std::size(compiledTargets)> kernels{};
    size_t count = 0;
};

SupportedList supportedList()
{
    SupportedList list;
    const int64_t supported = hwy::SupportedTargets();
    for (const TargetKernels &kernels : compiledTargets) {
        if (kernels.adjust && (kernels.target == FallbackTarget || (supported & kernels.target)))
            list.kernels[list.count++] = kernels;
    }
    return list;
}

} // namespace

const TargetKernels *supportedTargets(size_t *count)
{
    static const SupportedList list = supportedList();
    *count = list.count;
    return list.kernels.data();
}

const char *targetName(int64_t target)
{
    return hwy::TargetName(target);
}

namespace {
std::atomic<int64_t> targetLimit{0};
} // namespace

const TargetKernels &activeTargetKernels()
{
    size_t count = 0;
    const TargetKernels *targets = supportedTargets(&count);
    const int64_t limit = targetLimit.load();
    for (size_t i = 0; i < count; ++i) {
        if (targets[i].target >= limit)
            return targets[i];
    }
    return targets[count - 1];
}

void setTargetLimit(int64_t limit)
{
    targetLimit.store(limit);
}

namespace {

// The nibble tables of the contrast and brightness steps (see
// PreparedAdjustment::Nibbles), made from the double results and checked
// against every one of them. For v = 16 h + l, x = (v - 128) F + 128 is
// a + l F with a fixed per h, so floor(x) = floor(a) + floor(l F), plus a
// carry where frac(a) + frac(l F) reaches 1: that is where frac(l F) is
// among the largest, so the carries of each h are the l of a rank or above.
// Here low[l] is the least of floor(x) - floor(a) over h, the rest the
// carry; the carries of each h must be a set of l that holds or is held by
// every other h's, and lowRank[l] counts the h that carry at l. int()
// truncates toward zero, one more than floor() below zero, which is the v
// from 0 up to some bound; the clamp is the saturation of the byte sums.
bool fillNibbles(PreparedAdjustment &a)
{
    PreparedAdjustment::Nibbles &n = a.nibbles;
    int floored[256];
    int up = 0;
    for (int v = 0; v < 256; ++v) {
        const double x = double(v - 128) * a.contrast + 128.0;
        floored[v] = int(std::floor(x));
        if (int(x) != floored[v]) {
            if (up != v)
                return false;
            ++up;
        }
    }
    if (up > 255)
        return false;
    n.truncatedUp = uint8_t(up);
    // floor(x) - floor(a) for v = 16 h + l.
    const auto step = [&floored](int h, int l) {
        const int v = 16 * h;
        return floored[v + l] - floored[v];
    };
    uint16_t carries[16] = {};
    for (int l = 0; l < 16; ++l) {
        int least = 255;
        for (int h = 0; h < 16; ++h)
            least = std::min(least, step(h, l));
        n.low[l] = uint8_t(least);
        for (int h = 0; h < 16; ++h) {
            const int carry = step(h, l) - least;
            if (carry < 0 || carry > 1)
                return false;
            carries[h] |= uint16_t(carry << l);
        }
    }
    const auto within = [](uint16_t inner, uint16_t outer) { return (inner & outer) == inner; };
    for (int h = 0; h < 16; ++h) {
        int holding = 0; // the h whose carries hold these, h itself included
        for (int k = 0; k < 16; ++k) {
            if (!within(carries[h], carries[k]) && !within(carries[k], carries[h]))
                return false;
            holding += within(carries[h], carries[k]);
        }
        // l carries for h if and only if as many h carry at l as hold h's.
        n.highRank[h] = uint8_t(holding - 1);
        const int base = floored[h << 4] + a.brightness;
        n.highAdd[h] = uint8_t(std::clamp(base, 0, 255));
        n.highSub[h] = uint8_t(std::clamp(-base, 0, 255));
    }
    for (int l = 0; l < 16; ++l) {
        n.lowRank[l] = 0;
        for (const uint16_t set : carries)
            n.lowRank[l] += uint8_t(set >> l & 1);
    }
    for (int v = 0; v < 256; ++v) {
        const int h = v >> 4;
        const int l = v & 15;
        const int sum = n.highAdd[h] + n.low[l] + int(n.lowRank[l] > n.highRank[h]) + int(v < up);
        if (std::max(0, std::min(255, sum) - n.highSub[h]) != a.contrasted[v])
            return false;
    }
    return true;
}

} // namespace

PreparedAdjustment prepareAdjustment(double contrast, double saturation, int brightness)
{
    PreparedAdjustment a{};
    a.contrast = contrast;
    a.saturation = saturation;
    a.brightness = brightness;
    a.saturationF = float(a.saturation);
    for (int v = 0; v < 256; ++v) {
        a.contrasted[v] = uint8_t(Exact::contrasted(v, a.contrast, brightness));
        a.neutral[v] = int32_t(Exact::saturatedPixel(v, v, v, a.saturation));
    }
    a.byNibbles = fillNibbles(a);
    return a;
}

} // namespace RowKernels
} // namespace Lumivex

#endif // HWY_ONCE
