#include "sync/ICalendarFile.h"

#include "common/pU_Funcs.h"
#include "common/SafeFile.h"
#include "common/Texts.h"
#include "storage/Statements.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlError>

namespace ICalendarFile {

namespace {

// A calendar larger than this is not read: libical holds the whole of it in memory.
constexpr qint64 kMaxFileSize = qint64(512) << 20;

template <class Info>
void appendNode(QList<Info> &list, const ItemNode *node, QSet<const ItemNode *> &seen)
{
    if (seen.contains(node))
        return;
    seen.insert(node);
    list.append(*node->template as<Info>());
    for (const auto &child : node->children) {
        if (!seen.contains(child.get())) {
            seen.insert(child.get());
            list.append(*child->template as<Info>());
        }
    }
}

template <class Info> QList<Info> flatten(const QList<ItemNode *> &nodes)
{
    QList<Info> list;
    QSet<const ItemNode *> seen;
    // A selected child whose parent is selected too comes with its parent.
    for (const ItemNode *node : nodes)
        if (node->level() == 1 && nodes.contains(node->parent))
            seen.insert(node);
    for (const ItemNode *node : nodes)
        appendNode(list, node, seen);
    return list;
}

template <class Info> QList<Info> flatten(const ItemForest &forest)
{
    QList<Info> list;
    for (const auto &top : forest) {
        list.append(*top->template as<Info>());
        for (const auto &child : top->children)
            list.append(*child->template as<Info>());
    }
    return list;
}

bool write(const QString &fileName, const QByteArray &bytes)
{
    SafeFile::RefuseProgramFile(fileName);
    return SafeFile::Write(fileName, bytes);
}

// New keys for a list read from a file, with every child's parent key following its parent.
template <class Info> void giveNewKeys(QList<Info> &items)
{
    QHash<QString, QString> renamed;
    for (Info &item : items) {
        const QString fresh = NewRowKey();
        renamed.insert(item.key, fresh);
        item.key = fresh;
    }
    for (Info &item : items)
        if (item.pid != Texts::RootKey)
            item.pid = renamed.value(item.pid, Texts::RootKey);
}

} // namespace

bool IsICalendarName(const QString &fileName)
{
    return QFileInfo(fileName).suffix().compare(QLatin1String("ics"), Qt::CaseInsensitive) == 0;
}

bool WriteDatabase(QSqlDatabase db, const QString &fileName, int *leftOut)
{
    SafeFile::RefuseProgramFile(fileName);
    TaskStatements tasks(db);
    MemoStatements memos(db);
    LoadStats taskStats, memoStats;
    const QByteArray bytes =
        ICalendarMapping::ToICalendar(flatten<TTaskInfo>(tasks.loadForest(&taskStats)),
                                      flatten<TMemoInfo>(memos.loadForest(&memoStats)));
    if (leftOut)
        *leftOut = taskStats.dropped + memoStats.dropped;
    return write(fileName, bytes);
}

bool WriteNodes(const QString &fileName, const QList<ItemNode *> &tasks,
                const QList<ItemNode *> &memos)
{
    return write(fileName, ICalendarMapping::ToICalendar(flatten<TTaskInfo>(tasks),
                                                         flatten<TMemoInfo>(memos)));
}

bool Read(const QString &fileName, ICalendarMapping::Calendar *calendar, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot be read: %1").arg(file.errorString());
        return false;
    }
    if (file.size() > kMaxFileSize) {
        *error = QStringLiteral("is too large to be read as a calendar");
        return false;
    }
    const QByteArray text = file.readAll();
    if (text.contains('\0')) {
        *error = QStringLiteral("holds no calendar: it is not a text file");
        return false;
    }
    return ICalendarMapping::FromICalendar(text, calendar, error);
}

int Store(QSqlDatabase db, ICalendarMapping::Calendar calendar)
{
    giveNewKeys(calendar.tasks);
    giveNewKeys(calendar.memos);
    TaskStatements tasks(db);
    MemoStatements memos(db);
    if (!db.transaction())
        throw TasklumeError(db.lastError().text());
    try {
        for (const TTaskInfo &task : std::as_const(calendar.tasks))
            tasks.insertFull(task);
        for (const TMemoInfo &memo : std::as_const(calendar.memos))
            memos.insertFull(memo);
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit()) {
        const QString why = db.lastError().text();
        db.rollback();
        throw TasklumeError(why);
    }
    return int(calendar.tasks.size() + calendar.memos.size());
}

} // namespace ICalendarFile
