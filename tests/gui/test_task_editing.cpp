// The to-do list's editing commands on a real database: adding through the two-step edit,
// the in-place editor's keys, deleting, completion, copy and paste, selection rules and the
// commands' enabling.
#include "DialogDriver.h"
#include "storage/Database.h"
#include "storage/Statements.h"
#include "support/FakeFrameHost.h"
#include "support/TestSupport.h"
#include "tasks/Fr_wyTasks.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

using namespace TestSupport;

class TestTaskEditing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void addThenEscapeWritesNothing();
    void addTypeAndStore();
    void addOnlyBlanksStoresEmptyTask();
    void editWithoutChangeWritesNothing();
    void editStoresOnFocusLossAndIgnoresTab();
    void editOfARowGoneMeanwhileIsKept_data();
    void editOfARowGoneMeanwhileIsKept();
    void exitWithOpenEditStoresIt();
    void addChildToEmptyListAsksForSelection();
    void addChildGoesUnderTopLevelParent();
    void deleteTopLevelRemovesChildren_data();
    void deleteTopLevelRemovesChildren();
    void completionBySpaceWritesCheckOnly();
    void markCompleteFollowsFirstSelected();
    void manySelectedAreStoredAllOrNone_data();
    void manySelectedAreStoredAllOrNone();
    void copyJoinsWithCarriageReturn();
    void pasteStoresOneTaskWithLineBreak();
    void selectionStaysAmongSiblings();
    void pendingEditDisablesCommands();
    void doubleClickOnEmptySpaceAdds();

private:
    void reload();
    void seed();
    QWidget *waitForEditor();
    QSqlQuery query(const QString &sql);
    int rowCount(const QString &where = QString());
    void select(const QList<int> &topRows);

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FakeFrameHost> m_host;
    std::unique_ptr<QWidget> m_window;
    TwyTasksFrame *m_frame = nullptr;
};

void TestTaskEditing::init()
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

void TestTaskEditing::cleanup()
{
    m_window.reset();
    m_host.reset();
    m_folder.reset();
}

void TestTaskEditing::reload()
{
    m_host->installedMenus.clear();
    m_frame->postMessage(WM_FRAME_RELOAD);
    m_frame->postMessage(WM_FRAME_ACTIVATE);
    QTRY_VERIFY(!m_host->installedMenus.isEmpty());
}

void TestTaskEditing::seed()
{
    QSqlDatabase db = m_host->database();
    Row first{key(1), QStringLiteral("root"), QStringLiteral("First")};
    first.expandFlag = true;
    first.editTime = 45000.5;
    insertTask(db, first);
    insertTask(db, Row{key(2), key(1), QStringLiteral("First child")});
    insertTask(db, Row{key(3), key(1), QStringLiteral("Second child")});
    insertTask(db, Row{key(4), QStringLiteral("root"), QStringLiteral("Second")});
    insertTask(db, Row{key(5), QStringLiteral("root"), QStringLiteral("Third")});
    reload();
}

QWidget *TestTaskEditing::waitForEditor()
{
    QWidget *editor = nullptr;
    for (int i = 0; i < 100 && editor == nullptr; ++i) {
        QTest::qWait(10);
        editor = m_frame->tree()->openEditor();
    }
    return editor;
}

QSqlQuery TestTaskEditing::query(const QString &sql)
{
    QSqlQuery q(m_host->database());
    if (!q.exec(sql))
        qWarning() << q.lastQuery();
    q.next();
    return q;
}

int TestTaskEditing::rowCount(const QString &where)
{
    return query(QStringLiteral("select count(*) from tasks ") + where).value(0).toInt();
}

void TestTaskEditing::select(const QList<int> &topRows)
{
    auto *tree = m_frame->tree();
    tree->selectionModel()->clearSelection();
    for (int row : topRows) {
        const QModelIndex index = tree->model()->index(row, 0);
        tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::Select |
                                                           QItemSelectionModel::Rows);
    }
}

