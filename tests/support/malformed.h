// Broken image files for the robustness checks: a few small valid files of
// every format the editor reads, and from each a fixed set of damaged copies.
// The same bytes on every run and every machine (no random seed, no clock),
// so a failure can be reproduced from its name alone. Shared by the open-path
// test and the fuzzer's seed corpus.
#pragma once

#include <QByteArray>
#include <QList>
#include <QRgb>
#include <QSize>
#include <QString>

namespace Malformed {

enum class Kind {
    Valid,     // an intact file; opens with expectedSize
    Truncated, // cut short, also inside the header
    Flipped,   // bytes changed in the header or the data (PNG CRCs kept right)
    Huge,      // width and height fields announcing an image far over the limit
    Large,     // width and height fields announcing 8192 x 8192, within the limit
};

struct Case
{
    QString name;      // unique, usable as a file name (suffix included)
    QByteArray format; // the format of the file it was made from
    Kind kind = Kind::Valid;
    QByteArray bytes;
    QSize expectedSize; // for Valid only
};

// The formats covered: png, jpeg, bmp, tiff, webp, gif.
QList<QByteArray> formats();

// The intact files of one format.
QList<Case> validFiles(const QByteArray &format);

// The intact files of one format followed by all their damaged copies (and,
// for png, an empty file).
QList<Case> cases(const QByteArray &format);

} // namespace Malformed
