// The Debian package as a user gets it: cpack makes it from this build folder, dpkg-deb
// unpacks it into a staging root, and two ordinary users with fresh home folders run the
// program (on Xvfb) and tasklume-cli from there. Their lists are made in their own data
// folders, readable by them only, and nothing is written into the installed files.
#include "e2e/E2eSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kInstall = QStringLiteral("usr/lib/tasklume/");

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

Result runProcess(const QString &program, const QStringList &arguments,
                  const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
                  int timeoutMs = 60000)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    Result result;
    if (!process.waitForStarted(10000))
        return result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(3000);
    }
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

// A user id no account has, so the test's users own nothing but what the test gives them.
uid_t freeUserId(uid_t from)
{
    for (uid_t id = from; id < from + 1000; ++id) {
        if (!::getpwuid(id))
            return id;
    }
    return from;
}

// Every path under a folder with its kind, size, mode and change time.
QStringList listing(const QString &root)
{
    QStringList lines;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info
        {};
        ::lstat(QFile::encodeName(path).constData(), &info);
        lines.append(QStringLiteral("%1 %2 %3 %4.%5")
                         .arg(path.mid(root.size()))
                         .arg(info.st_size)
                         .arg(info.st_mode, 0, 8)
                         .arg(info.st_mtim.tv_sec)
                         .arg(info.st_mtim.tv_nsec));
    }
    lines.sort();
    return lines;
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

} // namespace

// One ordinary user with a fresh home and runtime folder.
class TestUser
{
public:
    TestUser(uid_t id, const QString &base) : m_id(id)
    {
        m_home = base + QStringLiteral("/home-%1").arg(id);
        m_runtime = base + QStringLiteral("/run-%1").arg(id);
        for (const QString &path : {m_home, m_runtime}) {
            QDir().mkpath(path);
            ::chmod(QFile::encodeName(path).constData(), 0700);
            if (::chown(QFile::encodeName(path).constData(), id, id) != 0)
                qWarning("cannot give %s to the test user", qPrintable(path));
        }
    }
    uid_t id() const { return m_id; }
    const QString &home() const { return m_home; }

    // The command line that runs a program as this user, with a clean environment.
    QStringList commandLine(const QString &program, const QStringList &arguments,
                            const QString &display, const QStringList &extraEnv = {}) const
    {
        QStringList line{QStringLiteral("--reuid=%1").arg(m_id),
                         QStringLiteral("--regid=%1").arg(m_id), QStringLiteral("--clear-groups"),
                         QStringLiteral("--"), QStringLiteral("/usr/bin/env"), QStringLiteral("-i"),
                         QStringLiteral("PATH=/usr/bin:/bin"), QStringLiteral("HOME=") + m_home,
                         QStringLiteral("XDG_RUNTIME_DIR=") + m_runtime,
                         QStringLiteral("LANG=C.UTF-8"),
                         // The sanitizers' leak check cannot inspect a process of another user.
                         QStringLiteral("ASAN_OPTIONS=detect_leaks=0")};
        if (!display.isEmpty())
            line.append(QStringLiteral("DISPLAY=") + display);
        line += extraEnv;
        line.append(program);
        line += arguments;
        return line;
    }

    Result run(const QString &program, const QStringList &arguments,
               const QStringList &extraEnv = {}) const
    {
        return runProcess(QStringLiteral("setpriv"),
                          commandLine(program, arguments, QString(), extraEnv));
    }

private:
    uid_t m_id;
    QString m_home;
    QString m_runtime;
};

class TestPackage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void packageHoldsTheInstalledFiles_data();
    void packageHoldsTheInstalledFiles();
    void onlyProgramsLieInTheProgramsFolder();
    void dependenciesComeFromTheLibraries();
    void waylandPlatformIsRecommended();
    void desktopEntryStartsTheInstalledProgram();
    void metainfoIsValid();
    void lintianFindsNoMisplacedFiles();
    void programKeepsListsInTheUsersDataFolder();
    void secondUserGetsAListOfTheirOwn();

private:
    QString staged(const QString &path) const { return m_root + QLatin1Char('/') + path; }
    QString dataFolder(const TestUser &user) const
    {
        return user.home() + QStringLiteral("/.local/share/ploxen-tasklume/");
    }

    QTemporaryDir m_work;
    QString m_deb;
    QString m_root;
    QStringList m_installed;
    std::unique_ptr<TestUser> m_first;
    std::unique_ptr<TestUser> m_second;
};

