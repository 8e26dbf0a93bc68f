#include "automationserver.h"

#include "automationclient.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace {

// Connections served at once; a further one gets an error line and is closed.
constexpr int maxClients = 8;

// Refused connections still get their error line; beyond this many at once a flood is cut
// off without one, so refusing can never cost more than a bounded amount of memory.
constexpr int maxRefusedAtOnce = 32;

} // namespace

AutomationServer::AutomationServer(QObject *parent)
    : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &AutomationServer::acceptConnections);
}

AutomationServer::~AutomationServer()
{
    // Clients are children and go with us; only their signals must not reach a dying server.
    for (AutomationClient *client : qAsConst(m_clients))
        client->disconnect(this);
}

bool AutomationServer::listen(const QHostAddress &address, quint16 port)
{
    if (!m_server->isListening())
        return m_server->listen(address, port);
    // Already serving: move only when the new port could be opened, so a failed attempt
    // leaves the working port and its connections alone.
    auto *replacement = new QTcpServer(this);
    if (!replacement->listen(address, port)) {
        delete replacement;
        return false;
    }
    delete m_server;
    m_server = replacement;
    connect(m_server, &QTcpServer::newConnection, this, &AutomationServer::acceptConnections);
    return true;
}

bool AutomationServer::isListening() const
{
    return m_server->isListening();
}

quint16 AutomationServer::serverPort() const
{
    return m_server->serverPort();
}

QHostAddress AutomationServer::serverAddress() const
{
    return m_server->serverAddress();
}

int AutomationServer::clientCount() const
{
    int serving = 0;
    for (const AutomationClient *client : m_clients) {
        if (client->state() == AutomationClient::State::Serving)
            ++serving;
    }
    return serving;
}

void AutomationServer::acceptConnections()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        const int serving = clientCount();
        const int refusing = m_clients.size() - serving;
        if (serving >= maxClients && refusing >= maxRefusedAtOnce) {
            socket->abort();
            socket->deleteLater();
            continue;
        }

        auto *client = new AutomationClient(socket, &m_dispatcher, this);
        connect(client, &AutomationClient::finished, this, &AutomationServer::removeClient);
        m_clients.append(client);

        if (serving >= maxClients)
            client->refuse(
                QStringLiteral("too many clients: at most %1 connections").arg(maxClients));
        else
            client->start();
    }
}

void AutomationServer::removeClient(AutomationClient *client)
{
    if (!m_clients.removeOne(client))
        return;
    client->disconnect(this);
    client->deleteLater();
}
