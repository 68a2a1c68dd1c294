// The two list frames driven by their posted messages over a real database: reloading,
// the stored expanded state, the row counts and tray hint handed to the window, the view
// settings read at a reload, the order in which posted messages run and how a queued
// message finds its row again.
#include "common/IniFile.h"
#include "common/ListCommands.h"
#include "common/Texts.h"
#include "gui/DialogDriver.h"
#include "memos/Fr_wyMemos.h"
#include "memos/MemoInfo.h"
#include "storage/Database.h"
#include "support/TestSupport.h"
#include "tasks/Fr_wyTasks.h"
#include "tasks/TaskInfo.h"

#include "common/ItemTreeView.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

using namespace TestSupport;

namespace {

// The export and e-mail commands of the window, reduced to a record of what the lists
// asked of them.
class RecordingCommands : public ListCommands
{
public:
    bool writeItemsFile(Reports::ListKind list, const QString &fileName,
                        const QList<ItemNode *> &items) override
    {
        const QString kind =
            list == Reports::ListKind::Tasks ? QStringLiteral("tasks") : QStringLiteral("memos");
        QStringList texts;
        for (const ItemNode *item : items)
            texts.append(item->info->content);
        calls.append(QStringLiteral("write %1 %2: %3")
                         .arg(kind, QFileInfo(fileName).fileName(), texts.join(QLatin1Char(','))));
        return true;
    }
    void sendMail(QObject &sender, const Mail &mail) override
    {
        QStringList names;
        for (const QString &path : mail.attachments)
            names.append(QFileInfo(path).fileName());
        calls.append(QStringLiteral("mail %1: %2").arg(mail.subject, names.join(QLatin1Char(','))));
        senders.append(&sender);
    }

    QStringList calls;
    QList<QObject *> senders;
};

// The window a frame lives in, reduced to a record of what the frame told it. Events go
// into one log so that their order can be checked.
class RecordingHost : public QObject, public FrameHost
{
public:
    explicit RecordingHost(const ProgramFolder &folder)
        : m_ini(folder.file(Texts::IniFileName)),
          m_db(Database::open(folder.file(Texts::DatabaseFileName)))
    {}
    ~RecordingHost() override
    {
        m_db = QSqlDatabase();
        Database::close();
    }

    QSqlDatabase database() const override { return m_db; }
    const IniFile &ini() const override { return m_ini; }
    const FrameBitmaps &bitmaps() const override { return m_bitmaps; }
    void installMenus(const QList<QMenu *> &menus) override
    {
        installed.append(menus);
        record(QStringLiteral("menus"));
    }
    void setTaskCount(int count) override
    {
        taskCount = count;
        record(QStringLiteral("count"));
    }
    void setMemoCount(int count) override
    {
        memoCount = count;
        record(QStringLiteral("count"));
    }
    int hintSize() const override { return hintChars; }
    void setTrayHint(const QString &hint) override
    {
        trayHints.append(hint);
        record(QStringLiteral("hint"));
    }
    QAction *commonAction(CommonAction id) const override
    {
        QAction *&action = m_actions[int(id)];
        if (action == nullptr) {
            action = new QAction(QStringLiteral("common %1").arg(int(id)),
                                 const_cast<RecordingHost *>(this));
            action->setEnabled(false);
        }
        return action;
    }
    ListCommands &listCommands() override { return commands; }

    // One entry per change of kind: a list may report its hint more than once in one step.
    void record(const QString &event)
    {
        if (events.isEmpty() || events.last() != event)
            events.append(event);
    }

    int hintChars = 20;
    int taskCount = -1;
    int memoCount = -1;
    QStringList trayHints;
    QList<QList<QMenu *>> installed;
    QStringList events;
    RecordingCommands commands;

private:
    IniFile m_ini;
    QSqlDatabase m_db;
    FrameBitmaps m_bitmaps;
    mutable QHash<int, QAction *> m_actions;
};

// Rows seeded in this order. Stored order differs from text order on purpose.
//   "Write report" (expanded) with "Draft" and "Collect numbers"
//   "Book flights" (collapsed) with "Compare prices"
//   "Call plumber" (expanded, no children)
//   "Gather receipts", a third level under "Collect numbers"; "Lost", an orphan.
void seedRows(QSqlDatabase db, bool memos)
{
    struct Seed
    {
        int key;
        int parent;
        const char *content;
        bool expand;
        bool complete;
    };
    const Seed rows[] = {
        {1, 0, "Write report", true, false},     {2, 0, "Book flights", false, false},
        {3, 1, "Draft", false, false},           {4, 2, "Compare prices", false, false},
        {5, 1, "Collect numbers", true, false},  {6, 0, "Call plumber", true, true},
        {7, 5, "Gather receipts", false, false}, {8, 99, "Lost", false, false},
    };
    for (const Seed &s : rows) {
        Row row;
        row.key = key(s.key);
        row.pid = s.parent == 0 ? Texts::RootKey : key(s.parent);
        row.content = QString::fromUtf8(s.content);
        row.expandFlag = s.expand;
        row.checkFlag = s.complete;
        row.createTime = 45000 + s.key;
        row.editTime = row.createTime;
        memos ? insertMemo(db, row) : insertTask(db, row);
    }
}
constexpr int kSeededRows = 8;

// Every statement that writes expandFlag leaves a line in expand_log.
void logExpandWrites(QSqlDatabase db, bool memos)
{
    const QString table = memos ? QStringLiteral("memos") : QStringLiteral("tasks");
    const QString keyColumn = memos ? QStringLiteral("mid") : QStringLiteral("tid");
    execSql(db, QStringLiteral("create table expand_log (n integer primary key, key text, "
                               "flag integer)"));
    execSql(db, QStringLiteral("create trigger log_expand after update of expandFlag on %1 "
                               "begin insert into expand_log (key, flag) values (new.%2, "
                               "new.expandFlag); end")
                    .arg(table, keyColumn));
}

QStringList expandWrites(QSqlDatabase db)
{
    QSqlQuery query(db);
    query.exec(QStringLiteral("select key, flag from expand_log order by n"));
    QStringList writes;
    while (query.next())
        writes.append(query.value(0).toString() + QLatin1Char('=') + query.value(1).toString());
    return writes;
}

// What the tree view shows: "Top{child,child} Top".
QString shownTree(const QTreeView *view)
{
    const QAbstractItemModel *model = view->model();
    QStringList tops;
    for (int r = 0; r < model->rowCount(); ++r) {
        const QModelIndex top = model->index(r, 0);
        QString text = top.data().toString();
        QStringList children;
        for (int c = 0; c < model->rowCount(top); ++c)
            children.append(model->index(c, 0, top).data().toString());
        if (!children.isEmpty())
            text += QLatin1Char('{') + children.join(QLatin1Char(',')) + QLatin1Char('}');
        tops.append(text);
    }
    return tops.join(QLatin1Char(' '));
}

QModelIndex topRow(const QTreeView *view, const QString &text)
{
    const QAbstractItemModel *model = view->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        if (model->index(r, 0).data().toString() == text)
            return model->index(r, 0);
    }
    return {};
}

} // namespace

