// Image operations: the adjustment sliders, the quarter turns and mirrors,
// and the colour filters.
#include "mainwindow.h"

#include "imageoperations.h"
#include "imageview.h"
#include "quarterturn.h"
#include "zoomgeometry.h"

#include <QSlider>
#include <QWidget>

using namespace Lumivex;

void MainWindow::applyAdjustments()
{
    if (workingImage.isNull()) {
        adjustedImage = QImage(); // no document, no picture
        return;
    }
    const Adjustment adjustment{brightnessSlider->value(), contrastSlider->value(),
                                saturationSlider->value()};
    // Where the view shows the picture reduced, the reduction is made as
    // the adjusted rows are written, while they are still in the cache: a
    // separate reduction would read the whole picture from memory again
    // (on 6000x4000 at zoom 0.168 that pass alone costs about half as much as
    // the adjustment). The view can plan it only while it already shows a
    // picture of this size, which is the case at every slider step.
    Reduction reduction;
    if (imageLabel->size() == zoomedViewSize(workingImage.size(), scaleFactor, QWIDGETSIZE_MAX))
        reduction = imageLabel->plannedReduction(workingImage.size());
    std::function<void(int, int)> written;
    if (!reduction.isNull())
        written = [&](int begin, int end) { reduction.addRows(adjustedImage, begin, end); };
    if (!adjustImage(workingImage, adjustedImage, adjustment, written)) {
        adjustedImage = workingImage; // no memory for the result: show the document as it is
        return;
    }
    if (!reduction.isNull())
        imageLabel->showReduction(reduction, reduction.finish(adjustedImage));
}

// Each slider applies the current values of all three.
void MainWindow::readjust()
{
    if (workingImage.isNull())
        return;
    applyAdjustments();
    updateImageDisplay();
}

void MainWindow::adjustBrightness(int)
{
    readjust();
}

void MainWindow::adjustContrast(int)
{
    readjust();
}

void MainWindow::adjustSaturation(int)
{
    readjust();
}

void MainWindow::rotateLeft()
{
    if (workingImage.isNull())
        return;
    commitEdit(Lumivex::quarterTurned(workingImage, false));
}

void MainWindow::rotateRight()
{
    if (workingImage.isNull())
        return;
    commitEdit(Lumivex::quarterTurned(workingImage, true));
}

void MainWindow::flipHorizontal()
{
    if (workingImage.isNull())
        return;
    commitEdit(workingImage.mirrored(true, false));
}

void MainWindow::flipVertical()
{
    if (workingImage.isNull())
        return;
    commitEdit(workingImage.mirrored(false, true));
}

void MainWindow::filterGrayscale()
{
    if (workingImage.isNull())
        return;
    QImage filtered = workingImage;
    if (grayscaleImage(filtered))
        commitEdit(std::move(filtered));
}

void MainWindow::filterInvert()
{
    if (workingImage.isNull())
        return;
    QImage filtered = workingImage;
    if (invertImage(filtered))
        commitEdit(std::move(filtered));
}
