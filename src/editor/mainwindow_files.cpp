// Files and clipboard: open, save, cut, copy and paste of whole images.
#include "mainwindow.h"

#include "clipboardimage.h"
#include "imagefile.h"
#include "imageoperations.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

using namespace Lumivex;

namespace {

// A save's progress: busy, modal, and up until the writer stops. Cancel,
// Escape and the close button only ask the writer to stop; the dialog's own
// hiding on cancel is dropped, so that the window stays blocked meanwhile.
class SaveProgress : public QProgressDialog
{
public:
    SaveProgress(const QString &path, std::atomic<bool> &cancelled, QWidget *parent)
        : QProgressDialog(parent)
    {
        setWindowTitle(QStringLiteral("Save Image As"));
        setLabelText(MainWindow::tr("Saving \"%1\"\u2026").arg(QFileInfo(path).fileName()));
        setRange(0, 0);
        setAutoClose(false);
        setAutoReset(false);
        setWindowModality(Qt::WindowModal);
        disconnect(this, &QProgressDialog::canceled, this, nullptr);
        connect(this, &QProgressDialog::canceled, this, [this, &cancelled] {
            cancelled = true;
            setLabelText(MainWindow::tr("Cancelling\u2026"));
        });
    }
    void reject() override { emit canceled(); }
};

} // namespace

void MainWindow::openImage()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Image"), QString(),
                                                      openFilter());
    if (path.isEmpty())
        return;
    // A large picture takes a while to decode: the wait cursor shows it, and
    // is restored however the read ends.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    ImageMetadata photoMetadata;
    QImage image = readImageFile(path, &photoMetadata);
    QGuiApplication::restoreOverrideCursor();
    if (image.isNull())
        return;
    newDocument(std::move(image), std::move(photoMetadata));
}

void MainWindow::saveImageAs()
{
    if (adjustedImage.isNull() || saving)
        return;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Image As"),
                                                      QString(), saveFilter());
    if (path.isEmpty())
        return;
    const QString error = writeInBackground(adjustedImage, metadata, path);
    if (!error.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Save Image As"),
                             tr("The image was not saved to \"%1\".\n%2")
                                     .arg(QDir::toNativeSeparators(path), error));
    }
    if (closeAfterSave) {
        closeAfterSave = false;
        close();
    }
}

// The writer gets its own thread rather than one of the global pool's, whose
// threads the encoders may share their rows out to. Until the progress dialog
// shows, user input waits (it is not dropped) while the window repaints;
// then the modal dialog blocks the window. The image is an implicitly shared
// copy: an edit meanwhile detaches the document and never touches it.
QString MainWindow::writeInBackground(const QImage &image, const ImageMetadata &photoMetadata,
                                      const QString &path)
{
    std::atomic<bool> cancelled{false};
    QString error;
    const std::unique_ptr<QThread> writer(
            QThread::create([&cancelled, &error, image, photoMetadata, path] {
                error = writeImageFile(image, path, photoMetadata, &cancelled);
            }));
    QEventLoop loop;
    bool done = false; // set in this thread, when the writer's end is seen
    connect(writer.get(), &QThread::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(saveDialogDelay, &loop, &QEventLoop::quit);
    saving = true;
    writer->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!done) {
        SaveProgress progress(path, cancelled, this);
        progress.show();
        loop.exec();
    }
    // The loop also ends early when the application quits; the file is
    // still finished or left untouched before this returns.
    writer->wait();
    saving = false;
    return cancelled ? QString() : error;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A save in progress ends first, so that its file is complete or
    // untouched; the window closes once it has.
    if (saving) {
        closeAfterSave = true;
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::cutImage()
{
    if (adjustedImage.isNull())
        return;
    copyImage();
    pushUndo();
    workingImage = QImage();
    metadata = ImageMetadata();
    applyAdjustments();
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
    metadata = ImageMetadata(); // a pasted picture is not the photo: it keeps none
}
