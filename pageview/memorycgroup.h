#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// The memory cgroup this process is charged to, and the cgroups above it. Inside one, the
// system's MemAvailable says nothing about when the kernel's out-of-memory killer ends the
// process: the tightest limit on the way up the hierarchy does.
class MemoryCgroup
{
public:
    // Finds the process's memory cgroup from its cgroup and mount tables; an object without
    // directories when there is none (or it cannot be read). The root arguments let a test
    // stand a whole hierarchy in a folder of its own.
    static MemoryCgroup find(const QString &procSelf = QStringLiteral("/proc/self"),
                             const QString &mountRoot = QString());

    // Bytes that can still be charged before the tightest limit on the path to the root is
    // reached, counting the file cache the kernel would reclaim first; -1 without any limit.
    qint64 room() const;

private:
    // The cgroup's own directory first, then each parent up to the hierarchy's mount point.
    QStringList directories;
    int controllerVersion = 0;
};
