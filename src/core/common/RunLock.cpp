#include "RunLock.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QByteArray nativePath(const QString &path)
{
    return QFileInfo(path).absoluteFilePath().toLocal8Bit();
}

int openLockFile(const QString &path, bool create)
{
    const QByteArray native = nativePath(path);
    int fd = -1;
    do {
        fd = create ? ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)
                    : ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    // A file that exists but cannot be written still takes a lock.
    if (fd < 0 && create && errno == EACCES)
        fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    return fd;
}

bool tryLock(int fd, int operation)
{
    int result;
    do {
        result = ::flock(fd, operation | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

QByteArray readAll(int fd)
{
    QByteArray bytes;
    char buffer[1024];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || bytes.size() > 64 * 1024)
            break;
        bytes.append(buffer, n);
        offset += n;
    }
    return bytes;
}

QByteArray holderText(const RunLock::Holder &holder)
{
    return "pid=" + QByteArray::number(holder.pid) + "\nchannel=" + holder.channel.toUtf8() + '\n';
}

RunLock::Holder parseHolder(const QByteArray &text)
{
    RunLock::Holder holder;
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith("pid="))
            holder.pid = line.mid(4).toLongLong();
        else if (line.startsWith("channel="))
            holder.channel = QString::fromUtf8(line.mid(8));
    }
    return holder;
}

// The holder's details; a program that has just taken the lock may not have written them
// yet, so an empty file is read again for a moment.
RunLock::Holder readHolder(int fd)
{
    RunLock::Holder holder = parseHolder(readAll(fd));
    for (int attempt = 0; holder.pid == 0 && attempt < 20; ++attempt) {
        QThread::msleep(25);
        holder = parseHolder(readAll(fd));
    }
    return holder;
}

} // namespace

RunLock::~RunLock()
{
    release();
}

void RunLock::release()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
}

bool RunLock::acquireExclusive(const QString &path, const Holder &self, int waitMs)
{
    release();
    const int fd = openLockFile(path, true);
    if (fd < 0)
        return false;
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        if (tryLock(fd, LOCK_EX)) {
            const QByteArray text = holderText(self);
            if (::ftruncate(fd, 0) != 0 ||
                ::pwrite(fd, text.constData(), size_t(text.size()), 0) != ssize_t(text.size())) {
                // Others could not reach this program, but they still see that it runs.
            }
            m_fd = fd;
            return true;
        }
        // Only shared holders: commands that are writing. Another program holds it
        // exclusively, and then a shared lock is refused as well.
        if (!tryLock(fd, LOCK_SH) || deadline.hasExpired()) {
            ::close(fd);
            return false;
        }
        ::flock(fd, LOCK_UN);
        QThread::msleep(20);
    }
}

std::optional<RunLock::Holder> RunLock::acquireShared(const QString &path)
{
    release();
    const int fd = openLockFile(path, true);
    if (fd < 0)
        return std::nullopt;
    if (tryLock(fd, LOCK_SH)) {
        m_fd = fd;
        return std::nullopt;
    }
    if (errno != EWOULDBLOCK) {
        // A file system without locks: nobody can hold one.
        ::close(fd);
        return std::nullopt;
    }
    const Holder holder = readHolder(fd);
    ::close(fd);
    return holder;
}

std::optional<RunLock::Holder> RunLock::runningProgram(const QString &path)
{
    const int fd = openLockFile(path, false);
    if (fd < 0)
        return std::nullopt;
    std::optional<Holder> holder;
    if (tryLock(fd, LOCK_SH))
        ::flock(fd, LOCK_UN);
    else if (errno == EWOULDBLOCK)
        holder = readHolder(fd);
    ::close(fd);
    return holder;
}
