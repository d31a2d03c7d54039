// The assembled window: widgets, toolbar, menus, meta-object, About box,
// sliders and the zoomable view.
#include "testsupport.h"

#include "imagekernels.h"
#include "viewgeometry.h"

#include <QLabel>
#include <QMessageBox>
#include <QMetaMethod>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

using namespace TestSupport;

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void startState();
    void toolbar();
    void menus_data();
    void menus();
    void metaObject();
    void metaCall();
    void about();
    void exitCloses();
    void slidersWithoutImage();
    void slidersApplyAllThree();
    void newImageShownWithCurrentSliders();
    void paletteImagesBecomeEditable_data();
    void paletteImagesBecomeEditable();
    void zoomSizes_data();
    void zoomSizes();
    void zoomWithoutImage();
    void zoomVanishesAndComesBack();
    void zoomRefusesOversizedView();
    void viewPaintsPicture();
};

void WindowTest::startState()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QCOMPARE(window.windowTitle(), QStringLiteral("Lumivex"));
    QCOMPARE(window.size(), QSize(1000, 700));
    QCOMPARE(window.centralWidget(), state.scrollArea());
    QCOMPARE(state.scrollArea()->widget(), static_cast<QWidget *>(state.imageLabel()));
    QVERIFY(qobject_cast<QLabel *>(state.scrollArea()->widget()));
    QVERIFY(!state.scrollArea()->widgetResizable());
    QCOMPARE(state.imageLabel()->backgroundRole(), QPalette::Base);
    QCOMPARE(state.imageLabel()->sizePolicy().horizontalPolicy(), QSizePolicy::Ignored);
    QCOMPARE(state.imageLabel()->sizePolicy().verticalPolicy(), QSizePolicy::Ignored);
    QVERIFY(state.imageLabel()->hasScaledContents());
    QVERIFY(state.workingImage().isNull());
    QVERIFY(state.adjustedImage().isNull());
    QVERIFY(state.undoStack().isEmpty());
    QVERIFY(state.redoStack().isEmpty());
    QCOMPARE(state.scaleFactor(), 1.0);
    QVERIFY(state.cropRect().isNull());
    QVERIFY(state.selectionRect().isNull());
    QVERIFY(!state.cropping());
    QVERIFY(!state.selecting());
    QVERIFY(!window.findChild<QStatusBar *>());
    QVERIFY(!window.hasMouseTracking());
}

void WindowTest::toolbar()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    const QList<QToolBar *> toolBars = window.findChildren<QToolBar *>();
    QCOMPARE(toolBars.size(), 1);
    QToolBar *toolBar = toolBars.first();
    QCOMPARE(toolBar->windowTitle(), QStringLiteral("Adjustments"));
    QCOMPARE(window.toolBarArea(toolBar), Qt::TopToolBarArea);

    const QList<QAction *> actions = toolBar->actions();
    QCOMPARE(actions.size(), 6);
    const QStringList captions{"B:", " C:", " S:"};
    const QList<QSlider *> sliders{state.brightnessSlider(), state.contrastSlider(),
                                   state.saturationSlider()};
    for (qsizetype i = 0; i < 3; ++i) {
        auto *caption = qobject_cast<QLabel *>(toolBar->widgetForAction(actions.at(2 * i)));
        QVERIFY(caption);
        QCOMPARE(caption->text(), captions.at(i));
        QSlider *slider = sliders.at(i);
        QCOMPARE(toolBar->widgetForAction(actions.at(2 * i + 1)), slider);
        QCOMPARE(slider->orientation(), Qt::Horizontal);
        QCOMPARE(slider->minimum(), -100);
        QCOMPARE(slider->maximum(), 100);
        QCOMPARE(slider->value(), 0);
        QVERIFY(slider->hasTracking());
    }
}

void WindowTest::menus_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("items");
    // An empty item stands for a separator.
    QTest::newRow("File") << "File" << QStringList{"Open", "Save As", "", "Exit"};
    QTest::newRow("Edit") << "Edit"
                          << QStringList{"Cut",
                                         "Copy",
                                         "Paste",
                                         "Undo",
                                         "Redo",
                                         "",
                                         "Select All",
                                         "Select Region",
                                         "",
                                         "Rotate Left",
                                         "Rotate Right",
                                         "Flip Horizontal",
                                         "Flip Vertical",
                                         "",
                                         "Zoom In",
                                         "Zoom Out",
                                         "Reset Zoom"};
    QTest::newRow("Crop") << "Crop" << QStringList{"Start Crop", "Apply Crop", "Cancel Crop"};
    QTest::newRow("Filters") << "Filters" << QStringList{"Grayscale", "Invert"};
    QTest::newRow("Help") << "Help" << QStringList{"About"};
}

