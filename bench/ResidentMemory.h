// The resident memory of a process, read from its status file.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <malloc.h>

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

// What this process's heap holds in live allocations, in KiB (the allocator's own view:
// small blocks in use plus blocks mapped on their own). Against the resident memory it
// tells kept data from freed memory the allocator did not give back.
inline qint64 heapInUseKiB()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64((info.uordblks + info.hblkhd) / 1024);
}
} // namespace BenchMemory
