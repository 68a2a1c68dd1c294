// Reminder alarms on a real database: the alarm window (no close box, Escape ignored, the
// snooze list, Snooze and Dismiss), its sound with the fall-back alert, and the frame's scan
// (Timer1, tree order, one alarm at a time, completed, collapsed and filtered tasks, the
// outcome written back at once).
#include "common/IniFile.h"
#include "DialogDriver.h"
#include "support/FakeFrameHost.h"
#include "support/TestSupport.h"
#include "tasks/AlarmScan.h"
#include "tasks/AlarmSound.h"
#include "tasks/Dlg_taskReminder.h"
#include "tasks/Fr_wyTasks.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace TestSupport;

namespace {
constexpr TDateTime kSecond = 1.0 / 86400.0;
constexpr TDateTime kTolerance = 2 * kOneMillisecond;
} // namespace

class TestTaskAlarm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void windowOffersOnlySnoozeAndDismiss();
    void snoozeAddsTheChosenInterval_data();
    void snoozeAddsTheChosenInterval();
    void dismissClearsFlagAndTime();
    void soundPlaysOnceOrFallsBack_data();
    void soundPlaysOnceOrFallsBack();

    void timerRunsFromReloadUntilShutdown();
    void dueRemindersRaisedOneAtATimeInTreeOrder_data();
    void dueRemindersRaisedOneAtATimeInTreeOrder();
    void reminderAheadWaitsUntilItsTime();
    void completingAndReopeningATask();
    void outcomeReachesTaskReadAgainMeanwhile();
    void frameEndingWithAlarmOpenKeepsReminder();

private:
    void reload();
    TtaskReminderDlg *waitForAlarm();
    QVariantMap row(int n)
    {
        return fetchRow(m_host->database(), QStringLiteral("tasks"), QStringLiteral("tid"), key(n));
    }

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FakeFrameHost> m_host;
    std::unique_ptr<QWidget> m_window;
    TwyTasksFrame *m_frame = nullptr;
    QStringList m_played;
    int m_alerts = 0;
    bool m_playerWorks = true;
};

void TestTaskAlarm::init()
{
    m_played.clear();
    m_alerts = 0;
    m_playerWorks = true;
    AlarmSound::setPlayerForTesting([this](const QString &path) {
        m_played.append(path);
        return m_playerWorks;
    });
    AlarmSound::setAlertForTesting([this] { ++m_alerts; });
    m_folder = std::make_unique<ProgramFolder>();
    m_folder->copyProgramFiles();
    m_host = std::make_unique<FakeFrameHost>();
    m_window = std::make_unique<QWidget>();
    m_window->resize(500, 600);
    m_frame = new TwyTasksFrame(*m_host, m_window.get());
    m_frame->resize(500, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestTaskAlarm::cleanup()
{
    if (TtaskReminderDlg *open = TtaskReminderDlg::openAlarm())
        open->btn_dismiss->click();
    m_window.reset();
    m_host.reset();
    m_folder.reset();
    AlarmSound::setPlayerForTesting({});
    AlarmSound::setAlertForTesting({});
}

void TestTaskAlarm::reload()
{
    m_host->installedMenus.clear();
    m_frame->postMessage(WM_FRAME_RELOAD);
    m_frame->postMessage(WM_FRAME_ACTIVATE);
    QTRY_VERIFY(!m_host->installedMenus.isEmpty());
}

TtaskReminderDlg *TestTaskAlarm::waitForAlarm()
{
    for (int i = 0; i < 300 && TtaskReminderDlg::openAlarm() == nullptr; ++i)
        QTest::qWait(10);
    return TtaskReminderDlg::openAlarm();
}

// ---- the alarm window -------------------------------------------------------------------

void TestTaskAlarm::windowOffersOnlySnoozeAndDismiss()
{
    auto *dialog =
        new TtaskReminderDlg(QStringLiteral("Call Anna\r\nabout the keys"), m_host->alarmSound());
    QSignalSpy finished(dialog, &QDialog::finished);
    dialog->showAlarm();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QCOMPARE(TtaskReminderDlg::openAlarm(), dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Task Reminder"));
    const Qt::WindowFlags flags = dialog->windowFlags();
    QVERIFY(!(flags & Qt::WindowCloseButtonHint));
    QVERIFY(!(flags & Qt::WindowSystemMenuHint));
    QVERIFY(flags & Qt::WindowStaysOnTopHint);
    QVERIFY(dialog->isModal());
    QCOMPARE(dialog->Memo1->toPlainText(), QStringLiteral("Call Anna\nabout the keys"));
    QVERIFY(dialog->Memo1->isReadOnly());
    QVERIFY(dialog->findChild<QLabel *>(QStringLiteral("Label1")));
    QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("Label1"))->text(),
             QStringLiteral("Click \"Snooze\" to be alarmed again in:"));
    QCOMPARE(dialog->comb_Snooze->count(), 22);
    QCOMPARE(dialog->comb_Snooze->currentText(), QStringLiteral("5 Minutes"));
    QCOMPARE(dialog->btn_dismiss->text(), QStringLiteral("Dismiss"));
    QCOMPARE(dialog->btn_dismiss->toolTip(), QStringLiteral("Dismiss reminder"));
    QCOMPARE(dialog->btn_snooze->text(), QStringLiteral("Snooze"));

    // Escape, the window manager's close and reject() leave it open.
    QTest::keyClick(dialog, Qt::Key_Escape);
    QTest::keyClick(dialog->comb_Snooze, Qt::Key_Escape);
    dialog->close();
    dialog->reject();
    QCoreApplication::processEvents();
    QVERIFY(dialog->isVisible());
    QCOMPARE(finished.count(), 0);
    QCOMPARE(TtaskReminderDlg::openAlarm(), dialog);

    dialog->btn_snooze->click();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(TtaskReminderDlg::openAlarm(), nullptr);
    delete dialog;
}

void TestTaskAlarm::snoozeAddsTheChosenInterval_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<TDateTime>("added");
    QTest::newRow("5 Minutes") << QStringLiteral("5 Minutes") << 5.0 / 1440;
    QTest::newRow("2 Hours") << QStringLiteral("2 Hours") << 2.0 / 24;
    QTest::newRow("1 Week") << QStringLiteral("1 Week") << 7.0;
    QTest::newRow("3 Weeks") << QStringLiteral("3 Weeks") << 21.0;
}

