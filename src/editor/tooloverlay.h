// The transparent layer over the scroll area's viewport that outlines the
// crop box and the selection above the picture.
#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

#include "imageview.h"

namespace Lumivex {

class ToolOverlay : public QWidget
{
    Q_OBJECT

public:
    // Covers viewport, the scroll area's viewport that shows view; rectangles
    // are given in window's coordinates. The overlay never takes pointer input.
    ToolOverlay(QWidget *window, ImageView *view, QWidget *viewport);

    // The crop box as dragged, in window coordinates, corners inclusive and
    // in any order; a null rectangle shows none.
    void setCropBox(const QRect &windowRect);
    // The dragged selection, like the crop box.
    void setSelection(const QRect &windowRect);
    // The selection is the whole shown picture, wherever the view puts it
    // (nothing while the view shows none).
    void selectWholePicture();

    QRect cropBox() const { return cropRect; }
    QRect selection() const { return selectionRect; }
    bool wholePictureSelected() const { return wholePicture; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QRect toOverlay(const QRect &windowRect) const;

    QPointer<QWidget> window;
    QPointer<QWidget> view; // an ImageView; compared while it is being destroyed too
    QRect cropRect;
    QRect selectionRect;
    bool wholePicture = false;
};

} // namespace Lumivex
