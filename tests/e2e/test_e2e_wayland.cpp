// The real program on a Wayland desktop: a headless weston, the program on Qt's Wayland
// platform (no X server anywhere, so no XWayland to fall back on). It opens its window as a
// native Wayland window known by the desktop file's name, tasklume-cli adds through it, and
// SIGTERM ends it as Exit does: the item stored, the window state saved, and the position
// saved by an earlier start on X11 kept (Wayland does not tell a program where its window is).
#include "app/SingleInstance.h"
#include "common/IniFile.h"
#include "common/Texts.h"
#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QPoint>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

namespace {
const QString kSection = QStringLiteral("form");
const QString kTask = QStringLiteral("Added on Wayland");

// Waits until the output a process wrote so far holds needle; returns all of it.
QByteArray waitForOutput(QProcess &process, QByteArray &seen, const QByteArray &needle,
                         int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!seen.contains(needle) && !deadline.hasExpired() &&
           process.state() == QProcess::Running) {
        process.waitForReadyRead(100);
        seen += process.readAll();
    }
    seen += process.readAll();
    return seen;
}
} // namespace

class TestE2eWayland : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void runsNativelyAndStoresItsStateOnSigterm_data();
    void runsNativelyAndStoresItsStateOnSigterm();
    void cleanupTestCase();

private:
    QProcessEnvironment waylandEnvironment(const QString &home) const;

    QTemporaryDir m_runtime;
    QString m_socket;
    QProcess m_weston;
};

void TestE2eWayland::initTestCase()
{
    const QString weston = QStandardPaths::findExecutable(QStringLiteral("weston"));
    if (weston.isEmpty())
        QSKIP("weston is not installed");
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                         QStringLiteral("/platforms"));
    if (platforms.entryList({QStringLiteral("libqwayland*")}).isEmpty())
        QSKIP("Qt's Wayland platform (qt6-wayland) is not installed");

    QVERIFY(m_runtime.isValid());
    ::chmod(QFile::encodeName(m_runtime.path()).constData(), 0700);
    m_socket = QStringLiteral("tasklume-test-%1").arg(::getpid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    m_weston.setProcessEnvironment(env);
    m_weston.setProcessChannelMode(QProcess::MergedChannels);
    m_weston.start(weston,
                   {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--use-pixman"),
                    QStringLiteral("--socket=") + m_socket, QStringLiteral("--width=1280"),
                    QStringLiteral("--height=900"), QStringLiteral("--idle-time=0")});
    QVERIFY(m_weston.waitForStarted(5000));
    const QString socketPath = m_runtime.filePath(m_socket);
    QDeadlineTimer deadline(20000);
    while (!QFileInfo::exists(socketPath) && !deadline.hasExpired() &&
           m_weston.state() == QProcess::Running)
        QTest::qWait(50);
    QVERIFY2(QFileInfo::exists(socketPath), m_weston.readAll().constData());

    // The channel of the program is named after the Wayland display and lies in the
    // runtime folder: this process asks it with the same environment.
    qputenv("WAYLAND_DISPLAY", m_socket.toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    qunsetenv("DISPLAY");
}

void TestE2eWayland::cleanupTestCase()
{
    if (m_weston.state() != QProcess::NotRunning) {
        m_weston.terminate();
        if (!m_weston.waitForFinished(10000)) {
            m_weston.kill();
            m_weston.waitForFinished(5000);
        }
    }
}

QProcessEnvironment TestE2eWayland::waylandEnvironment(const QString &home) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), m_socket);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    env.insert(QStringLiteral("TASKLUME_HOME"), home);
    return env;
}

void TestE2eWayland::runsNativelyAndStoresItsStateOnSigterm_data()
{
    // The window's position an earlier start saved, and the one expected after this run
    // (none: no "Left" and "Top").
    QTest::addColumn<QPoint>("before");
    QTest::addColumn<QPoint>("after");
    const QPoint none(INT_MIN, INT_MIN);
    // On X11, on a second monitor right of a 1280 pixel wide one: this desktop's one output
    // does not reach there, and the window is shown within it.
    QTest::newRow("position from X11 on another monitor") << QPoint(1500, 100) << QPoint(1500, 100);
    QTest::newRow("position from X11") << QPoint(442, 246) << QPoint(442, 246);
    // Never placed where positions are reported: none is made up.
    QTest::newRow("never placed") << none << none;
}

