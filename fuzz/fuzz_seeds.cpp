// Writes the fuzzer's seed corpus: every intact and damaged file that the
// malformed-file generator makes, one file each, into the folder given.
#include "malformed.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral(".")))
        return 1;
    int written = 0;
    for (const QByteArray &format : Malformed::formats()) {
        for (const Malformed::Case &file : Malformed::cases(format)) {
            QFile out(folder.filePath(file.name));
            if (!out.open(QIODevice::WriteOnly) || out.write(file.bytes) != file.bytes.size())
                return 1;
            ++written;
        }
    }
    std::printf("%d seed files in %s\n", written, argv[1]);
    return 0;
}
