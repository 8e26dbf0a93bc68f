#include "mainwindow/pdfviewer.h"

#include "base/console.h"
#include "config/deviceconfig.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWindow>

#include <string>

namespace {

// Without a window manager (linuxfb, eglfs) the screen hands the activation to the window beneath
// a closed box or dialog through an event queued behind the input already read. Keys that came in
// one batch with the key that closed it would reach the hidden window and be lost, the close key
// among them: they belong to the main window, as they do when typed a moment later. They are
// queued for it, not sent: the box is still closing, and an open key among them ran the chooser
// before the box's end was reported.
class HiddenWindowKeys : public QObject
{
public:
    explicit HiddenWindowKeys(QWidget *mainWindow) : QObject(mainWindow), mainWindow(mainWindow) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return false;
        const auto *window = qobject_cast<QWindow *>(watched);
        QWindow *target = mainWindow->windowHandle();
        if (!window || window->isVisible() || !target || target == window || !target->isVisible())
            return false;
        QCoreApplication::postEvent(target, new QKeyEvent(*static_cast<QKeyEvent *>(event)));
        return true;
    }

private:
    QWidget *mainWindow;
};

} // namespace

void PDFViewer::takeKeysOfHiddenWindows()
{
    QCoreApplication::instance()->installEventFilter(new HiddenWindowKeys(this));
}

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

// Tab, which a device's key may send, passes the focus on before the key's command runs on its
// release (and so do the cursor keys on a softkey). In the window it went from softkey to softkey,
// where a zoom leaves the focus alone; from a chooser laid over the window on a frameless device
// it went on to the window's widgets beneath, which then took the chooser's keys: its close key
// quit the program. The focus moves on only from a widget that is gone, such as a scroll bar
// hidden or a chooser closed.
bool PDFViewer::focusNextPrevChild(bool next)
{
    QWidget *focus = focusWidget();
    if (focus && focus->isVisible())
        return false;
    return QMainWindow::focusNextPrevChild(next);
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
