// The transparent layer over the scroll area's viewport that outlines the
// crop box and the selection above the picture.
#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

class QImage;

namespace Lumivex {

// The window's tool state that the layer draws. It refers to the window's
// own fields and is read afresh at every paint, so the layer keeps no copy
// to fall out of step; the window, which owns both the fields and the
// layer, outlives it.
struct ToolState
{
    const bool &cropping;
    const QRect &cropRect; // window coordinates, corners inclusive, any order
    const bool &selecting;
    const QRect &selectionRect; // dragged: like cropRect; from Select All: image pixels
    const QImage &picture;      // what the view shows; a null image when it shows none
};

class ToolOverlay : public QWidget
{
    Q_OBJECT

public:
    // Covers viewport, the scroll area's viewport that shows view, and
    // draws state over it. The overlay never takes pointer input.
    ToolOverlay(QWidget *window, QWidget *view, QWidget *viewport, const ToolState &state);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool wholePictureSelected() const;
    QRect toOverlay(const QRect &windowRect) const;

    QPointer<QWidget> window;
    // The picture's view, a sibling. A plain widget pointer: it is only
    // compared and measured, and compared while it is being destroyed too.
    QWidget *view;
    ToolState state;
};

} // namespace Lumivex
