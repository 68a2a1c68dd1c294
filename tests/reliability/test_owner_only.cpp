// What the program writes is its user's alone: the database (with its journal files), the
// settings file and the mail attachments in "Temp" are readable by their owner only, under
// a loose umask as under a strict one, and the single-instance channel answers programs of
// the same user only.
#include "app/SingleInstance.h"
#include "common/AppPaths.h"
#include "common/Fr_wyTree.h"
#include "common/IniFile.h"
#include "gui/DialogDriver.h"
#include "gui/MailStandIn.h"
#include "memos/Fr_wyMemos.h"
#include "storage/Database.h"
#include "support/FakeFrameHost.h"
#include "support/TestSupport.h"
#include "support/UnixSockets.h"
#include "tasks/Fr_wyTasks.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <grp.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

// Sets the umask for the life of the object.
class Umask
{
public:
    explicit Umask(mode_t mask) : m_old(::umask(mask)) {}
    ~Umask() { ::umask(m_old); }

private:
    mode_t m_old;
};

constexpr uid_t kOtherUser = 65534; // nobody

// In a child process: connects to the socket at path as uid (when uid is not ours, with the
// right to pass file permissions kept, so that only the channel's own check can refuse),
// sends a request and reads the answer. Exit code: 0 no answer, 1 an answer, 2 could not
// connect, 3 could not become the user.
[[noreturn]] void askAs(uid_t uid, const char *path)
{
    if (uid != ::getuid()) {
        if (::prctl(PR_SET_KEEPCAPS, 1) != 0 || ::setgroups(0, nullptr) != 0 ||
            ::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0)
            ::_exit(3);
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] = {};
        const unsigned bits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
        data[0].effective = data[0].permitted = bits;
        if (::syscall(SYS_capset, &header, data) != 0)
            ::_exit(3);
    }
    const int fd = connectUnixSocket(path);
    if (fd < 0)
        ::_exit(2);
    const char request[] = "ping\n";
    if (::write(fd, request, sizeof request - 1) < 0)
        ::_exit(0); // refused before the request went out
    pollfd wait{fd, POLLIN, 0};
    char reply[64];
    if (::poll(&wait, 1, 5000) <= 0)
        ::_exit(0);
    ::_exit(::read(fd, reply, sizeof reply) > 0 ? 1 : 0);
}

// In a child process: becomes uid (keeping the right to pass file permissions), listens at
// path and accepts connections for a while. Exit code: 0 nothing was received, 1 something
// was, 3 could not become the user or listen.
[[noreturn]] void listenAs(uid_t uid, const char *path, int readyPipe)
{
    if (::prctl(PR_SET_KEEPCAPS, 1) != 0 || ::setgroups(0, nullptr) != 0 ||
        ::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0)
        ::_exit(3);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    data[0].effective = data[0].permitted = (1u << CAP_DAC_OVERRIDE);
    if (::syscall(SYS_capset, &header, data) != 0)
        ::_exit(3);
    const int fd = listenUnixSocket(path, 4);
    if (fd < 0)
        ::_exit(3);
    if (::write(readyPipe, "r", 1) != 1)
        ::_exit(3);
    bool received = false;
    for (int i = 0; i < 2; ++i) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 10000) <= 0)
            break;
        const int client = ::accept(fd, nullptr, nullptr);
        if (client < 0)
            break;
        pollfd incoming{client, POLLIN, 0};
        char buffer[64];
        if (::poll(&incoming, 1, 1000) > 0 && ::read(client, buffer, sizeof buffer) > 0)
            received = true;
        ::close(client);
    }
    ::_exit(received ? 1 : 0);
}

} // namespace

class TestOwnerOnly : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void databaseAndSettingsAreOwnerOnly_data();
    void databaseAndSettingsAreOwnerOnly();
    void mailAttachmentsAreOwnerOnly_data();
    void mailAttachmentsAreOwnerOnly();
    void mailAttachmentIsNotWrittenThroughLink();
    void channelAnswersSameUserOnly();
    void channelOfAnotherUserIsNotTalkedTo();

