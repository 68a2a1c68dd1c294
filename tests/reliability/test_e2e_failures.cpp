// The real program on a private X server when its folder fails it: read-only, a database
// locked by another program, a full disk. The user reads a message that names the problem
// (read over the program's channel, and the box is there on the screen), the program does
// not crash, the database stays whole, and a text that could not be stored is offered again
// and stored once the cause is gone.
//
// The read-only folder and the full disk are real file systems: a small tmpfs, mounted (and
// made read-only) in a mount namespace of this test's own, which the program inherits.
#include "common/IniFile.h"
#include "e2e/E2eSupport.h"
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QSqlQuery>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

// Why this test cannot mount its own file systems, or empty when it can.
QString g_noMounts;

bool writeText(const char *path, const QByteArray &text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    ::close(fd);
    return ok;
}

// Runs before any thread exists: a mount namespace of the test's own, as root, or else
// inside a user namespace of its own.
void enterPrivateMounts()
{
    if (::unshare(CLONE_NEWNS) != 0) {
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
            g_noMounts = QStringLiteral("neither a mount namespace nor a user namespace can be "
                                        "made here (%1)")
                             .arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        writeText("/proc/self/setgroups", "deny");
        if (!writeText("/proc/self/uid_map", "0 " + QByteArray::number(uid) + " 1") ||
            !writeText("/proc/self/gid_map", "0 " + QByteArray::number(gid) + " 1")) {
            g_noMounts = QStringLiteral("the user namespace cannot map this user");
            return;
        }
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        g_noMounts = QStringLiteral("mounts cannot be made private (%1)")
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
}

// Waits until the locking program says it holds the lock.
bool holdsLock(QProcess &locker)
{
    QByteArray said;
    QDeadlineTimer deadline(15000);
    while (!said.contains("locked\n") && !deadline.hasExpired() &&
           locker.state() == QProcess::Running) {
        locker.waitForReadyRead(200);
        said += locker.readAllStandardOutput();
    }
    return said.contains("locked\n") && locker.state() == QProcess::Running;
}

// The program ended by itself with the code, and without a report of the sanitizers.
void checkEnded(ProgramRun &run, int code)
{
    const QString output = run.output();
    QCOMPARE(run.process().exitStatus(), QProcess::NormalExit);
    QVERIFY2(!output.contains(QStringLiteral("Sanitizer")) &&
                 !output.contains(QStringLiteral("runtime error")),
             qPrintable(output));
    QCOMPARE(run.process().exitCode(), code);
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Every file of a folder with a hash of its contents.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        files.insert(it.filePath(),
                     QCryptographicHash::hash(readFile(it.filePath()), QCryptographicHash::Sha256));
    }
    return files;
}

} // namespace

class TestE2eFailures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void readOnlyFolder_data();
    void readOnlyFolder();
    void databaseLockedAtStart();
    void storeFailsThenSucceeds_data();
    void storeFailsThenSucceeds();
    void settingsOnFullDiskStayWhole();
    void fileFillingTheDiskStoresNothing_data();
    void fileFillingTheDiskStoresNothing();
    void cleanupTestCase();

private:
    // A tmpfs of size KiB on the program folder; false (the test failed) when it cannot be.
    bool mountFolder(const ProgramFolder &folder, int sizeKiB);
    void unmountFolder(const ProgramFolder &folder);
    // The message boxes the program shows ("caption<TAB>text" lines), waited for.
    QByteArray waitForBoxes(ProgramRun &run, int timeoutMs = 30000);
    // A shown window of the program's title other than exclude.
    QString boxWindow(const QString &exclude = {});
    void press(const QString &window, const QString &key);
    void seedDatabase(const ProgramFolder &folder);
    // integrity_check of the database and the count of rows with the given text.
    void checkDatabase(const QString &path, const QString &content, int expectedCount);

    std::unique_ptr<X11Session> m_session;
};

