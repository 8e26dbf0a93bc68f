#include "commanddispatcher.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

QJsonObject success()
{
    return QJsonObject{{QStringLiteral("ok"), true}};
}

// Reads an integral number field. Fractions, strings and values outside [min, max] are
// rejected with a message naming the field.
bool intField(const QJsonObject &request, const QString &name, qint64 min, qint64 max,
              qint64 *value, QString *error)
{
    const QJsonValue field = request.value(name);
    if (field.isUndefined()) {
        *error = QStringLiteral("missing field: %1").arg(name);
        return false;
    }
    const double number = field.toDouble(std::nan(""));
    if (!field.isDouble() || std::isnan(number) || number != std::floor(number) ||
        number < double(min) || number > double(max)) {
        *error =
            QStringLiteral("field %1 must be an integer from %2 to %3").arg(name).arg(min).arg(max);
        return false;
    }
    *value = qint64(number);
    return true;
}

bool stringField(const QJsonObject &request, const QString &name, QString *value, QString *error)
{
    const QJsonValue field = request.value(name);
    if (field.isUndefined()) {
        *error = QStringLiteral("missing field: %1").arg(name);
        return false;
    }
    if (!field.isString()) {
        *error = QStringLiteral("field %1 must be a string").arg(name);
        return false;
    }
    *value = field.toString();
    return true;
}

// Reads the optional "action" field of a key request; a click where it is absent.
bool keyActionField(const QJsonObject &request, InputInjector::KeyAction *action, QString *error)
{
    const QJsonValue field = request.value(QStringLiteral("action"));
    if (field.isUndefined())
        return true;
    const QString name = field.toString();
    if (name == QLatin1String("press")) {
        *action = InputInjector::KeyAction::Press;
    } else if (name == QLatin1String("release")) {
        *action = InputInjector::KeyAction::Release;
    } else if (name == QLatin1String("click")) {
        *action = InputInjector::KeyAction::Click;
    } else {
        *error = QStringLiteral("field action must be press, release or click");
        return false;
    }
    return true;
}

void describeTarget(QJsonObject *reply, const QWidget *target)
{
    reply->insert(QStringLiteral("target"), QString::fromLatin1(target->metaObject()->className()));
    reply->insert(QStringLiteral("targetName"), target->objectName());
}

} // namespace

QJsonObject CommandDispatcher::failure(const QString &error)
{
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}};
}

QJsonObject CommandDispatcher::handle(const QByteArray &line)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return failure(QStringLiteral("malformed JSON at offset %1: %2")
                           .arg(parseError.offset)
                           .arg(parseError.errorString()));
    if (!document.isObject())
        return failure(QStringLiteral("a request must be a JSON object"));

    const QJsonObject request = document.object();
    QJsonObject reply;
    QString command;
    QString error;
    if (stringField(request, QStringLiteral("cmd"), &command, &error))
        reply = dispatch(command, request);
    else
        reply = failure(error);

    // An optional request id comes back unchanged so a client can pair pipelined answers.
    const QJsonValue id = request.value(QStringLiteral("id"));
    if (!id.isUndefined())
        reply.insert(QStringLiteral("id"), id);
    return reply;
}

QJsonObject CommandDispatcher::dispatch(const QString &command, const QJsonObject &request)
{
    if (command == QLatin1String("ping"))
        return ping();
    if (command == QLatin1String("widgets"))
        return widgets();
    if (command == QLatin1String("key"))
        return key(request);
    if (command == QLatin1String("tap"))
        return tap(request);
    if (command == QLatin1String("grab"))
        return grab(request);
    return failure(QStringLiteral("unknown command: %1").arg(command));
}

QJsonObject CommandDispatcher::ping() const
{
    QJsonObject reply = success();
    reply.insert(QStringLiteral("pid"), QCoreApplication::applicationPid());
    reply.insert(QStringLiteral("application"), QCoreApplication::applicationName());
    return reply;
}

QJsonObject CommandDispatcher::widgets() const
{
    QJsonObject reply = success();
    reply.insert(QStringLiteral("widgets"), m_catalog.describeWidgets());
    return reply;
}