private:
    // Runs the e-mail command of a to-do list frame with one task in it.
    void sendTasks(FakeFrameHost &host, EveryBoxAnswer &boxes, MailStandIn &mail);
};

void TestOwnerOnly::databaseAndSettingsAreOwnerOnly_data()
{
    QTest::addColumn<int>("mask");
    QTest::newRow("umask 022") << 022;
    QTest::newRow("umask 000") << 0;
    QTest::newRow("umask 077") << 077;
}

void TestOwnerOnly::databaseAndSettingsAreOwnerOnly()
{
    QFETCH(int, mask);
    ProgramFolder folder;
    const Umask umask(mode_t(mask & 0777));
    const QString path = folder.file(QStringLiteral("wyData.wyb"));
    {
        QSqlDatabase db = Database::open(path, QStringLiteral("perm"));
        insertTask(db, Row{key(1), QStringLiteral("root"), QStringLiteral("private")});
        // The journal files are there while the connection is open.
        for (const QString &name :
             {path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm")}) {
            QVERIFY2(QFile::exists(name), qPrintable(name));
            QCOMPARE(fileMode(name), 0600);
        }
    }
    Database::close(QStringLiteral("perm"));
    QCOMPARE(fileMode(path), 0600);

    const IniFile ini(folder.file(QStringLiteral("wyConf.ini")));
    ini.writeInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 30);
    QCOMPARE(fileMode(ini.path()), 0600);
    // Rewriting keeps it so, and a file that was readable by others becomes private.
    QVERIFY(::chmod(QFile::encodeName(ini.path()).constData(), 0644) == 0);
    ini.writeBool(QStringLiteral("option"), QStringLiteral("addOpenEn"), true);
    QCOMPARE(fileMode(ini.path()), 0600);
    QCOMPARE(ini.readInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 0), 30);
}

void TestOwnerOnly::sendTasks(FakeFrameHost &host, EveryBoxAnswer &boxes, MailStandIn &mail)
{
    Q_UNUSED(boxes);
    Q_UNUSED(mail);
    insertTask(host.database(), Row{key(1), QStringLiteral("root"), QStringLiteral("Send me")});
    QWidget window;
    auto *frame = new TwyTasksFrame(host, &window);
    frame->resize(400, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    frame->postMessage(WM_FRAME_RELOAD);
    QTRY_VERIFY(frame->model()->nodeCount() == 1);
    frame->tree()->selectAll();
    frame->action(QStringLiteral("Action_Email"))->trigger();
}

void TestOwnerOnly::mailAttachmentsAreOwnerOnly_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<bool>("tempThere");
    QTest::addColumn<bool>("oldFiles");
    QTest::newRow("umask 022, no Temp") << 022 << false << false;
    QTest::newRow("umask 000, no Temp") << 0 << false << false;
    QTest::newRow("umask 022, Temp there") << 022 << true << false;
    QTest::newRow("umask 000, old files readable by all") << 0 << true << true;
}

void TestOwnerOnly::mailAttachmentsAreOwnerOnly()
{
    QFETCH(int, mask);
    QFETCH(bool, tempThere);
    QFETCH(bool, oldFiles);
    ProgramFolder folder;
    const Umask umask(mode_t(mask & 0777));
    const QString temp = folder.file(QStringLiteral("Temp"));
    const QString html = folder.file(QStringLiteral("Temp/Tasks.html"));
    const QString wyx = folder.file(QStringLiteral("Temp/Tasks.wyx"));
    if (tempThere)
        QVERIFY(QDir().mkpath(temp));
    if (oldFiles) {
        for (const QString &name : {html, wyx}) {
            writeFile(name, "left from an earlier mail");
            QVERIFY(::chmod(QFile::encodeName(name).constData(), 0666) == 0);
        }
    }
    FakeFrameHost host;
    EveryBoxAnswer boxes;
    MailStandIn mail;
    sendTasks(host, boxes, mail);
    QCOMPARE(boxes.texts, QStringList());
    QVERIFY(mail.called());
    QVERIFY(QFileInfo(temp).isDir());
    if (!tempThere)
        QCOMPARE(fileMode(temp), 0700);
    QCOMPARE(fileMode(html), 0600);
    QCOMPARE(fileMode(wyx), 0600);
    QVERIFY(QString::fromUtf8(readFile(html)).contains(QStringLiteral("Send me")));
    QVERIFY(readFile(wyx).size() > 8);
}