class TestFrames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void reloadShowsStoredOrder_data();
    void reloadShowsStoredOrder();
    void activationSortsWhatChanged_data();
    void activationSortsWhatChanged();
    void expandedStateFollowsTheTable_data();
    void expandedStateFollowsTheTable();
    void onlyItemsWithChildrenAreExpanded_data();
    void onlyItemsWithChildrenAreExpanded();
    void expandAllAnswersWhileTheFileIsBusy_data();
    void expandAllAnswersWhileTheFileIsBusy();
    void searchOpensParentsOfMatchesAndStoresThem_data();
    void searchOpensParentsOfMatchesAndStoresThem();
    void statusFollowsSelectionAfterSearch_data();
    void statusFollowsSelectionAfterSearch();
    void treeLinesAndGridLines_data();
    void treeLinesAndGridLines();
    void statusPanelsLieInsideTheBar_data();
    void statusPanelsLieInsideTheBar();
    void hotRowFollowsPointerAfterDrop_data();
    void hotRowFollowsPointerAfterDrop();
    void reloadReportsRowCount_data();
    void reloadReportsRowCount();
    void trayHintAfterReload_data();
    void trayHintAfterReload();
    void viewSettingsReadAtReload_data();
    void viewSettingsReadAtReload();
    void messagesRunInPostingOrder_data();
    void messagesRunInPostingOrder();
    void queuedDropFindsItsRowOrNothing_data();
    void queuedDropFindsItsRowOrNothing();
    void exportAndMailGoThroughTheWindowsCommands_data();
    void exportAndMailGoThroughTheWindowsCommands();

private:
    TwyTreeFrame *makeFrame(bool memos);
    // Posts the messages and lets them run.
    void deliver(const QList<FrameMessage> &messages);

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<RecordingHost> m_host;
    std::unique_ptr<EveryBoxAnswer> m_boxes;
    std::unique_ptr<TwyTreeFrame> m_frame;
};

void TestFrames::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_host = std::make_unique<RecordingHost>(*m_folder);
    m_boxes = std::make_unique<EveryBoxAnswer>(QMessageBox::NoButton);
}

void TestFrames::cleanup()
{
    const QStringList boxes = m_boxes->texts;
    m_frame.reset();
    m_boxes.reset();
    m_host.reset();
    m_folder.reset();
    QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join(QLatin1Char('\n'))));
}

TwyTreeFrame *TestFrames::makeFrame(bool memos)
{
    if (memos)
        m_frame = std::make_unique<TwyMemosFrame>(*m_host, nullptr);
    else
        m_frame = std::make_unique<TwyTasksFrame>(*m_host, nullptr);
    m_frame->resize(420, 520);
    m_frame->show();
    return m_frame.get();
}

void TestFrames::deliver(const QList<FrameMessage> &messages)
{
    for (FrameMessage message : messages)
        m_frame->postMessage(message);
    // Posted messages run once the current event is done; nothing is left afterwards.
    for (int round = 0; round < 5; ++round)
        QCoreApplication::processEvents();
}

namespace {
void addListColumn()
{
    QTest::addColumn<bool>("memos");
}
void addListRows()
{
    QTest::newRow("tasks") << false;
    QTest::newRow("memos") << true;
}
} // namespace

void TestFrames::reloadShowsStoredOrder_data()
{
    addListColumn();
    addListRows();
}

void TestFrames::reloadShowsStoredOrder()
{
    QFETCH(bool, memos);
    seedRows(m_host->database(), memos);
    TwyTreeFrame *frame = makeFrame(memos);
    QCOMPARE(frame->tree()->model()->rowCount(), 0); // nothing before the first reload

    const QString expected = QStringLiteral(
        "Write report{Draft,Collect numbers} Book flights{Compare prices} Call plumber");
    deliver({WM_FRAME_RELOAD});
    QCOMPARE(shownTree(frame->tree()), expected);

    // A second reload rebuilds rather than adds, and sees rows stored meanwhile.
    Row late;
    late.key = key(20);
    late.content = QStringLiteral("Added elsewhere");
    memos ? insertMemo(m_host->database(), late) : insertTask(m_host->database(), late);
    deliver({WM_FRAME_RELOAD});
    QCOMPARE(shownTree(frame->tree()), expected + QStringLiteral(" Added elsewhere"));
}

void TestFrames::activationSortsWhatChanged_data()
{
    addListColumn();
    addListRows();
}

