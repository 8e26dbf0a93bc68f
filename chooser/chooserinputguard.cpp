#include "chooser/chooserinputguard.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace {

void sendMouse(QWindow *target, const QMouseEvent *mouse)
{
    const QPointF local = target->mapFromGlobal(mouse->screenPos().toPoint());
    QMouseEvent moved(mouse->type(), local, local, mouse->screenPos(), mouse->button(),
                      mouse->buttons(), mouse->modifiers(), mouse->source());
    QCoreApplication::sendEvent(target, &moved);
}

} // namespace

ChooserInputGuard::ChooserInputGuard(QWidget *chooser)
    : chooser(chooser), pressedBefore(QGuiApplication::mouseButtons() != Qt::NoButton)
{
    QCoreApplication::instance()->installEventFilter(this);
}

ChooserInputGuard::~ChooserInputGuard()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

void ChooserInputGuard::handOver()
{
    showing = false;
    QWindow *target = chooser->window()->windowHandle();
    if (!target)
        return;
    for (const auto &[window, event] : held) {
        // Input after a choice or a cancel among them belongs to the window it was read for,
        // as it would had it come later: a tap on the main window's softkeys got lost.
        QWindow *to = chooser->isVisible() ? target : window.data();
        if (!to)
            continue;
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            QCoreApplication::sendEvent(to, event.get());
            continue;
        }
        const auto *mouse = static_cast<QMouseEvent *>(event.get());
        sendMouse(to, mouse);
        pressHandedOver = to == target && mouse->buttons() != Qt::NoButton;
    }
    held.clear();
}

bool ChooserInputGuard::eventFilter(QObject *watched, QEvent *event)
{
    auto *window = qobject_cast<QWindow *>(watched);
    if (!window)
        return false;
    return showing ? hold(window, event) : keepFromOthers(window, event);
}

bool ChooserInputGuard::hold(QWindow *window, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        held.emplace_back(window, new QKeyEvent(*static_cast<QKeyEvent *>(event)));
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
        held.emplace_back(window, new QMouseEvent(*static_cast<QMouseEvent *>(event)));
        return true;
    case QEvent::MouseButtonDblClick:
        // Follows a press held above, which the chooser gets as a press of its own, as its
        // widgets take a double click. Let through, it would press the widget beneath, which
        // never sees the release: a scroll bar's arrow would scroll on by itself.
        return true;
    default:
        return false;
    }
}

bool ChooserInputGuard::keepFromOthers(QWindow *window, QEvent *event)
{
    QWindow *own = chooser->window()->windowHandle();
    // A box over the chooser, such as the failure of a load started beneath it, is modal
    // above it and takes its own input. While a finished chooser hides, the framebuffer
    // platforms hand out the input read so far: its window is gone before the widget, and what
    // was read for the main window, a tap on its softkeys too, is the main window's again.
    if (!own || window == own || !chooser->isVisible() || !own->isVisible() ||
        window == QGuiApplication::modalWindow())
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        QCoreApplication::sendEvent(own, event);
        return true;
    // A finger lifted now releases what it pressed, or a scroll bar's arrow scrolls on by
    // itself: put down while the chooser was shown, its press went to the chooser, which gets
    // the release Qt makes from the touch; put down before, on the main window, it is let
    // through there.
    case QEvent::MouseButtonRelease:
        if (std::exchange(pressHandedOver, false))
            sendMouse(own, static_cast<QMouseEvent *>(event));
        return !std::exchange(pressedBefore, false);
    case QEvent::TouchEnd:
        return !pressHandedOver && !pressedBefore;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
        return true;
    default:
        return false;
    }
}