void TestOwnerOnly::mailAttachmentIsNotWrittenThroughLink()
{
    // A link planted where an attachment goes does not make the program write elsewhere.
    ProgramFolder folder;
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("target"));
    writeFile(target, "untouched");
    QVERIFY(QDir().mkpath(folder.file(QStringLiteral("Temp"))));
    QVERIFY(QFile::link(target, folder.file(QStringLiteral("Temp/Tasks.html"))));
    FakeFrameHost host;
    EveryBoxAnswer boxes;
    MailStandIn mail;
    sendTasks(host, boxes, mail);
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts.first().contains(QStringLiteral("Tasks.html")),
             qPrintable(boxes.texts.first()));
    QVERIFY(!mail.called());
    QCOMPARE(readFile(target), QByteArray("untouched"));
}

void TestOwnerOnly::channelAnswersSameUserOnly()
{
    QTemporaryDir runtime;
    QVERIFY(runtime.isValid());
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray oldDisplay = qgetenv("DISPLAY");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("DISPLAY", ":owner-only-test");
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
        qputenv("DISPLAY", oldDisplay);
    });

    InstanceServer server;
    server.setRequestHandler([](const QByteArray &request) {
        return request == "ping" ? QByteArrayLiteral("pong\n") : QByteArrayLiteral("error\n");
    });
    QVERIFY(server.listen());
    const QString name = SingleInstance::serverName();
    QVERIFY2(name.startsWith(runtime.path()), qPrintable(name));

    // The socket itself is its owner's only.
    struct stat info
    {};
    QVERIFY(::stat(QFile::encodeName(name).constData(), &info) == 0);
    QVERIFY(S_ISSOCK(info.st_mode));
    QCOMPARE(int(info.st_uid), int(::getuid()));
    QCOMPARE(int(info.st_mode & 077), 0);

    // The same user gets an answer (in another process, so that the server answers from
    // this one's event loop).
    const QByteArray path = QFile::encodeName(name);
    const auto ask = [&](uid_t uid) {
        const pid_t child = ::fork();
        if (child == 0)
            askAs(uid, path.constData());
        int status = 0;
        QDeadlineTimer deadline(15000);
        while (::waitpid(child, &status, WNOHANG) == 0 && !deadline.hasExpired())
            QTest::qWait(20);
        if (deadline.hasExpired()) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    QCOMPARE(ask(::getuid()), 1);

    if (::geteuid() != 0)
        QSKIP("acting as another user needs root; the socket's permissions were checked");
    // Another user who gets past the file permissions is still refused by the channel.
    QCOMPARE(ask(kOtherUser), 0);
    // And the same user is still served afterwards.
    QCOMPARE(ask(::getuid()), 1);
}

void TestOwnerOnly::channelOfAnotherUserIsNotTalkedTo()
{
    // Another user's socket in the channel's place (where the name lies in a shared folder)
    // neither stops the program nor gets what it would send.
    if (::geteuid() != 0)
        QSKIP("acting as another user needs root");
    QTemporaryDir runtime;
    QVERIFY(runtime.isValid());
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray oldDisplay = qgetenv("DISPLAY");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("DISPLAY", ":owner-only-squat");
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
        qputenv("DISPLAY", oldDisplay);
    });
    const QByteArray path = QFile::encodeName(SingleInstance::serverName());
    int ready[2];
    QVERIFY(::pipe(ready) == 0);
    const pid_t child = ::fork();
    if (child == 0)
        listenAs(kOtherUser, path.constData(), ready[1]);
    ::close(ready[1]);
    char byte = 0;
    const bool listening = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    QVERIFY(listening);

    QVERIFY(!ActivateRunningInstance());
    QCOMPARE(RequestRunningInstance("rows tasks", 2000), QByteArray());

    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

QTEST_MAIN(TestOwnerOnly)
#include "test_owner_only.moc"