void TestE2eFailures::initTestCase()
{
    m_session = std::make_unique<X11Session>();
    if (!m_session->isRunning())
        QSKIP("Xvfb is not available");
}

void TestE2eFailures::cleanupTestCase()
{
    m_session.reset();
}

bool TestE2eFailures::mountFolder(const ProgramFolder &folder, int sizeKiB)
{
    const QByteArray path = QFile::encodeName(folder.path());
    const QByteArray options = "size=" + QByteArray::number(sizeKiB) + "k,mode=0700";
    if (::mount("tmpfs", path.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) !=
        0) {
        qWarning("cannot mount a tmpfs on %s: %s", path.constData(), qPrintable(systemError()));
        return false;
    }
    return true;
}

void TestE2eFailures::unmountFolder(const ProgramFolder &folder)
{
    ::umount2(QFile::encodeName(folder.path()).constData(), MNT_DETACH);
}

QByteArray TestE2eFailures::waitForBoxes(ProgramRun &run, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QByteArray boxes;
    while (boxes.isEmpty() && !deadline.hasExpired() &&
           run.process().state() == QProcess::Running) {
        boxes = run.request("boxes");
        if (boxes.isEmpty() || boxes == "error\n") {
            boxes.clear();
            QTest::qWait(200);
        }
    }
    return boxes;
}

QString TestE2eFailures::boxWindow(const QString &exclude)
{
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        const QString ids =
            m_session->run(QStringLiteral("xdotool"),
                           {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                            QStringLiteral("--name"), QStringLiteral("^Ploxen Tasklume$")});
        for (const QString &id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (id != exclude)
                return id;
        }
        QTest::qWait(100);
    }
    return {};
}

void TestE2eFailures::press(const QString &window, const QString &key)
{
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
    QVERIFY(m_session->waitUntilActive(window));
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), key});
}

void TestE2eFailures::seedDatabase(const ProgramFolder &folder)
{
    {
        QSqlDatabase db =
            Database::open(folder.file(QStringLiteral("wyData.wyb")), QStringLiteral("seed"));
        insertTask(db, Row{key(1), QStringLiteral("root"), QStringLiteral("Seeded task")});
    }
    Database::close(QStringLiteral("seed"));
}

void TestE2eFailures::checkDatabase(const QString &path, const QString &content, int expectedCount)
{
    {
        QSqlDatabase db = Database::open(path, QStringLiteral("check"));
        QCOMPARE(queryValue(db, QStringLiteral("PRAGMA integrity_check")).toString(),
                 QStringLiteral("ok"));
        QSqlQuery query(db);
        query.prepare(QStringLiteral("select count(*) from tasks where content=?"));
        query.addBindValue(content);
        QVERIFY(query.exec() && query.next());
        QCOMPARE(query.value(0).toInt(), expectedCount);
        QCOMPARE(
            queryValue(db, QStringLiteral("select count(*) from tasks where content='Seeded task'"))
                .toInt(),
            1);
    }
    Database::close(QStringLiteral("check"));
}

void TestE2eFailures::readOnlyFolder_data()
{
    QTest::addColumn<bool>("withDatabase");
    QTest::newRow("first start, no database yet") << false;
    QTest::newRow("database there") << true;
}

