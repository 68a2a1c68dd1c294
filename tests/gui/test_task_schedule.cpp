// Due dates and reminders on a real database: the two dialogs (what they show, the due
// date's question, the reminder's warning) and the two commands, which fill the dialog from
// the topmost selected task and write its result into every selected task.
#include "common/ColorCodes.h"
#include "DialogDriver.h"
#include "storage/Statements.h"
#include "support/FakeFrameHost.h"
#include "support/TestSupport.h"
#include "tasks/AlarmScan.h"
#include "tasks/AlarmSound.h"
#include "tasks/Dlg_ColorSet.h"
#include "tasks/Dlg_DueSet.h"
#include "tasks/Dlg_ReminderSet.h"
#include "tasks/Dlg_taskReminder.h"
#include "tasks/Fr_wyTasks.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimeEdit>

using namespace TestSupport;

namespace {
constexpr TDateTime kSecond = 1.0 / 86400.0;
// Times in tests are compared to the millisecond the table keeps.
constexpr TDateTime kTolerance = 2 * kOneMillisecond;
} // namespace

class TestTaskSchedule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void dueQuestion_data();
    void dueQuestion();
    void cancelInQuestionKeepsDueDialogOpen();
    void pickingDateChecksDueBox();
    void dueOnTaskWithoutDueStoresTodayUnchecked();
    void dueCommandWritesEverySelectedTask();

    void newReminderProposesTomorrow();
    void pastReminderWarnsIsTakenAndFires();
    void uncheckingAfterWarningKeepsWarning();
    void focusedControlShowsItsFrame_data();
    void focusedControlShowsItsFrame();
    void warningReadsOnThePalette_data();
    void warningReadsOnThePalette();
    void reminderCommandWritesEverySelectedTask();

    void enterDoesWhatOkDoes_data();
    void enterDoesWhatOkDoes();

    void commandsFollowSelection_data();
    void commandsFollowSelection();
    void commandsWithoutSelectionDoNothing_data();
    void commandsWithoutSelectionDoNothing();

private:
    void seed();
    void reload();
    void select(const QList<int> &topRows);
    const ItemNode *node(int n) const;
    QVariantMap row(int n)
    {
        return fetchRow(m_host->database(), QStringLiteral("tasks"), QStringLiteral("tid"), key(n));
    }

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FakeFrameHost> m_host;
    std::unique_ptr<QWidget> m_window;
    TwyTasksFrame *m_frame = nullptr;
};

void TestTaskSchedule::initTestCase()
{
    // No sound service in the tests.
    AlarmSound::setPlayerForTesting([](const QString &) { return true; });
    AlarmSound::setAlertForTesting([] {});
}

