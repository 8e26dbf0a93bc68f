#pragma once

// Keeps the main window where the command line places it on Qt's framebuffer platforms. linuxfb
// stretches the first window of a process over the whole screen at its top left, whatever
// position and size it asked for, so a window that should leave part of the panel free covered
// it, with its softkeys and page laid out for the smaller size. A value of the variable in the
// environment is left as it is. Call before the application object exists.
void keepWindowPlacement();
