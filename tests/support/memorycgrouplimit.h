#pragma once

#include "cgroup.h"

#include <QtGlobal>

// A memory cgroup with a hard limit and no swap, made for one test and removed again, so that a
// child process can be started inside it.
class MemoryCgroupLimit : public Cgroup
{
public:
    explicit MemoryCgroupLimit(qint64 limitBytes);

    // Shell commands that move the shell into the group, to run before it execs the child.
    QString shellPrefix() const;
    // Whether the kernel ended a process of the group for want of memory.
    bool killedForMemory() const;
};
