// What the command line writes (backups, exports, reports) is the user's alone, also in a
// folder other local users may write (a sticky 1777 folder such as /tmp): a link another user
// put there is never followed, another user's file there is never replaced, a link of the
// user's own is followed only to a file of the user's own, and every file written is readable
// by its owner only whatever the umask. Two real local users are made for the run (root only)
// and removed at its end.
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

struct Account
{
    QString name;
    uid_t uid = 0;
    gid_t gid = 0;
    QString home;
};

struct Result
{
    int status = -1;
    QString err;
};

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void giveTo(const QString &path, const Account &owner, int mode)
{
    QVERIFY(::chown(QFile::encodeName(path).constData(), owner.uid, owner.gid) == 0);
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
}

void writeAs(const QString &path, const QByteArray &bytes, const Account &owner, int mode)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    giveTo(path, owner, mode);
}

void linkAs(const QString &target, const QString &link, const Account &owner)
{
    QVERIFY(QFile::link(target, link));
    QVERIFY(::lchown(QFile::encodeName(link).constData(), owner.uid, owner.gid) == 0);
}

} // namespace

class TestCliSharedFolders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void plantedLinkIsNotFollowed_data();
    void plantedLinkIsNotFollowed();
    void otherUsersFileInSharedFolderStays_data();
    void otherUsersFileInSharedFolderStays();
    void ownLinkReplacesOwnFileOnly_data();
    void ownLinkReplacesOwnFileOnly();
    void everyFileIsTheOwnersAlone_data();
    void everyFileIsTheOwnersAlone();

private:
    // Runs tasklume-cli as the account (root runs it directly) under the umask, on the
    // account's data folder.
    Result runAs(const Account &who, const QStringList &arguments, int umask = 022) const;
    const Account &victim(const QString &which) const
    {
        return which == QStringLiteral("root") ? m_root : m_user;
    }
    QString dataFolder(const Account &who) const
    {
        return m_work.filePath(who.name + QStringLiteral("-data"));
    }
    QString privateFolder(const Account &who) const
    {
        return m_work.filePath(who.name + QStringLiteral("-private"));
    }
    void addVictimRows() const;

    QTemporaryDir m_work;
    QString m_shared;
    Account m_root;
    Account m_user;     // a user whose files are at stake
    Account m_intruder; // another local user
    QStringList m_made;
};

void TestCliSharedFolders::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("acting as other local users needs root");
    for (const char *tool : {"useradd", "userdel", "setpriv"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool),
                                           {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"),
                                            QStringLiteral("/sbin"), QStringLiteral("/bin")})
                .isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
    QVERIFY(m_work.isValid());
    ::chmod(QFile::encodeName(m_work.path()).constData(), 0755);
    m_root = {QStringLiteral("root"), 0, 0, QDir::homePath()};
    const QString stem = QStringLiteral("tlsf%1").arg(::getpid() % 100000);
    for (Account *account : {&m_user, &m_intruder}) {
        account->name = stem + (account == &m_user ? QStringLiteral("v") : QStringLiteral("i"));
        QProcess add;
        add.start(QStringLiteral("useradd"), {QStringLiteral("-m"), QStringLiteral("-s"),
                                              QStringLiteral("/usr/sbin/nologin"), account->name});
        QVERIFY(add.waitForFinished(30000));
        QVERIFY2(add.exitCode() == 0, add.readAllStandardError().constData());
        m_made.append(account->name);
        const struct passwd *entry = ::getpwnam(account->name.toLocal8Bit().constData());
        QVERIFY(entry != nullptr);
        account->uid = entry->pw_uid;
        account->gid = entry->pw_gid;
        account->home = QString::fromLocal8Bit(entry->pw_dir);
    }
    // The folder every local user may write, as /tmp.
    m_shared = m_work.filePath(QStringLiteral("shared"));
    QVERIFY(QDir().mkpath(m_shared));
    QVERIFY(::chmod(QFile::encodeName(m_shared).constData(), 01777) == 0);
    // Each victim's lists: a database with one task.
    for (const Account *who : {&m_root, &m_user}) {
        QVERIFY(QDir().mkpath(dataFolder(*who)));
        giveTo(dataFolder(*who), *who, 0700);
        QVERIFY(QDir().mkpath(privateFolder(*who)));
        giveTo(privateFolder(*who), *who, 0700);
        const Result added = runAs(*who, {QStringLiteral("add"), QStringLiteral("task"),
                                          QStringLiteral("The safe's code is 1234")});
        QVERIFY2(added.status == 0, qPrintable(added.err));
    }
}

