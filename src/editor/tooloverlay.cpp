#include "tooloverlay.h"

#include <QEvent>
#include <QImage>
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

ToolOverlay::ToolOverlay(QWidget *mainWindow, QWidget *shownView, QWidget *viewport,
                         const ToolState &toolState)
    : QWidget(viewport), window(mainWindow), view(shownView), state(toolState)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(viewport->rect());
    viewport->installEventFilter(this);
    view->installEventFilter(this);
    raise();
}

// A selection that is not being dragged can only have come from Select All,
// which stores the picture's own rectangle: the outline follows the view.
bool ToolOverlay::wholePictureSelected() const
{
    return !state.selecting && !state.selectionRect.isNull();
}

bool ToolOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
        raise();
    } else if (watched == view && (event->type() == QEvent::Move || event->type() == QEvent::Resize)
               && wholePictureSelected()) {
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
    if (state.cropping)
        drawBox(painter, toOverlay(state.cropRect), Qt::red, QColor(255, 0, 0, 50));
    QRect selected;
    if (!wholePictureSelected())
        selected = toOverlay(state.selectionRect);
    else if (!state.picture.isNull())
        selected = view->geometry().translated(-pos()); // the view and the layer share a parent
    drawBox(painter, selected, Qt::blue, QColor(0, 0, 255, 50));
}

} // namespace Lumivex
