// The folder lock between the running program and the command-line companion: the
// program's exclusive lock with its details, the command's shared lock while it writes, the
// program waiting for a writing command at its start, and reading without creating.
#include "common/RunLock.h"
#include "common/Texts.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QTest>
#include <QThread>

#include <memory>

using namespace TestSupport;

class TestRunLock : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void programDetailsReachOthers();
    void secondProgramGivesUpAtOnce();
    void programWaitsForWritingCommand();
    void programStopsWaitingAfterItsTime();
    void commandsShareTheLock();
    void readingNeverCreatesTheFile();
    void releaseFreesTheFolder();

private:
    QString lockPath() const { return m_folder->file(Texts::RunLockFileName); }
    std::unique_ptr<ProgramFolder> m_folder;
};

void TestRunLock::init()
{
    m_folder = std::make_unique<ProgramFolder>();
}

void TestRunLock::cleanup()
{
    m_folder.reset();
}

void TestRunLock::programDetailsReachOthers()
{
    RunLock program;
    QVERIFY(program.acquireExclusive(lockPath(), {4242, QStringLiteral("/run/user/1/channel")}));
    QCOMPARE(fileMode(lockPath()), 0600);

    const std::optional<RunLock::Holder> seen = RunLock::runningProgram(lockPath());
    QVERIFY(seen.has_value());
    QCOMPARE(seen->pid, qint64(4242));
    QCOMPARE(seen->channel, QStringLiteral("/run/user/1/channel"));

    // A writing command is told who holds the folder and holds nothing itself.
    RunLock command;
    const std::optional<RunLock::Holder> refused = command.acquireShared(lockPath());
    QVERIFY(refused.has_value());
    QCOMPARE(refused->pid, qint64(4242));
    QVERIFY(!command.isHeld());
}

void TestRunLock::secondProgramGivesUpAtOnce()
{
    RunLock first;
    QVERIFY(first.acquireExclusive(lockPath(), {1, QStringLiteral("first")}));
    // Another program on the same folder (from another display) does not wait for the
    // first one to end: it runs without the lock, and the first one's details stay.
    RunLock second;
    QVERIFY(!second.acquireExclusive(lockPath(), {2, QStringLiteral("second")}, 600000));
    QVERIFY(!second.isHeld());
    QCOMPARE(RunLock::runningProgram(lockPath())->channel, QStringLiteral("first"));
}

void TestRunLock::programWaitsForWritingCommand()
{
    auto command = std::make_unique<RunLock>();
    QVERIFY(!command->acquireShared(lockPath()).has_value());
    QVERIFY(command->isHeld());

    // The command ends while the program is starting; the program then takes the folder.
    std::unique_ptr<QThread> finisher(QThread::create([&command] {
        QThread::msleep(200);
        command->release();
    }));
    finisher->start();
    RunLock program;
    const bool taken = program.acquireExclusive(lockPath(), {7, QStringLiteral("seven")}, 60000);
    finisher->wait();
    QVERIFY(taken);
    QCOMPARE(RunLock::runningProgram(lockPath())->pid, qint64(7));
}

void TestRunLock::programStopsWaitingAfterItsTime()
{
    RunLock command;
    QVERIFY(!command.acquireShared(lockPath()).has_value());
    RunLock program;
    QVERIFY(!program.acquireExclusive(lockPath(), {7, QString()}, 100));
    QVERIFY(!program.isHeld());
    // The command still holds its lock, and nobody is seen as running.
    QVERIFY(command.isHeld());
    QVERIFY(!RunLock::runningProgram(lockPath()).has_value());
}

void TestRunLock::commandsShareTheLock()
{
    RunLock first;
    RunLock second;
    QVERIFY(!first.acquireShared(lockPath()).has_value());
    QVERIFY(!second.acquireShared(lockPath()).has_value());
    QVERIFY(first.isHeld());
    QVERIFY(second.isHeld());
}

void TestRunLock::readingNeverCreatesTheFile()
{
    QVERIFY(!RunLock::runningProgram(lockPath()).has_value());
    QVERIFY(!QFileInfo::exists(lockPath()));
}

void TestRunLock::releaseFreesTheFolder()
{
    {
        RunLock program;
        QVERIFY(program.acquireExclusive(lockPath(), {9, QStringLiteral("nine")}));
    }
    // The details stay in the file, but nobody holds it: nobody runs.
    QVERIFY(!RunLock::runningProgram(lockPath()).has_value());
    RunLock command;
    QVERIFY(!command.acquireShared(lockPath()).has_value());
    QVERIFY(command.isHeld());
    command.release();

    RunLock program;
    QVERIFY(program.acquireExclusive(lockPath(), {10, QString()}));
    program.release();
    QVERIFY(!RunLock::runningProgram(lockPath()).has_value());
}

QTEST_GUILESS_MAIN(TestRunLock)
#include "test_runlock.moc"
