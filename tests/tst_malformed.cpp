// Broken files through the editor's own Open command: none may crash or hang
// the program, a refused one leaves the document as it was, and an opened one
// is the same whatever the memory held before (no pixel left unwritten).
// Every file is opened in a child process (this program run with
// --open-each), so that a crash or a hang fails the test with the file's name
// instead of ending it.
#include "testsupport.h"

#include "malformed.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace TestSupport;

namespace {

constexpr int FileTimeoutMs = 20000;
const char *const KindNames[] = {"valid", "truncated", "flipped", "huge", "large"};

void say(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

QString pixelDigest(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (int y = 0; y < argb.height(); ++y)
        hash.addData(QByteArrayView(argb.constScanLine(y), qsizetype(argb.width()) * 4));
    return QString::fromLatin1(hash.result().toHex().left(16));
}

// Child: opens each path through File > Open on a window holding a known
// document, printing "open NAME" before and "NAME unchanged", "NAME replaced
// WxH DIGEST" or "NAME wrong: WHY" after each file.
int openEach(const QStringList &paths)
{
    // The decoders' complaints about the broken files are expected.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
    });
    MainWindow window;
    window.show();
    MainWindowTestAccess access{window};
    const QImage known = coordinateImage(13, 11);
    DialogAnswer answer;
    QAction *open = menuAction(window, QStringLiteral("Open"));
    for (const QString &path : paths) {
        const QString name = path.section(QLatin1Char('/'), -1);
        access.load(known);
        access.undoStack() = {QImage(1, 1, QImage::Format_RGB32)}; // one edit to lose
        say(QStringLiteral("open ") + name);
        answer.expect(path);
        if (open)
            open->trigger();
        const QImage &image = access.workingImage();
        QString outcome;
        if (!open || !answer.seen)
            outcome = QStringLiteral("wrong: no Open dialog showed");
        else if (image == known && image.format() == known.format()
                 && access.undoStack().size() == 1)
            outcome = QStringLiteral("unchanged");
        else if (image.isNull() || !access.undoStack().isEmpty())
            outcome = QStringLiteral("wrong: the document was damaged");
        else if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono
                 || image.format() == QImage::Format_MonoLSB)
            outcome = QStringLiteral("wrong: opened in a format edits cannot write");
        else
            outcome = QStringLiteral("replaced %1x%2 %3")
                              .arg(image.width())
                              .arg(image.height())
                              .arg(pixelDigest(image));
        say(name + QLatin1Char(' ') + outcome);
    }
    return 0;
}

// Opens paths in children, one after another until every file has an
// outcome by its name: one that dies or stalls takes the file it was opening
// with it, and the next goes on after it. Memory the program allocates starts
// filled with the byte fill. A child failing between files gives an outcome
// for the empty name.
QHash<QString, QString> openInChildren(QStringList pending, int fill)
{
    QHash<QString, QString> outcomes;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("MALLOC_PERTURB_"), QString::number(fill ^ 0xff));
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS"))
                               + QStringLiteral(":malloc_fill_byte=%1").arg(fill));
    while (!pending.isEmpty()) {
        QProcess child;
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(),
                    QStringList{QStringLiteral("--open-each")} + pending);
        if (!child.waitForStarted()) {
            outcomes.insert(QString(), child.errorString());
            break;
        }
        QByteArray output;
        QByteArray errors; // shown only when the child fails
        QElapsedTimer quiet;
        quiet.start();
        bool stalled = false;
        while (!child.waitForFinished(50)) {
            errors += child.readAllStandardError();
            const QByteArray more = child.readAllStandardOutput();
            if (!more.isEmpty()) {
                output += more;
                quiet.restart();
            } else if (quiet.elapsed() > FileTimeoutMs) {
                child.kill();
                child.waitForFinished();
                stalled = true;
                break;
            }
        }
        output += child.readAllStandardOutput();
        errors += child.readAllStandardError();
        QString current;
        for (const QByteArray &line : output.split('\n')) {
            const QString text = QString::fromUtf8(line);
            if (text.startsWith(QLatin1String("open "))) {
                current = text.mid(5);
            } else if (!current.isEmpty() && text.startsWith(current + QLatin1Char(' '))) {
                outcomes.insert(current, text.mid(current.size() + 1));
                current.clear();
            }
        }
        const bool clean =
                !stalled && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
        if (!clean)
            qWarning("%s", errors.right(20000).constData());
        if (!current.isEmpty()) {
            outcomes.insert(current,
                            stalled ? QStringLiteral("wrong: no answer within %1 s")
                                              .arg(FileTimeoutMs / 1000)
                            : child.exitStatus() == QProcess::CrashExit
                                    ? QStringLiteral("wrong: the program crashed (signal %1)")
                                              .arg(child.exitCode())
                                    : QStringLiteral("wrong: the program exited with code %1")
                                              .arg(child.exitCode()));
        } else if (!clean) {
            outcomes.insert(QString(), QStringLiteral("the opening program failed between files"));
            break;
        }
        pending.removeIf([&](const QString &path) {
            return outcomes.contains(path.section(QLatin1Char('/'), -1));
        });
    }
    return outcomes;
}

} // namespace

