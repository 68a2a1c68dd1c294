#include "Statements.h"

#include "BackgroundWrites.h"
#include "common/EngineError.h"
#include "common/Texts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>

#include <optional>

#include <sqlite3.h>

#include <unordered_map>

namespace {

// How long a statement waits for another program's lock before it fails: 3 s. Tests that
// hold the lock on purpose shorten it with TASKLUME_BUSY_TIMEOUT_MS (milliseconds); the
// program never sets it.
QString busyTimeoutPragma()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("TASKLUME_BUSY_TIMEOUT_MS", &ok);
    return QStringLiteral("PRAGMA busy_timeout=%1").arg(ok && ms >= 0 ? ms : 3000);
}

} // namespace

QStringList Statements::connectionSetup()
{
    return {
        busyTimeoutPragma(),
        QStringLiteral("PRAGMA journal_mode=WAL"),
        QStringLiteral("PRAGMA synchronous=FULL"),
    };
}

QStringList Statements::schema()
{
    return {
        QStringLiteral("create table if not exists tasks ("
                       "tid varchar(38) not null primary key, "
                       "pid varchar(38), "
                       "content text collate nocase, "
                       "checkFlag boolean not null default False, "
                       "dueFlag boolean not null default False, "
                       "alarmFlag boolean not null default False, "
                       "expandFlag boolean not null default False, "
                       "textColor integer default 0, "
                       "backgroundColor integer default 0, "
                       "createTime double, "
                       "editTime double, "
                       "checkTime double, "
                       "alarmTime double, "
                       "dueTime double)"),
        QStringLiteral("create index if not exists tasks_pid on tasks (pid)"),
        QStringLiteral("create index if not exists tasks_incomplete on tasks (checkFlag, content)"),
        QStringLiteral("create table if not exists memos ("
                       "mid varchar(38) not null primary key, "
                       "pid varchar(38), "
                       "content text collate nocase, "
                       "expandFlag boolean not null default False, "
                       "assignTime double, "
                       "createTime double, "
                       "editTime double)"),
        QStringLiteral("create index if not exists memos_pid on memos (pid)"),
    };
}

QStringList Statements::existingSetup()
{
    return {
        busyTimeoutPragma(),
        QStringLiteral("select count(*) as cnt from sqlite_master"),
    };
}

QStringList Statements::requiredColumns(const QString &table)
{
    if (table == QLatin1String("tasks"))
        return {QStringLiteral("tid"),       QStringLiteral("pid"),
                QStringLiteral("content"),   QStringLiteral("checkFlag"),
                QStringLiteral("dueFlag"),   QStringLiteral("alarmFlag"),
                QStringLiteral("expandFlag"), QStringLiteral("textColor"),
                QStringLiteral("backgroundColor"), QStringLiteral("createTime"),
                QStringLiteral("editTime"),  QStringLiteral("checkTime"),
                QStringLiteral("alarmTime"), QStringLiteral("dueTime")};
    if (table == QLatin1String("memos"))
        return {QStringLiteral("mid"),        QStringLiteral("pid"),
                QStringLiteral("content"),    QStringLiteral("expandFlag"),
                QStringLiteral("assignTime"), QStringLiteral("createTime"),
                QStringLiteral("editTime")};
    return {};
}

namespace {
// The end of a read: a row the engine could not give (a damaged page) is an error, never the
// quiet end of the rows.
void endRead(QSqlQuery &query)
{
    if (query.lastError().isValid())
        throw EngineFailure(query);
    query.finish();
}
} // namespace

QStringList Statements::integrityProblems(QSqlDatabase db)
{
    QSqlQuery query(db);
    OpenSql(query, QStringLiteral("PRAGMA integrity_check"));
    QStringList problems;
    while (query.next()) {
        const QString line = query.value(0).toString();
        if (line != QLatin1String("ok"))
            problems.append(line);
    }
    endRead(query);
    return problems;
}

namespace {
// A date-time the program's own inserts leave out when it has none (a pasted memo's
// assignTime): the column keeps no value.
QVariant timeValue(TDateTime t)
{
    return t == 0 ? QVariant() : QVariant(t);
}
// A date-time a statement assigns: zero is stored as the zero date-time (1899-12-30
// 00:00), as a dismissed reminder or a restored row carries it, not as no value.
QVariant assignedTime(TDateTime t)
{
    return QVariant(double(t));
}
QString boolLiteral(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}
} // namespace

// ---- shared -----------------------------------------------------------------------------

ItemStatements::ItemStatements(QSqlDatabase db, QString table, const char *keyColumn)
    : m_db(std::move(db)), m_table(std::move(table)), m_keyColumn(keyColumn)
{
}

QSqlQuery &ItemStatements::prepared(const QString &statement)
{
    auto it = m_prepared.find(statement);
    if (it == m_prepared.end()) {
        QSqlQuery query(m_db);
        query.setForwardOnly(true);
        if (!query.prepare(statement))
            throw EngineFailure(query);
        it = m_prepared.insert(statement, query);
    }
    it->finish();
    return *it;
}

void ItemStatements::exec(const QString &statement, const QVariantList &values)
{
    QSqlQuery &query = prepared(statement);
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values.at(i));
    if (!query.exec())
        throw EngineFailure(query);
    query.finish();
}