void TestTaskSchedule::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_host = std::make_unique<FakeFrameHost>();
    m_window = std::make_unique<QWidget>();
    m_window->resize(500, 600);
    m_frame = new TwyTasksFrame(*m_host, m_window.get());
    m_frame->resize(500, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestTaskSchedule::cleanup()
{
    m_window.reset();
    m_host.reset();
    m_folder.reset();
    QVERIFY(TtaskReminderDlg::openAlarm() == nullptr);
}

void TestTaskSchedule::seed()
{
    QSqlDatabase db = m_host->database();
    Row first{key(1), QStringLiteral("root"), QStringLiteral("A first")};
    first.editTime = 45000.5;
    first.dueFlag = true;
    first.dueTime = DayAndTime(QDate::currentDate().addDays(10), QTime(9, 30));
    first.alarmFlag = true;
    first.alarmTime = DayAndTime(QDate::currentDate().addDays(3), QTime(7, 15, 20));
    insertTask(db, first);
    Row second{key(2), QStringLiteral("root"), QStringLiteral("B second")};
    second.editTime = 45000.5;
    insertTask(db, second);
    insertTask(db, Row{key(3), QStringLiteral("root"), QStringLiteral("C third")});
    insertTask(db, Row{key(4), QStringLiteral("root"), QStringLiteral("D fourth")});
    reload();
}

void TestTaskSchedule::reload()
{
    m_host->installedMenus.clear();
    m_frame->postMessage(WM_FRAME_RELOAD);
    m_frame->postMessage(WM_FRAME_ACTIVATE);
    QTRY_VERIFY(!m_host->installedMenus.isEmpty());
}

const ItemNode *TestTaskSchedule::node(int n) const
{
    const ItemNode *found = nullptr;
    m_frame->model()->forEachNode([&](ItemNode *candidate) {
        if (candidate->info->key == key(n))
            found = candidate;
    });
    return found;
}

void TestTaskSchedule::select(const QList<int> &topRows)
{
    auto *tree = m_frame->tree();
    tree->selectionModel()->clearSelection();
    for (int r : topRows)
        tree->selectionModel()->select(tree->model()->index(r, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// ---- due date ---------------------------------------------------------------------------

void TestTaskSchedule::dueQuestion_data()
{
    QTest::addColumn<int>("dayOffset");
    QTest::addColumn<bool>("asks");
    QTest::newRow("yesterday") << -1 << true;
    QTest::newRow("today") << 0 << true;
    QTest::newRow("tomorrow") << 1 << false;
}

void TestTaskSchedule::dueQuestion()
{
    QFETCH(int, dayOffset);
    QFETCH(bool, asks);
    TDueSetDlg dialog(false, 0);
    dialog.show();
    const QDate day = QDate::currentDate().addDays(dayOffset);
    dialog.edt_due->setDate(day);
    dialog.cb_due->setChecked(true); // today is already shown: no change checks it
    BoxAnswer answer(QMessageBox::Ok);
    dialog.Btn_Ok->click();
    QCOMPARE(answer.runs(), asks ? 1 : 0);
    if (asks) {
        QCOMPARE(answer.caption, QStringLiteral("Ask"));
        QCOMPARE(answer.text, QStringLiteral("Date may be incorrect, are you sure?"));
    }
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(dialog.dueFlag());
    QCOMPARE(DayOf(dialog.dueTime()), day);
}

void TestTaskSchedule::cancelInQuestionKeepsDueDialogOpen()
{
    const TDateTime old = DayAndTime(QDate::currentDate().addDays(5), QTime(14, 45, 10));
    TDueSetDlg dialog(true, old);
    dialog.show();
    QCOMPARE(dialog.edt_due->date(), QDate::currentDate().addDays(5));
    dialog.edt_due->setDate(QDate::currentDate());
    BoxAnswer answer(QMessageBox::Cancel);
    dialog.Btn_Ok->click();
    QCOMPARE(answer.runs(), 1);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.edt_due->date(), QDate::currentDate());
    QVERIFY(dialog.cb_due->isChecked());
    // OK the second time: the old time of day goes with the new day.
    BoxAnswer yes(QMessageBox::Ok);
    dialog.Btn_Ok->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.dueTime(), DayAndTime(QDate::currentDate(), QTime(14, 45, 10)));
}

void TestTaskSchedule::pickingDateChecksDueBox()
{
    TDueSetDlg dialog(false, 0);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(!dialog.cb_due->isChecked());
    QCOMPARE(dialog.focusWidget(), static_cast<QWidget *>(dialog.edt_due));
    QTest::keyClick(dialog.edt_due, Qt::Key_Up); // the user changes the date
    QVERIFY(dialog.cb_due->isChecked());
}

void TestTaskSchedule::dueOnTaskWithoutDueStoresTodayUnchecked()
{
    seed();
    select({1});
    const TDateTime before = NowDays();
    OnDialog<TDueSetDlg> driver([](TDueSetDlg *dialog) {
        QVERIFY(!dialog->cb_due->isChecked());
        QCOMPARE(dialog->edt_due->date(), QDate::currentDate());
        dialog->Btn_Ok->click();
    });
    m_frame->action(QStringLiteral("Action_TaskDueSet"))->trigger();
    const TDateTime after = NowDays();
    QCOMPARE(driver.runs(), 1);
    const QVariantMap stored = row(2);
    QCOMPARE(stored.value(QStringLiteral("dueFlag")).toBool(), false);
    const TDateTime due = stored.value(QStringLiteral("dueTime")).toDouble();
    QVERIFY2(due >= before - kTolerance && due <= after + kTolerance,
             qPrintable(QString::number(due)));
    // Only the due columns change.
    QCOMPARE(stored.value(QStringLiteral("editTime")).toDouble(), 45000.5);
}

void TestTaskSchedule::dueCommandWritesEverySelectedTask()
{
    seed();
    select({0, 1, 2});
    const TDateTime picked = DayAndTime(QDate::currentDate().addDays(12), QTime(9, 30));
    OnDialog<TDueSetDlg> driver([](TDueSetDlg *dialog) {
        // Filled from the topmost selected task.
        QVERIFY(dialog->cb_due->isChecked());
        QCOMPARE(dialog->edt_due->date(), QDate::currentDate().addDays(10));
        dialog->edt_due->setDate(QDate::currentDate().addDays(12));
        dialog->Btn_Ok->click();
    });
    m_frame->action(QStringLiteral("Action_TaskDueSet"))->trigger();
    QCOMPARE(driver.runs(), 1);
    for (int n : {1, 2, 3}) {
        const QVariantMap stored = row(n);
        QCOMPARE(stored.value(QStringLiteral("dueFlag")).toBool(), true);
        QCOMPARE(stored.value(QStringLiteral("dueTime")).toDouble(), picked);
        QCOMPARE(TaskTreeModel::task(node(n))->dueTime, picked);
    }
    QCOMPARE(row(4).value(QStringLiteral("dueFlag")).toBool(), false);
    QVERIFY(m_frame->tree()->selectedNodes().isEmpty());
}

// ---- Enter in the three dialogs ---------------------------------------------------------

namespace {
// What a dialog gave back: its result, a flag and two values (due or reminder: the flag
// and the time; colours: whether a colour of its own is set, and the two codes), and the
// questions it asked.
struct DialogOutcome
{
    int result = -1;
    bool flag = false;
    double first = 0;
    double second = 0;
    QStringList boxes;
};

std::unique_ptr<QDialog> makeScheduleDialog(const QString &kind, bool withValue)
{
    const TDateTime later = DayAndTime(QDate::currentDate().addDays(4), QTime(8, 20));
    if (kind == QLatin1String("due"))
        return std::make_unique<TDueSetDlg>(withValue, withValue ? later : 0);
    if (kind == QLatin1String("reminder"))
        return std::make_unique<TReminderSetDlg>(withValue, withValue ? later : 0);
    return std::make_unique<TColorSetDlg>(withValue ? ColorCodes::rgb(0, 0, 128) : 0,
                                          withValue ? ColorCodes::rgb(255, 255, 0) : 0);
}

// Opens the dialog, puts the focus on the named control and either clicks OK with the
// mouse or presses Enter there.
DialogOutcome runScheduleDialog(const QString &kind, bool withValue, const QString &focus,
                                bool enter)
{
    DialogOutcome outcome;
    std::unique_ptr<QDialog> dialog = makeScheduleDialog(kind, withValue);
    EveryBoxAnswer boxes(QMessageBox::Ok);
    dialog->show();
    if (!QTest::qWaitForWindowExposed(dialog.get()))
        return outcome;
    dialog->activateWindow();
    auto *control = dialog->findChild<QWidget *>(focus);
    if (control == nullptr)
        return outcome;
    control->setFocus();
    auto *ok = dialog->findChild<QPushButton *>(
        kind == QLatin1String("reminder") ? QStringLiteral("btn_ok")
        : kind == QLatin1String("due")    ? QStringLiteral("Btn_Ok")
                                          : QStringLiteral("btn_Ok"));
    if (enter)
        QTest::keyClick(control, Qt::Key_Return);
    else
        QTest::mouseClick(ok, Qt::LeftButton);
    outcome.result = dialog->isVisible() ? -1 : dialog->result();
    if (auto *due = qobject_cast<TDueSetDlg *>(dialog.get())) {
        outcome.flag = due->dueFlag();
        outcome.first = due->dueTime();
    } else if (auto *reminder = qobject_cast<TReminderSetDlg *>(dialog.get())) {
        outcome.flag = reminder->alarmFlag();
        outcome.first = reminder->alarmTime();
    } else if (auto *colors = qobject_cast<TColorSetDlg *>(dialog.get())) {
        outcome.flag = colors->textColor() != 0 || colors->backgroundColor() != 0;
        outcome.first = colors->textColor();
        outcome.second = colors->backgroundColor();
    }
    outcome.boxes = boxes.texts;
    return outcome;
}
} // namespace

void TestTaskSchedule::enterDoesWhatOkDoes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("withValue");
    QTest::addColumn<QString>("focus");
    QTest::newRow("due, none, date picker") << "due" << false << "edt_due";
    QTest::newRow("due, set, date picker") << "due" << true << "edt_due";
    QTest::newRow("reminder, none, check box") << "reminder" << false << "cb_reminder";
    QTest::newRow("reminder, none, date picker") << "reminder" << false << "edt_date";
    QTest::newRow("reminder, none, time picker") << "reminder" << false << "edt_time";
    QTest::newRow("reminder, set, time picker") << "reminder" << true << "edt_time";
    QTest::newRow("color, none, text check box") << "color" << false << "cb_text";
    QTest::newRow("color, set, text list") << "color" << true << "cbox_text";
    QTest::newRow("color, set, background list") << "color" << true << "cbox_bg";
}

void TestTaskSchedule::enterDoesWhatOkDoes()
{
    QFETCH(QString, kind);
    QFETCH(bool, withValue);
    QFETCH(QString, focus);
    const DialogOutcome clicked = runScheduleDialog(kind, withValue, focus, false);
    const DialogOutcome entered = runScheduleDialog(kind, withValue, focus, true);
    QCOMPARE(clicked.result, int(QDialog::Accepted));
    QCOMPARE(entered.result, clicked.result);
    QCOMPARE(entered.flag, clicked.flag);
    QCOMPARE(entered.flag, withValue);
    QCOMPARE(entered.boxes, clicked.boxes);
    QCOMPARE(entered.boxes, QStringList());
    // A time proposed from "now" moves on between the two runs, by less than a minute.
    QVERIFY2(qAbs(entered.first - clicked.first) < 60 * kSecond,
             qPrintable(QStringLiteral("%1 / %2").arg(entered.first).arg(clicked.first)));
    QCOMPARE(entered.second, clicked.second);
}

// ---- reminder ---------------------------------------------------------------------------

void TestTaskSchedule::newReminderProposesTomorrow()
{
    const TDateTime now = NowDays();
    TReminderSetDlg dialog(false, 0);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(!dialog.cb_reminder->isChecked());
    QCOMPARE(dialog.edt_date->date(), DayOf(now + 1));
    QVERIFY(qAbs(dialog.edt_time->time().msecsTo(TimeOfDay(now))) < 5000);
    QVERIFY(!dialog.warningShown());
    QCOMPARE(dialog.focusWidget(), static_cast<QWidget *>(dialog.cb_reminder));
}

void TestTaskSchedule::pastReminderWarnsIsTakenAndFires()
{
    seed();
    select({1});
    const TDateTime minuteAgo = NowDays() - 60 * kSecond;
    OnDialog<TReminderSetDlg> driver([minuteAgo](TReminderSetDlg *dialog) {
        QVERIFY(!dialog->warningShown());
        dialog->edt_date->setDate(DayOf(minuteAgo));
        dialog->edt_time->setTime(TimeOfDay(minuteAgo));
        QVERIFY(dialog->cb_reminder->isChecked()); // a change checks the box
        QVERIFY(dialog->warningShown());
        QVERIFY(dialog->lbl_warning->isVisible());
        QVERIFY(dialog->img_warning->isVisible());
        QCOMPARE(dialog->lbl_warning->text(), QStringLiteral("Date or time may be incorrect!"));
        dialog->btn_ok->click();
    });
    m_frame->action(QStringLiteral("Action_TaskReminderSet"))->trigger();
    QCOMPARE(driver.runs(), 1);
    const QVariantMap stored = row(2);
    QCOMPARE(stored.value(QStringLiteral("alarmFlag")).toBool(), true);
    QVERIFY(qAbs(stored.value(QStringLiteral("alarmTime")).toDouble() - minuteAgo) < kTolerance);
    // The next tick raises it.
    m_frame->Timer1Timer();
    TtaskReminderDlg *alarm = TtaskReminderDlg::openAlarm();
    QVERIFY(alarm);
    QCOMPARE(alarm->Memo1->toPlainText(), QStringLiteral("B second"));
    alarm->btn_dismiss->click();
}

void TestTaskSchedule::uncheckingAfterWarningKeepsWarning()
{
    const TDateTime minuteAgo = NowDays() - 60 * kSecond;
    TReminderSetDlg dialog(true, minuteAgo);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.warningShown());
    dialog.cb_reminder->click();
    QVERIFY(!dialog.cb_reminder->isChecked());
    QVERIFY(dialog.warningShown());
    dialog.btn_ok->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.alarmFlag(), false);
    QVERIFY(qAbs(dialog.alarmTime() - minuteAgo) < kTolerance);
    // Checking it again evaluates afresh.
    TReminderSetDlg later(false, 0);
    later.show();
    later.cb_reminder->click();
    QVERIFY(later.cb_reminder->isChecked());
    QVERIFY(!later.warningShown());
}

