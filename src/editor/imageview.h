// The label inside the scroll area that shows the adjusted picture.
#pragma once

#include <QLabel>

class QImage;

namespace Lumivex {

// Shows an image owned by the window at the label's size. Only the part of
// the picture that is exposed is scaled and painted, so no zoomed copy of the
// whole picture is ever made, whatever the zoom.
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

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const QImage &picture;
};

} // namespace Lumivex
