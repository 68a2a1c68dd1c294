// The database file and the statement catalogue: creating the file and its tables, refusing
// files that are not databases, and what each statement writes and reads.
#include "common/Texts.h"
#include "storage/BackgroundWrites.h"
#include "storage/Database.h"
#include "storage/Statements.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTest>

using namespace TestSupport;

namespace {

const QString kTasks = QStringLiteral("tasks");
const QString kMemos = QStringLiteral("memos");
const QString kTid = QStringLiteral("tid");
const QString kMid = QStringLiteral("mid");

// A value as the database holds it: NULL, a whole number (booleans are 0 and 1), a double
// with every digit, or text.
QString canonical(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QStringLiteral("NULL");
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return QString::number(value.toLongLong());
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', 17);
    default:
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    }
}

QStringList canonical(const QVariantMap &row)
{
    QStringList result;
    for (auto it = row.cbegin(); it != row.cend(); ++it)
        result.append(it.key() + QLatin1Char('=') + canonical(it.value()));
    return result;
}

// A top-level row with nothing but its key.
Row keyed(const QString &key)
{
    Row row;
    row.key = key;
    return row;
}

// A task with every column set to something other than its default.
Row fullTaskRow(const QString &key, const QString &pid = Texts::RootKey)
{
    Row row;
    row.key = key;
    row.pid = pid;
    row.content = QStringLiteral("Renew passport\r\nphotos first");
    row.checkFlag = true;
    row.dueFlag = true;
    row.alarmFlag = true;
    row.expandFlag = true;
    row.textColor = 0x00336699;
    row.backgroundColor = qint32(0xFF000005u);
    row.createTime = 45000.25;
    row.editTime = 45001.5;
    row.checkTime = 45002.75;
    row.alarmTime = 45003.125;
    row.dueTime = 45004.0;
    return row;
}

TTaskInfo fullTask(const QString &key)
{
    TTaskInfo task;
    task.key = key;
    task.pid = Texts::RootKey;
    task.content = QStringLiteral("Call the bank\r\nabout the 'loan'");
    task.checkFlag = true;
    task.dueFlag = true;
    task.alarmFlag = true;
    task.expandFlag = true;
    task.textColor = qint32(0xFF00000Fu);
    task.backgroundColor = 0x00C0FFEE;
    task.createTime = 44000.5;
    task.editTime = 44001.0 + 1.0 / 3.0;
    task.checkTime = 44002.25;
    task.alarmTime = 44003.75;
    task.dueTime = 44004.0;
    return task;
}

QString describeTask(const TTaskInfo &t)
{
    return QStringLiteral("%1|%2|%3|c%4 d%5 a%6 e%7|%8 %9|%10 %11 %12 %13 %14")
        .arg(t.key, t.pid, t.content)
        .arg(t.checkFlag)
        .arg(t.dueFlag)
        .arg(t.alarmFlag)
        .arg(t.expandFlag)
        .arg(t.textColor)
        .arg(t.backgroundColor)
        .arg(t.createTime, 0, 'g', 17)
        .arg(t.editTime, 0, 'g', 17)
        .arg(t.checkTime, 0, 'g', 17)
        .arg(t.alarmTime, 0, 'g', 17)
        .arg(t.dueTime, 0, 'g', 17);
}

QString describeMemo(const TMemoInfo &m)
{
    return QStringLiteral("%1|%2|%3|e%4|%5 %6 %7")
        .arg(m.key, m.pid, m.content)
        .arg(m.expandFlag)
        .arg(m.assignTime, 0, 'g', 17)
        .arg(m.createTime, 0, 'g', 17)
        .arg(m.editTime, 0, 'g', 17);
}

// The top-level record with the given key after a load, or null.
template <class Info> const Info *findTop(const ItemForest &forest, const QString &key)
{
    for (const auto &node : forest) {
        if (node->info->key == key)
            return node->template as<Info>();
    }
    return nullptr;
}

QStringList keysOf(QSqlDatabase db, const QString &table, const QString &keyColumn)
{
    QSqlQuery query(db);
    query.exec(QStringLiteral("select %1 from %2 order by rowid").arg(keyColumn, table));
    QStringList keys;
    while (query.next())
        keys.append(query.value(0).toString());
    return keys;
}

bool throwsTasklumeError(const std::function<void()> &call, QString *text = nullptr)
{
    try {
        call();
    } catch (const TasklumeError &error) {
        if (text)
            *text = error.text();
        return true;
    }
    return false;
}

} // namespace

class TestStorage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    // The file.
    void openCreatesOwnerOnlyFile();
    void schemaHasEveryColumn_data();
    void schemaHasEveryColumn();
    void flagsDefaultToFalseAndRefuseNull_data();
    void flagsDefaultToFalseAndRefuseNull();
    void reopenKeepsRows();
    void openRefusesNonDatabase_data();
    void openRefusesNonDatabase();
    void openFailsWithoutFolder_data();
    void openFailsWithoutFolder();

    // Tasks.
    void insertNewWritesItsColumns();
    void insertNewKeepsGivenKey();
    void insertPastedForcesRoot();
    void updatesWriteOnlyTheirColumns_data();
    void updatesWriteOnlyTheirColumns();
    void expandWritesTheirRowsOnly_data();
    void expandWritesTheirRowsOnly();
    void expandAllInBackgroundKeepsOrder_data();
    void expandAllInBackgroundKeepsOrder();
    void backgroundWriteFailureIsReported();
    void closingWaitsForBackgroundWrites();
    void colourCodesRoundTrip_data();
    void colourCodesRoundTrip();
    void deleteItem_data();
    void deleteItem();
    void manyRowsByKeys_data();
    void manyRowsByKeys();
    void quotedKeyAndContent();
    void incompleteContentsInTextOrder();
    void taskFullRoundTrip();
    void taskUpdateFullLeavesExpandAndClearsTimes();
    void insertFullRefusesDuplicateKey();
    void countRowsCountsEveryLevel_data();
    void countRowsCountsEveryLevel();
    void selectByParentInStoredOrder();

    // Memos.
    void memoInsertWritesItsColumns_data();
    void memoInsertWritesItsColumns();
    void memoFullRoundTrip();