void TestTaskEditing::addThenEscapeWritesNothing()
{
    reload();
    m_frame->addItem();
    QWidget *editor = waitForEditor();
    QVERIFY(editor);
    QCOMPARE(m_frame->FTipKind, 2);
    QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_COMPARE(m_frame->model()->rowCount(), 0);
    QCOMPARE(m_frame->FEditNode, nullptr);
    QCOMPARE(rowCount(), 0);
    // The empty list invites adding a task.
    QCOMPARE(m_frame->FTipKind, 1);
}

void TestTaskEditing::addTypeAndStore()
{
    reload();
    QTest::keyClick(m_frame->tree(), Qt::Key_Return); // Enter adds a task
    QWidget *editor = waitForEditor();
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("Buy milk"));
    QTest::keyClick(editor, Qt::Key_Return); // a line break, not the end
    QTest::keyClicks(editor, QStringLiteral("two bottles   "));
    QVERIFY(m_frame->tree()->openEditor());
    QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
    QTRY_COMPARE(m_frame->FEditNode, nullptr);

    QSqlQuery row = query(QStringLiteral("select tid, pid, content, checkFlag, checkTime, "
                                         "alarmTime, dueTime, createTime, editTime from tasks"));
    QVERIFY(row.isValid());
    QCOMPARE(row.value(0).toString().size(), 38);
    QCOMPARE(row.value(1).toString(), QStringLiteral("root"));
    QCOMPARE(row.value(2).toString(), QStringLiteral("Buy milk\r\ntwo bottles"));
    QCOMPARE(row.value(3).toInt(), 0);
    QVERIFY(row.value(4).isNull());
    QVERIFY(row.value(5).isNull());
    QVERIFY(row.value(6).isNull());
    QVERIFY(row.value(7).toDouble() > 40000);
    QCOMPARE(row.value(8).toDouble(), row.value(7).toDouble());
    // The stored task is the one selection, and the tip panel is gone.
    QCOMPARE(m_frame->tree()->selectedNodes().size(), 1);
    QCOMPARE(m_frame->FTipKind, 0);
    QCOMPARE(m_host->trayHints.last(),
             QStringLiteral("Incomplete Tasks:\r(1) Buy milk  two bottle..."));
}

void TestTaskEditing::addOnlyBlanksStoresEmptyTask()
{
    reload();
    m_frame->addItem();
    QWidget *editor = waitForEditor();
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("   "));
    QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
    QTRY_COMPARE(rowCount(), 1);
    QCOMPARE(query(QStringLiteral("select content from tasks")).value(0).toString(), QString());
    QTest::qWait(20);
    QCOMPARE(m_frame->model()->rowCount(), 1);
    QCOMPARE(m_frame->model()->index(0, 0).data().toString(), QStringLiteral("Input content here"));
}

void TestTaskEditing::editWithoutChangeWritesNothing()
{
    seed();
    select({1});
    QTest::keyClick(m_frame->tree(), Qt::Key_F2);
    QWidget *editor = waitForEditor();
    QVERIFY(editor);
    QCOMPARE(static_cast<QPlainTextEdit *>(editor)->toPlainText(), QStringLiteral("Second"));
    QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
    QTRY_COMPARE(m_frame->FEditNode, nullptr);
    QVERIFY(query(QStringLiteral("select editTime from tasks where tid='%1'").arg(key(4)))
                .value(0)
                .isNull());
}

void TestTaskEditing::editStoresOnFocusLossAndIgnoresTab()
{
    seed();
    select({0});
    m_frame->editItem();
    QWidget *editor = waitForEditor();
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_Tab);
    QTest::keyClicks(editor, QStringLiteral(" task"));
    QVERIFY(m_frame->tree()->openEditor());
    // Another widget takes the focus: the edit ends and is stored.
    auto *other = new QLineEdit(m_window.get());
    other->show();
    other->setFocus();
    QTRY_COMPARE(m_frame->FEditNode, nullptr);
    QSqlQuery row =
        query(QStringLiteral("select content, editTime from tasks where tid='%1'").arg(key(1)));
    QCOMPARE(row.value(0).toString(), QStringLiteral("First task"));
    QVERIFY(row.value(1).toDouble() != 45000.5);
}