void TestTaskSchedule::focusedControlShowsItsFrame_data()
{
    QTest::addColumn<QString>("which");
    QTest::newRow("Set Reminder") << QStringLiteral("reminder");
    QTest::newRow("Set Due Date") << QStringLiteral("due");
    QTest::newRow("the alarm window") << QStringLiteral("alarm");
    QTest::newRow("Set Color") << QStringLiteral("color");
}

void TestTaskSchedule::focusedControlShowsItsFrame()
{
    QFETCH(QString, which);
    std::unique_ptr<QDialog> dialog;
    if (which == QLatin1String("reminder"))
        dialog = std::make_unique<TReminderSetDlg>(false, 0);
    else if (which == QLatin1String("due"))
        dialog = std::make_unique<TDueSetDlg>(false, 0);
    else if (which == QLatin1String("color"))
        dialog = std::make_unique<TColorSetDlg>(0, 0);
    else
        dialog = std::make_unique<TtaskReminderDlg>(QStringLiteral("Call the garage"), QString());
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    dialog->activateWindow();
    QWidget *focus = dialog->focusWidget();
    QVERIFY(focus);
    QTRY_VERIFY(focus->hasFocus());
    // The focused control as the dialog shows it on opening, and as it would look without
    // the focus frame that keyboard use shows: they differ by the frame.
    const QImage shown = focus->grab().toImage();
    dialog->setAttribute(Qt::WA_KeyboardFocusChange, false);
    const QImage unframed = focus->grab().toImage();
    QVERIFY2(shown != unframed,
             qPrintable(QStringLiteral("no focus frame on %1").arg(focus->objectName())));
    if (auto *alarm = qobject_cast<TtaskReminderDlg *>(dialog.get()))
        alarm->btn_dismiss->click();
}

