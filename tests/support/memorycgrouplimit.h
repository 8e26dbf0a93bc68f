#pragma once

#include "cgroup.h"

#include <QtGlobal>

// A memory cgroup with a hard limit and no swap for one test's child process, removed after it.
class MemoryCgroupLimit : public Cgroup
{
public:
    explicit MemoryCgroupLimit(qint64 limitBytes);

    // Shell commands that move the shell into the group, to run before it execs the child.
    QString shellPrefix() const;
    // Whether the kernel ended a process of the group for want of memory.
    bool killedForMemory() const;
};
