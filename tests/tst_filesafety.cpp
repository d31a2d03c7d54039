// Files that the system cuts short or that are no files at all: a save that
// runs out of room keeps the file that was there and says why, and opening a
// FIFO, directory or link loop changes nothing and never waits.
#include "testsupport.h"

#include "imagefile.h"
#include "imageoperations.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace TestSupport;
using namespace std::chrono_literals;

namespace {

constexpr qint64 SmallLimit = qint64(64) << 10;
constexpr qint64 Page = 4096;

// Noise that no writer compresses below 64 KiB.
const QImage &noise()
{
    static const QImage image = [] {
        QImage noisy(480, 360, QImage::Format_RGB32);
        QRandomGenerator random(7);
        for (int y = 0; y < noisy.height(); ++y) {
            for (int x = 0; x < noisy.width(); ++x)
                noisy.setPixel(x, y, random.generate() | 0xff000000u);
        }
        return noisy;
    }();
    return image;
}

qint64 encodedSize(const QImage &image, const QByteArray &format)
{
    const QByteArray bytes = encoded(image, format.constData());
    return bytes.isEmpty() ? -1 : bytes.size();
}

// While it lives, no file this process writes grows past limit bytes, and
// the signal that would end the process when one tries is ignored.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 limit)
    {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &previousAction);
        getrlimit(RLIMIT_FSIZE, &previousLimit);
        rlimit lowered = previousLimit;
        lowered.rlim_cur = rlim_t(limit);
        applied = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previousLimit);
        sigaction(SIGXFSZ, &previousAction, nullptr);
    }

    bool applied = false;

private:
    rlimit previousLimit = {};
    struct sigaction previousAction = {};
};

// While it lives, a reader still waiting on the FIFO at path after two
// seconds is let go: the FIFO is opened for writing and closed, so that the
// reader sees its end. rescued tells that this was needed.
class FifoWatchdog
{
public:
    explicit FifoWatchdog(const QString &path)
        : thread([this, fifo = QFile::encodeName(path)] {
              for (int tick = 1; !done; ++tick) {
                  std::this_thread::sleep_for(10ms);
                  if (tick < 200 || done)
                      continue;
                  rescued = true;
                  const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                  if (fd >= 0)
                      ::close(fd);
              }
          })
    { }
    ~FifoWatchdog()
    {
        done = true;
        thread.join();
    }

    std::atomic<bool> rescued{false};

private:
    std::atomic<bool> done{false};
    std::thread thread;
};

} // namespace

class FileSafetyTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cutShortSaveKeepsFile_data();
    void cutShortSaveKeepsFile();
    void cutShortSaveAsWarns();
    void regularFilesOnly_data();
    void regularFilesOnly();
    void replacesLongestName();
    void openingFifoChangesNothing();
    void orientsAsTheReader_data();
    void orientsAsTheReader();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString file(const QString &name) const { return dir->filePath(name); }
    QStringList entries() const
    {
        return QDir(dir->path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
};

void FileSafetyTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void FileSafetyTest::cutShortSaveKeepsFile_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<qint64>("limit");
    for (const char *suffix : {"png", "jpg", "bmp", "tiff", "webp"}) {
        const qint64 size = encodedSize(noise(), suffix);
        QVERIFY2(size > SmallLimit + 4 * Page, suffix);
        QTest::addRow("%s 64 KiB", suffix) << QString::fromLatin1(suffix) << SmallLimit;
        QTest::addRow("%s 3 pages short", suffix) << QString::fromLatin1(suffix) << size - 3 * Page;
    }
}

void FileSafetyTest::cutShortSaveKeepsFile()
{
    QFETCH(QString, suffix);
    QFETCH(qint64, limit);
    const QString name = QStringLiteral("picture.") + suffix;
    const QByteArray before("the picture that was there");
    {
        QFile existing(file(name));
        QVERIFY(existing.open(QIODevice::WriteOnly) && existing.write(before) == before.size());
    }
    QString error;
    {
        const FileSizeLimit limited(limit);
        QVERIFY(limited.applied);
        error = Lumivex::writeImageFile(noise(), file(name));
    }
    QCOMPARE(readBytes(file(name)), before);
    QCOMPARE(entries(), QStringList{name});
    QVERIFY2(error.contains(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(error));
}

void FileSafetyTest::cutShortSaveAsWarns()
{
    const QString path = file(QStringLiteral("picture.png"));
    QVERIFY(noise().save(path));
    const QByteArray before = readBytes(path);
    QVERIFY(before.size() > SmallLimit);

    MainWindow window;
    MainWindowTestAccess state{window};
    state.load(noise());
    // Yes to the file dialog's question whether to replace the file.
    DialogAnswer answer(path, true);
    {
        const FileSizeLimit limited(SmallLimit);
        QVERIFY(limited.applied);
        TRIGGER(window, "Save As");
    }
    QVERIFY(answer.seen);
    QVERIFY(answer.messageSeen);
    QVERIFY2(answer.text.contains(QDir::toNativeSeparators(path)), qPrintable(answer.text));
    QVERIFY2(answer.text.contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
             qPrintable(answer.text));
    QVERIFY(!answer.text.contains(QStringLiteral("Unknown error")));
    QCOMPARE(readBytes(path), before);
    QCOMPARE(entries(), QStringList{QStringLiteral("picture.png")});
}

void FileSafetyTest::regularFilesOnly_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("FIFO") << "pipe.png";
    QTest::newRow("link to a FIFO") << "to-pipe.png";
    QTest::newRow("directory") << "folder.png";
    QTest::newRow("link loop") << "loop.png";
    QTest::newRow("link to a device") << "zero.png";
}

