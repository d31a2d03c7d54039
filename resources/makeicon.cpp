// Draws the Lumivex application icon and writes every file the build and the
// installers ship:
//
//   <outdir>/lumivex.ico                                  16, 32 and 48 px, 32 bpp
//   <outdir>/icons/hicolor/<N>x<N>/apps/lumivex.png       N = 16 32 48 64 128 256
//
// The output is byte-for-byte reproducible: the drawing is fixed, the PNGs
// carry no text chunks or timestamps, and the ICO container is written by hand.
// The committed files in resources/ are produced by this program, and a test
// regenerates them and compares.
//
// Usage: lumivex_makeicon <outdir>

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// The design is laid out on a 256 x 256 canvas. The main shapes sit on a
// 16-unit grid so that they land on whole pixels at 16, 32 and 48 px.
constexpr qreal Canvas = 256.0;

QPainterPath markPath()
{
    // A bold "L": upright bar plus foot, slightly rounded.
    QPainterPath upright;
    upright.addRoundedRect(QRectF(64, 64, 48, 128), 6, 6);
    QPainterPath foot;
    foot.addRoundedRect(QRectF(64, 144, 128, 48), 6, 6);
    return upright.united(foot);
}

QImage drawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(size / Canvas, size / Canvas);
    p.setPen(Qt::NoPen);

    const bool small = size < 32;
    const bool medium = size < 64;

    // Tile: a rounded square with a deep indigo to teal diagonal.
    const QRectF tile(16, 16, 224, 224);
    QPainterPath tilePath;
    tilePath.addRoundedRect(tile, 48, 48);
    QLinearGradient tileGradient(tile.topLeft(), tile.bottomRight());
    tileGradient.setColorAt(0.0, QColor(0x26, 0x2f, 0x7a));
    tileGradient.setColorAt(0.55, QColor(0x1b, 0x4f, 0x8f));
    tileGradient.setColorAt(1.0, QColor(0x0e, 0x8a, 0x8c));
    p.fillPath(tilePath, tileGradient);

    if (!small) {
        // Soft sheen over the upper half of the tile.
        QLinearGradient sheen(QPointF(0, 16), QPointF(0, 140));
        sheen.setColorAt(0.0, QColor(255, 255, 255, 46));
        sheen.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.fillPath(tilePath, sheen);
    }

    // Sun / lens in the upper right.
    const QPointF sunCentre(172, 92);
    const qreal sunRadius = 44;

    if (!small) {
        // Lens ring: a faint halo around the sun.
        QPen ring(QColor(255, 196, 96, medium ? 150 : 130));
        ring.setWidthF(medium ? 8 : 6);
        p.setPen(ring);
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(sunCentre, sunRadius + 14, sunRadius + 14);
        p.setPen(Qt::NoPen);
    }

    QRadialGradient sunGradient(sunCentre, sunRadius, sunCentre - QPointF(14, 14));
    sunGradient.setColorAt(0.0, QColor(0xff, 0xf6, 0xc8));
    sunGradient.setColorAt(0.45, QColor(0xff, 0xc6, 0x4b));
    sunGradient.setColorAt(1.0, QColor(0xff, 0x7e, 0x3d));
    p.setBrush(sunGradient);
    p.drawEllipse(sunCentre, sunRadius, sunRadius);

    if (!medium) {
        // A small glint on the lens.
        p.setBrush(QColor(255, 255, 255, 150));
        p.drawEllipse(QPointF(156, 74), 10, 7);
    }

    // The mark, with a soft drop shadow on larger sizes.
    const QPainterPath mark = markPath();
    if (!small) {
        p.save();
        p.translate(4, 6);
        p.fillPath(mark, QColor(8, 16, 48, 80));
        p.restore();
    }
    QLinearGradient markGradient(QPointF(0, 64), QPointF(0, 192));
    markGradient.setColorAt(0.0, QColor(0xff, 0xff, 0xff));
    markGradient.setColorAt(1.0, QColor(0xe4, 0xee, 0xfa));
    p.fillPath(mark, markGradient);

    p.end();
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    // Fixed 96 dpi, so the PNG pHYs chunk never depends on the machine.
    result.setDotsPerMeterX(3780);
    result.setDotsPerMeterY(3780);
    return result;
}

void putU16(QByteArray &out, unsigned v)
{
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}

void putU32(QByteArray &out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xff));
}