void TestTaskAlarm::snoozeAddsTheChosenInterval()
{
    QFETCH(QString, item);
    QFETCH(TDateTime, added);
    TtaskReminderDlg dialog(QStringLiteral("t"), m_host->alarmSound());
    dialog.showAlarm();
    dialog.comb_Snooze->setCurrentIndex(dialog.comb_Snooze->findText(item));
    const TDateTime before = NowDays();
    // Enter presses the default button, Snooze.
    QTest::keyClick(dialog.comb_Snooze, Qt::Key_Return);
    const TDateTime after = NowDays();
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.dismissed());
    QVERIFY2(dialog.snoozeTime() >= before + added - kOneMillisecond &&
                 dialog.snoozeTime() <= after + added + kOneMillisecond,
             qPrintable(QString::number(dialog.snoozeTime() - before, 'g', 12)));
}

void TestTaskAlarm::dismissClearsFlagAndTime()
{
    insertTask(m_host->database(), [] {
        Row r{key(1), QStringLiteral("root"), QStringLiteral("Water the plants")};
        r.alarmFlag = true;
        r.alarmTime = NowDays() - 3600 * kSecond;
        return r;
    }());
    reload();
    m_frame->Timer1Timer();
    TtaskReminderDlg *alarm = TtaskReminderDlg::openAlarm();
    QVERIFY(alarm);
    alarm->comb_Snooze->setCurrentIndex(19); // picked, then dismissed anyway
    alarm->btn_dismiss->click();
    QCOMPARE(TtaskReminderDlg::openAlarm(), nullptr);
    const QVariantMap stored = row(1);
    QCOMPARE(stored.value(QStringLiteral("alarmFlag")).toBool(), false);
    // The zero date-time, not an empty column.
    QVERIFY(!stored.value(QStringLiteral("alarmTime")).isNull());
    QCOMPARE(stored.value(QStringLiteral("alarmTime")).toDouble(), 0.0);
    const TTaskInfo *task = TaskTreeModel::task(m_frame->model()->root()->children[0].get());
    QCOMPARE(task->alarmFlag, false);
    QCOMPARE(task->alarmTime, 0.0);
    // The alarm clock leaves the row.
    QCOMPARE(m_frame->model()->index(0, 0).data(ItemTreeModel::ImageIndexRole).toInt(), -1);
    m_frame->Timer1Timer();
    QCOMPARE(TtaskReminderDlg::openAlarm(), nullptr);
}

void TestTaskAlarm::soundPlaysOnceOrFallsBack_data()
{
    QTest::addColumn<bool>("fileThere");
    QTest::addColumn<bool>("playerWorks");
    QTest::addColumn<int>("plays");
    QTest::addColumn<int>("alerts");
    QTest::newRow("played") << true << true << 1 << 0;
    QTest::newRow("no device") << true << false << 1 << 1;
    QTest::newRow("file missing") << false << true << 0 << 1;
}

