// Editor state, view and history: the refresh cycle's shared steps, zoom,
// undo and redo.
#include "mainwindow.h"

#include "history.h"
#include "imageview.h"
#include "tooloverlay.h"
#include "zoomgeometry.h"

#include <QWidget>

#include <algorithm>
#include <utility>

using namespace Lumivex;

namespace {

// The newest metadata of a history list, taken off it; none if the list has
// run out (entries put on the image list alone have none).
ImageMetadata takeLast(QList<ImageMetadata> &list)
{
    return list.isEmpty() ? ImageMetadata() : list.takeLast();
}

} // namespace

void MainWindow::pushUndo()
{
    if (workingImage.isNull())
        return;
    undoStack.append(workingImage);
    undoMetadata.append(metadata);
    redoStack.clear();
    redoMetadata.clear();
    const qsizetype entries = undoStack.size();
    trimHistory(undoStack, redoStack);
    undoMetadata.remove(0, std::min(undoMetadata.size(), entries - undoStack.size()));
}

void MainWindow::commitEdit(QImage image)
{
    if (image.isNull())
        return; // the edit could not be made (out of memory): nothing changes
    pushUndo();
    workingImage = std::move(image);
    applyAdjustments();
    updateImageDisplay();
}

void MainWindow::newDocument(QImage image, ImageMetadata photoMetadata)
{
    undoStack.clear();
    redoStack.clear();
    undoMetadata.clear();
    redoMetadata.clear();
    metadata = std::move(photoMetadata);
    resetCrop();
    scaleFactor = 1.0;
    workingImage = std::move(image);
    applyAdjustments();
    updateImageDisplay();
}

void MainWindow::updateImageDisplay()
{
    if (adjustedImage.isNull()) {
        imageLabel->clear();
        toolOverlay()->update(); // an outline of the whole picture goes with it
        return;
    }
    imageLabel->resize(zoomedViewSize(adjustedImage.size(), scaleFactor, QWIDGETSIZE_MAX));
    repaintView();
}

void MainWindow::repaintView()
{
    // Synchronous, so that a command or pointer move has reached the screen
    // when it returns (the real-window test drags a box and reads the
    // screen between moves). Only the view and the layer above it change
    // with them: repainting the layer, which covers the scroll area's
    // viewport and lets the view show through, paints both, once. The
    // scroll bars follow a resize of the view as Qt lays the scroll area
    // out. (Repainting the whole window and then the layer painted the view
    // twice, and the toolbar and sliders besides: a 6000x4000 slider step
    // took 7.0 ms at zoom 1 and 10.1 at zoom 0.168 that way, 5.2 and 7.0
    // this way; a zoom step below 1, 4.2 and 2.9.)
    toolOverlay()->repaint();
}

void MainWindow::zoomIn()
{
    setZoom(scaleFactor * ZoomStep);
}

void MainWindow::zoomOut()
{
    setZoom(scaleFactor / ZoomStep);
}

void MainWindow::resetZoom()
{
    scaleFactor = 1.0;
    updateImageDisplay();
}

void MainWindow::setZoom(double factor)
{
    // A step that the view could not take is refused; so is one that would
    // leave no factor to zoom back from.
    const QSize shown = adjustedImage.isNull() ? QSize(1, 1) : adjustedImage.size();
    if (!zoomFits(shown, factor, QWIDGETSIZE_MAX))
        return;
    scaleFactor = factor;
    updateImageDisplay();
}

void MainWindow::undo()
{
    if (undoStack.isEmpty())
        return;
    redoStack.append(workingImage);
    redoMetadata.append(std::exchange(metadata, takeLast(undoMetadata)));
    workingImage = undoStack.takeLast();
    applyAdjustments();
    updateImageDisplay();
}

void MainWindow::redo()
{
    if (redoStack.isEmpty())
        return;
    undoStack.append(workingImage);
    undoMetadata.append(std::exchange(metadata, takeLast(redoMetadata)));
    workingImage = redoStack.takeLast();
    applyAdjustments();
    updateImageDisplay();
}
