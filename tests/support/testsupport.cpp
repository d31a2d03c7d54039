#include "testsupport.h"

#include <QPushButton>

namespace TestSupport {

QAction *menuAction(QMainWindow &window, const QString &item)
{
    QAction *found = nullptr;
    for (QAction *top : window.menuBar()->actions()) {
        if (!top->menu())
            continue;
        for (QAction *action : top->menu()->actions()) {
            if (action->text() != item)
                continue;
            if (found)
                return nullptr;
            found = action;
        }
    }
    return found;
}

DialogAnswer::DialogAnswer(const QString &answer, bool confirmQuestions) : confirm(confirmQuestions)
{
    expect(answer);
    // Two timers: a message box may open inside the file dialog's accept,
    // which runs in the first timer's tick, and a timer does not fire again
    // before its tick has returned.
    timer.setInterval(10);
    timer.callOnTimeout([this] { answerFileDialog(); });
    timer.start();
    messageTimer.setInterval(10);
    messageTimer.callOnTimeout([this] { answerMessageBox(); });
    messageTimer.start();
}

void DialogAnswer::expect(const QString &answer)
{
    path = answer;
    seen = false;
    messageSeen = false;
}

void DialogAnswer::answerMessageBox()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box)
        return;
    if (confirm && box->button(QMessageBox::Yes)) {
        box->button(QMessageBox::Yes)->click();
        return;
    }
    messageSeen = true;
    title = box->windowTitle();
    text = box->text();
    box->accept();
}

void DialogAnswer::answerFileDialog()
{
    // Answered again on every tick until it closes: the dialog may not take
    // the answer before it has looked at the folder.
    auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    if (!dialog)
        return;
    seen = true;
    caption = dialog->windowTitle();
    filters = dialog->nameFilters();
    if (path.isEmpty()) {
        dialog->reject();
        return;
    }
    // A name typed into a focused name field wins over selectFile.
    if (QWidget *focused = dialog->focusWidget())
        focused->clearFocus();
    dialog->selectFile(path);
    QMetaObject::invokeMethod(dialog, "accept");
}

namespace {

// Whether shown is base under a translucent fill of tint (alpha 50).
bool tintedWith(QRgb base, QRgb shown, const QColor &tint)
{
    const auto near = [](int c, int under, int over) {
        return qAbs(c - (under * 205 + over * 50) / 255) <= 2;
    };
    return near(qRed(shown), qRed(base), tint.red())
           && near(qGreen(shown), qGreen(base), tint.green())
           && near(qBlue(shown), qBlue(base), tint.blue());
}

} // namespace

QString boxProblem(const QImage &base, const QImage &shown, const QRect &box, const QRect &visible,
                   const QColor &outline)
{
    const auto named = [](const QPoint &p) {
        return QStringLiteral("(%1, %2)").arg(p.x()).arg(p.y());
    };
    if (shown.isNull())
        return QStringLiteral("no picture to look at");
    const QRect in = box & visible;
    if (in.isEmpty())
        return QStringLiteral("the box is not in view");
    const QPoint mid = in.center();
    const QPoint edges[] = {{box.left(), mid.y()},
                            {box.right(), mid.y()},
                            {mid.x(), box.top()},
                            {mid.x(), box.bottom()}};
    const QPoint clipped[] = {{in.left(), mid.y()},
                              {in.right(), mid.y()},
                              {mid.x(), in.top()},
                              {mid.x(), in.bottom()}};
    const QPoint beyond[] = {{-3, 0}, {3, 0}, {0, -3}, {0, 3}};
    for (int e = 0; e < 4; ++e) {
        const QPoint outside = edges[e] + beyond[e];
        if (!visible.contains(edges[e])) {
            if (!tintedWith(base.pixel(clipped[e]), shown.pixel(clipped[e]), outline))
                return QStringLiteral("not tinted at the border %1").arg(named(clipped[e]));
        } else if ((shown.pixel(edges[e]) & 0xffffff) != (outline.rgb() & 0xffffff)) {
            return QStringLiteral("no outline at %1").arg(named(edges[e]));
        } else if (visible.contains(outside)
                   && (shown.pixel(outside) & 0xffffff) != (base.pixel(outside) & 0xffffff)) {
            return QStringLiteral("drawn outside at %1").arg(named(outside));
        }
    }
    for (const QPoint inside :
         {mid, in.topLeft() + QPoint(3, 3), in.bottomRight() - QPoint(3, 3)}) {
        if (!tintedWith(base.pixel(inside), shown.pixel(inside), outline))
            return QStringLiteral("not tinted inside at %1").arg(named(inside));
    }
    return QString();
}

} // namespace TestSupport
