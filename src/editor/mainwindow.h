// The editor's one window: it owns the document, the shown picture, the
// history, the zoom and the two pointer tool modes, and every menu command
// and slider reaches it through one of its private slots.
#pragma once

#include "imagemetadata.h"

#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QPoint>
#include <QRect>

class QScrollArea;
class QSlider;

namespace Lumivex {
class ImageView;
class ToolOverlay;
} // namespace Lumivex

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private slots:
    // Files and clipboard
    void openImage();
    void saveImageAs();
    void cutImage();
    void copyImage();
    void pasteImage();

    // Selection
    void selectAll();
    void startSelection();

    // Adjustment sliders
    void adjustBrightness(int value);
    void adjustContrast(int value);
    void adjustSaturation(int value);

    // Geometric transforms
    void rotateLeft();
    void rotateRight();
    void flipHorizontal();
    void flipVertical();

    // Zoom
    void zoomIn();
    void zoomOut();
    void resetZoom();

    // Crop
    void startCrop();
    void applyCrop();
    void cancelCrop();

    // History
    void undo();
    void redo();

    // Colour filters
    void filterGrayscale();
    void filterInvert();

    // Help
    void showAbout();

private:
    // The refresh cycle's three shared steps.
    void pushUndo();
    void applyAdjustments();
    void updateImageDisplay();

    // Makes image the document of an edit: records the old one, replaces it,
    // re-derives and shows the picture.
    void commitEdit(QImage image);
    // Makes image a new document, as a successful open does: no history, no
    // crop box, zoom 1, the picture derived and shown.
    void newDocument(QImage image, Lumivex::ImageMetadata photoMetadata = {});
    // Writes image to path on a thread of its own while the window keeps
    // painting, and returns once the writer has stopped: why the file was
    // not written, or an empty string if it was or the user cancelled.
    QString writeInBackground(const QImage &image, const Lumivex::ImageMetadata &photoMetadata,
                              const QString &path);
    void readjust();
    void setZoom(double factor);
    void resetCrop();
    void repaintView();
    // The layer over the scroll area's viewport that outlines the crop box
    // and the selection; a child of the viewport, not editor state.
    Lumivex::ToolOverlay *toolOverlay() const;

    QImage workingImage;
    QImage adjustedImage;
    QList<QImage> undoStack;
    QList<QImage> redoStack;
    // The photo's metadata (EXIF, XMP, IPTC) as the file had it: it belongs
    // to the document, so every edit keeps it, a paste has none, and the
    // history holds the metadata of each entry beside its image, in step
    // with undoStack and redoStack (which stay lists of images, as the
    // history's memory bound counts them).
    Lumivex::ImageMetadata metadata;
    QList<Lumivex::ImageMetadata> undoMetadata;
    QList<Lumivex::ImageMetadata> redoMetadata;
    Lumivex::ImageView *imageLabel = nullptr;
    QScrollArea *scrollArea = nullptr;
    QSlider *brightnessSlider = nullptr;
    QSlider *contrastSlider = nullptr;
    QSlider *saturationSlider = nullptr;
    double scaleFactor = 1.0;
    QRect cropRect;
    bool cropping = false;
    QPoint cropStart;
    // Window coordinates of the box while selecting (a drag), or, when not
    // selecting, the whole picture in its own pixels after Select All:
    // ToolOverlay::wholePictureSelected() tells the two apart.
    QRect selectionRect;
    bool selecting = false;
    QPoint selectionStart;
    // How long a save runs before its progress dialog shows, in ms.
    int saveDialogDelay = 500;
    bool saving = false;
    bool closeAfterSave = false;

    friend struct MainWindowTestAccess;
};