void TestE2eFailures::readOnlyFolder()
{
    QFETCH(bool, withDatabase);
    if (!g_noMounts.isEmpty())
        QSKIP(qPrintable(QStringLiteral("a read-only folder needs a mount of its own: ") +
                         g_noMounts));
    ProgramFolder folder;
    QVERIFY(mountFolder(folder, 4096));
    const auto unmount = qScopeGuard([&] { unmountFolder(folder); });
    folder.copyProgramFiles();
    if (withDatabase)
        seedDatabase(folder);
    const QMap<QString, QByteArray> before = snapshot(folder.path());
    QVERIFY2(::mount(nullptr, QFile::encodeName(folder.path()).constData(), nullptr,
                     MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0,
             qPrintable(systemError()));

    ProgramRun run(*m_session, folder.path());
    QVERIFY(run.start());
    const QByteArray boxes = waitForBoxes(run);
    QVERIFY2(!boxes.isEmpty(), qPrintable(run.output()));
    const QString box = QString::fromUtf8(boxes).trimmed();
    // One box, under the program's title, naming the folder and what is wrong with it.
    QVERIFY2(box.startsWith(QStringLiteral("Ploxen Tasklume\t")), qPrintable(box));
    QVERIFY2(!box.contains(QLatin1Char('\n')), qPrintable(box));
    QVERIFY2(box.contains(QDir::cleanPath(folder.path())), qPrintable(box));
    QVERIFY2(box.contains(QStringLiteral("read-only"), Qt::CaseInsensitive), qPrintable(box));
    const QString window = boxWindow();
    QVERIFY(!window.isEmpty());

    // OK ends the program in order.
    press(window, QStringLiteral("Return"));
    QVERIFY2(run.waitForEnd(15000), "the program did not end after the message");
    checkEnded(run, 1);
    QCOMPARE(snapshot(folder.path()), before);
}

void TestE2eFailures::databaseLockedAtStart()
{
    ProgramFolder folder;
    folder.copyProgramFiles();
    seedDatabase(folder);
    const QString database = folder.file(QStringLiteral("wyData.wyb"));

    QProcess locker;
    locker.start(QStringLiteral(TASKLUME_STORAGE_DRIVER),
                 {QStringLiteral("lock"), database, QStringLiteral("exclusive")});
    QVERIFY(locker.waitForStarted(5000));
    QVERIFY2(holdsLock(locker), locker.readAllStandardError().constData());

    ProgramRun run(*m_session, folder.path());
    QVERIFY(run.start());
    const QByteArray boxes = waitForBoxes(run);
    QVERIFY2(!boxes.isEmpty(), qPrintable(run.output()));
    const QString box = QString::fromUtf8(boxes).trimmed();
    QVERIFY2(box.startsWith(QStringLiteral("Ploxen Tasklume\t")), qPrintable(box));
    QVERIFY2(box.contains(QStringLiteral("locked by another program")), qPrintable(box));
    QVERIFY2(box.contains(database), qPrintable(box));
    const QString window = boxWindow();
    QVERIFY(!window.isEmpty());
    press(window, QStringLiteral("Return"));
    QVERIFY(run.waitForEnd(15000));
    checkEnded(run, 1);

    locker.closeWriteChannel();
    QVERIFY(locker.waitForFinished(10000));
    QCOMPARE(locker.exitCode(), 0);
    checkDatabase(database, QStringLiteral("none"), 0);
}

void TestE2eFailures::storeFailsThenSucceeds_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("message");
    QTest::newRow("database locked by another program") << "locked"
                                                        << "locked by another program";
    QTest::newRow("disk full") << "full"
                               << "is full";
}

