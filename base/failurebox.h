#pragma once

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QString>

// A failure the user must see: a modal box with only this text, until it is closed. The text is
// shown as written, since a file name in it may hold "<b>" or "&lt;".
inline void showFailureBox(const QString &text, QWidget *parent = nullptr)
{
    QMessageBox box(parent);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    // The key that made the choice whose failure this is may still be held down when the box
    // comes up, and its repeats would close the box before the user had read it.
    struct : QObject
    {
        bool eventFilter(QObject *, QEvent *event) override
        {
            return (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
                   static_cast<QKeyEvent *>(event)->isAutoRepeat();
        }
    } repeatsDropped;
    QCoreApplication::instance()->installEventFilter(&repeatsDropped);
    box.exec();
}