void TestPackage::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("running the program as other users needs root");
    for (const char *tool : {"dpkg-deb", "dpkg-shlibdeps", "setpriv"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
    QVERIFY(m_work.isValid());
    // The users must reach the staging root.
    ::chmod(QFile::encodeName(m_work.path()).constData(), 0755);

    // The package of this build folder, or of the one TASKLUME_PACKAGE_BUILD_DIR names (a
    // Release build, as the package is made).
    QString buildDir = qEnvironmentVariable("TASKLUME_PACKAGE_BUILD_DIR");
    if (buildDir.isEmpty())
        buildDir = QStringLiteral(TASKLUME_BUILD_DIR);
    const QString out = m_work.filePath(QStringLiteral("out"));
    const Result made =
        runProcess(QStringLiteral(TASKLUME_CPACK),
                   {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                    buildDir + QStringLiteral("/CPackConfig.cmake"), QStringLiteral("-B"), out},
                   QProcessEnvironment::systemEnvironment(), 600000);
    QVERIFY2(made.exitCode == 0, qPrintable(made.out + made.err));
    const QStringList debs = QDir(out).entryList({QStringLiteral("*.deb")}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    m_deb = out + QLatin1Char('/') + debs.first();

    m_root = m_work.filePath(QStringLiteral("root"));
    const Result unpacked =
        runProcess(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), m_deb, m_root});
    QVERIFY2(unpacked.exitCode == 0, qPrintable(unpacked.err));
    ::chmod(QFile::encodeName(m_root).constData(), 0755);
    m_installed = listing(m_root);

    m_first = std::make_unique<TestUser>(freeUserId(64100), m_work.path());
    m_second = std::make_unique<TestUser>(freeUserId(m_first->id() + 1), m_work.path());
}

void TestPackage::packageHoldsTheInstalledFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");
    const auto row = [](const QString &path, bool executable = false) {
        QTest::newRow(qPrintable(path)) << path << executable;
    };
    row(QStringLiteral("usr/lib/tasklume/tasklume"), true);
    row(QStringLiteral("usr/lib/tasklume/tasklume-cli"), true);
    // Both on the PATH, through links into the program's folder.
    row(QStringLiteral("usr/bin/tasklume"), true);
    row(QStringLiteral("usr/bin/tasklume-cli"), true);
    // What the program only reads: architecture-independent data.
    row(QStringLiteral("usr/share/tasklume/Images/appIcon.png"));
    row(QStringLiteral("usr/share/tasklume/Images/itemBackground0.bmp"));
    row(QStringLiteral("usr/share/tasklume/Sounds/Alarm.wav"));
    row(QStringLiteral("usr/share/tasklume/Tasklume-help.html"));
    // The menu entry is named after the software-centre component.
    row(QStringLiteral("usr/share/applications/com.example.ploxen.Tasklume.desktop"));
    row(QStringLiteral("usr/share/metainfo/com.example.ploxen.Tasklume.metainfo.xml"));
    row(QStringLiteral("usr/share/man/man1/tasklume.1.gz"));
    row(QStringLiteral("usr/share/man/man1/tasklume-cli.1.gz"));
    row(QStringLiteral("usr/share/doc/tasklume/copyright"));
    row(QStringLiteral("usr/share/doc/tasklume/changelog.gz"));
    row(QStringLiteral("usr/share/icons/hicolor/scalable/apps/tasklume.svg"));
    row(QStringLiteral("usr/share/icons/hicolor/symbolic/apps/tasklume-symbolic.svg"));
    for (int size : {16, 22, 32, 48, 64, 128, 256})
        row(QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/tasklume.png").arg(size));
}

void TestPackage::packageHoldsTheInstalledFiles()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);
    const QFileInfo info(staged(path));
    QVERIFY2(info.exists(), qPrintable(path));
    QVERIFY(info.size() > 0);
    QCOMPARE(info.isExecutable(), executable);
    // Links stay inside the package.
    if (info.isSymLink())
        QVERIFY2(info.canonicalFilePath().startsWith(m_root + QLatin1Char('/') + kInstall),
                 qPrintable(info.symLinkTarget()));
}

