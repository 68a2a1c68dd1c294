// Text stored as pasting does, from outside the list (the running program's "add" requests):
// at the top level or under a top-level item, shown at once, stored with the paste's columns,
// and without closing an edit the user has open.
#include "common/Texts.h"
#include "memos/Fr_wyMemos.h"
#include "storage/PastedItem.h"
#include "support/FakeFrameHost.h"
#include "support/TestSupport.h"
#include "tasks/Fr_wyTasks.h"

#include <QTest>

#include <memory>

using namespace TestSupport;

class TestPastedItems : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void topLevelAndChild_data();
    void topLevelAndChild();
    void editInProgressStaysOpen();
    void pasteCommandStoresAnOpenEdit();
    void unknownParentChangesNothing_data();
    void unknownParentChangesNothing();
    void storeWithoutList_data();
    void storeWithoutList();

private:
    void start(bool memos);
    QWidget *waitForEditor();

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FakeFrameHost> m_host;
    std::unique_ptr<QWidget> m_window;
    TwyTreeFrame *m_frame = nullptr;
};

void TestPastedItems::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_host = std::make_unique<FakeFrameHost>();
}

void TestPastedItems::cleanup()
{
    m_window.reset();
    m_host.reset();
    m_folder.reset();
}

// A list with "Parent" (expanded, one child) and "Other" at the top level.
void TestPastedItems::start(bool memos)
{
    QSqlDatabase db = m_host->database();
    Row parent{key(1), Texts::RootKey, QStringLiteral("Parent")};
    parent.expandFlag = true;
    const Row child{key(2), key(1), QStringLiteral("Child")};
    const Row other{key(3), Texts::RootKey, QStringLiteral("Other")};
    for (const Row &row : {parent, child, other})
        memos ? insertMemo(db, row) : insertTask(db, row);

    m_window = std::make_unique<QWidget>();
    m_window->resize(500, 600);
    if (memos)
        m_frame = new TwyMemosFrame(*m_host, m_window.get());
    else
        m_frame = new TwyTasksFrame(*m_host, m_window.get());
    m_frame->resize(500, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_host->installedMenus.clear();
    m_frame->postMessage(WM_FRAME_RELOAD);
    m_frame->postMessage(WM_FRAME_ACTIVATE);
    QTRY_VERIFY(!m_host->installedMenus.isEmpty());
}

QWidget *TestPastedItems::waitForEditor()
{
    QWidget *editor = nullptr;
    for (int i = 0; i < 100 && editor == nullptr; ++i) {
        QTest::qWait(10);
        editor = m_frame->tree()->openEditor();
    }
    return editor;
}

void TestPastedItems::topLevelAndChild_data()
{
    QTest::addColumn<bool>("memos");
    QTest::addColumn<QString>("parentKey");
    QTest::newRow("task") << false << Texts::RootKey;
    QTest::newRow("child task") << false << key(1);
    QTest::newRow("memo") << true << Texts::RootKey;
    QTest::newRow("child memo") << true << key(1);
}

void TestPastedItems::topLevelAndChild()
{
    QFETCH(bool, memos);
    QFETCH(QString, parentKey);
    start(memos);
    const TDateTime before = NowDays();
    ItemNode *node = m_frame->storePastedText(QStringLiteral("Line one\nline two  \n"), parentKey);

    QVERIFY(node);
    QCOMPARE(node->info->key.size(), 38);
    if (parentKey == Texts::RootKey) {
        QCOMPARE(node->level(), 0);
    } else {
        QCOMPARE(node->level(), 1);
        QCOMPARE(node->parent->info->key, key(1));
        QCOMPARE(node->parent->children.size(), size_t(2));
        // Its parent was stored expanded: the new child is in view.
        QVERIFY(m_frame->tree()->isExpanded(m_frame->model()->indexOf(node->parent)));
    }
    // Shown at once.
    QVERIFY(m_frame->model()->indexOf(node).isValid());

    const QString table = memos ? QStringLiteral("memos") : QStringLiteral("tasks");
    const QString keyColumn = memos ? QStringLiteral("mid") : QStringLiteral("tid");
    const QVariantMap row = fetchRow(m_host->database(), table, keyColumn, node->info->key);
    QCOMPARE(row.value(QStringLiteral("pid")).toString(), parentKey);
    QCOMPARE(row.value(QStringLiteral("content")).toString(),
             QStringLiteral("Line one\r\nline two"));
    QVERIFY(row.value(QStringLiteral("createTime")).toDouble() >= before);
    QCOMPARE(row.value(QStringLiteral("editTime")), row.value(QStringLiteral("createTime")));
    if (memos) {
        // Pasted text is not assigned.
        QVERIFY(!row.value(QStringLiteral("assignTime")).isValid());
    } else {
        for (const char *flag : {"checkFlag", "dueFlag", "alarmFlag"})
            QCOMPARE(row.value(QLatin1String(flag)).toInt(), 0);
        QCOMPARE(row.value(QStringLiteral("textColor")).toInt(), 0);
        QCOMPARE(row.value(QStringLiteral("backgroundColor")).toInt(), 0);
        for (const char *time : {"checkTime", "alarmTime", "dueTime"})
            QVERIFY(!row.value(QLatin1String(time)).isValid());
    }
}

void TestPastedItems::editInProgressStaysOpen()
{
    start(false);
    m_frame->addItem();
    QWidget *editor = waitForEditor();
    QVERIFY(editor);
    ItemNode *editing = m_frame->FEditNode;
    QVERIFY(editing);
    QTest::keyClicks(editor, QStringLiteral("half typed"));

    ItemNode *stored = m_frame->storePastedText(QStringLiteral("From outside"), key(3));
    QCOMPARE(stored->parent->info->key, key(3));
    // The user's editor is still open on the same new item, with what was typed.
    QCOMPARE(m_frame->tree()->openEditor(), editor);
    QCOMPARE(m_frame->FEditNode, editing);

    QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
    QTRY_COMPARE(m_frame->FEditNode, nullptr);
    QCOMPARE(
        queryValue(m_host->database(), QStringLiteral("select count(*) from tasks where content in "
                                                      "('half typed', 'From outside')"))
            .toInt(),
        2);
}

void TestPastedItems::pasteCommandStoresAnOpenEdit()
{
    // The paste command (menu, tray) ends an open edit by storing it, not by dropping it.
    start(false);
    m_frame->addItem();
    QWidget *editor = waitForEditor();
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("half typed"));
    m_frame->pasteText(QStringLiteral("From the clipboard"));
    QTRY_COMPARE(m_frame->FEditNode, nullptr);
    QCOMPARE(
        queryValue(m_host->database(), QStringLiteral("select count(*) from tasks where content in "
                                                      "('half typed', 'From the clipboard')"))
            .toInt(),
        2);
}