void TestTaskAlarm::soundPlaysOnceOrFallsBack()
{
    QFETCH(bool, fileThere);
    QFETCH(bool, playerWorks);
    QFETCH(int, plays);
    QFETCH(int, alerts);
    m_playerWorks = playerWorks;
    const QString sound =
        fileThere ? m_host->alarmSound() : m_folder->file(QStringLiteral("Sounds/None.wav"));
    QVERIFY(QFileInfo::exists(m_host->alarmSound()));
    TtaskReminderDlg dialog(QStringLiteral("t"), sound);
    dialog.showAlarm();
    // Shown again (the window manager may unmap and map it): no second sound.
    dialog.hide();
    dialog.show();
    QCOMPARE(m_played.size(), plays);
    if (plays)
        QCOMPARE(m_played.first(), sound);
    QCOMPARE(m_alerts, alerts);
    // The window is there all the same.
    QVERIFY(dialog.isVisible());
    dialog.btn_dismiss->click();
}

// ---- the scan ---------------------------------------------------------------------------

void TestTaskAlarm::timerRunsFromReloadUntilShutdown()
{
    QVERIFY(m_frame->alarmTimer());
    QCOMPARE(m_frame->alarmTimer()->interval(), 500);
    QVERIFY(!m_frame->alarmTimer()->isActive());
    reload();
    QVERIFY(m_frame->alarmTimer()->isActive());
    m_frame->shutdown();
    QVERIFY(!m_frame->alarmTimer()->isActive());
}

void TestTaskAlarm::dueRemindersRaisedOneAtATimeInTreeOrder_data()
{
    QTest::addColumn<int>("viewRange");
    QTest::newRow("every task shown") << 0;
    QTest::newRow("complete tasks shown only") << 1; // the armed tasks are filtered out
}

void TestTaskAlarm::dueRemindersRaisedOneAtATimeInTreeOrder()
{
    QFETCH(int, viewRange);
    m_host->ini().writeInteger(QStringLiteral("task"), QStringLiteral("viewRange"), viewRange);
    const TDateTime now = NowDays();
    QSqlDatabase db = m_host->database();
    auto armed = [](int n, const QString &pid, const char *text, TDateTime time) {
        Row r{key(n), pid, QString::fromLatin1(text)};
        r.alarmFlag = true;
        r.alarmTime = time;
        return r;
    };
    // Two at the same moment; the earlier reminder stands later in the tree.
    insertTask(db, armed(1, QStringLiteral("root"), "A same moment", now - 60 * kSecond));
    insertTask(db, armed(2, QStringLiteral("root"), "B same moment", now - 60 * kSecond));
    Row done = armed(3, QStringLiteral("root"), "C complete", now - 7200 * kSecond);
    done.checkFlag = true;
    insertTask(db, done);
    insertTask(db, Row{key(4), QStringLiteral("root"), QStringLiteral("D collapsed parent")});
    insertTask(db, armed(5, key(4), "E child", now - 86400 * kSecond));
    insertTask(db, armed(6, QStringLiteral("root"), "F next hour", now + 3600 * kSecond));
    reload();
    if (viewRange == 1) // the armed tasks are really out of the view
        QCOMPARE(m_frame->model()->rowCount(), 1);

    // Right after the load the timer raises the first one by itself.
    TtaskReminderDlg *alarm = waitForAlarm();
    QVERIFY(alarm);
    QCOMPARE(alarm->Memo1->toPlainText(), QStringLiteral("A same moment"));
    QCOMPARE(m_host->alarmNotices, QStringList{QStringLiteral("A same moment")});
    QCOMPARE(m_played.size(), 1);
    // While it is open, ticks raise nothing else.
    m_frame->Timer1Timer();
    QTest::qWait(600);
    QCOMPARE(TtaskReminderDlg::openAlarm(), alarm);
    QCOMPARE(m_host->alarmNotices.size(), 1);

    alarm->comb_Snooze->setCurrentIndex(alarm->comb_Snooze->findText(QStringLiteral("1 Week")));
    const TDateTime click = NowDays();
    alarm->btn_snooze->click();
    QVariantMap stored = row(1);
    QCOMPARE(stored.value(QStringLiteral("alarmFlag")).toBool(), true);
    QVERIFY(qAbs(stored.value(QStringLiteral("alarmTime")).toDouble() - (click + 7)) <
            1000 * kOneMillisecond);

    // The second one at the next tick, then the child of the collapsed task; the
    // completed task never.
    m_frame->Timer1Timer();
    alarm = TtaskReminderDlg::openAlarm();
    QVERIFY(alarm);
    QCOMPARE(alarm->Memo1->toPlainText(), QStringLiteral("B same moment"));
    alarm->btn_dismiss->click();
    m_frame->Timer1Timer();
    alarm = TtaskReminderDlg::openAlarm();
    QVERIFY(alarm);
    QCOMPARE(alarm->Memo1->toPlainText(), QStringLiteral("E child"));
    alarm->btn_dismiss->click();
    m_frame->Timer1Timer();
    QCOMPARE(TtaskReminderDlg::openAlarm(), nullptr);

    stored = row(3);
    QCOMPARE(stored.value(QStringLiteral("alarmFlag")).toBool(), true); // left alone
    QCOMPARE(m_played.size(), 3);
    QCOMPARE(m_host->alarmNotices.size(), 3);
}

