// Files and clipboard: open, save, cut, copy and paste of whole images.
#include "mainwindow.h"

#include "clipboardimage.h"
#include "imagefile.h"
#include "imagekernels.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

using namespace Lumivex;

void MainWindow::openImage()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Image"), QString(),
                                                      openFilter());
    if (path.isEmpty())
        return;
    // A large picture takes a while to decode: the wait cursor shows it, and
    // is restored however the read ends.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QImage image = readImageFile(path);
    QGuiApplication::restoreOverrideCursor();
    if (image.isNull())
        return;
    newDocument(std::move(image));
}

void MainWindow::saveImageAs()
{
    if (adjustedImage.isNull())
        return;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Image As"),
                                                      QString(), saveFilter());
    if (path.isEmpty())
        return;
    const QString error = writeImageFile(adjustedImage, path);
    if (!error.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Save Image As"),
                             tr("The image was not saved to \"%1\".\n%2")
                                     .arg(QDir::toNativeSeparators(path), error));
    }
}

void MainWindow::cutImage()
{
    if (adjustedImage.isNull())
        return;
    copyImage();
    pushUndo();
    adjustedImage = QImage();
    workingImage = QImage();
    updateImageDisplay();
}

void MainWindow::copyImage()
{
    if (adjustedImage.isNull())
        return;
    QGuiApplication::clipboard()->setMimeData(new EncodedImageData(adjustedImage),
                                              QClipboard::Clipboard);
}

void MainWindow::pasteImage()
{
    // Another program's clipboard may take up to the platform's timeout to
    // answer each of the two questions asked.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QImage image = readPastedImage(QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard));
    QGuiApplication::restoreOverrideCursor();
    if (image.isNull())
        return;
    commitEdit(std::move(image));
}
