// The editing commands through the window's menus: undo and redo, the
// quarter turns and mirrors, the colour filters, the clipboard, and the
// memory bound of the history.
#include "testsupport.h"

#include "history.h"
#include "imagekernels.h"
#include "viewgeometry.h"

#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

#if defined(__SANITIZE_ADDRESS__)
#define LUMIVEX_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMIVEX_TEST_ASAN 1
#endif
#endif

Q_DECLARE_METATYPE(Lumivex::Adjustment)

using TestSupport::coordinateImage;
using TestSupport::DialogAnswer;
using TestSupport::MessageCatcher;

namespace {

QString menuOf(const QString &item)
{
    if (item == QLatin1String("Grayscale") || item == QLatin1String("Invert"))
        return QStringLiteral("Filters");
    if (item == QLatin1String("Open") || item == QLatin1String("Save As"))
        return QStringLiteral("File");
    return item == QLatin1String("Start Crop") ? QStringLiteral("Crop") : QStringLiteral("Edit");
}

#define RUN(window, item) TRIGGER(window, menuOf(QString(item)), QString(item))

QClipboard *clipboard()
{
    return QGuiApplication::clipboard();
}

QImage pixelImage(QRgb value)
{
    QImage image(1, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, value);
    return image;
}

QImage withSliders(const QImage &document, int brightness, int contrast, int saturation)
{
    QImage shown;
    Lumivex::Reference::adjustImage(document, shown, {brightness, contrast, saturation});
    return shown;
}

// The slider a step such as "Contrast 40" moves, or null for a menu command.
QSlider *sliderNamed(MainWindowTestAccess &access, const QString &name)
{
    if (name == QLatin1String("Brightness"))
        return access.brightnessSlider();
    if (name == QLatin1String("Contrast"))
        return access.contrastSlider();
    return name == QLatin1String("Saturation") ? access.saturationSlider() : nullptr;
}

// The document is `document`, shown with the current slider positions.
#define COMPARE_DOCUMENT(access, document) \
    do { \
        COMPARE_IMAGES((access).workingImage(), (document)); \
        COMPARE_IMAGES((access).adjustedImage(), \
                       withSliders((document), (access).brightnessSlider()->value(), \
                                   (access).contrastSlider()->value(), \
                                   (access).saturationSlider()->value())); \
    } while (false)

bool allPixels(const QImage &image, bool (*test)(QRgb))
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!test(image.pixel(x, y)))
                return false;
        }
    }
    return true;
}

bool opaque(QRgb p)
{
    return qAlpha(p) == 255;
}

bool gray(QRgb p)
{
    return qRed(p) == qGreen(p) && qGreen(p) == qBlue(p);
}

// The bytes of one pixel as stored, whatever the format.
QByteArray rawPixel(const QImage &image, QPoint p)
{
    const int bytes = image.depth() / 8;
    return QByteArray(reinterpret_cast<const char *>(image.constScanLine(p.y()))
                              + qsizetype(p.x()) * bytes,
                      bytes);
}

// Whether the view shows no picture: its rendering is one flat colour.
bool viewBlank(MainWindowTestAccess &access)
{
    const QImage shot = access.imageLabel()->grab().toImage();
    const QRgb first = shot.pixel(0, 0);
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (shot.pixel(x, y) != first)
                return false;
        }
    }
    return true;
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

QImage grayRamp()
{
    QImage ramp(256, 1, QImage::Format_RGB32);
    for (int v = 0; v < 256; ++v)
        ramp.setPixel(v, 0, qRgb(v, v, v));
    return ramp;
}

void addCommandRows(std::initializer_list<const char *> items)
{
    QTest::addColumn<QString>("item");
    for (const char *item : items)
        QTest::newRow(item) << QString::fromLatin1(item);
}

} // namespace

