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
    // picture must outlive every paint of the view: the window that owns
    // both keeps it as a member.
    explicit ImageView(const QImage &picture, QWidget *parent = nullptr);

    bool showsPicture() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const QImage &picture;
};

} // namespace Lumivex
