// The shared two-level tree model: sorting, text search and what the views ask of it.
#include "common/ItemTree.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

namespace {

std::unique_ptr<ItemInfo> info(const QString &text)
{
    auto record = std::make_unique<ItemInfo>();
    record->content = text;
    return record;
}

QStringList childTexts(const ItemNode *parent)
{
    QStringList texts;
    for (const auto &child : parent->children)
        texts << child->info->content;
    return texts;
}

// What sorting must give: a stable sort with the list's comparison.
QStringList expectedOrder(QStringList texts, bool ascending)
{
    std::stable_sort(texts.begin(), texts.end(), [ascending](const QString &a, const QString &b) {
        const int c = ItemTreeModel::compareTexts(a, b);
        return ascending ? c < 0 : c > 0;
    });
    return texts;
}

// The order sortAll gives the texts as top-level items.
QStringList sortedByModel(const QStringList &texts, bool ascending)
{
    ItemTreeModel model;
    for (const QString &text : texts)
        model.appendNode(nullptr, info(text));
    model.sortAll(ascending);
    return childTexts(model.root());
}

QString withNul(const char *text)
{
    QString result = QString::fromUtf8(text);
    result.replace(QLatin1Char('#'), QChar(0));
    return result;
}

} // namespace

class TestItemTree : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sortAgreesWithComparison_data();
    void sortAgreesWithComparison();
    void sortRandomTexts();
    void sortCoversChildrenAndKeepsThemWithParents();
    void sortAgainFollowsChanges_data();
    void sortAgainFollowsChanges();
    void textMatches_data();
    void textMatches();
    void textMatchesFollowChanges();
    void topLevelRowsAnsweredWithoutTheirNodes();
    void removeNodesTellsEachRunOnce_data();
    void removeNodesTellsEachRunOnce();
};

void TestItemTree::sortAgreesWithComparison_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("case only differs: stays in order")
        << QStringList{QStringLiteral("beta"), QStringLiteral("BETA"), QStringLiteral("Beta"),
                       QStringLiteral("alpha")};
    QTest::newRow("prefix first")
        << QStringList{QStringLiteral("abcdefghij"), QStringLiteral("abcdefgh"),
                       QStringLiteral("abc"), QStringLiteral("abcdefghi"), QString()};
    QTest::newRow("long shared beginnings")
        << QStringList{QStringLiteral("Ask about the contract with Tom"),
                       QStringLiteral("Ask about the contract with tim"),
                       QStringLiteral("ask about the contract with Tom!"),
                       QStringLiteral("Ask about the contract"),
                       QStringLiteral("Ask about the contract with Tom")};
    QTest::newRow("letters against other characters")
        << QStringList{QStringLiteral("_x"), QStringLiteral("Zx"), QStringLiteral("zx"),
                       QStringLiteral("[x"), QStringLiteral("ax"), QStringLiteral("~x")};
    QTest::newRow("nul characters and shorter texts")
        << QStringList{withNul("ab##"), withNul("ab"), withNul("ab#"), withNul("ab########x"),
                       withNul("ab#######"), withNul("ab########")};
    QTest::newRow("non-ASCII by code")
        << QStringList{QStringLiteral("Élan"), QStringLiteral("elan"), QStringLiteral("Zoo"),
                       QStringLiteral("émile"), QStringLiteral("Łukasz"), QStringLiteral("日本")};
}

void TestItemTree::sortAgreesWithComparison()
{
    QFETCH(QStringList, texts);
    for (bool ascending : {true, false})
        QCOMPARE(sortedByModel(texts, ascending), expectedOrder(texts, ascending));
}

void TestItemTree::sortRandomTexts()
{
    // Texts from a small alphabet with long common beginnings, so that the keys tie often.
    QRandomGenerator random(20261210);
    const QString alphabet = QStringLiteral("aAbB z") + QChar(0) + QStringLiteral("éÉ");
    for (int round = 0; round < 50; ++round) {
        QStringList texts;
        for (int i = 0; i < 200; ++i) {
            QString text = QString(int(random.bounded(20)), QLatin1Char('a'));
            const int tail = int(random.bounded(6));
            for (int k = 0; k < tail; ++k)
                text += alphabet.at(int(random.bounded(alphabet.size())));
            texts << text;
        }
        for (bool ascending : {true, false})
            QCOMPARE(sortedByModel(texts, ascending), expectedOrder(texts, ascending));
    }
}

