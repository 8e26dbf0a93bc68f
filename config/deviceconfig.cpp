#include "config/deviceconfig.h"

#include <Qt>

// Constant-initialised, so the record holds its defaults before any code of the process runs.
static constexpr DeviceConfig standardDevice = {
    Qt::Key_Home,   // keyHome
    Qt::Key_Escape, // keyEscape
    Qt::Key_Return, // keyEnter
    Qt::Key_F8,     // keyClose
    Qt::Key_F7,     // keyZoomIn
    Qt::Key_F6,     // keyZoomOut
    Qt::Key_F5,     // keyLeft
    Qt::Key_F4,     // keyRight
    Qt::Key_F3,     // keyDown
    Qt::Key_F2,     // keyUp
    Qt::Key_F1,     // keyOpen
    2,              // softkeyFrameCount
    true,           // softkeyFramesOnSide
    4,              // softkeysPerFrame
    272,            // windowHeight
    480,            // windowWidth
    1,              // deviceType
    0,              // windowY
    0,              // windowX
};

DeviceConfig deviceConfig = standardDevice;

DeviceConfig DeviceConfig::defaults()
{
    return standardDevice;
}