// Each activation of a list sorts it: a changed text goes to its place, and a list that has
// not changed since is not laid out anew.
void TestFrames::activationSortsWhatChanged()
{
    QFETCH(bool, memos);
    seedRows(m_host->database(), memos);
    TwyTreeFrame *frame = makeFrame(memos);
    deliver({WM_FRAME_RELOAD, WM_FRAME_ACTIVATE});
    const QString sorted = QStringLiteral(
        "Book flights{Compare prices} Call plumber Write report{Collect numbers,Draft}");
    QCOMPARE(shownTree(frame->tree()), sorted);

    QSignalSpy layouts(frame->model(), &QAbstractItemModel::layoutChanged);
    deliver({WM_FRAME_ACTIVATE});
    QCOMPARE(layouts.count(), 0);
    QCOMPARE(shownTree(frame->tree()), sorted);

    ItemNode *plumber =
        frame->model()->nodeFromIndex(topRow(frame->tree(), QStringLiteral("Call plumber")));
    QVERIFY(plumber);
    plumber->info->content = QStringLiteral("Apples");
    frame->model()->textChanged();
    deliver({WM_FRAME_ACTIVATE});
    QCOMPARE(layouts.count(), 1);
    QCOMPARE(
        shownTree(frame->tree()),
        QStringLiteral("Apples Book flights{Compare prices} Write report{Collect numbers,Draft}"));
}

void TestFrames::expandedStateFollowsTheTable_data()
{
    addListColumn();
    addListRows();
}

void TestFrames::expandedStateFollowsTheTable()
{
    QFETCH(bool, memos);
    QSqlDatabase db = m_host->database();
    const QString table = memos ? QStringLiteral("memos") : QStringLiteral("tasks");
    const QString keyColumn = memos ? QStringLiteral("mid") : QStringLiteral("tid");
    seedRows(db, memos);
    logExpandWrites(db, memos);
    TwyTreeFrame *frame = makeFrame(memos);
    deliver({WM_FRAME_RELOAD});

    QTreeView *tree = frame->tree();
    const QModelIndex report = topRow(tree, QStringLiteral("Write report"));
    const QModelIndex flights = topRow(tree, QStringLiteral("Book flights"));
    QVERIFY(report.isValid() && flights.isValid());
    QVERIFY(tree->isExpanded(report));
    QVERIFY(!tree->isExpanded(flights));
    // Showing the stored state writes nothing.
    QCOMPARE(expandWrites(db), QStringList());

    tree->collapse(report);
    QCOMPARE(expandWrites(db), QStringList{key(1) + QStringLiteral("=0")});
    QCOMPARE(fetchRow(db, table, keyColumn, key(1)).value(QStringLiteral("expandFlag")).toInt(), 0);

    tree->expand(flights);
    QCOMPARE(expandWrites(db),
             (QStringList{key(1) + QStringLiteral("=0"), key(2) + QStringLiteral("=1")}));
    QCOMPARE(fetchRow(db, table, keyColumn, key(2)).value(QStringLiteral("expandFlag")).toInt(), 1);

    // Asking for the state a row already has writes nothing.
    tree->collapse(report);
    tree->expand(flights);
    QCOMPARE(expandWrites(db).size(), 2);

    // The next reload shows what was written, again without writing.
    deliver({WM_FRAME_RELOAD});
    QVERIFY(!tree->isExpanded(topRow(tree, QStringLiteral("Write report"))));
    QVERIFY(tree->isExpanded(topRow(tree, QStringLiteral("Book flights"))));
    QCOMPARE(expandWrites(db).size(), 2);

    // Expanding back to the stored value after a collapse writes again.
    tree->expand(topRow(tree, QStringLiteral("Write report")));
    QCOMPARE(expandWrites(db).size(), 3);
    QCOMPARE(fetchRow(db, table, keyColumn, key(1)).value(QStringLiteral("expandFlag")).toInt(), 1);
}

void TestFrames::onlyItemsWithChildrenAreExpanded_data()
{
    addListColumn();
    QTest::addColumn<bool>("expandAll");
    for (bool memos : {false, true}) {
        const char *list = memos ? "memos" : "tasks";
        QTest::addRow("%s, Expand All", list) << memos << true;
        // What a drag does to each row it crosses.
        QTest::addRow("%s, each row expanded", list) << memos << false;
    }
}

void TestFrames::onlyItemsWithChildrenAreExpanded()
{
    QFETCH(bool, memos);
    QFETCH(bool, expandAll);
    QSqlDatabase db = m_host->database();
    // Five collapsed top-level items; the first, third and fifth have a child.
    for (int n = 1; n <= 5; ++n) {
        Row top{key(n), Texts::RootKey, QStringLiteral("Item %1").arg(n)};
        memos ? insertMemo(db, top) : insertTask(db, top);
        if (n % 2 == 1) {
            Row child{key(10 + n), key(n), QStringLiteral("Child %1").arg(n)};
            memos ? insertMemo(db, child) : insertTask(db, child);
        }
    }
    logExpandWrites(db, memos);
    TwyTreeFrame *frame = makeFrame(memos);
    deliver({WM_FRAME_RELOAD});

    QTreeView *tree = frame->tree();
    if (expandAll) {
        frame->action(QStringLiteral("Action_ExpandAll"))->trigger();
    } else {
        for (int r = 0; r < tree->model()->rowCount(); ++r)
            tree->expand(tree->model()->index(r, 0));
    }
    QCOMPARE(expandWrites(db),
             (QStringList{key(1) + QStringLiteral("=1"), key(3) + QStringLiteral("=1"),
                          key(5) + QStringLiteral("=1")}));
}

void TestFrames::expandAllAnswersWhileTheFileIsBusy_data()
{
    addListColumn();
    QTest::addColumn<bool>("expand");
    for (bool memos : {false, true}) {
        const char *list = memos ? "memos" : "tasks";
        QTest::addRow("%s, Expand All", list) << memos << true;
        QTest::addRow("%s, Collapse All", list) << memos << false;
    }
}

