// Undo and redo through the window's menus, what an emptied editor does
// to the history (Open's clearing it is tested with Open), and the memory bound of the history.
#include "editingsupport.h"

#include "history.h"
#include "zoomgeometry.h"

#include <QFile>
#include <QMimeData>

#include <algorithm>

#if defined(__SANITIZE_ADDRESS__)
#define LUMIVEX_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMIVEX_TEST_ASAN 1
#endif
#endif

using namespace TestSupport;

namespace {

// The slider a step such as "Contrast 40" moves, or null for a menu command.
QSlider *sliderNamed(MainWindowTestAccess &access, const QString &name)
{
    if (name == QLatin1String("Brightness"))
        return access.brightnessSlider();
    if (name == QLatin1String("Contrast"))
        return access.contrastSlider();
    return name == QLatin1String("Saturation") ? access.saturationSlider() : nullptr;
}

// A field of /proc/self/status in KiB, or -1 where there is none.
qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// A few pixels far apart, enough to tell the turns and inversions of a
// large picture apart without keeping a copy of it.
QList<QRgb> fingerprint(const QImage &image)
{
    const int w = image.width();
    const int h = image.height();
    QList<QRgb> probes{QRgb(w), QRgb(h)};
    for (QPoint p : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1),
                     QPoint(w / 2, h / 3)})
        probes.append(image.pixel(p));
    return probes;
}

void addCommandRows(std::initializer_list<const char *> items)
{
    QTest::addColumn<QString>("item");
    for (const char *item : items)
        QTest::newRow(item) << QString::fromLatin1(item);
}

} // namespace

class HistoryTest : public QObject
{
    Q_OBJECT

private slots:
    // --- Undo and redo ---------------------------------------------------

