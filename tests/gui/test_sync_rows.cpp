// The changes a sync stored behind the list's back, shown row by row: the tree ends as a
// whole reload would show it, while the selection of several rows, the current row and the
// scroll position stay.
#include "memos/Fr_wyMemos.h"
#include "support/FakeFrameHost.h"
#include "support/TestSupport.h"
#include "tasks/Fr_wyTasks.h"

#include <QScrollBar>
#include <QSqlQuery>
#include <QTest>

using namespace TestSupport;

namespace {
constexpr int kTops = 60; // "Item 00" .. "Item 59", enough to scroll
} // namespace

class TestSyncRows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void changesShownRowByRow_data();
    void changesShownRowByRow();
    void levelChangeNeedsWholeReload();

private:
    TwyTreeFrame *makeFrame(bool tasks, QWidget *parent);
    static QString shown(const TwyTreeFrame *frame);
    static QStringList selectedTexts(const TwyTreeFrame *frame);
    void exec(const QString &sql);

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FakeFrameHost> m_host;
    std::unique_ptr<QWidget> m_window;
};

void TestSyncRows::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_host = std::make_unique<FakeFrameHost>();
    m_window = std::make_unique<QWidget>();
    m_window->resize(500, 400);
}

void TestSyncRows::cleanup()
{
    m_window.reset();
    m_host.reset();
    m_folder.reset();
}

TwyTreeFrame *TestSyncRows::makeFrame(bool tasks, QWidget *parent)
{
    TwyTreeFrame *frame = tasks ? static_cast<TwyTreeFrame *>(new TwyTasksFrame(*m_host, parent))
                                : new TwyMemosFrame(*m_host, parent);
    frame->resize(500, 400);
    return frame;
}

QString TestSyncRows::shown(const TwyTreeFrame *frame)
{
    const QAbstractItemModel *model = frame->tree()->model();
    QStringList tops;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex top = model->index(row, 0);
        QString text = top.data().toString();
        QStringList children;
        for (int c = 0; c < model->rowCount(top); ++c)
            children.append(model->index(c, 0, top).data().toString());
        if (!children.isEmpty())
            text += (frame->tree()->isExpanded(top) ? QStringLiteral("{") : QStringLiteral("[")) +
                    children.join(QLatin1Char(',')) + QLatin1Char('}');
        tops.append(text);
    }
    return tops.join(QLatin1Char(' '));
}

QStringList TestSyncRows::selectedTexts(const TwyTreeFrame *frame)
{
    QStringList texts;
    for (const QModelIndex &index : frame->tree()->selectionModel()->selectedRows())
        texts.append(index.data().toString());
    texts.sort();
    return texts;
}

void TestSyncRows::exec(const QString &sql)
{
    execSql(m_host->database(), sql);
}

void TestSyncRows::changesShownRowByRow_data()
{
    QTest::addColumn<bool>("tasks");
    // Statements a sync would run ("%T" the table, "%K" its key column), and the keys it
    // reports as changed.
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QStringList>("keys");

    const auto sql = [](const char *text, const QString &a, const QString &b = QString()) {
        return b.isNull() ? QString::fromLatin1(text).arg(a) : QString::fromLatin1(text).arg(a, b);
    };
    for (bool tasks : {true, false}) {
        const char *list = tasks ? "tasks" : "memos";
        QTest::addRow("%s: text changed, the row moves to its sorted place", list)
            << tasks << QStringList{sql("update %T set content='Item 45 b' where %K='%1'", key(5))}
            << QStringList{key(5)};
        QTest::addRow("%s: a new top-level row and a new child", list)
            << tasks
            << QStringList{sql("insert into %T (%K, pid, content, expandFlag) values ('%1', "
                               "'root', 'Item 07 new', 0)",
                               key(2000)),
                           sql("insert into %T (%K, pid, content, expandFlag) values ('%1', '%2', "
                               "'A child of 40', 0)",
                               key(2001), key(40))}
            << QStringList{key(2000), key(2001)};
        QTest::addRow("%s: rows deleted, a parent with its children", list)
            << tasks
            << QStringList{sql("delete from %T where %K='%1'", key(7)),
                           sql("delete from %T where pid='%1'", key(1)),
                           sql("delete from %T where %K='%1'", key(1))}
            << QStringList{key(7), key(1)};
        QTest::addRow("%s: a parent deleted, its children kept at the top level", list)
            << tasks
            << QStringList{sql("update %T set pid='root' where pid='%1'", key(1)),
                           sql("delete from %T where %K='%1'", key(1))}
            << QStringList{key(1), key(1001), key(1002)};
        QTest::addRow("%s: a child moved to another parent", list)
            << tasks << QStringList{sql("update %T set pid='%1' where %K='%2'", key(40), key(1002))}
            << QStringList{key(1002)};
        QTest::addRow("%s: a child made top-level", list)
            << tasks << QStringList{sql("update %T set pid='root' where %K='%1'", key(1001))}
            << QStringList{key(1001)};
        QTest::addRow("%s: a key unknown on both sides", list)
            << tasks << QStringList{} << QStringList{key(3000)};
    }
}