void TestCliSharedFolders::cleanupTestCase()
{
    for (const QString &name : std::as_const(m_made)) {
        QProcess remove;
        remove.start(QStringLiteral("userdel"), {QStringLiteral("-r"), name});
        remove.waitForFinished(30000);
        if (remove.exitCode() != 0)
            qWarning("could not remove the test user %s", qPrintable(name));
    }
}

void TestCliSharedFolders::init()
{
    // Each case starts from an empty shared folder.
    const QStringList names = QDir(m_shared).entryList(QDir::AllEntries | QDir::Hidden |
                                                       QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names)
        QFile::remove(m_shared + u'/' + name);
}

void TestCliSharedFolders::cleanup()
{
    for (const Account *who : {&m_root, &m_user})
        QFile::remove(privateFolder(*who) + QStringLiteral("/precious"));
}

Result TestCliSharedFolders::runAs(const Account &who, const QStringList &arguments,
                                   int umask) const
{
    QStringList line;
    if (who.uid != 0)
        line << QStringLiteral("--reuid=%1").arg(who.uid)
             << QStringLiteral("--regid=%1").arg(who.gid) << QStringLiteral("--clear-groups");
    line << QStringLiteral("--") << QStringLiteral("/usr/bin/env") << QStringLiteral("-i")
         << QStringLiteral("PATH=/usr/bin:/bin") << QStringLiteral("HOME=") + who.home
         << QStringLiteral("LANG=C.UTF-8")
         << QStringLiteral("TASKLUME_HOME=") + dataFolder(who)
         // The sanitizers' leak check cannot inspect a process of another user.
         << QStringLiteral("ASAN_OPTIONS=detect_leaks=0") << QStringLiteral("/bin/sh")
         << QStringLiteral("-c")
         << QStringLiteral("umask %1; exec \"$0\" \"$@\"").arg(umask, 3, 8, QLatin1Char('0'))
         << QStringLiteral(TASKLUME_CLI);
    line += arguments;
    QProcess process;
    process.start(QStringLiteral("setpriv"), line);
    Result result;
    if (!process.waitForStarted(10000) || !process.waitForFinished(60000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

namespace {
// Every command that writes a file the user names, with the file's name.
const struct
{
    const char *name;
    const char *file;
    QStringList arguments; // the file's name follows
} kWriters[] = {
    {"backup", "b.wyx", {QStringLiteral("backup")}},
    {"export ics", "e.ics", {QStringLiteral("export")}},
    {"report text", "r.txt", {QStringLiteral("report"), QStringLiteral("tasks")}},
    {"report html",
     "r.html",
     {QStringLiteral("report"), QStringLiteral("memos"), QStringLiteral("--format=html")}},
};
} // namespace

void TestCliSharedFolders::addVictimRows() const
{
    QTest::addColumn<QString>("victim");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("arguments");
    for (const char *who : {"root", "user"}) {
        for (const auto &writer : kWriters)
            QTest::addRow("%s %s", who, writer.name)
                << QString::fromLatin1(who) << QString::fromLatin1(writer.file) << writer.arguments;
    }
}

void TestCliSharedFolders::plantedLinkIsNotFollowed_data()
{
    addVictimRows();
}

void TestCliSharedFolders::plantedLinkIsNotFollowed()
{
    // The intruder links the name the victim will write to a file of the victim's.
    QFETCH(QString, victim);
    QFETCH(QString, file);
    QFETCH(QStringList, arguments);
    const Account &who = this->victim(victim);
    const QString precious = privateFolder(who) + QStringLiteral("/precious");
    writeAs(precious, "years of notes\n", who, 0600);
    const QString planted = m_shared + u'/' + file;
    linkAs(precious, planted, m_intruder);

    const Result run = runAs(who, arguments << planted);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(QStringLiteral("is a link")) &&
                 run.err.contains(QStringLiteral("nothing was written")),
             qPrintable(run.err));
    QCOMPARE(run.err.count(u'\n'), 1);
    QCOMPARE(contentsOf(precious), QByteArray("years of notes\n"));
    QVERIFY(QFileInfo(planted).isSymLink());
    // Nothing else was left in the shared folder.
    QCOMPARE(QDir(m_shared).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                      QDir::NoDotAndDotDot),
             QStringList{file});
}

void TestCliSharedFolders::otherUsersFileInSharedFolderStays_data()
{
    addVictimRows();
}

void TestCliSharedFolders::otherUsersFileInSharedFolderStays()
{
    // A file of the intruder's under the name the victim writes: root could replace it, and
    // the intruder would have a file in their name that they did not write.
    QFETCH(QString, victim);
    QFETCH(QString, file);
    QFETCH(QStringList, arguments);
    const Account &who = this->victim(victim);
    const QString theirs = m_shared + u'/' + file;
    writeAs(theirs, "the intruder's\n", m_intruder, 0666);

    const Result run = runAs(who, arguments << theirs);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(QStringLiteral("nothing was written")), qPrintable(run.err));
    QCOMPARE(contentsOf(theirs), QByteArray("the intruder's\n"));
    struct stat info;
    QCOMPARE(::lstat(QFile::encodeName(theirs).constData(), &info), 0);
    QCOMPARE(info.st_uid, m_intruder.uid);
}

