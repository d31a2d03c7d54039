// Times the pixel operations on a 6000x4000 photo-like image at every kernel
// target the CPU runs, against their floor, a pass over the pixel buffer by
// as many threads as the kernels use (no pass over the image can be much
// faster than that): the adjustment, which writes another buffer, against a
// copy into one; the filters, which write in place, against a pass in
// place. And against their literal per-pixel definitions, whose results
// they must equal.
//
// The passes go round the targets and the floors in turn, each time ratio
// taken against the floor of its own round, so that a machine busy with
// something else for a while slows both sides of a ratio alike. Prints the
// floors, then for each operation and target:
//   copy-floor THREADS MS                (median time of the copy floor)
//   in-place-floor THREADS MS            (median time of the pass in place)
//   time OPERATION TARGET MS             (median time of the operation)
//   floor-ratio OPERATION TARGET RATIO   (median time over its floor)
//   exact OPERATION TARGET yes|no        (result equals the literal one)
// then, for each format the row formats handle, at the best target:
//   format-time adjust FORMAT TARGET MS
//   format-ratio adjust FORMAT TARGET RATIO  (median time over RGB32's)
// and then a table for people.
#include "copyfloor.h"
#include "imagecompare.h"
#include "imageoperations.h"

#include <QElapsedTimer>
#include <QImage>
#include <QMetaEnum>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

using namespace Lumivex;

namespace {

constexpr int Width = 6000;
constexpr int Height = 4000;
constexpr int Rounds = 9;
const Adjustment Setting{10, 20, -50};

// Smooth gradients with a little noise, like a photograph.
QImage photoLikeImage(QImage::Format format)
{
    QImage image(Width, Height, QImage::Format_ARGB32);
    QRandomGenerator random(2024);
    for (int y = 0; y < Height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < Width; ++x) {
            const double u = double(x) / Width;
            const double v = double(y) / Height;
            const int noise = int(random.bounded(17)) - 8;
            const int r =
                    std::clamp(int(255 * (0.5 + 0.5 * std::sin(6.0 * u + 1.0))) + noise, 0, 255);
            const int g = std::clamp(int(255 * (0.3 + 0.6 * v * u)) + noise, 0, 255);
            const int b = std::clamp(int(255 * (0.5 + 0.4 * std::cos(4.0 * v))) + noise, 0, 255);
            const int a = format == QImage::Format_ARGB32 ? 128 + int(127 * u) : 255;
            line[x] = qRgba(r, g, b, a);
        }
    }
    return image.convertToFormat(format);
}

double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

enum Operation { Adjust, Grayscale, Invert, Operations };
const char *const operationNames[] = {"adjust", "grayscale", "invert"};

// One timed pass of an operation on image, writing to work: the adjustment
// into a buffer it reuses, as the editor does, the filters in place on work
// (a copy of image).
void run(Operation operation, const QImage &image, QImage &work)
{
    switch (operation) {
    case Adjust:
        adjustImage(image, work, Setting);
        break;
    case Grayscale:
        grayscaleImage(work);
        break;
    case Invert:
        invertImage(work);
        break;
    case Operations:
        break;
    }
}

QImage literalResult(Operation operation, const QImage &image)
{
    QImage result = image;
    if (operation == Adjust)
        Reference::adjustImage(image, result, Setting);
    else if (operation == Grayscale)
        Reference::grayscaleImage(result);
    else
        Reference::invertImage(result);
    return result;
}

} // namespace

