// The advisory lock that tells other processes the program runs on a folder: the running
// program holds an exclusive lock on "wyRun.lock" in its folder for its whole run and writes
// into the file how to reach it; the command-line companion holds a shared lock on the same
// file while it writes, so that a program starting meanwhile waits for it. The lock belongs
// to the folder, not to the display session, so a command run without a desktop (from cron)
// sees it too. The kernel drops a lock when its holder ends, however it ends.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class RunLock
{
public:
    RunLock() = default;
    ~RunLock();
    RunLock(const RunLock &) = delete;
    RunLock &operator=(const RunLock &) = delete;

    // What a running program wrote into the file.
    struct Holder
    {
        qint64 pid = 0;
        QString channel; // the full name of its request channel; empty when it has none
    };

    // The program's side: takes the exclusive lock on the file at path (created readable by
    // its owner only when missing) and writes the holder's details into it. While other
    // processes hold only shared locks (commands writing), it waits for them, at most
    // waitMs. False when another program holds the lock, when the wait ran out, or when the
    // file cannot be opened; the program then runs without it.
    bool acquireExclusive(const QString &path, const Holder &self, int waitMs = 10000);

    // The writing command's side: takes a shared lock unless a program holds the exclusive
    // one. Returns the program's details when it does (nothing is then held); nothing when
    // the shared lock is now held (or the file cannot be made, when nobody can hold it
    // either).
    std::optional<Holder> acquireShared(const QString &path);

    // Reading only: the running program's details, or nothing when none holds the lock.
    // Never creates the file.
    static std::optional<Holder> runningProgram(const QString &path);

    bool isHeld() const { return m_fd >= 0; }
    void release();

private:
    int m_fd = -1;
};
