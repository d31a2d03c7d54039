#include "displayconversion.h"

#include "rowkernels.h"

#include <QColorTransform>
#include <QRgba64>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace Lumivex {

struct DisplayConversion::Tables
{
    RowKernels::ColorTables kernel{};
    // The encoding curves, 65536 entries each, shared where channels have
    // the same curve.
    std::vector<int32_t> encode[3];
};

namespace {

QRgba64 gray(quint16 value)
{
    return QRgba64::fromRgba64(value, value, value, 0xffff);
}

// The conversion of one pixel as the kernels make it.
QRgb converted(const RowKernels::ColorTables &t, QRgb pixel)
{
    const float in[3] = {t.decode[0][qRed(pixel)], t.decode[1][qGreen(pixel)],
                         t.decode[2][qBlue(pixel)]};
    int out[3];
    for (int c = 0; c < 3; ++c) {
        const float *m = t.matrix + 3 * size_t(c);
        const float x = m[2] * in[2] + (m[1] * in[1] + m[0] * in[0]);
        const float scaled = std::fmin(std::fmax(x * 65535.0f, 0.0f), 65535.0f);
        out[c] = t.encode[c][std::lrint(scaled)];
    }
    return qRgb(out[0], out[1], out[2]);
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
    for (int c = 0; c < 3; ++c)
        t.encode[c] = made->encode[c].data();

    // Checked against Qt's own conversion on 17 levels of each channel.
    const QColorTransform whole = source.transformationToColorSpace(target);
    for (int r = 0; r < 256; r += 15) {
        for (int g = 0; g < 256; g += 15) {
            for (int b = 0; b < 256; b += 15) {
                const QRgb ours = converted(t, qRgb(r, g, b));
                const QRgb qts = whole.map(qRgb(r, g, b));
                if (std::abs(qRed(ours) - qRed(qts)) > 1 || std::abs(qGreen(ours) - qGreen(qts)) > 1
                    || std::abs(qBlue(ours) - qBlue(qts)) > 1)
                    return;
            }
        }
    }
    tables = std::move(made);
}

void DisplayConversion::convert(const uint32_t *in, uint32_t *out, size_t count) const
{
    if (tables)
        RowKernels::activeTargetKernels().convertColors(in, out, count, tables->kernel);
}

} // namespace Lumivex
