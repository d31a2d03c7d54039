// Selection and crop: the two pointer tool modes, the pointer handlers and
// the crop itself.
#include "mainwindow.h"

#include "imageview.h"
#include "pointergeometry.h"
#include "tooloverlay.h"

#include <QMouseEvent>

using namespace Lumivex;

void MainWindow::startSelection()
{
    if (adjustedImage.isNull())
        return;
    selecting = true;
    selectionRect = QRect();
    toolOverlay()->update();
}

void MainWindow::selectAll()
{
    if (adjustedImage.isNull())
        return;
    selecting = false;
    selectionRect = QRect(0, 0, adjustedImage.width(), adjustedImage.height());
    repaintView();
}

void MainWindow::startCrop()
{
    if (adjustedImage.isNull())
        return;
    cropping = true;
    cropRect = QRect();
    toolOverlay()->update();
}

void MainWindow::resetCrop()
{
    cropping = false;
    cropRect = QRect();
    toolOverlay()->update();
}

void MainWindow::cancelCrop()
{
    resetCrop();
    updateImageDisplay();
}

void MainWindow::applyCrop()
{
    if (workingImage.isNull() || cropRect.isNull())
        return;
    // Every Apply Crop is a step of the history, recorded before the box is
    // judged: a stray click or a crop that finds no memory leaves an entry
    // of the same picture, which shares the document's pixels (it costs no
    // memory) and which Undo steps back over as over any other.
    pushUndo();
    // The box's corners as they lie over the view now, menu bar, toolbar,
    // frame and scrolling accounted for. A single pixel is a stray click,
    // not a crop.
    QRect region;
    if (cropRect.topLeft() != cropRect.bottomRight()) {
        region = imageRegionForViewBox(imageLabel->mapFrom(this, cropRect.topLeft()),
                                       imageLabel->mapFrom(this, cropRect.bottomRight()),
                                       imageLabel->size(), workingImage.size());
    }
    QImage cropped = region.isEmpty() ? QImage() : workingImage.copy(region);
    resetCrop();
    if (!cropped.isNull()) {
        workingImage = std::move(cropped);
        applyAdjustments();
    }
    updateImageDisplay();
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    const QPoint p = roundedPosition(event->position());
    if (selecting && !adjustedImage.isNull()) {
        selectionStart = p;
        selectionRect = QRect(p, p);
        toolOverlay()->update();
    }
    if (cropping && !adjustedImage.isNull()) {
        cropStart = p;
        cropRect = QRect(p, p);
        repaintView();
        return;
    }
    QMainWindow::mousePressEvent(event);
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint p = roundedPosition(event->position());
    if (selecting && !adjustedImage.isNull()) {
        selectionRect.setBottomRight(p);
        repaintView();
        return;
    }
    if (cropping && !adjustedImage.isNull()) {
        cropRect.setBottomRight(p);
        repaintView();
    }
    QMainWindow::mouseMoveEvent(event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint p = roundedPosition(event->position());
    if (selecting && !adjustedImage.isNull()) {
        selectionRect.setBottomRight(p);
        repaintView();
        return;
    }
    QMainWindow::mouseReleaseEvent(event);
    if (cropping && !adjustedImage.isNull()) {
        cropRect.setBottomRight(p);
        repaintView();
    }
}

void MainWindow::paintEvent(QPaintEvent *event)
{
    // The crop box and the selection are drawn by the layer above the scroll
    // area (repaintView), where the window's own painting would be hidden
    // under its child widgets.
    QMainWindow::paintEvent(event);
}
