// The real program killed (SIGKILL) right after the list shows a change the user typed: a
// new task, an edited task and a completion mark are in the database afterwards, and the
// database is whole. The next start shows them.
#include "e2e/E2eSupport.h"
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QSqlQuery>
#include <QTest>

#include <csignal>

using namespace TestSupport;

class TestE2eKilled : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void killedAfterEachChange_data();
    void killedAfterEachChange();
    void cleanupTestCase();

private:
    std::unique_ptr<X11Session> m_session;
};

void TestE2eKilled::initTestCase()
{
    m_session = std::make_unique<X11Session>();
    if (!m_session->isRunning())
        QSKIP("Xvfb is not available");
}

void TestE2eKilled::cleanupTestCase()
{
    m_session.reset();
}

void TestE2eKilled::killedAfterEachChange_data()
{
    // keys typed in the list (the seeded task is selected first), the shown row that
    // says it is done, and the stored row that must be there: "content|checkFlag".
    QTest::addColumn<QStringList>("keysBefore");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("shown");
    QTest::addColumn<QString>("stored");
    QTest::newRow("new task") << QStringList{QStringLiteral("Return")}
                              << QStringLiteral("Bought before the crash")
                              << QByteArray("0\t\tBought before the crash")
                              << QStringLiteral("Bought before the crash|0");
    QTest::newRow("edited task") << QStringList{QStringLiteral("F2"), QStringLiteral("ctrl+a")}
                                 << QStringLiteral("Edited before the crash")
                                 << QByteArray("0\t\tEdited before the crash")
                                 << QStringLiteral("Edited before the crash|0");
    QTest::newRow("completed task")
        << QStringList{QStringLiteral("space")} << QString() << QByteArray("0\tC\tSeeded task")
        << QStringLiteral("Seeded task|1");
}

void TestE2eKilled::killedAfterEachChange()
{
    QFETCH(QStringList, keysBefore);
    QFETCH(QString, typed);
    QFETCH(QByteArray, shown);
    QFETCH(QString, stored);

    ProgramFolder folder;
    folder.copyProgramFiles();
    const QString database = folder.file(QStringLiteral("wyData.wyb"));
    {
        QSqlDatabase db = Database::open(database, QStringLiteral("seed"));
        insertTask(db, Row{key(1), QStringLiteral("root"), QStringLiteral("Seeded task")});
    }
    Database::close(QStringLiteral("seed"));

    ProgramRun run(*m_session, folder.path());
    QVERIFY(run.start());
    const QString window = m_session->waitForWindow(QStringLiteral("Ploxen Tasklume"));
    QVERIFY2(!window.isEmpty(), qPrintable(run.output()));
    QVERIFY(run.waitForRows("tasks", "Seeded task").contains("Seeded task"));
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
    QVERIFY(m_session->waitUntilActive(window));
    // The keys reach the program in order; what they change is waited for below.
    m_session->keys({QStringLiteral("Home")}); // the seeded task is the current one
    m_session->keys(keysBefore);
    if (!typed.isEmpty()) {
        m_session->run(
            QStringLiteral("xdotool"),
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"), typed});
        QTRY_COMPARE_WITH_TIMEOUT(run.request("editing tasks"), typed.toUtf8() + '\n', 10000);
        m_session->keys({QStringLiteral("ctrl+Return")});
    }

    // The moment the list shows the change, the program dies.
    const QByteArray rows = run.waitForRows("tasks", shown);
    QVERIFY2(rows.contains(shown), rows.constData());
    ::kill(pid_t(run.process().processId()), SIGKILL);
    QVERIFY(run.waitForEnd(10000));
    QCOMPARE(run.process().exitStatus(), QProcess::CrashExit);

    const QStringList expected = stored.split(QLatin1Char('|'));
    {
        QSqlDatabase db = Database::open(database, QStringLiteral("check"));
        QCOMPARE(queryValue(db, QStringLiteral("PRAGMA integrity_check")).toString(),
                 QStringLiteral("ok"));
        QSqlQuery query(db);
        query.prepare(QStringLiteral("select count(*), max(checkFlag) from tasks where content=?"));
        query.addBindValue(expected.at(0));
        QVERIFY(query.exec() && query.next());
        QCOMPARE(query.value(0).toInt(), 1);
        QCOMPARE(query.value(1).toInt(), expected.at(1).toInt());
    }
    Database::close(QStringLiteral("check"));

    // The next start shows it.
    ProgramRun again(*m_session, folder.path());
    QVERIFY(again.start());
    const QByteArray rowsAgain = again.waitForRows("tasks", shown);
    QVERIFY2(rowsAgain.contains(shown), rowsAgain.constData());
    const QString windowAgain = m_session->waitForWindow(QStringLiteral("Ploxen Tasklume"));
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), windowAgain,
                    QStringLiteral("key"), QStringLiteral("--clearmodifiers"),
                    QStringLiteral("alt+F4")});
    QVERIFY(again.waitForEnd(15000));
    const QString output = again.output();
    QVERIFY2(!output.contains(QStringLiteral("Sanitizer")), qPrintable(output));
    QCOMPARE(again.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(again.process().exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestE2eKilled)
#include "test_e2e_killed.moc"
