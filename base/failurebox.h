#pragma once

#include <QMessageBox>
#include <QString>

// A failure the user must see: a modal box with only this text, until it is closed. The text is
// shown as written, since a file name in it may hold "<b>" or "&lt;".
inline void showFailureBox(const QString &text, QWidget *parent = nullptr)
{
    QMessageBox box(parent);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.exec();
}