void TestTaskSchedule::warningReadsOnThePalette_data()
{
    QTest::addColumn<QColor>("window");
    QTest::addColumn<QColor>("link");
    QTest::addColumn<QColor>("expected"); // invalid: any colour that reads
    QTest::newRow("light") << QColor(239, 239, 239) << QColor(0, 0, 255) << QColor(0, 0, 255);
    QTest::newRow("dark, readable link") << QColor(53, 53, 53) << QColor(42, 130, 218) << QColor();
    QTest::newRow("dark, dark link") << QColor(53, 53, 53) << QColor(0, 0, 160) << QColor();
    QTest::newRow("black") << QColor(0, 0, 0) << QColor(0, 0, 255) << QColor();
}

void TestTaskSchedule::warningReadsOnThePalette()
{
    QFETCH(QColor, window);
    QFETCH(QColor, link);
    QFETCH(QColor, expected);
    const QPalette before = QApplication::palette();
    auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
    QPalette palette = before;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, ColorCodes::contrast(window, Qt::black) > 7
                                               ? QColor(Qt::black)
                                               : QColor(Qt::white));
    palette.setColor(QPalette::Link, link);
    QApplication::setPalette(palette);

    TReminderSetDlg dialog(true, NowDays() - 60 * kSecond);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.warningShown());
    const QLabel *warning = dialog.findChild<QLabel *>(QStringLiteral("lbl_warning"));
    QVERIFY(warning);
    const QColor drawn = warning->palette().color(QPalette::WindowText);
    const QColor behind = warning->palette().color(QPalette::Window);
    QCOMPARE(behind, window);
    if (expected.isValid())
        QCOMPARE(drawn, expected);
    QVERIFY2(ColorCodes::contrast(drawn, behind) >= 4.5,
             qPrintable(QStringLiteral("%1 on %2").arg(drawn.name(), behind.name())));
    QVERIFY(warning->font().bold());
}