QSqlQuery &ItemStatements::open(const QString &statement, const QVariantList &values)
{
    QSqlQuery &query = prepared(statement);
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values.at(i));
    if (!query.exec())
        throw EngineFailure(query);
    m_columnsOf = nullptr;
    return query;
}

QVariant ItemStatements::value(const QSqlQuery &query, const char *name)
{
    if (m_columnsOf != &query) {
        m_columns.clear();
        m_columnsOf = &query;
    }
    for (const auto &[known, index] : m_columns) {
        if (known == name)
            return index < 0 ? QVariant() : query.value(index);
    }
    const int index = query.record().indexOf(QString::fromLatin1(name));
    m_columns.emplace_back(name, index);
    return index < 0 ? QVariant() : query.value(index);
}

namespace {
QString textOf(const RowScan &row, const char *name)
{
    const QByteArrayView text = row.text(row.column(name));
    return text.isNull() ? QString() : QString::fromUtf8(text);
}
} // namespace

void ItemStatements::readShared(const RowScan &row, ItemInfo &info, bool withExpand)
{
    info.key = RowKey::fromUtf8(row.text(row.column(m_keyColumn)));
    info.content = textOf(row, "content");
    info.expandFlag = withExpand && row.flag(row.column("expandFlag"));
    info.createTime = row.real(row.column("createTime"));
    info.editTime = row.real(row.column("editTime"));
}

int ItemStatements::countRows()
{
    QSqlQuery &query = open(QStringLiteral("select count(*) as cnt from ") + m_table, {});
    const int count = query.next() ? value(query, "cnt").toInt() : 0;
    endRead(query);
    return count;
}

bool ItemStatements::keyIsUnique()
{
    if (!m_keyIsUnique) {
        QSqlQuery &query =
            open(QStringLiteral("select count(*) as cnt from pragma_index_list('%1') as list "
                                "where list.\"unique\" "
                                "and (select count(*) from pragma_index_info(list.name)) = 1 "
                                "and (select name from pragma_index_info(list.name)) = '%2'")
                     .arg(m_table, keyColumn()),
                 {});
        m_keyIsUnique = query.next() && value(query, "cnt").toInt() > 0;
        endRead(query);
    }
    return *m_keyIsUnique;
}

ItemForest ItemStatements::loadForest(LoadStats *stats)
{
    // One pass over the table in stored order gives the same order as reading the
    // top-level rows and then each one's children, without a query per parent. The rows are
    // read as the engine holds them: no converted copy of every value on the way.
    RowScan row(m_db, m_table);
    const int pidColumn = row.column("pid");
    const QByteArray root = Texts::RootKey.toUtf8();
    ItemForest forest;
    std::vector<std::unique_ptr<ItemInfo>> others;
    int rows = 0;
    while (row.next()) {
        ++rows;
        const QByteArrayView pid = row.text(pidColumn);
        const bool topLevel = pid == root;
        std::unique_ptr<ItemInfo> info = readRow(row, topLevel);
        if (topLevel) {
            info->pid = Texts::RootKey; // one shared text instead of one per row
            auto node = std::make_unique<ItemNode>(std::move(info));
            node->expanded = node->info->expandFlag;
            forest.push_back(std::move(node));
        } else {
            info->pid = RowKey::fromUtf8(pid);
            others.push_back(std::move(info));
        }
    }
    // The top-level rows by key, in an open-addressed table holding each key's hash, so that
    // finding a parent rarely compares keys. The first of equal keys wins.
    struct Slot
    {
        size_t hash = 0;
        ItemNode *node = nullptr;
    };
    size_t capacity = 16;
    while (capacity < forest.size() * 2)
        capacity *= 2;
    std::vector<Slot> table(capacity);
    const size_t mask = capacity - 1;
    auto findSlot = [&](const RowKey &key, size_t hash) -> Slot & {
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot &slot = table[i];
            if (slot.node == nullptr || (slot.hash == hash && slot.node->info->key == key))
                return slot;
        }
    };
    for (const auto &top : forest) {
        const size_t hash = top->info->key.hash();
        Slot &slot = findSlot(top->info->key, hash);
        if (slot.node == nullptr)
            slot = {hash, top.get()};
    }
    int dropped = 0;
    for (auto &info : others) {
        ItemNode *parent = findSlot(info->pid, info->pid.hash()).node;
        if (parent == nullptr) {
            ++dropped;
            continue;
        }
        info->pid = parent->info->key;
        auto child = std::make_unique<ItemNode>(std::move(info));
        child->parent = parent;
        parent->children.push_back(std::move(child));
    }
    if (stats) {
        stats->rows = rows;
        stats->dropped = dropped;
    }
    return forest;
}

void ItemStatements::deleteItem(const QString &key)
{
    // Both statements or neither: a row whose parent went without it would never show
    // again. Inside a transaction of the caller, the caller commits.
    const bool own = m_db.transaction();
    try {
        exec(QStringLiteral("delete from ") + m_table + QStringLiteral(" where ") + keyColumn() +
                 QStringLiteral("=?"),
             {key});
        // The children only: a reserved key (a row from a foreign file) names no children,
        // and "root" would name the whole top level.
        exec(QStringLiteral("delete from ") + m_table +
                 QStringLiteral(" where pid=? and ? not in (?, '')"),
             {key, key, Texts::RootKey});
        if (own && !m_db.commit())
            throw TasklumeError(EngineErrorText(m_db.driver(), m_db.lastError()));
    } catch (...) {
        if (own)
            m_db.rollback();
        throw;
    }
}