private:
    QString dbPath() const { return m_folder->file(Texts::DatabaseFileName); }
    std::unique_ptr<ProgramFolder> m_folder;
    QSqlDatabase m_db;
};

void TestStorage::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    const QString tag = QString::fromLatin1(QTest::currentTestFunction());
    // The tests of opening itself open their own files.
    if (tag.startsWith(QLatin1String("open")) || tag.startsWith(QLatin1String("reopen")))
        return;
    m_db = Database::open(dbPath());
    QVERIFY(m_db.isOpen());
}

void TestStorage::cleanup()
{
    m_db = QSqlDatabase();
    Database::close();
    QVERIFY(!QSqlDatabase::contains(Database::ConnectionName));
    m_folder.reset();
}

// ---- the file ---------------------------------------------------------------------------

void TestStorage::openCreatesOwnerOnlyFile()
{
    QVERIFY(!QFile::exists(dbPath()));
    QSqlDatabase db = Database::open(dbPath());
    QVERIFY(db.isOpen());
    QVERIFY(QFile::exists(dbPath()));
    QCOMPARE(fileMode(dbPath()), 0600);
    // The engine's side files take the same rights once something is written.
    TaskStatements tasks(db);
    TTaskInfo task;
    task.pid = Texts::RootKey;
    tasks.insertNew(task);
    for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        if (QFile::exists(dbPath() + suffix))
            QCOMPARE(fileMode(dbPath() + suffix), 0600);
    }
}

void TestStorage::schemaHasEveryColumn_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("columns");
    QTest::newRow("tasks") << kTasks << QStringList{QStringLiteral("tid"),
                                                    QStringLiteral("pid"),
                                                    QStringLiteral("content"),
                                                    QStringLiteral("checkFlag"),
                                                    QStringLiteral("dueFlag"),
                                                    QStringLiteral("alarmFlag"),
                                                    QStringLiteral("expandFlag"),
                                                    QStringLiteral("textColor"),
                                                    QStringLiteral("backgroundColor"),
                                                    QStringLiteral("createTime"),
                                                    QStringLiteral("editTime"),
                                                    QStringLiteral("checkTime"),
                                                    QStringLiteral("alarmTime"),
                                                    QStringLiteral("dueTime")};
    QTest::newRow("memos") << kMemos
                           << QStringList{
                                  QStringLiteral("mid"),        QStringLiteral("pid"),
                                  QStringLiteral("content"),    QStringLiteral("expandFlag"),
                                  QStringLiteral("assignTime"), QStringLiteral("createTime"),
                                  QStringLiteral("editTime")};
}

void TestStorage::schemaHasEveryColumn()
{
    QFETCH(QString, table);
    QFETCH(QStringList, columns);
    QSqlQuery query(m_db);
    QVERIFY(query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table)));
    QStringList names;
    while (query.next())
        names.append(query.value(QStringLiteral("name")).toString());
    names.sort(Qt::CaseInsensitive);
    columns.sort(Qt::CaseInsensitive);
    QCOMPARE(names, columns);
}

void TestStorage::flagsDefaultToFalseAndRefuseNull_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("keyColumn");
    QTest::addColumn<QStringList>("flags");
    QTest::newRow("tasks") << kTasks << kTid
                           << QStringList{QStringLiteral("checkFlag"), QStringLiteral("dueFlag"),
                                          QStringLiteral("alarmFlag"),
                                          QStringLiteral("expandFlag")};
    QTest::newRow("memos") << kMemos << kMid << QStringList{QStringLiteral("expandFlag")};
}

void TestStorage::flagsDefaultToFalseAndRefuseNull()
{
    QFETCH(QString, table);
    QFETCH(QString, keyColumn);
    QFETCH(QStringList, flags);

    QSqlQuery query(m_db);
    QVERIFY(query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table)));
    QStringList seen;
    while (query.next()) {
        const QString name = query.value(QStringLiteral("name")).toString();
        if (!flags.contains(name))
            continue;
        seen.append(name);
        QVERIFY2(query.value(QStringLiteral("notnull")).toInt() == 1, qPrintable(name));
        const QString def = query.value(QStringLiteral("dflt_value")).toString();
        QVERIFY2(def.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0 ||
                     def == QLatin1String("0"),
                 qPrintable(name + QLatin1Char('=') + def));
    }
    QCOMPARE(seen.size(), flags.size());

    // A row that names nothing but its key reads false (0) in every flag, 0 in the colours
    // and null in the times.
    execSql(
        m_db,
        QStringLiteral("insert into %1 (%2, pid) values ('{K}', 'root')").arg(table, keyColumn));
    const QVariantMap row = fetchRow(m_db, table, keyColumn, QStringLiteral("{K}"));
    for (const QString &flag : flags)
        QCOMPARE(canonical(row.value(flag)), QStringLiteral("0"));
    if (table == kTasks) {
        QCOMPARE(canonical(row.value(QStringLiteral("textColor"))), QStringLiteral("0"));
        QCOMPARE(canonical(row.value(QStringLiteral("backgroundColor"))), QStringLiteral("0"));
        QCOMPARE(canonical(row.value(QStringLiteral("dueTime"))), QStringLiteral("NULL"));
    }
    QCOMPARE(canonical(row.value(QStringLiteral("createTime"))), QStringLiteral("NULL"));

    // An explicit null is refused.
    for (const QString &flag : flags) {
        QSqlQuery insert(m_db);
        QVERIFY2(!insert.exec(QStringLiteral("insert into %1 (%2, pid, %3) values ('{N}', 'root', "
                                             "NULL)")
                                  .arg(table, keyColumn, flag)),
                 qPrintable(flag));
    }
}

void TestStorage::reopenKeepsRows()
{
    {
        QSqlDatabase db = Database::open(dbPath());
        insertTask(db, fullTaskRow(key(1)));
        insertMemo(db, keyed(key(2)));
    }
    Database::close();
    const QByteArray mode = QByteArray::number(fileMode(dbPath()), 8);
    QSqlDatabase db = Database::open(dbPath());
    QCOMPARE(TaskStatements(db).countRows(), 1);
    QCOMPARE(MemoStatements(db).countRows(), 1);
    QCOMPARE(QByteArray::number(fileMode(dbPath()), 8), mode);
}

