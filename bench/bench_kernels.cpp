// Times the pixel operations on a 6000x4000 photo-like image against their
// literal per-pixel definitions and against a plain copy of the pixel buffer
// (the floor: no pass over the image can be much faster than that).
#include "imagekernels.h"

#include <QElapsedTimer>
#include <QImage>
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
constexpr int Passes = 7;
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
    return timer.nsecsElapsed() / 1e6;
}

double median(const std::function<void()> &work, int passes = Passes)
{
    std::vector<double> times;
    for (int i = 0; i < passes; ++i)
        times.push_back(milliseconds(work));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

const char *levelName(KernelLevel level)
{
    switch (level) {
    case KernelLevel::Scalar:
        return "scalar";
    case KernelLevel::Avx2:
        return "avx2";
    case KernelLevel::Avx512:
        return "avx512";
    }
    return "";
}

std::vector<KernelLevel> supportedLevels()
{
    std::vector<KernelLevel> levels;
    for (KernelLevel level : {KernelLevel::Avx512, KernelLevel::Avx2, KernelLevel::Scalar}) {
        if (int(level) <= int(supportedKernelLevel()))
            levels.push_back(level);
    }
    return levels;
}

double floorTime(const QImage &image)
{
    QImage target(image.size(), image.format());
    const uchar *from = image.constBits();
    uchar *to = target.bits();
    const size_t bytes = size_t(image.sizeInBytes());
    return median([&] { std::memcpy(to, from, bytes); });
}

double adjustTime(const QImage &image)
{
    QImage dst;
    adjustImage(image, dst, Setting); // allocates; the window reuses it after
    return median([&] { adjustImage(image, dst, Setting); });
}

} // namespace

int main()
{
    std::printf("%dx%d, brightness %d, contrast %d, saturation %d; median of %d passes, "
                "CPU level %s\n\n",
                Width, Height, Setting.brightness, Setting.contrast, Setting.saturation, Passes,
                levelName(supportedKernelLevel()));

    const QImage photo = photoLikeImage(QImage::Format_RGB32);
    const double copyMs = floorTime(photo);
    std::printf("RGB32 buffer copy (floor)        %8.1f ms\n", copyMs);

    QImage literal;
    const double literalAdjustMs =
            milliseconds([&] { Reference::adjustImage(photo, literal, Setting); });
    std::printf("RGB32 adjust, literal            %8.1f ms\n", literalAdjustMs);
    for (KernelLevel level : supportedLevels()) {
        setKernelLevelLimit(level);
        const double ms = adjustTime(photo);
        std::printf("RGB32 adjust, %-7s            %8.1f ms   literal/fast %6.1fx   fast/floor "
                    "%5.2fx\n",
                    levelName(level), ms, literalAdjustMs / ms, ms / copyMs);
    }
    setKernelLevelLimit(KernelLevel::Avx512);

    {
        QImage fast;
        adjustImage(photo, fast, Setting);
        std::printf("fast result %s the literal one\n\n",
                    fast == literal ? "equals" : "DIFFERS FROM");
    }

    QImage work = photo;
    const double literalGrayMs = milliseconds([&] { Reference::grayscaleImage(work); });
    std::printf("RGB32 grayscale, literal         %8.1f ms\n", literalGrayMs);
    for (KernelLevel level : supportedLevels()) {
        setKernelLevelLimit(level);
        work = photo.copy();
        const double ms = median([&] { grayscaleImage(work); });
        std::printf("RGB32 grayscale, %-7s         %8.1f ms   literal/fast %6.1fx   fast/floor "
                    "%5.2fx\n",
                    levelName(level), ms, literalGrayMs / ms, ms / copyMs);
    }
    setKernelLevelLimit(KernelLevel::Avx512);

    work = photo.copy();
    const double literalInvertMs = milliseconds([&] { Reference::invertImage(work); });
    std::printf("\nRGB32 invert, literal            %8.1f ms\n", literalInvertMs);
    for (KernelLevel level : supportedLevels()) {
        setKernelLevelLimit(level);
        const double ms = median([&] { invertImage(work); });
        std::printf("RGB32 invert, %-7s            %8.1f ms   literal/fast %6.1fx   fast/floor "
                    "%5.2fx\n",
                    levelName(level), ms, literalInvertMs / ms, ms / copyMs);
    }
    setKernelLevelLimit(KernelLevel::Avx512);

    std::printf("\n");
    for (QImage::Format format : {QImage::Format_ARGB32, QImage::Format_RGB888}) {
        const QImage image = photoLikeImage(format);
        const double ms = adjustTime(image);
        const double floorMs = floorTime(image);
        std::printf("%-6s adjust, %-7s           %8.1f ms   fast/floor %5.2fx (copy %.1f ms)\n",
                    format == QImage::Format_ARGB32 ? "ARGB32" : "RGB888",
                    levelName(activeKernelLevel()), ms, ms / floorMs, floorMs);
    }
    return 0;
}
