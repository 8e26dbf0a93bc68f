#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QSize>
#include <QString>

class QWidget;

// Read-only view of the process's widgets: whatever windows exist, without knowing the
// viewer's classes.
class WidgetCatalog
{
public:
    // The modal window that input to the others must not pass: Qt's active modal widget, or a
    // visible dialog that runs modally although Qt does not list it, as one shown before its
    // exec() does (its window stays unregistered until it is shown again). Null when none runs.
    static QWidget *modalWindow();
    // The first of the visible windows in the order below; null when none shows.
    QWidget *frontWindow() const;

    // Every visible widget of every visible window as a flat list in pre-order. Each entry has
    // an "id" (1-based, only valid within one answer) and a "parent" id (0 for a window).
    QJsonArray describeWidgets() const;

    // The visible widgets with this object name, windows front first and each window's tree in
    // pre-order; findVisible gives the first of them.
    QList<QWidget *> allVisible(const QString &objectName) const;
    QWidget *findVisible(const QString &objectName) const;

    // The widget rendered as PNG bytes; empty on failure. The size is the image's.
    QByteArray grabPng(QWidget *widget, QSize *size) const;

private:
    // Visible top-level windows, front first: the active modal dialog, the active window,
    // then the others in the order their native windows were created.
    static QList<QWidget *> visibleWindows();
};