void TestE2eFailures::storeFailsThenSucceeds()
{
    QFETCH(QString, cause);
    QFETCH(QString, message);
    const bool full = cause == QLatin1String("full");
    if (full && !g_noMounts.isEmpty())
        QSKIP(qPrintable(QStringLiteral("a full disk needs a mount of its own: ") + g_noMounts));

    ProgramFolder folder;
    if (full)
        QVERIFY(mountFolder(folder, 2048));
    const auto unmount = qScopeGuard([&] {
        if (full)
            unmountFolder(folder);
    });
    folder.copyProgramFiles();
    seedDatabase(folder);
    const QString database = folder.file(QStringLiteral("wyData.wyb"));

    ProgramRun run(*m_session, folder.path());
    QVERIFY(run.start());
    const QString mainWindow = m_session->waitForWindow(QStringLiteral("Ploxen Tasklume"));
    QVERIFY2(!mainWindow.isEmpty(), qPrintable(run.output()));
    QTRY_VERIFY_WITH_TIMEOUT(run.request("rows tasks").contains("Seeded task"), 15000);

    // The cause, made while the program runs.
    QProcess locker;
    const QString filler = folder.file(QStringLiteral("filler"));
    if (full) {
        QFile file(filler);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray block(64 * 1024, 'x');
        while (file.write(block) == block.size() && file.flush()) {
        }
        // Whatever room is left goes in smaller pieces.
        const QByteArray small(512, 'x');
        while (file.write(small) == small.size() && file.flush()) {
        }
        file.close();
    } else {
        locker.start(QStringLiteral(TASKLUME_STORAGE_DRIVER),
                     {QStringLiteral("lock"), database, QStringLiteral("write")});
        QVERIFY(locker.waitForStarted(5000));
        QVERIFY2(holdsLock(locker), locker.readAllStandardError().constData());
    }

    // The user adds a task.
    const QString text = QStringLiteral("Typed while it could not be stored");
    press(mainWindow, QStringLiteral("Return"));
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"), text});
    QTRY_COMPARE_WITH_TIMEOUT(run.request("editing tasks"), text.toUtf8() + '\n', 10000);
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("key"), QStringLiteral("ctrl+Return")});

    const QByteArray boxes = waitForBoxes(run);
    QVERIFY2(!boxes.isEmpty(), qPrintable(run.output()));
    const QString box = QString::fromUtf8(boxes).trimmed();
    QVERIFY2(box.startsWith(QStringLiteral("Ploxen Tasklume\t")), qPrintable(box));
    QVERIFY2(box.contains(message), qPrintable(box));
    QVERIFY2(box.contains(database), qPrintable(box));
    const QString window = boxWindow(mainWindow);
    QVERIFY(!window.isEmpty());
    press(window, QStringLiteral("Return"));
    QCOMPARE(run.process().state(), QProcess::Running);

    // Nothing was stored, and the list shows no task that is not in the database.
    QTRY_VERIFY_WITH_TIMEOUT(run.request("boxes").isEmpty(), 5000);
    checkDatabase(database, text, 0);

    // The cause goes; the editor holds the text again, and Ctrl+Enter stores it.
    if (full) {
        QVERIFY(QFile::remove(filler));
    } else {
        locker.closeWriteChannel();
        QVERIFY(locker.waitForFinished(10000));
    }
    QTRY_COMPARE_WITH_TIMEOUT(run.request("editing tasks"), text.toUtf8() + '\n', 5000);
    QVERIFY(m_session->waitUntilActive(mainWindow));
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("key"), QStringLiteral("ctrl+Return")});
    QByteArray rows;
    QDeadlineTimer deadline(10000);
    while (!rows.contains(text.toUtf8()) && !deadline.hasExpired()) {
        QTest::qWait(200);
        rows = run.request("rows tasks");
    }
    QVERIFY2(rows.contains("0\t\t" + text.toUtf8()), rows.constData());
    QCOMPARE(run.request("boxes"), QByteArray());
    checkDatabase(database, text, 1);

    press(mainWindow, QStringLiteral("alt+F4"));
    QVERIFY(run.waitForEnd(15000));
    checkEnded(run, 0);
    checkDatabase(database, text, 1);
}

