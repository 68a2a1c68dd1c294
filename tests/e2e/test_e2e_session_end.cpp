// The real program told to end from outside (SIGTERM from logout or kill, SIGHUP, SIGINT)
// while the user is typing: it ends as its Exit does, with status 0; the text being typed
// (a new task or an edit, not yet ended with Ctrl+Enter) is in the database, the window
// state in the settings file, and the run lock is free again.
#include "common/IniFile.h"
#include "common/RunLock.h"
#include "common/Texts.h"
#include "E2eSupport.h"
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QSqlQuery>
#include <QTest>

#include <csignal>

using namespace TestSupport;

class TestE2eSessionEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void signalStoresTheOpenEdit_data();
    void signalStoresTheOpenEdit();
    void burstOfSignalsEndsWithStatusZero_data();
    void burstOfSignalsEndsWithStatusZero();
    void cleanupTestCase();

private:
    std::unique_ptr<X11Session> m_session;
};

void TestE2eSessionEnd::initTestCase()
{
    m_session = std::make_unique<X11Session>();
    if (!m_session->isRunning())
        QSKIP("Xvfb is not available");
}

void TestE2eSessionEnd::cleanupTestCase()
{
    m_session.reset();
}

void TestE2eSessionEnd::signalStoresTheOpenEdit_data()
{
    // The signal, the keys that open the editor on the seeded task's row, the text typed,
    // and the tasks stored afterwards, in order.
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<QStringList>("openKeys");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("stored");
    const struct
    {
        const char *name;
        int number;
    } signalsSent[] = {{"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}, {"SIGINT", SIGINT}};
    for (const auto &sent : signalsSent) {
        const QString typed = QStringLiteral("Typed before %1").arg(QLatin1String(sent.name));
        QTest::addRow("%s new task", sent.name)
            << sent.number << QStringList{QStringLiteral("Return")} << typed
            << QStringList{QStringLiteral("Seeded task"), typed};
        QTest::addRow("%s edited task", sent.name)
            << sent.number << QStringList{QStringLiteral("F2"), QStringLiteral("ctrl+a")} << typed
            << QStringList{typed};
    }
}

void TestE2eSessionEnd::signalStoresTheOpenEdit()
{
    QFETCH(int, signalNumber);
    QFETCH(QStringList, openKeys);
    QFETCH(QString, typed);
    QFETCH(QStringList, stored);

    ProgramFolder folder;
    folder.copyProgramFiles();
    const QString database = folder.file(Texts::DatabaseFileName);
    {
        QSqlDatabase db = Database::open(database, QStringLiteral("seed"));
        insertTask(db, Row{key(1), QStringLiteral("root"), QStringLiteral("Seeded task")});
    }
    Database::close(QStringLiteral("seed"));

    ProgramRun run(*m_session, folder.path());
    // Whatever the test runner ignores, the program starts with the usual dispositions.
    run.process().setChildProcessModifier([] {
        for (const int number : {SIGTERM, SIGHUP, SIGINT})
            ::signal(number, SIG_DFL);
    });
    QVERIFY(run.start());
    const QString window = m_session->waitForWindow(Texts::AppTitle);
    QVERIFY2(!window.isEmpty(), qPrintable(run.output()));
    QVERIFY(run.waitForRows("tasks", "Seeded task").contains("Seeded task"));
    // A size of the user's own, which the saved window state must carry.
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowsize"), QStringLiteral("--sync"), window,
                    QStringLiteral("517"), QStringLiteral("433")});
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
    QTRY_COMPARE_WITH_TIMEOUT(
        m_session->run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}), window,
        5000);
    m_session->keys({QStringLiteral("Home")});
    m_session->keys(openKeys);
    // The letters follow the keys that open the editor in order; the editor's text is
    // waited for below.
    m_session->run(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"),
                                               QStringLiteral("15"), typed});
    // Every letter is in the editor before the signal goes.
    QTRY_COMPARE_WITH_TIMEOUT(run.request("editing tasks"), typed.toUtf8() + '\n', 15000);

    ::kill(pid_t(run.process().processId()), signalNumber);
    QVERIFY2(run.waitForEnd(20000), "the program did not end");
    const QString output = run.output();
    QVERIFY2(run.process().exitStatus() == QProcess::NormalExit, qPrintable(output));
    QCOMPARE(run.process().exitCode(), 0);
    QVERIFY2(!output.contains(QStringLiteral("Sanitizer")), qPrintable(output));

    {
        QSqlDatabase db = Database::open(database, QStringLiteral("check"));
        QCOMPARE(queryValue(db, QStringLiteral("PRAGMA integrity_check")).toString(),
                 QStringLiteral("ok"));
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("select content from tasks order by createTime")));
        QStringList contents;
        while (query.next())
            contents.append(query.value(0).toString());
        QCOMPARE(contents, stored);
    }
    Database::close(QStringLiteral("check"));

    const IniFile ini(folder.file(Texts::IniFileName));
    const auto form = [&](const char *name) {
        return ini.readInteger(QStringLiteral("form"), QLatin1String(name), -1);
    };
    QCOMPARE(form("Saved"), 1);
    QCOMPARE(form("Right") - form("Left"), 517);
    QCOMPARE(form("Bottom") - form("Top"), 433);
    QVERIFY(!RunLock::runningProgram(folder.file(Texts::RunLockFileName)).has_value());
}

