#pragma once

#include <QPoint>
#include <QString>
#include <Qt>

#include <optional>

class QWidget;

// Delivers synthetic input the way the platform delivers real input to widgets: key events
// to the keyboard focus, mouse presses and releases to the widget under the point (a tap by
// name: to that widget, at its centre). Events are posted, never sent, so the answer to the
// request goes out before any handler runs, even one that opens a modal dialog or quits.
class InputInjector
{
public:
    enum class KeyAction { Press, Release, Click };

    // Returns the widget the events were posted to, or null with an error.
    QWidget *key(int key, KeyAction action, Qt::KeyboardModifiers modifiers,
                 const std::optional<QString> &text, QString *error);

    // A press and release at a point in screen coordinates.
    QWidget *tapAt(const QPoint &screenPoint, QString *error);
    // A press and release at the centre of a widget; the point used is stored in screenPoint.
    // Refused when another widget covers that point, where a touch would land on that one.
    QWidget *tapWidget(QWidget *widget, QPoint *screenPoint, QString *error);

    // The widget a touch at the centre of this one lands on, when that is not this one or a
    // child of it; null where nothing covers it (or no window of ours lies there).
    static QWidget *coverAtCentre(const QWidget *widget);

private:
    // The widget that a key event would reach now.
    static QWidget *keyTarget();
    // True when a modal window other than the widget's own keeps input from reaching it.
    static bool isBlockedByModal(const QWidget *widget);

    QWidget *postTap(QWidget *target, const QPoint &screenPoint, QString *error);
};
