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
    explicit AutomationServer(QObject *parent = nullptr);
    ~AutomationServer() override;

    bool listen(const QHostAddress &address, quint16 port);
    bool isListening() const;
    quint16 serverPort() const;
    QHostAddress serverAddress() const;

    // Connections that are being served (refused ones still saying goodbye are not counted).
    int clientCount() const;

private slots:
    void acceptConnections();
    void removeClient(AutomationClient *client);

private:
    QTcpServer *m_server;
    CommandDispatcher m_dispatcher;
    QList<AutomationClient *> m_clients;
};
