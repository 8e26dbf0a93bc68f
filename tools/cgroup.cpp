#include "cgroup.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <csignal>
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

// The mount point of the unified hierarchy, or of the v1 hierarchy that has the controller,
// from our mount table.
QString mountPoint(bool unified, const QByteArray &controller)
{
    for (const QByteArray &line : readFrom("/proc/self/mountinfo").split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const int dash = fields.indexOf("-");
        if (dash < 5 || dash + 3 >= fields.size())
            continue;
        const QByteArray type = fields.at(dash + 1);
        const bool hasController = fields.at(dash + 3).split(',').contains(controller);
        if (unified ? type == "cgroup2" : type == "cgroup" && hasController)
            return QString::fromUtf8(fields.at(4));
    }
    return QString();
}

} // namespace

Cgroup::Cgroup(const QString &controller, const QString &namePrefix)
{
    const QByteArray name = controller.toUtf8();
    QString root = mountPoint(true, name);
    m_unified = !root.isEmpty() &&
                readFrom(root + "/cgroup.controllers").trimmed().split(' ').contains(name);
    if (!m_unified)
        root = mountPoint(false, name);
    if (geteuid() != 0)
        m_error = "cgroups are made as root, and this program does not run as root";
    else if (root.isEmpty())
        m_error = "no cgroup hierarchy with the " + controller + " controller is mounted here";
    if (!m_error.isEmpty())
        return;
    if (m_unified)
        writeTo(root + "/cgroup.subtree_control", "+" + name);
    static int made = 0;
    const QString path = QString("%1/%2-%3-%4")
                             .arg(root, namePrefix)
                             .arg(QCoreApplication::applicationPid())
                             .arg(++made);
    if (QDir().mkdir(path))
        m_directory = path;
    else
        m_error = "cannot make a cgroup under " + root;
}

Cgroup::~Cgroup()
{
    if (m_directory.isEmpty())
        return;
    // A child still running, as after a failed check, would keep the group: it ends here.
    for (const QByteArray &pid : read("cgroup.procs").split('\n'))
        if (pid.toInt() > 0 && pid.toInt() != getpid())
            ::kill(pid.toInt(), SIGKILL);
    // The group goes once its processes have; a killed child takes a moment to be reaped, which
    // QProcess does from the event loop.
    for (QDeadlineTimer deadline(5000); !QDir().rmdir(m_directory); QThread::msleep(10)) {
        if (deadline.hasExpired()) {
            qWarning("cgroup %s is left behind", qPrintable(m_directory));
            return;
        }
        QCoreApplication::processEvents();
    }
}

bool Cgroup::write(const QString &file, const QByteArray &value) const
{
    return isValid() && writeTo(m_directory + '/' + file, value);
}

QByteArray Cgroup::read(const QString &file) const
{
    return isValid() ? readFrom(m_directory + '/' + file) : QByteArray();
}

void Cgroup::fail(const QString &reason)
{
    QDir().rmdir(m_directory);
    m_directory.clear();
    m_error = reason;
}
