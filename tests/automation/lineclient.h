#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QTcpSocket>

#include <functional>

// The tests' side of the automation protocol. On the GUI thread it waits by running the
// event loop, because the server under test may live on that same thread; on any other
// thread it uses the socket's blocking calls.
class LineClient
{
public:
    static constexpr int defaultTimeoutMs = 10000;

    bool connectTo(quint16 port, int timeoutMs = defaultTimeoutMs);
    void send(const QByteArray &bytes);
    // One whole line without its newline; empty when none arrives in time.
    QByteArray readLine(int timeoutMs = defaultTimeoutMs);
    // Sends the request as one line and returns the parsed answer (empty when none arrived).
    QJsonObject request(const QJsonObject &request, int timeoutMs = defaultTimeoutMs);
    QJsonObject requestRaw(const QByteArray &line, int timeoutMs = defaultTimeoutMs);
    // True when the server closes the connection in time.
    bool waitForClosed(int timeoutMs = defaultTimeoutMs);
    void close();

    QTcpSocket &socket() { return m_socket; }

private:
    bool waitUntil(const std::function<bool()> &condition, int timeoutMs);

    QTcpSocket m_socket;
};
