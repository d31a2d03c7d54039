// Shared helpers for the window tests and benchmarks: access to the editor
// state, menu commands by their texts, answers to dialogs, and image
// comparison that names the first differing pixel.
#pragma once

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

// The menu item with the given texts, e.g. action(w, "Edit", "Undo").
inline QAction *menuAction(QMainWindow &window, const QString &menu, const QString &item)
{
    for (QAction *top : window.menuBar()->actions()) {
        if (top->text() != menu || !top->menu())
            continue;
        for (QAction *action : top->menu()->actions()) {
            if (action->text() == item)
                return action;
        }
    }
    return nullptr;
}

// Triggers a menu item as the user's click does; fails the test if it is missing.
#define TRIGGER(window, menu, item) \
    do { \
        QAction *triggered_ = TestSupport::menuAction((window), (menu), (item)); \
        QVERIFY2(triggered_, qPrintable(QStringLiteral("no menu item %1 > %2").arg(menu, item))); \
        triggered_->trigger(); \
    } while (false)

// While it lives, answers every file dialog with path, or cancels it when
// path is empty, recording that one showed, its caption and its filters.
// Other dialogs are left alone.
class DialogAnswer
{
public:
    explicit DialogAnswer(const QString &answer = QString())
    {
        expect(answer);
        timer.setInterval(10);
        timer.callOnTimeout([this] {
            // Answered again on every tick until it closes: the dialog may
            // not take the answer before it has looked at the folder.
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seen = true;
            caption = dialog->windowTitle();
            filters = dialog->nameFilters();
            if (path.isEmpty()) {
                dialog->reject();
                return;
            }
            // A name typed into a focused name field wins over selectFile.
            if (QWidget *focused = dialog->focusWidget())
                focused->clearFocus();
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        timer.start();
    }

    // Answers the dialogs from now on with answer, and forgets what showed.
    void expect(const QString &answer)
    {
        path = answer;
        seen = false;
    }

    QString path;
    QString caption;
    QStringList filters;
    bool seen = false;

private:
    QTimer timer;
};

// While it lives, closes every message box that shows, recording the last
// one's title and text.
class MessageCatcher
{
public:
    MessageCatcher()
    {
        timer.setInterval(10);
        timer.callOnTimeout([this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = true;
            title = box->windowTitle();
            text = box->text();
            box->accept();
        });
        timer.start();
    }

    QString title;
    QString text;
    bool seen = false;

private:
    QTimer timer;
};

// A small image whose pixels encode their position: red = x, green = y,
// blue = 7 * x + 3 * y, alpha 255 (or varying with x + y when withAlpha).
inline QImage coordinateImage(int width, int height, QImage::Format format = QImage::Format_ARGB32,
                              bool withAlpha = false)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int alpha = withAlpha ? 255 - (x + y) % 200 : 255;
            image.setPixel(x, y, qRgba(x & 255, y & 255, (7 * x + 3 * y) & 255, alpha));
        }
    }
    return image.convertToFormat(format);
}

} // namespace TestSupport