// Another program writes to the file when Expand All or Collapse All is clicked: the tree
// opens or closes at once, the flags are stored once the file is free, and nothing fails.
void TestFrames::expandAllAnswersWhileTheFileIsBusy()
{
    QFETCH(bool, memos);
    QFETCH(bool, expand);
    QSqlDatabase db = m_host->database();
    // Three top-level items with a child each, open when collapsing.
    for (int n = 1; n <= 3; ++n) {
        Row top{key(n), Texts::RootKey, QStringLiteral("Item %1").arg(n)};
        top.expandFlag = !expand;
        Row child{key(10 + n), key(n), QStringLiteral("Child %1").arg(n)};
        memos ? insertMemo(db, top) : insertTask(db, top);
        memos ? insertMemo(db, child) : insertTask(db, child);
    }
    TwyTreeFrame *frame = makeFrame(memos);
    deliver({WM_FRAME_RELOAD});
    QTreeView *tree = frame->tree();

    auto lock = std::make_unique<FileWriteLock>(m_folder->file(Texts::DatabaseFileName));
    frame->action(expand ? QStringLiteral("Action_ExpandAll") : QStringLiteral("Action_CollapseAll"))
        ->trigger();
    QCoreApplication::processEvents();
    for (int r = 0; r < 3; ++r)
        QCOMPARE(tree->isExpanded(tree->model()->index(r, 0)), expand);
    QVERIFY2(m_boxes->texts.isEmpty(), qPrintable(m_boxes->texts.join(QLatin1Char('\n'))));
    lock.reset();

    const QString table = memos ? QStringLiteral("memos") : QStringLiteral("tasks");
    QCOMPARE(queryValue(db, QStringLiteral("select count(*) from %1 where pid='root' and "
                                           "expandFlag=%2")
                                .arg(table, expand ? QStringLiteral("True") : QStringLiteral("False")))
                 .toInt(),
             3);
}

void TestFrames::searchOpensParentsOfMatchesAndStoresThem_data()
{
    addListColumn();
    QTest::addColumn<QStringList>("collapsed"); // top-level rows closed before the search
    QTest::addColumn<QString>("search");
    QTest::addColumn<QList<int>>("opened"); // keys of the rows the search opens and stores
    for (bool memos : {false, true}) {
        const char *list = memos ? "memos" : "tasks";
        QTest::addRow("%s: one closed parent", list)
            << memos << QStringList() << QStringLiteral("prices") << QList<int>{2};
        QTest::addRow("%s: two closed parents", list)
            << memos << QStringList{QStringLiteral("Write report")} << QStringLiteral("r")
            << QList<int>{1, 2};
        QTest::addRow("%s: the parent open already", list)
            << memos << QStringList() << QStringLiteral("Dra") << QList<int>();
        QTest::addRow("%s: only the parent matches", list)
            << memos << QStringList() << QStringLiteral("Book") << QList<int>();
        QTest::addRow("%s: no match", list) << memos << QStringList{QStringLiteral("Write report")}
                                            << QStringLiteral("zzz") << QList<int>();
    }
}

// Rows a search opens for the sake of their matching children are stored open, and stay
// so once the search ends and after the next reload.
void TestFrames::searchOpensParentsOfMatchesAndStoresThem()
{
    QFETCH(bool, memos);
    QFETCH(QStringList, collapsed);
    QFETCH(QString, search);
    QFETCH(QList<int>, opened);
    QSqlDatabase db = m_host->database();
    const QString table = memos ? QStringLiteral("memos") : QStringLiteral("tasks");
    const QString keyColumn = memos ? QStringLiteral("mid") : QStringLiteral("tid");
    seedRows(db, memos);
    TwyTreeFrame *frame = makeFrame(memos);
    deliver({WM_FRAME_RELOAD, WM_FRAME_ACTIVATE});
    QTreeView *tree = frame->tree();
    for (const QString &text : collapsed)
        tree->collapse(topRow(tree, text));
    logExpandWrites(db, memos);
    auto flags = [&] {
        QStringList stored;
        for (int n = 1; n <= kSeededRows; ++n)
            stored << fetchRow(db, table, keyColumn, key(n))
                          .value(QStringLiteral("expandFlag"))
                          .toString();
        return stored;
    };
    QStringList expected = flags();
    for (int n : opened)
        expected[n - 1] = QStringLiteral("1");

    auto *box = frame->findChild<QLineEdit *>(QStringLiteral("Edt_Search"));
    box->setFocus();
    QTest::keyClicks(box, search);
    QStringList writes = expandWrites(db);
    writes.sort();
    QStringList expectedWrites;
    for (int n : opened)
        expectedWrites << key(n) + QStringLiteral("=1");
    expectedWrites.sort();
    QCOMPARE(writes, expectedWrites);
    QCOMPARE(flags(), expected);

    // The rows shown with their children are open in the tree.
    const QAbstractItemModel *model = tree->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        const QModelIndex top = model->index(r, 0);
        if (model->rowCount(top) > 0)
            QVERIFY2(tree->isExpanded(top), qPrintable(top.data().toString()));
    }

    // Leaving the search closes nothing, and a reload shows what was stored.
    QTest::keyClick(box, Qt::Key_Escape);
    QCOMPARE(flags(), expected);
    deliver({WM_FRAME_RELOAD});
    for (int n = 1; n <= kSeededRows; ++n) {
        const ItemNode *node = nullptr;
        frame->model()->forEachNode([&](ItemNode *candidate) {
            if (candidate->info->key == key(n))
                node = candidate;
        });
        if (node && node->level() == 0 && !node->children.empty())
            QCOMPARE(tree->isExpanded(frame->model()->indexOf(node)),
                     expected[n - 1] == QLatin1String("1"));
    }
}

