#include "mainwindow/pdfviewer.h"

#include "base/console.h"
#include "config/deviceconfig.h"

#include <QKeyEvent>

#include <string>

void PDFViewer::keyReleaseEvent(QKeyEvent *event)
{
    // Hardware keys act on release. The order decides between codes that a profile maps to two
    // commands: the earlier row wins.
    const int key = event->key();
    const DeviceConfig &keys = deviceConfig;
    if (key == keys.keyRight)
        on_rightButton_clicked();
    else if (key == keys.keyDown)
        on_downButton_clicked();
    else if (key == keys.keyUp)
        on_upButton_clicked();
    else if (key == keys.keyOpen)
        on_openButton_clicked();
    else if (key == keys.keyClose)
        on_closeButton_clicked();
    else if (key == keys.keyHome)
        on_closeButton_clicked();
    else if (key == keys.keyLeft)
        on_leftButton_clicked();
    else if (key == keys.keyZoomIn)
        on_zommInButton_clicked();
    else if (key == keys.keyZoomOut)
        on_zoomOutButton_clicked();
    else if (key == keys.keyEnter)
        on_rightButton_clicked();
    else
        printUnmappedKeyReport(event);
}

void PDFViewer::printUnmappedKeyReport(const QKeyEvent *event)
{
    // Lists the configured codes next to the scan code, so that a device's keys can be found
    // and written into its profile.
    const DeviceConfig &keys = deviceConfig;
    consoleLine("UNKNOWN KEY CODE RECEIVED: " + std::to_string(event->nativeScanCode()));
    consoleLine("Known Keycodes are:");
    consoleLine("OPEN: " + std::to_string(keys.keyOpen));
    consoleLine("CLOSE: " + std::to_string(keys.keyClose));
    consoleLine("LEFT: " + std::to_string(keys.keyLeft));
    consoleLine("RIGHT: " + std::to_string(keys.keyRight));
    consoleLine("UP: " + std::to_string(keys.keyUp));
    consoleLine("DOWN: " + std::to_string(keys.keyDown));
    consoleLine("ZOOM_IN: " + std::to_string(keys.keyZoomIn));
    consoleLine("ZOOM_OUT: " + std::to_string(keys.keyZoomOut));
    consoleLine("ENTER: " + std::to_string(keys.keyEnter));
    consoleLine("ESCAPE: " + std::to_string(keys.keyEscape));
    consoleLine("HOME: " + std::to_string(keys.keyHome));
}
