#pragma once

#include "inputinjector.h"
#include "widgetcatalog.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <utility>

// Turns one request line into one answer object. Every failure becomes an answer with
// "ok": false and an "error" text; nothing here throws or ends the connection.
class CommandDispatcher
{
public:
    QJsonObject handle(const QByteArray &line);

    static QJsonObject failure(const QString &error);

    // True once after a request that posted input events. They may open or close a window, so
    // the requests read behind them must wait until they are delivered.
    bool takeInputPosted() { return std::exchange(m_inputPosted, false); }

private:
    QJsonObject dispatch(const QString &command, const QJsonObject &request);
    QJsonObject ping() const;
    QJsonObject widgets() const;
    QJsonObject key(const QJsonObject &request);
    QJsonObject tap(const QJsonObject &request);
    QJsonObject grab(const QJsonObject &request) const;
    // Notes that input was posted, and answers with the widget it went to.
    QJsonObject answerPostedInput(const QWidget *target);

    WidgetCatalog m_catalog;
    InputInjector m_injector;
    bool m_inputPosted = false;
};