void TestFrames::statusFollowsSelectionAfterSearch_data()
{
    addListColumn();
    QTest::addColumn<bool>("byButton"); // leaving search mode by its button, else by Esc
    QTest::newRow("tasks, Esc") << false << false;
    QTest::newRow("tasks, button") << false << true;
    QTest::newRow("memos, Esc") << true << false;
    QTest::newRow("memos, button") << true << true;
}

void TestFrames::statusFollowsSelectionAfterSearch()
{
    QFETCH(bool, memos);
    QFETCH(bool, byButton);
    seedRows(m_host->database(), memos);
    TwyTreeFrame *frame = makeFrame(memos);
    deliver({WM_FRAME_RELOAD, WM_FRAME_ACTIVATE});
    frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    QTreeView *tree = frame->tree();
    auto *status = frame->findChild<QLabel *>(QStringLiteral("StatusText"));
    QVERIFY(status);
    tree->selectionModel()->select(topRow(tree, QStringLiteral("Book flights")),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(status->text().endsWith(QStringLiteral(" created")));

    // A search that hides the selected row, then back to every row.
    auto *box = frame->findChild<QLineEdit *>(QStringLiteral("Edt_Search"));
    box->setFocus();
    QVERIFY(frame->FSearching);
    QTest::keyClicks(box, QStringLiteral("Draft"));
    if (byButton)
        frame->findChild<QToolButton *>(QStringLiteral("Btn_Search"))->click();
    else
        QTest::keyClick(box, Qt::Key_Escape);
    QVERIFY(!frame->FSearching);
    QCOMPARE(tree->model()->rowCount(), 3);
    QVERIFY(tree->selectionModel()->selectedRows().isEmpty());
    // No task or memo is selected: the status bar shows a tip, not the hidden row's line.
    const QStringList tips(std::begin(Texts::StatusTips), std::end(Texts::StatusTips));
    QVERIFY2(tips.contains(status->text()), qPrintable(status->text()));
}

void TestFrames::treeLinesAndGridLines_data()
{
    addListColumn();
    QTest::addColumn<QString>("part");
    for (bool memos : {false, true}) {
        const char *list = memos ? "memos" : "tasks";
        for (const char *part :
             {"button at the top", "line at the root", "line to a child", "grid line"})
            QTest::addRow("%s, %s", list, part) << memos << QString::fromLatin1(part);
    }
}

void TestFrames::treeLinesAndGridLines()
{
    QFETCH(bool, memos);
    QFETCH(QString, part);
    QSqlDatabase db = m_host->database();
    seedRows(db, memos);
    // The first row takes three lines.
    execSql(db, QStringLiteral("update %1 set content='Write report\nsecond line\nthird line' "
                               "where %2='%3'")
                    .arg(memos ? QStringLiteral("memos") : QStringLiteral("tasks"),
                         memos ? QStringLiteral("mid") : QStringLiteral("tid"), key(1)));
    TwyTreeFrame *frame = makeFrame(memos);
    deliver({WM_FRAME_RELOAD});
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    // No current row: the focus frame around it would cover the lines.
    frame->tree()->selectionModel()->clearCurrentIndex();
    QTreeView *tree = frame->tree();
    const QModelIndex report =
        topRow(tree, QStringLiteral("Write report\nsecond line\nthird line"));
    const QModelIndex flights = topRow(tree, QStringLiteral("Book flights"));
    QVERIFY(report.isValid() && flights.isValid() && tree->isExpanded(report));
    const QModelIndex draft = tree->model()->index(0, 0, report);
    const QRect row = tree->visualRect(report);
    const int line = tree->fontMetrics().height();
    QVERIFY(row.height() >= 3 * line);
    const QImage image = tree->viewport()->grab().toImage();
    auto colour = [&](QPoint at) { return image.pixelColor(at).rgb(); };
    const QRgb treeLine = tree->palette().color(QPalette::Dark).rgb();
    const QRgb gridLine = tree->palette().color(QPalette::Midlight).rgb();

    // The middle of each row's own column of the branch area.
    const int indent = tree->indentation();
    const int topX = row.left() - indent + indent / 2;
    // The expand button sits beside the first line of text, at the top of the row.
    const int buttonY = row.top() + 2 + line / 2;
    if (part == QLatin1String("button at the top")) {
        QCOMPARE(colour(QPoint(topX - 4, buttonY)), treeLine); // the box's left side
        QCOMPARE(colour(QPoint(topX + 4, buttonY)), treeLine); // its right side
        QVERIFY(colour(QPoint(topX - 4, row.center().y() + line)) != treeLine);
    } else if (part == QLatin1String("line at the root")) {
        // From the first row's button down to the next top-level row.
        QCOMPARE(colour(QPoint(topX, row.bottom() - 2)), treeLine);
        QCOMPARE(colour(QPoint(topX, tree->visualRect(flights).top() + 2)), treeLine);
    } else if (part == QLatin1String("line to a child")) {
        const QRect child = tree->visualRect(draft);
        const int childX = child.left() - indent + indent / 2;
        const int childY = child.top() + 2 + line / 2;
        QCOMPARE(colour(QPoint(childX, child.top() + 1)), treeLine);
        QCOMPARE(colour(QPoint(childX + indent / 2 - 1, childY)), treeLine);
        // The parent's line goes on past its children to the next top-level row.
        QCOMPARE(colour(QPoint(topX, child.center().y())), treeLine);
    } else {
        for (const QModelIndex &index : {report, draft, flights}) {
            const QRect r = tree->visualRect(index);
            QCOMPARE(colour(QPoint(r.center().x(), r.bottom())), gridLine);
        }
    }
}

void TestFrames::statusPanelsLieInsideTheBar_data()
{
    addListColumn();
    QTest::addColumn<int>("width");
    QTest::newRow("tasks") << false << 420;
    QTest::newRow("memos") << true << 420;
    QTest::newRow("tasks, narrow") << false << 250;
    QTest::newRow("memos, wide") << true << 900;
}

void TestFrames::statusPanelsLieInsideTheBar()
{
    QFETCH(bool, memos);
    QFETCH(int, width);
    TwyTreeFrame *frame = makeFrame(memos);
    frame->resize(width, 520);
    deliver({WM_FRAME_RELOAD});
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    auto *bar = frame->findChild<QStatusBar *>(QStringLiteral("WyStatusBar1"));
    QVERIFY(bar);
    QVERIFY(frame->rect().contains(bar->geometry()));
    // The bar draws each panel's border 2 pixels left and right of its control and 1 above
    // and below it: every border is drawn whole.
    const QList<QLabel *> panels =
        bar->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(panels.size(), 2);
    for (const QLabel *panel : panels) {
        const QRect border = panel->geometry().adjusted(-2, -1, 2, 1);
        QVERIFY2(bar->rect().contains(border), qPrintable(QStringLiteral("%1: %2,%3 %4x%5 in %6x%7")
                                                              .arg(panel->objectName())
                                                              .arg(border.x())
                                                              .arg(border.y())
                                                              .arg(border.width())
                                                              .arg(border.height())
                                                              .arg(bar->width())
                                                              .arg(bar->height())));
    }
}

void TestFrames::hotRowFollowsPointerAfterDrop_data()
{
    addListColumn();
    addListRows();
}

void TestFrames::hotRowFollowsPointerAfterDrop()
{
    QFETCH(bool, memos);
    seedRows(m_host->database(), memos);
    TwyTreeFrame *frame = makeFrame(memos);
    deliver({WM_FRAME_RELOAD});
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    auto *tree = static_cast<ItemTreeView *>(frame->tree());
    tree->collapseAll();
    // "Call plumber" is dragged onto "Write report"; the pointer rests over the second row.
    const QModelIndex plumber = topRow(tree, QStringLiteral("Call plumber"));
    tree->selectionModel()->select(plumber,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const QPoint over = tree->visualRect(tree->model()->index(1, 0)).center();
    QTest::mouseMove(tree->viewport(), tree->visualRect(plumber).center());
    QCOMPARE(tree->hotNode(), tree->itemModel()->nodeFromIndex(plumber));
    QCursor::setPos(tree->viewport()->mapToGlobal(over));
    ItemNode *target = nullptr;
    QVERIFY(tree->dropTargetAt(tree->visualRect(tree->model()->index(0, 0)).center(), &target));
    Q_EMIT tree->dropRequested(target);
    QCOMPARE(tree->model()->rowCount(), 2);
    // The hot row is the one now under the pointer, without a mouse move.
    QCOMPARE(tree->hotNode(), tree->itemModel()->nodeFromIndex(tree->indexAt(over)));
    QVERIFY(tree->hotNode() != nullptr);
}

void TestFrames::reloadReportsRowCount_data()
{
    addListColumn();
    QTest::addColumn<QString>("privateKey");
    QTest::addColumn<QString>("publicKey");
    QTest::addColumn<bool>("seeded");
    QTest::newRow("tasks") << false << QStringLiteral("privateTasks")
                           << QStringLiteral("publicTasks") << true;
    QTest::newRow("memos") << true << QStringLiteral("privateMemos")
                           << QStringLiteral("publicMemos") << true;
    QTest::newRow("tasks, empty table")
        << false << QStringLiteral("privateTasks") << QStringLiteral("publicTasks") << false;
    QTest::newRow("memos, empty table")
        << true << QStringLiteral("privateMemos") << QStringLiteral("publicMemos") << false;
}

void TestFrames::reloadReportsRowCount()
{
    QFETCH(bool, memos);
    QFETCH(QString, privateKey);
    QFETCH(QString, publicKey);
    QFETCH(bool, seeded);
    // Old values are replaced; other settings stay.
    writeFile(m_folder->file(Texts::IniFileName),
              (QStringLiteral("[option]\nhintSize=30\n[log]\n") + privateKey +
               QStringLiteral("=99\n") + publicKey + QStringLiteral("=5\n"))
                  .toUtf8());
    if (seeded)
        seedRows(m_host->database(), memos);
    makeFrame(memos);
    deliver({WM_FRAME_RELOAD});

    const int expected = seeded ? kSeededRows : 0;
    const IniFile ini(m_folder->file(Texts::IniFileName));
    QCOMPARE(ini.readString(QStringLiteral("log"), privateKey, QString()),
             QString::number(expected));
    QCOMPARE(ini.readString(QStringLiteral("log"), publicKey, QString()), QStringLiteral("0"));
    QCOMPARE(ini.readInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 0), 30);
    QCOMPARE(memos ? m_host->memoCount : m_host->taskCount, expected);
    QCOMPARE(memos ? m_host->taskCount : m_host->memoCount, -1); // the other list's is untouched
}

void TestFrames::trayHintAfterReload_data()
{
    QTest::addColumn<bool>("seeded");
    QTest::addColumn<int>("hintSize");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty table") << false << 20 << QStringLiteral("Incomplete Tasks:\rNone");
    // Incomplete tasks of every level in text order; "Call plumber" is complete.
    QTest::newRow("seeded") << true << 20
                            << QStringLiteral("Incomplete Tasks:\r(1) Book flights\r"
                                              "(2) Collect numbers\r(3) Compare prices\r"
                                              "(4) Draft\r ...");
    QTest::newRow("seeded, short hint")
        << true << 5
        << QStringLiteral("Incomplete Tasks:\r(1) Book ...\r(2) Colle...\r(3) Compa...\r"
                          "(4) Draft\r ...");
}

void TestFrames::trayHintAfterReload()
{
    QFETCH(bool, seeded);
    QFETCH(int, hintSize);
    QFETCH(QString, expected);
    m_host->hintChars = hintSize;
    if (seeded)
        seedRows(m_host->database(), false);
    makeFrame(false);
    deliver({WM_FRAME_RELOAD});
    QVERIFY(!m_host->trayHints.isEmpty());
    QCOMPARE(m_host->trayHints.last(), expected);
}

void TestFrames::viewSettingsReadAtReload_data()
{
    addListColumn();
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<bool>("list");
    QTest::addColumn<bool>("date");
    QTest::addColumn<int>("range");
    QTest::addColumn<bool>("ascending");

    QTest::newRow("tasks: no settings file")
        << false << QByteArray() << false << false << 0 << true;
    QTest::newRow("tasks: section without the keys")
        << false << QByteArray("[task]\nother=1\n") << false << false << 0 << true;
    QTest::newRow("tasks: every key set")
        << false << QByteArray("[task]\nviewListEn=1\nviewDateEn=1\nviewRange=2\nviewAscEn=0\n")
        << true << true << 2 << false;
    QTest::newRow("tasks: range 1")
        << false << QByteArray("[task]\nviewRange=1\n") << false << false << 1 << true;
    QTest::newRow("tasks: range 7 out of range")
        << false << QByteArray("[task]\nviewRange=7\n") << false << false << 0 << true;
    QTest::newRow("tasks: range -1 out of range")
        << false << QByteArray("[task]\nviewRange=-1\n") << false << false << 0 << true;
    QTest::newRow("tasks: memo keys do not count")
        << false << QByteArray("[memo]\nviewListEn=1\nviewAscEn=0\n") << false << false << 0
        << true;
    QTest::newRow("memos: no settings file") << true << QByteArray() << false << false << 0 << true;
    QTest::newRow("memos: keys set")
        << true << QByteArray("[memo]\nviewListEn=5\nviewAscEn=0\n") << true << false << 0 << false;
    QTest::newRow("memos: task keys do not count")
        << true << QByteArray("[task]\nviewListEn=1\nviewAscEn=0\n") << false << false << 0 << true;
}

void TestFrames::viewSettingsReadAtReload()
{
    QFETCH(bool, memos);
    QFETCH(QByteArray, ini);
    QFETCH(bool, list);
    QFETCH(bool, date);
    QFETCH(int, range);
    QFETCH(bool, ascending);

    const QString iniPath = m_folder->file(Texts::IniFileName);
    if (!ini.isEmpty())
        writeFile(iniPath, ini);
    TwyTreeFrame *frame = makeFrame(memos);
    deliver({WM_FRAME_RELOAD});

    QCOMPARE(frame->model()->view.list, list);
    QVERIFY(frame->action(QStringLiteral("Action_ViewList")));
    QCOMPARE(frame->action(QStringLiteral("Action_ViewList"))->isChecked(), list);
    QCOMPARE(frame->FAscending, ascending);
    QVERIFY(!frame->FLoading);

    if (!memos) {
        auto *tasks = static_cast<TwyTasksFrame *>(frame);
        QCOMPARE(tasks->viewDate(), date);
        QCOMPARE(tasks->action(QStringLiteral("Action_ViewDate"))->isChecked(), date);
        QCOMPARE(tasks->viewRange, range);
        auto *box = tasks->findChild<QComboBox *>(QStringLiteral("Comb_ViewRange"));
        QVERIFY(box);
        QCOMPARE(box->currentIndex(), range);
        const QStringList rangeItems{QStringLiteral("Menu_ViewAll"),
                                     QStringLiteral("Menu_ViewComplete"),
                                     QStringLiteral("Menu_ViewIncomplete")};
        for (int i = 0; i < rangeItems.size(); ++i)
            QCOMPARE(tasks->action(rangeItems.at(i))->isChecked(), i == range);
        // The sort command offers the other direction.
        QCOMPARE(tasks->action(QStringLiteral("Action_ViewAsc"))->toolTip(),
                 ascending ? QStringLiteral("Descending Sort") : QStringLiteral("Ascending Sort"));
    }

    // Reading the settings wrote none of them back; only the "log" section is new.
    QStringList lines = QString::fromUtf8(readFile(iniPath)).split(QLatin1Char('\n'));
    const qsizetype log = lines.indexOf(QStringLiteral("[log]"));
    QVERIFY(log >= 0);
    lines = lines.mid(0, log);
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    QStringList before = QString::fromUtf8(ini).split(QLatin1Char('\n'));
    while (!before.isEmpty() && before.last().isEmpty())
        before.removeLast();
    QCOMPARE(lines, before);
}

void TestFrames::messagesRunInPostingOrder_data()
{
    addListColumn();
    QTest::addColumn<QList<int>>("messages"); // FrameMessage values
    QTest::addColumn<QString>("events");

    QTest::newRow("tasks: reload, activate")
        << false << QList<int>{WM_FRAME_RELOAD, WM_FRAME_ACTIVATE}
        << QStringLiteral("count hint menus");
    QTest::newRow("tasks: activate, reload")
        << false << QList<int>{WM_FRAME_ACTIVATE, WM_FRAME_RELOAD}
        << QStringLiteral("menus count hint");
    QTest::newRow("tasks: reload, activate, reload")
        << false << QList<int>{WM_FRAME_RELOAD, WM_FRAME_ACTIVATE, WM_FRAME_RELOAD}
        << QStringLiteral("count hint menus count hint");
    QTest::newRow("memos: reload, activate")
        << true << QList<int>{WM_FRAME_RELOAD, WM_FRAME_ACTIVATE} << QStringLiteral("count menus");
    QTest::newRow("memos: activate, reload")
        << true << QList<int>{WM_FRAME_ACTIVATE, WM_FRAME_RELOAD} << QStringLiteral("menus count");
}

void TestFrames::messagesRunInPostingOrder()
{
    QFETCH(bool, memos);
    QFETCH(QList<int>, messages);
    QFETCH(QString, events);
    seedRows(m_host->database(), memos);
    TwyTreeFrame *frame = makeFrame(memos);

    for (int message : messages)
        frame->postMessage(FrameMessage(message));
    QVERIFY(m_host->events.isEmpty()); // posted, not run yet
    deliver({});
    QCOMPARE(m_host->events.join(QLatin1Char(' ')), events);
    QCOMPARE(m_host->installed.size(), 1);
    QCOMPARE(m_host->installed.first(), frame->mainMenu());
    QCOMPARE(m_host->installed.first().size(), 5);
    // The list is loaded whatever the order.
    QCOMPARE(frame->tree()->model()->rowCount(), 3);
    // Activation after the last reload gives the tree the focus once.
    QCOMPARE(frame->FFocusDone, messages.last() == int(WM_FRAME_ACTIVATE));
}

void TestFrames::queuedDropFindsItsRowOrNothing_data()
{
    addListColumn();
    QTest::addColumn<QString>("meanwhile"); // what happens before the message runs
    QTest::addColumn<bool>("dropped");

    for (bool memos : {false, true}) {
        const char *list = memos ? "memos" : "tasks";
        QTest::addRow("%s: row still there", list) << memos << QString() << true;
        // Another unstored row (text whose insert failed) takes the place of the gone one.
        QTest::addRow("%s: row removed, another unstored row added", list)
            << memos << QStringLiteral("remove") << false;
        QTest::addRow("%s: list reloaded, another unstored row added", list)
            << memos << QStringLiteral("reload") << false;
    }
}

void TestFrames::queuedDropFindsItsRowOrNothing()
{
    QFETCH(bool, memos);
    QFETCH(QString, meanwhile);
    QFETCH(bool, dropped);
    seedRows(m_host->database(), memos);
    TwyTreeFrame *frame = makeFrame(memos);
    deliver({WM_FRAME_RELOAD, WM_FRAME_ACTIVATE});
    ItemTreeModel *model = frame->model();
    const int stored = model->nodeCount();

    // A new item given up in its editor: the frame posts the removal of its row.
    frame->addItem();
    deliver({});
    ItemNode *abandoned = frame->FEditNode;
    QVERIFY(abandoned != nullptr);
    QVERIFY(frame->tree()->openEditor() != nullptr);
    frame->endEditing(false);
    QCOMPARE(frame->FEditNode, nullptr);
    QCOMPARE(model->nodeCount(), stored + 1); // the removal waits in the queue

    ItemNode *other = nullptr;
    if (!meanwhile.isEmpty()) {
        std::unique_ptr<ItemInfo> record;
        if (memos)
            record = std::make_unique<TMemoInfo>();
        else
            record = std::make_unique<TTaskInfo>();
        record->pid = Texts::RootKey;
        record->content = QStringLiteral("typed, not stored yet");
        if (meanwhile == QLatin1String("remove"))
            model->removeNode(abandoned);
        else
            frame->sendMessage(WM_FRAME_RELOAD);
        // The new row is likely to be made where the gone one was.
        other = model->appendNode(nullptr, std::move(record));
        QCOMPARE(model->nodeCount(), stored + 1);
    }
    deliver({});

    QCOMPARE(model->nodeCount(), dropped ? stored : stored + 1);
    if (other) {
        // The message whose row has gone does nothing, whatever now lies at the old address.
        bool present = false;
        model->forEachNode([&](ItemNode *node) { present = present || node == other; });
        QVERIFY(present);
        QCOMPARE(other->info->content, QStringLiteral("typed, not stored yet"));
    }
}

void TestFrames::exportAndMailGoThroughTheWindowsCommands_data()
{
    addListColumn();
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("tasks: export")
        << false << QStringLiteral("Action_Export")
        << QStringList{QStringLiteral("write tasks chosen.wyx: Book flights")};
    QTest::newRow("tasks: e-mail")
        << false << QStringLiteral("Action_Email")
        << QStringList{QStringLiteral("write tasks Tasks.wyx: Book flights"),
                       QStringLiteral("mail To-Do List: Tasks.html,Tasks.wyx")};
    QTest::newRow("memos: export")
        << true << QStringLiteral("Action_Export")
        << QStringList{QStringLiteral("write memos chosen.wyx: Book flights")};
    QTest::newRow("memos: e-mail")
        << true << QStringLiteral("Action_Email")
        << QStringList{QStringLiteral("write memos Memos.wyx: Book flights"),
                       QStringLiteral("mail Memos: Memos.html,Memos.wyx")};
}

void TestFrames::exportAndMailGoThroughTheWindowsCommands()
{
    QFETCH(bool, memos);
    QFETCH(QString, command);
    QFETCH(QStringList, calls);
    seedRows(m_host->database(), memos);
    TwyTreeFrame *frame = makeFrame(memos);
    deliver({WM_FRAME_RELOAD, WM_FRAME_ACTIVATE});
    frame->runExportDialog = [this] { return m_folder->file(QStringLiteral("chosen.wyx")); };
    ItemNode *flights = nullptr;
    for (const auto &top : frame->model()->root()->children) {
        if (top->info->content == QLatin1String("Book flights"))
            flights = top.get();
    }
    QVERIFY(flights != nullptr);
    frame->tree()->selectionModel()->select(frame->model()->indexOf(flights),
                                            QItemSelectionModel::ClearAndSelect |
                                                QItemSelectionModel::Rows);

    frame->action(command)->trigger();
    QCOMPARE(m_host->commands.calls, calls);
    // The frame hands its message on itself: its own e-mail component sends it.
    const QList<QObject *> senders =
        command == QLatin1String("Action_Email") ? QList<QObject *>{frame} : QList<QObject *>{};
    QCOMPARE(m_host->commands.senders, senders);
}

QTEST_MAIN(TestFrames)
#include "test_frames.moc"
