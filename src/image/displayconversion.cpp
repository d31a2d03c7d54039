#include "displayconversion.h"

#include "rowkernels.h"

#include <QColorTransform>
#include <QRgba64>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

namespace Lumivex {

struct DisplayConversion::Tables
{
    RowKernels::ColorTables kernel{};
    // The encoding curves, 65536 entries each; green's and blue's empty
    // where they are red's.
    std::vector<int32_t> encode[3];
};

namespace {

QRgba64 gray(quint16 value)
{
    return QRgba64::fromRgba64(value, value, value, 0xffff);
}

} // namespace

DisplayConversion::DisplayConversion(const QColorSpace &source, const QColorSpace &target)
{
    if (!source.isValid() || !target.isValid())
        return;
    const QColorSpace sourceLinear =
            source.withTransferFunction(QColorSpace::TransferFunction::Linear);
    const QColorSpace targetLinear =
            target.withTransferFunction(QColorSpace::TransferFunction::Linear);
    if (!sourceLinear.isValid() || !targetLinear.isValid())
        return;
    auto made = std::make_shared<Tables>();
    RowKernels::ColorTables &t = made->kernel;

    // The curves in: between the source and its own primaries in linear
    // light the matrix is the identity, so each channel maps on its own.
    const QColorTransform decoding = source.transformationToColorSpace(sourceLinear);
    for (int v = 0; v < 256; ++v) {
        const QRgba64 linear = decoding.map(gray(quint16(v * 257)));
        t.decode[0][v] = float(linear.red()) / 65535.0f;
        t.decode[1][v] = float(linear.green()) / 65535.0f;
        t.decode[2][v] = float(linear.blue()) / 65535.0f;
    }
    t.sharedDecode = std::equal(std::begin(t.decode[0]), std::end(t.decode[0]), t.decode[1])
                     && std::equal(std::begin(t.decode[0]), std::end(t.decode[0]), t.decode[2]);
    for (int v = 0; v < 256; ++v) {
        uint8_t bytes[4];
        std::memcpy(bytes, &t.decode[0][v], sizeof bytes);
        for (int k = 0; k < 4; ++k)
            t.decodeBytes[k][v] = bytes[k];
    }
    // The matrix, column by column, from a step of each channel away from
    // mid gray (linear light is linear, and mid gray and the steps stay
    // within 0..1 both sides for the usual primaries).
    const QColorTransform mixing = sourceLinear.transformationToColorSpace(targetLinear);
    constexpr int Mid = 0x8000;
    constexpr int Step = 0x2000;
    const QRgba64 base = mixing.map(gray(Mid));
    for (int c = 0; c < 3; ++c) {
        const quint16 v[3] = {quint16(c == 0 ? Mid + Step : Mid),
                              quint16(c == 1 ? Mid + Step : Mid),
                              quint16(c == 2 ? Mid + Step : Mid)};
        const QRgba64 moved = mixing.map(QRgba64::fromRgba64(v[0], v[1], v[2], 0xffff));
        t.matrix[c] = float(int(moved.red()) - int(base.red())) / Step;
        t.matrix[3 + c] = float(int(moved.green()) - int(base.green())) / Step;
        t.matrix[6 + c] = float(int(moved.blue()) - int(base.blue())) / Step;
    }
    // The curves out.
    const QColorTransform encoding = targetLinear.transformationToColorSpace(target);
    for (std::vector<int32_t> &table : made->encode)
        table.resize(65536);
    for (int i = 0; i < 65536; ++i) {
        const QRgba64 e = encoding.map(gray(quint16(i)));
        made->encode[0][size_t(i)] = e.red8();
        made->encode[1][size_t(i)] = e.green8();
        made->encode[2][size_t(i)] = e.blue8();
    }
    // One table where the channels share their curve, as they mostly do.
    for (int c = 1; c < 3; ++c) {
        if (made->encode[c] == made->encode[0])
            made->encode[c] = {};
        t.encode[c] = (made->encode[c].empty() ? made->encode[0] : made->encode[c]).data();
    }
    t.encode[0] = made->encode[0].data();

    // Checked against Qt's own conversion on 17 levels of each channel,
    // converted by the kernels in use.
    std::vector<quint32> sample;
    for (int r = 0; r < 256; r += 15) {
        for (int g = 0; g < 256; g += 15) {
            for (int b = 0; b < 256; b += 15)
                sample.push_back(qRgb(r, g, b));
        }
    }
    std::vector<quint32> ours(sample.size());
    RowKernels::activeTargetKernels().convertColors(sample.data(), ours.data(), sample.size(), t);
    const QColorTransform whole = source.transformationToColorSpace(target);
    for (size_t i = 0; i < sample.size(); ++i) {
        const QRgb qts = whole.map(sample[i]);
        if (std::abs(qRed(ours[i]) - qRed(qts)) > 1 || std::abs(qGreen(ours[i]) - qGreen(qts)) > 1
            || std::abs(qBlue(ours[i]) - qBlue(qts)) > 1)
            return;
    }
    tables = std::move(made);
}

void DisplayConversion::convert(const uint32_t *in, uint32_t *out, size_t count) const
{
    if (tables)
        RowKernels::activeTargetKernels().convertColors(in, out, count, tables->kernel);
}

} // namespace Lumivex
