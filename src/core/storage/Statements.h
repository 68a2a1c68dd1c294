// The statement catalogue: every SQL statement the program issues, and the typed calls
// that run them. Values are bound to prepared statements; the boolean literals True and
// False stand in the statement text where a statement fixes them.
#pragma once

#include "common/ItemTree.h"
#include "memos/MemoInfo.h"
#include "tasks/TaskInfo.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>

#include <memory>
#include <optional>

namespace Statements {
// Settings applied to every new connection (journal, durability, waiting on locks).
QStringList connectionSetup();
// The two tables and their indexes, created when missing.
QStringList schema();
// Settings of a connection that must leave an existing file as it is (no journal change),
// and a first read that tells whether the file is a database at all.
QStringList existingSetup();
// The columns the program reads and writes in a table ("tasks" or "memos").
QStringList requiredColumns(const QString &table);
// The engine's own verification of the file: its complaints, none when it is sound.
QStringList integrityProblems(QSqlDatabase db);
} // namespace Statements

class RowScan;

// What a reload found besides the nodes it shows.
struct LoadStats
{
    int rows = 0;    // every row read
    int dropped = 0; // rows of a third level or whose parent is missing
};

// Statements both tables share. Tasks and memos differ only in the table's name, the key
// column, and the record they read and write.
class ItemStatements
{
public:
    ItemStatements(QSqlDatabase db, QString table, const char *keyColumn);
    virtual ~ItemStatements() = default;

    const QString &table() const { return m_table; }
    // The same statements on another connection (of another thread).
    virtual std::unique_ptr<ItemStatements> onConnection(QSqlDatabase db) const = 0;
    QString keyColumn() const { return QString::fromLatin1(m_keyColumn); }

    // "select count(*) as cnt from <table>", every level and orphans included.
    int countRows();
    // Whether the table refuses a second row with a key it holds (an index of the key
    // column alone that is unique, as the primary key of the program's tables). Asked of
    // the database once and kept.
    bool keyIsUnique();
    // Reads the two levels of the tree: top-level rows in stored order, each with its
    // children in stored order; rows of a third level or with a missing parent are
    // counted in stats but not returned. A child's expandFlag is not read.
    ItemForest loadForest(LoadStats *stats = nullptr);
    // Deletes the row and then every row whose parent it is (two statements); a reserved
    // key ("root", empty) has no children to delete.
    void deleteItem(const QString &key);
    // deleteItem for each of the keys, with one statement however many there are. This and
    // the other statements over many keys below are stored on the background writer's
    // thread from a few thousand keys on, when the connection is not inside a transaction
    // (the window answers at once; the next statement of this connection waits for it).
    // Returns true when the write went to the background writer.
    bool deleteItems(const QStringList &keys);
    void updateExpand(const QString &key, bool expanded);
    // Every top-level item opened or closed with one statement.
    void updateExpandTopLevel(bool expanded);
    // The same, stored on the background writer's thread when the connection is not inside
    // a transaction; the next statement on this connection waits for it.
    void updateExpandTopLevelInBackground(bool expanded);
    // The rows with the given keys opened or closed with one statement.
    void updateExpandKeys(const QStringList &keys, bool expanded);
    // The same, stored on the background writer's thread as updateExpandTopLevelInBackground.
    void updateExpandKeysInBackground(const QStringList &keys, bool expanded);
    void updateParent(const QString &key, const QString &parent);
    // The rows with the given keys put under one parent with one statement (see
    // deleteItems).
    bool updateParents(const QStringList &keys, const QString &parent);
    void updateContent(const QString &key, const QString &content, TDateTime editTime);
    // Every row, for a backup.
    QSqlQuery &selectAll();
    // The row with the given key, for a restore; positioned before its first row.
    QSqlQuery &selectByKey(const QString &key);
    QSqlQuery &selectByParent(const QString &parent);
    // The rows with the given keys, in one statement however many, read as loadForest reads
    // them (a child's expandFlag is not read); a key no row carries gives nothing.
    std::vector<std::unique_ptr<ItemInfo>> loadByKeys(const QStringList &keys);