void TestStorage::openRefusesNonDatabase_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("text")
        << QByteArray("[option]\nhintSize=20\nThis is no database at all.\n").repeated(20);
    QByteArray binary(4096, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 37 + 11) % 251);
    QTest::newRow("binary") << binary;
}

void TestStorage::openRefusesNonDatabase()
{
    QFETCH(QByteArray, bytes);
    writeFile(dbPath(), bytes);
    QString text;
    QVERIFY(throwsTasklumeError([&] { Database::open(dbPath()); }, &text));
    QVERIFY2(text.contains(QLatin1String("not a database")), qPrintable(text));
    QCOMPARE(readFile(dbPath()), bytes);
    QVERIFY(!QSqlDatabase::contains(Database::ConnectionName));

    // The connection name is free again for a file that is a database.
    const QString other = m_folder->file(QStringLiteral("other.wyb"));
    QSqlDatabase db = Database::open(other);
    QVERIFY(db.isOpen());
}

void TestStorage::openFailsWithoutFolder_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::newRow("folder missing") << QStringLiteral("missing/wyData.wyb");
    QTest::newRow("folder is a file") << QStringLiteral("plainfile/wyData.wyb");
    QTest::newRow("path is a folder") << QStringLiteral("afolder");
}

void TestStorage::openFailsWithoutFolder()
{
    QFETCH(QString, relativePath);
    writeFile(m_folder->file(QStringLiteral("plainfile")), "not a folder");
    QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("afolder")));
    const QString path = m_folder->file(relativePath);
    QString text;
    QVERIFY(throwsTasklumeError([&] { Database::open(path); }, &text));
    QVERIFY2(!text.isEmpty(), "the error has no text");
    QVERIFY(!QDir(m_folder->file(QStringLiteral("missing"))).exists());
    QVERIFY(!QSqlDatabase::contains(Database::ConnectionName));
}

// ---- tasks ------------------------------------------------------------------------------

void TestStorage::insertNewWritesItsColumns()
{
    TaskStatements tasks(m_db);
    TTaskInfo task = fullTask(QString());
    task.content = QStringLiteral("Buy milk\r\nand bread");
    task.createTime = 45000.25;
    task.editTime = 45000.5;
    tasks.insertNew(task);

    static const QRegularExpression form(
        QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
    QVERIFY2(form.match(task.key).hasMatch(), qPrintable(task.key));

    const QVariantMap row = fetchRow(m_db, kTasks, kTid, task.key);
    QVariantMap expected{
        {QStringLiteral("tid"), task.key.toString()},
        {QStringLiteral("pid"), Texts::RootKey},
        {QStringLiteral("content"), QStringLiteral("Buy milk\r\nand bread")},
        {QStringLiteral("checkFlag"), 0},
        {QStringLiteral("dueFlag"), 0},
        {QStringLiteral("alarmFlag"), 0},
        {QStringLiteral("expandFlag"), 0},
        {QStringLiteral("textColor"), 0},
        {QStringLiteral("backgroundColor"), 0},
        {QStringLiteral("createTime"), 45000.25},
        {QStringLiteral("editTime"), 45000.5},
        {QStringLiteral("checkTime"), QVariant()},
        {QStringLiteral("alarmTime"), QVariant()},
        {QStringLiteral("dueTime"), QVariant()},
    };
    QCOMPARE(canonical(row), canonical(expected));

    // Loading gives 0 for the null times and false for the flags.
    ItemForest forest = tasks.loadForest();
    const TTaskInfo *loaded = findTop<TTaskInfo>(forest, task.key);
    QVERIFY(loaded);
    TTaskInfo plain;
    plain.key = task.key;
    plain.pid = Texts::RootKey;
    plain.content = task.content;
    plain.createTime = 45000.25;
    plain.editTime = 45000.5;
    QCOMPARE(describeTask(*loaded), describeTask(plain));
}

void TestStorage::insertNewKeepsGivenKey()
{
    TaskStatements tasks(m_db);
    insertTask(m_db, keyed(key(1)));
    TTaskInfo child;
    child.key = key(2);
    child.pid = key(1);
    child.content = QStringLiteral("child");
    tasks.insertNew(child);
    QCOMPARE(child.key, key(2));
    QCOMPARE(fetchRow(m_db, kTasks, kTid, key(2)).value(QStringLiteral("pid")).toString(), key(1));
    QCOMPARE(tasks.countRows(), 2);
}

void TestStorage::insertPastedForcesRoot()
{
    TaskStatements tasks(m_db);
    TTaskInfo task = fullTask(QString());
    task.pid = key(9);
    task.content = QStringLiteral("pasted\r\ntext");
    task.createTime = 45100.0 + 0.125;
    task.editTime = task.createTime;
    tasks.insertPasted(task);
    QCOMPARE(task.pid, Texts::RootKey);
    QCOMPARE(task.key.size(), 38);

    const QVariantMap row = fetchRow(m_db, kTasks, kTid, task.key);
    QVariantMap expected{
        {QStringLiteral("tid"), task.key.toString()},
        {QStringLiteral("pid"), Texts::RootKey},
        {QStringLiteral("content"), QStringLiteral("pasted\r\ntext")},
        {QStringLiteral("checkFlag"), 0},
        {QStringLiteral("dueFlag"), 0},
        {QStringLiteral("alarmFlag"), 0},
        {QStringLiteral("expandFlag"), 0},
        {QStringLiteral("textColor"), 0},
        {QStringLiteral("backgroundColor"), 0},
        {QStringLiteral("createTime"), 45100.125},
        {QStringLiteral("editTime"), 45100.125},
        {QStringLiteral("checkTime"), QVariant()},
        {QStringLiteral("alarmTime"), QVariant()},
        {QStringLiteral("dueTime"), QVariant()},
    };
    QCOMPARE(canonical(row), canonical(expected));
}

void TestStorage::updatesWriteOnlyTheirColumns_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QVariantMap>("changes");

    const QString checkFlag = QStringLiteral("checkFlag"), checkTime = QStringLiteral("checkTime");
    const QString dueFlag = QStringLiteral("dueFlag"), dueTime = QStringLiteral("dueTime");
    const QString alarmFlag = QStringLiteral("alarmFlag"), alarmTime = QStringLiteral("alarmTime");

    QTest::newRow("check on") << QStringLiteral("check on")
                              << QVariantMap{{checkFlag, 1}, {checkTime, 46000.5}};
    // A zero time is stored as the zero date-time, not left without a value.
    QTest::newRow("check off, zero time")
        << QStringLiteral("check off") << QVariantMap{{checkFlag, 0}, {checkTime, 0.0}};
    QTest::newRow("due set") << QStringLiteral("due set")
                             << QVariantMap{{dueFlag, 1}, {dueTime, 46010.0}};
    QTest::newRow("due cleared") << QStringLiteral("due cleared")
                                 << QVariantMap{{dueFlag, 0}, {dueTime, 0.0}};
    QTest::newRow("alarm set") << QStringLiteral("alarm set")
                               << QVariantMap{{alarmFlag, 1}, {alarmTime, 46020.75}};
    QTest::newRow("alarm cleared")
        << QStringLiteral("alarm cleared") << QVariantMap{{alarmFlag, 0}, {alarmTime, 0.0}};
    QTest::newRow("colours") << QStringLiteral("colours")
                             << QVariantMap{
                                    {QStringLiteral("textColor"), qint64(qint32(0xFF00000Fu))},
                                    {QStringLiteral("backgroundColor"), 0x0000FF00}};
    QTest::newRow("content") << QStringLiteral("content")
                             << QVariantMap{
                                    {QStringLiteral("content"), QStringLiteral("new\r\ntext")},
                                    {QStringLiteral("editTime"), 46030.25}};
    QTest::newRow("collapse") << QStringLiteral("collapse")
                              << QVariantMap{{QStringLiteral("expandFlag"), 0}};
    QTest::newRow("expand (no change)") << QStringLiteral("expand") << QVariantMap{};
    QTest::newRow("parent") << QStringLiteral("parent")
                            << QVariantMap{{QStringLiteral("pid"), key(7)}};
    QTest::newRow("parent root") << QStringLiteral("parent root") << QVariantMap{};
}