void TestPastedItems::unknownParentChangesNothing_data()
{
    QTest::addColumn<QString>("parentKey");
    QTest::newRow("no such item") << key(99);
    QTest::newRow("a child item") << key(2);
    QTest::newRow("empty") << QString();
}

void TestPastedItems::unknownParentChangesNothing()
{
    QFETCH(QString, parentKey);
    start(false);
    const int shownBefore = m_frame->model()->nodeCount();
    QVERIFY_THROWS_EXCEPTION(TasklumeError,
                             m_frame->storePastedText(QStringLiteral("Lost?"), parentKey));
    QCOMPARE(m_frame->model()->nodeCount(), shownBefore);
    QCOMPARE(queryValue(m_host->database(), QStringLiteral("select count(*) from tasks")).toInt(),
             3);
}

void TestPastedItems::storeWithoutList_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("parentKey");
    QTest::addColumn<bool>("stored");
    const int tasks = int(Reports::ListKind::Tasks);
    const int memos = int(Reports::ListKind::Memos);
    QTest::newRow("task") << tasks << Texts::RootKey << true;
    QTest::newRow("child task") << tasks << key(1) << true;
    QTest::newRow("under a child task") << tasks << key(2) << false;
    QTest::newRow("under a missing task") << tasks << key(9) << false;
    QTest::newRow("memo") << memos << Texts::RootKey << true;
    QTest::newRow("child memo") << memos << key(1) << true;
    QTest::newRow("under a child memo") << memos << key(2) << false;
}

// The database alone, as the companion stores it when the program does not run.
void TestPastedItems::storeWithoutList()
{
    QFETCH(int, kind);
    QFETCH(QString, parentKey);
    QFETCH(bool, stored);
    const auto list = Reports::ListKind(kind);
    const bool memos = list == Reports::ListKind::Memos;
    QSqlDatabase db = m_host->database();
    for (const Row &row : {Row{key(1), Texts::RootKey, QStringLiteral("Parent")},
                           Row{key(2), key(1), QStringLiteral("Child")}})
        memos ? insertMemo(db, row) : insertTask(db, row);
    const QString table = memos ? QStringLiteral("memos") : QStringLiteral("tasks");

    if (!stored) {
        QVERIFY_THROWS_EXCEPTION(TasklumeError,
                                 PastedItem::Store(db, list, QStringLiteral("x"), parentKey));
        QCOMPARE(queryValue(db, QStringLiteral("select count(*) from ") + table).toInt(), 2);
        return;
    }
    const QString newKey = PastedItem::Store(db, list, QStringLiteral("Text  "), parentKey);
    const QVariantMap row =
        fetchRow(db, table, memos ? QStringLiteral("mid") : QStringLiteral("tid"), newKey);
    QCOMPARE(row.value(QStringLiteral("pid")).toString(), parentKey);
    QCOMPARE(row.value(QStringLiteral("content")).toString(), QStringLiteral("Text"));
}

QTEST_MAIN(TestPastedItems)
#include "test_pasted_items.moc"