void ItemStatements::updateExpand(const QString &key, bool expanded)
{
    // Behind writes still being stored, rather than waiting for them here.
    if (BackgroundWrites::pending() &&
        BackgroundWrites::post(m_db,
                               QStringLiteral("update ") + m_table + QStringLiteral(" set expandFlag=") +
                                   boolLiteral(expanded) + QStringLiteral(" where ") + keyColumn() +
                                   QStringLiteral("=?1"),
                               key))
        return;
    exec(QStringLiteral("update ") + m_table + QStringLiteral(" set expandFlag=") +
             boolLiteral(expanded) + QStringLiteral(" where ") + keyColumn() + QStringLiteral("=?"),
         {key});
}

QString ItemStatements::expandTopLevelStatement(bool expanded) const
{
    const QString unlike = QStringLiteral("(expandFlag is null or expandFlag<>") +
                           boolLiteral(expanded) + QStringLiteral(")");
    // Only a row with children is opened or closed: a row without any keeps what it holds.
    // The parents are found from the children's parent keys, so only their rows are read,
    // and they are written in the table's order.
    return QStringLiteral("update ") + m_table + QStringLiteral(" set expandFlag=") +
           boolLiteral(expanded) + QStringLiteral(" where rowid in (select rowid from ") +
           m_table + QStringLiteral(" where ") + keyColumn() +
           QStringLiteral(" in (select pid from ") + m_table +
           QStringLiteral(") and +pid=? and ") + unlike + QStringLiteral(")");
}

void ItemStatements::updateExpandTopLevel(bool expanded)
{
    exec(expandTopLevelStatement(expanded), {Texts::RootKey});
}

void ItemStatements::updateExpandTopLevelInBackground(bool expanded)
{
    if (!BackgroundWrites::post(m_db, expandTopLevelStatement(expanded), Texts::RootKey))
        updateExpandTopLevel(expanded);
}

namespace {
// Keys given to a statement as one JSON array, read with json_each: one statement for any
// number of rows. The statement is not kept prepared: a kept one would hold on to its last
// array. Written directly (a key needs escaping only for quotes, backslashes and control
// characters), which costs a fraction of building a document first.
QString keyArray(const QStringList &keys)
{
    qsizetype size = 2;
    for (const QString &key : keys)
        size += key.size() + 3;
    QString array;
    array.reserve(size);
    array += QLatin1Char('[');
    for (const QString &key : keys) {
        if (array.size() > 1)
            array += QLatin1Char(',');
        array += QLatin1Char('"');
        for (const QChar c : key) {
            if (c == QLatin1Char('"') || c == QLatin1Char('\\')) {
                array += QLatin1Char('\\');
                array += c;
            } else if (c.unicode() < 0x20) {
                array += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            } else {
                array += c;
            }
        }
        array += QLatin1Char('"');
    }
    array += QLatin1Char(']');
    return array;
}

// A text as an SQL literal.
QString textLiteral(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// From this many rows on, a statement over a key array is stored on the background
// writer's thread (see BackgroundWrites) when the connection is not inside a transaction.
constexpr qsizetype kBackgroundRows = 2000;

QString expandKeysStatement(const QString &table, const QString &keyColumn, bool expanded)
{
    return QStringLiteral("update ") + table + QStringLiteral(" set expandFlag=") +
           boolLiteral(expanded) + QStringLiteral(" where ") + keyColumn +
           QStringLiteral(" in (select value from json_each(?))");
}
} // namespace

bool ItemStatements::execOverKeys(const QString &statement, const QStringList &keys)
{
    // One statement: all of its rows are written, or none.
    const QString array = keyArray(keys);
    if (keys.size() >= kBackgroundRows && BackgroundWrites::post(m_db, statement, array))
        return true;
    QSqlQuery query(m_db);
    if (!query.prepare(statement))
        throw EngineFailure(query);
    query.addBindValue(array);
    if (!query.exec())
        throw EngineFailure(query);
    return false;
}

bool ItemStatements::deleteItems(const QStringList &keys)
{
    if (keys.isEmpty())
        return false;
    // The rows and their children; a reserved key ("root", empty) names no children.
    return execOverKeys(QStringLiteral("with named(k) as (select value from json_each(?1)) "
                                       "delete from ") +
                            m_table + QStringLiteral(" where ") + keyColumn() +
                            QStringLiteral(" in (select k from named) or pid in (select k from "
                                           "named where k not in (") +
                            textLiteral(Texts::RootKey) + QStringLiteral(", ''))"),
                 keys);
}

bool ItemStatements::updateParents(const QStringList &keys, const QString &parent)
{
    if (keys.isEmpty())
        return false;
    return execOverKeys(QStringLiteral("update ") + m_table + QStringLiteral(" set pid=") +
                     textLiteral(parent) + QStringLiteral(" where ") + keyColumn() +
                     QStringLiteral(" in (select value from json_each(?1))"),
                 keys);
}

void ItemStatements::updateExpandKeys(const QStringList &keys, bool expanded)
{
    // The keys go as one array, however many there are. The statement is not kept
    // prepared: a kept one would hold on to its last array.
    QSqlQuery query(m_db);
    if (!query.prepare(expandKeysStatement(m_table, keyColumn(), expanded)))
        throw EngineFailure(query);
    query.addBindValue(keyArray(keys));
    if (!query.exec())
        throw EngineFailure(query);
}

void ItemStatements::updateExpandKeysInBackground(const QStringList &keys, bool expanded)
{
    if (!BackgroundWrites::post(m_db, expandKeysStatement(m_table, keyColumn(), expanded),
                                keyArray(keys)))
        updateExpandKeys(keys, expanded);
}

void ItemStatements::updateParent(const QString &key, const QString &parent)
{
    exec(QStringLiteral("update ") + m_table + QStringLiteral(" set pid=? where ") + keyColumn() +
             QStringLiteral("=?"),
         {parent, key});
}

void ItemStatements::updateContent(const QString &key, const QString &content, TDateTime editTime)
{
    exec(QStringLiteral("update ") + m_table + QStringLiteral(" set content=?, editTime=? where ") +
             keyColumn() + QStringLiteral("=?"),
         {content, assignedTime(editTime), key});
}

QSqlQuery &ItemStatements::selectAll()
{
    return open(QStringLiteral("select * from ") + m_table, {});
}

QSqlQuery &ItemStatements::selectByKey(const QString &key)
{
    return open(QStringLiteral("select * from ") + m_table + QStringLiteral(" where ") +
                    keyColumn() + QStringLiteral("=?"),
                {key});
}

QSqlQuery &ItemStatements::selectByParent(const QString &parent)
{
    return open(QStringLiteral("select * from ") + m_table + QStringLiteral(" where pid=?"),
                {parent});
}

namespace {
QString jsonArray(const QStringList &texts)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(texts)).toJson(QJsonDocument::Compact));
}
} // namespace