class MalformedTest : public QObject
{
    Q_OBJECT

private slots:
    void openEachCase_data();
    void openEachCase();
};

void MalformedTest::openEachCase_data()
{
    QTest::addColumn<QByteArray>("format");
    for (const QByteArray &format : Malformed::formats())
        QTest::newRow(format.constData()) << format;
}

void MalformedTest::openEachCase()
{
    QFETCH(QByteArray, format);
    const QList<Malformed::Case> cases = Malformed::cases(format);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList pending;
    for (const Malformed::Case &file : std::as_const(cases)) {
        QFile out(dir.filePath(file.name));
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file.bytes) == file.bytes.size());
        pending.append(out.fileName());
    }

    // Memory is filled differently in the two runs (glibc's and the address
    // sanitizer's allocators both can), so a pixel no decoder wrote shows.
    const QHash<QString, QString> outcomes = openInChildren(pending, 0x55);
    QVERIFY2(!outcomes.contains(QString()), qPrintable(outcomes.value(QString())));
    pending.removeIf([&](const QString &path) {
        return !outcomes.value(path.section(QLatin1Char('/'), -1))
                        .startsWith(QLatin1String("replaced"));
    });
    const QHash<QString, QString> again = openInChildren(pending, 0xaa);
    QVERIFY2(!again.contains(QString()), qPrintable(again.value(QString())));

    QStringList failures;
    QMap<QString, int> tally;
    for (const Malformed::Case &file : std::as_const(cases)) {
        const QString outcome = outcomes.value(file.name);
        QString expected;
        if (file.kind == Malformed::Kind::Valid)
            expected = QStringLiteral("replaced %1x%2")
                               .arg(file.expectedSize.width())
                               .arg(file.expectedSize.height());
        else if (file.kind == Malformed::Kind::Huge)
            expected = QStringLiteral("unchanged");
        if (outcome.startsWith(QLatin1String("wrong"))
            || (!expected.isEmpty() && outcome.section(QLatin1Char(' '), 0, 1) != expected))
            failures.append(file.name + QLatin1String(": ") + outcome);
        ++tally[QStringLiteral("%1 %2").arg(KindNames[int(file.kind)],
                                            outcome.section(QLatin1Char(' '), 0, 0))];
    }
    for (auto it = tally.cbegin(); it != tally.cend(); ++it)
        qInfo("%s: %d", qPrintable(it.key()), it.value());
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1String("\n"))));

    QStringList unsteady;
    for (auto it = again.cbegin(); it != again.cend(); ++it) {
        if (it.value() != outcomes.value(it.key()))
            unsteady.append(QStringLiteral("%1: %2, then %3")
                                    .arg(it.key(), outcomes.value(it.key()), it.value()));
    }
    QVERIFY2(unsteady.isEmpty(), qPrintable(unsteady.join(QLatin1String("\n"))));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--open-each") == 0)
        return openEach(QCoreApplication::arguments().mid(2));
    MalformedTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_malformed.moc"
