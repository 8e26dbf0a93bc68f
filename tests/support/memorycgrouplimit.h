#pragma once

#include <QString>
#include <QtGlobal>

// A memory cgroup of its own with a hard limit, made for one test as root and removed again,
// so that a child process can be started inside it. It is made in whichever hierarchy has the
// memory controller here, since a controller belongs to one only: error() says why none could be
// made.
class MemoryCgroupLimit
{
public:
    explicit MemoryCgroupLimit(qint64 limitBytes);
    ~MemoryCgroupLimit();
    MemoryCgroupLimit(const MemoryCgroupLimit &) = delete;
    MemoryCgroupLimit &operator=(const MemoryCgroupLimit &) = delete;

    bool isValid() const { return !directory.isEmpty(); }
    QString error() const { return why; }
    // Shell commands that move the shell into the group, to run before it execs the child.
    QString shellPrefix() const;
    // Whether the kernel ended a process of the group for want of memory.
    bool killedForMemory() const;

private:
    QString directory;
    QString why;
    bool unified = false;
};
