// Loading the two-level forest from the tables, and the item model the tree views show.
#include "common/Texts.h"
#include "memos/MemoTreeModel.h"
#include "storage/Database.h"
#include "storage/Statements.h"
#include "support/TestSupport.h"
#include "tasks/TaskTreeModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace TestSupport;

namespace {

// Seeds rows from a compact text: tokens "name", "name:parent" or "name:~" (null parent),
// each optionally ending in "+" for a stored expandFlag. The key is "{name}", the content
// the name, and the rows go in in the order written.
void seed(QSqlDatabase db, bool memos, const QString &rows)
{
    for (QString token : rows.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        Row row;
        row.expandFlag = token.endsWith(QLatin1Char('+'));
        if (row.expandFlag)
            token.chop(1);
        const QString name = token.section(QLatin1Char(':'), 0, 0);
        const QString parent = token.section(QLatin1Char(':'), 1, 1);
        row.key = QLatin1Char('{') + name + QLatin1Char('}');
        row.content = name;
        row.createTime = 45000;
        if (!token.contains(QLatin1Char(':')))
            row.pid = Texts::RootKey;
        else if (parent == QLatin1String("~"))
            row.pid = QString();
        else
            row.pid = QLatin1Char('{') + parent + QLatin1Char('}');
        memos ? insertMemo(db, row) : insertTask(db, row);
    }
}

// The forest as text: "A+{a1,a2*} B{}": "+" after a top-level item that is expanded, "*"
// after a child whose record holds expandFlag. Checks the links and the top-level flags on
// the way.
QString describe(const ItemForest &forest)
{
    QStringList tops;
    for (const auto &top : forest) {
        QString text = top->info->content;
        if (top->info->expandFlag != top->expanded)
            text += QStringLiteral("<expanded differs from its flag>");
        if (top->info->pid != Texts::RootKey)
            text += QStringLiteral("<pid>");
        if (top->expanded)
            text += QLatin1Char('+');
        QStringList children;
        for (const auto &child : top->children) {
            QString c = child->info->content;
            if (child->parent != top.get())
                c += QStringLiteral("<parent>");
            if (child->info->pid != top->info->key)
                c += QStringLiteral("<pid>");
            if (child->info->expandFlag)
                c += QLatin1Char('*');
            if (!child->children.empty())
                c += QStringLiteral("<deeper>");
            children.append(c);
        }
        tops.append(text + QLatin1Char('{') + children.join(QLatin1Char(',')) + QLatin1Char('}'));
    }
    return tops.join(QLatin1Char(' '));
}

// A record for a hand-built forest.
std::unique_ptr<ItemInfo> task(const QString &content, bool checked = false)
{
    auto info = std::make_unique<TTaskInfo>();
    info->key = QLatin1Char('{') + content + QLatin1Char('}');
    info->content = content;
    info->checkFlag = checked;
    return info;
}

// "A{a1,a2} B C{c1}" as nodes.
ItemForest buildForest(const QString &text)
{
    ItemForest forest;
    for (const QString &token : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString name = token.section(QLatin1Char('{'), 0, 0);
        auto top = std::make_unique<ItemNode>(task(name));
        top->info->pid = Texts::RootKey;
        QString inner = token.section(QLatin1Char('{'), 1);
        inner.chop(1);
        for (const QString &childName : inner.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            auto child = std::make_unique<ItemNode>(task(childName));
            child->info->pid = top->info->key;
            child->parent = top.get();
            top->children.push_back(std::move(child));
        }
        forest.push_back(std::move(top));
    }
    return forest;
}

ItemNode *nodeNamed(ItemTreeModel &model, const QString &name)
{
    ItemNode *found = nullptr;
    model.forEachNode([&](ItemNode *node) {
        if (node->info->content == name)
            found = node;
    });
    return found;
}

// What the model shows, read through its index interface only: "A{a1,a3} C".
QString shown(const ItemTreeModel &model)
{
    QStringList tops;
    for (int r = 0; r < model.rowCount(); ++r) {
        const QModelIndex top = model.index(r, 0);
        QString text = model.nodeFromIndex(top)->info->content;
        QStringList children;
        for (int c = 0; c < model.rowCount(top); ++c)
            children.append(model.nodeFromIndex(model.index(c, 0, top))->info->content);
        if (!children.isEmpty())
            text += QLatin1Char('{') + children.join(QLatin1Char(',')) + QLatin1Char('}');
        tops.append(text);
    }
    return tops.join(QLatin1Char(' '));
}

} // namespace

