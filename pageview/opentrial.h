#pragma once

#include <QString>
#include <QtGlobal>

struct MemoryHeadroom;

// Opens a document first in a child process, where memory is short. What Poppler needs to open a
// file is not bounded by the file: a table of 3,000,000 objects that a file of 500 bytes claims
// takes 120 MB. Where that is more than there is, a memory cgroup's limit ends the viewer, and
// under an address-space limit Poppler frees the table it failed to grow and goes on using it.
// A child of the viewer's own has all its memory without copying it, and its failure costs the
// viewer nothing.
class OpenTrial
{
public:
    // Above this headroom no open is tried first: the trial costs a second open of every file.
    static constexpr qint64 triedBelow = 1024ll * 1024 * 1024;
    // A trial that takes longer is given up, and the file is opened as it would be without one.
    static constexpr int timeoutMs = 20000;

    // Starts the trial of the file the viewer opens first, so that it runs while the window is
    // made and the loading notice waits for its timer, while the viewer is small and the fork
    // costs it little; refusal() of the same file, unchanged, takes its result up.
    static void startEarly(const QString &path);

    // Why `path` may not be opened within `headroom`, to follow "not opened " on standard error;
    // empty where it may, where the headroom is too large to try, where malloc is not the
    // program's own, or where the trial could not tell (a file Poppler cannot read is left to
    // fail at its real open).
    static QString refusal(const QString &path, const MemoryHeadroom &headroom);
};
