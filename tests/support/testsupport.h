// Shared helpers for the window tests and benchmarks: access to the editor
// state, menu commands by their texts, one answerer for every modal dialog,
// and one check of a box drawn over a picture (with the image helpers of
// imagecompare.h and the file helpers of filesupport.h).
#pragma once

#include "filesupport.h"
#include "imagecompare.h"
#include "imageview.h"
#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QSlider>
#include <QString>
#include <QTest>
#include <QTimer>

// Reads and sets the editor state that the window keeps private.
struct MainWindowTestAccess
{
    MainWindow &window;

    QImage &workingImage() { return window.workingImage; }
    QImage &adjustedImage() { return window.adjustedImage; }
    QList<QImage> &undoStack() { return window.undoStack; }
    QList<QImage> &redoStack() { return window.redoStack; }
    Lumivex::ImageView *imageLabel() { return window.imageLabel; }
    QScrollArea *scrollArea() { return window.scrollArea; }
    QSlider *brightnessSlider() { return window.brightnessSlider; }
    QSlider *contrastSlider() { return window.contrastSlider; }
    QSlider *saturationSlider() { return window.saturationSlider; }
    double &scaleFactor() { return window.scaleFactor; }
    QRect &cropRect() { return window.cropRect; }
    bool &cropping() { return window.cropping; }
    QPoint &cropStart() { return window.cropStart; }
    QRect &selectionRect() { return window.selectionRect; }
    bool &selecting() { return window.selecting; }
    QPoint &selectionStart() { return window.selectionStart; }
    Lumivex::ToolOverlay *toolOverlay() { return window.toolOverlay(); }

    // Makes image the document as a successful open does, without the dialog.
    void load(const QImage &image) { window.newDocument(image); }
    int &saveDialogDelay() { return window.saveDialogDelay; }
};

namespace TestSupport {

// The menu item with the given text, looked up in every menu of the menu
// bar, e.g. menuAction(window, "Undo"); null when no item or more than one
// has the text.
QAction *menuAction(QMainWindow &window, const QString &item);

// Triggers a menu item as the user's click does; fails the test if it is missing.
#define TRIGGER(window, item) \
    do { \
        QAction *triggered_ = TestSupport::menuAction((window), (item)); \
        QVERIFY2(triggered_, qPrintable(QStringLiteral("no menu item %1").arg(item))); \
        triggered_->trigger(); \
    } while (false)

// While it lives, answers every modal dialog: a file dialog with path, or
// cancels it when path is empty, recording that one showed, its caption and
// its filters; a message box is closed, its title and text recorded. With
// confirm set, a question (a box with a Yes button, such as whether to
// replace a file) is answered Yes and not recorded.
class DialogAnswer
{
public:
    explicit DialogAnswer(const QString &answer = QString(), bool confirmQuestions = false);

    // Answers the dialogs from now on with answer, and forgets what showed.
    void expect(const QString &answer);

    QString path;
    bool confirm = false;
    // The last file dialog.
    bool seen = false;
    QString caption;
    QStringList filters;
    // The last message box.
    bool messageSeen = false;
    QString title;
    QString text;

private:
    void answerFileDialog();
    void answerMessageBox();

    QTimer timer;
    QTimer messageTimer;
};

// What is wrong with the drawing of box (corners inclusive) in outline
// colour over a picture, or nothing: its edges are drawn in the colour and
// its inside is the picture under the colour at alpha 50, as far as box lies
// in visible, and an edge beyond visible leaves no line at the border of
// visible. base is the same area without the box, in shown's coordinates.
QString boxProblem(const QImage &base, const QImage &shown, const QRect &box, const QRect &visible,
                   const QColor &outline);

#define VERIFY_BOX(base, shown, box, visible, outline) \
    do { \
        const QString problem_ = \
                TestSupport::boxProblem((base), (shown), (box), (visible), (outline)); \
        QVERIFY2(problem_.isEmpty(), qPrintable(problem_)); \
    } while (false)

} // namespace TestSupport
