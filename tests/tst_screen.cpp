// The crop box on a real display: the window runs on the X server, xdotool
// moves the X pointer and holds its button, and screenshots of the root
// window show what reached the screen. Run under xvfb-run (registered in
// tests/CMakeLists.txt when xvfb-run, xdotool and import are installed);
// set LUMIVEX_SCREEN_DIR to keep the screenshots.
#include "testsupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <cstdlib>

#ifndef LUMIVEX_XDOTOOL
#define LUMIVEX_XDOTOOL "xdotool"
#endif
#ifndef LUMIVEX_IMPORT
#define LUMIVEX_IMPORT "import"
#endif

using namespace TestSupport;

namespace {

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
           && process.exitCode() == 0;
}

bool xdotool(const QStringList &arguments)
{
    return run(QStringLiteral(LUMIVEX_XDOTOOL), arguments);
}

QStringList moveTo(const QPoint &global)
{
    return {QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y())};
}

// Evaluates check until it holds, processing events in between, for at most
// timeoutMs of wall time (a screenshot takes a while, so tries are counted
// by the clock, not by the waits).
template<typename Check>
bool poll(Check check, int timeoutMs = 10000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!check()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

} // namespace

class ScreenTest : public QObject
{
    Q_OBJECT

private slots:
    void cropBoxOnScreen();
    void colourForScreenProfile();

private:
    // Photographs the whole screen, keeping a copy in LUMIVEX_SCREEN_DIR.
    QImage screenshot(const QString &name)
    {
        const QString path = files.filePath(name);
        const QStringList arguments{QStringLiteral("-window"), QStringLiteral("root"), path};
        if (!run(QStringLiteral(LUMIVEX_IMPORT), arguments))
            return QImage();
        const QString keep = qEnvironmentVariable("LUMIVEX_SCREEN_DIR");
        if (!keep.isEmpty()) {
            QDir().mkpath(keep);
            QFile::remove(QDir(keep).filePath(name));
            QFile::copy(path, QDir(keep).filePath(name));
        }
        return QImage(path).convertToFormat(QImage::Format_RGB32);
    }

    QTemporaryDir files;
};

void ScreenTest::cropBoxOnScreen()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs the xcb platform on an X server");
    QVERIFY(files.isValid());

    MainWindow window;
    MainWindowTestAccess state{window};
    const QImage original = coordinateImage(600, 400);
    state.load(original);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window, 10000));
    QWidget *label = state.imageLabel();
    const QPoint origin = label->mapToGlobal(QPoint(0, 0));
    const QImage &picture = state.adjustedImage();
    // The picture has reached the screen.
    const QPoint probe(300, 200);
    QVERIFY(poll([&] {
        const QImage shot = screenshot(QStringLiteral("shown.png"));
        return !shot.isNull() && shot.pixel(origin + probe) == picture.pixel(probe);
    }));

    TRIGGER(window, "Start Crop");
    const QPoint from(50, 40);
    const QPoint to(249, 179);
    const QPoint start = label->mapTo(&window, from);
    QVERIFY(xdotool(moveTo(label->mapToGlobal(from))));
    QVERIFY(xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}));
    QTRY_COMPARE(state.cropRect(), QRect(start, start));
    QVERIFY(xdotool(moveTo(label->mapToGlobal((from + to) / 2))));
    QTRY_COMPARE(state.cropRect().bottomRight(), label->mapTo(&window, (from + to) / 2));
    QVERIFY(xdotool(moveTo(label->mapToGlobal(to))));
    QTRY_COMPARE(state.cropRect(), QRect(start, label->mapTo(&window, to)));

    // Still held: the box is on the screen.
    const QRect box(from, to);
    QString problem;
    QVERIFY2(poll([&] {
                 const QImage shot = screenshot(QStringLiteral("dragging.png"));
                 problem = boxProblem(picture, shot.copy(QRect(origin, picture.size())), box,
                                      picture.rect(), Qt::red);
                 return problem.isEmpty();
             }),
             qPrintable(problem));

    QVERIFY(xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
    QTRY_COMPARE(QGuiApplication::mouseButtons(), Qt::NoButton);
    QCOMPARE(state.cropRect(), QRect(start, label->mapTo(&window, to)));
    QVERIFY2(poll([&] {
                 const QImage shot = screenshot(QStringLiteral("released.png"));
                 problem = boxProblem(picture, shot.copy(QRect(origin, picture.size())), box,
                                      picture.rect(), Qt::red);
                 return problem.isEmpty();
             }),
             qPrintable(problem));

    TRIGGER(window, "Apply Crop");
    COMPARE_IMAGES(state.workingImage(), original.copy(box));
    QVERIFY(!state.cropping());
    // The cropped picture replaces the box on the screen: its top-left pixel,
    // the box's, is shown where the outline was.
    QVERIFY(poll([&] {
        const QImage shot = screenshot(QStringLiteral("cropped.png"));
        return !shot.isNull() && shot.pixel(origin) == picture.pixel(0, 0);
    }));
}

// With a profile on the root window, as colour-managed desktops put it
// there, an sRGB picture is shown converted to that profile.
void ScreenTest::colourForScreenProfile()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    QVERIFY(x11);
    xcb_connection_t *connection = x11->connection();
    xcb_intern_atom_reply_t *atom =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, 12, "_ICC_PROFILE"),
                                  nullptr);
    QVERIFY(atom);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const QByteArray profile = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, root, atom->atom, XCB_ATOM_CARDINAL, 8,
                        quint32(profile.size()), profile.constData());
    xcb_flush(connection);

    MainWindow window;
    MainWindowTestAccess state{window};
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(qRgb(40, 160, 60));
    picture.setColorSpace(QColorSpace(QColorSpace::SRgb));
    state.load(picture);
    const QRgb shown = state.imageLabel()->grab().toImage().pixel(3, 3);
    xcb_delete_property(connection, root, atom->atom);
    xcb_flush(connection);
    std::free(atom);
    const QRgb expected = QColorSpace(QColorSpace::SRgb)
                                  .transformationToColorSpace(QColorSpace(QColorSpace::DisplayP3))
                                  .map(qRgb(40, 160, 60));
    QVERIFY(expected != qRgb(40, 160, 60));
    QVERIFY2(qAbs(qRed(shown) - qRed(expected)) <= 2 && qAbs(qGreen(shown) - qGreen(expected)) <= 2
                     && qAbs(qBlue(shown) - qBlue(expected)) <= 2,
             qPrintable(QColor(shown).name()));
}

QTEST_MAIN(ScreenTest)
#include "tst_screen.moc"