QJsonObject CommandDispatcher::key(const QJsonObject &request)
{
    QString error;
    qint64 code = 0;
    if (!intField(request, QStringLiteral("key"), 0, 0x01ffffff, &code, &error))
        return failure(error);

    InputInjector::KeyAction action = InputInjector::KeyAction::Click;
    if (!keyActionField(request, &action, &error))
        return failure(error);

    qint64 modifiers = 0;
    if (request.contains(QStringLiteral("modifiers")) &&
        !intField(request, QStringLiteral("modifiers"), 0, Qt::KeyboardModifierMask, &modifiers,
                  &error))
        return failure(error);

    std::optional<QString> text;
    if (request.contains(QStringLiteral("text"))) {
        QString given;
        if (!stringField(request, QStringLiteral("text"), &given, &error))
            return failure(error);
        text = given;
    }

    const QWidget *target =
        m_injector.key(int(code), action, Qt::KeyboardModifiers(int(modifiers)), text, &error);
    if (!target)
        return failure(error);
    return answerPostedInput(target);
}

QJsonObject CommandDispatcher::tap(const QJsonObject &request)
{
    QString error;
    const QWidget *target = nullptr;
    QPoint point;
    if (request.contains(QStringLiteral("name"))) {
        QString name;
        if (!stringField(request, QStringLiteral("name"), &name, &error))
            return failure(error);
        const QList<QWidget *> named = m_catalog.allVisible(name);
        if (named.isEmpty())
            return failure(QStringLiteral("no visible widget named %1").arg(name));
        // A touch lands on what lies on top: a widget covered at its centre, such as the
        // window's softkey under a chooser laid over the window, gives way to the next one of
        // that name, and only when every one is covered is the tap refused.
        const auto uncovered = std::find_if(named.begin(), named.end(), [](QWidget *widget) {
            return !InputInjector::coverAtCentre(widget);
        });
        target = m_injector.tapWidget(uncovered != named.end() ? *uncovered : named.first(), &point,
                                      &error);
    } else {
        qint64 x = 0;
        qint64 y = 0;
        constexpr qint64 limit = 1 << 24;
        if (!intField(request, QStringLiteral("x"), -limit, limit, &x, &error) ||
            !intField(request, QStringLiteral("y"), -limit, limit, &y, &error))
            return failure(error + QStringLiteral(" (or give name)"));
        point = QPoint(int(x), int(y));
        target = m_injector.tapAt(point, &error);
    }
    if (!target)
        return failure(error);
    QJsonObject reply = answerPostedInput(target);
    reply.insert(QStringLiteral("x"), point.x());
    reply.insert(QStringLiteral("y"), point.y());
    return reply;
}

QJsonObject CommandDispatcher::answerPostedInput(const QWidget *target)
{
    m_inputPosted = true;
    QJsonObject reply = success();
    describeTarget(&reply, target);
    return reply;
}

QJsonObject CommandDispatcher::grab(const QJsonObject &request) const
{
    QString error;
    QWidget *widget = nullptr;
    if (request.contains(QStringLiteral("name"))) {
        QString name;
        if (!stringField(request, QStringLiteral("name"), &name, &error))
            return failure(error);
        widget = m_catalog.findVisible(name);
        if (!widget)
            return failure(QStringLiteral("no visible widget named %1").arg(name));
    } else {
        widget = m_catalog.frontWindow();
        if (!widget)
            return failure(QStringLiteral("no visible window"));
    }

    QSize size;
    const QByteArray png = m_catalog.grabPng(widget, &size);
    if (png.isEmpty())
        return failure(QStringLiteral("could not grab %1").arg(widget->objectName()));
    QJsonObject reply = success();
    describeTarget(&reply, widget);
    reply.insert(QStringLiteral("width"), size.width());
    reply.insert(QStringLiteral("height"), size.height());
    reply.insert(QStringLiteral("png"), QString::fromLatin1(png.toBase64()));
    return reply;
}