std::vector<std::unique_ptr<ItemInfo>> ItemStatements::loadByKeys(const QStringList &keys)
{
    std::vector<std::unique_ptr<ItemInfo>> items;
    if (keys.isEmpty())
        return items;
    // The keys go as one array; each is found through the key's index.
    RowScan row(m_db, m_table, keyColumn() + QStringLiteral(" in (select value from json_each(?))"),
                jsonArray(keys));
    const int pidColumn = row.column("pid");
    const QByteArray root = Texts::RootKey.toUtf8();
    while (row.next()) {
        const QByteArrayView pid = row.text(pidColumn);
        const bool topLevel = pid == root;
        std::unique_ptr<ItemInfo> info = readRow(row, topLevel);
        info->pid = topLevel ? RowKey(Texts::RootKey) : RowKey::fromUtf8(pid);
        items.push_back(std::move(info));
    }
    return items;
}

QStringList ItemStatements::columnNames()
{
    QSqlQuery &query = open(QStringLiteral("PRAGMA table_info(") + m_table + QLatin1Char(')'), {});
    QStringList names;
    while (query.next())
        names.append(value(query, "name").toString());
    endRead(query);
    return names;
}

int ItemStatements::countTopLevel()
{
    QSqlQuery &query = open(
        QStringLiteral("select count(*) as cnt from ") + m_table + QStringLiteral(" where pid=?"),
        {Texts::RootKey});
    const int count = query.next() ? value(query, "cnt").toInt() : 0;
    endRead(query);
    return count;
}

namespace {
QStringList firstColumn(QSqlQuery &query)
{
    QStringList values;
    while (query.next())
        values.append(query.value(0).toString());
    endRead(query);
    return values;
}
} // namespace

QStringList ItemStatements::orphanKeys()
{
    const QString key = keyColumn();
    return firstColumn(open(QStringLiteral("select t.") + key + QStringLiteral(" from ") + m_table +
                                QStringLiteral(" t where t.pid is null or (t.pid<>? and not "
                                               "exists (select 1 from ") +
                                m_table + QStringLiteral(" p where p.") + key +
                                QStringLiteral("=t.pid))"),
                            {Texts::RootKey}));
}

QStringList ItemStatements::reservedKeys()
{
    const QString key = keyColumn();
    return firstColumn(open(QStringLiteral("select ifnull(") + key + QStringLiteral(", '') from ") +
                                m_table + QStringLiteral(" where ifnull(") + key +
                                QStringLiteral(", '') in (?, '')"),
                            {Texts::RootKey}));
}

QStringList ItemStatements::thirdLevelKeys()
{
    const QString key = keyColumn();
    return firstColumn(open(QStringLiteral("select t.") + key + QStringLiteral(" from ") + m_table +
                                QStringLiteral(" t join ") + m_table + QStringLiteral(" p on p.") +
                                key +
                                QStringLiteral("=t.pid where t.pid<>? and (p.pid is null or "
                                               "p.pid<>?)"),
                            {Texts::RootKey, Texts::RootKey}));
}

// ---- tasks ------------------------------------------------------------------------------

TaskStatements::TaskStatements(QSqlDatabase db)
    : ItemStatements(std::move(db), QStringLiteral("tasks"), "tid")
{
}

