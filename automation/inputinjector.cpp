#include "inputinjector.h"

#include "widgetcatalog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace {

// Input is posted through the target's window, as a hardware key or a touch comes, so that
// filters on the windows see it: one may hand keys beneath a dialog that is shown but not active
// yet to that dialog, or drop a touch beside it.
QObject *windowOrWidget(QWidget *target)
{
    QObject *window = target->window()->windowHandle();
    return window ? window : target;
}

// The text a keyboard would attach to the key without modifiers other than Shift, so text
// input widgets see what they would see from real keys.
QString defaultText(int key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return QString();
    if (key >= 0x20 && key <= 0x7e) {
        const QChar character(key);
        return (modifiers & Qt::ShiftModifier) ? QString(character) : QString(character.toLower());
    }
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QStringLiteral("\r");
    case Qt::Key_Tab:
        return QStringLiteral("\t");
    case Qt::Key_Backspace:
        return QStringLiteral("\b");
    case Qt::Key_Escape:
        return QStringLiteral("\x1b");
    default:
        return QString();
    }
}

// The widget of a window that its keys reach: its focus widget, or the window itself.
QWidget *focusIn(QWidget *window)
{
    return window && window->focusWidget() ? window->focusWidget() : window;
}

// The order in which the platform integration picks a key event's receiver.
QWidget *focusedReceiver()
{
    if (QWidget *grabber = QWidget::keyboardGrabber())
        return grabber;
    if (QWidget *popup = QApplication::activePopupWidget())
        return focusIn(popup);
    if (QWidget *focus = QApplication::focusWidget())
        return focus;
    if (QWidget *active = QApplication::activeWindow())
        return active;
    // Without a window manager nothing may be active; the front window stands in for it,
    // with the widget that would have the focus were it active.
    return focusIn(WidgetCatalog().frontWindow());
}

} // namespace

QWidget *InputInjector::keyTarget()
{
    QWidget *target = focusedReceiver();
    // A modal dialog that has just been shown may not be active yet; its keys are its own.
    if (target && isBlockedByModal(target))
        target = focusIn(WidgetCatalog::modalWindow());
    return target;
}

bool InputInjector::isBlockedByModal(const QWidget *widget)
{
    const QWidget *modal = WidgetCatalog::modalWindow();
    if (!modal)
        return false;
    const QWidget *window = widget->window();
    return window != modal && !modal->isAncestorOf(window);
}

QWidget *InputInjector::key(int key, KeyAction action, Qt::KeyboardModifiers modifiers,
                            const std::optional<QString> &text, QString *error)
{
    QWidget *target = keyTarget();
    if (!target) {
        *error = QStringLiteral("no window to receive the key");
        return nullptr;
    }
    const QString keyText = text ? *text : defaultText(key, modifiers);
    QObject *receiver = windowOrWidget(target);
    // Native scan code 0: the key did not come from a keyboard driver.
    auto post = [&](QEvent::Type type) {
        QCoreApplication::postEvent(
            receiver, new QKeyEvent(type, key, modifiers, 0, 0, 0, keyText, false, 1));
    };
    if (action != KeyAction::Release)
        post(QEvent::KeyPress);
    if (action != KeyAction::Press)
        post(QEvent::KeyRelease);
    return target;
}

QWidget *InputInjector::tapAt(const QPoint &screenPoint, QString *error)
{
    QWidget *target = QApplication::widgetAt(screenPoint);
    if (!target) {
        *error = QStringLiteral("no widget at %1,%2").arg(screenPoint.x()).arg(screenPoint.y());
        return nullptr;
    }
    return postTap(target, screenPoint, error);
}

QWidget *InputInjector::tapWidget(QWidget *widget, QPoint *screenPoint, QString *error)
{
    *screenPoint = widget->mapToGlobal(widget->rect().center());
    const QWidget *cover = isBlockedByModal(widget) ? nullptr : coverAtCentre(widget);
    if (cover) {
        *error =
            QStringLiteral("%1 is covered by %2").arg(widget->objectName(), cover->objectName());
        return nullptr;
    }
    return postTap(widget, *screenPoint, error);
}

QWidget *InputInjector::coverAtCentre(const QWidget *widget)
{
    QWidget *hit = QApplication::widgetAt(widget->mapToGlobal(widget->rect().center()));
    return hit && hit != widget && !widget->isAncestorOf(hit) ? hit : nullptr;
}

QWidget *InputInjector::postTap(QWidget *target, const QPoint &screenPoint, QString *error)
{
    if (isBlockedByModal(target)) {
        *error = QStringLiteral("%1 is blocked by the modal window %2")
                     .arg(target->objectName(), WidgetCatalog::modalWindow()->objectName());
        return nullptr;
    }
    // The window hands the press to the widget under the point, and the release to the pressed
    // widget, as with a real press.
    QObject *receiver = windowOrWidget(target);
    const QPointF inWindow = target->window()->mapFromGlobal(screenPoint);
    const QPointF local =
        receiver == target ? QPointF(target->mapFromGlobal(screenPoint)) : inWindow;
    QCoreApplication::postEvent(receiver, new QMouseEvent(QEvent::MouseButtonPress, local, inWindow,
                                                          screenPoint, Qt::LeftButton,
                                                          Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(receiver, new QMouseEvent(QEvent::MouseButtonRelease, local,
                                                          inWindow, screenPoint, Qt::LeftButton,
                                                          Qt::NoButton, Qt::NoModifier));
    return target;
}
