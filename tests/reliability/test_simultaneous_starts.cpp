// Two starts of the real program at the same instant (a double click on a launcher): each
// time exactly one copy runs on, holding the folder's run lock; the other hands its request
// to it (which answers once it has acted on it) and ends with status 0.
#include "app/SingleInstance.h"
#include "common/RunLock.h"
#include "common/Texts.h"
#include "e2e/E2eSupport.h"
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QTest>

#include <csignal>

using namespace TestSupport;

class TestSimultaneousStarts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void oneCopyEachTime();
};

void TestSimultaneousStarts::oneCopyEachTime()
{
    ProgramFolder folder;
    folder.copyProgramFiles();
    {
        QSqlDatabase db =
            Database::open(folder.file(Texts::DatabaseFileName), QStringLiteral("seed"));
        insertTask(db, Row{key(1), QStringLiteral("root"), QStringLiteral("Seeded task")});
    }
    Database::close(QStringLiteral("seed"));
    const QString lock = folder.file(Texts::RunLockFileName);

    QTemporaryDir runtime;
    QVERIFY(runtime.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":simultaneous-starts"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("TASKLUME_HOME"), folder.path());

    for (int round = 1; round <= 20; ++round) {
        const QByteArray where = "round " + QByteArray::number(round);
        QProcess copies[2];
        for (QProcess &copy : copies) {
            copy.setProcessEnvironment(env);
            copy.setProcessChannelMode(QProcess::MergedChannels);
            copy.setChildProcessModifier([] { ::signal(SIGTERM, SIG_DFL); });
        }
        copies[0].start(ProgramRun::programPath(), {});
        copies[1].start(ProgramRun::programPath(), {});
        QVERIFY2(copies[0].waitForStarted(10000) && copies[1].waitForStarted(10000), where);
        const auto stopAll = qScopeGuard([&] {
            for (QProcess &copy : copies) {
                if (copy.state() != QProcess::NotRunning) {
                    copy.kill();
                    copy.waitForFinished(5000);
                }
            }
        });

        // One of them ends, having handed over ...
        QDeadlineTimer deadline(60000);
        while (copies[0].state() != QProcess::NotRunning &&
               copies[1].state() != QProcess::NotRunning && !deadline.hasExpired())
            QTest::qWait(20);
        const int ended = copies[0].state() == QProcess::NotRunning ? 0 : 1;
        QProcess &second = copies[ended];
        QProcess &first = copies[1 - ended];
        QVERIFY2(second.state() == QProcess::NotRunning, where + ": both copies run on");
        const QByteArray secondOutput = second.readAll();
        QVERIFY2(second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0,
                 where + ": " + secondOutput);

        // ... to the other, which runs on, holds the lock and serves the channel it names.
        std::optional<RunLock::Holder> holder;
        QTRY_VERIFY2_WITH_TIMEOUT((holder = RunLock::runningProgram(lock)).has_value(), where,
                                  20000);
        QCOMPARE(holder->pid, first.processId());
        QVERIFY2(first.state() == QProcess::Running, where + ": " + first.readAll());
        QTRY_VERIFY2_WITH_TIMEOUT(RequestInstance(holder->channel, "rows tasks").contains("Seeded"),
                                  where, 20000);
        QVERIFY2(first.state() == QProcess::Running, where);

        // The one copy ends on SIGTERM as on Exit, and frees the folder.
        ::kill(pid_t(first.processId()), SIGTERM);
        QVERIFY2(first.waitForFinished(30000), where);
        QVERIFY2(first.exitStatus() == QProcess::NormalExit && first.exitCode() == 0,
                 where + ": " + first.readAll());
        QVERIFY2(!RunLock::runningProgram(lock).has_value(), where);
    }
}

QTEST_GUILESS_MAIN(TestSimultaneousStarts)
#include "test_simultaneous_starts.moc"
