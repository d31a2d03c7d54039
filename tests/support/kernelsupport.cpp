#include "kernelsupport.h"

#include <QDebug>
#include <QRandomGenerator>
#include <QStringList>

namespace KernelSupport {

QString formatName(QImage::Format format)
{
    QString name;
    QDebug(&name).noquote().nospace() << format;
    return name.remove(QStringLiteral("QImage::Format_"));
}

QString settingName(const Adjustment &a)
{
    return QStringLiteral("%1,%2,%3").arg(a.brightness).arg(a.contrast).arg(a.saturation);
}

QList<KernelTarget> targetsUnderTest()
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

bool isFloatFormat(QImage::Format format)
{
    return format >= QImage::Format_RGBX16FPx4 && format <= QImage::Format_RGBA32FPx4_Premultiplied;
}

QImage randomImage(QImage::Format format, int width, int height, quint32 seed)
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

void matchReference(const QImage &source, const QImage &literalSource, const Adjustment &adjustment,
                    bool invert)
{
    QImage expected;
    Reference::adjustImage(literalSource, expected, adjustment);
    QImage actual;
    QVERIFY(adjustImage(source, actual, adjustment));
    COMPARE_IMAGES(actual, expected);
    QImage grayExpected = literalSource;
    Reference::grayscaleImage(grayExpected);
    QImage grayActual = source;
    grayscaleImage(grayActual);
    COMPARE_IMAGES(grayActual, grayExpected);
    if (!invert)
        return;
    QImage invertExpected = literalSource;
    Reference::invertImage(invertExpected);
    QImage invertActual = source;
    invertImage(invertActual);
    COMPARE_IMAGES(invertActual, invertExpected);
}

} // namespace KernelSupport
