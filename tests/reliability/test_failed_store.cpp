// Every command of the to-do list while another program holds the database's write lock:
// the user reads that the database is locked by another program, the list shows nothing that
// is not stored, and what the user typed is offered again and stored once the lock is gone.
#include "common/Fr_wyTree.h"
#include "gui/DialogDriver.h"
#include "storage/Database.h"
#include "support/FakeFrameHost.h"
#include "support/TestSupport.h"
#include "tasks/Dlg_ColorSet.h"
#include "tasks/Dlg_DueSet.h"
#include "tasks/Dlg_ReminderSet.h"
#include "tasks/Fr_wyTasks.h"
#include "tasks/TaskTreeModel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

using namespace TestSupport;

namespace {

// Another program holding the write lock until release().
class Locker
{
public:
    explicit Locker(const QString &database)
    {
        m_process.start(QStringLiteral(TASKLUME_STORAGE_DRIVER),
                        {QStringLiteral("lock"), database, QStringLiteral("write")});
        QByteArray said;
        QDeadlineTimer deadline(15000);
        while (!said.contains("locked\n") && !deadline.hasExpired() &&
               m_process.state() != QProcess::NotRunning) {
            m_process.waitForReadyRead(200);
            said += m_process.readAllStandardOutput();
        }
        m_holds = said.contains("locked\n");
    }
    ~Locker() { release(); }
    bool holds() const { return m_holds; }
    void release()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }

private:
    QProcess m_process;
    bool m_holds = false;
};

constexpr TDateTime kEdited = 45000.25;

} // namespace

class TestFailedStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void commandChangesNothingShown_data();
    void commandChangesNothingShown();
    void editedTextIsOfferedAgain();
    void newTaskIsOfferedAgain();

private:
    ItemNode *node(int n) const;
    QVariantMap stored(int n) const;
    QPlainTextEdit *waitForEditor() const;
    void checkMessage(const EveryBoxAnswer &boxes) const;

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FakeFrameHost> m_host;
    std::unique_ptr<QWidget> m_window;
    TwyTasksFrame *m_frame = nullptr;
};

void TestFailedStore::initTestCase()
{
    // Each command meets the lock: a short busy wait lets it fail at once rather than after
    // the program's 3 s. A value set outside (3000 for the program's own wait) is kept.
    if (!qEnvironmentVariableIsSet("TASKLUME_BUSY_TIMEOUT_MS"))
        qputenv("TASKLUME_BUSY_TIMEOUT_MS", "100");
}

void TestFailedStore::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_host = std::make_unique<FakeFrameHost>();
    Row first{key(1), QStringLiteral("root"), QStringLiteral("First task")};
    first.expandFlag = true;
    first.createTime = first.editTime = kEdited;
    insertTask(m_host->database(), first);
    Row child{key(2), key(1), QStringLiteral("Its child")};
    child.createTime = child.editTime = kEdited;
    insertTask(m_host->database(), child);
    m_window = std::make_unique<QWidget>();
    m_window->resize(500, 500);
    m_frame = new TwyTasksFrame(*m_host, m_window.get());
    m_frame->resize(500, 500);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_frame->postMessage(WM_FRAME_RELOAD);
    m_frame->postMessage(WM_FRAME_ACTIVATE);
    QTRY_COMPARE(m_frame->model()->nodeCount(), 2);
    auto *tree = m_frame->tree();
    tree->selectionModel()->select(m_frame->model()->indexOf(node(1)),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    tree->selectionModel()->setCurrentIndex(m_frame->model()->indexOf(node(1)),
                                            QItemSelectionModel::NoUpdate);
}

void TestFailedStore::cleanup()
{
    m_window.reset();
    m_frame = nullptr;
    m_host.reset();
    m_folder.reset();
}

ItemNode *TestFailedStore::node(int n) const
{
    ItemNode *found = nullptr;
    m_frame->model()->forEachNode([&](ItemNode *candidate) {
        if (candidate->info->key == key(n))
            found = candidate;
    });
    return found;
}

QVariantMap TestFailedStore::stored(int n) const
{
    return fetchRow(m_host->database(), QStringLiteral("tasks"), QStringLiteral("tid"), key(n));
}

QPlainTextEdit *TestFailedStore::waitForEditor() const
{
    QPlainTextEdit *editor = nullptr;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() &&
           !(editor = qobject_cast<QPlainTextEdit *>(m_frame->tree()->openEditor())))
        QTest::qWait(20);
    return editor;
}

void TestFailedStore::checkMessage(const EveryBoxAnswer &boxes) const
{
    QCOMPARE(boxes.texts.size(), 1);
    const QString &text = boxes.texts.first();
    QVERIFY2(text.startsWith(QStringLiteral("Ploxen Tasklume: ")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("locked by another program")), qPrintable(text));
    QVERIFY2(text.contains(m_folder->file(QStringLiteral("wyData.wyb"))), qPrintable(text));
}

void TestFailedStore::commandChangesNothingShown_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("complete") << "Action_TaskComplete";
    QTest::newRow("due date") << "Action_TaskDueSet";
    QTest::newRow("reminder") << "Action_TaskReminderSet";
    QTest::newRow("colours") << "Action_SetColor";
    QTest::newRow("delete") << "Action_TaskDelete";
}

