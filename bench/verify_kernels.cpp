// Checks, at every kernel target this CPU runs, the fast pixel operations
// against their literal definitions over the whole input domain:
//  - the adjustment, for each of the 201 saturation values, on all 2^24
//    channel triples (contrast and brightness 0 leave the triples as they
//    are, so these are all the inputs the saturation step can get);
//  - the contrast and brightness steps, for all 201 x 201 pairs, on every
//    channel value;
//  - the grayscale filter on all 2^24 triples.
// It also measures how far the float saturation step of the kernels strays
// from the double one, which must stay below their margin for redoing a
// result in double (2^-13, see FixedPointOffset in rowkernels-inl.h), and
// how many results they redo.
//
// Takes minutes; run on demand (not in the test suite):
//   lumivex_verify_kernels [TARGET...] [FROM:TO]
// (default: every target the CPU runs, saturations -100:100; a range leaves
// out the contrast and grayscale checks)
// Exits 0 when everything is exact.
#include "imagecompare.h"
#include "imageoperations.h"

#include <QCoreApplication>
#include <QImage>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

using namespace Lumivex;

namespace {

// Runs work(slice, slices) on as many threads as the machine has.
template<typename Work>
void inParallel(const Work &work)
{
    const int slices = int(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> threads;
    for (int slice = 0; slice < slices; ++slice)
        threads.emplace_back([&work, slice, slices] { work(slice, slices); });
    for (std::thread &thread : threads)
        thread.join();
}

// The literal definition, run on horizontal strips in parallel.
QImage literal(const QImage &source, const Adjustment *adjustment)
{
    QImage result(source.size(), source.format());
    inParallel([&](int slice, int slices) {
        const int y0 = source.height() * slice / slices;
        const int y1 = source.height() * (slice + 1) / slices;
        QImage strip = source.copy(0, y0, source.width(), y1 - y0);
        if (adjustment)
            Reference::adjustImage(strip, strip, *adjustment);
        else
            Reference::grayscaleImage(strip);
        for (int y = y0; y < y1; ++y)
            std::memcpy(result.scanLine(y), strip.constScanLine(y - y0),
                        size_t(source.bytesPerLine()));
    });
    return result;
}

qint64 differingPixels(const QImage &a, const QImage &b)
{
    qint64 count = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *p = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *q = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            count += p[x] != q[x];
    }
    return count;
}

struct FloatStep
{
    double largestDifference = 0;
    qint64 nearInteger = 0;
    qint64 evaluations = 0;
};

// The saturation step in float, operation for operation as the kernels do
// it (with and without fused multiply-adds, as targets have them or not),
// against the double one, over every triple that is not neutral.
FloatStep floatStep(double k)
{
    std::vector<FloatStep> results(std::max(1u, std::thread::hardware_concurrency()));
    inParallel([&](int slice, int slices) {
        FloatStep &s = results[size_t(slice)];
        const float kf = float(k);
        for (int r = slice; r < 256; r += slices) {
            for (int g = 0; g < 256; ++g) {
                for (int b = 0; b < 256; ++b) {
                    if (r == g && g == b)
                        continue;
                    const double l = (0.299 * r + 0.587 * g) + 0.114 * b;
                    for (const bool fused : {false, true}) {
                        // The luma weights times 1 - K, each rounded.
                        const float wr = 0.299f * (1.0f - kf);
                        const float wg = 0.587f * (1.0f - kf);
                        const float wb = 0.114f * (1.0f - kf);
                        const float m = fused ? std::fma(wb, float(b),
                                                         std::fma(wg, float(g), wr * float(r)))
                                              : (wr * float(r) + wg * float(g)) + wb * float(b);
                        for (int c : {r, g, b}) {
                            const double u = (double(c) - l) * k + l;
                            const float uf = fused ? std::fma(float(c), kf, m) : float(c) * kf + m;
                            s.largestDifference = std::max(s.largestDifference, std::abs(u - uf));
                            // Rounded to 12 bits of fraction, as the kernels do.
                            const float kept = kf > 1.0f ? std::clamp(uf, 0.5f, 255.5f) : uf;
                            const float fixed = kept + 2048.0f;
                            s.nearInteger += fixed == std::floor(fixed);
                            ++s.evaluations;
                        }
                    }
                }
            }
        }
    });
    FloatStep total;
    for (const FloatStep &s : results) {
        total.largestDifference = std::max(total.largestDifference, s.largestDifference);
        total.nearInteger += s.nearInteger;
        total.evaluations += s.evaluations;
    }
    return total;
}

// Adds to failures, and prints, the targets where fast differs from expected.
QString check(const QList<KernelTarget> &targets, const QImage &source,
              const std::function<bool(QImage &)> &fast, const QImage &expected, int *failures)
{
    QStringList wrong;
    for (KernelTarget target : targets) {
        setKernelTargetLimit(target);
        QImage result = source;
        if (!fast(result) || result != expected) {
            wrong.append(QStringLiteral("%1 (%2 pixels)")
                                 .arg(kernelTargetName(target))
                                 .arg(result.isNull() ? -1 : differingPixels(result, expected)));
            ++*failures;
        }
    }
    setKernelTargetLimit(0);
    return wrong.isEmpty() ? QStringLiteral("exact")
                           : QStringLiteral("WRONG at ") + wrong.join(", ");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList wanted = app.arguments().mid(1);
    int fromSaturation = -100;
    int toSaturation = 100;
    bool saturationsOnly = false;
    for (const QString &argument : app.arguments().mid(1)) {
        const QStringList ends = argument.split(QLatin1Char(':'));
        if (ends.size() == 2) {
            fromSaturation = std::max(-100, ends[0].toInt());
            toSaturation = std::min(100, ends[1].toInt());
            saturationsOnly = true;
            wanted.removeOne(argument);
        }
    }
    QList<KernelTarget> targets;
    QStringList names;
    for (KernelTarget target : supportedKernelTargets()) {
        if (wanted.isEmpty() || wanted.contains(kernelTargetName(target), Qt::CaseInsensitive)) {
            targets.append(target);
            names.append(kernelTargetName(target));
        }
    }
    std::printf("targets: %s\n", qPrintable(names.join(' ')));
    int failures = 0;

    const QImage all = TestSupport::allColours();
    FloatStep overall;
    for (int s = fromSaturation; s <= toSaturation; ++s) {
        const Adjustment a{0, 0, s};
        const QImage expected = literal(all, &a);
        const QString verdict = check(
                targets, all, [&](QImage &image) { return adjustImage(all, image, a); }, expected,
                &failures);
        // At saturation 0 the kernels leave the saturation step out.
        const FloatStep step = s == 0 ? FloatStep{} : floatStep(saturationFactor(s));
        overall.largestDifference = std::max(overall.largestDifference, step.largestDifference);
        overall.nearInteger += step.nearInteger;
        overall.evaluations += step.evaluations;
        std::printf("saturation %4d: all 2^24 triples %s; float step off by at most %.2g, "
                    "%.3f%% redone\n",
                    s, qPrintable(verdict), step.largestDifference,
                    step.evaluations ? 100.0 * double(step.nearInteger) / double(step.evaluations)
                                     : 0.0);
        std::fflush(stdout);
    }
    std::printf("float saturation step over the values checked: off by at most %.3g (margin %.3g), "
                "%.3f%% of %lld results redone in double\n",
                overall.largestDifference, 1.0 / 8192,
                100.0 * double(overall.nearInteger) / double(overall.evaluations),
                overall.evaluations);

    if (saturationsOnly) {
        std::printf("%s\n", failures ? "NOT EXACT" : "every saturation asked for exact");
        return failures ? 1 : 0;
    }

    QImage values(256, 3, QImage::Format_RGB32);
    for (int v = 0; v < 256; ++v) {
        values.setPixel(v, 0, qRgb(v, 255 - v, (v * 7) & 255));
        values.setPixel(v, 1, qRgb((v * 3) & 255, v, 128));
        values.setPixel(v, 2, qRgb(v, v, v));
    }
    int pairFailures = 0;
    for (int brightness = -100; brightness <= 100; ++brightness) {
        for (int contrast = -100; contrast <= 100; ++contrast) {
            const Adjustment a{brightness, contrast, 0};
            QImage expected;
            Reference::adjustImage(values, expected, a);
            const QString verdict = check(
                    targets, values, [&](QImage &image) { return adjustImage(values, image, a); },
                    expected, &pairFailures);
            if (verdict != QLatin1String("exact"))
                std::printf("brightness %d, contrast %d: %s\n", brightness, contrast,
                            qPrintable(verdict));
        }
    }
    failures += pairFailures;
    std::printf("contrast and brightness, all 40401 pairs on every channel value: %s\n",
                pairFailures ? "WRONG" : "exact");

    const QString grayVerdict = check(
            targets, all, [](QImage &image) { return grayscaleImage(image); },
            literal(all, nullptr), &failures);
    std::printf("grayscale, all 2^24 triples: %s\n", qPrintable(grayVerdict));

    std::printf("%s\n", failures ? "NOT EXACT" : "everything exact at every target");
    return failures ? 1 : 0;
}
