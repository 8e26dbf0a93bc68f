#include "app/automationhook.h"

#include "base/console.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLibrary>

#include <string>

void loadAutomationPlugin(int port, QObject *parent)
{
    QLibrary library(QStringLiteral("SquishPlugin"), 1, parent);
    // The loader goes away with this function but the plugin must stay in the process: its
    // server lives on for the whole run.
    library.setLoadHints(QLibrary::PreventUnloadHint);
    if (!library.load())
        return;
    consoleLine("Squish Plugin loaded");

    using Initialise = int (*)(int);
    const auto initialise = reinterpret_cast<Initialise>(library.resolve("Initialise"));
    if (!initialise) {
        consoleLine("Squish FAILED to Initialize Plugin");
        return;
    }
    consoleLine("Squish Plugin Initialized");

    if (initialise(port) != 0) {
        consoleLine("Squish opened Port: " + std::to_string(port));
        QGuiApplication::setOverrideCursor(QCursor(Qt::PointingHandCursor));
    } else {
        consoleLine("Squish FAILED to open Port: " + std::to_string(port));
    }
}
