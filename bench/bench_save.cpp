// Time and size of saving a 24-megapixel photo-like picture (smooth
// gradients, a texture and noise, made here rather than read), by each of our
// writers and by Qt's own at its default settings, in rounds that alternate
// between them. Prints, each round:
//   FORMAT ours MS BYTES
//   FORMAT qt MS BYTES
//   FORMAT ratio TIME_RATIO SIZE_RATIO      (ours over Qt's)
// Usage: lumivex_bench_save [rounds], default 3.
#include "pngencoder.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

quint32 hash(quint32 x, quint32 y)
{
    quint32 h = x * 0x9e3779b1u ^ y * 0x85ebca77u;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    return h;
}

// Broad gradients (products of slow waves, separable so that each is a table
// lookup), a texture of value noise on an 8-pixel grid, and fine noise of a
// few levels per channel, as a camera's sensor leaves it.
QImage photoLike(int width, int height)
{
    std::vector<double> sx(width), cx(width), sy(height), cy(height);
    for (int x = 0; x < width; ++x) {
        sx[size_t(x)] = std::sin(x / 850.0);
        cx[size_t(x)] = std::cos(x / 430.0);
    }
    for (int y = 0; y < height; ++y) {
        sy[size_t(y)] = std::sin(y / 610.0);
        cy[size_t(y)] = std::cos(y / 290.0);
    }
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const double fy = (y % 8) / 8.0;
        for (int x = 0; x < width; ++x) {
            const double fx = (x % 8) / 8.0;
            const auto corner = [x, y](int dx, int dy) {
                return double(hash(quint32(x / 8 + dx), quint32(y / 8 + dy)) & 31);
            };
            const double texture = (corner(0, 0) * (1 - fx) + corner(1, 0) * fx) * (1 - fy)
                                   + (corner(0, 1) * (1 - fx) + corner(1, 1) * fx) * fy;
            const quint32 noise = hash(quint32(x), quint32(y) + 7919u);
            const double base = 110 + 70 * sx[size_t(x)] * sy[size_t(y)] + texture;
            const auto channel = [base, noise](double wave, int shift) {
                return qBound(0, int(base + wave + double((noise >> shift) & 7)), 255);
            };
            line[x] = qRgb(channel(30 * cx[size_t(x)], 0), channel(20 * cy[size_t(y)], 3),
                           channel(-25 * cx[size_t(x)] * cy[size_t(y)], 6));
        }
    }
    return image;
}

QByteArray qtFile(const QImage &image, const char *format)
{
    QByteArray file;
    QBuffer buffer(&file);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    return writer.write(image) ? file : QByteArray();
}

QImage decoded(const QByteArray &file)
{
    QBuffer buffer;
    buffer.setData(file);
    return QImageReader(&buffer).read();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 3;
    const QImage image = photoLike(6000, 4000);
    QByteArray ours, qts;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        ours = Lumivex::encodePng(image);
        const double oursMs = double(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        qts = qtFile(image, "png");
        const double qtMs = double(timer.nsecsElapsed()) / 1e6;
        std::printf("png ours %.0f %lld\npng qt %.0f %lld\npng ratio %.3f %.4f\n", oursMs,
                    static_cast<long long>(ours.size()), qtMs, static_cast<long long>(qts.size()),
                    oursMs / qtMs, double(ours.size()) / double(qts.size()));
        std::fflush(stdout);
    }
    if (ours.isEmpty() || decoded(ours) != decoded(qts)) {
        std::printf("png: our file does not decode to the picture Qt's does\n");
        return 1;
    }
    return 0;
}
