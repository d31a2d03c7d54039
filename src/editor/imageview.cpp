#include "imageview.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>

namespace Lumivex {

ImageView::ImageView(const QImage &shown, QWidget *parent) : QLabel(parent), picture(shown) { }

void ImageView::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (picture.isNull() || width() <= 0 || height() <= 0)
        return;
    QPainter painter(this);
    painter.setClipRect(event->rect());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, size() != picture.size());
    painter.drawImage(QRectF(rect()), picture, QRectF(picture.rect()));
}

} // namespace Lumivex