void TestStorage::updatesWriteOnlyTheirColumns()
{
    QFETCH(QString, operation);
    QFETCH(QVariantMap, changes);

    insertTask(m_db, fullTaskRow(key(1)));
    insertTask(m_db, fullTaskRow(key(2)));
    const QVariantMap before = fetchRow(m_db, kTasks, kTid, key(1));
    const QVariantMap neighbour = fetchRow(m_db, kTasks, kTid, key(2));

    TaskStatements tasks(m_db);
    const QString k = key(1);
    if (operation == QLatin1String("check on"))
        tasks.updateCheck(k, true, 46000.5);
    else if (operation == QLatin1String("check off"))
        tasks.updateCheck(k, false, 0);
    else if (operation == QLatin1String("due set"))
        tasks.updateDue(k, true, 46010.0);
    else if (operation == QLatin1String("due cleared"))
        tasks.updateDue(k, false, 0);
    else if (operation == QLatin1String("alarm set"))
        tasks.updateAlarm(k, true, 46020.75);
    else if (operation == QLatin1String("alarm cleared"))
        tasks.updateAlarm(k, false, 0);
    else if (operation == QLatin1String("colours"))
        tasks.updateColors(k, qint32(0xFF00000Fu), 0x0000FF00);
    else if (operation == QLatin1String("content"))
        tasks.updateContent(k, QStringLiteral("new\r\ntext"), 46030.25);
    else if (operation == QLatin1String("collapse"))
        tasks.updateExpand(k, false);
    else if (operation == QLatin1String("expand"))
        tasks.updateExpand(k, true);
    else if (operation == QLatin1String("parent"))
        tasks.updateParent(k, key(7));
    else if (operation == QLatin1String("parent root"))
        tasks.updateParent(k, Texts::RootKey);
    else
        QFAIL("unknown operation");

    QVariantMap expected = before;
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        expected.insert(it.key(), it.value());
    QCOMPARE(canonical(fetchRow(m_db, kTasks, kTid, key(1))), canonical(expected));
    QCOMPARE(canonical(fetchRow(m_db, kTasks, kTid, key(2))), canonical(neighbour));
}

void TestStorage::expandWritesTheirRowsOnly_data()
{
    QTest::addColumn<bool>("memos");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("flags"); // afterwards, in the order the rows were seeded
    // Seeded: A (closed, with child a1), B (open, no child), C (closed, no child),
    // D (open, with child d1), a1 (open), d1 (closed), Q (closed, key with a quote).
    for (bool memos : {false, true}) {
        const char *list = memos ? "memos" : "tasks";
        QTest::addRow("%s: every top-level row opened", list)
            << memos << QStringLiteral("open all") << QStringLiteral("1101100");
        // A row without children keeps its flag.
        QTest::addRow("%s: every top-level row closed", list)
            << memos << QStringLiteral("close all") << QStringLiteral("0100100");
        QTest::addRow("%s: rows opened by key", list)
            << memos << QStringLiteral("open A C Q") << QStringLiteral("1111101");
        QTest::addRow("%s: rows closed by key", list)
            << memos << QStringLiteral("close B a1") << QStringLiteral("0001000");
        QTest::addRow("%s: no keys", list)
            << memos << QStringLiteral("open") << QStringLiteral("0101100");
    }
}

namespace {

// Seven rows for the expand statements: A (closed, with child a1), B (open, no child),
// C (closed, no child), D (open, with child d1), a1 (open), d1 (closed), Q (closed, a key
// with a quote).
struct ExpandRows
{
    const QString keys[7] = {key(1), key(2), key(3), key(4), key(11), key(14),
                             QStringLiteral("{it's}")};
    const QString names[7] = {QStringLiteral("A"), QStringLiteral("B"),  QStringLiteral("C"),
                              QStringLiteral("D"), QStringLiteral("a1"), QStringLiteral("d1"),
                              QStringLiteral("Q")};