    // The check of the stored tree. The table's columns (none when it is missing); the
    // number of top-level rows; the keys of rows whose parent is not "root" and names no
    // row; the keys of rows whose parent is itself not a top-level row.
    QStringList columnNames();
    int countTopLevel();
    QStringList orphanKeys();
    QStringList thirdLevelKeys();
    // Keys no row may carry: "root" (the parent key of the top level) and an empty or
    // missing key. Each such row's key, a missing one as empty text.
    QStringList reservedKeys();

protected:
    // A fresh record of the table's kind filled from the current row of query.
    virtual std::unique_ptr<ItemInfo> readRow(const RowScan &row, bool withExpand) = 0;
    // The query prepared for statement, made once per statement text.
    QString expandTopLevelStatement(bool expanded) const;
    QSqlQuery &prepared(const QString &statement);
    void exec(const QString &statement, const QVariantList &values);
    QSqlQuery &open(const QString &statement, const QVariantList &values);

    // Reads the shared columns of the current row.
    void readShared(const RowScan &row, ItemInfo &info, bool withExpand);
    // The value of the named column of the current row; a null or missing column gives an
    // invalid value, which reads as the empty text, false or 0. Names are literals: their
    // indexes are looked up once per result set.
    QVariant value(const QSqlQuery &query, const char *name);

    // Runs a statement whose ?1 is the keys as a JSON array: now, or on the background
    // writer's thread for many keys outside a transaction.
    // True when it went to the background.
    bool execOverKeys(const QString &statement, const QStringList &keys);
    QSqlDatabase m_db;
    QString m_table;
    const char *m_keyColumn;

private:
    QHash<QString, QSqlQuery> m_prepared;
    std::optional<bool> m_keyIsUnique;
    std::vector<std::pair<const char *, int>> m_columns; // for the result set being read
    const QSqlQuery *m_columnsOf = nullptr;
};

class TaskStatements : public ItemStatements
{
public:
    explicit TaskStatements(QSqlDatabase db);
    std::unique_ptr<ItemStatements> onConnection(QSqlDatabase db) const override
    {
        return std::make_unique<TaskStatements>(std::move(db));
    }

    // Stores a newly added task: writes tid (set here when empty), pid, the flags false,
    // colours 0, createTime, content and editTime.
    void insertNew(TTaskInfo &task);
    // Stores pasted text as a top-level task (same columns, pid root).
    void insertPasted(TTaskInfo &task);
    void updateCheck(const QString &key, bool checked, TDateTime checkTime);
    // The same for every task with one of the keys, with one statement (see deleteItems).
    bool updateChecks(const QStringList &keys, bool checked, TDateTime checkTime);
    void updateDue(const QString &key, bool dueFlag, TDateTime dueTime);
    void updateAlarm(const QString &key, bool alarmFlag, TDateTime alarmTime);
    void updateColors(const QString &key, qint32 textColor, qint32 backgroundColor);
    // Texts of incomplete tasks of both levels, in the engine's text order; the first
    // `limit` of them when limit is not negative.
    QStringList incompleteContents(int limit = -1);
    // Restore and import: every column except expandFlag. A colour flagged as having no
    // value is written as null.
    void insertFull(const TTaskInfo &task, bool noTextColor = false,
                    bool noBackgroundColor = false);
    void updateFull(const TTaskInfo &task, bool noTextColor = false,
                    bool noBackgroundColor = false);

protected:
    std::unique_ptr<ItemInfo> readRow(const RowScan &row, bool withExpand) override;
};

class MemoStatements : public ItemStatements
{
public:
    explicit MemoStatements(QSqlDatabase db);
    std::unique_ptr<ItemStatements> onConnection(QSqlDatabase db) const override
    {
        return std::make_unique<MemoStatements>(std::move(db));
    }

    // Stores a newly added or pasted memo (mid set here when empty); assignTime is
    // written as null when 0.
    void insert(TMemoInfo &memo);
    void insertFull(const TMemoInfo &memo);
    void updateFull(const TMemoInfo &memo);

protected:
    std::unique_ptr<ItemInfo> readRow(const RowScan &row, bool withExpand) override;
};

