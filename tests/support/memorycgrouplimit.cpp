#include "memorycgrouplimit.h"

#include <QList>

MemoryCgroupLimit::MemoryCgroupLimit(qint64 limitBytes) : Cgroup("memory", "page-scope-test")
{
    const QByteArray limit = QByteArray::number(limitBytes);
    if (isValid() && !write(unified() ? "memory.max" : "memory.limit_in_bytes", limit))
        fail("cannot set the cgroup's memory limit");
    // Swap would let the group go beyond its limit instead of facing it.
    if (unified())
        write("memory.swap.max", "0");
    else
        write("memory.memsw.limit_in_bytes", limit);
}

QString MemoryCgroupLimit::shellPrefix() const
{
    return QString("echo $$ > '%1' && ").arg(procsFile());
}

bool MemoryCgroupLimit::killedForMemory() const
{
    const QByteArray events = read(unified() ? "memory.events" : "memory.oom_control");
    for (const QByteArray &line : events.split('\n'))
        if (line.startsWith("oom_kill ") && line.mid(9).toLongLong() > 0)
            return true;
    return false;
}