    explicit ExpandRows(QSqlDatabase db, bool memos)
        : m_db(db), m_memos(memos), m_tasks(db), m_memoStatements(db)
    {
        const char *parents[] = {"", "", "", "", "A", "D", ""};
        const QString seeded = QStringLiteral("0101100");
        for (int i = 0; i < 7; ++i) {
            Row row;
            row.key = keys[i];
            if (parents[i][0] != 0)
                row.pid = keys[parents[i][0] == 'A' ? 0 : 3];
            row.content = names[i];
            row.expandFlag = seeded.at(i) == QLatin1Char('1');
            memos ? insertMemo(db, row) : insertTask(db, row);
        }
    }
    QString keyOf(const QString &name) const
    {
        return keys[std::find(std::begin(names), std::end(names), name) - std::begin(names)];
    }
    // The flags as stored now, read with plain SQL, in the order the rows were seeded.
    QString flags() const
    {
        QString stored;
        for (const QString &k : keys) {
            stored += fetchRow(m_db, m_memos ? kMemos : kTasks, m_memos ? kMid : kTid, k)
                          .value(QStringLiteral("expandFlag"))
                          .toString();
        }
        return stored;
    }

    // The statements of the seeded list.
    ItemStatements &statements()
    {
        return m_memos ? static_cast<ItemStatements &>(m_memoStatements)
                       : static_cast<ItemStatements &>(m_tasks);
    }

private:
    QSqlDatabase m_db;
    bool m_memos;
    TaskStatements m_tasks;
    MemoStatements m_memoStatements;
};

} // namespace

void TestStorage::expandWritesTheirRowsOnly()
{
    QFETCH(bool, memos);
    QFETCH(QString, operation);
    QFETCH(QString, flags);
    ExpandRows rows(m_db, memos);
    ItemStatements &statements = rows.statements();
    QStringList words = operation.split(QLatin1Char(' '));
    const QString verb = words.takeFirst();
    if (words == QStringList{QStringLiteral("all")}) {
        statements.updateExpandTopLevel(verb == QLatin1String("open"));
    } else {
        QStringList keys;
        for (const QString &word : std::as_const(words))
            keys << rows.keyOf(word);
        statements.updateExpandKeys(keys, verb == QLatin1String("open"));
    }
    QCOMPARE(rows.flags(), flags);
}

void TestStorage::expandAllInBackgroundKeepsOrder_data()
{
    QTest::addColumn<bool>("memos");
    QTest::addColumn<QString>("operations"); // "open all" goes to the background
    QTest::addColumn<QString>("flags");
    for (bool memos : {false, true}) {
        const char *list = memos ? "memos" : "tasks";
        QTest::addRow("%s: opened, then read", list)
            << memos << QStringLiteral("open all") << QStringLiteral("1101100");
        QTest::addRow("%s: closed, then one opened", list)
            << memos << QStringLiteral("close all; open A") << QStringLiteral("1100100");
        QTest::addRow("%s: opened, then one closed", list)
            << memos << QStringLiteral("open all; close D") << QStringLiteral("1100100");
        QTest::addRow("%s: closed, then opened again", list)
            << memos << QStringLiteral("close all; open all") << QStringLiteral("1101100");
    }
}

// Another program holds the file's write lock for a while: the background write waits for
// it, and whatever the connection does next waits for the background write.
void TestStorage::expandAllInBackgroundKeepsOrder()
{
    QFETCH(bool, memos);
    QFETCH(QString, operations);
    QFETCH(QString, flags);
    ExpandRows rows(m_db, memos);
    ItemStatements &statements = rows.statements();
    FileWriteLock lock(dbPath());
    lock.releaseLater(300);
    for (const QString &operation : operations.split(QStringLiteral("; "))) {
        const QStringList words = operation.split(QLatin1Char(' '));
        const bool open = words.first() == QLatin1String("open");
        if (words.at(1) == QLatin1String("all"))
            statements.updateExpandTopLevelInBackground(open);
        else
            statements.updateExpandKeys({rows.keyOf(words.at(1))}, open);
    }
    QCOMPARE(rows.flags(), flags);
}

void TestStorage::backgroundWriteFailureIsReported()
{
    const ExpandRows rows(m_db, false);
    QString reported;
    BackgroundWrites::setFailureHandler([&](const QString &text) { reported = text; });
    // The file goes away under the open connection: the write cannot open it again.
    QVERIFY(QFile::remove(dbPath()));
    TaskStatements(m_db).updateExpandTopLevelInBackground(true);
    BackgroundWrites::waitForAll();
    QTRY_VERIFY(!reported.isEmpty());
    BackgroundWrites::setFailureHandler({});
    QVERIFY2(reported.contains(Texts::DatabaseFileName), qPrintable(reported));
}

void TestStorage::closingWaitsForBackgroundWrites()
{
    {
        const ExpandRows rows(m_db, false);
    }
    FileWriteLock lock(dbPath());
    lock.releaseLater(300);
    TaskStatements(m_db).updateExpandTopLevelInBackground(true);
    m_db = QSqlDatabase();
    Database::close();
    // Read by a connection of its own after the program's connection was closed.
    QSqlDatabase db = Database::open(dbPath(), QStringLiteral("check"));
    QCOMPARE(queryValue(db, QStringLiteral("select group_concat(expandFlag, '') from "
                                           "(select expandFlag from tasks order by rowid)"))
                 .toString(),
             QStringLiteral("1101100"));
    db = QSqlDatabase();
    Database::close(QStringLiteral("check"));
}

void TestStorage::colourCodesRoundTrip_data()
{
    QTest::addColumn<qint32>("textColor");
    QTest::addColumn<qint32>("backgroundColor");
    QTest::newRow("system colour codes") << qint32(0xFF00000Fu) << qint32(0xFF000005u);
    QTest::newRow("RGB values") << qint32(0x00336699) << qint32(0x00FFFFFF);
    QTest::newRow("no colour") << qint32(0) << qint32(0);
    QTest::newRow("extremes") << std::numeric_limits<qint32>::min()
                              << std::numeric_limits<qint32>::max();
}

