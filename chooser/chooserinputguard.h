#pragma once

#include <QObject>
#include <QPointer>

#include <memory>
#include <utility>
#include <vector>

class QEvent;
class QInputEvent;
class QWidget;
class QWindow;

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
    explicit ChooserInputGuard(QWidget *chooser);
    ~ChooserInputGuard() override;

    // Call once the chooser is shown.
    void handOver();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool hold(QWindow *window, QEvent *event);
    bool keepFromOthers(QWindow *window, QEvent *event);

    QWidget *chooser;
    bool showing = true;
    bool pressHandedOver = false;
    bool pressedBefore;
    std::vector<std::pair<QPointer<QWindow>, std::unique_ptr<QInputEvent>>> held;
};