void TestFailedStore::commandChangesNothingShown()
{
    QFETCH(QString, command);
    const QVariantMap before = stored(1);
    QVERIFY(!before.isEmpty());

    OnDialog<TDueSetDlg> due([](TDueSetDlg *dialog) {
        dialog->cb_due->setChecked(true);
        dialog->edt_due->setDate(QDate::currentDate().addDays(3));
        dialog->Btn_Ok->click();
    });
    OnDialog<TReminderSetDlg> reminder([](TReminderSetDlg *dialog) {
        dialog->cb_reminder->setChecked(true);
        dialog->edt_date->setDate(QDate::currentDate().addDays(3));
        dialog->btn_ok->click();
    });
    OnDialog<TColorSetDlg> colours([](TColorSetDlg *dialog) {
        if (dialog->cb_text->isChecked())
            dialog->cb_text->click();
        dialog->cbox_text->setCurrentIndex(2);
        dialog->btn_Ok->click();
    });
    Locker locker(m_folder->file(QStringLiteral("wyData.wyb")));
    QVERIFY(locker.holds());
    EveryBoxAnswer boxes;
    QAction *action = m_frame->action(command);
    QVERIFY(action && action->isEnabled());
    action->trigger();
    // Delete asks first, then tells.
    const int expected = command == QLatin1String("Action_TaskDelete") ? 2 : 1;
    QTRY_VERIFY_WITH_TIMEOUT(boxes.texts.size() >= expected, 15000);
    if (command == QLatin1String("Action_TaskDelete")) {
        // The question, then the message.
        QVERIFY(boxes.texts.first().startsWith(QStringLiteral("Ask: ")));
        boxes.texts.removeFirst();
    }
    checkMessage(boxes);
    locker.release();

    // The database is as it was, and the list shows what it holds.
    QCOMPARE(stored(1), before);
    QVERIFY(!stored(2).isEmpty());
    ItemNode *first = node(1);
    QVERIFY2(first, "the task left the list although it is still stored");
    QVERIFY(node(2));
    const TTaskInfo &task = *TaskTreeModel::task(first);
    QCOMPARE(task.checkFlag, before.value(QStringLiteral("checkFlag")).toBool());
    QCOMPARE(task.dueFlag, before.value(QStringLiteral("dueFlag")).toBool());
    QCOMPARE(task.alarmFlag, before.value(QStringLiteral("alarmFlag")).toBool());
    QCOMPARE(task.textColor, qint32(before.value(QStringLiteral("textColor")).toInt()));
    QCOMPARE(task.backgroundColor, qint32(before.value(QStringLiteral("backgroundColor")).toInt()));

    // With the lock gone the same command goes through.
    boxes.texts.clear();
    due.rearm();
    reminder.rearm();
    colours.rearm();
    action->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(stored(1) != before, 15000);
    for (const QString &text : std::as_const(boxes.texts))
        QVERIFY2(text.startsWith(QStringLiteral("Ask: ")), qPrintable(text));
}

void TestFailedStore::editedTextIsOfferedAgain()
{
    EveryBoxAnswer boxes;
    Locker locker(m_folder->file(QStringLiteral("wyData.wyb")));
    QVERIFY(locker.holds());
    m_frame->action(QStringLiteral("Action_TaskEdit"))->trigger();
    QPlainTextEdit *editor = waitForEditor();
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Rewritten while locked"));
    QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(!boxes.texts.isEmpty(), 15000);
    checkMessage(boxes);

    // The list keeps the stored text; the editor opens again with the typed one.
    QCOMPARE(node(1)->info->content, QStringLiteral("First task"));
    editor = waitForEditor();
    QVERIFY2(editor, "the typed text was not offered again");
    QCOMPARE(editor->toPlainText(), QStringLiteral("Rewritten while locked"));
    QCOMPARE(stored(1).value(QStringLiteral("content")).toString(), QStringLiteral("First task"));

    locker.release();
    QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
    QTRY_COMPARE(stored(1).value(QStringLiteral("content")).toString(),
                 QStringLiteral("Rewritten while locked"));
    QCOMPARE(node(1)->info->content, QStringLiteral("Rewritten while locked"));
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY(m_frame->tree()->openEditor() == nullptr);
}

void TestFailedStore::newTaskIsOfferedAgain()
{
    EveryBoxAnswer boxes;
    Locker locker(m_folder->file(QStringLiteral("wyData.wyb")));
    QVERIFY(locker.holds());
    m_frame->action(QStringLiteral("Action_TaskAdd"))->trigger();
    QPlainTextEdit *editor = waitForEditor();
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("Added while locked"));
    QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(!boxes.texts.isEmpty(), 15000);
    checkMessage(boxes);
    editor = waitForEditor();
    QVERIFY2(editor, "the typed text was not offered again");
    QCOMPARE(editor->toPlainText(), QStringLiteral("Added while locked"));
    QCOMPARE(queryValue(m_host->database(), QStringLiteral("select count(*) from tasks")).toInt(),
             2);

    // Given up with Esc, the unstored task leaves the list.
    QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_COMPARE(m_frame->model()->nodeCount(), 2);
    locker.release();

    // Added again without the lock, it is stored once.
    m_frame->action(QStringLiteral("Action_TaskAdd"))->trigger();
    editor = waitForEditor();
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("Added after the lock"));
    QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
    QTRY_COMPARE(queryValue(m_host->database(),
                            QStringLiteral("select count(*) from tasks where content='Added after "
                                           "the lock'"))
                     .toInt(),
                 1);
    QCOMPARE(m_frame->model()->nodeCount(), 3);
    QCOMPARE(boxes.texts.size(), 1);
}

QTEST_MAIN(TestFailedStore)
#include "test_failed_store.moc"