void WindowTest::menus()
{
    QFETCH(QString, menu);
    QFETCH(QStringList, items);
    MainWindow window;

    QStringList menuTitles;
    for (QAction *top : window.menuBar()->actions())
        menuTitles << top->text();
    QCOMPARE(menuTitles, QStringList({"File", "Edit", "Crop", "Filters", "Help"}));

    QAction *top = window.menuBar()->actions().at(menuTitles.indexOf(menu));
    QStringList texts;
    for (QAction *action : top->menu()->actions()) {
        texts << (action->isSeparator() ? QString() : action->text());
        if (action->isSeparator())
            continue;
        QVERIFY2(action->isEnabled(), qPrintable(action->text()));
        QVERIFY(!action->isCheckable());
        QVERIFY(action->shortcut().isEmpty());
        QVERIFY(action->icon().isNull());
        QVERIFY(!action->text().contains(QLatin1Char('&')));
        QVERIFY(action->toolTip() == action->text() || action->toolTip().isEmpty());
        QVERIFY(action->statusTip().isEmpty());
    }
    QCOMPARE(texts, items);
}

void WindowTest::metaObject()
{
    const QMetaObject &meta = MainWindow::staticMetaObject;
    QCOMPARE(meta.className(), "MainWindow");
    QCOMPARE(meta.superClass(), &QMainWindow::staticMetaObject);
    const QList<QByteArray> expected{"openImage()",
                                     "saveImageAs()",
                                     "cutImage()",
                                     "copyImage()",
                                     "pasteImage()",
                                     "selectAll()",
                                     "startSelection()",
                                     "adjustBrightness(int)",
                                     "adjustContrast(int)",
                                     "adjustSaturation(int)",
                                     "rotateLeft()",
                                     "rotateRight()",
                                     "flipHorizontal()",
                                     "flipVertical()",
                                     "zoomIn()",
                                     "zoomOut()",
                                     "resetZoom()",
                                     "startCrop()",
                                     "applyCrop()",
                                     "cancelCrop()",
                                     "undo()",
                                     "redo()",
                                     "filterGrayscale()",
                                     "filterInvert()",
                                     "showAbout()"};
    QCOMPARE(meta.methodCount() - meta.methodOffset(), int(expected.size()));
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        QCOMPARE(method.methodSignature(), expected.at(i));
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
        QCOMPARE(method.returnMetaType(), QMetaType::fromType<void>());
        QVERIFY(QByteArray(method.tag()).isEmpty());
    }
    QCOMPARE(meta.method(meta.methodOffset() + 7).parameterNames(), QList<QByteArray>{"value"});
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
    QCOMPARE(meta.enumeratorCount(), meta.enumeratorOffset());
    QCOMPARE(meta.classInfoCount(), meta.classInfoOffset());
    QCOMPARE(meta.constructorCount(), 0);
    QVERIFY(!meta.method(meta.methodOffset() + 25).isValid());

    MainWindow window;
    QObject &object = window;
    QCOMPARE(object.qt_metacast("MainWindow"), static_cast<void *>(&window));
    QCOMPARE(object.qt_metacast("QMainWindow"),
             static_cast<void *>(static_cast<QMainWindow *>(&window)));
    QCOMPARE(object.qt_metacast("QObject"), static_cast<void *>(static_cast<QObject *>(&window)));
    QCOMPARE(object.qt_metacast(nullptr), nullptr);
    QCOMPARE(object.qt_metacast("NotAClass"), nullptr);
    QCOMPARE(qobject_cast<MainWindow *>(&object), &window);
}

void WindowTest::metaCall()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    state.load(coordinateImage(8, 6));
    state.contrastSlider()->blockSignals(true);
    state.contrastSlider()->setValue(40);
    QVERIFY(QMetaObject::invokeMethod(&window, "adjustContrast", Q_ARG(int, 40)));
    QImage expected;
    Lumivex::Reference::adjustImage(state.workingImage(), expected, {0, 40, 0});
    COMPARE_IMAGES(state.adjustedImage(), expected);
    QVERIFY(QMetaObject::invokeMethod(&window, "zoomIn"));
    QCOMPARE(state.scaleFactor(), 1.25);
    QVERIFY(!QMetaObject::invokeMethod(&window, "noSuchSlot"));

    // The last slot by index opens the About box.
    MessageCatcher catcher;
    const QMetaObject &meta = MainWindow::staticMetaObject;
    QVERIFY(meta.method(meta.methodOffset() + 24).invoke(&window));
    QVERIFY(catcher.seen);
    QCOMPARE(catcher.title, QStringLiteral("About"));
}

