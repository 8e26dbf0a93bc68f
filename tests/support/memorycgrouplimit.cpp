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

// The mount point of the v1 memory hierarchy or of the unified one, from our mount table.
QString mountPoint(int version)
{
    for (const QByteArray &line : readFrom("/proc/self/mountinfo").split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const int dash = fields.indexOf("-");
        if (dash < 5 || dash + 3 >= fields.size())
            continue;
        const QByteArray type = fields.at(dash + 1);
        const bool memory = fields.at(dash + 3).split(',').contains("memory");
        if (version == 2 ? type == "cgroup2" : type == "cgroup" && memory)
            return QString::fromUtf8(fields.at(4));
    }
    return QString();
}

} // namespace

MemoryCgroupLimit::MemoryCgroupLimit(int version, qint64 limitBytes) : version(version)
{
    if (geteuid() != 0) {
        fail("memory cgroups are made as root, and this test does not run as root");
        return;
    }
    const QString root = mountPoint(version);
    if (root.isEmpty()) {
        fail(QString("no cgroup v%1 memory hierarchy is mounted here").arg(version));
        return;
    }
    if (version == 2 && !readFrom(root + "/cgroup.controllers").contains("memory")) {
        fail("the unified cgroup hierarchy has no memory controller here (it is bound to v1)");
        return;
    }
    if (version == 2)
        writeTo(root + "/cgroup.subtree_control", "+memory");
    const QString name = QString("page-scope-test-%1-%2")
                             .arg(QCoreApplication::applicationPid())
                             .arg(quintptr(this), 0, 16);
    if (!QDir(root).mkdir(name)) {
        fail("cannot make a cgroup under " + root);
        return;
    }
    directory = root + '/' + name;
    const QByteArray limit = QByteArray::number(limitBytes);
    const bool limited = version == 2 ? writeTo(directory + "/memory.max", limit)
                                      : writeTo(directory + "/memory.limit_in_bytes", limit);
    // Swap would let the group go beyond its limit instead of facing it.
    if (version == 2)
        writeTo(directory + "/memory.swap.max", "0");
    else
        writeTo(directory + "/memory.memsw.limit_in_bytes", limit);
    if (!limited)
        fail("cannot set the cgroup's memory limit");
}

MemoryCgroupLimit::~MemoryCgroupLimit()
{
    if (directory.isEmpty())
        return;
    // The group goes once its processes have; a killed child takes a moment to be reaped.
    if (!QTest::qWaitFor([this] { return QDir().rmdir(directory); }, 5000))
        qWarning("cgroup %s is left behind", qPrintable(directory));
}

bool MemoryCgroupLimit::fail(const QString &reason)
{
    if (!directory.isEmpty())
        QDir().rmdir(directory);
    directory.clear();
    why = reason;
    return false;
}

QString MemoryCgroupLimit::shellPrefix() const
{
    return QString("echo $$ > '%1/cgroup.procs' && ").arg(directory);
}

bool MemoryCgroupLimit::killedForMemory() const
{
    if (version == 2) {
        for (const QByteArray &line : readFrom(directory + "/memory.events").split('\n'))
            if (line.startsWith("oom_kill ") && line.mid(9).toLongLong() > 0)
                return true;
        return false;
    }
    for (const QByteArray &line : readFrom(directory + "/memory.oom_control").split('\n'))
        if (line.startsWith("oom_kill ") && line.mid(9).toLongLong() > 0)
            return true;
    return false;
}
