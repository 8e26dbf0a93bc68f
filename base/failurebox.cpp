#include "base/failurebox.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMessageBox>

namespace {

// The key that made the choice whose failure this is may still be held down when the box comes
// up, and its repeats would close the box before the user had read it.
class KeyRepeatsDropped : public QObject
{
public:
    KeyRepeatsDropped() { QCoreApplication::instance()->installEventFilter(this); }
    ~KeyRepeatsDropped() override { QCoreApplication::instance()->removeEventFilter(this); }

    bool eventFilter(QObject *, QEvent *event) override
    {
        return (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
               static_cast<QKeyEvent *>(event)->isAutoRepeat();
    }
};

} // namespace

void showFailureBox(const QString &text, QWidget *parent)
{
    QMessageBox box(parent);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    const KeyRepeatsDropped repeatsDropped;
    box.exec();
}
