// What the kernel tests share: the targets under test and random images of
// any format (the image comparison is the one of every test, imagecompare.h).
#pragma once

#include "imagecompare.h"
#include "imageoperations.h"

#include <QList>
#include <QString>
#include <QtTest>

Q_DECLARE_METATYPE(Lumivex::Adjustment)

namespace KernelSupport {

using namespace Lumivex;

// The name of a format without its prefix, e.g. "ARGB32", and of a setting,
// e.g. "10,20,-50", for the names of test rows.

QString formatName(QImage::Format format);

QString settingName(const Adjustment &a);

// Every target the CPU runs, or those of them named in the environment
// variable LUMIVEX_KERNEL_TARGETS (e.g. "NEON,SCALAR"): the test program
// reads it, the library never does.
QList<KernelTarget> targetsUnderTest();

// Runs the kernels of one target for one scope.
class TargetLimit
{
public:
    explicit TargetLimit(KernelTarget target) { setKernelTargetLimit(target); }
    ~TargetLimit() { setKernelTargetLimit(0); }
    TargetLimit(const TargetLimit &) = delete;
    TargetLimit &operator=(const TargetLimit &) = delete;
};

bool isFloatFormat(QImage::Format format);

// A random image of the given format: valid pixels made by converting random
// ARGB32 colours (alpha often 0 or 255, otherwise partial); for integer
// formats the last third of the rows then holds raw random bytes, which for
// premultiplied formats includes pixels whose colour exceeds their alpha.
QImage randomImage(QImage::Format format, int width, int height, quint32 seed);

// Adjust, grayscale and, if asked, invert of source give what the literal
// definitions give on literalSource (source itself, or its editable form).
void matchReference(const QImage &source, const QImage &literalSource, const Adjustment &adjustment,
                    bool invert);

} // namespace KernelSupport
