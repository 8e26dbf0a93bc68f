#pragma once

#include <QFont>
#include <QPalette>

// The look of the arrow softkeys, shared by the main window and the file chooser so that both
// show the same dark-blue arrows.
QPalette arrowPalette();
QFont arrowFont();
