// Where an installed program keeps the lists: the companion laid out as the package installs
// it (…/usr/lib/tasklume/tasklume-cli) keeps them in the user's data folder, for root as for
// an ordinary user, and writes nothing beside itself; a portable copy in a folder of the
// user's own keeps them beside itself as before. Root only (it runs as another user too).
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Result
{
    int status = -1;
    QString out;
    QString err;
};

QStringList listing(const QString &folder)
{
    QStringList names;
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries)
        names.append(entry.fileName());
    return names;
}

uid_t freeUserId()
{
    uid_t id = 64300;
    while (::getpwuid(id) != nullptr)
        ++id;
    return id;
}

} // namespace

class TestCliInstalled : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void listsGoWhereTheInstallWants_data();
    void listsGoWhereTheInstallWants();

private:
    Result run(uid_t uid, const QString &home, const QString &program,
               const QStringList &arguments) const;

    QTemporaryDir m_work;
    uid_t m_user = 0;
};

void TestCliInstalled::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("running the companion as root and as another user needs root");
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("setpriv is not installed");
    QVERIFY(m_work.isValid());
    ::chmod(QFile::encodeName(m_work.path()).constData(), 0755);
    m_user = freeUserId();
}

Result TestCliInstalled::run(uid_t uid, const QString &home, const QString &program,
                             const QStringList &arguments) const
{
    QStringList line;
    if (uid != 0)
        line << QStringLiteral("--reuid=%1").arg(uid) << QStringLiteral("--regid=%1").arg(uid)
             << QStringLiteral("--clear-groups");
    line << QStringLiteral("--") << QStringLiteral("/usr/bin/env") << QStringLiteral("-i")
         << QStringLiteral("PATH=/usr/bin:/bin") << QStringLiteral("HOME=") + home
         << QStringLiteral("LANG=C.UTF-8")
         // The sanitizers' leak check cannot inspect a process of another user.
         << QStringLiteral("ASAN_OPTIONS=detect_leaks=0") << program;
    line += arguments;
    QProcess process;
    process.start(QStringLiteral("setpriv"), line);
    Result result;
    if (!process.waitForStarted(10000) || !process.waitForFinished(60000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

void TestCliInstalled::listsGoWhereTheInstallWants_data()
{
    // Who runs it, where the program lies (below the work folder), who owns that folder and
    // its mode, whether an earlier run left a database there, and whether the lists are kept
    // beside the program.
    QTest::addColumn<bool>("asRoot");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<bool>("folderIsUsers");
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<bool>("strayDatabase");
    QTest::addColumn<bool>("besideProgram");
    const QString package = QStringLiteral("root/usr/lib/tasklume");
    QTest::newRow("root, package") << true << package << true << 0755 << false << false;
    QTest::newRow("root, package with a database an earlier run left")
        << true << package << true << 0755 << true << false;
    QTest::newRow("root, local install")
        << true << QStringLiteral("local/usr/local/lib/tasklume") << true << 0755 << false << false;
    QTest::newRow("root, portable copy")
        << true << QStringLiteral("portable") << true << 0755 << false << true;
    QTest::newRow("user, package") << false << package << false << 0755 << false << false;
    QTest::newRow("user, own copy")
        << false << QStringLiteral("own") << true << 0755 << false << true;
    QTest::newRow("user, own install in ~/.local")
        << false << QStringLiteral("home/.local/lib/tasklume") << true << 0755 << false << true;
    QTest::newRow("user, shared folder of root's that anybody may write")
        << false << QStringLiteral("shared") << false << 0777 << false << false;
}

void TestCliInstalled::listsGoWhereTheInstallWants()
{
    QFETCH(bool, asRoot);
    QFETCH(QString, layout);
    QFETCH(bool, folderIsUsers);
    QFETCH(int, folderMode);
    QFETCH(bool, strayDatabase);
    QFETCH(bool, besideProgram);
    QTemporaryDir case_(m_work.filePath(QStringLiteral("case-XXXXXX")));
    QVERIFY(case_.isValid());
    ::chmod(QFile::encodeName(case_.path()).constData(), 0755);
    const uid_t uid = asRoot ? 0 : m_user;

    const QString home = case_.filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(home));
    const QString folder = case_.filePath(layout);
    QVERIFY(QDir().mkpath(folder));
    const QString program = folder + QStringLiteral("/tasklume-cli");
    QVERIFY(QFile::copy(QStringLiteral(TASKLUME_CLI), program));
    if (strayDatabase) {
        QFile stray(folder + QStringLiteral("/wyData.wyb"));
        QVERIFY(stray.open(QIODevice::WriteOnly));
    }
    // Every folder on the way is the test's (root's) and open to all; the user's home, and
    // the program's folder when it is to be the user's, are the user's.
    for (QString path = folder; path.startsWith(case_.path()) && path != case_.path();
         path = QFileInfo(path).absolutePath())
        ::chmod(QFile::encodeName(path).constData(), 0755);
    QVERIFY(::chown(QFile::encodeName(home).constData(), uid, uid) == 0);
    if (folderIsUsers)
        QVERIFY(::chown(QFile::encodeName(folder).constData(), uid, uid) == 0);
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), mode_t(folderMode)) == 0);
    if (layout.startsWith(QLatin1String("home/")))
        QVERIFY(::chown(QFile::encodeName(home + QStringLiteral("/.local")).constData(), uid,
                        uid) == 0 &&
                ::chown(QFile::encodeName(home + QStringLiteral("/.local/lib")).constData(), uid,
                        uid) == 0);
    const QStringList before = listing(folder);

    const Result added =
        run(uid, home, program,
            {QStringLiteral("add"), QStringLiteral("task"), QStringLiteral("Water the plants")});
    QVERIFY2(added.status == 0, qPrintable(added.err));
    const Result listed =
        run(uid, home, program, {QStringLiteral("list"), QStringLiteral("tasks")});
    QVERIFY2(listed.status == 0, qPrintable(listed.err));
    QVERIFY2(listed.out.contains(QStringLiteral("Water the plants")), qPrintable(listed.out));

    const QString dataFolder = home + QStringLiteral("/.local/share/ploxen-tasklume");
    const QString database = (besideProgram ? folder : dataFolder) + QStringLiteral("/wyData.wyb");
    struct stat info;
    QVERIFY2(::stat(QFile::encodeName(database).constData(), &info) == 0, qPrintable(database));
    QCOMPARE(info.st_uid, uid);
    QVERIFY(info.st_size > 0);
    if (!besideProgram) {
        // Nothing was written beside the installed program.
        QCOMPARE(listing(folder), before);
        if (strayDatabase)
            QCOMPARE(QFileInfo(folder + QStringLiteral("/wyData.wyb")).size(), 0);
        QCOMPARE(::stat(QFile::encodeName(dataFolder).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0700);
    } else {
        QVERIFY(!QFile::exists(dataFolder));
    }
    // The help names the folder in use.
    const Result help = run(uid, home, program, {QStringLiteral("--help")});
    QVERIFY2(help.out.contains(besideProgram ? folder : dataFolder), qPrintable(help.out));
}

QTEST_GUILESS_MAIN(TestCliInstalled)
#include "test_cli_installed.moc"
