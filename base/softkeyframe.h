#pragma once

class QBoxLayout;
class QWidget;

// The arithmetic of a softkey frame, shared by the main window and the file chooser so that
// both put their softkeys in the same slots.

// Spreads `softkeys` slots of 50 pixels with equal gaps over a frame `length` pixels long.
// Negative when the slots do not fit; a box layout given that falls back to the style's spacing.
int softkeySpacing(int length, int softkeys);

// A blank 50 x 50 slot that pads a frame up to the device's number of softkeys.
void appendPlaceholders(QWidget *holder, QBoxLayout *layout, int count);