    // Each row runs menu commands, slider moves ("Contrast 40") and clipboard
    // changes on a loaded picture, then names the step whose document must be
    // current (0 is the loaded picture) and the depths of both histories.
    void history_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("document");
        QTest::addColumn<int>("undoDepth");
        QTest::addColumn<int>("redoDepth");
        const auto row = [](const char *name, const char *steps, int document, int undo, int redo) {
            QTest::newRow(name) << QString::fromLatin1(steps).split(QLatin1Char(',')) << document
                                << undo << redo;
        };
        row("undo a turn", "Rotate Right,Undo", 0, 0, 1);
        row("redo a turn", "Rotate Right,Undo,Redo", 1, 1, 0);
        row("nothing left to redo", "Rotate Right,Undo,Redo,Redo", 1, 1, 0);
        row("nothing to undo", "Undo", 0, 0, 0);
        row("edit after undo drops redo", "Rotate Right,Flip Vertical,Undo,Grayscale,Redo", 4, 2,
            0);
        row("slider move is no edit", "Brightness 30,Undo", 0, 0, 0);
        row("undo shows current sliders", "Invert,Contrast 40,Undo", 0, 0, 1);
        row("redo shows current sliders", "Invert,Contrast 40,Undo,Redo", 1, 1, 0);
        row("undo a cut", "Cut,Undo", 0, 0, 1);
        row("redo a cut", "Cut,Undo,Redo", 1, 1, 0);
        row("undo a paste", "Copy,Invert,Paste,Undo", 2, 1, 1);
        row("undo a paste after cut", "Rotate Right,Cut,Paste,Undo", 1, 1, 1);
        row("undo past a cut", "Rotate Right,Cut,Paste,Undo,Undo", 0, 0, 2);
        row("paste from empty clipboard", "Rotate Right,Undo,Clipboard empty,Paste", 0, 0, 1);
        row("paste of text", "Rotate Right,Undo,Clipboard text,Paste", 0, 0, 1);
    }

    void history()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, document);
        QFETCH(int, undoDepth);
        QFETCH(int, redoDepth);
        MainWindow window;
        MainWindowTestAccess access{window};
        access.load(coordinateImage(4, 3, QImage::Format_ARGB32, true));
        QList<QImage> documents{access.workingImage()};
        for (const QString &step : steps) {
            const QString first = step.section(QLatin1Char(' '), 0, 0);
            const QString second = step.section(QLatin1Char(' '), 1);
            if (QSlider *slider = sliderNamed(access, first))
                slider->setValue(second.toInt());
            else if (first == QLatin1String("Clipboard") && second == QLatin1String("text"))
                clipboard()->setText(QStringLiteral("not a picture"));
            else if (first == QLatin1String("Clipboard"))
                clipboard()->clear();
            else
                TRIGGER(window, step);
            documents.append(access.workingImage());
        }
        COMPARE_DOCUMENT(access, documents.at(document));
        QCOMPARE(access.undoStack().size(), undoDepth);
        QCOMPARE(access.redoStack().size(), redoDepth);
        // An undo keeps what it replaced for redo, an emptied editor included.
        if (steps.last() == QLatin1String("Undo") && redoDepth > 0)
            COMPARE_IMAGES(access.redoStack().last(), documents.at(steps.size() - 1));
        if (documents.at(document).isNull())
            QVERIFY(viewBlank(access));
        else
            QCOMPARE(access.imageLabel()->size(), access.adjustedImage().size());
    }

    // Undo, redo and paste change the document, never the zoom or the tools.
    void viewStateKept_data() { addCommandRows({"Undo", "Redo", "Paste"}); }

    void viewStateKept()
    {
        QFETCH(QString, item);
        MainWindow window;
        MainWindowTestAccess access{window};
        access.load(coordinateImage(40, 30));
        TRIGGER(window, "Rotate Right");
        TRIGGER(window, "Flip Vertical");
        TRIGGER(window, "Undo");
        TRIGGER(window, "Zoom In");
        TRIGGER(window, "Zoom In");
        const double scale = access.scaleFactor();
        QCOMPARE(scale, 1.5625);
        access.cropping() = true;
        access.cropRect() = QRect(3, 4, 20, 10);
        access.selecting() = true;
        access.selectionRect() = QRect(1, 2, 5, 6);
        const QImage picture = coordinateImage(20, 50);
        offer(picture);
        const QImage before = access.workingImage();

        TRIGGER(window, item);
        QVERIFY(access.workingImage() != before);
        if (item == QLatin1String("Paste"))
            COMPARE_DOCUMENT(access, picture);
        QCOMPARE(access.scaleFactor(), scale);
        QCOMPARE(access.imageLabel()->size(),
                 Lumivex::zoomedViewSize(access.adjustedImage().size(), scale, QWIDGETSIZE_MAX));
        QVERIFY(access.imageLabel()->size() != access.adjustedImage().size());
        QVERIFY(access.cropping());
        QCOMPARE(access.cropRect(), QRect(3, 4, 20, 10));
        QVERIFY(access.selecting());
        QCOMPARE(access.selectionRect(), QRect(1, 2, 5, 6));
    }

    // Redoing a cut empties the editor; every command that needs a picture
    // then leaves everything as it is (a planted redo entry and selection
    // included), and Save As asks for no file.
    void emptyEditor_data()
    {
        addCommandRows({"Copy", "Cut", "Save As", "Select All", "Start Crop", "Rotate Right",
                        "Rotate Left", "Flip Horizontal", "Flip Vertical", "Grayscale", "Invert"});
    }

    void emptyEditor()
    {
        QFETCH(QString, item);
        MainWindow window;
        MainWindowTestAccess access{window};
        access.load(coordinateImage(5, 4));
        TRIGGER(window, "Cut");
        TRIGGER(window, "Undo");
        TRIGGER(window, "Redo");
        QVERIFY(access.adjustedImage().isNull());
        access.redoStack().append(coordinateImage(2, 2));
        access.selectionRect() = QRect(1, 2, 3, 4);
        clipboard()->setText(QStringLiteral("marker"));
        {
            DialogAnswer answer;
            TRIGGER(window, item);
            QTest::qWait(50);
            QVERIFY2(!answer.seen && !answer.messageSeen, "a dialog opened");
        }
        QVERIFY(access.workingImage().isNull());
        QVERIFY(access.adjustedImage().isNull());
        QCOMPARE(access.undoStack().size(), 1);
        QCOMPARE(access.redoStack().size(), 1);
        QVERIFY(!clipboard()->mimeData()->hasImage());
        QCOMPARE(clipboard()->text(), QStringLiteral("marker"));
        QVERIFY(!access.cropping());
        QVERIFY(!access.selecting());
        QCOMPARE(access.selectionRect(), QRect(1, 2, 3, 4));
    }

    // --- History memory --------------------------------------------------

    // Each letter names one block of pixel data (a: 4 bytes, b: 8, c: 16,
    // d: 32); a repeated letter shares the block, 0 is a null image.
    void trimHistory_data()
    {
        QTest::addColumn<QString>("undo");
        QTest::addColumn<QString>("redo");
        QTest::addColumn<qint64>("budget");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("kept");
        const auto row = [](const char *name, const char *undo, const char *redo, qint64 budget,
                            qint64 bytes, const char *kept) {
            QTest::newRow(name) << QString::fromLatin1(undo) << QString::fromLatin1(redo) << budget
                                << bytes << QString::fromLatin1(kept);
        };
        row("within budget", "abc", "", 100, 28, "abc");
        row("exactly the budget", "abc", "", 28, 28, "abc");
        row("shared counted once", "aab", "a", 12, 12, "aab");
        row("oldest dropped first", "bcd", "", 50, 56, "cd");
        row("newest kept over budget", "cd", "", 1, 48, "d");
        row("redo counts", "abc", "d", 50, 60, "c");
        row("entry also in redo frees nothing", "abc", "a", 24, 28, "c");
        row("shared entries drop together", "aabc", "", 26, 28, "bc");
        row("null entries hold nothing", "0c", "0", 10, 16, "c");
        row("empty", "", "", 0, 0, "");
    }

    void trimHistory()
    {
        QFETCH(QString, undo);
        QFETCH(QString, redo);
        QFETCH(qint64, budget);
        QFETCH(qint64, bytes);
        QFETCH(QString, kept);
        QHash<QChar, QImage> blocks;
        for (int i = 0; i < 4; ++i)
            blocks.insert(QLatin1Char(char('a' + i)), QImage(1 << i, 1, QImage::Format_RGB32));
        const auto entries = [&blocks](const QString &names) {
            QList<QImage> list;
            for (QChar name : names)
                list.append(blocks.value(name));
            return list;
        };
        QList<QImage> undoStack = entries(undo);
        const QList<QImage> redoStack = entries(redo);
        QCOMPARE(qint64(Lumivex::historyBytes(undoStack, redoStack)), bytes);
        Lumivex::trimHistory(undoStack, redoStack, budget);
        QCOMPARE(undoStack.size(), kept.size());
        for (int i = 0; i < kept.size(); ++i)
            QVERIFY(undoStack.at(i).constBits() == blocks.value(kept.at(i)).constBits());
    }

    // 60 edits of a 64 MB picture would need 3.8 GB of history; the budget
    // keeps the oldest out, and the undos that remain still work.
    void historyStaysWithinBudget()
    {
        constexpr int Side = 4000;
        constexpr int Edits = 60;
        const qint64 rssBefore = statusKiB("VmRSS:");
        MainWindow window;
        MainWindowTestAccess access{window};
        {
            QImage big(Side, Side, QImage::Format_RGB32);
            for (int y = 0; y < Side; ++y) {
                auto *row = reinterpret_cast<QRgb *>(big.scanLine(y));
                for (int x = 0; x < Side; ++x)
                    row[x] = qRgb(x & 255, y & 255, ((7 * x + 3 * y) >> 4) & 255);
            }
            access.load(big);
        }
        QList<QList<QRgb>> fingerprints{fingerprint(access.workingImage())};
        qint64 rssPeak = statusKiB("VmRSS:");
        for (int i = 0; i < Edits; ++i) {
            TRIGGER(window, i % 2 ? "Rotate Right" : "Invert");
            fingerprints.append(fingerprint(access.workingImage()));
            // Every edit makes a new picture, so the history holds as many
            // as the budget has room for, counted here apart from the
            // history's own count.
            const qint64 pictureBytes = access.workingImage().sizeInBytes();
            QCOMPARE(access.undoStack().size(),
                     std::min<qint64>(i + 1, Lumivex::HistoryBudgetBytes / pictureBytes));
            rssPeak = std::max(rssPeak, statusKiB("VmRSS:"));
        }
        const int reachable = int(access.undoStack().size());
        QVERIFY(reachable >= 1 && reachable < Edits);
#ifndef LUMIVEX_TEST_ASAN
        if (rssBefore > 0) {
            const qint64 growthMiB = (std::max(rssPeak, statusKiB("VmHWM:")) - rssBefore) / 1024;
            QVERIFY2(growthMiB < 2048, qPrintable(QStringLiteral("grew by %1 MiB").arg(growthMiB)));
        }
#else
        Q_UNUSED(rssBefore);
#endif
        for (int k = 1; k <= reachable + 1; ++k) {
            TRIGGER(window, "Undo"); // the last one finds nothing left
            QCOMPARE(fingerprint(access.workingImage()),
                     fingerprints.at(Edits - std::min(k, reachable)));
        }
    }
};

QTEST_MAIN(HistoryTest)
#include "tst_history.moc"