class TestLoading : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void loadForest_data();
    void loadForest();
    void nullColumnsReadAsEmpty();
    void loadKeepsEveryColumn();
    void storedFormsOfValues_data();
    void storedFormsOfValues();
    void missingColumnReadsAsEmpty();

    void resetForestIsConsistent();
    void hiddenNodesKeepTheirPositions();
    void appendNodeAfterHiddenSibling();
    void appendUnderHiddenParent();
    void removeNode_data();
    void removeNode();
    void taskRows_data();
    void taskRows();
    void memoRowsHaveNoCheckBox();

private:
    std::unique_ptr<ProgramFolder> m_folder;
    QSqlDatabase m_db;
};

void TestLoading::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_db = Database::open(m_folder->file(Texts::DatabaseFileName));
}

void TestLoading::cleanup()
{
    m_db = QSqlDatabase();
    Database::close();
    m_folder.reset();
}

// ---- loading ----------------------------------------------------------------------------

void TestLoading::loadForest_data()
{
    QTest::addColumn<bool>("memos");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("dropped");

    for (const bool memos : {false, true}) {
        const char *list = memos ? "memos: " : "tasks: ";
        auto row = [&](const char *name) -> QTestData & {
            return QTest::newRow((QByteArray(list) + name).constData()) << memos;
        };
        row("empty table") << QString() << QString() << 0;
        row("stored order, not text order")
            << QStringLiteral("B A b2:B b1:B a1:A C") << QStringLiteral("B{b2,b1} A{a1} C{}") << 0;
        row("child stored before its parent")
            << QStringLiteral("c1:C C c2:C") << QStringLiteral("C{c1,c2}") << 0;
        row("expanded top-level") << QStringLiteral("A+ a1:A B b1:B D+")
                                  << QStringLiteral("A+{a1} B{b1} D+{}") << 0;
        row("third level") << QStringLiteral("A a1:A x:a1 y:x") << QStringLiteral("A{a1}") << 2;
        row("missing parent") << QStringLiteral("o:Z A p:~") << QStringLiteral("A{}") << 2;
        row("a child of an orphan") << QStringLiteral("o:Z q:o A") << QStringLiteral("A{}") << 2;
    }
    // A child's stored expandFlag is not read for tasks; memos keep it.
    QTest::newRow("tasks: child flag ignored")
        << false << QStringLiteral("A a1:A+ a2:A") << QStringLiteral("A{a1,a2}") << 0;
    QTest::newRow("memos: child flag kept")
        << true << QStringLiteral("A a1:A+ a2:A") << QStringLiteral("A{a1*,a2}") << 0;
}

void TestLoading::loadForest()
{
    QFETCH(bool, memos);
    QFETCH(QString, rows);
    QFETCH(QString, expected);
    QFETCH(int, dropped);

    seed(m_db, memos, rows);
    std::unique_ptr<ItemStatements> statements;
    if (memos)
        statements = std::make_unique<MemoStatements>(m_db);
    else
        statements = std::make_unique<TaskStatements>(m_db);

    LoadStats stats;
    stats.rows = stats.dropped = -1;
    const ItemForest forest = statements->loadForest(&stats);
    QCOMPARE(describe(forest), expected);
    QCOMPARE(stats.rows, int(rows.split(QLatin1Char(' '), Qt::SkipEmptyParts).size()));
    QCOMPARE(stats.dropped, dropped);
    // A second load reads the same.
    QCOMPARE(describe(statements->loadForest()), expected);
}

void TestLoading::nullColumnsReadAsEmpty()
{
    execSql(m_db, QStringLiteral("insert into tasks (tid, pid) values ('{T}', 'root')"));
    execSql(m_db, QStringLiteral("insert into tasks (tid, pid) values ('{t}', '{T}')"));
    execSql(m_db, QStringLiteral("insert into memos (mid, pid) values ('{M}', 'root')"));

    TaskStatements tasks(m_db);
    const ItemForest taskForest = tasks.loadForest();
    QCOMPARE(taskForest.size(), size_t(1));
    QCOMPARE(taskForest.front()->children.size(), size_t(1));
    for (const ItemNode *node :
         {taskForest.front().get(), taskForest.front()->children.front().get()}) {
        const TTaskInfo &t = *node->as<TTaskInfo>();
        QVERIFY(t.content.isEmpty());
        QVERIFY(!t.checkFlag && !t.dueFlag && !t.alarmFlag && !t.expandFlag);
        QCOMPARE(t.textColor, 0);
        QCOMPARE(t.backgroundColor, 0);
        for (TDateTime time : {t.createTime, t.editTime, t.checkTime, t.alarmTime, t.dueTime})
            QCOMPARE(time, 0.0);
    }

    MemoStatements memos(m_db);
    const ItemForest memoForest = memos.loadForest();
    QCOMPARE(memoForest.size(), size_t(1));
    const TMemoInfo &m = *memoForest.front()->as<TMemoInfo>();
    QCOMPARE(m.key, QStringLiteral("{M}"));
    QVERIFY(m.content.isEmpty());
    QVERIFY(!m.expandFlag);
    for (TDateTime time : {m.assignTime, m.createTime, m.editTime})
        QCOMPARE(time, 0.0);
}

