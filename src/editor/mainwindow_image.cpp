// Image operations: the adjustment sliders, the quarter turns and mirrors,
// and the colour filters.
#include "mainwindow.h"

#include "imagekernels.h"

#include <QSlider>
#include <QTransform>

using namespace Lumivex;

void MainWindow::applyAdjustments()
{
    if (workingImage.isNull())
        return;
    const Adjustment adjustment{brightnessSlider->value(), contrastSlider->value(),
                                saturationSlider->value()};
    if (!adjustImage(workingImage, adjustedImage, adjustment))
        adjustedImage = workingImage; // no memory for the result: show the document as it is
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
    commitEdit(workingImage.transformed(QTransform().rotate(-90.0), Qt::FastTransformation));
}

void MainWindow::rotateRight()
{
    if (workingImage.isNull())
        return;
    commitEdit(workingImage.transformed(QTransform().rotate(90.0), Qt::FastTransformation));
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