void TestItemTree::sortCoversChildrenAndKeepsThemWithParents()
{
    ItemTreeModel model;
    ItemNode *b = model.appendNode(nullptr, info(QStringLiteral("b")));
    ItemNode *a = model.appendNode(nullptr, info(QStringLiteral("a")));
    for (const char *text : {"z", "X", "y"})
        model.appendNode(b, info(QString::fromLatin1(text)));
    model.sortAll(true);
    model.refreshShown();
    QCOMPARE(model.root()->children[0].get(), a);
    QCOMPARE(childTexts(b), (QStringList{QStringLiteral("X"), QStringLiteral("y"),
                                         QStringLiteral("z")}));
    QCOMPARE(b->position(), 1);
    QCOMPARE(b->children[2]->position(), 2);
    QCOMPARE(model.index(0, 0, model.indexOf(b)).data().toString(), QStringLiteral("X"));
}

void TestItemTree::textMatches_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QString>("expected"); // one character per text: 1 matches, 0 does not

    const QStringList texts{QStringLiteral("Book car"), QStringLiteral("book"),
                            QStringLiteral("xa"), QStringLiteral("bx"), QString(),
                            QStringLiteral("Notebook")};
    QTest::newRow("empty needle matches all") << texts << QString() << QStringLiteral("111111");
    QTest::newRow("case-sensitive") << texts << QStringLiteral("Book") << QStringLiteral("100000");
    QTest::newRow("anywhere in the text")
        << texts << QStringLiteral("ook") << QStringLiteral("110001");
    QTest::newRow("not across two texts")
        << texts << QStringLiteral("ab") << QStringLiteral("000000");
    QTest::newRow("whole text") << texts << QStringLiteral("xa") << QStringLiteral("001000");
    QTest::newRow("nul in the needle")
        << texts << (QStringLiteral("a") + QChar(0)) << QStringLiteral("000000");
    QTest::newRow("many hits in one text")
        << QStringList{QStringLiteral("aaaa"), QStringLiteral("b"), QStringLiteral("a")}
        << QStringLiteral("a") << QStringLiteral("101");
    QTest::newRow("multi-line text")
        << QStringList{QStringLiteral("one\r\ntwo"), QStringLiteral("two")}
        << QStringLiteral("e\r\nt") << QStringLiteral("10");
}

void TestItemTree::textMatches()
{
    QFETCH(QStringList, texts);
    QFETCH(QString, needle);
    QFETCH(QString, expected);
    ItemTreeModel model;
    for (const QString &text : texts)
        model.appendNode(nullptr, info(text));
    const std::vector<char> matches = model.textMatches(needle);
    QString got;
    for (char match : matches)
        got += match ? QLatin1Char('1') : QLatin1Char('0');
    QCOMPARE(got, expected);
}

void TestItemTree::sortAgainFollowsChanges_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("sortsAgain");
    QTest::newRow("nothing") << QString() << false;
    QTest::newRow("the other direction") << QStringLiteral("direction") << true;
    QTest::newRow("a text") << QStringLiteral("text") << true;
    QTest::newRow("a child's text") << QStringLiteral("child text") << true;
    QTest::newRow("an item added") << QStringLiteral("append") << true;
    QTest::newRow("a child added") << QStringLiteral("append child") << true;
    QTest::newRow("an item moved") << QStringLiteral("move") << true;
    QTest::newRow("an item removed") << QStringLiteral("remove") << true;
    QTest::newRow("the tree loaded anew") << QStringLiteral("reset") << true;
}