std::unique_ptr<ItemInfo> TaskStatements::readRow(const RowScan &row, bool withExpand)
{
    auto task = std::make_unique<TTaskInfo>();
    readShared(row, *task, withExpand);
    task->checkFlag = row.flag(row.column("checkFlag"));
    task->dueFlag = row.flag(row.column("dueFlag"));
    task->alarmFlag = row.flag(row.column("alarmFlag"));
    task->textColor = qint32(row.integer(row.column("textColor")));
    task->backgroundColor = qint32(row.integer(row.column("backgroundColor")));
    task->checkTime = row.real(row.column("checkTime"));
    task->alarmTime = row.real(row.column("alarmTime"));
    task->dueTime = row.real(row.column("dueTime"));
    return task;
}

void TaskStatements::insertNew(TTaskInfo &task)
{
    if (task.key.isEmpty())
        task.key = NewRowKey();
    exec(QStringLiteral("insert into tasks (tid, pid, checkFlag, alarmFlag, dueFlag, textColor, "
                        "backgroundColor, createTime, content, editTime) "
                        "values (?, ?, False, False, False, 0, 0, ?, ?, ?)"),
         {task.key.toString(), task.pid.toString(), timeValue(task.createTime), task.content,
          timeValue(task.editTime)});
}

void TaskStatements::insertPasted(TTaskInfo &task)
{
    if (task.key.isEmpty())
        task.key = NewRowKey();
    task.pid = Texts::RootKey;
    exec(QStringLiteral("insert into tasks (tid, pid, content, checkFlag, textColor, "
                        "backgroundColor, alarmFlag, dueFlag, createTime, editTime) "
                        "values (?, ?, ?, False, 0, 0, False, False, ?, ?)"),
         {task.key.toString(), task.pid.toString(), task.content, timeValue(task.createTime),
          timeValue(task.editTime)});
}

void TaskStatements::updateCheck(const QString &key, bool checked, TDateTime checkTime)
{
    exec(QStringLiteral("update tasks set checkFlag=?, checkTime=? where tid=?"),
         {checked, assignedTime(checkTime), key});
}

bool TaskStatements::updateChecks(const QStringList &keys, bool checked, TDateTime checkTime)
{
    if (keys.isEmpty())
        return false;
    return execOverKeys(QStringLiteral("update tasks set checkFlag=") + boolLiteral(checked) +
                     QStringLiteral(", checkTime=") + QString::number(double(checkTime), 'g', 17) +
                     QStringLiteral(" where tid in (select value from json_each(?1))"),
                 keys);
}

void TaskStatements::updateDue(const QString &key, bool dueFlag, TDateTime dueTime)
{
    exec(QStringLiteral("update tasks set dueFlag=?, dueTime=? where tid=?"),
         {dueFlag, assignedTime(dueTime), key});
}

void TaskStatements::updateAlarm(const QString &key, bool alarmFlag, TDateTime alarmTime)
{
    exec(QStringLiteral("update tasks set alarmFlag=?, alarmTime=? where tid=?"),
         {alarmFlag, assignedTime(alarmTime), key});
}

void TaskStatements::updateColors(const QString &key, qint32 textColor, qint32 backgroundColor)
{
    exec(QStringLiteral("update tasks set textColor=?, backgroundColor=? where tid=?"),
         {textColor, backgroundColor, key});
}

QStringList TaskStatements::incompleteContents(int limit)
{
    QSqlQuery &query = open(
        QStringLiteral("select content from tasks where checkFlag=False order by content ASC"), {});
    QStringList contents;
    // With the index on (checkFlag, content) the engine stops after the rows read.
    while ((limit < 0 || contents.size() < limit) && query.next())
        contents.append(query.value(0).toString());
    endRead(query);
    return contents;
}

namespace {
QVariantList fullTaskValues(const TTaskInfo &task, bool noTextColor, bool noBackgroundColor)
{
    return {task.pid.toString(),
            task.content,
            task.checkFlag,
            task.dueFlag,
            task.alarmFlag,
            noTextColor ? QVariant() : QVariant(task.textColor),
            noBackgroundColor ? QVariant() : QVariant(task.backgroundColor),
            assignedTime(task.createTime),
            assignedTime(task.editTime),
            assignedTime(task.checkTime),
            assignedTime(task.alarmTime),
            assignedTime(task.dueTime),
            task.key.toString()};
}
} // namespace

