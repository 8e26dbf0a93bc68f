#pragma once

// Keeps libdbus from autolaunching a session bus for this process. On an X display, Qt's
// accessibility bridge connects to the session bus as soon as the first widget gets its text.
// Where the environment names no bus and the user's runtime directory holds none, libdbus then
// forks and searches the PATH for dbus-launch while the GUI thread waits, 4 to 8 ms of the
// widget tree's construction in our start-up traces, for a bus the viewer has no use for. Call
// before the application object exists.
void keepSessionBusFromAutolaunching();
