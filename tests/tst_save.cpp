// Saving image files: what writeImageFile refuses and what a failed write
// leaves, and Save As through its dialog, its warnings and its cancel.
#include "testsupport.h"

#include "imagefile.h"

#include <QAbstractButton>
#include <QRandomGenerator>

using namespace TestSupport;

class SaveTest : public QObject, private ScratchFolder
{
    Q_OBJECT

private slots:
    void init();
    void writeFailures_data();
    void writeFailures();
    void failedWriteKeepsExistingFile();
    void saveThroughDialog();
    void saveFailureWarns();
    void saveCancelledOrEmpty();
    void saveInBackground_data();
    void saveInBackground();
    void metadataFollowsDocument_data();
    void metadataFollowsDocument();
};

void SaveTest::init()
{
    QVERIFY(renewFolder());
}

void SaveTest::writeFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("no suffix") << "picture";
    QTest::newRow("no writer for gif") << "picture.gif";
    QTest::newRow("unknown suffix") << "picture.xyz";
    // Formats Qt writes but the editor does not open.
    QTest::newRow("icon") << "picture.ico";
    QTest::newRow("portable pixmap") << "picture.ppm";
    QTest::newRow("X pixmap") << "picture.xpm";
    QTest::newRow("folder that does not exist") << "missing/picture.png";
    QTest::newRow("parent is a file") << "plain.txt/picture.png";
}

void SaveTest::writeFailures()
{
    QFETCH(QString, name);
    QVERIFY(writeBytes(file("plain.txt"), "text"));
    const QString error = Lumivex::writeImageFile(coordinateImage(4, 4), file(name));
    QVERIFY2(!error.isEmpty(), "a failed write must say why");
    QVERIFY(!QFile::exists(file(name)));
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"plain.txt"});
}

void SaveTest::failedWriteKeepsExistingFile()
{
    const QImage first = coordinateImage(30, 20, QImage::Format_RGB32);
    QVERIFY(Lumivex::writeImageFile(first, file("keep.png")).isEmpty());
    const QByteArray before = [&] {
        QFile f(file("keep.png"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    // The writer refuses a null image after the temporary file is open.
    QVERIFY(!Lumivex::writeImageFile(QImage(), file("keep.png")).isEmpty());
    QFile after(file("keep.png"));
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), before);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"keep.png"});
}

void SaveTest::saveThroughDialog()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(qRgba(100, 150, 200, 0));
    state.load(image);
    state.brightnessSlider()->setValue(50);

    DialogAnswer answer(file("saved.png"));
    TRIGGER(window, "Save As");
    QVERIFY(answer.seen);
    QCOMPARE(answer.caption, QStringLiteral("Save Image As"));
    QCOMPARE(answer.filters, QStringList{Lumivex::saveFilter()});
    // The file holds the adjusted, opaque picture, not the document.
    const QImage saved(file("saved.png"));
    QCOMPARE(saved.pixel(0, 0), qRgba(150, 200, 250, 255));
    QCOMPARE(state.workingImage().pixel(0, 0), qRgba(100, 150, 200, 0));

    // Opened again with the slider still at 50, it is brightened once more.
    answer.expect(file("saved.png"));
    TRIGGER(window, "Open");
    QCOMPARE(state.adjustedImage().pixel(0, 0), qRgb(200, 250, 255));
}

void SaveTest::saveFailureWarns()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    state.load(coordinateImage(4, 4));
    const QImage before = state.adjustedImage();

    DialogAnswer answer(file("no-such-folder/out.png"));
    TRIGGER(window, "Save As");
    QVERIFY(answer.messageSeen);
    QVERIFY2(answer.text.contains(QDir::toNativeSeparators(file("no-such-folder/out.png"))),
             qPrintable(answer.text));
    QVERIFY(!answer.text.contains(QStringLiteral("%1")));
    QCOMPARE(state.adjustedImage(), before);
    QVERIFY(state.undoStack().isEmpty());

    // A suffix without a writer names the reason too.
    answer.expect(file("out.gif"));
    TRIGGER(window, "Save As");
    QVERIFY(answer.messageSeen);
    QVERIFY(answer.text.contains(QStringLiteral("gif")));
    QVERIFY(!QFile::exists(file("out.gif")));
}

