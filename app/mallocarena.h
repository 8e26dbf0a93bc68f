#pragma once

// Has every thread allocate from the one malloc arena that the GUI thread uses. glibc gives each
// thread that allocates an arena of its own, and on a 64-bit system each arena reserves 64 MiB of
// address space at once (1 MiB on 32-bit ARM): the file chooser's model reads folders on a thread,
// and so do evdev's touch screen reader and, on X, the event reader and the D-Bus connection.
// Under an address-space limit the page view counts that reservation as used, so each such thread
// would take 64 MiB from what a render may have. A limit the environment sets for glibc is kept.
// Call before any thread starts.
void keepOneMallocArena();