void TestLoading::loadKeepsEveryColumn()
{
    Row top;
    top.key = key(1);
    top.content = QStringLiteral("top\r\nline two");
    top.checkFlag = true;
    top.dueFlag = true;
    top.alarmFlag = true;
    top.expandFlag = true;
    top.textColor = qint32(0xFF00000Fu);
    top.backgroundColor = 0x00112233;
    top.createTime = 45000.25;
    top.editTime = 45001.5;
    top.checkTime = 45002.75;
    top.alarmTime = 45003.125;
    top.dueTime = 45004;
    insertTask(m_db, top);
    Row child = top;
    child.key = key(2);
    child.pid = key(1);
    child.content = QStringLiteral("child");
    insertTask(m_db, child);

    const ItemForest forest = TaskStatements(m_db).loadForest();
    QCOMPARE(forest.size(), size_t(1));
    for (const ItemNode *node : {forest.front().get(), forest.front()->children.front().get()}) {
        const TTaskInfo &t = *node->as<TTaskInfo>();
        const bool isTop = node->level() < 0 || node == forest.front().get();
        QCOMPARE(t.key, isTop ? key(1) : key(2));
        QCOMPARE(t.pid, isTop ? Texts::RootKey : key(1));
        QCOMPARE(t.content, isTop ? top.content : child.content);
        QVERIFY(t.checkFlag && t.dueFlag && t.alarmFlag);
        QCOMPARE(t.expandFlag, isTop);
        QCOMPARE(t.textColor, qint32(0xFF00000Fu));
        QCOMPARE(t.backgroundColor, 0x00112233);
        QCOMPARE(t.createTime, 45000.25);
        QCOMPARE(t.editTime, 45001.5);
        QCOMPARE(t.checkTime, 45002.75);
        QCOMPARE(t.alarmTime, 45003.125);
        QCOMPARE(t.dueTime, 45004.0);
    }
}

void TestLoading::storedFormsOfValues_data()
{
    // Values as other programs may have stored them: flags as words or numbers, numbers as
    // text.
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("color");
    QTest::addColumn<QString>("time");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<qint32>("textColor");
    QTest::addColumn<double>("createTime");
    QTest::newRow("words") << "'True'" << "'255'" << "'45000.5'" << true << 255 << 45000.5;
    QTest::newRow("word False") << "'False'" << "255" << "45000.5" << false << 255 << 45000.5;
    QTest::newRow("lower-case false") << "'false'" << "0" << "0" << false << 0 << 0.0;
    QTest::newRow("numbers") << "1" << "-16777216" << "45000" << true << qint32(0xFF000000u)
                             << 45000.0;
    QTest::newRow("zero as text") << "'0'" << "'-1'" << "'1.25'" << false << -1 << 1.25;
    QTest::newRow("empty texts") << "''" << "''" << "''" << false << 0 << 0.0;
    QTest::newRow("a real number as flag") << "0.5" << "7" << "2" << true << 7 << 2.0;
}

void TestLoading::storedFormsOfValues()
{
    QFETCH(QString, flag);
    QFETCH(QString, color);
    QFETCH(QString, time);
    execSql(m_db, QStringLiteral("insert into tasks (tid, pid, checkFlag, expandFlag, textColor, "
                                 "createTime) values ('{T}', 'root', %1, %1, %2, %3)")
                      .arg(flag, color, time));
    const ItemForest forest = TaskStatements(m_db).loadForest();
    QCOMPARE(forest.size(), size_t(1));
    const TTaskInfo &t = *forest.front()->as<TTaskInfo>();
    QTEST(t.checkFlag, "checked");
    QTEST(t.expandFlag, "checked");
    QTEST(t.textColor, "textColor");
    QTEST(t.createTime, "createTime");
}

