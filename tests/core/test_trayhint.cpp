// The tray icon's hint: the first four incomplete tasks in text order, one line each.
#include "common/Texts.h"
#include "storage/Database.h"
#include "storage/Statements.h"
#include "support/TestSupport.h"
#include "tasks/TaskTreeModel.h"

#include <QTest>

using namespace TestSupport;

class TestTrayHint : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hintText_data();
    void hintText();
    void hintFromDatabase();
};

void TestTrayHint::hintText_data()
{
    QTest::addColumn<QStringList>("contents");
    QTest::addColumn<int>("hintSize");
    QTest::addColumn<QString>("expected");

    const QString head = QStringLiteral("Incomplete Tasks:");
    QTest::newRow("no rows") << QStringList() << 20 << QStringLiteral("Incomplete Tasks:\rNone");
    QTest::newRow("one") << QStringList{QStringLiteral("Buy milk")} << 20
                         << head + QStringLiteral("\r(1) Buy milk");
    QTest::newRow("three: no ellipsis line")
        << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")} << 20
        << head + QStringLiteral("\r(1) a\r(2) b\r(3) c");
    QTest::newRow("exactly four: ellipsis line follows")
        << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                       QStringLiteral("d")}
        << 20 << head + QStringLiteral("\r(1) a\r(2) b\r(3) c\r(4) d\r ...");
    QTest::newRow("seven: first four")
        << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                       QStringLiteral("d"), QStringLiteral("e"), QStringLiteral("f"),
                       QStringLiteral("g")}
        << 20 << head + QStringLiteral("\r(1) a\r(2) b\r(3) c\r(4) d\r ...");
    QTest::newRow("25 characters cut at 20")
        << QStringList{QStringLiteral("abcdefghijklmnopqrstuvwxy")} << 20
        << head + QStringLiteral("\r(1) abcdefghijklmnopqrst...");
    QTest::newRow("20 characters unchanged")
        << QStringList{QStringLiteral("abcdefghijklmnopqrst")} << 20
        << head + QStringLiteral("\r(1) abcdefghijklmnopqrst");
    QTest::newRow("21 characters cut") << QStringList{QStringLiteral("abcdefghijklmnopqrstu")} << 20
                                       << head + QStringLiteral("\r(1) abcdefghijklmnopqrst...");
    QTest::newRow("multi-line on one line")
        << QStringList{QStringLiteral("line one\r\nline two")} << 20
        << head + QStringLiteral("\r(1) line one  line two");
    QTest::newRow("flattened before it is cut")
        << QStringList{QStringLiteral("abcdefghi\r\njklmnopqrst")} << 20
        << head + QStringLiteral("\r(1) abcdefghi  jklmnopqr...");
    QTest::newRow("other hint size")
        << QStringList{QStringLiteral("abcdefgh"), QStringLiteral("xyz")} << 3
        << head + QStringLiteral("\r(1) abc...\r(2) xyz");
    QTest::newRow("hint size 0") << QStringList{QStringLiteral("abc")} << 0
                                 << head + QStringLiteral("\r(1) ...");
    QTest::newRow("empty text counts as a row")
        << QStringList{QString()} << 20 << head + QStringLiteral("\r(1) ");
}

void TestTrayHint::hintText()
{
    QFETCH(QStringList, contents);
    QFETCH(int, hintSize);
    QFETCH(QString, expected);
    QCOMPARE(TrayHintText(contents, hintSize), expected);
}

void TestTrayHint::hintFromDatabase()
{
    // Incomplete tasks of both levels, orphans included, in case-insensitive text order;
    // complete tasks are left out.
    ProgramFolder folder;
    QSqlDatabase db = Database::open(folder.file(Texts::DatabaseFileName));
    const struct
    {
        int key;
        int parent;
        const char *content;
        bool complete;
    } rows[] = {
        {1, 0, "cherry", false},
        {2, 0, "Banana", false},
        {3, 1, "blueberry\r\nsmoothie", false},
        {4, 0, "aardvark", true},
        {5, 0, "apple", false},
        {6, 9, "date", false},
        {7, 1, "Apricot jam", true},
    };
    for (const auto &r : rows) {
        Row task;
        task.key = key(r.key);
        task.pid = r.parent == 0 ? Texts::RootKey : key(r.parent);
        task.content = QString::fromUtf8(r.content);
        task.checkFlag = r.complete;
        insertTask(db, task);
    }
    {
        TaskStatements tasks(db);
        QCOMPARE(TrayHintText(tasks.incompleteContents(), 12),
                 QStringLiteral("Incomplete Tasks:\r(1) apple\r(2) Banana\r(3) blueberry  s...\r"
                                "(4) cherry\r ..."));
        tasks.updateCheck(key(5), true, 45000);
        tasks.updateCheck(key(2), true, 45000);
        tasks.updateCheck(key(6), true, 45000);
        QCOMPARE(TrayHintText(tasks.incompleteContents(), 20),
                 QStringLiteral("Incomplete Tasks:\r(1) blueberry  smoothie\r(2) cherry"));
    }
    db = QSqlDatabase();
    Database::close();
}

QTEST_GUILESS_MAIN(TestTrayHint)
#include "test_trayhint.moc"
