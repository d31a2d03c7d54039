// What the kernel tests share: the targets under test and random images of
// any format (the image comparison is the one of every test, imagecompare.h).
#pragma once

#include "imagecompare.h"
#include "imagekernels.h"

#include <QDebug>
#include <QRandomGenerator>
#include <QStringList>
#include <QtTest>

Q_DECLARE_METATYPE(Lumivex::Adjustment)

namespace KernelSupport {

using namespace Lumivex;

inline QString formatName(QImage::Format format)
{
    QString name;
    QDebug(&name).noquote().nospace() << format;
    return name.remove(QStringLiteral("QImage::Format_"));
}

inline QString settingName(const Adjustment &a)
{
    return QStringLiteral("%1,%2,%3").arg(a.brightness).arg(a.contrast).arg(a.saturation);
}

// Every target the CPU runs, or those of them named in the environment
// variable LUMIVEX_KERNEL_TARGETS (e.g. "NEON,SCALAR"): the test program
// reads it, the library never does.
inline QList<KernelTarget> targetsUnderTest()
{
    const QStringList wanted = qEnvironmentVariable("LUMIVEX_KERNEL_TARGETS")
                                       .split(QLatin1Char(','), Qt::SkipEmptyParts);
    QList<KernelTarget> targets;
    for (KernelTarget target : supportedKernelTargets()) {
        if (wanted.isEmpty() || wanted.contains(kernelTargetName(target), Qt::CaseInsensitive))
            targets.append(target);
    }
    return targets;
}

// Runs the kernels of one target for one scope.
class TargetLimit
{
public:
    explicit TargetLimit(KernelTarget target) { setKernelTargetLimit(target); }
    ~TargetLimit() { setKernelTargetLimit(0); }
    TargetLimit(const TargetLimit &) = delete;
    TargetLimit &operator=(const TargetLimit &) = delete;
};

inline bool isFloatFormat(QImage::Format format)
{
    return format >= QImage::Format_RGBX16FPx4 && format <= QImage::Format_RGBA32FPx4_Premultiplied;
}

// A random image of the given format: valid pixels made by converting random
// ARGB32 colours (alpha often 0 or 255, otherwise partial); for integer
// formats the last third of the rows then holds raw random bytes, which for
// premultiplied formats includes pixels whose colour exceeds their alpha.
inline QImage randomImage(QImage::Format format, int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage argb(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(argb.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const quint32 choice = random.bounded(4);
            const quint32 alpha = choice == 0 ? 0 : (choice == 1 ? 255 : random.bounded(256));
            line[x] = (alpha << 24) | (random.generate() & 0xffffff);
        }
    }
    QImage image = argb.convertToFormat(format);
    if (!isFloatFormat(format)) {
        const qsizetype pixelBytes = (qsizetype(width) * image.depth() + 7) / 8;
        for (int y = height - height / 3; y < height; ++y) {
            uchar *line = image.scanLine(y);
            for (qsizetype i = 0; i < pixelBytes; ++i)
                line[i] = uchar(random.generate());
        }
    }
    return image;
}

} // namespace KernelSupport
