// What the view puts on the screen, at device pixels: fine patterns reduced
// by area below zoom 1, the same pixels wherever the view is scrolled and
// whether reduced with a slider step or alone, and tagged colours converted
// for the screen while the document keeps its own. CTest runs it on a 1x, a
// 1.5x and a 2x screen.
#include "testsupport.h"

#include <QClipboard>
#include <QColorSpace>
#include <QGuiApplication>
#include <QMimeData>
#include <QScrollBar>

#include <cmath>

using namespace TestSupport;

namespace {

// What the view shows of its logical rect area, in device pixels.
QImage shownPixels(Lumivex::ImageView *view, const QRect &area = QRect(QPoint(0, 0), QSize(-1, -1)))
{
    return view->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
}

double grayDeviation(const QImage &image)
{
    double sum = 0, squares = 0;
    const double n = double(image.width()) * image.height();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const double g = qGray(image.pixel(x, y));
            sum += g;
            squares += g * g;
        }
    }
    return std::sqrt(std::max(0.0, squares / n - sum * sum / n / n));
}

} // namespace

class DisplayTest : public QObject
{
    Q_OBJECT

private slots:
    void finePatterns_data();
    void finePatterns();
    void scrollingKeepsPixels();
    void taggedColours_data();
    void taggedColours();
};

// A one-pixel checkerboard reduced by area is an even grey when a device
// pixel covers about 2, 3.7 or 6 picture pixels a side (at exactly 3 the
// average is rightly a checkerboard of 5 against 4); vertical stripes of 3.3
// device pixels keep their contrast. Zoom steps are chosen per screen to
// reach the same device pixels.
void DisplayTest::finePatterns_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("steps1x");
    QTest::addColumn<int>("steps2x");
    QTest::addRow("checkerboard, 2 pixels a device pixel") << 1 << 3 << 6;
    QTest::addRow("checkerboard, 3.7") << 1 << 5 << 9;
    QTest::addRow("checkerboard, 6") << 1 << 8 << 11;
    QTest::addRow("stripes of 3.3 device pixels") << 8 << 4 << 7;
}

void DisplayTest::finePatterns()
{
    QFETCH(int, period);
    QFETCH(int, steps1x);
    QFETCH(int, steps2x);
    MainWindow window;
    MainWindowTestAccess state{window};
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int zoomOutSteps = window.devicePixelRatioF() > 1.5 ? steps2x : steps1x;

    QImage pattern(1200, 900, QImage::Format_RGB32);
    for (int y = 0; y < pattern.height(); ++y) {
        for (int x = 0; x < pattern.width(); ++x)
            pattern.setPixel(x, y,
                             ((period == 1 ? x + y : x / (period / 2)) % 2) ? ~0u : 0xff000000);
    }
    state.load(pattern);
    for (int i = 0; i < zoomOutSteps; ++i)
        TRIGGER(window, "Zoom Out");
    const QImage shown = shownPixels(state.imageLabel());
    const QImage inner = shown.copy(shown.rect().adjusted(2, 2, -2, -2));
    if (period == 1) {
        QVERIFY2(grayDeviation(inner) <= 6, qPrintable(QString::number(grayDeviation(inner))));
    } else {
        int low = 255, high = 0;
        for (int x = 0; x < inner.width(); ++x) {
            low = std::min(low, qGray(inner.pixel(x, 0)));
            high = std::max(high, qGray(inner.pixel(x, 0)));
        }
        QVERIFY2(high - low >= 150, qPrintable(QStringLiteral("%1..%2").arg(low).arg(high)));
    }
}