void WindowTest::about()
{
    MainWindow window;
    MessageCatcher catcher;
    TRIGGER(window, "Help", "About");
    QVERIFY(catcher.seen);
    QCOMPARE(catcher.title, QStringLiteral("About"));
    const QStringList lines = catcher.text.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QStringLiteral("Lumivex"));
    QVERIFY(lines.at(1).contains(QStringLiteral("Lumivex developers")));
    QVERIFY(lines.at(1).contains(QStringLiteral("2026")));
    QCOMPARE(lines.at(2), QStringLiteral("With Image editing capabilities"));
}

void WindowTest::exitCloses()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    TRIGGER(window, "File", "Exit");
    QVERIFY(!window.isVisible());
}

void WindowTest::slidersWithoutImage()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    state.brightnessSlider()->setValue(30);
    state.saturationSlider()->setValue(-100);
    QCOMPARE(state.brightnessSlider()->value(), 30);
    QVERIFY(state.workingImage().isNull());
    QVERIFY(state.adjustedImage().isNull());
    QVERIFY(state.undoStack().isEmpty());
}

void WindowTest::slidersApplyAllThree()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QImage original(1, 1, QImage::Format_RGB32);
    original.setPixel(0, 0, qRgb(200, 100, 50));
    state.load(original);

    state.brightnessSlider()->setValue(10);
    state.contrastSlider()->setValue(20);
    state.saturationSlider()->setValue(-50);
    QCOMPARE(state.adjustedImage().pixel(0, 0), qRgb(177, 119, 89));
    QCOMPARE(state.workingImage().pixel(0, 0), qRgb(200, 100, 50));
    QVERIFY(state.undoStack().isEmpty());

    state.brightnessSlider()->setValue(0);
    state.contrastSlider()->setValue(0);
    state.saturationSlider()->setValue(0);
    QCOMPARE(state.adjustedImage().pixel(0, 0), qRgb(200, 100, 50));
}

void WindowTest::newImageShownWithCurrentSliders()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    state.brightnessSlider()->setValue(100);
    QImage original(1, 1, QImage::Format_ARGB32);
    original.setPixel(0, 0, qRgba(200, 100, 50, 0));
    state.load(original);
    QCOMPARE(state.brightnessSlider()->value(), 100);
    // Shown brightened, and opaque although the document is transparent.
    QCOMPARE(state.adjustedImage().pixel(0, 0), qRgba(255, 200, 150, 255));
    QCOMPARE(state.adjustedImage().format(), QImage::Format_ARGB32);
}

void WindowTest::paletteImagesBecomeEditable_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<int>("expectedFormat");
    QImage indexed(4, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 50)});
    indexed.fill(1);
    QTest::newRow("Indexed8 opaque") << indexed << int(QImage::Format_RGB32);
    QImage transparent = indexed;
    transparent.setColorTable({qRgba(0, 0, 0, 0), qRgb(200, 100, 50)});
    QTest::newRow("Indexed8 with transparency") << transparent << int(QImage::Format_ARGB32);
    QImage mono(9, 3, QImage::Format_Mono);
    mono.fill(1);
    QTest::newRow("Mono") << mono << int(QImage::Format_RGB32);
}

void WindowTest::paletteImagesBecomeEditable()
{
    QFETCH(QImage, image);
    QFETCH(int, expectedFormat);
    const QImage editable = Lumivex::toEditableFormat(image);
    QCOMPARE(int(editable.format()), expectedFormat);
    COMPARE_IMAGES(editable, image.convertToFormat(QImage::Format(expectedFormat)));

    // The sliders act on the palette image exactly as on its 32-bit copy.
    MainWindow window;
    MainWindowTestAccess state{window};
    state.load(editable);
    state.saturationSlider()->setValue(-100);
    QImage expected;
    Lumivex::Reference::adjustImage(editable, expected, {0, 0, -100});
    COMPARE_IMAGES(state.adjustedImage(), expected);
}

