#include "automationserver.h"

#include <QApplication>
#include <QPointer>
#include <QThread>

namespace {

QPointer<AutomationServer> server;

// Loopback only, unless the device's integrator widens it on purpose.
bool listenAddress(QHostAddress *address)
{
    const QByteArray configured = qgetenv("PAGE_SCOPE_AUTOMATION_ADDRESS").trimmed();
    if (configured.isEmpty()) {
        *address = QHostAddress(QHostAddress::LocalHost);
        return true;
    }
    return address->setAddress(QString::fromLatin1(configured));
}

} // namespace

// The plugin's only entry point: opens the automation port on the GUI thread and returns
// nonzero when it is listening. Never blocks. A second call for the open port changes nothing;
// one for another port moves the server there only if that port opens.
extern "C" Q_DECL_EXPORT int Initialise(int port)
{
    auto *application = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!application || QThread::currentThread() != application->thread())
        return 0;
    if (port < 0 || port > 65535)
        return 0;
    QHostAddress address;
    if (!listenAddress(&address))
        return 0;

    if (!server)
        server = new AutomationServer(application);
    else if (server->isListening() && server->serverPort() == port && port != 0 &&
             server->serverAddress() == address)
        return 1;
    return server->listen(address, quint16(port)) ? 1 : 0;
}
