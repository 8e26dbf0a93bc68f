#pragma once

#include <QEvent>
#include <QWidget>

// Counts the paint events of one widget: a command's repaint is synchronous, so it shows up
// before the test returns to the event loop.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};
