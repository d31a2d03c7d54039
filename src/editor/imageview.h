// The label inside the scroll area that shows the adjusted picture.
#pragma once

#include "displayconversion.h"
#include "reduction.h"

#include <QColorSpace>
#include <QColorTransform>
#include <QImage>
#include <QLabel>

namespace Lumivex {

// Shows an image owned by the window at the label's size, in device pixels.
// Below zoom 1 it shows the picture's area-averaged reduction; at zoom 1 and
// above the picture itself, magnified smoothly. Only the visible part is
// reduced, converted and painted, so no zoomed copy of the whole picture is
// ever made, whatever the zoom. Colours are converted from the picture's
// colour space to the screen's for display only.
class ImageView : public QLabel
{
    Q_OBJECT

public:
    // The view refers to the window's picture instead of holding a pixmap
    // of it: a pixmap would be a second full copy of a picture that may be
    // hundreds of megabytes, converted again at every slider step, while a
    // reference shows whatever the picture is at each paint. So picture must
    // outlive every paint of the view: the window that owns both keeps it as
    // a member.
    explicit ImageView(const QImage &picture, QWidget *parent = nullptr);

    // The reduction that the next paint needs of a picture of pictureSize,
    // for the view as it is now: null unless the view shows such a picture
    // reduced. Whoever makes the picture anew can fill it as the rows are
    // made and hand it back with showReduction().
    Reduction plannedReduction(const QSize &pictureSize) const;
    // Takes the reduction of the picture as it is now, for the next paints.
    void showReduction(const Reduction &planned, QImage reduced);

    // The colour space the view converts to: sRGB, or the screen's own
    // where the platform tells it.
    QColorSpace screenColorSpace() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QSize deviceGrid() const;
    QRect deviceRect(const QRect &logical) const;
    // The device pixels of the view that the scroll area shows.
    QRect visibleDeviceRect() const;
    // The part of image (all of it if part is null) converted for the
    // screen, or as it is when it needs no conversion.
    QImage forScreen(QImage image, const QRect &part = QRect()) const;

    const QImage &picture;

    // The reduced and converted pixels last shown, with what they were made
    // for; reused while the picture, the grid and the exposed part allow.
    struct Shown
    {
        qint64 key = 0;
        QSize grid;
        QRect rect;
        QImage image;
    } shown;

    mutable QColorSpace screenSpace;
    mutable QColorSpace transformSource;
    mutable QColorTransform transform;
    // The same conversion by the kernels, where it can be made (see
    // DisplayConversion).
    mutable DisplayConversion conversion;
};

} // namespace Lumivex