void TestTaskEditing::editOfARowGoneMeanwhileIsKept_data()
{
    QTest::addColumn<int>("topRow");
    QTest::addColumn<QString>("gone");
    QTest::newRow("a top-level task") << 1 << key(4);
    QTest::newRow("a parent with its children") << 0 << key(1);
}

void TestTaskEditing::editOfARowGoneMeanwhileIsKept()
{
    // Another writer (a sync) removes the row while its text is being edited: what was typed
    // is stored as a new task, not lost on a row that is no longer there.
    QFETCH(int, topRow);
    QFETCH(QString, gone);
    seed();
    select({topRow});
    m_frame->editItem();
    QWidget *editor = waitForEditor();
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral(" - typed meanwhile"));
    execSql(m_host->database(),
            QStringLiteral("delete from tasks where tid='%1' or pid='%1'").arg(gone));
    m_frame->endEditing(true);
    QTRY_COMPARE(m_frame->FEditNode, nullptr);
    QSqlQuery row = query(QStringLiteral("select tid, pid from tasks where content like "
                                         "'%- typed meanwhile'"));
    QVERIFY(row.isValid());
    QVERIFY(row.value(0).toString() != gone);
    QCOMPARE(row.value(1).toString(), QStringLiteral("root"));
}

void TestTaskEditing::exitWithOpenEditStoresIt()
{
    seed();
    select({2});
    m_frame->editItem();
    QWidget *editor = waitForEditor();
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("Changed before exit"));
    m_frame->shutdown();
    QCOMPARE(query(QStringLiteral("select content from tasks where tid='%1'").arg(key(5)))
                 .value(0)
                 .toString(),
             QStringLiteral("Changed before exit"));
}

void TestTaskEditing::addChildToEmptyListAsksForSelection()
{
    reload();
    BoxAnswer answer(QMessageBox::Ok);
    m_frame->addChildItem();
    QCOMPARE(answer.caption, QStringLiteral("Tip"));
    QCOMPARE(answer.text, QStringLiteral("Please select a task!"));
    QCOMPARE(m_frame->FEditNode, nullptr);
}

void TestTaskEditing::addChildGoesUnderTopLevelParent()
{
    seed();
    // A child is selected: the new task goes under its parent.
    auto *tree = m_frame->tree();
    const QModelIndex child = tree->model()->index(1, 0, tree->model()->index(0, 0));
    tree->selectionModel()->setCurrentIndex(child, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    QTest::keyClick(tree, Qt::Key_Return, Qt::ControlModifier);
    QWidget *editor = waitForEditor();
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("Third child"));
    QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
    QTRY_COMPARE(rowCount(QStringLiteral("where pid='%1'").arg(key(1))), 3);
    QCOMPARE(
        query(QStringLiteral("select content from tasks where pid='%1' and content like 'Third%'")
                  .arg(key(1)))
            .value(0)
            .toString(),
        QStringLiteral("Third child"));
}

void TestTaskEditing::deleteTopLevelRemovesChildren_data()
{
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QString>("question");
    QTest::addColumn<int>("left");
    QTest::newRow("one with children")
        << QList<int>{0} << QStringLiteral("Are you sure you want to delete this task?") << 2;
    QTest::newRow("two") << QList<int>{1, 2}
                         << QStringLiteral("Are you sure you want to delete these tasks?") << 3;
}

