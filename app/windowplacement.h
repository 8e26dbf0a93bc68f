#pragma once

#include <QWindow>

#include <memory>

// Keeps the main window where the command line places it on Qt's framebuffer platforms. linuxfb
// stretches the first window of a process over the whole screen at its top left, whatever
// position and size it asked for, so a window that should leave part of the panel free covered
// it, with its softkeys and page laid out for the smaller size. A value of the variable in the
// environment is left as it is. Call before the application object exists.
void keepWindowPlacement();

// eglfs does the same to the first window a process creates, with no setting to stop it, and
// composes every later window onto that one at its own place. So on eglfs this creates a window
// over the whole screen that is never shown, and the main window, created after it, keeps its
// place and size; the rest of the panel stays black. Null on other platforms. Call once the
// application object exists and before the main window is shown; keep the window until the main
// window is gone, since the others are drawn on its surface.
std::unique_ptr<QWindow> holdScreenOnEglfs();
