// Times what the user waits for in the window: slider steps (value change to
// repainted window) at zoom 1 and below, zoom and scroll steps, on a
// 6000x4000 photo untagged, tagged Adobe RGB and in 16 bits (and untagged
// on the AVX2 kernels, where the machine has better ones), against one
// literal per-pixel evaluation of the adjustments and against the copy floor
// (the picture read and written once on as many threads as the kernels use),
// which is measured between the steps so that both see the same machine.
// Then Save As in each format, driven through its dialog, with the longest
// gap between ticks of a 5 ms timer while the save runs: how long the window
// could not repaint. On an X server with xclip installed, the same gap while
// another program reads a copied picture, while Paste asks a clipboard owner
// that never answers, and while an 8000x8000 picture is pasted (that part
// alone: lumivex_bench_window clipboard).
#include "copyfloor.h"
#include "imageoperations.h"
#include "testsupport.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QColorSpace>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

QImage photo()
{
    QImage image(6000, 4000, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int noise = int(random.bounded(9)) - 4;
            line[x] = qRgb(std::clamp(x / 24 + noise, 0, 255), std::clamp(y / 16 + noise, 0, 255),
                           std::clamp((x + y) / 40 + noise, 0, 255));
        }
    }
    return image;
}

double middle(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template<typename Work>
double median(int passes, Work work)
{
    std::vector<double> times;
    for (int i = 0; i < passes; ++i) {
        QElapsedTimer timer;
        timer.start();
        work(i);
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return middle(std::move(times));
}

// Slider steps at the window's zoom, each round beside one copy floor, so
// that both see the same machine: the median step and floor.
struct Steps
{
    double step;
    double floor;
};

Steps sliderSteps(MainWindowTestAccess &state, int rounds)
{
    const QImage source = state.workingImage();
    QImage copy = LumivexBench::floorTarget(source);
    std::vector<double> floors;
    std::vector<double> steps;
    for (int i = 0; i < rounds; ++i) {
        floors.push_back(LumivexBench::copyFloorMs(source, copy));
        steps.push_back(
                median(1, [&](int) { state.brightnessSlider()->setValue(i % 2 ? 10 : 11); }));
    }
    return {middle(steps), middle(floors)};
}

void zoomTo(MainWindow &window, int steps)
{
    TestSupport::menuAction(window, "Reset Zoom")->trigger();
    for (int i = 0; i < std::abs(steps); ++i)
        TestSupport::menuAction(window, steps < 0 ? "Zoom Out" : "Zoom In")->trigger();
}

// The median slider step under each of two settings, taken in turns of a
// few steps so that both see the same machine: on a busy one, steps timed a
// second apart differ by more than a tenth, which is what is looked for.
// The first step of each turn, the one that follows the change, is left out.
template<typename Switch>
std::pair<double, double> stepsInTurns(MainWindowTestAccess &state, const Switch &switchTo)
{
    std::vector<double> steps[2];
    for (int turn = 0; turn < 16; ++turn) {
        switchTo(turn % 2);
        for (int i = 0; i < 4; ++i) {
            const double step =
                    median(1, [&](int) { state.brightnessSlider()->setValue(i % 2 ? 10 : 11); });
            if (i > 0)
                steps[turn % 2].push_back(step);
        }
    }
    return {middle(steps[0]), middle(steps[1])};
}

struct StallTiming
{
    double total = 0;
    double longestStall = 0;
};

// Runs work with a 5 ms timer ticking, timed from the start if started()
// holds then, else from the first tick on which it holds: the whole time,
// and the longest gap between ticks.
template<typename Work, typename Started>
StallTiming timeStalls(Work work, Started started)
{
    QElapsedTimer clock;
    clock.start();
    const bool atOnce = started();
    double begin = atOnce ? 0 : -1;
    double last = begin;
    StallTiming timing;
    QTimer tick;
    tick.callOnTimeout([&] {
        if (!started())
            return;
        const double now = clock.nsecsElapsed() / 1e6;
        if (begin < 0)
            begin = now;
        timing.longestStall = std::max(timing.longestStall, now - std::max(last, begin));
        last = now;
    });
    tick.start(5);
    work();
    const double end = clock.nsecsElapsed() / 1e6;
    if (begin < 0)
        return timing;
    timing.total = end - begin;
    timing.longestStall = std::max(timing.longestStall, end - last);
    return timing;
}

// Saves the window's picture through Save As under name in folder. The save
// is timed from the first tick after the file dialog closes.
StallTiming timeSave(MainWindow &window, const QTemporaryDir &folder, const QString &name)
{
    TestSupport::DialogAnswer answer(folder.filePath(name));
    return timeStalls([&] { TestSupport::menuAction(window, "Save As")->trigger(); },
                      [&] {
                          return answer.seen
                                 && !qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                      });
}

// The clipboard against another program, xclip, on X11.
void clipboardStalls(MainWindow &window, MainWindowTestAccess &state, const QTemporaryDir &folder)
{
    if (QApplication::platformName() != QLatin1String("xcb")
        || QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty()) {
        std::printf("  clipboard: needs X11 and xclip\n");
        return;
    }
    const auto always = [] { return true; };
    const QStringList clipboard{"-selection", "clipboard", "-t", "image/png"};
    // Another program reads what Copy has just offered.
    QProcess reader;
    StallTiming timing = timeStalls(
            [&] {
                TestSupport::menuAction(window, "Copy")->trigger();
                reader.start(QStringLiteral("xclip"), QStringList{"-o"} + clipboard);
                while (reader.state() != QProcess::NotRunning)
                    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            },
            always);
    std::printf(
            "  xclip reads a copied 6000x4000   %8.0f ms  longest-stall %6.1f ms  (%lld bytes)\n",
            timing.total, timing.longestStall, qint64(reader.readAllStandardOutput().size()));

    // Paste from an owner stopped as it holds the clipboard.
    const QString file = folder.filePath(QStringLiteral("offered.png"));
    QImage big(8000, 8000, QImage::Format_RGB32);
    big.fill(Qt::darkCyan);
    big.save(file);
    QProcess owner;
    // -quiet keeps xclip in the foreground, where it can be stopped.
    owner.start(QStringLiteral("xclip"), QStringList{"-quiet", "-i", file} + clipboard);
    owner.waitForStarted();
    QElapsedTimer settle;
    settle.start();
    while (QApplication::clipboard()->ownsClipboard() && settle.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    const auto paste = [&] { TestSupport::menuAction(window, "Paste")->trigger(); };
    if (owner.processId() <= 0)
        return;
    QProcess::execute(QStringLiteral("kill"), {"-STOP", QString::number(owner.processId())});
    timing = timeStalls(paste, always);
    std::printf("  paste from a stopped owner       %8.0f ms  longest-stall %6.1f ms  (%dx%d)\n",
                timing.total, timing.longestStall, state.workingImage().width(),
                state.workingImage().height());
    QProcess::execute(QStringLiteral("kill"), {"-CONT", QString::number(owner.processId())});
    QElapsedTimer answered; // the owner first answers what it was asked while stopped
    answered.start();
    while (answered.elapsed() < 500)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    timing = timeStalls(paste, always);
    std::printf("  paste of 8000x8000 from xclip    %8.0f ms  longest-stall %6.1f ms  (%dx%d)\n",
                timing.total, timing.longestStall, state.workingImage().width(),
                state.workingImage().height());
    owner.kill();
    owner.waitForFinished();
}

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as it comes
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    MainWindowTestAccess state{window};
    state.load(photo());
    state.contrastSlider()->setValue(20);
    state.saturationSlider()->setValue(-50);
    QApplication::processEvents();
    if (argc > 1 && qstrcmp(argv[1], "clipboard") == 0) { // that part alone
        const QTemporaryDir folder;
        clipboardStalls(window, state, folder);
        return 0;
    }

    std::printf("window on 6000x4000, platform %s, copy floor on %d threads\n",
                qPrintable(QApplication::platformName()), LumivexBench::floorThreads());
    // Each step runs the slider's slot, which adjusts the whole picture and
    // repaints the window before it returns.
    const Steps atOne = sliderSteps(state, 15);
    std::printf("  copy floor                       %8.2f ms\n", atOne.floor);
    std::printf("  slider step at zoom 1            %8.2f ms  (%.2fx the copy floor)\n", atOne.step,
                atOne.step / atOne.floor);
    // Below zoom 1 the step also reduces what is visible: at 0.512 a part of
    // the picture, at 0.168 all of it. Over the step at zoom 1, the two
    // taken in turns.
    const auto reducedSteps = [&](const char *label, int steps) {
        zoomTo(window, steps);
        const Steps reduced = sliderSteps(state, 15);
        const auto [one, below] =
                stepsInTurns(state, [&](int second) { zoomTo(window, second ? steps : 0); });
        const QByteArray name =
                QByteArray(label) + " at zoom " + QByteArray::number(state.scaleFactor(), 'f', 3);
        std::printf("  %-32s %8.2f ms  (%.2fx the copy floor, %.2fx the step at zoom 1)\n",
                    name.constData(), reduced.step, reduced.step / reduced.floor, below / one);
    };
    for (const int steps : {-3, -8})
        reducedSteps("slider step", steps);

    QImage literal;
    const double reference = median(1, [&](int) {
        Lumivex::Reference::adjustImage(state.workingImage(), literal, {10, 20, -50});
    });
    zoomTo(window, 0);
    const double zoom = median(8, [&](int i) {
        TestSupport::menuAction(window, i % 2 ? "Zoom Out" : "Zoom In")->trigger();
    });
    zoomTo(window, -3);
    const double zoomBelow = median(8, [&](int i) {
        TestSupport::menuAction(window, i % 2 ? "Zoom In" : "Zoom Out")->trigger();
    });
    // A scroll step repaints what it exposes of the reduced view.
    zoomTo(window, -3);
    QScrollBar *bar = state.scrollArea()->horizontalScrollBar();
    const double scroll = median(16, [&](int i) {
        bar->setValue(bar->value() + (i % 8 < 4 ? 60 : -60));
        state.scrollArea()->viewport()->repaint();
    });
    std::printf("  literal per-pixel evaluation     %8.2f ms  (%.1fx the slider step)\n", reference,
                reference / atOne.step);
    std::printf("  zoom step (1.0 <-> 1.25)         %8.2f ms\n", zoom);
    std::printf("  zoom step (0.512 <-> 0.41)       %8.2f ms  (%.2fx the copy floor)\n", zoomBelow,
                zoomBelow / atOne.floor);
    std::printf("  scroll step at zoom 0.512        %8.2f ms\n", scroll);

    // Zoomed in three steps (factor 1.953125) the view is about 11700x7800;
    // only its visible part is scaled and painted.
    zoomTo(window, 3);
    const double zoomedStep =
            median(15, [&](int i) { state.brightnessSlider()->setValue(i % 2 ? 10 : 11); });
    std::printf("  slider step at zoom 1.95         %8.2f ms  (%.1fx faster than literal)\n",
                zoomedStep, reference / zoomedStep);

    // A photo tagged Adobe RGB is converted for the screen as it is shown;
    // over the untagged one, the two taken in turns.
    const QImage untagged = state.workingImage();
    QImage tagged = untagged;
    tagged.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    for (const int steps : {0, -8}) {
        state.load(tagged);
        zoomTo(window, steps);
        const Steps converted = sliderSteps(state, 15);
        const auto [plain, adobe] = stepsInTurns(state, [&](int second) {
            state.load(second ? tagged : untagged);
            zoomTo(window, steps);
        });
        std::printf("  Adobe RGB slider step, zoom %.3f %7.2f ms  (%.2fx the copy floor, %+.0f%% "
                    "over untagged)\n",
                    state.scaleFactor(), converted.step, converted.step / converted.floor,
                    100 * (adobe / plain - 1));
    }

    // A 16-bit photo, as raw developers write them: twice the bytes.
    state.load(untagged.convertToFormat(QImage::Format_RGBX64));
    for (const int steps : {0, -8}) {
        zoomTo(window, steps);
        const Steps deep = sliderSteps(state, 15);
        std::printf("  RGBX64 slider step, zoom %.3f    %7.2f ms  (%.2fx the copy floor)\n",
                    state.scaleFactor(), deep.step, deep.step / deep.floor);
    }

    // Most machines have AVX2 and no wider vectors: where this one has
    // more, the untagged steps once more on the AVX2 kernels.
    const QList<Lumivex::KernelTarget> targets = Lumivex::supportedKernelTargets();
    const auto avx2 = std::find_if(targets.begin(), targets.end(), [](Lumivex::KernelTarget t) {
        return Lumivex::kernelTargetName(t) == QLatin1String("AVX2");
    });
    if (avx2 != targets.end() && avx2 != targets.begin()) {
        Lumivex::setKernelTargetLimit(*avx2);
        state.load(untagged);
        zoomTo(window, 0);
        const Steps one = sliderSteps(state, 15);
        std::printf("  AVX2 slider step at zoom 1       %8.2f ms  (%.2fx the copy floor)\n",
                    one.step, one.step / one.floor);
        reducedSteps("AVX2 slider step", -8);
        Lumivex::setKernelTargetLimit(0);
    }
    state.load(tagged);

    // Save As runs on a thread of its own: the window's longest stall while
    // it runs, beside the save's time.
    zoomTo(window, 0);
    const QTemporaryDir folder;
    for (const char *format : {"png", "jpg", "tif", "webp"}) {
        const QString name = QStringLiteral("out.") + format;
        const StallTiming timing = timeSave(window, folder, name);
        // Qt's own writer at its defaults, on the same picture, for comparison.
        QBuffer qtBytes;
        qtBytes.open(QIODevice::WriteOnly);
        QElapsedTimer qtClock;
        qtClock.start();
        QImageWriter(&qtBytes, format).write(state.adjustedImage());
        const double qtTime = qtClock.nsecsElapsed() / 1e6;
        std::printf("  save %-4s %8.0f ms %10lld bytes  longest-stall %6.1f ms  (Qt's writer "
                    "%6.0f ms %10lld bytes)\n",
                    format, timing.total, QFileInfo(folder.filePath(name)).size(),
                    timing.longestStall, qtTime, qint64(qtBytes.data().size()));
    }
    clipboardStalls(window, state, folder);
    return 0;
}