void TestStorage::colourCodesRoundTrip()
{
    QFETCH(qint32, textColor);
    QFETCH(qint32, backgroundColor);
    insertTask(m_db, keyed(key(1)));
    TaskStatements tasks(m_db);
    tasks.updateColors(key(1), textColor, backgroundColor);

    // Stored as signed numbers ...
    const QVariantMap row = fetchRow(m_db, kTasks, kTid, key(1));
    QCOMPARE(row.value(QStringLiteral("textColor")).toLongLong(), qint64(textColor));
    QCOMPARE(row.value(QStringLiteral("backgroundColor")).toLongLong(), qint64(backgroundColor));
    // ... and read back as the same codes.
    ItemForest forest = tasks.loadForest();
    const TTaskInfo *task = findTop<TTaskInfo>(forest, key(1));
    QVERIFY(task);
    QCOMPARE(task->textColor, textColor);
    QCOMPARE(task->backgroundColor, backgroundColor);
}

void TestStorage::deleteItem_data()
{
    QTest::addColumn<int>("deleted");
    QTest::addColumn<QStringList>("remaining");
    // Seed: 1 (top) with children 2, 3; 4 (top) with child 5; 6 an orphan under 99.
    QTest::newRow("top-level with children") << 1 << QStringList{key(4), key(5), key(6)};
    QTest::newRow("child") << 2 << QStringList{key(1), key(3), key(4), key(5), key(6)};
    QTest::newRow("top-level without children") << 4 << QStringList{key(1), key(2), key(3), key(6)};
    QTest::newRow("orphan") << 6 << QStringList{key(1), key(2), key(3), key(4), key(5)};
    QTest::newRow("unknown key") << 42
                                 << QStringList{key(1), key(2), key(3), key(4), key(5), key(6)};
    // -1: a row keyed "root", -2: a row with an empty key, each top-level; deleting one takes
    // nothing else along.
    QTest::newRow("reserved key root")
        << -1 << QStringList{key(1), key(2), key(3), key(4), key(5), key(6)};
    QTest::newRow("empty key") << -2 << QStringList{key(1), key(2), key(3), key(4), key(5), key(6)};
}

void TestStorage::deleteItem()
{
    QFETCH(int, deleted);
    QFETCH(QStringList, remaining);
    for (const auto &[k, parent] :
         std::vector<std::pair<int, int>>{{1, 0}, {2, 1}, {3, 1}, {4, 0}, {5, 4}, {6, 99}}) {
        Row task;
        task.key = key(k);
        task.pid = parent == 0 ? Texts::RootKey : key(parent);
        insertTask(m_db, task);
        Row memo = task;
        insertMemo(m_db, memo);
    }
    QString deletedKey = key(deleted);
    if (deleted < 0) {
        deletedKey = deleted == -1 ? Texts::RootKey : QStringLiteral("");
        QSqlQuery query(m_db);
        for (const auto &[table, column] : {std::pair{kTasks, kTid}, std::pair{kMemos, kMid}}) {
            QVERIFY(query.exec(QStringLiteral("insert into %1 (%2, pid, content) values "
                                              "('%3', 'root', 'x')")
                                   .arg(table, column, deletedKey)));
        }
    }
    TaskStatements tasks(m_db);
    tasks.deleteItem(deletedKey);
    QCOMPARE(keysOf(m_db, kTasks, kTid), remaining);
    MemoStatements memos(m_db);
    memos.deleteItem(deletedKey);
    QCOMPARE(keysOf(m_db, kMemos, kMid), remaining);
}

void TestStorage::manyRowsByKeys_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("rows");
    for (const char *command : {"delete", "move", "complete"}) {
        // A few rows are written at once; thousands on the background writer's thread.
        for (int rows : {3, 2500})
            QTest::addRow("%s %d", command, rows) << QString::fromLatin1(command) << rows;
    }
}

// Delete, move and mark complete of many rows by their keys, with one statement: exactly
// the rows named change (a deleted row's children go too), keys that need quoting included,
// and a reserved key names no children.
void TestStorage::manyRowsByKeys()
{
    QFETCH(QString, command);
    QFETCH(int, rows);
    // Top-level rows t0..t{rows}, each with one child c<i>; every second top-level row is
    // named, and the row keyed "root" and one whose key needs quoting.
    const QString quoted = QStringLiteral("q'uo\"te\\d");
    QStringList named{Texts::RootKey, quoted};
    {
        QVERIFY(m_db.transaction());
        for (const QString &top : {Texts::RootKey, quoted, QStringLiteral("t-extra")}) {
            Row row = keyed(top);
            insertTask(m_db, row);
        }
        for (int i = 0; i < rows; ++i) {
            Row top = keyed(QStringLiteral("t%1").arg(i));
            insertTask(m_db, top);
            Row child = keyed(QStringLiteral("c%1").arg(i));
            child.pid = top.key;
            insertTask(m_db, child);
            if (i % 2 == 0)
                named.append(top.key);
        }
        QVERIFY(m_db.commit());
    }
    TaskStatements tasks(m_db);
    if (command == QLatin1String("delete"))
        tasks.deleteItems(named);
    else if (command == QLatin1String("move"))
        tasks.updateParents(named, QStringLiteral("t-extra"));
    else
        tasks.updateChecks(named, true, 45000.5);
    BackgroundWrites::waitForAll();

    const auto count = [&](const QString &where) {
        return queryValue(m_db, QStringLiteral("select count(*) from tasks where ") + where).toInt();
    };
    const int namedTop = (rows + 1) / 2;
    if (command == QLatin1String("delete")) {
        // The named rows and the children of the named t-rows; the unnamed ones stay.
        QCOMPARE(count(QStringLiteral("1")), 1 + 2 * (rows - namedTop));
        QCOMPARE(count(QStringLiteral("tid='t-extra'")), 1);
        QCOMPARE(count(QStringLiteral("tid='t1'")), rows > 1 ? 1 : 0);
        QCOMPARE(count(QStringLiteral("tid='c1'")), rows > 1 ? 1 : 0);
        QCOMPARE(count(QStringLiteral("tid='c0'")), 0);
    } else if (command == QLatin1String("move")) {
        QCOMPARE(count(QStringLiteral("pid='t-extra'")), named.size());
        QCOMPARE(count(QStringLiteral("pid='root'")), 1 + rows - namedTop);
        QCOMPARE(fetchRow(m_db, kTasks, kTid, quoted).value(QStringLiteral("pid")).toString(),
                 QStringLiteral("t-extra"));
    } else {
        QCOMPARE(count(QStringLiteral("checkFlag=1")), named.size());
        QCOMPARE(count(QStringLiteral("checkFlag=1 and checkTime=45000.5")), named.size());
        QCOMPARE(count(QStringLiteral("checkFlag=1 and tid like 'c%'")), 0);
        QCOMPARE(fetchRow(m_db, kTasks, kTid, quoted).value(QStringLiteral("checkFlag")).toInt(), 1);
    }
}

