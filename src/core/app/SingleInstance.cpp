#include "SingleInstance.h"

#include "common/RunLock.h"
#include "common/Texts.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QSysInfo>
#include <QThread>

#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kTimeoutMs = 3000;

QString displaySession()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        display = QStringLiteral("none");
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.]")), QStringLiteral("_"));
    return display;
}

// Whether path is a folder of this user's that no one else can enter. A folder made here
// (create) must not be a link; one of the user's own with a wider mode is narrowed (repair).
bool privateFolder(const QString &path, bool create)
{
    const QByteArray native = QFile::encodeName(path);
    if (create && ::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info
    {};
    const int result =
        create ? ::lstat(native.constData(), &info) : ::stat(native.constData(), &info);
    if (result != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return false;
    if ((info.st_mode & 077) != 0)
        return create && ::chmod(native.constData(), 0700) == 0;
    return true;
}

// Asks the copy on the channel to come to the front, retrying until the deadline while it
// is not there yet or still starting.
bool handOver(const QString &channel, const QDeadlineTimer &deadline)
{
    while (!channel.isEmpty()) {
        const int left = int(qMax<qint64>(100, deadline.remainingTime()));
        if (RequestInstance(channel, SingleInstance::kActivateRequest.trimmed(), left) ==
            SingleInstance::kActivatedReply)
            return true;
        if (deadline.hasExpired())
            break;
        QThread::msleep(50);
    }
    return false;
}
} // namespace

bool SingleInstance::isSameUser(qintptr descriptor)
{
    struct ucred cred {};
    socklen_t len = sizeof(cred);
    if (::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0)
        return false;
    return cred.uid == ::getuid();
}

QString SingleInstance::channelFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && privateFolder(runtime, false))
        return runtime;
    const QString user = QString::number(::getuid());
    const QString temporary = QDir(QDir::tempPath()).filePath(QStringLiteral("tasklume-") + user);
    if (privateFolder(temporary, true))
        return temporary;
    // Someone else holds that name in the shared folder: the user's own cache folder, named
    // for the machine, since a home folder may be shared between machines.
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty() || QDir::isRelativePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    QDir().mkpath(cache);
    const QString own =
        QDir(cache).filePath(QStringLiteral("tasklume-") + QSysInfo::machineHostName());
    if (privateFolder(own, true))
        return own;
    return {};
}

QString SingleInstance::serverName()
{
    const QString folder = channelFolder();
    if (folder.isEmpty())
        return {};
    return QDir(folder).filePath(Texts::MutexName + QLatin1Char('-') + QString::number(::getuid()) +
                                 QLatin1Char('-') + displaySession());
}

bool ActivateRunningInstance()
{
    QLocalSocket socket;
    socket.connectToServer(SingleInstance::serverName());
    if (!socket.waitForConnected(kTimeoutMs))
        return false;
    // Only a copy of the same user counts; a socket another user put in the name's place is
    // not talked to.
    if (!SingleInstance::isSameUser(socket.socketDescriptor()))
        return false;
    socket.write(SingleInstance::kActivateRequest);
    if (!socket.waitForBytesWritten(kTimeoutMs))
        return false;
    // The running copy answers once it has acted; either way it is there.
    socket.waitForReadyRead(kTimeoutMs);
    return true;
}

QByteArray RequestRunningInstance(const QByteArray &request, int timeoutMs)
{
    return RequestInstance(SingleInstance::serverName(), request, timeoutMs);
}

QByteArray RequestInstance(const QString &serverName, const QByteArray &request, int timeoutMs)
{
    if (serverName.isEmpty())
        return {};
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(timeoutMs) ||
        !SingleInstance::isSameUser(socket.socketDescriptor()))
        return {};
    socket.write(request + '\n');
    socket.waitForBytesWritten(timeoutMs);
    QByteArray reply;
    while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(timeoutMs))
        reply += socket.readAll();
    reply += socket.readAll();
    return reply;
}

SingleInstance::StartClaim ClaimStart(const QString &lockPath, RunLock &lock,
                                      InstanceServer &server, int waitMs)
{
    using SingleInstance::StartClaim;
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        const QString name = SingleInstance::serverName();
        if (!lock.acquireExclusive(lockPath, {QCoreApplication::applicationPid(), name})) {
            // Another program runs on this folder: it is asked to come to the front.
            if (const std::optional<RunLock::Holder> holder = RunLock::runningProgram(lockPath)) {
                if (handOver(holder->channel, deadline))
                    return StartClaim::HandedOver;
                // It may have ended meanwhile, leaving the folder to this start.
                if (!RunLock::runningProgram(lockPath).has_value() && !deadline.hasExpired())
                    continue;
                return StartClaim::Unanswered;
            }
            // No lock to be had here (a folder that takes none, or commands that kept
            // writing): the program runs without it, as the folder is its own.
        }
        if (server.listen())
            return StartClaim::Run;
        if (!server.heldByAnotherCopy()) {
            // No private folder for the socket: the program runs, but other starts and the
            // command-line companion cannot reach it.
            qWarning("The channel for other starts cannot be made at \"%s\".", qPrintable(name));
            return StartClaim::Run;
        }
        // A copy on another folder serves this desktop already.
        lock.release();
        return handOver(name, deadline) ? StartClaim::HandedOver : StartClaim::Unanswered;
    }
}