void TestLoading::missingColumnReadsAsEmpty()
{
    // A table of an older make without a column the program reads loads all the same.
    execSql(m_db, QStringLiteral("alter table memos drop column assignTime"));
    execSql(m_db, QStringLiteral("insert into memos (mid, pid, content, createTime) values "
                                 "('{M}', 'root', 'kept', 45000.5)"));
    const ItemForest forest = MemoStatements(m_db).loadForest();
    QCOMPARE(forest.size(), size_t(1));
    const TMemoInfo &m = *forest.front()->as<TMemoInfo>();
    QCOMPARE(m.content, QStringLiteral("kept"));
    QCOMPARE(m.createTime, 45000.5);
    QCOMPARE(m.assignTime, 0.0);
}

// ---- the item model ---------------------------------------------------------------------

void TestLoading::resetForestIsConsistent()
{
    TaskTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.resetForest(buildForest(QStringLiteral("A{a1,a2,a3} B C{c1}")));
    QCOMPARE(shown(model), QStringLiteral("A{a1,a2,a3} B C{c1}"));
    QCOMPARE(model.nodeCount(), 7);
    QCOMPARE(model.columnCount(), 1);
    QVERIFY(!model.index(3, 0).isValid());
    QVERIFY(!model.index(0, 1).isValid());
    QVERIFY(!model.index(-1, 0).isValid());

    for (int r = 0; r < model.rowCount(); ++r) {
        const QModelIndex top = model.index(r, 0);
        ItemNode *node = model.nodeFromIndex(top);
        QCOMPARE(node->level(), 0);
        QCOMPARE(node->position(), r);
        QCOMPARE(node->shownRow(), r);
        QCOMPARE(node->parent, model.root());
        QCOMPARE(model.indexOf(node), top);
        QVERIFY(!model.parent(top).isValid());
        QCOMPARE(model.hasChildren(top), !node->children.empty());
        for (int c = 0; c < model.rowCount(top); ++c) {
            const QModelIndex childIndex = model.index(c, 0, top);
            ItemNode *child = model.nodeFromIndex(childIndex);
            QCOMPARE(child->level(), 1);
            QCOMPARE(child->position(), c);
            QCOMPARE(child->parent, node);
            QCOMPARE(model.parent(childIndex), top);
            QCOMPARE(model.indexOf(child), childIndex);
            QCOMPARE(model.rowCount(childIndex), 0);
        }
    }

    // A second forest replaces the first.
    model.resetForest(buildForest(QStringLiteral("X{x1}")));
    QCOMPARE(shown(model), QStringLiteral("X{x1}"));
    QCOMPARE(model.nodeCount(), 2);
    model.clear();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.nodeCount(), 0);
}

void TestLoading::hiddenNodesKeepTheirPositions()
{
    TaskTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.resetForest(buildForest(QStringLiteral("A{a1,a2,a3} B C{c1}")));
    ItemNode *b = nodeNamed(model, QStringLiteral("B"));
    ItemNode *c = nodeNamed(model, QStringLiteral("C"));
    ItemNode *a2 = nodeNamed(model, QStringLiteral("a2"));
    ItemNode *a3 = nodeNamed(model, QStringLiteral("a3"));
    b->hidden = true;
    a2->hidden = true;
    model.refreshShown();

    QCOMPARE(shown(model), QStringLiteral("A{a1,a3} C{c1}"));
    QCOMPARE(model.nodeCount(), 7); // hidden nodes stay in the tree
    QCOMPARE(b->position(), 1);
    QCOMPARE(b->shownRow(), -1);
    QVERIFY(!model.indexOf(b).isValid());
    QCOMPARE(c->position(), 2);
    QCOMPARE(c->shownRow(), 1);
    QCOMPARE(model.indexOf(c), model.index(1, 0));
    QCOMPARE(a3->position(), 2);
    QCOMPARE(a3->shownRow(), 1);
    QCOMPARE(model.parent(model.indexOf(a3)), model.index(0, 0));

    // Everything shows again.
    b->hidden = false;
    a2->hidden = false;
    model.refreshShown();
    QCOMPARE(shown(model), QStringLiteral("A{a1,a2,a3} B C{c1}"));
    QCOMPARE(c->shownRow(), 2);
}