void TestPackage::onlyProgramsLieInTheProgramsFolder()
{
    const QStringList entries =
        QDir(staged(kInstall)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    QCOMPARE(entries, (QStringList{QStringLiteral("tasklume"), QStringLiteral("tasklume-cli")}));
}

void TestPackage::dependenciesComeFromTheLibraries()
{
    const Result fields = runProcess(QStringLiteral("dpkg-deb"),
                                     {QStringLiteral("-f"), m_deb, QStringLiteral("Depends")});
    QCOMPARE(fields.exitCode, 0);
    // Found by dpkg-shlibdeps in the programs' libraries, and the plug-ins Qt loads.
    for (const char *package :
         {"libqt6widgets6", "libqt6sql6", "libc6", "libqt6sql6-sqlite", "qt6-qpa-plugins"})
        QVERIFY2(fields.out.contains(QLatin1String(package)), qPrintable(fields.out));
}

void TestPackage::waylandPlatformIsRecommended()
{
    const Result fields = runProcess(QStringLiteral("dpkg-deb"),
                                     {QStringLiteral("-f"), m_deb, QStringLiteral("Recommends")});
    QCOMPARE(fields.exitCode, 0);
    QStringList recommended;
    for (const QString &entry : fields.out.split(QLatin1Char(','), Qt::SkipEmptyParts))
        recommended.append(entry.trimmed());
    // So that a Wayland desktop runs the program natively.
    QVERIFY2(recommended.contains(QStringLiteral("qt6-wayland")), qPrintable(fields.out));
}

void TestPackage::desktopEntryStartsTheInstalledProgram()
{
    QFile entry(
        staged(QStringLiteral("usr/share/applications/com.example.ploxen.Tasklume.desktop")));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QByteArray text = entry.readAll();
    QVERIFY2(text.contains("\nExec=/usr/lib/tasklume/tasklume\n"), text.constData());
    QVERIFY2(text.contains("\nTryExec=/usr/lib/tasklume/tasklume\n"), text.constData());
    QVERIFY2(text.contains("\nIcon=tasklume\n"), text.constData());
    if (!QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate")).isEmpty()) {
        const Result valid =
            runProcess(QStringLiteral("desktop-file-validate"), {entry.fileName()});
        QVERIFY2(valid.exitCode == 0 && valid.out.isEmpty(), qPrintable(valid.out + valid.err));
    }
}

void TestPackage::metainfoIsValid()
{
    if (QStandardPaths::findExecutable(QStringLiteral("appstreamcli")).isEmpty())
        QSKIP("appstreamcli is not installed");
    const Result valid = runProcess(
        QStringLiteral("appstreamcli"),
        {QStringLiteral("validate"), QStringLiteral("--no-net"),
         staged(QStringLiteral("usr/share/metainfo/com.example.ploxen.Tasklume.metainfo.xml"))});
    QVERIFY2(valid.exitCode == 0, qPrintable(valid.out + valid.err));
}

void TestPackage::lintianFindsNoMisplacedFiles()
{
    if (QStandardPaths::findExecutable(QStringLiteral("lintian")).isEmpty())
        QSKIP("lintian is not installed");
    // Pictures and sound under /usr/lib, documents outside /usr/share/doc; the package's own
    // overrides count.
    const Result found = runProcess(
        QStringLiteral("lintian"),
        {QStringLiteral("--pedantic"), QStringLiteral("--tags"),
         QStringLiteral("image-file-in-usr-lib,package-contains-documentation-outside-usr-share-"
                        "doc,arch-independent-package-contains-binary-or-object,"
                        "package-installs-into-obsolete-dir"),
         m_deb},
        QProcessEnvironment::systemEnvironment(), 600000);
    QVERIFY2(found.exitCode == 0, qPrintable(found.out + found.err));
    QVERIFY2(found.out.trimmed().isEmpty(), qPrintable(found.out));
}

void TestPackage::programKeepsListsInTheUsersDataFolder()
{
    X11Session session;
    if (!session.isRunning())
        QSKIP("Xvfb is not available");
    const TestUser &user = *m_first;

    QProcess program;
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(
        QStringLiteral("setpriv"),
        user.commandLine(staged(QStringLiteral("usr/bin/tasklume")), {}, session.display()));
    QVERIFY(program.waitForStarted(5000));
    const QString window = session.waitForWindow(QStringLiteral("Ploxen Tasklume"), 60000);
    QVERIFY2(!window.isEmpty(), program.readAll().constData());
    // The program found its pictures in /usr/share/tasklume: its window carries its icon.
    int status = -1;
    const QString icon =
        session.run(QStringLiteral("xprop"),
                    {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_ICON")}, &status);
    QVERIFY2(status == 0 && icon.contains(QLatin1String("Icon (")), qPrintable(icon.left(300)));

    // The companion finds the same folder and asks the running program to store the item.
    const QString cli = staged(QStringLiteral("usr/bin/tasklume-cli"));
    const QStringList displayEnv{QStringLiteral("DISPLAY=") + session.display()};
    const Result added = user.run(
        cli, {QStringLiteral("add"), QStringLiteral("task"), QStringLiteral("Water the plants")},
        displayEnv);
    QVERIFY2(added.exitCode == 0, qPrintable(added.out + added.err));
    program.terminate();
    QVERIFY(program.waitForFinished(15000));

    const Result listed = user.run(cli, {QStringLiteral("list"), QStringLiteral("tasks")});
    QVERIFY2(listed.exitCode == 0, qPrintable(listed.err));
    QVERIFY2(listed.out.contains(QLatin1String("Water the plants")), qPrintable(listed.out));

    // The folder and its files are the user's alone.
    const QString folder = dataFolder(user);
    struct stat info
    {};
    QCOMPARE(::stat(QFile::encodeName(folder).constData(), &info), 0);
    QCOMPARE(info.st_uid, user.id());
    QCOMPARE(int(info.st_mode & 0777), 0700);
    for (const char *name : {"wyData.wyb", "wyConf.ini"}) {
        const QString path = folder + QLatin1String(name);
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(info.st_uid, user.id());
    }
    // Nothing was written beside the installed program.
    QCOMPARE(listing(m_root), m_installed);
}

void TestPackage::secondUserGetsAListOfTheirOwn()
{
    const TestUser &user = *m_second;
    const QString cli = staged(QStringLiteral("usr/bin/tasklume-cli"));
    const QString firstDatabase = dataFolder(*m_first) + QStringLiteral("wyData.wyb");
    const QByteArray firstBefore = fileHash(firstDatabase);

    // This user names a data home of their own.
    const QString dataHome = user.home() + QStringLiteral("/data");
    const QStringList env{QStringLiteral("XDG_DATA_HOME=") + dataHome};
    const Result help = user.run(cli, {QStringLiteral("--help")}, env);
    QCOMPARE(help.exitCode, 0);
    QVERIFY2(
        help.out.contains(
            QStringLiteral("In use: %1/ploxen-tasklume/ (the user's data folder)").arg(dataHome)),
        qPrintable(help.out));
    // Help only names the folder; it is made once the lists are.
    QVERIFY(!QFileInfo::exists(dataHome + QStringLiteral("/ploxen-tasklume")));

    const Result added = user.run(
        cli, {QStringLiteral("add"), QStringLiteral("task"), QStringLiteral("Feed the cat")}, env);
    QVERIFY2(added.exitCode == 0, qPrintable(added.out + added.err));
    const Result listed = user.run(cli, {QStringLiteral("list"), QStringLiteral("tasks")}, env);
    QVERIFY2(listed.exitCode == 0, qPrintable(listed.err));
    QVERIFY2(listed.out.contains(QLatin1String("Feed the cat")), qPrintable(listed.out));
    QVERIFY2(!listed.out.contains(QLatin1String("Water the plants")), qPrintable(listed.out));
    QVERIFY(QFileInfo::exists(dataHome + QStringLiteral("/ploxen-tasklume/wyData.wyb")));

    // The first user's list is as it was, and the installed files too.
    QVERIFY(!firstBefore.isEmpty());
    QCOMPARE(fileHash(firstDatabase), firstBefore);
    QCOMPARE(listing(m_root), m_installed);
}

QTEST_GUILESS_MAIN(TestPackage)
#include "test_package.moc"
