#pragma once

#include <QString>

class QWidget;

// A failure the user must see: a modal box with only this text, until it is closed. The text is
// shown as written, since a file name in it may hold "<b>" or "&lt;".
void showFailureBox(const QString &text, QWidget *parent = nullptr);
