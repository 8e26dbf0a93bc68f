#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Modal boxes run their own event loop; this closes the next one from inside that loop and
// remembers what it showed. `examine` runs while the box is still open.
class ModalCloser
{
public:
    explicit ModalCloser(std::function<void(QWidget *)> examine = {})
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this, examine] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            ++closedCount;
            if (examine)
                examine(modal);
            modal->close();
        });
        timer.start();
    }

    int closed() const { return closedCount; }

private:
    QTimer timer;
    int closedCount = 0;
};
