#pragma once

#include "commanddispatcher.h"

#include <QHostAddress>
#include <QList>
#include <QObject>

class AutomationClient;
class QTcpServer;

// Owns the listening socket and the connections of the automation protocol. Lives on the
// GUI thread, so every request is handled between two events of the viewer, and nested
// event loops (modal dialogs) keep the connections served.
class AutomationServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int defaultMaxClients = 8;
    static constexpr qint64 defaultMaxLineLength = 1024 * 1024;
    static constexpr qint64 defaultMaxPendingWrite = 8 * 1024 * 1024;
    static constexpr int defaultLingerMs = 2000;

    explicit AutomationServer(QObject *parent = nullptr);
    ~AutomationServer() override;

    bool listen(const QHostAddress &address, quint16 port);
    bool isListening() const;
    quint16 serverPort() const;
    QHostAddress serverAddress() const;
    void close();

    // Limits; they apply to connections accepted afterwards.
    void setMaxClients(int count) { m_maxClients = count; }
    void setMaxLineLength(qint64 bytes) { m_maxLineLength = bytes; }
    void setMaxPendingWrite(qint64 bytes) { m_maxPendingWrite = bytes; }
    void setLingerMs(int ms) { m_lingerMs = ms; }

    // Connections that are being served (refused ones still saying goodbye are not counted).
    int clientCount() const;
    int connectionCount() const { return m_clients.size(); }

signals:
    void clientCountChanged(int count);

private slots:
    void acceptConnections();
    void removeClient(AutomationClient *client);

private:
    QTcpServer *m_server;
    CommandDispatcher m_dispatcher;
    QList<AutomationClient *> m_clients;
    int m_maxClients = defaultMaxClients;
    qint64 m_maxLineLength = defaultMaxLineLength;
    qint64 m_maxPendingWrite = defaultMaxPendingWrite;
    int m_lingerMs = defaultLingerMs;
};