class EditingTest : public QObject
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
                RUN(window, step);
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

    void openClearsHistory()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("picture.png"));
        const QImage picture = coordinateImage(5, 4, QImage::Format_ARGB32, true);
        QVERIFY(picture.save(path));
        MainWindow window;
        MainWindowTestAccess access{window};
        access.load(coordinateImage(3, 3));
        RUN(window, "Rotate Right");
        RUN(window, "Invert");
        RUN(window, "Undo");

        {
            DialogAnswer answer(path);
            RUN(window, "Open");
            QVERIFY(answer.seen);
        }
        COMPARE_IMAGES(access.workingImage().convertToFormat(QImage::Format_ARGB32), picture);
        QCOMPARE(access.undoStack().size(), 0);
        QCOMPARE(access.redoStack().size(), 0);
    }

    // Undo, redo and paste change the document, never the zoom or the tools.
    void viewStateKept_data() { addCommandRows({"Undo", "Redo", "Paste"}); }

    void viewStateKept()
    {
        QFETCH(QString, item);
        MainWindow window;
        MainWindowTestAccess access{window};
        access.load(coordinateImage(40, 30));
        RUN(window, "Rotate Right");
        RUN(window, "Flip Vertical");
        RUN(window, "Undo");
        RUN(window, "Zoom In");
        RUN(window, "Zoom In");
        const double scale = access.scaleFactor();
        QCOMPARE(scale, 1.5625);
        access.cropping() = true;
        access.cropRect() = QRect(3, 4, 20, 10);
        access.selecting() = true;
        access.selectionRect() = QRect(1, 2, 5, 6);
        const QImage picture = coordinateImage(20, 50);
        clipboard()->setImage(picture);
        const QImage before = access.workingImage();

        RUN(window, item);
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
        RUN(window, "Cut");
        RUN(window, "Undo");
        RUN(window, "Redo");
        QVERIFY(access.adjustedImage().isNull());
        access.redoStack().append(coordinateImage(2, 2));
        access.selectionRect() = QRect(1, 2, 3, 4);
        clipboard()->setText(QStringLiteral("marker"));
        {
            DialogAnswer answer;
            MessageCatcher message;
            RUN(window, item);
            QTest::qWait(50);
            QVERIFY2(!answer.seen && !message.seen, "a dialog opened");
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

    // --- Quarter turns and mirrors ---------------------------------------

    void transformMapping_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("format");
        const QList<QPair<const char *, QImage::Format>> formats = {
                {"ARGB32", QImage::Format_ARGB32},
                {"RGB32", QImage::Format_RGB32},
                {"ARGB32_Premultiplied", QImage::Format_ARGB32_Premultiplied},
                {"RGBA64", QImage::Format_RGBA64},
                {"Grayscale8", QImage::Format_Grayscale8},
                {"RGB888", QImage::Format_RGB888},
        };
        for (const char *item :
             {"Rotate Right", "Rotate Left", "Flip Horizontal", "Flip Vertical"}) {
            for (const auto &format : formats) {
                QTest::addRow("%s, %s", item, format.first)
                        << QString::fromLatin1(item) << QSize(3, 2) << int(format.second);
            }
            QTest::addRow("%s, one pixel", item)
                    << QString::fromLatin1(item) << QSize(1, 1) << int(QImage::Format_ARGB32);
        }
    }

    void transformMapping()
    {
        QFETCH(QString, item);
        QFETCH(QSize, size);
        QFETCH(int, format);
        MainWindow window;
        MainWindowTestAccess access{window};
        const QImage source =
                coordinateImage(size.width(), size.height(), QImage::Format(format), true);
        access.load(source);
        RUN(window, "Flip Vertical");
        RUN(window, "Undo");
        QCOMPARE(access.redoStack().size(), 1);

        RUN(window, item);
        const QImage result = access.workingImage();
        QCOMPARE(result.format(), source.format());
        const bool turn = item.startsWith(QLatin1String("Rotate"));
        QCOMPARE(result.size(), turn ? size.transposed() : size);
        const int w = size.width();
        const int h = size.height();
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const QPoint to = item == QLatin1String("Rotate Right")      ? QPoint(h - 1 - y, x)
                                  : item == QLatin1String("Rotate Left")     ? QPoint(y, w - 1 - x)
                                  : item == QLatin1String("Flip Horizontal") ? QPoint(w - 1 - x, y)
                                                                             : QPoint(x, h - 1 - y);
                QVERIFY2(rawPixel(result, to) == rawPixel(source, {x, y}),
                         qPrintable(QString::asprintf("pixel (%d, %d) did not land on (%d, %d)", x,
                                                      y, to.x(), to.y())));
            }
        }
        QCOMPARE(access.undoStack().size(), 1);
        QCOMPARE(access.redoStack().size(), 0);
        QCOMPARE(access.adjustedImage().format(), source.format());
        QVERIFY(allPixels(access.adjustedImage(), opaque));
    }

    // Sequences that must give back the picture, one history entry a step.
    void identities_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::newRow("four right turns") << "Rotate Right,Rotate Right,Rotate Right,Rotate Right";
        QTest::newRow("four left turns") << "Rotate Left,Rotate Left,Rotate Left,Rotate Left";
        QTest::newRow("left then right") << "Rotate Left,Rotate Right";
        QTest::newRow("right then left") << "Rotate Right,Rotate Left";
        QTest::newRow("flip horizontal twice") << "Flip Horizontal,Flip Horizontal";
        QTest::newRow("flip vertical twice") << "Flip Vertical,Flip Vertical";
        QTest::newRow("invert twice") << "Invert,Invert";
    }

    void identities()
    {
        QFETCH(QString, steps);
        const QStringList items = steps.split(QLatin1Char(','));
        MainWindow window;
        MainWindowTestAccess access{window};
        const QImage original = coordinateImage(5, 3);
        access.load(original);
        for (int i = 0; i < items.size(); ++i) {
            RUN(window, items.at(i));
            QCOMPARE(access.undoStack().size(), i + 1);
            QVERIFY(i + 1 == items.size() || access.workingImage() != original);
        }
        COMPARE_IMAGES(access.workingImage(), original);
    }

    // --- Colour filters --------------------------------------------------

    // The filters read the document, not the adjusted picture; the sliders
    // apply to the result, and Undo brings back the pixels, alpha included.
    void filterExamples_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("brightness");
        QTest::addColumn<QRgb>("input");
        QTest::addColumn<QRgb>("expected");
        const QString gray = QStringLiteral("Grayscale");
        const QString invert = QStringLiteral("Invert");
        QTest::newRow("gray of orange") << gray << 0 << qRgb(200, 100, 50) << qRgb(124, 124, 124);
        QTest::newRow("gray of red") << gray << 0 << qRgb(255, 0, 0) << qRgb(76, 76, 76);
        QTest::newRow("gray of green") << gray << 0 << qRgb(0, 255, 0) << qRgb(149, 149, 149);
        QTest::newRow("gray of blue") << gray << 0 << qRgb(0, 0, 255) << qRgb(29, 29, 29);
        QTest::newRow("gray, translucent")
                << gray << 0 << qRgba(200, 100, 50, 90) << qRgb(124, 124, 124);
        QTest::newRow("gray, brightened")
                << gray << 40 << qRgb(200, 100, 50) << qRgb(124, 124, 124);
        QTest::newRow("invert orange") << invert << 0 << qRgb(200, 100, 50) << qRgb(55, 155, 205);
        QTest::newRow("invert, transparent")
                << invert << 0 << qRgba(0, 128, 255, 0) << qRgb(255, 127, 0);
        QTest::newRow("invert, brightened")
                << invert << 40 << qRgb(200, 100, 50) << qRgb(55, 155, 205);
    }

    void filterExamples()
    {
        QFETCH(QString, item);
        QFETCH(int, brightness);
        QFETCH(QRgb, input);
        QFETCH(QRgb, expected);
        MainWindow window;
        MainWindowTestAccess access{window};
        access.load(pixelImage(input));
        access.brightnessSlider()->setValue(brightness);
        RUN(window, item);
        QCOMPARE(QColor::fromRgba(access.workingImage().pixel(0, 0)), QColor::fromRgba(expected));
        COMPARE_DOCUMENT(access, pixelImage(expected));
        QCOMPARE(access.undoStack().size(), 1);
        RUN(window, "Undo");
        COMPARE_DOCUMENT(access, pixelImage(input));
    }

    // On a ramp of all grays, 65 levels come out one lower; a gray that
    // dropped may drop again on the next pass, until the third pass.
    void grayscaleRamp()
    {
        MainWindow window;
        MainWindowTestAccess access{window};
        access.load(grayRamp());
        RUN(window, "Grayscale");
        QList<int> dropped;
        for (int v = 0; v < 256; ++v) {
            const QRgb out = access.workingImage().pixel(v, 0);
            QVERIFY(gray(out));
            QVERIFY2(qRed(out) == v || qRed(out) == v - 1, qPrintable(QString::number(v)));
            if (qRed(out) != v)
                dropped.append(v);
        }
        QCOMPARE(dropped.size(), 65);
        for (int v : {1, 2, 4, 8, 127, 128, 254})
            QVERIFY2(dropped.contains(v), qPrintable(QString::number(v)));
        QVERIFY(!dropped.contains(0) && !dropped.contains(255));

        // Changed pixels per later pass, and where 128 and 204 (the longest chain) stand.
        const int changed[] = {13, 1, 0};
        const int from128[] = {126, 126, 126};
        const int from204[] = {202, 201, 201};
        for (int pass = 0; pass < 3; ++pass) {
            const QImage before = access.workingImage();
            RUN(window, "Grayscale");
            const QImage after = access.workingImage();
            int count = 0;
            for (int v = 0; v < 256; ++v)
                count += after.pixel(v, 0) != before.pixel(v, 0);
            QCOMPARE(count, changed[pass]);
            QCOMPARE(qRed(after.pixel(128, 0)), from128[pass]);
            QCOMPARE(qRed(after.pixel(204, 0)), from204[pass]);
            QCOMPARE(access.undoStack().size(), pass + 2);
        }
    }

    // --- Clipboard -------------------------------------------------------

    // Copy and Cut hand over the adjusted picture, opaque; Cut empties the
    // editor (the view keeps its size) and Undo brings the document back.
    void clipboardGetsShownPicture_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("brightness");
        QTest::addColumn<int>("saturation");
        QTest::newRow("copy") << QStringLiteral("Copy") << 0 << 0;
        QTest::newRow("copy, brightened") << QStringLiteral("Copy") << 50 << 0;
        QTest::newRow("cut") << QStringLiteral("Cut") << 0 << 0;
        QTest::newRow("cut, desaturated") << QStringLiteral("Cut") << 0 << -100;
    }

    void clipboardGetsShownPicture()
    {
        QFETCH(QString, item);
        QFETCH(int, brightness);
        QFETCH(int, saturation);
        MainWindow window;
        MainWindowTestAccess access{window};
        const QImage original = coordinateImage(6, 4, QImage::Format_ARGB32, true);
        access.load(original);
        access.brightnessSlider()->setValue(brightness);
        access.saturationSlider()->setValue(saturation);
        const QImage shown = access.adjustedImage();
        const QSize viewSize = access.imageLabel()->size();
        QVERIFY(!viewBlank(access));
        clipboard()->clear();

        RUN(window, item);
        const QImage clip = clipboard()->image();
        QVERIFY(allPixels(clip, opaque));
        COMPARE_IMAGES(clip.convertToFormat(QImage::Format_ARGB32), shown);
        COMPARE_IMAGES(clip.convertToFormat(QImage::Format_ARGB32),
                       withSliders(original, brightness, 0, saturation));
        QCOMPARE(allPixels(clip, gray), saturation == -100);
        if (item == QLatin1String("Copy")) {
            COMPARE_DOCUMENT(access, original);
            QCOMPARE(access.undoStack().size(), 0);
            return;
        }
        QVERIFY(access.workingImage().isNull());
        QVERIFY(access.adjustedImage().isNull());
        QVERIFY(viewBlank(access));
        QCOMPARE(access.imageLabel()->size(), viewSize);
        QCOMPARE(access.undoStack().size(), 1);
        RUN(window, "Undo");
        COMPARE_DOCUMENT(access, original);
    }

    // The brightened picture pasted becomes the document and is brightened again.
    void brightnessAppliedAgainAfterPaste()
    {
        QImage original(3, 1, QImage::Format_RGB32);
        original.setPixel(0, 0, qRgb(200, 100, 50));
        original.setPixel(1, 0, qRgb(255, 255, 255));
        original.setPixel(2, 0, qRgb(0, 10, 250));
        MainWindow window;
        MainWindowTestAccess access{window};
        access.load(original);
        access.brightnessSlider()->setValue(50);
        const QImage brightened = access.adjustedImage();
        RUN(window, "Copy");
        RUN(window, "Paste");
        COMPARE_DOCUMENT(access, brightened);
        int (*const channels[])(QRgb) = {qRed, qGreen, qBlue};
        for (int x = 0; x < 3; ++x) {
            const QRgb once = brightened.pixel(x, 0);
            const QRgb twice = access.adjustedImage().pixel(x, 0);
            for (const auto channel : channels)
                QVERIFY(channel(once) == 255 ? channel(twice) == 255
                                             : channel(twice) > channel(once));
        }
        QCOMPARE(access.undoStack().size(), 1);
        RUN(window, "Undo");
        COMPARE_DOCUMENT(access, original);
    }

    // Pasting into the empty editor shows the picture at its size, with
    // nothing to undo; palette and 1-bit pictures arrive in 32 bits.
    void pasteIntoEmptyEditor_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<int>("format");
        const QImage colours = coordinateImage(8, 4, QImage::Format_RGB32);
        QImage translucent(4, 2, QImage::Format_Indexed8);
        translucent.setColorTable({qRgba(10, 20, 30, 128), qRgb(200, 0, 0)});
        for (int i = 0; i < 8; ++i)
            translucent.setPixel(i % 4, i / 4, i % 3 == 0);
        QTest::newRow("32 bit") << colours << int(QImage::Format_RGB32);
        QTest::newRow("24 bit") << colours.convertToFormat(QImage::Format_RGB888)
                                << int(QImage::Format_RGB888);
        QTest::newRow("palette") << colours.convertToFormat(QImage::Format_Indexed8)
                                 << int(QImage::Format_RGB32);
        QTest::newRow("one bit") << colours.convertToFormat(QImage::Format_Mono)
                                 << int(QImage::Format_RGB32);
        QTest::newRow("translucent palette") << translucent << int(QImage::Format_ARGB32);
    }

    void pasteIntoEmptyEditor()
    {
        QFETCH(QImage, picture);
        QFETCH(int, format);
        MainWindow window;
        MainWindowTestAccess access{window};
        const QImage expected = picture.convertToFormat(QImage::Format(format));
        clipboard()->setImage(picture);
        RUN(window, "Paste");
        QCOMPARE(access.workingImage().format(), QImage::Format(format));
        COMPARE_DOCUMENT(access, expected);
        QCOMPARE(access.imageLabel()->size(), picture.size());
        QCOMPARE(access.undoStack().size(), 0);
        RUN(window, "Undo");
        COMPARE_DOCUMENT(access, expected);
        QCOMPARE(access.redoStack().size(), 0);
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
            RUN(window, i % 2 ? "Rotate Right" : "Invert");
            fingerprints.append(fingerprint(access.workingImage()));
            QVERIFY(Lumivex::historyBytes(access.undoStack(), access.redoStack())
                    <= Lumivex::HistoryBudgetBytes);
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
            RUN(window, "Undo"); // the last one finds nothing left
            QCOMPARE(fingerprint(access.workingImage()),
                     fingerprints.at(Edits - std::min(k, reachable)));
        }
    }
};

QTEST_MAIN(EditingTest)
#include "tst_editing.moc"