void TestTaskSchedule::reminderCommandWritesEverySelectedTask()
{
    seed();
    select({0, 1, 2});
    const TDateTime shown = DayAndTime(QDate::currentDate().addDays(3), QTime(7, 15, 20));
    OnDialog<TReminderSetDlg> driver([shown](TReminderSetDlg *dialog) {
        QVERIFY(dialog->cb_reminder->isChecked());
        QCOMPARE(dialog->chosenTime(), shown);
        QVERIFY(!dialog->warningShown());
        dialog->btn_ok->click();
    });
    m_frame->action(QStringLiteral("Action_TaskReminderSet"))->trigger();
    QCOMPARE(driver.runs(), 1);
    for (int n : {1, 2, 3}) {
        const QVariantMap stored = row(n);
        QCOMPARE(stored.value(QStringLiteral("alarmFlag")).toBool(), true);
        QCOMPARE(stored.value(QStringLiteral("alarmTime")).toDouble(), shown);
    }
    QCOMPARE(row(4).value(QStringLiteral("alarmFlag")).toBool(), false);
    QCOMPARE(row(2).value(QStringLiteral("editTime")).toDouble(), 45000.5);
    QVERIFY(m_frame->tree()->selectedNodes().isEmpty());
    QCOMPARE(m_frame->alarmScan().armedCount(), 3);
    // Cancel changes nothing.
    select({3});
    OnDialog<TReminderSetDlg> cancel([](TReminderSetDlg *dialog) { dialog->btn_cancel->click(); });
    m_frame->action(QStringLiteral("Action_TaskReminderSet"))->trigger();
    QCOMPARE(cancel.runs(), 1);
    QCOMPARE(row(4).value(QStringLiteral("alarmFlag")).toBool(), false);
    QCOMPARE(m_frame->tree()->selectedNodes().size(), 1);
}