void TestTaskAlarm::reminderAheadWaitsUntilItsTime()
{
    Row r{key(1), QStringLiteral("root"), QStringLiteral("Soon")};
    r.alarmFlag = true;
    r.alarmTime = NowDays() + 1.5 * kSecond;
    insertTask(m_host->database(), r);
    reload();
    m_frame->Timer1Timer();
    QCOMPARE(TtaskReminderDlg::openAlarm(), nullptr);
    // Raised by the timer once its time has passed.
    TtaskReminderDlg *alarm = waitForAlarm();
    QVERIFY(alarm);
    QVERIFY(NowDays() >= r.alarmTime - kOneMillisecond);
}

void TestTaskAlarm::completingAndReopeningATask()
{
    Row r{key(1), QStringLiteral("root"), QStringLiteral("Pay the rent")};
    r.alarmFlag = true;
    r.alarmTime = NowDays() + 3600 * kSecond;
    insertTask(m_host->database(), r);
    reload();
    m_frame->shutdown(); // ticks by hand from here
    ItemNode *node = m_frame->model()->root()->children[0].get();
    m_frame->setCompletion(node, true);
    TaskTreeModel::task(node)->alarmTime = NowDays() - kSecond; // as if an hour had passed
    m_frame->alarmScan().update(node);
    m_frame->Timer1Timer();
    QCOMPARE(TtaskReminderDlg::openAlarm(), nullptr);
    // Marked incomplete again with a past reminder: raised at the next tick.
    m_frame->setCompletion(node, false);
    m_frame->Timer1Timer();
    QVERIFY(TtaskReminderDlg::openAlarm());
}

void TestTaskAlarm::outcomeReachesTaskReadAgainMeanwhile()
{
    Row r{key(1), QStringLiteral("root"), QStringLiteral("Reloaded")};
    r.alarmFlag = true;
    r.alarmTime = NowDays() - kSecond;
    insertTask(m_host->database(), r);
    reload();
    m_frame->Timer1Timer();
    TtaskReminderDlg *alarm = TtaskReminderDlg::openAlarm();
    QVERIFY(alarm);
    // The list is read again while the alarm is open (a restore, say).
    m_frame->ReloadTasks();
    alarm->btn_dismiss->click();
    QCOMPARE(row(1).value(QStringLiteral("alarmFlag")).toBool(), false);
    const TTaskInfo *task = TaskTreeModel::task(m_frame->model()->root()->children[0].get());
    QCOMPARE(task->alarmFlag, false);
    m_frame->Timer1Timer();
    QCOMPARE(TtaskReminderDlg::openAlarm(), nullptr);
}

void TestTaskAlarm::frameEndingWithAlarmOpenKeepsReminder()
{
    Row r{key(1), QStringLiteral("root"), QStringLiteral("Left open")};
    r.alarmFlag = true;
    r.alarmTime = NowDays() - kSecond;
    insertTask(m_host->database(), r);
    reload();
    m_frame->Timer1Timer();
    QPointer<TtaskReminderDlg> alarm = TtaskReminderDlg::openAlarm();
    QVERIFY(alarm);
    m_frame->shutdown();
    m_window.reset(); // Exit: the frame goes with the alarm window
    QVERIFY(alarm.isNull());
    QCOMPARE(TtaskReminderDlg::openAlarm(), nullptr);
    QCOMPARE(row(1).value(QStringLiteral("alarmFlag")).toBool(), true);
    QVERIFY(qAbs(row(1).value(QStringLiteral("alarmTime")).toDouble() - r.alarmTime) < kTolerance);
}

QTEST_MAIN(TestTaskAlarm)
#include "test_task_alarm.moc"