// One icon image as stored in an ICO file: BITMAPINFOHEADER, bottom-up BGRA
// pixels, then a 1 bpp AND mask (set where the pixel is fully transparent).
QByteArray icoImage(const QImage &image)
{
    const int w = image.width();
    const int h = image.height();
    const int maskStride = ((w + 31) / 32) * 4;
    const std::uint32_t xorSize = std::uint32_t(w) * std::uint32_t(h) * 4;
    const std::uint32_t andSize = std::uint32_t(maskStride) * std::uint32_t(h);

    QByteArray out;
    putU32(out, 40);                   // biSize
    putU32(out, std::uint32_t(w));     // biWidth
    putU32(out, std::uint32_t(h * 2)); // biHeight: XOR bitmap + AND mask
    putU16(out, 1);                    // biPlanes
    putU16(out, 32);                   // biBitCount
    putU32(out, 0);                    // biCompression = BI_RGB
    putU32(out, xorSize + andSize);    // biSizeImage
    putU32(out, 0);                    // biXPelsPerMeter
    putU32(out, 0);                    // biYPelsPerMeter
    putU32(out, 0);                    // biClrUsed
    putU32(out, 0);                    // biClrImportant

    for (int y = h - 1; y >= 0; --y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb px = line[x];
            out.append(char(qBlue(px)));
            out.append(char(qGreen(px)));
            out.append(char(qRed(px)));
            out.append(char(qAlpha(px)));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        std::vector<unsigned char> row(std::size_t(maskStride), 0);
        for (int x = 0; x < w; ++x) {
            if (qAlpha(line[x]) == 0)
                row[std::size_t(x / 8)] |= static_cast<unsigned char>(0x80u >> (x % 8));
        }
        out.append(reinterpret_cast<const char *>(row.data()), maskStride);
    }
    return out;
}

// The ICO container is written here rather than through QImageWriter: Qt's
// ICO writer puts one image in each file, and Windows wants the 16, 32 and 48
// pixel images together in the one resource.
QByteArray icoFile(const std::vector<QImage> &images)
{
    std::vector<QByteArray> blobs;
    blobs.reserve(images.size());
    for (const QImage &image : images)
        blobs.push_back(icoImage(image));

    QByteArray out;
    putU16(out, 0); // reserved
    putU16(out, 1); // type: icon
    putU16(out, unsigned(images.size()));

    std::uint32_t offset = 6 + 16 * std::uint32_t(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int side = images[i].width();
        out.append(char(side >= 256 ? 0 : side)); // width
        out.append(char(side >= 256 ? 0 : side)); // height
        out.append(char(0));                      // colour count
        out.append(char(0));                      // reserved
        putU16(out, 1);                           // planes
        putU16(out, 32);                          // bits per pixel
        putU32(out, std::uint32_t(blobs[i].size()));
        putU32(out, offset);
        offset += std::uint32_t(blobs[i].size());
    }
    for (const QByteArray &blob : blobs)
        out.append(blob);
    return out;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "lumivex_makeicon: cannot write %s\n", qPrintable(path));
        return false;
    }
    if (file.write(data) != data.size()) {
        std::fprintf(stderr, "lumivex_makeicon: short write to %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool writePng(const QString &path, const QImage &image)
{
    QImageWriter writer(path, "png");
    writer.setCompression(100); // Qt takes 0..100 here; 100 is zlib level 9
    if (!writer.write(image)) {
        std::fprintf(stderr, "lumivex_makeicon: cannot write %s: %s\n", qPrintable(path),
                     qPrintable(writer.errorString()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: lumivex_makeicon <outdir>\n");
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);

    bool ok = true;

    for (const int size : {16, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/icons/hicolor/%2x%2/apps").arg(outDir).arg(size);
        if (!QDir().mkpath(dir)) {
            std::fprintf(stderr, "lumivex_makeicon: cannot create %s\n", qPrintable(dir));
            return 1;
        }
        ok = writePng(dir + QStringLiteral("/lumivex.png"), drawIcon(size)) && ok;
    }

    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "lumivex_makeicon: cannot create %s\n", qPrintable(outDir));
        return 1;
    }
    ok = writeFile(outDir + QStringLiteral("/lumivex.ico"),
                   icoFile({drawIcon(16), drawIcon(32), drawIcon(48)}))
         && ok;

    return ok ? 0 : 1;
}