// The bulk read of loading and of the backup: "select <columns> from <table>" over every
// row in the order the engine returns them, with the values as the engine holds them (text as
// UTF-8) instead of converted values, which makes reading a large database several times faster.
// The values of a row are valid during its visit only.
class RowScan
{
public:
    RowScan(QSqlDatabase db, const QString &table, const QList<QByteArray> &columns);
    // Every column of the table ("select *"), found by name with column().
    RowScan(QSqlDatabase db, const QString &table);
    // The rows of the table ("select *") that meet condition, whose one parameter is value.
    RowScan(QSqlDatabase db, const QString &table, const QString &condition, const QString &value);
    ~RowScan();
    RowScan(const RowScan &) = delete;
    RowScan &operator=(const RowScan &) = delete;

    // Moves to the next row; false at the end. Throws TasklumeError on an engine error.
    bool next();
    // Where the named column stands, -1 when the table has none: a missing column reads as
    // null. Names are literals: each is looked up once.
    int column(const char *name) const;
    bool isNull(int column) const;
    // Text of a column (empty for null), UTF-8.
    QByteArrayView text(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    // A boolean column: numbers other than 0 are true, and a text unless it is empty, "0"
    // or "false" in any letter case.
    bool flag(int column) const;

private:
    void prepare(QSqlDatabase db, const QByteArray &statement, const QString *value);

    struct Engine;
    std::unique_ptr<Engine> m_engine;
};

// What the sync keeps of each item between runs, in tables of its own made by the first
// sync: the object's href and ETag on the server and the item's fingerprint when it last
// agreed with the server; the collection's sync token; and a log of the keys of the items
// written since, filled by triggers on the two item tables, so that a run reads only what
// changed, whoever wrote it. Rows belong to one collection, named by its address; the log
// belongs to a list ("tasks" or "memos") and is followed by the collection that synced the
// list last.
struct SyncStateRow
{
    QString key;
    QString href;
    QString etag;
    QByteArray fingerprint;
};

// The keys written in a list since a point of its log, each once, and the log's last number.
struct SyncLogged
{
    QStringList keys;
    qint64 last = 0;
};

class SyncStateStatements
{
public:
    SyncStateStatements(QSqlDatabase db, QString collection);

    // The tables, and the triggers that log every write of the item tables from now on.
    void createTables();
    QList<SyncStateRow> rows();
    // The rows of the given keys, or of the given hrefs; one statement however many.
    QList<SyncStateRow> rowsWithKeys(const QStringList &keys);
    QList<SyncStateRow> rowsWithHrefs(const QStringList &hrefs);
    void store(const SyncStateRow &row);
    // Forgets the record and the kept object of a key.
    void forget(const QString &key);
    // The server's objects kept for items whose object holds more than the program writes
    // (what other programs put in it), by key; one statement however many keys.
    QHash<QString, QByteArray> objectsWithKeys(const QStringList &keys);
    void storeObject(const QString &key, const QByteArray &object);
    void forgetObject(const QString &key);
    QString token();
    void storeToken(const QString &token);

    // A transaction that holds the write lock from its start, so that what it reads stays
    // true until it commits (with QSqlDatabase::commit).
    void beginWriting();
    // The keys of list logged after the number `after`, and the last number.
    SyncLogged logged(const QString &list, qint64 after = 0);
    // Logs a key as a write does.
    void log(const QString &list, const QString &key);
    // Clears the log of list up to and including the number upTo.
    void clearLog(const QString &list, qint64 upTo);
    // Whether this collection was the last to follow the log of list, and makes it so.
    bool followsLog(const QString &list);
    void followLog(const QString &list);

private:
    QSqlQuery run(const QString &statement, const QVariantList &values);
    QList<SyncStateRow> readRows(QSqlQuery query);
    QList<SyncStateRow> rowsWhere(const QString &column, const QStringList &values);

    QSqlDatabase m_db;
    QString m_collection;
};