void TestSyncRows::changesShownRowByRow()
{
    QFETCH(bool, tasks);
    QFETCH(QStringList, statements);
    QFETCH(QStringList, keys);

    QSqlDatabase db = m_host->database();
    db.transaction();
    for (int i = 0; i < kTops; ++i) {
        Row row{key(i), QStringLiteral("root"),
                QStringLiteral("Item %1").arg(i, 2, 10, QLatin1Char('0'))};
        row.expandFlag = i == 1;
        tasks ? insertTask(db, row) : insertMemo(db, row);
    }
    // Two children of "Item 01" (stored open).
    for (int c : {1, 2}) {
        const Row row{key(1000 + c), key(1), QStringLiteral("Child %1").arg(c)};
        tasks ? insertTask(db, row) : insertMemo(db, row);
    }
    db.commit();

    TwyTreeFrame *frame = makeFrame(tasks, m_window.get());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    frame->sendMessage(WM_FRAME_RELOAD);
    frame->sendMessage(WM_FRAME_ACTIVATE);
    ItemTreeView *tree = frame->tree();
    // Three rows selected apart from each other (one of them deleted in one case), the
    // current one among them, and the list scrolled.
    QItemSelection selection;
    for (int row : {3, 20, 50}) {
        const QModelIndex index = frame->model()->index(row, 0);
        selection.select(index, index);
    }
    tree->selectionModel()->select(selection,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    tree->selectionModel()->setCurrentIndex(frame->model()->index(20, 0),
                                            QItemSelectionModel::NoUpdate);
    tree->verticalScrollBar()->setValue(tree->verticalScrollBar()->maximum() / 2);
    QCoreApplication::processEvents();
    const QStringList selectedBefore = selectedTexts(frame);
    const QString currentBefore = tree->currentIndex().data().toString();
    const int scrollBefore = tree->verticalScrollBar()->value();
    QVERIFY(scrollBefore > 0);

    const QString table = tasks ? QStringLiteral("tasks") : QStringLiteral("memos");
    const QString keyColumn = tasks ? QStringLiteral("tid") : QStringLiteral("mid");
    for (QString statement : statements)
        exec(statement.replace(QLatin1String("%T"), table).replace(QLatin1String("%K"), keyColumn));
    const quint64 revision = frame->model()->revision();
    QVERIFY(frame->applyChangedRows(keys));
    QCOMPARE(frame->model()->isSorted(frame->FAscending), true);
    if (!statements.isEmpty())
        QVERIFY(frame->model()->revision() != revision);

    // The same as a whole reload of the stored rows shows.
    QWidget other;
    TwyTreeFrame *reloaded = makeFrame(tasks, &other);
    reloaded->sendMessage(WM_FRAME_RELOAD);
    reloaded->sendMessage(WM_FRAME_ACTIVATE);
    QCOMPARE(shown(frame), shown(reloaded));

    // The selected rows that are still there stay selected; current row and scroll stay.
    QStringList stillThere;
    for (const QString &text : selectedBefore) {
        if (shown(frame).contains(text))
            stillThere.append(text);
    }
    QCOMPARE(selectedTexts(frame), stillThere);
    QCOMPARE(tree->currentIndex().data().toString(), currentBefore);
    QCOMPARE(tree->verticalScrollBar()->value(), scrollBefore);
}

void TestSyncRows::levelChangeNeedsWholeReload()
{
    // A top-level row with children that another program made a child: only a whole
    // reading shows that right, and nothing is changed meanwhile.
    QSqlDatabase db = m_host->database();
    insertTask(db, Row{key(1), QStringLiteral("root"), QStringLiteral("Parent")});
    insertTask(db, Row{key(2), key(1), QStringLiteral("Child")});
    insertTask(db, Row{key(3), QStringLiteral("root"), QStringLiteral("Other")});
    TwyTreeFrame *frame = makeFrame(true, m_window.get());
    m_window->show();
    frame->sendMessage(WM_FRAME_RELOAD);
    frame->sendMessage(WM_FRAME_ACTIVATE);
    const QString before = shown(frame);
    exec(QStringLiteral("update tasks set pid='%1' where tid='%2'").arg(key(3), key(1)));
    QVERIFY(!frame->applyChangedRows({key(1)}));
    QCOMPARE(shown(frame), before);
}

QTEST_MAIN(TestSyncRows)
#include "test_sync_rows.moc"
