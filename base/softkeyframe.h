#pragma once

class QBoxLayout;
class QWidget;

// The arithmetic of a softkey frame, shared by the main window and the file chooser so that
// both put their softkeys in the same slots.

// Spreads `softkeys` slots of 50 pixels with equal gaps over a frame `length` pixels long.
// Negative when the slots do not fit; a box layout given that falls back to the style's spacing.
int softkeySpacing(int length, int softkeys);

// Blank 50 x 50 slots that pad a frame of `frameSlots` softkeys, `taken` of them already filled.
void appendPlaceholders(QWidget *holder, QBoxLayout *layout, int frameSlots, int taken = 0);
