#include "memorycgrouplimit.h"

#include "viewerprocess.h"

#include <QList>

MemoryCgroupLimit::MemoryCgroupLimit(qint64 limitBytes) : Cgroup("memory", "page-scope-test")
{
    if (isValid() && !setLimit(limitBytes))
        fail("cannot set the cgroup's memory limit");
}

bool MemoryCgroupLimit::setLimit(qint64 bytes)
{
    const QByteArray limit = QByteArray::number(bytes);
    if (!write(unified() ? "memory.max" : "memory.limit_in_bytes", limit))
        return false;
    // Swap would let the group go beyond its limit instead of facing it. Without swap accounting
    // there is no such file. In v1 it may not be below the limit, so it follows it down.
    if (unified())
        write("memory.swap.max", "0");
    else
        write("memory.memsw.limit_in_bytes", limit);
    return true;
}

bool MemoryCgroupLimit::leaveRoom(qint64 bytes)
{
    const qint64 usage =
        read(unified() ? "memory.current" : "memory.usage_in_bytes").trimmed().toLongLong();
    return usage > 0 && setLimit(usage + bytes);
}

std::unique_ptr<MemoryCgroupLimit> MemoryCgroupLimit::forViewer(ViewerProcess &viewer,
                                                                int mebibytes)
{
    if (mebibytes == 0)
        return nullptr;
    auto group = std::make_unique<MemoryCgroupLimit>(mebibytes * 1024ll * 1024);
    // The shell moves itself into the group before it execs the viewer.
    if (group->isValid())
        viewer.setLaunchPrefix(QString("echo $$ > '%1' && ").arg(group->procsFile()));
    return group;
}

bool MemoryCgroupLimit::killedForMemory() const
{
    const QByteArray events = read(unified() ? "memory.events" : "memory.oom_control");
    for (const QByteArray &line : events.split('\n'))
        if (line.startsWith("oom_kill ") && line.mid(9).toLongLong() > 0)
            return true;
    return false;
}
