#include "mainwindow/pdfviewer.h"

#include "ui_pdfviewer.h"

#include "chooser/customfileopendialog.h"
#include "config/deviceconfig.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmapCache>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <memory>
#include <utility>
#include <vector>

namespace {

// Every chooser draws its arrows with a palette of its own and renders its icons anew, so Qt
// caches their pixmaps under new keys each time, some 50 KB an open. The default cache of 10 MB
// would keep that much of them after a few hundred opens; this holds what both windows show.
constexpr int pixmapCacheKb = 1024;

// Keeps input meant for the chooser from reaching the main window, in two phases.
// While it is shown: without a window manager (linuxfb, eglfs) Qt hands out the input read so far
// while it shows a window of its own, before that window is on the screen, and keys and taps that
// came in one batch with the open command went to the main window beneath (a tap on open among
// them opened a second chooser). They are held and then given to the chooser, as a chooser laid
// over the main window picks them up with the pending events.
// While it runs: a chooser with a window of its own (device 0) is shown before exec(), which
// cannot make a window that is already shown modal, and taps and keys beside it reached the main
// window, whose softkeys zoomed, quit or opened a second chooser. Keys for any other window go to
// the chooser, as those held do, and pointer input for them is dropped.
class ChooserInputGuard : public QObject
{
public:
    explicit ChooserInputGuard(QWidget *chooser) : chooser(chooser)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

    ~ChooserInputGuard() override { QCoreApplication::instance()->removeEventFilter(this); }

    // Call once the chooser is shown.
    void handOver()
    {
        showing = false;
        QWindow *target = chooser->window()->windowHandle();
        if (!target)
            return;
        for (const auto &[window, event] : held) {
            // Input after a choice or a cancel among them belongs to the window it was read for,
            // as it would had it come later: a tap on the main window's softkeys got lost.
            QWindow *to = chooser->isVisible() ? target : window.data();
            if (!to)
                continue;
            if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
                QCoreApplication::sendEvent(to, event.get());
                continue;
            }
            const auto *mouse = static_cast<QMouseEvent *>(event.get());
            sendMouse(to, mouse);
            pressHandedOver = to == target && mouse->buttons() != Qt::NoButton;
        }
        held.clear();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<QWindow *>(watched);
        if (!window)
            return false;
        return showing ? hold(window, event) : keepFromOthers(window, event);
    }

private:
    static void sendMouse(QWindow *target, const QMouseEvent *mouse)
    {
        const QPointF local = target->mapFromGlobal(mouse->screenPos().toPoint());
        QMouseEvent moved(mouse->type(), local, local, mouse->screenPos(), mouse->button(),
                          mouse->buttons(), mouse->modifiers(), mouse->source());
        QCoreApplication::sendEvent(target, &moved);
    }

    bool hold(QWindow *window, QEvent *event)
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            held.emplace_back(window, new QKeyEvent(*static_cast<QKeyEvent *>(event)));
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
            held.emplace_back(window, new QMouseEvent(*static_cast<QMouseEvent *>(event)));
            return true;
        case QEvent::MouseButtonDblClick:
            // Follows a press held above, which the chooser gets as a press of its own, as its
            // widgets take a double click. Let through, it would press the widget beneath, which
            // never sees the release: a scroll bar's arrow would scroll on by itself.
            return true;
        default:
            return false;
        }
    }

    bool keepFromOthers(QWindow *window, QEvent *event)
    {
        QWindow *own = chooser->window()->windowHandle();
        // A box over the chooser, such as the failure of a load started beneath it, is modal
        // above it and takes its own input.
        if (!own || window == own || !chooser->isVisible() ||
            window == QGuiApplication::modalWindow())
            return false;
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            QCoreApplication::sendEvent(own, event);
            return true;
        // A finger lifted now releases what it pressed, or a scroll bar's arrow scrolls on by
        // itself: put down while the chooser was shown, its press went to the chooser, which gets
        // the release Qt makes from the touch; put down before, on the main window, it is let
        // through there.
        case QEvent::MouseButtonRelease:
            if (std::exchange(pressHandedOver, false))
                sendMouse(own, static_cast<QMouseEvent *>(event));
            return !std::exchange(pressedBefore, false);
        case QEvent::TouchEnd:
            return !pressHandedOver && !pressedBefore;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
            return true;
        default:
            return false;
        }
    }

    QWidget *chooser;
    bool showing = true;
    bool pressHandedOver = false;
    bool pressedBefore = QGuiApplication::mouseButtons() != Qt::NoButton;
    std::vector<std::pair<QPointer<QWindow>, std::unique_ptr<QInputEvent>>> held;
};

} // namespace

QString PDFViewer::chooseFile()
{
    QPixmapCache::setCacheLimit(pixmapCacheKb);
    startReadingFileSystem();
    std::string result;
    CustomFileOpenDialog dialog(this, &result);
    dialog.setWindowTitle(QStringLiteral("Open PDF document"));
    const std::string currentPath = QFile::encodeName(ui->pdfWidget->filePath).toStdString();
    // Without a window type the dialog becomes a frameless child laid over the main window.
    if (deviceConfig.deviceType != 0)
        dialog.setWindowFlags(Qt::FramelessWindowHint);
    dialog.setGeometry(0, 0, width(), height());
    // Hiding the finished chooser moves the keyboard focus on only in the active window. Under a
    // window system without a window manager the viewer's window never is, and keys queued behind
    // a choice would go to the finished chooser's tree: move the focus on as Qt does otherwise.
    connect(&dialog, &QDialog::finished, this, [this, &dialog] {
        if (dialog.isAncestorOf(focusWidget()))
            focusNextPrevChild(true);
    });
    dialog.setupDialog(currentPath, fileSystemModel);

    ChooserInputGuard guard(&dialog);
    dialog.show();
    guard.handOver();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // The model reads folders in the background; by then it knows the current document's row.
    QTimer::singleShot(500, &dialog, &CustomFileOpenDialog::scrollToPath);

    // Keys pressed while the chooser was being built arrive in those events and may already
    // have chosen or cancelled; exec would show the finished dialog again and wait for ever.
    const int accepted = dialog.isVisible() ? dialog.exec() : dialog.result();
    if (accepted == QDialog::Rejected)
        return QString("");

    showLoadingNotice();
    // On the framebuffer platforms (linuxfb, eglfs, vnc) the painted window reaches the screen
    // through an event that the paint posts, which one pass over pending events leaves for the
    // next: with one pass the finished chooser stayed on the panel, frozen, through the load.
    for (int pass = 0; pass < 2; ++pass)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    documentLoaded = true;
    return QFile::decodeName(result.c_str());
}
