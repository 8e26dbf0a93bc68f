#include "app/windowplacement.h"

#include <QByteArray>
#include <QtGlobal>

void keepWindowPlacement()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_FB_FORCE_FULLSCREEN"))
        qputenv("QT_QPA_FB_FORCE_FULLSCREEN", "0");
}
