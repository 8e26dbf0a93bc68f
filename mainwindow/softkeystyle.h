#pragma once

#include <QFont>
#include <QPalette>

class QBoxLayout;

// The look of the arrow softkeys, shared by the main window and the file chooser so that both
// show the same dark-blue arrows.
QPalette arrowPalette();
QFont arrowFont();

// Spreads `softkeys` slots of 50 pixels with equal gaps over a frame `length` pixels long.
// Negative when the slots do not fit, which makes them overlap.
int softkeySpacing(int length, int softkeys);

// A blank 50 x 50 slot that pads a frame up to the device's number of softkeys.
void appendPlaceholders(QWidget *holder, QBoxLayout *layout, int count);
