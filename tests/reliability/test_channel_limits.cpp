// The local channel under abuse: a request line far over the cap is refused without being
// taken into memory; idle connections are dropped and never keep a real request out; and
// without a runtime folder the socket lies in a folder of the user's own that nobody else can
// enter, whatever another user put in the shared temporary folder first.
#include "app/SingleInstance.h"
#include "support/UnixSockets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

constexpr uid_t kOtherUser = 65534; // nobody
constexpr qint64 kHugeRequest = 40 * 1024 * 1024;

// Whether the other end closes the connection within timeoutMs (anything it sends first is
// read and dropped).
bool closedByPeer(int fd, int timeoutMs)
{
    char buffer[4096];
    for (;;) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, timeoutMs) <= 0)
            return false;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return true;
    }
}

// In a child: sends a line of kHugeRequest bytes. Exit code 0 when the other end closed the
// connection before it took them all, 1 when it took every byte, 2 when it cannot connect.
[[noreturn]] void sendHugeLine(const char *path)
{
    const int fd = connectUnixSocket(path);
    if (fd < 0)
        ::_exit(2);
    // Nothing is allocated after the fork.
    static char chunk[64 * 1024];
    std::memset(chunk, 'x', sizeof chunk);
    for (qint64 sent = 0; sent < kHugeRequest;) {
        const ssize_t n = ::send(fd, chunk, sizeof chunk, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ::_exit(0);
        sent += n;
    }
    // Every byte went: the line ends, and the other end has taken it all in.
    ::send(fd, "\n", 1, MSG_NOSIGNAL);
    ::_exit(1);
}

// In a child: opens count connections that never send anything, tells the parent on ready,
// and waits for the other end to close them all. Exit code 0 when it closed every one in the
// time, 1 when some stayed open, 2 when it could not connect them.
[[noreturn]] void holdIdleConnections(const char *path, int count, int ready)
{
    static int fds[1024];
    if (count > 1024)
        ::_exit(2);
    for (int i = 0; i < count; ++i) {
        fds[i] = connectUnixSocket(path);
        if (fds[i] < 0)
            ::_exit(2);
    }
    if (::write(ready, "r", 1) != 1)
        ::_exit(2);
    for (int i = 0; i < count; ++i) {
        if (!closedByPeer(fds[i], 30000))
            ::_exit(1);
    }
    ::_exit(0);
}

// In a child: sends one request line and exits 1 when the reply is "pong", else 0.
[[noreturn]] void askPing(const char *path)
{
    const int fd = connectUnixSocket(path);
    if (fd < 0)
        ::_exit(2);
    if (::send(fd, "ping\n", 5, MSG_NOSIGNAL) != 5)
        ::_exit(0);
    char reply[64] = {};
    size_t size = 0;
    while (size < sizeof reply - 1) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 10000) <= 0)
            break;
        const ssize_t n = ::read(fd, reply + size, sizeof reply - 1 - size);
        if (n <= 0)
            break;
        size += size_t(n);
    }
    ::_exit(std::strcmp(reply, "pong\n") == 0 ? 1 : 0);
}

// In a child: becomes another user and listens at path until killed.
[[noreturn]] void squatAs(uid_t uid, const char *path, int ready)
{
    if (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 ||
        ::setresuid(uid, uid, uid) != 0)
        ::_exit(3);
    const int fd = listenUnixSocket(path);
    if (fd < 0)
        ::_exit(3);
    if (::write(ready, "r", 1) != 1)
        ::_exit(3);
    for (;;) {
        const int client = ::accept(fd, nullptr, nullptr);
        if (client >= 0)
            ::close(client);
    }
}