// A sort after a sort only works when something changed in between, and then the order
// is the one a first sort gives.
void TestItemTree::sortAgainFollowsChanges()
{
    QFETCH(QString, change);
    QFETCH(bool, sortsAgain);
    ItemTreeModel model;
    for (const char *text : {"m", "c", "x", "a"})
        model.appendNode(nullptr, info(QString::fromLatin1(text)));
    ItemNode *parent = model.root()->children[1].get(); // "c"
    for (const char *text : {"q", "b"})
        model.appendNode(parent, info(QString::fromLatin1(text)));
    QVERIFY(model.sortAll(true));
    model.refreshShown();

    bool ascending = true;
    if (change == QLatin1String("direction")) {
        ascending = false;
    } else if (change == QLatin1String("text")) {
        model.root()->children[0]->info->content = QStringLiteral("z");
        model.textChanged();
    } else if (change == QLatin1String("child text")) {
        parent->children[0]->info->content = QStringLiteral("z");
        model.textChanged();
    } else if (change == QLatin1String("append")) {
        model.appendNode(nullptr, info(QStringLiteral("b")));
    } else if (change == QLatin1String("append child")) {
        model.appendNode(parent, info(QStringLiteral("a")));
    } else if (change == QLatin1String("move")) {
        model.moveNode(parent->children[0].get(), nullptr, 0);
        model.refreshShown();
    } else if (change == QLatin1String("remove")) {
        model.removeNode(model.root()->children[3].get());
        model.appendNode(nullptr, info(QStringLiteral("b")));
    } else if (change == QLatin1String("reset")) {
        ItemForest forest;
        for (const char *text : {"k", "d"})
            forest.push_back(std::make_unique<ItemNode>(info(QString::fromLatin1(text))));
        model.resetForest(std::move(forest));
        parent = model.root()->children[0].get();
    }
    const QStringList tops = childTexts(model.root());
    const QStringList children = childTexts(parent);
    QCOMPARE(model.sortAll(ascending), sortsAgain);
    if (sortsAgain)
        model.refreshShown();
    QCOMPARE(childTexts(model.root()), expectedOrder(tops, ascending));
    QCOMPARE(childTexts(parent), expectedOrder(children, ascending));
    // Once sorted, the next sort has nothing to do.
    QVERIFY(!model.sortAll(ascending));
}

void TestItemTree::textMatchesFollowChanges()
{
    // Matches come in tree order (a top-level node, then its children), after every kind of
    // change the copy of the texts has to follow.
    ItemTreeModel model;
    ItemNode *first = model.appendNode(nullptr, info(QStringLiteral("red")));
    ItemNode *second = model.appendNode(nullptr, info(QStringLiteral("blue")));
    ItemNode *child = model.appendNode(first, info(QStringLiteral("green")));
    const QString needle = QStringLiteral("e");
    QCOMPARE(model.textMatches(needle), (std::vector<char>{1, 1, 1}));

    child->info->content = QStringLiteral("pink");
    model.textChanged();
    QCOMPARE(model.textMatches(needle), (std::vector<char>{1, 0, 1}));

    model.sortAll(true); // blue, red (pink)
    QCOMPARE(model.textMatches(needle), (std::vector<char>{1, 1, 0}));

    model.moveNode(child, second, 0); // blue (pink), red
    model.refreshShown();
    QCOMPARE(model.textMatches(needle), (std::vector<char>{1, 0, 1}));

    model.appendNode(nullptr, info(QStringLiteral("grey")));
    QCOMPARE(model.textMatches(needle), (std::vector<char>{1, 0, 1, 1}));

    model.removeNode(second);
    QCOMPARE(model.textMatches(needle), (std::vector<char>{1, 1}));

    model.releaseTextCopy();
    QCOMPARE(model.textMatches(QStringLiteral("grey")), (std::vector<char>{0, 1}));
    Q_UNUSED(first);
}

void TestItemTree::topLevelRowsAnsweredWithoutTheirNodes()
{
    ItemTreeModel model;
    ItemNode *parent = model.appendNode(nullptr, info(QStringLiteral("parent")));
    ItemNode *single = model.appendNode(nullptr, info(QStringLiteral("single")));
    ItemNode *child = model.appendNode(parent, info(QStringLiteral("child")));
    auto agrees = [&] {
        for (int row = 0; row < model.rowCount(); ++row) {
            const QModelIndex top = model.index(row, 0);
            if (model.hasChildren(top) != (model.rowCount(top) > 0))
                return false;
            if (model.parent(top).isValid())
                return false;
            for (int r = 0; r < model.rowCount(top); ++r) {
                const QModelIndex below = model.index(r, 0, top);
                if (model.parent(below) != top || model.hasChildren(below))
                    return false;
            }
        }
        return true;
    };
    QVERIFY(model.hasChildren(model.indexOf(parent)));
    QVERIFY(!model.hasChildren(model.indexOf(single)));
    QCOMPARE(model.parent(model.indexOf(child)), model.indexOf(parent));
    QCOMPARE(model.nodeFromIndex(model.indexOf(child)), child);
    QVERIFY(agrees());

    // A hidden child leaves its parent without shown children; hiding a top-level row moves
    // the rows after it up.
    child->hidden = true;
    model.refreshShown();
    QVERIFY(!model.hasChildren(model.indexOf(parent)));
    QVERIFY(agrees());
    parent->hidden = true;
    child->hidden = false;
    model.refreshShown();
    QCOMPARE(model.rowCount(), 1);
    QVERIFY(!model.hasChildren(model.index(0, 0)));
    parent->hidden = false;
    model.refreshShown();
    QVERIFY(model.hasChildren(model.indexOf(parent)));
    QVERIFY(agrees());

    // Adding a first child and removing the last one.
    model.appendNode(single, info(QStringLiteral("new")));
    QVERIFY(model.hasChildren(model.indexOf(single)));
    model.removeNode(child);
    QVERIFY(!model.hasChildren(model.indexOf(parent)));
    QVERIFY(agrees());
    model.removeNode(parent);
    QCOMPARE(model.nodeFromIndex(model.index(0, 0)), single);
    QVERIFY(model.hasChildren(model.index(0, 0)));
    QVERIFY(agrees());
}

