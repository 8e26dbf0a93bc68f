#pragma once

#include <QByteArray>
#include <QString>

// A cgroup of our own for child processes, made as root in whichever hierarchy has the given
// controller here (the unified one, or v1's hierarchy of that controller: a controller belongs to
// one only), and removed again with this object once its processes have gone. error() says why
// none could be made.
class Cgroup
{
public:
    Cgroup(const QString &controller, const QString &namePrefix);
    ~Cgroup();
    Cgroup(const Cgroup &) = delete;
    Cgroup &operator=(const Cgroup &) = delete;

    bool isValid() const { return !m_directory.isEmpty(); }
    QString error() const { return m_error; }
    bool unified() const { return m_unified; }
    // A control file of the group; its name depends on the hierarchy (unified()).
    bool write(const QString &file, const QByteArray &value) const;
    QByteArray read(const QString &file) const;
    QString procsFile() const { return m_directory + "/cgroup.procs"; }

protected:
    // Gives the group up, for a setting it would need and cannot have.
    void fail(const QString &reason);

private:
    QString m_directory;
    QString m_error;
    bool m_unified = false;
};