void TestE2eWayland::runsNativelyAndStoresItsStateOnSigterm()
{
    QFETCH(QPoint, before);
    QFETCH(QPoint, after);
    const QPoint none(INT_MIN, INT_MIN);
    ProgramFolder folder;
    folder.copyProgramFiles();
    const QString iniPath = folder.file(Texts::IniFileName);
    {
        const IniFile ini(iniPath);
        ini.writeInteger(kSection, QStringLiteral("Maximized"), 0);
        if (before != none) {
            ini.writeInteger(kSection, QStringLiteral("Left"), before.x());
            ini.writeInteger(kSection, QStringLiteral("Top"), before.y());
            ini.writeInteger(kSection, QStringLiteral("Right"), before.x() + 600);
            ini.writeInteger(kSection, QStringLiteral("Bottom"), before.y() + 400);
        }
        ini.writeInteger(kSection, QStringLiteral("Saved"), 1);
    }

    QProcess program;
    QProcessEnvironment env = waylandEnvironment(folder.path());
    // The client's side of the protocol, to see the window it makes.
    env.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(TASKLUME_PROGRAM), {});
    QVERIFY(program.waitForStarted(5000));

    // A native toplevel window, named by the desktop file's name and titled as the program.
    QByteArray seen;
    const QByteArray appId = "set_app_id(\"" + Texts::DesktopId.toLatin1() + "\")";
    waitForOutput(program, seen, "set_title(\"Ploxen Tasklume\")", 60000);
    waitForOutput(program, seen, appId, 10000);
    QVERIFY2(seen.contains("xdg_toplevel") && seen.contains("set_title(\"Ploxen Tasklume\")"),
             seen.right(4000).constData());
    QVERIFY2(seen.contains(appId), seen.right(4000).constData());

    // The program answers on its channel once the lists are shown.
    QDeadlineTimer deadline(30000);
    QByteArray shown;
    while (shown != "0\n" && !deadline.hasExpired()) {
        shown = RequestRunningInstance("shown tasks");
        seen += program.readAll(); // the protocol log keeps flowing
        if (shown != "0\n")
            QTest::qWait(50);
    }
    QCOMPARE(shown, QByteArray("0\n"));
    QByteArray rows;

    // tasklume-cli hands the item to the running program, which shows it at once.
    QProcess cli;
    QProcessEnvironment cliEnv = waylandEnvironment(folder.path());
    cliEnv.remove(QStringLiteral("QT_QPA_PLATFORM"));
    cli.setProcessEnvironment(cliEnv);
    cli.start(QFileInfo(QStringLiteral(TASKLUME_PROGRAM)).absolutePath() +
                  QStringLiteral("/tasklume-cli"),
              {QStringLiteral("add"), QStringLiteral("task"), kTask});
    QVERIFY(cli.waitForFinished(30000));
    QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());
    QVERIFY(cli.readAllStandardOutput().trimmed().startsWith('{'));
    deadline = QDeadlineTimer(15000);
    rows.clear();
    while (!rows.contains(kTask.toUtf8()) && !deadline.hasExpired()) {
        rows = RequestRunningInstance("rows tasks");
        seen += program.readAll();
        if (!rows.contains(kTask.toUtf8()))
            QTest::qWait(50);
    }
    QVERIFY2(rows.contains(kTask.toUtf8()), rows.constData());

    // Ended from outside, as at the end of a session.
    ::kill(pid_t(program.processId()), SIGTERM);
    deadline = QDeadlineTimer(30000);
    while (program.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        program.waitForFinished(100);
        seen += program.readAll();
    }
    QCOMPARE(program.state(), QProcess::NotRunning);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    // What the program said besides the protocol log.
    QByteArrayList said;
    for (const QByteArray &line : seen.split('\n')) {
        if (!line.startsWith('[') && !line.trimmed().isEmpty())
            said.append(line);
    }
    QVERIFY2(program.exitCode() == 0, said.join('\n').right(6000).constData());

    // The item is in the database, read by a fresh tasklume-cli.
    cli.start(QFileInfo(QStringLiteral(TASKLUME_PROGRAM)).absolutePath() +
                  QStringLiteral("/tasklume-cli"),
              {QStringLiteral("list"), QStringLiteral("tasks")});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 0);
    QVERIFY(cli.readAllStandardOutput().contains(kTask.toUtf8()));

    // The window state was saved on the way out, keeping the position Wayland never told.
    const IniFile ini(iniPath);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Saved"), -1), 1);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Left"), INT_MIN), after.x());
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Top"), INT_MIN), after.y());
    if (after != none) {
        const int right = ini.readInteger(kSection, QStringLiteral("Right"), INT_MIN);
        const int bottom = ini.readInteger(kSection, QStringLiteral("Bottom"), INT_MIN);
        QVERIFY2(right > after.x() && bottom > after.y(),
                 qPrintable(QStringLiteral("%1 %2").arg(right).arg(bottom)));
    }
}

QTEST_GUILESS_MAIN(TestE2eWayland)
#include "test_e2e_wayland.moc"
