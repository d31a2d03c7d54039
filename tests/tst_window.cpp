// The assembled window: widgets, toolbar, menus, slots called by name,
// About box and Exit.
#include "testsupport.h"

#include "imageoperations.h"

#include <QLabel>
#include <QMessageBox>
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
    void metaCall();
    void about();
    void exitCloses();
};

void WindowTest::startState()
{
    MainWindow window;
    MainWindowTestAccess state{window};
    QCOMPARE(window.windowTitle(), QStringLiteral("Lumivex"));
    QCOMPARE(window.size(), QSize(1000, 700));
    // The view in a scroll area that leaves its size to the zoom.
    QCOMPARE(window.centralWidget(), state.scrollArea());
    QCOMPARE(state.scrollArea()->widget(), static_cast<QWidget *>(state.imageLabel()));
    QVERIFY(!state.scrollArea()->widgetResizable());
    QVERIFY(state.workingImage().isNull());
    QVERIFY(state.adjustedImage().isNull());
    QVERIFY(state.undoStack().isEmpty());
    QVERIFY(state.redoStack().isEmpty());
    QCOMPARE(state.scaleFactor(), 1.0);
    QVERIFY(state.cropRect().isNull());
    QVERIFY(state.selectionRect().isNull());
    QVERIFY(!state.cropping());
    QVERIFY(!state.selecting());
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

    // Slots are found by their names.
    DialogAnswer catcher;
    QVERIFY(QMetaObject::invokeMethod(&window, "showAbout"));
    QVERIFY(catcher.messageSeen);
    QCOMPARE(catcher.title, QStringLiteral("About"));
}

void WindowTest::about()
{
    MainWindow window;
    DialogAnswer catcher;
    TRIGGER(window, "About");
    QVERIFY(catcher.messageSeen);
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
    TRIGGER(window, "Exit");
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
