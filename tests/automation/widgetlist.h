#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QRect>

// Look-ups in the list that the "widgets" command answers.
inline QJsonObject findWidget(const QJsonArray &widgets, const QString &name)
{
    for (const QJsonValue &entry : widgets) {
        if (entry.toObject().value("name").toString() == name)
            return entry.toObject();
    }
    return QJsonObject();
}

inline QRect geometry(const QJsonObject &widget)
{
    return QRect(widget.value("x").toInt(), widget.value("y").toInt(),
                 widget.value("width").toInt(), widget.value("height").toInt());
}
