#include "widgetcatalog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QJsonObject>
#include <QLabel>
#include <QPixmap>
#include <QWindow>

#include <algorithm>

namespace {

QList<QWidget *> visibleChildren(const QWidget *parent)
{
    QList<QWidget *> result;
    for (QObject *object : parent->children()) {
        if (!object->isWidgetType())
            continue;
        auto *child = static_cast<QWidget *>(object);
        // Child windows (dialogs with a parent) are listed as windows of their own.
        if (!child->isWindow() && child->isVisible())
            result.append(child);
    }
    return result;
}

void describe(QWidget *widget, int parentId, int *nextId, QJsonArray *list)
{
    const int id = (*nextId)++;
    const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
    QJsonObject entry{
        {QStringLiteral("id"), id},
        {QStringLiteral("parent"), parentId},
        {QStringLiteral("class"), QString::fromLatin1(widget->metaObject()->className())},
        {QStringLiteral("name"), widget->objectName()},
        {QStringLiteral("x"), origin.x()},
        {QStringLiteral("y"), origin.y()},
        {QStringLiteral("width"), widget->width()},
        {QStringLiteral("height"), widget->height()},
        {QStringLiteral("enabled"), widget->isEnabled()},
        {QStringLiteral("visible"), widget->isVisible()},
        {QStringLiteral("focus"), widget->hasFocus()},
    };
    if (widget->isWindow()) {
        entry.insert(QStringLiteral("window"), true);
        entry.insert(QStringLiteral("active"), widget->isActiveWindow());
        entry.insert(QStringLiteral("text"), widget->windowTitle());
    } else if (const auto *button = qobject_cast<const QAbstractButton *>(widget)) {
        entry.insert(QStringLiteral("text"), button->text());
    } else if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        entry.insert(QStringLiteral("text"), label->text());
    }
    list->append(entry);

    for (QWidget *child : visibleChildren(widget))
        describe(child, id, nextId, list);
}

void findIn(QWidget *widget, const QString &objectName, QList<QWidget *> *found)
{
    if (widget->objectName() == objectName)
        found->append(widget);
    for (QWidget *child : visibleChildren(widget))
        findIn(child, objectName, found);
}

} // namespace

QWidget *WidgetCatalog::modalWindow()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->isWindow() && widget->isVisible() && widget->isModal())
            return widget;
    return nullptr;
}

QList<QWidget *> WidgetCatalog::visibleWindows()
{
    QList<QWidget *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isWindow() && widget->isVisible() && widget->windowType() != Qt::Desktop)
            windows.append(widget);
    }

    // topLevelWidgets() has no defined order; the native windows' creation order is stable.
    const QWindowList creationOrder = QGuiApplication::allWindows();
    const QWidget *const modal = modalWindow();
    auto rank = [&creationOrder, modal](QWidget *widget) {
        if (widget == modal)
            return -2;
        if (widget == QApplication::activeWindow())
            return -1;
        const int index = creationOrder.indexOf(widget->windowHandle());
        return index < 0 ? int(creationOrder.size()) : index;
    };
    std::stable_sort(windows.begin(), windows.end(),
                     [&rank](QWidget *a, QWidget *b) { return rank(a) < rank(b); });
    return windows;
}

QWidget *WidgetCatalog::frontWindow() const
{
    const QList<QWidget *> windows = visibleWindows();
    return windows.isEmpty() ? nullptr : windows.first();
}

QJsonArray WidgetCatalog::describeWidgets() const
{
    QJsonArray list;
    int nextId = 1;
    for (QWidget *window : visibleWindows())
        describe(window, 0, &nextId, &list);
    return list;
}

QList<QWidget *> WidgetCatalog::allVisible(const QString &objectName) const
{
    QList<QWidget *> found;
    if (!objectName.isEmpty()) {
        for (QWidget *window : visibleWindows())
            findIn(window, objectName, &found);
    }
    return found;
}

QWidget *WidgetCatalog::findVisible(const QString &objectName) const
{
    return allVisible(objectName).value(0);
}

QByteArray WidgetCatalog::grabPng(QWidget *widget, QSize *size) const
{
    const QPixmap pixmap = widget->grab();
    if (pixmap.isNull())
        return QByteArray();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!pixmap.save(&buffer, "PNG"))
        return QByteArray();
    *size = pixmap.size();
    return png;
}