void TaskStatements::insertFull(const TTaskInfo &task, bool noTextColor, bool noBackgroundColor)
{
    exec(QStringLiteral("insert into tasks (pid, content, checkFlag, dueFlag, alarmFlag, "
                        "textColor, backgroundColor, createTime, editTime, checkTime, "
                        "alarmTime, dueTime, tid) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
         fullTaskValues(task, noTextColor, noBackgroundColor));
}

void TaskStatements::updateFull(const TTaskInfo &task, bool noTextColor, bool noBackgroundColor)
{
    exec(QStringLiteral("update tasks set pid=?, content=?, checkFlag=?, dueFlag=?, "
                        "alarmFlag=?, textColor=?, backgroundColor=?, createTime=?, editTime=?, "
                        "checkTime=?, alarmTime=?, dueTime=? where tid=?"),
         fullTaskValues(task, noTextColor, noBackgroundColor));
}

// ---- memos ------------------------------------------------------------------------------

MemoStatements::MemoStatements(QSqlDatabase db)
    : ItemStatements(std::move(db), QStringLiteral("memos"), "mid")
{
}

std::unique_ptr<ItemInfo> MemoStatements::readRow(const RowScan &row, bool)
{
    auto memo = std::make_unique<TMemoInfo>();
    readShared(row, *memo, true); // a child memo keeps its own flag too
    memo->assignTime = row.real(row.column("assignTime"));
    return memo;
}

void MemoStatements::insert(TMemoInfo &memo)
{
    if (memo.key.isEmpty())
        memo.key = NewRowKey();
    exec(QStringLiteral("insert into memos (mid, pid, createTime, assignTime, content, editTime) "
                        "values (?, ?, ?, ?, ?, ?)"),
         {memo.key.toString(), memo.pid.toString(), timeValue(memo.createTime),
          timeValue(memo.assignTime), memo.content, timeValue(memo.editTime)});
}

namespace {
QVariantList fullMemoValues(const TMemoInfo &memo)
{
    return {memo.pid.toString(),           memo.content,
            assignedTime(memo.assignTime), assignedTime(memo.createTime),
            assignedTime(memo.editTime),   memo.key.toString()};
}
} // namespace

void MemoStatements::insertFull(const TMemoInfo &memo)
{
    exec(QStringLiteral("insert into memos (pid, content, assignTime, createTime, editTime, mid) "
                        "values (?, ?, ?, ?, ?, ?)"),
         fullMemoValues(memo));
}

void MemoStatements::updateFull(const TMemoInfo &memo)
{
    exec(QStringLiteral("update memos set pid=?, content=?, assignTime=?, createTime=?, "
                        "editTime=? where mid=?"),
         fullMemoValues(memo));
}

// ---- the backup's bulk read -------------------------------------------------------------

// On the program's SQLite connection the rows come straight from the connection's own
// handle; on any other driver through an ordinary query.
struct RowScan::Engine
{
    sqlite3_stmt *statement = nullptr;
    sqlite3 *handle = nullptr;
    std::optional<QSqlQuery> query;
    std::vector<QVariant> values;
    std::vector<QByteArray> texts;
    mutable std::vector<std::pair<const char *, int>> named; // column() answers so far
    mutable size_t nextNamed = 0; // where the next question is likely answered
};

RowScan::RowScan(QSqlDatabase db, const QString &table) : RowScan(db, table, {}) {}

RowScan::RowScan(QSqlDatabase db, const QString &table, const QList<QByteArray> &columns)
    : m_engine(std::make_unique<Engine>())
{
    QByteArray statement = "select ";
    for (qsizetype i = 0; i < columns.size(); ++i)
        statement += (i ? ", " : "") + columns.at(i);
    if (columns.isEmpty())
        statement += '*';
    statement += " from " + table.toUtf8();
    prepare(db, statement, nullptr);
}

RowScan::RowScan(QSqlDatabase db, const QString &table, const QString &condition,
                 const QString &value)
    : m_engine(std::make_unique<Engine>())
{
    prepare(db, "select * from " + table.toUtf8() + " where " + condition.toUtf8(), &value);
}

void RowScan::prepare(QSqlDatabase db, const QByteArray &statement, const QString *value)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        m_engine->handle = *static_cast<sqlite3 *const *>(handle.constData());
    if (m_engine->handle) {
        if (sqlite3_prepare_v2(m_engine->handle, statement.constData(), int(statement.size()),
                               &m_engine->statement, nullptr) != SQLITE_OK)
            throw TasklumeError(EngineHandleErrorText(m_engine->handle));
        if (value) {
            const QByteArray text = value->toUtf8();
            if (sqlite3_bind_text(m_engine->statement, 1, text.constData(), int(text.size()),
                                  SQLITE_TRANSIENT) != SQLITE_OK)
                throw TasklumeError(EngineHandleErrorText(m_engine->handle));
        }
        return;
    }
    m_engine->query.emplace(db);
    m_engine->query->setForwardOnly(true);
    if (!m_engine->query->prepare(QString::fromUtf8(statement)))
        throw TasklumeError(m_engine->query->lastError().text());
    if (value)
        m_engine->query->addBindValue(*value);
    if (!m_engine->query->exec())
        throw TasklumeError(m_engine->query->lastError().text());
    const int count = m_engine->query->record().count();
    m_engine->values.resize(size_t(count));
    m_engine->texts.resize(size_t(count));
}

int RowScan::column(const char *name) const
{
    // Each row asks for its columns in the same order: the search starts after the last
    // answer.
    const auto &named = m_engine->named;
    for (size_t i = 0; i < named.size(); ++i) {
        const size_t at = (m_engine->nextNamed + i) % named.size();
        if (named[at].first == name) {
            m_engine->nextNamed = at + 1;
            return named[at].second;
        }
    }
    int index = -1;
    if (m_engine->statement) {
        const int count = sqlite3_column_count(m_engine->statement);
        for (int i = 0; i < count && index < 0; ++i) {
            if (qstricmp(sqlite3_column_name(m_engine->statement, i), name) == 0)
                index = i;
        }
    } else {
        index = m_engine->query->record().indexOf(QString::fromLatin1(name));
    }
    m_engine->named.emplace_back(name, index);
    m_engine->nextNamed = named.size();
    return index;
}