void TestStorage::quotedKeyAndContent()
{
    const QString oddKey = QStringLiteral("{AB'CD}");
    const QString oddText = QStringLiteral("it's 'quoted'; delete from tasks; --");
    TTaskInfo task = fullTask(oddKey);
    TaskStatements tasks(m_db);
    tasks.insertFull(task);
    Row child;
    child.key = key(2);
    child.pid = oddKey;
    insertTask(m_db, child);
    insertTask(m_db, keyed(key(3)));

    QSqlQuery &found = tasks.selectByKey(oddKey);
    QVERIFY(found.next());
    QCOMPARE(found.value(QStringLiteral("tid")).toString(), oddKey);
    QVERIFY(!found.next());
    found.finish();

    QSqlQuery &children = tasks.selectByParent(oddKey);
    QVERIFY(children.next());
    QCOMPARE(children.value(QStringLiteral("tid")).toString(), key(2));
    children.finish();

    tasks.updateContent(oddKey, oddText, 45500.5);
    const QVariantMap row = fetchRow(m_db, kTasks, kTid, oddKey);
    QCOMPARE(row.value(QStringLiteral("content")).toString(), oddText);
    QCOMPARE(row.value(QStringLiteral("editTime")).toDouble(), 45500.5);
    tasks.updateExpand(oddKey, false);
    QCOMPARE(fetchRow(m_db, kTasks, kTid, oddKey).value(QStringLiteral("expandFlag")).toInt(), 0);

    tasks.deleteItem(oddKey);
    QCOMPARE(keysOf(m_db, kTasks, kTid), QStringList{key(3)});
}

void TestStorage::incompleteContentsInTextOrder()
{
    const struct
    {
        int key;
        int parent;
        const char *content;
        bool complete;
    } rows[] = {
        {1, 0, "cherry", false},  {2, 0, "Banana", false}, {3, 1, "blueberry", false},
        {4, 0, "aardvark", true}, {5, 0, "apple", false},  {6, 99, "date (orphan)", false},
        {7, 1, "Apricot", true},  {8, 0, "", false},
    };
    for (const auto &r : rows) {
        Row task;
        task.key = key(r.key);
        task.pid = r.parent == 0 ? Texts::RootKey : key(r.parent);
        task.content = QString::fromUtf8(r.content);
        task.checkFlag = r.complete;
        insertTask(m_db, task);
    }
    // A task with no text at all (null content) is incomplete too.
    execSql(m_db, QStringLiteral("insert into tasks (tid, pid) values ('{NULL}', 'root')"));
    TaskStatements tasks(m_db);
    const QStringList contents = tasks.incompleteContents();
    QCOMPARE(contents, (QStringList{QString(), QString(), QStringLiteral("apple"),
                                    QStringLiteral("Banana"), QStringLiteral("blueberry"),
                                    QStringLiteral("cherry"), QStringLiteral("date (orphan)")}));
}

void TestStorage::taskFullRoundTrip()
{
    TaskStatements tasks(m_db);
    TTaskInfo task = fullTask(key(1));
    tasks.insertFull(task);

    const QVariantMap row = fetchRow(m_db, kTasks, kTid, key(1));
    // Every column but expandFlag is written.
    QCOMPARE(row.value(QStringLiteral("expandFlag")).toInt(), 0);
    QCOMPARE(row.value(QStringLiteral("textColor")).toLongLong(), qint64(qint32(0xFF00000Fu)));

    ItemForest forest = tasks.loadForest();
    const TTaskInfo *loaded = findTop<TTaskInfo>(forest, key(1));
    QVERIFY(loaded);
    TTaskInfo expected = task;
    expected.expandFlag = false;
    QCOMPARE(describeTask(*loaded), describeTask(expected));

    // updateFull writes every column again.
    TTaskInfo changed;
    changed.key = key(1);
    changed.pid = Texts::RootKey;
    changed.content = QStringLiteral("changed");
    changed.checkFlag = false;
    changed.dueFlag = true;
    changed.alarmFlag = false;
    changed.textColor = 0x000000FF;
    changed.backgroundColor = qint32(0xFF000001u);
    changed.createTime = 43000.5;
    changed.editTime = 43001.5;
    changed.checkTime = 43002.5;
    changed.alarmTime = 43003.5;
    changed.dueTime = 43004.5;
    tasks.updateFull(changed);
    forest = tasks.loadForest();
    loaded = findTop<TTaskInfo>(forest, key(1));
    QVERIFY(loaded);
    QCOMPARE(describeTask(*loaded), describeTask(changed));
}

void TestStorage::taskUpdateFullLeavesExpandAndClearsTimes()
{
    insertTask(m_db, fullTaskRow(key(1)));
    TTaskInfo cleared;
    cleared.key = key(1);
    cleared.pid = key(5);
    cleared.content = QStringLiteral("moved");
    TaskStatements tasks(m_db);
    tasks.updateFull(cleared);
    const QVariantMap row = fetchRow(m_db, kTasks, kTid, key(1));
    const QVariantMap expected{
        {QStringLiteral("tid"), key(1)},
        {QStringLiteral("pid"), key(5)},
        {QStringLiteral("content"), QStringLiteral("moved")},
        {QStringLiteral("checkFlag"), 0},
        {QStringLiteral("dueFlag"), 0},
        {QStringLiteral("alarmFlag"), 0},
        {QStringLiteral("expandFlag"), 1}, // kept
        {QStringLiteral("textColor"), 0},
        {QStringLiteral("backgroundColor"), 0},
        // Zero times are written as the zero date-time.
        {QStringLiteral("createTime"), 0.0},
        {QStringLiteral("editTime"), 0.0},
        {QStringLiteral("checkTime"), 0.0},
        {QStringLiteral("alarmTime"), 0.0},
        {QStringLiteral("dueTime"), 0.0},
    };
    QCOMPARE(canonical(row), canonical(expected));
}