// Neither opened nor saved over: each name is no regular file.
void FileSafetyTest::regularFilesOnly()
{
    QFETCH(QString, name);
    QCOMPARE(::mkfifo(QFile::encodeName(file("pipe.png")).constData(), 0600), 0);
    QVERIFY(QFile::link(file("pipe.png"), file("to-pipe.png")));
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("folder.png")));
    QVERIFY(QFile::link(file("loop.png"), file("loop.png")));
    // A device of the test's own where the system lets it make one, so that
    // a save gone wrong could replace nothing of the system's.
    const bool ownDevice =
            ::mknod(QFile::encodeName(file("null")).constData(), S_IFCHR | 0600, makedev(1, 3))
            == 0;
    QVERIFY(QFile::link(ownDevice ? file("null") : QStringLiteral("/dev/zero"), file("zero.png")));

    const FifoWatchdog watchdog(file("pipe.png"));
    QVERIFY(Lumivex::readImageFile(file(name)).isNull());
    QVERIFY2(!watchdog.rescued, "the read waited on the FIFO");
    if (name == QLatin1String("zero.png") && !ownDevice)
        return;
    const QStringList before = entries();
    QVERIFY(!Lumivex::writeImageFile(coordinateImage(4, 4), file(name)).isEmpty());
    QVERIFY2(!watchdog.rescued, "the save waited on the FIFO");
    QCOMPARE(entries(), before);
    struct stat status = {};
    QCOMPARE(::lstat(QFile::encodeName(file("pipe.png")).constData(), &status), 0);
    QVERIFY(S_ISFIFO(status.st_mode));
    if (ownDevice) {
        QCOMPARE(::lstat(QFile::encodeName(file("null")).constData(), &status), 0);
        QVERIFY(S_ISCHR(status.st_mode));
    }
}

// A name at the system's limit of 255 bytes is written and replaced.
void FileSafetyTest::replacesLongestName()
{
    const QString name = QString(251, QLatin1Char('n')) + QStringLiteral(".png");
    QCOMPARE(Lumivex::writeImageFile(coordinateImage(4, 4), file(name)), QString());
    const QImage second = coordinateImage(5, 3);
    QCOMPARE(Lumivex::writeImageFile(second, file(name)), QString());
    QCOMPARE(QImage(file(name)).size(), second.size());
    QCOMPARE(entries(), QStringList{name});
}

void FileSafetyTest::openingFifoChangesNothing()
{
    // The file dialog itself refuses a directory or a missing file; a FIFO
    // it hands on.
    QCOMPARE(::mkfifo(QFile::encodeName(file("pipe.png")).constData(), 0600), 0);
    MainWindow window;
    MainWindowTestAccess state{window};
    state.load(coordinateImage(10, 10));
    const QImage before = state.workingImage();

    const FifoWatchdog watchdog(file("pipe.png"));
    DialogAnswer answer(file("pipe.png"));
    TRIGGER(window, "Open");
    QVERIFY(answer.seen);
    QVERIFY2(!watchdog.rescued, "the open waited on the FIFO");
    QVERIFY(!answer.messageSeen);
    QCOMPARE(state.workingImage(), before);
}

void FileSafetyTest::orientsAsTheReader_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<int>("orientation");
    const QImage colour = coordinateImage(96, 37, QImage::Format_RGB32);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        QTest::addRow("colour %d", orientation) << colour << orientation;
        QTest::addRow("grey %d", orientation)
                << colour.convertToFormat(QImage::Format_Grayscale8) << orientation;
    }
    QTest::newRow("prime width 6") << coordinateImage(37, 23, QImage::Format_RGB32) << 6;
    QTest::newRow("portrait 8") << coordinateImage(40, 90, QImage::Format_RGB32) << 8;
    QTest::newRow("one row 6") << coordinateImage(9, 1, QImage::Format_RGB32) << 6;
    QTest::newRow("one column 8") << coordinateImage(1, 9, QImage::Format_RGB32) << 8;
}

void FileSafetyTest::orientsAsTheReader()
{
    QFETCH(QImage, image);
    QFETCH(int, orientation);
    QByteArray jpeg = jpegWithOrientation(image, orientation);
    QBuffer buffer(&jpeg);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QImage expected = Lumivex::toEditableFormat(reader.read());
    QVERIFY(!expected.isNull());
    QCOMPARE(expected.size(), orientation > 4 ? image.size().transposed() : image.size());
    QVERIFY(buffer.seek(0));
    COMPARE_IMAGES(Lumivex::readImage(&buffer), expected);
}

QTEST_MAIN(FileSafetyTest)
#include "tst_filesafety.moc"