// Waits for a child while this process's event loop serves the channel; its exit code, or
// -1 when it did not end in the time.
int waitForChild(pid_t child, int timeoutMs)
{
    int status = 0;
    QDeadlineTimer deadline(timeoutMs);
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (deadline.hasExpired()) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        QTest::qWait(10);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The peak resident memory of this process so far, in bytes.
qint64 peakResident()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

// Sets an environment variable (or removes it, for a null value) for the life of the object.
class EnvironmentValue
{
public:
    EnvironmentValue(const char *name, const QByteArray &value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvironmentValue()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

struct FolderInfo
{
    bool exists = false;
    bool directory = false;
    bool link = false;
    uid_t owner = 0;
    mode_t mode = 0;
};

FolderInfo lstatOf(const QString &path)
{
    FolderInfo info;
    struct stat st
    {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return info;
    info.exists = true;
    info.directory = S_ISDIR(st.st_mode);
    info.link = S_ISLNK(st.st_mode);
    info.owner = st.st_uid;
    info.mode = st.st_mode & 07777;
    return info;
}

} // namespace

class TestChannelLimits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void hugeRequestIsRefused();
    void idleConnectionsAreDroppedAndRequestsServed();
    void socketFolderIsTheUsersOwn_data();
    void socketFolderIsTheUsersOwn();

private:
    std::unique_ptr<InstanceServer> listeningServer();

    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<EnvironmentValue> m_runtimeValue;
    std::unique_ptr<EnvironmentValue> m_display;
};

void TestChannelLimits::init()
{
    m_runtime = std::make_unique<QTemporaryDir>();
    QVERIFY(m_runtime->isValid());
    m_runtimeValue =
        std::make_unique<EnvironmentValue>("XDG_RUNTIME_DIR", m_runtime->path().toLocal8Bit());
    m_display = std::make_unique<EnvironmentValue>("DISPLAY", QByteArray(":17"));
}

void TestChannelLimits::cleanup()
{
    m_display.reset();
    m_runtimeValue.reset();
    m_runtime.reset();
}

std::unique_ptr<InstanceServer> TestChannelLimits::listeningServer()
{
    auto server = std::make_unique<InstanceServer>();
    server->setRequestHandler([](const QByteArray &request) {
        return request == "ping" ? QByteArrayLiteral("pong\n") : QByteArrayLiteral("error\n");
    });
    if (!server->listen())
        return nullptr;
    return server;
}

void TestChannelLimits::hugeRequestIsRefused()
{
    const auto server = listeningServer();
    QVERIFY(server);
    const QByteArray path = QFile::encodeName(SingleInstance::serverName());
    const qint64 peakBefore = peakResident();

    const pid_t child = ::fork();
    if (child == 0)
        sendHugeLine(path.constData());
    // The connection is closed before the line has gone across, so the line was never held.
    QCOMPARE(waitForChild(child, 120000), 0);
    QTest::qWait(100);
    const qint64 grown = peakResident() - peakBefore;
    QVERIFY2(grown < kHugeRequest / 4, qPrintable(QString::number(grown)));

    // The channel goes on serving.
    const pid_t asker = ::fork();
    if (asker == 0)
        askPing(path.constData());
    QCOMPARE(waitForChild(asker, 30000), 1);
}

void TestChannelLimits::idleConnectionsAreDroppedAndRequestsServed()
{
    const auto server = listeningServer();
    QVERIFY(server);
    const QByteArray path = QFile::encodeName(SingleInstance::serverName());

    int ready[2];
    QVERIFY(::pipe(ready) == 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::close(ready[0]);
        holdIdleConnections(path.constData(), 320, ready[1]);
    }
    ::close(ready[1]);
    // The idle ones are all connected (served from this event loop meanwhile) ...
    pollfd wait{ready[0], POLLIN, 0};
    QDeadlineTimer connected(60000);
    while (::poll(&wait, 1, 0) == 0 && !connected.hasExpired())
        QTest::qWait(10);
    char byte = 0;
    QCOMPARE(::read(ready[0], &byte, 1), ssize_t(1));
    ::close(ready[0]);

    // ... and a real request is answered while they are open,
    const pid_t asker = ::fork();
    if (asker == 0)
        askPing(path.constData());
    QCOMPARE(waitForChild(asker, 30000), 1);
    // and every idle connection is closed by the program within a few seconds.
    QCOMPARE(waitForChild(holder, 60000), 0);
}

void TestChannelLimits::socketFolderIsTheUsersOwn_data()
{
    // What the runtime folder is ("" none, "private", "open" to others, "foreign" of
    // another user); what lies at "tasklume-<uid>" in the shared temporary folder ("" nothing,
    // "foreign" another user's folder, "link" a link to one, "file" another user's file,
    // "open" a folder of the user's own open to others); where the socket must be
    // ("runtime", "temporary", "home").
    QTest::addColumn<QString>("runtime");
    QTest::addColumn<QString>("squat");
    QTest::addColumn<QString>("expected");
    QTest::newRow("runtime folder") << "private"
                                    << "foreign"
                                    << "runtime";
    QTest::newRow("no runtime folder") << ""
                                       << ""
                                       << "temporary";
    QTest::newRow("own folder open to others") << ""
                                               << "open"
                                               << "temporary";
    QTest::newRow("another user's folder") << ""
                                           << "foreign"
                                           << "home";
    QTest::newRow("link to another user's folder") << ""
                                                   << "link"
                                                   << "home";
    QTest::newRow("another user's file") << ""
                                         << "file"
                                         << "home";
    QTest::newRow("runtime folder open to others") << "open"
                                                   << ""
                                                   << "temporary";
    QTest::newRow("runtime folder of another user") << "foreign"
                                                    << "foreign"
                                                    << "home";
}

void TestChannelLimits::socketFolderIsTheUsersOwn()
{
    QFETCH(QString, runtime);
    QFETCH(QString, squat);
    QFETCH(QString, expected);
    if (::geteuid() != 0)
        QSKIP("another user's files need root to be made");

    // A shared temporary folder like /tmp, and a home folder, both private to this test.
    QTemporaryDir shared;
    QTemporaryDir home;
    QVERIFY(shared.isValid() && home.isValid());
    QVERIFY(::chmod(QFile::encodeName(shared.path()).constData(), 01777) == 0);
    const EnvironmentValue tmpdir("TMPDIR", shared.path().toLocal8Bit());
    const EnvironmentValue homeValue("HOME", home.path().toLocal8Bit());
    const EnvironmentValue cacheValue("XDG_CACHE_HOME", QByteArray());
    QByteArray runtimeValue;
    if (!runtime.isEmpty()) {
        runtimeValue = m_runtime->path().toLocal8Bit();
        if (runtime == QLatin1String("open"))
            QVERIFY(::chmod(runtimeValue.constData(), 0755) == 0);
        else if (runtime == QLatin1String("foreign"))
            QVERIFY(::chown(runtimeValue.constData(), kOtherUser, kOtherUser) == 0);
    }
    const EnvironmentValue runtimeDir("XDG_RUNTIME_DIR", runtimeValue);
    const auto giveBack = qScopeGuard(
        [&] { ::chown(QFile::encodeName(m_runtime->path()).constData(), ::getuid(), ::getgid()); });

    // Another user got there first: a folder or file at the private folder's name, and a
    // live socket at the name a socket once had in the shared folder.
    const QString place =
        QDir(shared.path()).filePath(QStringLiteral("tasklume-") + QString::number(::getuid()));
    const QByteArray placePath = QFile::encodeName(place);
    const QString foreignFolder = QDir(shared.path()).filePath(QStringLiteral("foreign"));
    QVERIFY(QDir().mkdir(foreignFolder));
    QVERIFY(::chown(QFile::encodeName(foreignFolder).constData(), kOtherUser, kOtherUser) == 0);
    if (squat == QLatin1String("foreign")) {
        QVERIFY(::mkdir(placePath.constData(), 0755) == 0);
        QVERIFY(::chown(placePath.constData(), kOtherUser, kOtherUser) == 0);
    } else if (squat == QLatin1String("link")) {
        QVERIFY(::symlink(QFile::encodeName(foreignFolder).constData(), placePath.constData()) ==
                0);
        QVERIFY(::lchown(placePath.constData(), kOtherUser, kOtherUser) == 0);
    } else if (squat == QLatin1String("file")) {
        QFile file(place);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(::chown(placePath.constData(), kOtherUser, kOtherUser) == 0);
    } else if (squat == QLatin1String("open")) {
        QVERIFY(::mkdir(placePath.constData(), 0700) == 0);
        QVERIFY(::chmod(placePath.constData(), 0777) == 0);
    }
    const FolderInfo squatBefore = lstatOf(place);
    const QString bareName =
        QStringLiteral("Ploxen-Tasklume-Mutex-%1-_17").arg(QString::number(::getuid()));
    const QByteArray bareSocket = QFile::encodeName(QDir(shared.path()).filePath(bareName));
    int ready[2];
    QVERIFY(::pipe(ready) == 0);
    const pid_t squatter = ::fork();
    if (squatter == 0) {
        ::close(ready[0]);
        squatAs(kOtherUser, bareSocket.constData(), ready[1]);
    }
    ::close(ready[1]);
    const auto stopSquatter = qScopeGuard([&] {
        ::kill(squatter, SIGKILL);
        ::waitpid(squatter, nullptr, 0);
    });
    char byte = 0;
    QCOMPARE(::read(ready[0], &byte, 1), ssize_t(1));
    ::close(ready[0]);

    // The owner's program listens all the same, in a folder of its own.
    const auto server = listeningServer();
    QVERIFY2(server, "the channel could not be had");
    const QString name = SingleInstance::serverName();
    QVERIFY2(!name.isEmpty(), qPrintable(name));
    const QString folder = QFileInfo(name).path();
    QString expectedFolder;
    if (expected == QLatin1String("runtime"))
        expectedFolder = m_runtime->path();
    else if (expected == QLatin1String("temporary"))
        expectedFolder = place;
    else
        expectedFolder =
            QDir(home.path())
                .filePath(QStringLiteral(".cache/tasklume-") + QSysInfo::machineHostName());
    QCOMPARE(folder, expectedFolder);
    const FolderInfo info = lstatOf(folder);
    QVERIFY(info.directory && !info.link);
    QCOMPARE(info.owner, ::getuid());
    QCOMPARE(info.mode, mode_t(0700));
    const FolderInfo socket = lstatOf(name);
    QCOMPARE(socket.owner, ::getuid());

    // Another user's things are left as they were.
    if (squat != QLatin1String("open") && !squat.isEmpty()) {
        const FolderInfo squatAfter = lstatOf(place);
        QCOMPARE(squatAfter.owner, squatBefore.owner);
        QCOMPARE(squatAfter.mode, squatBefore.mode);
    }

    // A program of the owner finds it by the same name and is answered.
    QCOMPARE(SingleInstance::serverName(), name);
    const QByteArray path = QFile::encodeName(name);
    const pid_t asker = ::fork();
    if (asker == 0)
        askPing(path.constData());
    QCOMPARE(waitForChild(asker, 30000), 1);
}

QTEST_GUILESS_MAIN(TestChannelLimits)
#include "test_channel_limits.moc"
