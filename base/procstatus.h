#pragma once

#include <QByteArray>
#include <QFile>

// A field of a process's /proc/PID/status in KiB, such as VmHWM, the peak of its resident
// memory; -1 where it cannot be read. `process` is a pid, or "self".
inline qint64 statusKib(const char *field, const QByteArray &process = "self")
{
    QFile status("/proc/" + process + "/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}
