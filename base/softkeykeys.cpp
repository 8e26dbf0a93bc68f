#include "base/softkeykeys.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace {

class KeysToWindow : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Space && key != Qt::Key_Select)
            return false;
        // Left unhandled, the key goes on to the button's parents and so to the window.
        event->ignore();
        return true;
    }
};

} // namespace

void leaveKeysToWindow(QAbstractButton *softkey)
{
    softkey->installEventFilter(new KeysToWindow(softkey));
}