void SaveTest::saveCancelledOrEmpty()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    // No picture: no dialog at all.
    DialogAnswer unexpected(file("never.png"));
    TRIGGER(window, "Save As");
    QTest::qWait(50);
    QVERIFY(!unexpected.seen);
    QVERIFY(!QFile::exists(file("never.png")));
    // The answer stays armed; cancel it through a real dialog next.
    state.load(coordinateImage(4, 4));
    unexpected.path.clear();
    TRIGGER(window, "Save As");
    QVERIFY(unexpected.seen);
    QTest::qWait(50);
    QVERIFY(!unexpected.messageSeen);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{});
}

void SaveTest::saveInBackground_data()
{
    QTest::addColumn<QString>("act"); // what the user does during the save
    QTest::addColumn<bool>("existing");
    QTest::newRow("saved") << "" << false;
    QTest::newRow("window closed") << "close" << true;
    QTest::newRow("Cancel, replacing") << "cancel" << true;
    QTest::newRow("Cancel, new name") << "cancel" << false;
}

// The window runs while noise saves (a few tenths of a second as PNG); then
// the file is complete or as it was.
void SaveTest::saveInBackground()
{
    QFETCH(QString, act);
    QFETCH(bool, existing);
    QImage image(3000, 2000, QImage::Format_ARGB32);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(image.bits()), 6'000'000);
    QVERIFY(!existing || writeBytes(file("out.png"), "there before"));
    MainWindow window;
    MainWindowTestAccess{window}.load(image);
    MainWindowTestAccess{window}.saveDialogDelay() = act == "cancel" ? 0 : 500;
    window.show();
    DialogAnswer answer(file("out.png"), true);
    int ticks = 0; // after the file dialog, while the slot runs
    QTimer press;  // the act
    press.callOnTimeout([&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (answer.seen && !qobject_cast<QFileDialog *>(modal) && ++ticks == 1 && act == "close")
            QVERIFY(!window.close() && window.isVisible());
        if (act == "cancel" && modal && modal->inherits("QProgressDialog"))
            QMetaObject::invokeMethod(modal, "canceled"); // as its button does
    });
    press.start(10);
    TRIGGER(window, "Save As");
    QVERIFY(!answer.messageSeen);
    // Cancel ends the save at once: the window ran at least until then.
    QVERIFY2(ticks >= (act == "cancel" ? 1 : 5), qPrintable(QString::number(ticks)));
    QCOMPARE(window.isVisible(), act != "close");
    QCOMPARE(QImage(file("out.png")).size(), act == "cancel" ? QSize(0, 0) : image.size());
    QFile after(file("out.png"));
    QVERIFY(act != "cancel" || !existing
            || (after.open(QIODevice::ReadOnly) && after.readAll() == "there before"));
    QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             existing || act != "cancel" ? QStringList{"out.png"} : QStringList{});
}

// The opened photo's EXIF is saved with every edit and back after Undo; a
// pasted picture has none. Saved upright, its orientation tag is 1.
void SaveTest::metadataFollowsDocument_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<bool>("kept");
    QTest::addRow("edited") << QStringList{"Flip Horizontal", "Rotate Left"} << true;
    QTest::addRow("pasted") << QStringList{"Copy", "Paste"} << false;
    QTest::addRow("pasted, undone") << QStringList{"Copy", "Paste", "Undo"} << true;
}

void SaveTest::metadataFollowsDocument()
{
    QFETCH(QStringList, items);
    QFETCH(bool, kept);
    QVERIFY(writeBytes(file("photo.jpg"), jpegWithOrientation(coordinateImage(30, 20), 6)));
    MainWindow window;
    DialogAnswer answer(file("photo.jpg"), true);
    TRIGGER(window, "Open");
    for (const QString &item : items)
        TRIGGER(window, item);
    answer.expect(file("saved.png"));
    TRIGGER(window, "Save As");
    QFile saved(file("saved.png"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const Lumivex::ImageMetadata metadata = Lumivex::readMetadata(saved.readAll());
    QCOMPARE(!metadata.exif.isEmpty(), kept);
    QCOMPARE(Lumivex::exifOrientation(metadata), kept ? 1 : 0);
}

QTEST_MAIN(SaveTest)
#include "tst_save.moc"
