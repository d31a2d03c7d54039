// Shared helpers for the window tests: access to the editor state, menu
// commands by their texts, and image comparison that names the first
// differing pixel.
#pragma once

#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QSlider>
#include <QString>
#include <QTest>

#include "imageview.h"

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
    void load(const QImage &image)
    {
        window.undoStack.clear();
        window.redoStack.clear();
        window.cropping = false;
        window.cropRect = QRect();
        window.scaleFactor = 1.0;
        window.workingImage = image;
        window.applyAdjustments();
        window.updateImageDisplay();
    }
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

// Compares two images pixel by pixel; on a difference, names the first
// differing pixel and both values.
inline bool sameImage(const QImage &actual, const QImage &expected, QString *why)
{
    if (actual.size() != expected.size()) {
        *why = QStringLiteral("size %1x%2, expected %3x%4")
                       .arg(actual.width())
                       .arg(actual.height())
                       .arg(expected.width())
                       .arg(expected.height());
        return false;
    }
    if (actual.format() != expected.format()) {
        *why = QStringLiteral("format %1, expected %2").arg(actual.format()).arg(expected.format());
        return false;
    }
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const QRgb a = actual.pixel(x, y);
            const QRgb e = expected.pixel(x, y);
            if (a != e) {
                *why = QStringLiteral("pixel (%1, %2) is #%3, expected #%4")
                               .arg(x)
                               .arg(y)
                               .arg(a, 8, 16, QLatin1Char('0'))
                               .arg(e, 8, 16, QLatin1Char('0'));
                return false;
            }
        }
    }
    return true;
}

#define COMPARE_IMAGES(actual, expected) \
    do { \
        QString why_; \
        QVERIFY2(TestSupport::sameImage((actual), (expected), &why_), qPrintable(why_)); \
    } while (false)

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