void TestE2eFailures::settingsOnFullDiskStayWhole()
{
    // The settings file is replaced as a whole or not at all.
    if (!g_noMounts.isEmpty())
        QSKIP(qPrintable(QStringLiteral("a full disk needs a mount of its own: ") + g_noMounts));
    ProgramFolder folder;
    QVERIFY(mountFolder(folder, 256));
    const auto unmount = qScopeGuard([&] { unmountFolder(folder); });
    const IniFile ini(folder.file(QStringLiteral("wyConf.ini")));
    ini.writeInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 33);
    ini.writeBool(QStringLiteral("task"), QStringLiteral("viewListEn"), true);
    const QByteArray before = readFile(ini.path());

    QFile filler(folder.file(QStringLiteral("filler")));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();

    QString message;
    try {
        ini.writeString(QStringLiteral("option"), QStringLiteral("visitWeb"),
                        QString(64 * 1024, QLatin1Char('y')));
    } catch (const TasklumeError &error) {
        message = error.text();
    }
    // It names the file and the cause.
    QVERIFY2(message.contains(ini.path()), qPrintable(message));
    QVERIFY2(message.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))), qPrintable(message));
    QCOMPARE(readFile(ini.path()), before);
    QCOMPARE(ini.readInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 0), 33);
    // No piece of the new file is left beside it.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    QCOMPARE(fileMode(ini.path()), 0600);
}

void TestE2eFailures::fileFillingTheDiskStoresNothing_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::newRow("restore") << QStringList{QStringLiteral("restore"),
                                            QStringLiteral("--replace=none")};
    QTest::newRow("import") << QStringList{QStringLiteral("import")};
}

void TestE2eFailures::fileFillingTheDiskStoresNothing()
{
    // A restore or an import that fills the disk is undone whole; the one line says the disk
    // is full and that nothing of the file was stored, never that some items stay.
    QFETCH(QStringList, command);
    if (!g_noMounts.isEmpty())
        QSKIP(qPrintable(QStringLiteral("a full disk needs a mount of its own: ") + g_noMounts));

    // A backup of more than the small disk below holds, made by the companion.
    QTemporaryDir source;
    QVERIFY(source.isValid());
    {
        QSqlDatabase db =
            Database::open(source.filePath(QStringLiteral("wyData.wyb")), QStringLiteral("source"));
        QVERIFY(db.transaction());
        for (int i = 0; i < 3000; ++i)
            insertTask(db,
                       Row{key(100 + i), QStringLiteral("root"),
                           QStringLiteral("Restored task %1 ").arg(i) +
                               QString::fromLatin1(QByteArray(1000, char('a' + i % 26)).toHex())});
        QVERIFY(db.commit());
    }
    Database::close(QStringLiteral("source"));
    const QString backup = source.filePath(QStringLiteral("big.wyx"));
    const auto companion = [](const QString &home, const QStringList &arguments) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TASKLUME_HOME"), home);
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TASKLUME_CLI), arguments);
        process.waitForFinished(120000);
        return std::make_pair(process.exitStatus() == QProcess::NormalExit ? process.exitCode()
                                                                           : -1,
                              QString::fromUtf8(process.readAllStandardError()));
    };
    const auto made = companion(source.path(), {QStringLiteral("backup"), backup});
    QVERIFY2(made.first == 0, qPrintable(made.second));

    ProgramFolder folder;
    QVERIFY(mountFolder(folder, 1024));
    const auto unmount = qScopeGuard([&] { unmountFolder(folder); });
    seedDatabase(folder);
    const QString database = folder.file(QStringLiteral("wyData.wyb"));

    const auto run = companion(folder.path(), command << backup);
    QCOMPARE(run.first, 1);
    QVERIFY2(run.second.contains(QStringLiteral("is full")), qPrintable(run.second));
    QVERIFY2(run.second.contains(QStringLiteral("Nothing of the file was stored")),
             qPrintable(run.second));
    QVERIFY2(!run.second.contains(QStringLiteral("stay")), qPrintable(run.second));
    QCOMPARE(run.second.count(QLatin1Char('\n')), 1);
    checkDatabase(database, QStringLiteral("Seeded task"), 1);
    {
        QSqlDatabase db = Database::open(database, QStringLiteral("count"));
        QCOMPARE(queryValue(db, QStringLiteral("select count(*) from tasks")).toInt(), 1);
    }
    Database::close(QStringLiteral("count"));
}

int main(int argc, char *argv[])
{
    enterPrivateMounts();
    QCoreApplication app(argc, argv);
    TestE2eFailures test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_e2e_failures.moc"
