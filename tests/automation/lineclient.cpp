#include "lineclient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTest>
#include <QThread>

namespace {

bool onGuiThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

} // namespace

bool LineClient::waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    if (onGuiThread())
        return QTest::qWaitFor(condition, timeoutMs);
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0)
            return false;
        if (m_socket.state() == QAbstractSocket::ConnectingState)
            m_socket.waitForConnected(int(left));
        else if (m_socket.state() == QAbstractSocket::ConnectedState)
            m_socket.waitForReadyRead(int(qMin<qint64>(left, 100)));
        else
            return condition();
    }
    return true;
}

bool LineClient::connectTo(quint16 port, int timeoutMs)
{
    m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    return waitUntil([this] { return m_socket.state() == QAbstractSocket::ConnectedState; },
                     timeoutMs);
}

void LineClient::send(const QByteArray &bytes)
{
    m_socket.write(bytes);
    if (onGuiThread())
        m_socket.flush();
    else
        m_socket.waitForBytesWritten(defaultTimeoutMs);
}

QByteArray LineClient::readLine(int timeoutMs)
{
    if (!waitUntil([this] { return m_socket.canReadLine(); }, timeoutMs))
        return QByteArray();
    return m_socket.readLine().chopped(1);
}

QJsonObject LineClient::requestRaw(const QByteArray &line, int timeoutMs)
{
    send(line + '\n');
    return QJsonDocument::fromJson(readLine(timeoutMs)).object();
}

QJsonObject LineClient::request(const QJsonObject &request, int timeoutMs)
{
    return requestRaw(QJsonDocument(request).toJson(QJsonDocument::Compact), timeoutMs);
}

bool LineClient::waitForClosed(int timeoutMs)
{
    return waitUntil(
        [this] {
            // Reading keeps the socket noticing the peer's end of stream.
            m_socket.readAll();
            return m_socket.state() == QAbstractSocket::UnconnectedState;
        },
        timeoutMs);
}

void LineClient::close()
{
    m_socket.abort();
}
