#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

struct MemoryHeadroom;

// Decides whether the chooser's model may list a folder. Qt's file-system model keeps every entry
// it has listed for the rest of the session: a folder of 20,000 files took 20 MiB, and in a memory
// cgroup without that room the kernel ended the viewer while the chooser listed it.
class ListingBudget
{
public:
    // Counted for every entry: measured at 0.85 KiB on x86-64 and 0.75 KiB on 32-bit ARM,
    // whatever the entry, for the model's node, the gatherer's file information and the tree's row.
    static constexpr qint64 bytesPerEntry = 1024;

    // Why `folder` may not be listed within `headroom`, as the end of a line for standard error;
    // empty where it may, or where it cannot be read (the model then finds it empty itself). A
    // listing may take half the headroom: the rest is for the document chosen from it, and covers
    // names longer than the measured ones.
    static QString refusal(const QByteArray &folder, const MemoryHeadroom &headroom);
};