void TestStorage::insertFullRefusesDuplicateKey()
{
    TaskStatements tasks(m_db);
    tasks.insertFull(fullTask(key(1)));
    QString text;
    QVERIFY(throwsTasklumeError([&] { tasks.insertFull(fullTask(key(1))); }, &text));
    QVERIFY(!text.isEmpty());
    QCOMPARE(tasks.countRows(), 1);
    // The statement object stays usable after the failure.
    tasks.insertFull(fullTask(key(2)));
    QCOMPARE(tasks.countRows(), 2);
}

void TestStorage::countRowsCountsEveryLevel_data()
{
    QTest::addColumn<bool>("memos");
    QTest::newRow("tasks") << false;
    QTest::newRow("memos") << true;
}

void TestStorage::countRowsCountsEveryLevel()
{
    QFETCH(bool, memos);
    std::unique_ptr<ItemStatements> statements;
    if (memos)
        statements = std::make_unique<MemoStatements>(m_db);
    else
        statements = std::make_unique<TaskStatements>(m_db);
    QCOMPARE(statements->countRows(), 0);
    // Two top-level rows, a child, a third level and an orphan.
    for (const auto &[k, parent] :
         std::vector<std::pair<int, int>>{{1, 0}, {2, 0}, {3, 1}, {4, 3}, {5, 99}}) {
        Row row;
        row.key = key(k);
        row.pid = parent == 0 ? Texts::RootKey : key(parent);
        memos ? insertMemo(m_db, row) : insertTask(m_db, row);
    }
    QCOMPARE(statements->countRows(), 5);
    QCOMPARE(statements->countRows(), 5); // the prepared statement runs again
}

void TestStorage::selectByParentInStoredOrder()
{
    for (const auto &[k, parent] :
         std::vector<std::pair<int, int>>{{1, 0}, {3, 1}, {2, 0}, {5, 1}, {4, 1}}) {
        Row row;
        row.key = key(k);
        row.pid = parent == 0 ? Texts::RootKey : key(parent);
        insertTask(m_db, row);
    }
    TaskStatements tasks(m_db);
    QSqlQuery &query = tasks.selectByParent(key(1));
    QStringList keys;
    while (query.next())
        keys.append(query.value(QStringLiteral("tid")).toString());
    query.finish();
    QCOMPARE(keys, (QStringList{key(3), key(5), key(4)}));
}

// ---- memos ------------------------------------------------------------------------------

void TestStorage::memoInsertWritesItsColumns_data()
{
    QTest::addColumn<double>("assignTime");
    QTest::addColumn<QVariant>("stored");
    QTest::newRow("added in the tree") << 45200.5 << QVariant(45200.5);
    QTest::newRow("pasted: no assign time") << 0.0 << QVariant();
}

void TestStorage::memoInsertWritesItsColumns()
{
    QFETCH(double, assignTime);
    QFETCH(QVariant, stored);
    MemoStatements memos(m_db);
    TMemoInfo memo;
    memo.pid = Texts::RootKey;
    memo.content = QStringLiteral("A memo\r\nwith 'two' lines");
    memo.expandFlag = true; // not a column of the insert
    memo.createTime = 45200.5;
    memo.editTime = 45200.75;
    memo.assignTime = assignTime;
    memos.insert(memo);
    QCOMPARE(memo.key.size(), 38);

    const QVariantMap expected{
        {QStringLiteral("mid"), memo.key.toString()}, {QStringLiteral("pid"), Texts::RootKey},
        {QStringLiteral("content"), memo.content},    {QStringLiteral("expandFlag"), 0},
        {QStringLiteral("assignTime"), stored},       {QStringLiteral("createTime"), 45200.5},
        {QStringLiteral("editTime"), 45200.75},
    };
    QCOMPARE(canonical(fetchRow(m_db, kMemos, kMid, memo.key)), canonical(expected));
}

void TestStorage::memoFullRoundTrip()
{
    MemoStatements memos(m_db);
    TMemoInfo memo;
    memo.key = QStringLiteral("{ME'MO}");
    memo.pid = Texts::RootKey;
    memo.content = QStringLiteral("restored memo");
    memo.expandFlag = true;
    memo.assignTime = 44100.25;
    memo.createTime = 44100.25;
    memo.editTime = 44101.5;
    memos.insertFull(memo);
    QCOMPARE(fetchRow(m_db, kMemos, kMid, memo.key).value(QStringLiteral("expandFlag")).toInt(), 0);

    ItemForest forest = memos.loadForest();
    const TMemoInfo *loaded = findTop<TMemoInfo>(forest, memo.key);
    QVERIFY(loaded);
    TMemoInfo expected = memo;
    expected.expandFlag = false;
    QCOMPARE(describeMemo(*loaded), describeMemo(expected));

    memos.updateExpand(memo.key, true);
    TMemoInfo changed = memo;
    changed.content = QStringLiteral("restored again");
    changed.assignTime = 0;
    changed.createTime = 44200.0;
    changed.editTime = 44201.0;
    changed.expandFlag = false; // not written: the row stays expanded
    memos.updateFull(changed);
    forest = memos.loadForest();
    loaded = findTop<TMemoInfo>(forest, memo.key);
    QVERIFY(loaded);
    changed.expandFlag = true;
    QCOMPARE(describeMemo(*loaded), describeMemo(changed));
    // A zero time is written as the zero date-time.
    QCOMPARE(canonical(fetchRow(m_db, kMemos, kMid, memo.key).value(QStringLiteral("assignTime"))),
             QStringLiteral("0"));
}

QTEST_GUILESS_MAIN(TestStorage)
#include "test_storage.moc"
