// Peak memory and time of opening the largest picture the allocation limit
// admits, as a JPEG stored upright and as one whose orientation tag asks for
// a quarter turn. Each open runs in a child process of its own, so that its
// peak resident size is the open's alone. Prints, for each file:
//   open NAME WIDTHxHEIGHT PEAK_MIB PICTURE_MIB MS
// where PEAK_MIB is the child's peak resident size and PICTURE_MIB the size of
// the decoded picture. Usage: lumivex_bench_open [width [height]], default
// 11000 × 11000.
#include "imagefile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

#include <sys/resource.h>

namespace {

// Rows of a gradient, so that the file stays small while the picture is large.
bool writeJpegs(const QString &folder, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb(x & 255, y & 255, (x / 64 + y / 64) & 255);
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!QImageWriter(&buffer, "jpeg").write(image))
        return false;
    QFile plain(folder + QStringLiteral("/plain.jpg"));
    if (!plain.open(QIODevice::WriteOnly) || plain.write(jpeg) != jpeg.size())
        return false;
    // An Exif block whose one entry is orientation 6, a quarter turn clockwise.
    QByteArray exif("\xff\xe1\x00\x22"
                    "Exif\0\0"
                    "II\x2a\x00\x08\x00\x00\x00"
                    "\x01\x00\x12\x01\x03\x00\x01\x00\x00\x00\x06\x00\x00\x00\x00\x00\x00\x00",
                    36);
    jpeg.insert(2, exif);
    QFile rotated(folder + QStringLiteral("/rotated.jpg"));
    return rotated.open(QIODevice::WriteOnly) && rotated.write(jpeg) == jpeg.size();
}

// Opens path and prints its size, the peak resident size and the time.
int openAndReport(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    const QImage image = Lumivex::readImageFile(path);
    const qint64 ms = timer.elapsed();
    if (image.isNull())
        return 1;
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%dx%d %.0f %.0f %lld\n", image.width(), image.height(),
                double(usage.ru_maxrss) / 1024.0, double(image.sizeInBytes()) / (1 << 20),
                static_cast<long long>(ms));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args.at(1) == QLatin1String("--write"))
        return writeJpegs(args.at(2), args.at(3).toInt(), args.at(4).toInt()) ? 0 : 1;
    if (args.size() == 3 && args.at(1) == QLatin1String("--open"))
        return openAndReport(args.at(2));

    const int width = args.size() > 1 ? args.at(1).toInt() : 11000;
    const int height = args.size() > 2 ? args.at(2).toInt() : width;
    QTemporaryDir dir;
    const QString self = QCoreApplication::applicationFilePath();
    if (!dir.isValid() || width <= 0 || height <= 0
        || QProcess::execute(self, {QStringLiteral("--write"), dir.path(), QString::number(width),
                                    QString::number(height)})
                   != 0) {
        std::fprintf(stderr, "could not write the pictures\n");
        return 1;
    }
    std::printf("open NAME SIZE PEAK_MIB PICTURE_MIB MS\n");
    for (const char *name : {"plain", "rotated"}) {
        QProcess child;
        child.start(self,
                    {QStringLiteral("--open"), dir.filePath(QString::fromLatin1(name) + ".jpg")});
        if (!child.waitForFinished(-1) || child.exitCode() != 0) {
            std::fprintf(stderr, "%s: not opened\n", name);
            return 1;
        }
        std::printf("open %s %s", name, child.readAllStandardOutput().constData());
    }
    return 0;
}