RowScan::~RowScan()
{
    if (m_engine->statement)
        sqlite3_finalize(m_engine->statement);
}

bool RowScan::next()
{
    if (m_engine->statement) {
        const int result = sqlite3_step(m_engine->statement);
        if (result == SQLITE_ROW)
            return true;
        if (result != SQLITE_DONE)
            throw TasklumeError(EngineHandleErrorText(m_engine->handle));
        return false;
    }
    if (!m_engine->query->next()) {
        if (m_engine->query->lastError().isValid())
            throw TasklumeError(m_engine->query->lastError().text());
        return false;
    }
    for (size_t i = 0; i < m_engine->values.size(); ++i) {
        m_engine->values[i] = m_engine->query->value(int(i));
        m_engine->texts[i] = m_engine->values[i].toString().toUtf8();
    }
    return true;
}

bool RowScan::isNull(int column) const
{
    if (column < 0)
        return true;
    if (m_engine->statement)
        return sqlite3_column_type(m_engine->statement, column) == SQLITE_NULL;
    return m_engine->values[size_t(column)].isNull();
}

QByteArrayView RowScan::text(int column) const
{
    if (column < 0)
        return {};
    if (m_engine->statement) {
        const auto *text = sqlite3_column_text(m_engine->statement, column);
        const int size = sqlite3_column_bytes(m_engine->statement, column);
        return text ? QByteArrayView(reinterpret_cast<const char *>(text), size) : QByteArrayView();
    }
    return m_engine->texts[size_t(column)];
}

qint64 RowScan::integer(int column) const
{
    if (column < 0)
        return 0;
    if (m_engine->statement)
        return sqlite3_column_int64(m_engine->statement, column);
    return m_engine->values[size_t(column)].toLongLong();
}

double RowScan::real(int column) const
{
    if (column < 0)
        return 0;
    if (m_engine->statement)
        return sqlite3_column_double(m_engine->statement, column);
    return m_engine->values[size_t(column)].toDouble();
}

bool RowScan::flag(int column) const
{
    if (column < 0)
        return false;
    if (!m_engine->statement)
        return m_engine->values[size_t(column)].toBool();
    switch (sqlite3_column_type(m_engine->statement, column)) {
    case SQLITE_NULL:
        return false;
    case SQLITE_INTEGER:
        return sqlite3_column_int64(m_engine->statement, column) != 0;
    case SQLITE_FLOAT:
        return sqlite3_column_double(m_engine->statement, column) != 0;
    default: {
        const QByteArrayView value = text(column);
        return !(value.isEmpty() || value == "0" ||
                 value.compare("false", Qt::CaseInsensitive) == 0);
    }
    }
}

SyncStateStatements::SyncStateStatements(QSqlDatabase db, QString collection)
    : m_db(std::move(db)), m_collection(std::move(collection))
{}

QSqlQuery SyncStateStatements::run(const QString &statement, const QVariantList &values)
{
    QSqlQuery query(m_db);
    OpenSql(query, statement, values);
    return query;
}

void SyncStateStatements::createTables()
{
    run(QStringLiteral("create table if not exists syncitems (collection text not null, "
                       "itemkey text not null, href text not null, etag text not null, "
                       "fingerprint blob, primary key (collection, itemkey))"),
        {});
    run(QStringLiteral("create index if not exists syncitems_href on syncitems (collection, href)"),
        {});
    run(QStringLiteral("create table if not exists synctokens (collection text primary key, "
                       "token text not null)"),
        {});
    run(QStringLiteral("create table if not exists syncobjects (collection text not null, "
                       "itemkey text not null, object blob not null, "
                       "primary key (collection, itemkey))"),
        {});
    // The log: one row per written key, renumbered by each write. The numbers only grow, so
    // a run clears what it handled and leaves what was written meanwhile.
    run(QStringLiteral("create table if not exists syncchanges (seq integer primary key "
                       "autoincrement, list text not null, itemkey text not null)"),
        {});
    run(QStringLiteral("create index if not exists syncchanges_key on syncchanges (list, itemkey)"),
        {});
    run(QStringLiteral("create table if not exists synclogs (list text primary key, "
                       "collection text not null)"),
        {});
    // No conflict can arise inside the triggers, so they never refuse a write of the program
    // or of another writer, whatever conflict rule its statement names.
    const std::pair<const char *, const char *> tables[] = {{"tasks", "tid"}, {"memos", "mid"}};
    for (const auto &[table, key] : tables) {
        const QString logKey = QStringLiteral("delete from syncchanges where list='%1' and "
                                              "itemkey=ifnull(%2.%3, ''); "
                                              "insert into syncchanges (list, itemkey) "
                                              "values ('%1', ifnull(%2.%3, '')); ");
        const QString t = QString::fromLatin1(table);
        const QString k = QString::fromLatin1(key);
        run(QStringLiteral("create trigger if not exists %1_sync_insert after insert on %1 "
                           "begin %2end")
                .arg(t, logKey.arg(t, QStringLiteral("new"), k)),
            {});
        run(QStringLiteral("create trigger if not exists %1_sync_delete after delete on %1 "
                           "begin %2end")
                .arg(t, logKey.arg(t, QStringLiteral("old"), k)),
            {});
        run(QStringLiteral("create trigger if not exists %1_sync_update after update on %1 "
                           "begin %2end")
                .arg(t, logKey.arg(t, QStringLiteral("new"), k)),
            {});
        // A change of the key itself logs the old key too: it is gone under that name.
        run(QStringLiteral("create trigger if not exists %1_sync_rekey after update of %2 on %1 "
                           "when old.%2 is not new.%2 begin %3end")
                .arg(t, k, logKey.arg(t, QStringLiteral("old"), k)),
            {});
    }
}