int main()
{
    const QList<KernelTarget> targets = supportedKernelTargets();
    std::printf("%dx%d RGB32, brightness %d, contrast %d, saturation %d; medians of %d rounds\n\n",
                Width, Height, Setting.brightness, Setting.contrast, Setting.saturation, Rounds);

    const QImage photo = photoLikeImage(QImage::Format_RGB32);
    QImage copy = LumivexBench::floorTarget(photo);
    const auto copyFloor = [&] { return LumivexBench::copyFloorMs(photo, copy); };

    bool allExact = true;
    double literalMs[Operations];
    for (int op = 0; op < Operations; ++op) {
        QImage literal;
        literalMs[op] = milliseconds([&] { literal = literalResult(Operation(op), photo); });
        for (KernelTarget target : targets) {
            setKernelTargetLimit(target);
            QImage fast = op == Adjust ? QImage() : photo.copy();
            run(Operation(op), photo, fast);
            QString why;
            const bool exact = TestSupport::sameImage(fast, literal, &why);
            if (!exact)
                std::printf("  %s\n", qPrintable(why));
            allExact = allExact && exact;
            std::printf("exact %s %s %s\n", operationNames[op],
                        qPrintable(kernelTargetName(target)), exact ? "yes" : "no");
        }
    }

    // ratios[op][target index], one per round; times likewise.
    std::vector<std::vector<std::vector<double>>> ratios(Operations,
                                                         std::vector<std::vector<double>>(
                                                                 size_t(targets.size())));
    auto times = ratios;
    std::vector<double> floors, inPlaceFloors;
    std::vector<QImage> work(size_t(targets.size()) * Operations);
    for (int round = 0; round < Rounds; ++round) {
        const double floorMs = copyFloor();
        floors.push_back(floorMs);
        // The filters' floor, from the same start as theirs below.
        std::memcpy(copy.bits(), photo.constBits(), size_t(photo.sizeInBytes()));
        const double inPlaceMs = LumivexBench::inPlaceFloorMs(copy);
        inPlaceFloors.push_back(inPlaceMs);
        for (int op = 0; op < Operations; ++op) {
            for (qsizetype t = 0; t < targets.size(); ++t) {
                setKernelTargetLimit(targets[t]);
                QImage &target = work[size_t(t * Operations + op)];
                if (round == 0 && op != Adjust)
                    target = photo.copy();
                if (round == 0 && op == Adjust)
                    run(Adjust, photo, target); // allocates; reused from now on
                if (op != Adjust)               // the photo again, not its gray or inverted pass
                    std::memcpy(target.bits(), photo.constBits(), size_t(photo.sizeInBytes()));
                const double ms = milliseconds([&] { run(Operation(op), photo, target); });
                times[size_t(op)][size_t(t)].push_back(ms);
                ratios[size_t(op)][size_t(t)].push_back(ms / (op == Adjust ? floorMs : inPlaceMs));
            }
        }
    }
    setKernelTargetLimit(0);

    std::printf("copy-floor %d %.2f\n", LumivexBench::floorThreads(), median(floors));
    std::printf("in-place-floor %d %.2f\n", LumivexBench::floorThreads(), median(inPlaceFloors));
    for (int op = 0; op < Operations; ++op) {
        for (qsizetype t = 0; t < targets.size(); ++t) {
            const QString name = kernelTargetName(targets[t]);
            std::printf("time %s %s %.2f\n", operationNames[op], qPrintable(name),
                        median(times[size_t(op)][size_t(t)]));
            std::printf("floor-ratio %s %s %.2f\n", operationNames[op], qPrintable(name),
                        median(ratios[size_t(op)][size_t(t)]));
        }
    }

    std::printf("\nbuffer copy on %d threads (floor) %8.1f ms\n", LumivexBench::floorThreads(),
                median(floors));
    std::printf("pass in place on %d threads (the filters' floor) %.1f ms\n",
                LumivexBench::floorThreads(), median(inPlaceFloors));
    for (int op = 0; op < Operations; ++op) {
        std::printf("%-9s literal %8.1f ms\n", operationNames[op], literalMs[op]);
        for (qsizetype t = 0; t < targets.size(); ++t) {
            const double ms = median(times[size_t(op)][size_t(t)]);
            std::printf("%-9s %-8s %7.1f ms   literal/fast %6.1fx   fast/floor %5.2fx\n",
                        operationNames[op], qPrintable(kernelTargetName(targets[t])), ms,
                        literalMs[op] / ms, median(ratios[size_t(op)][size_t(t)]));
        }
    }

    // The adjustment of each format the row formats handle, at the best
    // target, against RGB32's in the same round.
    const QImage::Format formats[] = {QImage::Format_RGB32,
                                      QImage::Format_ARGB32,
                                      QImage::Format_ARGB32_Premultiplied,
                                      QImage::Format_RGBX8888,
                                      QImage::Format_RGBA8888,
                                      QImage::Format_RGBA8888_Premultiplied,
                                      QImage::Format_RGB888,
                                      QImage::Format_BGR888,
                                      QImage::Format_RGBX64,
                                      QImage::Format_RGBA64,
                                      QImage::Format_RGBA64_Premultiplied};
    std::vector<QImage> images, results;
    for (QImage::Format format : formats) {
        images.push_back(photoLikeImage(format));
        results.emplace_back();
        adjustImage(images.back(), results.back(), Setting); // allocates; reused from now on
    }
    std::vector<std::vector<double>> formatTimes(images.size()), formatRatios(images.size());
    for (int round = 0; round < Rounds; ++round) {
        double rgb32Ms = 0;
        for (size_t f = 0; f < images.size(); ++f) {
            const double ms = milliseconds([&] { adjustImage(images[f], results[f], Setting); });
            if (f == 0)
                rgb32Ms = ms;
            formatTimes[f].push_back(ms);
            formatRatios[f].push_back(ms / rgb32Ms);
        }
    }
    const QString best = kernelTargetName(activeKernelTarget());
    for (size_t f = 0; f < images.size(); ++f) {
        const char *name = QMetaEnum::fromType<QImage::Format>().valueToKey(formats[f]) + 7;
        std::printf("format-time adjust %s %s %.2f\n", name, qPrintable(best),
                    median(formatTimes[f]));
        std::printf("format-ratio adjust %s %s %.2f\n", name, qPrintable(best),
                    median(formatRatios[f]));
    }
    return allExact ? 0 : 1;
}