// ---- enabling ---------------------------------------------------------------------------

void TestTaskSchedule::commandsFollowSelection_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("due") << QStringLiteral("Action_TaskDueSet");
    QTest::newRow("reminder") << QStringLiteral("Action_TaskReminderSet");
    QTest::newRow("colour") << QStringLiteral("Action_SetColor");
}

void TestTaskSchedule::commandsFollowSelection()
{
    QFETCH(QString, action);
    seed();
    QAction *command = m_frame->action(action);
    QVERIFY(command);
    select({});
    QVERIFY(!command->isEnabled());
    select({2});
    QVERIFY(command->isEnabled());
    // Disabled while a task is being edited in place.
    m_frame->editItem();
    QVERIFY(m_frame->FEditNode);
    QTRY_VERIFY(m_frame->tree()->openEditor());
    QVERIFY(!command->isEnabled());
    m_frame->endEditing(false);
    QTRY_VERIFY(m_frame->FEditNode == nullptr);
}

void TestTaskSchedule::commandsWithoutSelectionDoNothing_data()
{
    commandsFollowSelection_data();
}

void TestTaskSchedule::commandsWithoutSelectionDoNothing()
{
    QFETCH(QString, action);
    seed();
    select({});
    // Called directly, past the disabled action: no dialog opens.
    OnDialog<QDialog> anyDialog([](QDialog *dialog) { dialog->reject(); });
    if (action == QStringLiteral("Action_TaskDueSet"))
        m_frame->Action_TaskDueSetExecute();
    else if (action == QStringLiteral("Action_TaskReminderSet"))
        m_frame->Action_TaskReminderSetExecute();
    else
        m_frame->Action_SetColorExecute();
    QTest::qWait(60);
    QCOMPARE(anyDialog.runs(), 0);
}

QTEST_MAIN(TestTaskSchedule)
#include "test_task_schedule.moc"
