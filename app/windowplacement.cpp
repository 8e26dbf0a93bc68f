#include "app/windowplacement.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QVariant>
#include <QtGlobal>

void keepWindowPlacement()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_FB_FORCE_FULLSCREEN"))
        qputenv("QT_QPA_FB_FORCE_FULLSCREEN", "0");
}

std::unique_ptr<QWindow> holdScreenOnEglfs()
{
    if (QGuiApplication::platformName() != QLatin1String("eglfs"))
        return nullptr;
    auto screen = std::make_unique<QWindow>();
    // eglfs activates a window when it creates it; the main window is the one to get the keys.
    screen->setProperty("_q_showWithoutActivating", true);
    screen->create();
    return screen;
}