void TestLoading::appendNodeAfterHiddenSibling()
{
    TaskTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.resetForest(buildForest(QStringLiteral("A{a1,a2} B C")));
    nodeNamed(model, QStringLiteral("C"))->hidden = true;
    nodeNamed(model, QStringLiteral("a2"))->hidden = true;
    model.refreshShown();

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    ItemNode *d = model.appendNode(nullptr, task(QStringLiteral("D")));
    QCOMPARE(d->parent, model.root());
    QCOMPARE(d->position(), 3);
    QCOMPARE(d->shownRow(), 2);
    QCOMPARE(model.nodeFromIndex(model.index(2, 0)), d);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.at(0).at(0).value<QModelIndex>(), QModelIndex());
    QCOMPARE(inserted.at(0).at(1).toInt(), 2);

    ItemNode *a = nodeNamed(model, QStringLiteral("A"));
    ItemNode *a3 = model.appendNode(a, task(QStringLiteral("a3")));
    QCOMPARE(a3->level(), 1);
    QCOMPARE(a3->position(), 2);
    QCOMPARE(a3->shownRow(), 1);
    QCOMPARE(inserted.size(), 2);
    QCOMPARE(inserted.at(1).at(0).value<QModelIndex>(), model.indexOf(a));
    QCOMPARE(inserted.at(1).at(1).toInt(), 1);
    QCOMPARE(shown(model), QStringLiteral("A{a1,a3} B D"));
    QCOMPARE(model.nodeCount(), 7);
}

void TestLoading::appendUnderHiddenParent()
{
    TaskTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.resetForest(buildForest(QStringLiteral("A{a1} B{b1}")));
    ItemNode *b = nodeNamed(model, QStringLiteral("B"));
    b->hidden = true;
    model.refreshShown();

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    ItemNode *b2 = model.appendNode(b, task(QStringLiteral("b2")));
    QCOMPARE(inserted.size(), 0); // nothing the views show changed
    QCOMPARE(b2->parent, b);
    QCOMPARE(b2->position(), 1);
    QCOMPARE(shown(model), QStringLiteral("A{a1}"));

    b->hidden = false;
    model.refreshShown();
    QCOMPARE(shown(model), QStringLiteral("A{a1} B{b1,b2}"));
    QCOMPARE(model.indexOf(b2), model.index(1, 0, model.indexOf(b)));
}

void TestLoading::removeNode_data()
{
    QTest::addColumn<QString>("hidden"); // names hidden before the removal
    QTest::addColumn<QString>("removed");
    QTest::addColumn<int>("removedRow");    // row reported by rowsRemoved, -1 for no signal
    QTest::addColumn<QString>("expected");  // what shows afterwards
    QTest::addColumn<QString>("positions"); // positions of the removed node's siblings

    QTest::newRow("shown top-level with children")
        << QString() << QStringLiteral("A") << 0 << QStringLiteral("B C{c1,c2,c3}")
        << QStringLiteral("B=0 C=1");
    QTest::newRow("shown after a hidden sibling")
        << QStringLiteral("A") << QStringLiteral("C") << 1 << QStringLiteral("B")
        << QStringLiteral("A=0 B=1");
    QTest::newRow("hidden top-level")
        << QStringLiteral("B") << QStringLiteral("B") << -1 << QStringLiteral("A{a1} C{c1,c2,c3}")
        << QStringLiteral("A=0 C=1");
    QTest::newRow("child after a hidden sibling")
        << QStringLiteral("c1") << QStringLiteral("c3") << 1 << QStringLiteral("A{a1} B C{c2}")
        << QStringLiteral("c1=0 c2=1");
    QTest::newRow("hidden child") << QStringLiteral("c2") << QStringLiteral("c2") << -1
                                  << QStringLiteral("A{a1} B C{c1,c3}")
                                  << QStringLiteral("c1=0 c3=1");
    QTest::newRow("child of a hidden parent")
        << QStringLiteral("C") << QStringLiteral("c1") << -1 << QStringLiteral("A{a1} B")
        << QStringLiteral("c2=0 c3=1");
}

