// The conversion of what the view draws from a picture's colour space to the
// screen's, made with the row kernels.
#pragma once

#include <QColorSpace>

#include <cstdint>
#include <memory>

namespace Lumivex {

// Colours of opaque 32-bit pixels converted from one colour space to
// another as QColorTransform converts them, to within a level or two, in
// less than half its time. Qt's transform goes pixel by pixel through its
// tables; this one takes a vector of pixels at a time through the same
// curves and matrix, read off Qt's own transforms once, since QColorSpace
// does not tell them (about 6 ms; 0.25 MB of tables where the channels
// share their curve). It is for display only: what is saved and copied is
// never converted.
//
// Made only where the conversion is a curve per channel, a matrix and a
// curve per channel (the profiles of cameras, phones and raw developers,
// and sRGB): a sample of colours is converted both ways when it is made,
// and where any channel differs by more than a level it is not valid, and
// the caller converts with Qt.
class DisplayConversion
{
public:
    DisplayConversion() = default;
    DisplayConversion(const QColorSpace &source, const QColorSpace &target);

    bool isValid() const { return tables != nullptr; }
    // Converts count 0xAARRGGBB words of opaque pixels from in to out (the
    // same array, or apart); the alpha byte comes out 0xFF.
    void convert(const uint32_t *in, uint32_t *out, size_t count) const;

private:
    struct Tables;
    std::shared_ptr<const Tables> tables;
};

} // namespace Lumivex
