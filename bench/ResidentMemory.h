// The resident memory of a process, read from its status file.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace BenchMemory {
// VmRSS in KiB of the process (this one when `pid` is 0), -1 when it cannot be read.
inline qint64 residentKiB(qint64 pid = 0)
{
    QFile status(pid ? QStringLiteral("/proc/%1/status").arg(pid)
                     : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}
} // namespace BenchMemory