void TestItemTree::removeNodesTellsEachRunOnce_data()
{
    QTest::addColumn<QString>("remove");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("removals");
    QTest::addColumn<int>("left");
    // Shown before: a b{b1 b2 b3} c e f, with d hidden between c and e.
    auto row = [](const char *name, const char *remove, const char *shown, int removals, int left) {
        QTest::newRow(name) << QString::fromLatin1(remove) << QString::fromLatin1(shown) << removals
                            << left;
    };
    row("adjacent rows", "b c", "a e f", 1, 4);
    row("rows apart", "a c f", "b{b1 b2 b3} e", 3, 6);
    row("a hidden row between", "c d e", "a b{b1 b2 b3} f", 1, 6);
    row("a parent with one of its children", "b2 b", "a c e f", 1, 5);
    row("children apart", "b3 b1", "a b{b2} c e f", 2, 7);
    row("every row", "a b c d e f", "", 1, 0);
}

// Many nodes go at once: the views hear of each run of adjacent shown rows once, and the
// rows, their numbers and the persistent indexes stay consistent throughout.
void TestItemTree::removeNodesTellsEachRunOnce()
{
    QFETCH(QString, remove);
    const QStringList texts = remove.split(QLatin1Char(' '));
    ItemTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QHash<QString, ItemNode *> nodes;
    for (const char *text : {"a", "b", "c", "d", "e", "f"})
        nodes.insert(QString::fromLatin1(text),
                     model.appendNode(nullptr, info(QString::fromLatin1(text))));
    for (const char *text : {"b1", "b2", "b3"})
        nodes.insert(QString::fromLatin1(text), model.appendNode(nodes.value(QStringLiteral("b")),
                                                                 info(QString::fromLatin1(text))));
    nodes.value(QStringLiteral("d"))->hidden = true;
    model.refreshShown();
    const QPersistentModelIndex last(model.indexOf(nodes.value(QStringLiteral("f"))));

    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    std::vector<ItemNode *> going;
    for (const QString &text : texts)
        going.push_back(nodes.value(text));
    model.removeNodes(going);

    QStringList shown;
    for (const ItemNode *top : model.root()->shownChildren()) {
        QStringList children;
        for (const ItemNode *child : top->shownChildren())
            children << child->info->content;
        shown << top->info->content +
                     (children.isEmpty()
                          ? QString()
                          : QLatin1Char('{') + children.join(QLatin1Char(' ')) + QLatin1Char('}'));
        QCOMPARE(model.nodeFromIndex(model.indexOf(top)), top);
    }
    QTEST(shown.join(QLatin1Char(' ')), "shown");
    QTEST(int(removed.size()), "removals");
    QCOMPARE(last.isValid(), !texts.contains(QStringLiteral("f")));
    if (last.isValid())
        QCOMPARE(model.nodeFromIndex(last), nodes.value(QStringLiteral("f")));
    // Positions among all siblings follow, hidden ones included.
    for (const auto &top : model.root()->children)
        QCOMPARE(model.root()->children[size_t(top->position())].get(), top.get());
    QTEST(model.nodeCount(), "left");
}

QTEST_GUILESS_MAIN(TestItemTree)
#include "test_itemtree.moc"