void TestTaskEditing::deleteTopLevelRemovesChildren()
{
    QFETCH(QList<int>, rows);
    seed();
    select(rows);
    {
        BoxAnswer cancel(QMessageBox::Cancel);
        QTest::keyClick(m_frame->tree(), Qt::Key_Delete);
        QCOMPARE(cancel.caption, QStringLiteral("Ask"));
        QTEST(cancel.text, "question");
    }
    QCOMPARE(rowCount(), 5);
    BoxAnswer ok(QMessageBox::Ok);
    m_frame->deleteItems();
    QTEST(rowCount(), "left");
    QCOMPARE(m_frame->model()->nodeCount(), rowCount());
}

void TestTaskEditing::completionBySpaceWritesCheckOnly()
{
    seed();
    select({1});
    QTest::keyClick(m_frame->tree(), Qt::Key_Space);
    QSqlQuery row =
        query(QStringLiteral("select checkFlag, checkTime, editTime from tasks where tid='%1'")
                  .arg(key(4)));
    QCOMPARE(row.value(0).toInt(), 1);
    QVERIFY(row.value(1).toDouble() > 40000);
    QVERIFY(row.value(2).isNull());
    QCOMPARE(m_frame->model()->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    // Unchecking writes the time again.
    QTest::keyClick(m_frame->tree(), Qt::Key_Space);
    QCOMPARE(query(QStringLiteral("select checkFlag from tasks where tid='%1'").arg(key(4)))
                 .value(0)
                 .toInt(),
             0);
}

void TestTaskEditing::markCompleteFollowsFirstSelected()
{
    seed();
    query(QStringLiteral("update tasks set checkFlag=True where tid='%1'").arg(key(4)));
    reload();
    select({1, 2});
    QAction *complete = m_frame->action(QStringLiteral("Action_TaskComplete"));
    QCOMPARE(complete->text(), QStringLiteral("Unmark Complete"));
    complete->trigger();
    QCOMPARE(rowCount(QStringLiteral("where checkFlag=True")), 0);
    QCOMPARE(complete->text(), QStringLiteral("Mark Complete"));
    complete->trigger();
    QCOMPARE(rowCount(QStringLiteral("where checkFlag=True")), 2);
}

void TestTaskEditing::manySelectedAreStoredAllOrNone_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("unchanged");
    QTest::newRow("delete") << QStringLiteral("Action_TaskDelete")
                            << QStringLiteral("before delete on tasks")
                            << QStringLiteral("select count(*) from tasks");
    QTest::newRow("mark complete") << QStringLiteral("Action_TaskComplete")
                                   << QStringLiteral("before update of checkFlag on tasks")
                                   << QStringLiteral("select count(*) from tasks where not checkFlag");
}

// The selected items are written in one transaction: when the last one cannot be stored,
// none of them is, and the list shows them as they were.
void TestTaskEditing::manySelectedAreStoredAllOrNone()
{
    QFETCH(QString, command);
    QFETCH(QString, refusal);
    QFETCH(QString, unchanged);
    seed();
    query(QStringLiteral("create trigger refuse %1 when old.content='Third' "
                         "begin select raise(abort, 'refused'); end")
              .arg(refusal));
    QCOMPARE(query(unchanged).value(0).toInt(), 5);
    select({0, 1, 2});
    {
        EveryBoxAnswer answers(QMessageBox::Ok);
        m_frame->action(command)->trigger();
        QTRY_COMPARE(answers.texts.size(), command == QStringLiteral("Action_TaskDelete") ? 2 : 1);
        QVERIFY2(answers.texts.last().contains(QStringLiteral("refused")),
                 qPrintable(answers.texts.join(QLatin1Char('|'))));
    }
    QCOMPARE(query(unchanged).value(0).toInt(), 5);
    QCOMPARE(m_frame->model()->nodeCount(), 5);
    for (int row = 0; row < 3; ++row)
        QCOMPARE(m_frame->model()->index(row, 0).data(Qt::CheckStateRole).toInt(),
                 int(Qt::Unchecked));
}