void WindowTest::zoomSizes_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QSize>("viewSize");
    QTest::newRow("one step in") << QSize(100, 80) << 1 << QSize(125, 100);
    QTest::newRow("three steps in truncate") << QSize(100, 80) << 3 << QSize(195, 156);
    QTest::newRow("one step out") << QSize(3, 3) << -1 << QSize(2, 2);
    QTest::newRow("thin image vanishes") << QSize(100, 1) << -1 << QSize(0, 0);
    QTest::newRow("photo zoomed out") << QSize(1000, 750) << -1 << QSize(800, 600);
    QTest::newRow("odd proportions") << QSize(7, 301) << 2 << QSize(10, 470);
}

void WindowTest::zoomSizes()
{
    QFETCH(QSize, imageSize);
    QFETCH(int, steps);
    QFETCH(QSize, viewSize);
    MainWindow window;
    MainWindowTestAccess state{window};
    QImage image(imageSize, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    state.load(image);
    for (int i = 0; i < qAbs(steps); ++i) {
        if (steps > 0)
            TRIGGER(window, "Edit", "Zoom In");
        else
            TRIGGER(window, "Edit", "Zoom Out");
    }
    QCOMPARE(state.imageLabel()->size(), viewSize);

    // The same size that scaling a pixmap to the truncated target gives.
    const double factor = state.scaleFactor();
    const QSize target(int(imageSize.width() * factor), int(imageSize.height() * factor));
    const QPixmap scaled =
            QPixmap::fromImage(image).scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QCOMPARE(state.imageLabel()->size(), scaled.isNull() ? QSize(0, 0) : scaled.size());
    // No zoomed copy of the picture is kept.
    QVERIFY(state.imageLabel()->pixmap().isNull());

    TRIGGER(window, "Edit", "Reset Zoom");
    QCOMPARE(state.scaleFactor(), 1.0);
    QCOMPARE(state.imageLabel()->size(), imageSize);
}

void WindowTest::zoomWithoutImage()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    TRIGGER(window, "Edit", "Zoom In");
    TRIGGER(window, "Edit", "Zoom In");
    QCOMPARE(state.scaleFactor(), 1.5625);
    TRIGGER(window, "Edit", "Zoom Out");
    TRIGGER(window, "Edit", "Zoom In");
    QCOMPARE(state.scaleFactor(), 1.5625);
    QVERIFY(state.adjustedImage().isNull());
}

void WindowTest::zoomVanishesAndComesBack()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(Qt::red);
    state.load(image);
    for (int i = 0; i < 11; ++i)
        TRIGGER(window, "Edit", "Zoom Out");
    QCOMPARE(state.imageLabel()->size(), QSize(0, 0));
    for (int i = 0; i < 11; ++i)
        TRIGGER(window, "Edit", "Zoom In");
    QCOMPARE(state.scaleFactor(), 1.0);
    QCOMPARE(state.imageLabel()->size(), QSize(10, 10));
}

void WindowTest::zoomRefusesOversizedView()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QImage image(4000, 10, QImage::Format_RGB32);
    image.fill(Qt::blue);
    state.load(image);
    // 4000 × 1.25^n passes the widget size limit (16777215) at n = 38.
    for (int i = 0; i < 60; ++i)
        TRIGGER(window, "Edit", "Zoom In");
    double expected = 1.0;
    for (int i = 0; i < 37; ++i)
        expected *= 1.25;
    QCOMPARE(state.scaleFactor(), expected);
    QVERIFY(state.imageLabel()->width() <= QWIDGETSIZE_MAX);
    QVERIFY(!Lumivex::zoomFits(image.size(), expected * 1.25, QWIDGETSIZE_MAX));
    QVERIFY(state.imageLabel()->pixmap().isNull());
}

void WindowTest::viewPaintsPicture()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage image = coordinateImage(120, 90, QImage::Format_RGB32);
    state.load(image);
    const QImage shown = state.imageLabel()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    COMPARE_IMAGES(shown, image);

    // Zoomed, the shown picture is scaled smoothly to the view's size.
    TRIGGER(window, "Edit", "Zoom In");
    const QImage zoomed = state.imageLabel()->grab().toImage();
    QCOMPARE(zoomed.size(), QSize(149, 112));
    const QColor corner = zoomed.pixelColor(148, 111);
    QVERIFY(qAbs(corner.red() - 119) <= 2);
    QVERIFY(qAbs(corner.green() - 89) <= 2);
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
