// Shared helpers for the pointer, crop and overlay tests: a window shown
// with a picture, and a pointer that delivers its events as Qt does.
#pragma once

#include "testsupport.h"

#include <QMouseEvent>

namespace TestSupport {

// Opens image in window and shows the window.
inline bool showImage(MainWindow &window, const QImage &image)
{
    MainWindowTestAccess{window}.load(image);
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}

// A pointer driven as the window system drives it: the press goes to the
// widget under the point, the moves and the release to the widget that took
// the press. The picture and the viewport leave the events unhandled, so Qt
// passes them on to the window in its own coordinates.
class Pointer
{
public:
    explicit Pointer(QWidget &topLevel) : top(topLevel) { }

    // Points are in window coordinates.
    void press(const QPointF &at)
    {
        grabber = top.childAt(at.toPoint());
        if (!grabber)
            grabber = &top;
        send(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    }
    void move(const QPointF &at) { send(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton); }
    void release(const QPointF &at)
    {
        send(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        grabber = nullptr;
    }
    void drag(const QPointF &from, const QPointF &to)
    {
        press(from);
        move((from + to) / 2);
        move(to);
        release(to);
    }
    QWidget *receiver() const { return grabber; }

private:
    void send(QEvent::Type type, const QPointF &at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        const QPointF local = at - QPointF(grabber->mapTo(&top, QPoint(0, 0)));
        const QPointF global = QPointF(top.mapToGlobal(QPoint(0, 0))) + at;
        QMouseEvent event(type, local, at, global, button, held, Qt::NoModifier);
        QApplication::sendEvent(grabber, &event);
    }

    QWidget &top;
    QWidget *grabber = nullptr;
};

} // namespace TestSupport
