#pragma once

class QAbstractButton;

// Softkeys are worked by touch, and the device's keys are their window's to dispatch. A push
// button with the keyboard focus (the window's first softkey has it, a tap gives it to another)
// clicks itself on Space and Select, which a device's key may be configured to send: that key
// would run the softkey's command in place of its own.
void leaveKeysToWindow(QAbstractButton *softkey);