void TestLoading::removeNode()
{
    QFETCH(QString, hidden);
    QFETCH(QString, removed);
    QFETCH(int, removedRow);
    QFETCH(QString, expected);
    QFETCH(QString, positions);

    TaskTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.resetForest(buildForest(QStringLiteral("A{a1} B C{c1,c2,c3}")));
    for (const QString &name : hidden.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        nodeNamed(model, name)->hidden = true;
    model.refreshShown();

    ItemNode *node = nodeNamed(model, removed);
    ItemNode *parent = node->parent;
    const QModelIndex parentIndex = model.indexOf(parent);
    QSignalSpy removedSpy(&model, &QAbstractItemModel::rowsRemoved);
    model.removeNode(node);
    QVERIFY(nodeNamed(model, removed) == nullptr);
    if (removedRow < 0) {
        QCOMPARE(removedSpy.size(), 0);
    } else {
        QCOMPARE(removedSpy.size(), 1);
        QCOMPARE(removedSpy.at(0).at(0).value<QModelIndex>(), parentIndex);
        QCOMPARE(removedSpy.at(0).at(1).toInt(), removedRow);
        QCOMPARE(removedSpy.at(0).at(2).toInt(), removedRow);
    }
    QCOMPARE(shown(model), expected);
    QStringList actual;
    for (const auto &sibling : parent->children)
        actual.append(sibling->info->content + QLatin1Char('=') +
                      QString::number(sibling->position()));
    QCOMPARE(actual.join(QLatin1Char(' ')), positions);

    // Shown rows stay in step with the model after the removal.
    const bool parentShown = parent == model.root() || parent->shownRow() >= 0;
    for (const auto &sibling : parent->children) {
        if (parentShown && !sibling->hidden)
            QCOMPARE(model.index(sibling->shownRow(), 0, parentIndex),
                     model.indexOf(sibling.get()));
    }
}

void TestLoading::taskRows_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<bool>("editing");
    QTest::addColumn<QString>("display");
    QTest::addColumn<int>("checkState");
    QTest::addColumn<bool>("placeholder");
    QTest::addColumn<bool>("greyItalic");

    QTest::newRow("incomplete") << QStringLiteral("Buy milk") << false << false
                                << QStringLiteral("Buy milk") << int(Qt::Unchecked) << false
                                << false;
    QTest::newRow("complete") << QStringLiteral("Buy milk") << true << false
                              << QStringLiteral("Buy milk") << int(Qt::Checked) << false << true;
    QTest::newRow("empty") << QString() << false << false << QStringLiteral("Input content here")
                           << int(Qt::Unchecked) << true << true;
    QTest::newRow("empty and complete")
        << QString() << true << false << QStringLiteral("Input content here") << int(Qt::Checked)
        << true << true;
    QTest::newRow("empty while edited")
        << QString() << false << true << QString() << int(Qt::Unchecked) << false << false;
    QTest::newRow("text while edited")
        << QStringLiteral("draft") << false << true << QStringLiteral("draft") << int(Qt::Unchecked)
        << false << false;
}

void TestLoading::taskRows()
{
    QFETCH(QString, content);
    QFETCH(bool, complete);
    QFETCH(bool, editing);
    QFETCH(QString, display);
    QFETCH(int, checkState);
    QFETCH(bool, placeholder);
    QFETCH(bool, greyItalic);

    TaskTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto info = std::make_unique<TTaskInfo>();
    info->content = content;
    info->checkFlag = complete;
    ItemNode *node = model.appendNode(nullptr, std::move(info));
    if (editing)
        model.view.edit = node;
    const QModelIndex index = model.indexOf(node);

    QCOMPARE(index.data(Qt::DisplayRole).toString(), display);
    QCOMPARE(index.data(Qt::CheckStateRole).toInt(), checkState);
    QCOMPARE(index.data(ItemTreeModel::PlaceholderRole).toBool(), placeholder);
    QCOMPARE(index.data(ItemTreeModel::GreyItalicRole).toBool(), greyItalic);
    QVERIFY(model.flags(index) & Qt::ItemIsUserCheckable);
    QCOMPARE(bool(model.flags(index) & Qt::ItemIsEditable), editing);
    QCOMPARE(index.data(Qt::EditRole).toString(), content);
}

void TestLoading::memoRowsHaveNoCheckBox()
{
    MemoTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto memo = std::make_unique<TMemoInfo>();
    ItemNode *top = model.appendNode(nullptr, std::move(memo));
    ItemNode *child = model.appendNode(top, std::make_unique<TMemoInfo>());
    const QModelIndex index = model.indexOf(top);
    QVERIFY(!index.data(Qt::CheckStateRole).isValid());
    QVERIFY(!(model.flags(index) & Qt::ItemIsUserCheckable));
    QCOMPARE(index.data().toString(), QStringLiteral("Input content here"));
    QCOMPARE(index.data(ItemTreeModel::ImageIndexRole).toInt(), int(MemoTreeModel::ImageTopMemo));
    QCOMPARE(model.indexOf(child).data(ItemTreeModel::ImageIndexRole).toInt(),
             int(MemoTreeModel::ImageChildMemo));
}

QTEST_GUILESS_MAIN(TestLoading)
#include "test_loading.moc"
