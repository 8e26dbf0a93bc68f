#include "memorycgrouplimit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>

namespace {

bool writeTo(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush();
}

QByteArray readFrom(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The mount point of the unified hierarchy or of v1's memory hierarchy, from our mount table.
QString mountPoint(bool unified)
{
    for (const QByteArray &line : readFrom("/proc/self/mountinfo").split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const int dash = fields.indexOf("-");
        if (dash < 5 || dash + 3 >= fields.size())
            continue;
        const QByteArray type = fields.at(dash + 1);
        const bool memory = fields.at(dash + 3).split(',').contains("memory");
        if (unified ? type == "cgroup2" : type == "cgroup" && memory)
            return QString::fromUtf8(fields.at(4));
    }
    return QString();
}

} // namespace

MemoryCgroupLimit::MemoryCgroupLimit(qint64 limitBytes)
{
    QString root = mountPoint(true);
    unified = !root.isEmpty() && readFrom(root + "/cgroup.controllers").contains("memory");
    if (!unified)
        root = mountPoint(false);
    if (geteuid() != 0)
        why = "memory cgroups are made as root, and this test does not run as root";
    else if (root.isEmpty())
        why = "no cgroup hierarchy with the memory controller is mounted here";
    if (!why.isEmpty())
        return;
    if (unified)
        writeTo(root + "/cgroup.subtree_control", "+memory");
    const QString path = QString("%1/page-scope-test-%2-%3")
                             .arg(root)
                             .arg(QCoreApplication::applicationPid())
                             .arg(quintptr(this), 0, 16);
    if (!QDir().mkdir(path)) {
        why = "cannot make a cgroup under " + root;
        return;
    }
    const QByteArray limit = QByteArray::number(limitBytes);
    const bool limited =
        writeTo(path + (unified ? "/memory.max" : "/memory.limit_in_bytes"), limit);
    // Swap would let the group go beyond its limit instead of facing it.
    if (unified)
        writeTo(path + "/memory.swap.max", "0");
    else
        writeTo(path + "/memory.memsw.limit_in_bytes", limit);
    if (limited) {
        directory = path;
    } else {
        QDir().rmdir(path);
        why = "cannot set the cgroup's memory limit";
    }
}

MemoryCgroupLimit::~MemoryCgroupLimit()
{
    // The group goes once its processes have; a killed child takes a moment to be reaped.
    if (!directory.isEmpty() && !QTest::qWaitFor([this] { return QDir().rmdir(directory); }, 5000))
        qWarning("cgroup %s is left behind", qPrintable(directory));
}

QString MemoryCgroupLimit::shellPrefix() const
{
    return QString("echo $$ > '%1/cgroup.procs' && ").arg(directory);
}

bool MemoryCgroupLimit::killedForMemory() const
{
    const QString events = directory + (unified ? "/memory.events" : "/memory.oom_control");
    for (const QByteArray &line : readFrom(events).split('\n'))
        if (line.startsWith("oom_kill ") && line.mid(9).toLongLong() > 0)
            return true;
    return false;
}