void DisplayTest::scrollingKeepsPixels()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QImage noise(4000, 3000, QImage::Format_RGB32);
    quint32 seed = 1;
    for (int y = 0; y < noise.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x)
            line[x] = (seed = seed * 1664525u + 1013904223u) | 0xff000000u;
    }
    state.load(noise);
    for (int i = 0; i < 3; ++i)
        TRIGGER(window, "Zoom Out");
    QScrollBar *bar = state.scrollArea()->horizontalScrollBar();
    QVERIFY(bar->maximum() > 300);
    const QRect area(400, 100, 200, 150); // visible before and after the scroll
    const QImage before = shownPixels(state.imageLabel(), area);
    bar->setValue(bar->value() + 237);
    QCoreApplication::processEvents();
    COMPARE_IMAGES(shownPixels(state.imageLabel(), area), before);

    // A slider step reduces as it adjusts; the view of the adjusted picture
    // as a document of its own reduces it alone: the same pixels.
    state.brightnessSlider()->setValue(30);
    MainWindow other;
    MainWindowTestAccess otherState{other};
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    otherState.load(state.adjustedImage());
    for (int i = 0; i < 3; ++i)
        TRIGGER(other, "Zoom Out");
    otherState.scrollArea()->horizontalScrollBar()->setValue(bar->value());
    QCoreApplication::processEvents();
    COMPARE_IMAGES(shownPixels(otherState.imageLabel(), area),
                   shownPixels(state.imageLabel(), area));
}

// Adobe RGB's (40, 160, 60) is about (0, 161, 47) in sRGB and its
// (200, 50, 50) about (232, 46, 46): shown so at zoom 1 and reduced, in the
// left half and in a part of the right half drawn alone, while the document
// and what Copy puts on the clipboard keep the file's values and colour
// space.
void DisplayTest::taggedColours_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<int>("zoomOutSteps");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QColor>("expected");
    const QColor green(0, 161, 47);
    const QColor red(232, 46, 46);
    const QImage::Format words = QImage::Format_RGB32;
    QTest::addRow("zoom 1") << words << 0 << QPoint(5, 5) << green;
    QTest::addRow("zoom 1, right half") << words << 0 << QPoint(900, 400) << red;
    QTest::addRow("reduced") << words << 4 << QPoint(5, 5) << green;
    QTest::addRow("reduced, right half") << words << 4 << QPoint(400, 100) << red;
    // Drawn through the kernels' fetches.
    QTest::addRow("zoom 1, right half, 16 bits")
            << QImage::Format_RGBX64 << 0 << QPoint(900, 400) << red;
    QTest::addRow("reduced, 24 bits") << QImage::Format_RGB888 << 4 << QPoint(5, 5) << green;
}

void DisplayTest::taggedColours()
{
    QFETCH(QImage::Format, format);
    QFETCH(int, zoomOutSteps);
    QFETCH(QPoint, at);
    QFETCH(QColor, expected);
    MainWindow window;
    MainWindowTestAccess state{window};
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QImage tagged(1200, 900, QImage::Format_RGB32);
    tagged.fill(qRgb(40, 160, 60));
    for (int y = 0; y < tagged.height(); ++y) {
        for (int x = 600; x < tagged.width(); ++x)
            tagged.setPixel(x, y, qRgb(200, 50, 50));
    }
    tagged.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    state.load(tagged.convertToFormat(format));
    for (int i = 0; i < zoomOutSteps; ++i)
        TRIGGER(window, "Zoom Out");
    const QColor shown = shownPixels(state.imageLabel(), QRect(at, QSize(10, 10))).pixelColor(5, 5);
    QVERIFY2(std::abs(shown.red() - expected.red()) <= 3
                     && std::abs(shown.green() - expected.green()) <= 3
                     && std::abs(shown.blue() - expected.blue()) <= 3,
             qPrintable(shown.name()));

    QCOMPARE(state.adjustedImage().pixel(5, 5), qRgb(40, 160, 60));
    TRIGGER(window, "Copy");
    const QImage copied = QImage::fromData(
            QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("image/png")));
    QCOMPARE(copied.pixel(5, 5), qRgb(40, 160, 60));
    QCOMPARE(copied.colorSpace(), QColorSpace(QColorSpace::AdobeRgb));
}

QTEST_MAIN(DisplayTest)
#include "tst_display.moc"
