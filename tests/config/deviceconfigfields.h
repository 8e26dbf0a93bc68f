#pragma once

#include "config/deviceconfig.h"

#include <QStringList>

// Every field of the settings record as "name=value", so that a comparison failure names the
// field that differs.
inline QStringList deviceConfigFields(const DeviceConfig &config)
{
    const auto field = [](const char *name, qint64 value) {
        return QStringLiteral("%1=%2").arg(QLatin1String(name)).arg(value);
    };
    return {field("keyHome", config.keyHome),
            field("keyEscape", config.keyEscape),
            field("keyEnter", config.keyEnter),
            field("keyClose", config.keyClose),
            field("keyZoomIn", config.keyZoomIn),
            field("keyZoomOut", config.keyZoomOut),
            field("keyLeft", config.keyLeft),
            field("keyRight", config.keyRight),
            field("keyDown", config.keyDown),
            field("keyUp", config.keyUp),
            field("keyOpen", config.keyOpen),
            field("softkeyFrameCount", config.softkeyFrameCount),
            field("softkeyFramesOnSide", config.softkeyFramesOnSide),
            field("softkeysPerFrame", config.softkeysPerFrame),
            field("windowHeight", config.windowHeight),
            field("windowWidth", config.windowWidth),
            field("deviceType", config.deviceType),
            field("windowY", config.windowY),
            field("windowX", config.windowX)};
}
