// The real program with a reminder that came due while it was not running: the alarm
// window comes up right after the start (also while the main window is hidden in the
// tray), Escape and the window manager's close leave it open, Snooze closes it, and the task's row
// holds the new reminder time at once.
#include "common/IniFile.h"
#include "E2eSupport.h"
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QStandardPaths>
#include <QTest>

using namespace TestSupport;

namespace {

const QString kAlarmTitle = QStringLiteral("Task Reminder");
constexpr TDateTime kSecond = 1.0 / 86400.0;

} // namespace

class TestE2eAlarm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void snoozeWritesTheRow_data();
    void snoozeWritesTheRow();

private:
    QVariantMap storedRow(const QString &folder, int n) const;
};

QVariantMap TestE2eAlarm::storedRow(const QString &folder, int n) const
{
    QVariantMap row;
    {
        QSqlDatabase db =
            Database::open(folder + QStringLiteral("wyData.wyb"), QStringLiteral("check"));
        row = fetchRow(db, QStringLiteral("tasks"), QStringLiteral("tid"), key(n));
        db.close();
    }
    Database::close(QStringLiteral("check"));
    return row;
}

void TestE2eAlarm::snoozeWritesTheRow_data()
{
    QTest::addColumn<bool>("inTray");
    QTest::newRow("window shown") << false;
    QTest::newRow("window hidden in the tray") << true;
}

void TestE2eAlarm::snoozeWritesTheRow()
{
    QFETCH(bool, inTray);
    if (inTray && QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty())
        QSKIP("trayer is not available");
    X11Session session(X11Session::Options{true, inTray});
    if (!session.isRunning())
        QSKIP("Xvfb is not available");

    ProgramFolder folder;
    folder.copyProgramFiles();
    const TDateTime armedAt = NowDays() - 60 * kSecond; // a minute before the start
    {
        QSqlDatabase db =
            Database::open(folder.file(QStringLiteral("wyData.wyb")), QStringLiteral("seed"));
        insertTask(db, Row{key(1), QStringLiteral("root"), QStringLiteral("Water the plants")});
        Row dentist{key(2), QStringLiteral("root"), QStringLiteral("Call the dentist")};
        dentist.alarmFlag = true;
        dentist.alarmTime = armedAt;
        insertTask(db, dentist);
        db.close();
    }
    Database::close(QStringLiteral("seed"));
    if (inTray) {
        const IniFile ini(folder.file(QStringLiteral("wyConf.ini")));
        ini.writeBool(QStringLiteral("option"), QStringLiteral("runMinimizedEn"), true);
    }

    ProgramRun program(session, folder.path());
    QVERIFY(program.start());
    const QString alarm = session.waitForWindow(kAlarmTitle);
    QVERIFY2(!alarm.isEmpty(), qPrintable(program.output()));
    // A main window that must not show gives nothing to wait for: allow a wrongly shown one
    // the time the window manager takes to map it, then look.
    QTest::qWait(500);
    if (inTray) {
        // The main window stayed in the tray; the alarm came up all the same.
        const QString main =
            session.run(QStringLiteral("xdotool"),
                        {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                         QStringLiteral("--name"), QStringLiteral("^Ploxen Tasklume$")});
        QVERIFY2(main.isEmpty(), "the main window was shown");
    }

    // Neither Escape nor the window manager's close ends it.
    for (const QString &key : {QStringLiteral("Escape"), QStringLiteral("alt+F4")})
        session.run(QStringLiteral("xdotool"),
                    {QStringLiteral("windowactivate"), QStringLiteral("--sync"), alarm,
                     QStringLiteral("key"), QStringLiteral("--clearmodifiers"), key});
    // The alarm must stay: nothing to wait for, so a wrong close gets the time to happen.
    QTest::qWait(500);
    QCOMPARE(session.mapState(alarm), QStringLiteral("IsViewable"));
    QCOMPARE(storedRow(folder.path(), 2).value(QStringLiteral("alarmTime")).toDouble(), armedAt);

    // Enter presses Snooze, with "5 Minutes" selected.
    const TDateTime before = NowDays();
    session.run(QStringLiteral("xdotool"),
                {QStringLiteral("windowactivate"), QStringLiteral("--sync"), alarm,
                 QStringLiteral("key"), QStringLiteral("--clearmodifiers"),
                 QStringLiteral("Return")});
    QTRY_VERIFY_WITH_TIMEOUT(session.mapState(alarm) != QStringLiteral("IsViewable"), 5000);
    const TDateTime after = NowDays();

    QVariantMap row;
    for (int i = 0; i < 50; ++i) {
        row = storedRow(folder.path(), 2);
        if (row.value(QStringLiteral("alarmTime")).toDouble() != armedAt)
            break;
        QTest::qWait(100);
    }
    QCOMPARE(row.value(QStringLiteral("alarmFlag")).toBool(), true);
    const TDateTime snoozed = row.value(QStringLiteral("alarmTime")).toDouble();
    const TDateTime fiveMinutes = 5.0 / 1440;
    QVERIFY2(snoozed >= before + fiveMinutes - kSecond && snoozed <= after + fiveMinutes + kSecond,
             qPrintable(QStringLiteral("%1 not in [%2, %3]")
                            .arg(snoozed, 0, 'f', 8)
                            .arg(before + fiveMinutes, 0, 'f', 8)
                            .arg(after + fiveMinutes, 0, 'f', 8)));
    // The other task is untouched, and no second alarm follows.
    QCOMPARE(storedRow(folder.path(), 1).value(QStringLiteral("alarmFlag")).toBool(), false);
    // No second alarm: nothing to wait for, so the program's alarm check gets the time to
    // run again before we look.
    QTest::qWait(1200);
    QVERIFY(session
                .run(QStringLiteral("xdotool"),
                     {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                      QStringLiteral("--name"), QLatin1Char('^') + kAlarmTitle + QLatin1Char('$')})
                .isEmpty());
    QCOMPARE(program.process().state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestE2eAlarm)
#include "test_e2e_alarm.moc"