QList<SyncStateRow> SyncStateStatements::readRows(QSqlQuery query)
{
    QList<SyncStateRow> result;
    while (query.next())
        result.append({query.value(0).toString(), query.value(1).toString(),
                       query.value(2).toString(), query.value(3).toByteArray()});
    endRead(query);
    return result;
}

QList<SyncStateRow> SyncStateStatements::rows()
{
    return readRows(run(QStringLiteral("select itemkey, href, etag, fingerprint from "
                                       "syncitems where collection = ?"),
                        {m_collection}));
}

QList<SyncStateRow> SyncStateStatements::rowsWhere(const QString &column, const QStringList &values)
{
    if (values.isEmpty())
        return {};
    return readRows(run(QStringLiteral("select itemkey, href, etag, fingerprint from "
                                       "syncitems where collection = ? and %1 in "
                                       "(select value from json_each(?))")
                            .arg(column),
                        {m_collection, jsonArray(values)}));
}

QList<SyncStateRow> SyncStateStatements::rowsWithKeys(const QStringList &keys)
{
    return rowsWhere(QStringLiteral("itemkey"), keys);
}

QList<SyncStateRow> SyncStateStatements::rowsWithHrefs(const QStringList &hrefs)
{
    return rowsWhere(QStringLiteral("href"), hrefs);
}

void SyncStateStatements::store(const SyncStateRow &row)
{
    run(QStringLiteral("insert or replace into syncitems (collection, itemkey, href, etag, "
                       "fingerprint) values (?, ?, ?, ?, ?)"),
        {m_collection, row.key, row.href, row.etag, row.fingerprint});
}

void SyncStateStatements::forget(const QString &key)
{
    run(QStringLiteral("delete from syncitems where collection = ? and itemkey = ?"),
        {m_collection, key});
    forgetObject(key);
}

QHash<QString, QByteArray> SyncStateStatements::objectsWithKeys(const QStringList &keys)
{
    QHash<QString, QByteArray> objects;
    if (keys.isEmpty())
        return objects;
    QSqlQuery query = run(QStringLiteral("select itemkey, object from syncobjects where "
                                         "collection = ? and itemkey in "
                                         "(select value from json_each(?))"),
                          {m_collection, jsonArray(keys)});
    while (query.next())
        objects.insert(query.value(0).toString(), query.value(1).toByteArray());
    return objects;
}

void SyncStateStatements::storeObject(const QString &key, const QByteArray &object)
{
    run(QStringLiteral("insert or replace into syncobjects (collection, itemkey, object) "
                       "values (?, ?, ?)"),
        {m_collection, key, object});
}

void SyncStateStatements::forgetObject(const QString &key)
{
    run(QStringLiteral("delete from syncobjects where collection = ? and itemkey = ?"),
        {m_collection, key});
}

QString SyncStateStatements::token()
{
    QSqlQuery query =
        run(QStringLiteral("select token from synctokens where collection = ?"), {m_collection});
    return query.next() ? query.value(0).toString() : QString();
}

void SyncStateStatements::storeToken(const QString &token)
{
    run(QStringLiteral("insert or replace into synctokens (collection, token) values (?, ?)"),
        {m_collection, token});
}

void SyncStateStatements::beginWriting()
{
    run(QStringLiteral("begin immediate"), {});
}

SyncLogged SyncStateStatements::logged(const QString &list, qint64 after)
{
    QSqlQuery query = run(QStringLiteral("select itemkey, seq from syncchanges where list = ? "
                                         "and seq > ? order by seq"),
                          {list, after});
    SyncLogged result;
    result.last = after;
    while (query.next()) {
        result.keys.append(query.value(0).toString());
        result.last = query.value(1).toLongLong();
    }
    endRead(query);
    return result;
}

void SyncStateStatements::log(const QString &list, const QString &key)
{
    run(QStringLiteral("delete from syncchanges where list = ? and itemkey = ?"), {list, key});
    run(QStringLiteral("insert into syncchanges (list, itemkey) values (?, ?)"), {list, key});
}

void SyncStateStatements::clearLog(const QString &list, qint64 upTo)
{
    run(QStringLiteral("delete from syncchanges where list = ? and seq <= ?"), {list, upTo});
}

bool SyncStateStatements::followsLog(const QString &list)
{
    QSqlQuery query = run(QStringLiteral("select collection from synclogs where list = ?"), {list});
    const bool follows = query.next() && query.value(0).toString() == m_collection;
    endRead(query);
    return follows;
}

void SyncStateStatements::followLog(const QString &list)
{
    run(QStringLiteral("insert or replace into synclogs (list, collection) values (?, ?)"),
        {list, m_collection});
}