void TestCliSharedFolders::ownLinkReplacesOwnFileOnly_data()
{
    QTest::addColumn<QString>("victim");
    QTest::addColumn<bool>("targetIsOwn");
    for (const char *who : {"root", "user"}) {
        QTest::addRow("%s to own file", who) << QString::fromLatin1(who) << true;
        QTest::addRow("%s to intruder's file", who) << QString::fromLatin1(who) << false;
    }
}

void TestCliSharedFolders::ownLinkReplacesOwnFileOnly()
{
    // The victim's own link in the shared folder: a file of the victim's behind it is replaced
    // (the link stays a link), a file of someone else's is not.
    QFETCH(QString, victim);
    QFETCH(bool, targetIsOwn);
    const Account &who = this->victim(victim);
    const QString target = targetIsOwn ? privateFolder(who) + QStringLiteral("/precious")
                                       : m_shared + QStringLiteral("/intruders.wyx");
    writeAs(target, "before\n", targetIsOwn ? who : m_intruder, 0644);
    const QString link = m_shared + QStringLiteral("/b.wyx");
    linkAs(target, link, who);

    const Result run = runAs(who, {QStringLiteral("backup"), link});
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), target);
    struct stat info;
    QCOMPARE(::lstat(QFile::encodeName(target).constData(), &info), 0);
    if (targetIsOwn) {
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY(contentsOf(target) != "before\n");
        QCOMPARE(int(info.st_mode & 07777), 0600);
        QCOMPARE(info.st_uid, who.uid);
    } else {
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("is a link to")) &&
                     run.err.contains(m_intruder.name),
                 qPrintable(run.err));
        QCOMPARE(contentsOf(target), QByteArray("before\n"));
        QCOMPARE(info.st_uid, m_intruder.uid);
    }
}

void TestCliSharedFolders::everyFileIsTheOwnersAlone_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("umask");
    QTest::addColumn<bool>("existing");
    for (const auto &writer : kWriters) {
        for (const int umask : {0, 022}) {
            for (const bool existing : {false, true})
                QTest::addRow("%s umask %03o %s", writer.name, umask, existing ? "replaced" : "new")
                    << QString::fromLatin1(writer.file) << writer.arguments << umask << existing;
        }
    }
}

void TestCliSharedFolders::everyFileIsTheOwnersAlone()
{
    QFETCH(QString, file);
    QFETCH(QStringList, arguments);
    QFETCH(int, umask);
    QFETCH(bool, existing);
    const QString path = m_shared + u'/' + file;
    if (existing)
        writeAs(path, "readable by all\n", m_user, 0666);
    const Result run = runAs(m_user, arguments << path, umask);
    QVERIFY2(run.status == 0, qPrintable(run.err));
    struct stat info;
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &info), 0);
    QVERIFY(S_ISREG(info.st_mode));
    QCOMPARE(int(info.st_mode & 07777), 0600);
    QCOMPARE(info.st_uid, m_user.uid);
    // The intruder cannot read it.
    QProcess reader;
    reader.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=%1").arg(m_intruder.uid),
                                             QStringLiteral("--regid=%1").arg(m_intruder.gid),
                                             QStringLiteral("--clear-groups"), QStringLiteral("--"),
                                             QStringLiteral("/bin/cat"), path});
    QVERIFY(reader.waitForFinished(10000));
    QVERIFY(reader.exitCode() != 0);
    QVERIFY(reader.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestCliSharedFolders)
#include "test_cli_shared_folders.moc"
