#include "app/sessionbus.h"

#include <QByteArray>
#include <QtGlobal>

#include <sys/stat.h>

void keepSessionBusFromAutolaunching()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return;
    // Where libdbus looks next: the bus of the user's session, a socket in the runtime directory.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat bus;
    if (!runtime.isEmpty() && stat((runtime + "/bus").constData(), &bus) == 0 &&
        S_ISSOCK(bus.st_mode))
        return;
    // An address that names no bus: connecting fails at once, and the bridge stays quiet.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}