void TestE2eSessionEnd::burstOfSignalsEndsWithStatusZero_data()
{
    // A logout sends SIGTERM to every process again and again; Ctrl+C held down repeats.
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("round");
    for (int round = 1; round <= 3; ++round)
        QTest::addRow("SIGTERM round %d", round) << int(SIGTERM) << round;
    QTest::addRow("SIGINT") << int(SIGINT) << 1;
}

void TestE2eSessionEnd::burstOfSignalsEndsWithStatusZero()
{
    // Once the program is ending, further requests to end are ignored: it ends as after one
    // request, with status 0, never killed by a later signal part-way through its ending.
    QFETCH(int, signalNumber);
    ProgramFolder folder;
    folder.copyProgramFiles();
    {
        QSqlDatabase db =
            Database::open(folder.file(Texts::DatabaseFileName), QStringLiteral("seed"));
        insertTask(db, Row{key(1), QStringLiteral("root"), QStringLiteral("Seeded task")});
    }
    Database::close(QStringLiteral("seed"));

    ProgramRun run(*m_session, folder.path());
    run.process().setChildProcessModifier([] {
        for (const int number : {SIGTERM, SIGHUP, SIGINT})
            ::signal(number, SIG_DFL);
    });
    QVERIFY(run.start());
    QVERIFY2(!m_session->waitForWindow(Texts::AppTitle).isEmpty(), qPrintable(run.output()));
    QVERIFY(run.waitForRows("tasks", "Seeded task").contains("Seeded task"));

    // Signals one after the other until the process has ended.
    const pid_t pid = pid_t(run.process().processId());
    QDeadlineTimer deadline(30000);
    int sent = 0;
    while (!deadline.hasExpired() && run.process().state() != QProcess::NotRunning) {
        ::kill(pid, signalNumber);
        ++sent;
        run.process().waitForFinished(1);
    }
    QVERIFY2(run.waitForEnd(1000), "the program did not end");
    QVERIFY(sent > 1);
    const QString output = run.output();
    QVERIFY2(run.process().exitStatus() == QProcess::NormalExit,
             qPrintable(QStringLiteral("killed by signal %1 after %2 signal(s)\n%3")
                            .arg(run.process().exitCode())
                            .arg(sent)
                            .arg(output)));
    QCOMPARE(run.process().exitCode(), 0);
    QVERIFY(!RunLock::runningProgram(folder.file(Texts::RunLockFileName)).has_value());
}

QTEST_GUILESS_MAIN(TestE2eSessionEnd)
#include "test_e2e_session_end.moc"
