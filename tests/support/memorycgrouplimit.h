#pragma once

#include "cgroup.h"

#include <QtGlobal>

#include <memory>

class ViewerProcess;

// A memory cgroup with a hard limit and no swap for one test's child process, removed after it.
class MemoryCgroupLimit : public Cgroup
{
public:
    explicit MemoryCgroupLimit(qint64 limitBytes);

    // A group of `mebibytes` that `viewer` starts in, where it is valid; none for 0.
    static std::unique_ptr<MemoryCgroupLimit> forViewer(ViewerProcess &viewer, int mebibytes);

    // Lowers the limit to what the group uses now and `bytes` more.
    bool leaveRoom(qint64 bytes);

    // Whether the kernel ended a process of the group for want of memory.
    bool killedForMemory() const;

private:
    bool setLimit(qint64 bytes);
};
