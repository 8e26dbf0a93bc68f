#pragma once

#include <QBoxLayout>
#include <QStringList>
#include <QWidget>

// A softkey frame from its first slot to its last: softkeys by name without "Button", "-" for a
// placeholder, "|" for an item that is no widget, and "?" after a widget that is not a child of
// the frame's holder (it would not be drawn there).
inline QString frameContents(const QLayout *layout)
{
    if (!layout)
        return QStringLiteral("no layout");
    QStringList names;
    for (int i = 0; i < layout->count(); ++i) {
        const QWidget *widget = layout->itemAt(i)->widget();
        if (!widget) {
            names << QStringLiteral("|");
            continue;
        }
        const QString name = widget->objectName().remove(QStringLiteral("Button"));
        names << (name.isEmpty() ? QStringLiteral("-") : name) +
                     (widget->parentWidget() == layout->parentWidget() ? "" : "?");
    }
    return names.join(QLatin1Char(' '));
}

// Qt reports a negative spacing as the style's: what a layout given `spacing` reports.
inline int spacingAsSet(int spacing)
{
    QWidget holder;
    QVBoxLayout layout(&holder);
    layout.setSpacing(spacing);
    return layout.spacing();
}
