// The hand-written GIF files of the malformed-file generator.
#include "malformed.h"

namespace Malformed {

// The pixel data is LZW-coded without compression: literal codes only, with a
// clear code before the table would grow past the initial code width.
QByteArray gifFile(int width, int height, const QList<QRgb> &palette, const QList<int> &indexes,
                   int transparent, bool interlaced)
{
    int bits = 1;
    while ((1 << bits) < palette.size())
        ++bits;
    QByteArray gif("GIF89a");
    auto put16 = [&gif](int value) { gif.append(char(value & 0xff)).append(char(value >> 8)); };
    put16(width);
    put16(height);
    gif.append(char(0x80 | (bits - 1) << 4 | (bits - 1)));
    gif.append(2, '\0'); // background colour, aspect ratio
    for (int i = 0; i < (1 << bits); ++i) {
        const QRgb colour = palette.value(i);
        gif.append(char(qRed(colour))).append(char(qGreen(colour))).append(char(qBlue(colour)));
    }
    if (transparent >= 0)
        gif.append("\x21\xf9\x04\x01\x00\x00", 6).append(char(transparent)).append('\0');
    gif.append(char(0x2c));
    for (const int value : {0, 0, width, height}) // left, top, width, height
        put16(value);
    gif.append(char(interlaced ? 0x40 : 0));

    const int minimum = qMax(2, bits);
    const int clear = 1 << minimum;
    QByteArray codes;
    quint32 pending = 0;
    int pendingBits = 0;
    auto emitCode = [&](int code) {
        pending |= quint32(code) << pendingBits;
        for (pendingBits += minimum + 1; pendingBits >= 8; pendingBits -= 8, pending >>= 8)
            codes.append(char(pending & 0xff));
    };
    QList<int> rows; // in the order they are stored
    const QList<std::pair<int, int>> passes{{0, 8}, {4, 8}, {2, 4}, {1, 2}};
    for (const auto &[start, step] : interlaced ? passes : QList<std::pair<int, int>>{{0, 1}}) {
        for (int y = start; y < height; y += step)
            rows.append(y);
    }
    int literals = 0;
    emitCode(clear);
    for (const int y : rows) {
        for (int x = 0; x < width; ++x) {
            emitCode(indexes.at(y * width + x));
            if (++literals == clear - 2) {
                emitCode(clear);
                literals = 0;
            }
        }
    }
    emitCode(clear + 1);
    if (pendingBits > 0)
        codes.append(char(pending & 0xff));
    gif.append(char(minimum));
    for (qsizetype at = 0; at < codes.size(); at += 255) {
        const QByteArray block = codes.mid(at, 255);
        gif.append(char(block.size())).append(block);
    }
    gif.append('\0').append(char(0x3b));
    return gif;
}

} // namespace Malformed