void TestTaskEditing::copyJoinsWithCarriageReturn()
{
    seed();
    QApplication::clipboard()->setText(QStringLiteral("untouched"));
    select({});
    m_frame->copyItems();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("untouched"));
    select({0, 1, 2});
    QTest::keyClick(m_frame->tree(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("First\rSecond\rThird"));
}

void TestTaskEditing::pasteStoresOneTaskWithLineBreak()
{
    reload();
    QApplication::clipboard()->setText(QStringLiteral("line one\nline two\n\n"));
    QTest::keyClick(m_frame->tree(), Qt::Key_V, Qt::ControlModifier);
    QSqlQuery row = query(QStringLiteral("select content, pid, createTime, editTime from tasks"));
    QCOMPARE(row.value(0).toString(), QStringLiteral("line one\r\nline two"));
    QCOMPARE(row.value(1).toString(), QStringLiteral("root"));
    QCOMPARE(row.value(2).toDouble(), row.value(3).toDouble());
    QCOMPARE(m_frame->model()->rowCount(), 1);
    QCOMPARE(m_host->trayHints.last(), QStringLiteral("Incomplete Tasks:\r(1) line one  line two"));
}

void TestTaskEditing::selectionStaysAmongSiblings()
{
    seed();
    auto *tree = m_frame->tree();
    const QModelIndex top = tree->model()->index(1, 0);
    const QModelIndex child = tree->model()->index(0, 0, tree->model()->index(0, 0));
    tree->selectionModel()->setCurrentIndex(top, QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
    tree->selectionModel()->setCurrentIndex(child, QItemSelectionModel::Select |
                                                       QItemSelectionModel::Rows);
    const QModelIndexList rows = tree->selectionModel()->selectedRows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first(), child);

    // Ctrl+A selects the visible siblings of the current row.
    QTest::keyClick(tree, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(tree->selectionModel()->selectedRows().size(), 2);
}

void TestTaskEditing::pendingEditDisablesCommands()
{
    seed();
    select({0});
    const QStringList names{
        QStringLiteral("Action_TaskAdd"),      QStringLiteral("Action_SubTaskAdd"),
        QStringLiteral("Action_TaskEdit"),     QStringLiteral("Action_TaskDelete"),
        QStringLiteral("Action_TaskComplete"), QStringLiteral("Action_CopyTask"),
        QStringLiteral("Action_PasteTask"),    QStringLiteral("Action_SelectAll"),
        QStringLiteral("Action_ViewList"),     QStringLiteral("Action_ViewDate")};
    for (const QString &name : names)
        QVERIFY2(m_frame->action(name)->isEnabled(), qPrintable(name));
    m_frame->editItem();
    QVERIFY(waitForEditor());
    for (const QString &name : names)
        QVERIFY2(!m_frame->action(name)->isEnabled(), qPrintable(name));
    // Commands called some other way do nothing meanwhile.
    m_frame->deleteItems();
    m_frame->addItem();
    QCOMPARE(m_frame->model()->nodeCount(), 5);
    m_frame->endEditing(false);
    QTRY_VERIFY(m_frame->action(QStringLiteral("Action_TaskEdit"))->isEnabled());
    // Without a selection, Edit and Delete stay off.
    select({});
    QVERIFY(!m_frame->action(QStringLiteral("Action_TaskEdit"))->isEnabled());
    QVERIFY(!m_frame->action(QStringLiteral("Action_TaskDelete"))->isEnabled());
    QVERIFY(m_frame->action(QStringLiteral("Action_TaskAdd"))->isEnabled());
}

void TestTaskEditing::doubleClickOnEmptySpaceAdds()
{
    seed();
    auto *viewport = m_frame->tree()->viewport();
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(50, viewport->height() - 5));
    QVERIFY(waitForEditor());
    QCOMPARE(m_frame->model()->rowCount(), 4);
}

QTEST_MAIN(TestTaskEditing)
#include "test_task_editing.moc"
