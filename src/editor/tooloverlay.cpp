#include "tooloverlay.h"

#include <QEvent>
#include <QPainter>

namespace Lumivex {

namespace {

void drawBox(QPainter &painter, const QRect &box, Qt::GlobalColor outline, const QColor &fill)
{
    if (box.isEmpty())
        return;
    painter.fillRect(box, fill);
    painter.setPen(QPen(QBrush(outline, Qt::SolidPattern), 2.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box);
}

} // namespace

ToolOverlay::ToolOverlay(QWidget *mainWindow, ImageView *shownView, QWidget *viewport)
    : QWidget(viewport), window(mainWindow), view(shownView)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(viewport->rect());
    viewport->installEventFilter(this);
    view->installEventFilter(this);
    raise();
}

void ToolOverlay::setCropBox(const QRect &windowRect)
{
    cropRect = windowRect;
}

void ToolOverlay::setSelection(const QRect &windowRect)
{
    selectionRect = windowRect;
    wholePicture = false;
}

void ToolOverlay::selectWholePicture()
{
    selectionRect = QRect();
    wholePicture = true;
}

bool ToolOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
        raise();
    } else if (watched == view && (event->type() == QEvent::Move || event->type() == QEvent::Resize)
               && wholePicture) {
        update();
    }
    return QWidget::eventFilter(watched, event);
}

QRect ToolOverlay::toOverlay(const QRect &windowRect) const
{
    if (windowRect.isNull() || !window)
        return QRect();
    // Both corners belong to the box, whichever way it was dragged.
    // (QRect::normalized() would move a reversed edge by one pixel.)
    const QPoint a = windowRect.topLeft();
    const QPoint b = windowRect.bottomRight();
    const QRect box(QPoint(qMin(a.x(), b.x()), qMin(a.y(), b.y())),
                    QPoint(qMax(a.x(), b.x()), qMax(a.y(), b.y())));
    return box.translated(mapFrom(window, QPoint(0, 0)));
}

void ToolOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawBox(painter, toOverlay(cropRect), Qt::red, QColor(255, 0, 0, 50));
    QRect selected = toOverlay(selectionRect);
    if (wholePicture) {
        // The view and the overlay share a parent.
        const auto *shownView = qobject_cast<const ImageView *>(view.data());
        const bool shown = shownView && shownView->showsPicture();
        selected = shown ? view->geometry().translated(-pos()) : QRect();
    }
    drawBox(painter, selected, Qt::blue, QColor(0, 0, 255, 50));
}

} // namespace Lumivex
