#include "sync/ICalendarFile.h"

#include "common/pU_Funcs.h"
#include "common/SafeFile.h"
#include "common/Texts.h"
#include "storage/Statements.h"
#include "sync/ICalendarReader.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QStringList>

#include <utility>

namespace ICalendarFile {

namespace {

template <class Info>
void appendNode(QList<const Info *> &list, const ItemNode *node, QSet<const ItemNode *> &seen)
{
    if (seen.contains(node))
        return;
    seen.insert(node);
    list.append(node->template as<Info>());
    for (const auto &child : node->children) {
        if (!seen.contains(child.get())) {
            seen.insert(child.get());
            list.append(child->template as<Info>());
        }
    }
}

template <class Info> QList<const Info *> flatten(const QList<ItemNode *> &nodes)
{
    QList<const Info *> list;
    QSet<const ItemNode *> seen;
    // A selected child whose parent is selected too comes with its parent.
    for (const ItemNode *node : nodes)
        if (node->level() == 1 && nodes.contains(node->parent))
            seen.insert(node);
    for (const ItemNode *node : nodes)
        appendNode(list, node, seen);
    return list;
}

QByteArray objectOf(const TTaskInfo &task)
{
    return ICalendarMapping::TaskObject(task);
}

QByteArray objectOf(const TMemoInfo &memo)
{
    return ICalendarMapping::MemoObject(memo);
}

bool put(QIODevice &device, const QByteArray &bytes)
{
    return device.write(bytes) == bytes.size();
}

// Every item of a list's stored tree, one object after the other.
template <class Info, class Statements>
bool writeForest(QIODevice &device, Statements &&list, int *dropped)
{
    LoadStats stats;
    const ItemForest forest = list.loadForest(&stats);
    *dropped += stats.dropped;
    for (const auto &top : forest) {
        if (!put(device, objectOf(*top->template as<Info>())))
            return false;
        for (const auto &child : top->children)
            if (!put(device, objectOf(*child->template as<Info>())))
                return false;
    }
    return true;
}

QString changedText(const QString &fileName)
{
    return QStringLiteral("%1 changed while it was read; nothing of it was stored")
        .arg(QFileInfo(fileName).fileName());
}

} // namespace

bool IsICalendarName(const QString &fileName)
{
    return QFileInfo(fileName).suffix().compare(QLatin1String("ics"), Qt::CaseInsensitive) == 0;
}

bool WriteDatabase(QSqlDatabase db, const QString &fileName, int *leftOut)
{
    SafeFile::RefuseProgramFile(fileName);
    SafeFile file(fileName);
    if (!file.open())
        return false;
    int dropped = 0;
    // One list at a time, each object written as it is made: the calendar is never whole.
    const bool written = put(file.device(), ICalendarMapping::CalendarHead()) &&
                         writeForest<TTaskInfo>(file.device(), TaskStatements(db), &dropped) &&
                         writeForest<TMemoInfo>(file.device(), MemoStatements(db), &dropped) &&
                         put(file.device(), ICalendarMapping::CalendarTail());
    if (leftOut)
        *leftOut = dropped;
    if (!written) {
        file.cancel();
        return false;
    }
    return file.commit();
}

bool WriteNodes(const QString &fileName, const QList<ItemNode *> &tasks,
                const QList<ItemNode *> &memos)
{
    SafeFile::RefuseProgramFile(fileName);
    SafeFile file(fileName);
    if (!file.open())
        return false;
    bool written = put(file.device(), ICalendarMapping::CalendarHead());
    for (const TTaskInfo *task : flatten<TTaskInfo>(tasks))
        written = written && put(file.device(), objectOf(*task));
    for (const TMemoInfo *memo : flatten<TMemoInfo>(memos))
        written = written && put(file.device(), objectOf(*memo));
    written = written && put(file.device(), ICalendarMapping::CalendarTail());
    if (!written) {
        file.cancel();
        return false;
    }
    return file.commit();
}

bool Read(const QString &fileName, Contents *contents, QString *error)
{
    *contents = Contents();
    contents->fileName = fileName;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot be read: %1").arg(file.errorString());
        return false;
    }
    contents->objects = std::make_shared<ICalendarMapping::ObjectReader>();
    ICalendarReader::Reader reader(&file);
    // Only the time zones are kept whole; of the items, their UIDs and parents.
    reader.setKeepItemLines(false);
    ICalendarReader::Object object;
    // Each item's UID, whether it is an occurrence of a series, and its parent.
    QList<std::pair<QString, bool>> tasks, memos;
    QStringList taskParents, memoParents;
    while (reader.next(&object)) {
        if (object.kind == ICalendarReader::Kind::TimeZone) {
            contents->objects->addTimeZone(object);
        } else if (object.kind == ICalendarReader::Kind::Todo) {
            tasks.append({object.uid, object.occurrence});
            taskParents.append(object.parent);
        } else if (object.kind == ICalendarReader::Kind::Journal) {
            memos.append({object.uid, object.occurrence});
            memoParents.append(object.parent);
        }
    }
    if (!reader.error().isEmpty() || !reader.sawCalendar()) {
        *error = reader.error().isEmpty() ? QStringLiteral("holds no calendar") : reader.error();
        *contents = Contents();
        return false;
    }
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot be read: %1").arg(file.errorString());
        *contents = Contents();
        return false;
    }
    // A series is one item, its master.
    contents->taskItems = ICalendarMapping::ItemsOfSeries(tasks);
    contents->memoItems = ICalendarMapping::ItemsOfSeries(memos);
    for (qsizetype i = 0; i < tasks.size(); ++i)
        if (contents->taskItems[i])
            contents->tasks.add(tasks[i].first, taskParents[i]);
    for (qsizetype i = 0; i < memos.size(); ++i)
        if (contents->memoItems[i])
            contents->memos.add(memos[i].first, memoParents[i]);
    contents->tasks.finish(true, &contents->moved, &contents->rekeyed);
    contents->memos.finish(true, &contents->moved, &contents->rekeyed);
    return true;
}

int Store(QSqlDatabase db, const Contents &contents, int *unarmed)
{
    QFile file(contents.fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw TasklumeError(changedText(contents.fileName));
    TaskStatements tasks(db);
    MemoStatements memos(db);
    if (!db.transaction())
        throw TasklumeError(db.lastError().text());
    // The items stored so far, and the file's objects of each kind read so far.
    qsizetype taskAt = 0, memoAt = 0;
    qsizetype todoAt = 0, journalAt = 0;
    if (!contents.objects)
        throw TasklumeError(changedText(contents.fileName));
    ICalendarMapping::ObjectReader &objects = *contents.objects;
    const int unarmedBefore = objects.unarmed();
    try {
        ICalendarReader::Reader reader(&file);
        ICalendarReader::Object object;
        TTaskInfo task;
        TMemoInfo memo;
        while (reader.next(&object)) {
            switch (object.kind) {
            case ICalendarReader::Kind::TimeZone:
                break; // read by Read
            case ICalendarReader::Kind::Todo:
                if (todoAt >= contents.taskItems.size())
                    throw TasklumeError(changedText(contents.fileName));
                if (!contents.taskItems[todoAt++])
                    break; // an occurrence of a series: its master is the item
                if (taskAt >= contents.tasks.size())
                    throw TasklumeError(changedText(contents.fileName));
                objects.read(object, &task);
                task.key = contents.tasks.key(taskAt);
                task.pid = contents.tasks.pid(taskAt);
                ++taskAt;
                tasks.insertFull(task);
                break;
            case ICalendarReader::Kind::Journal:
                if (journalAt >= contents.memoItems.size())
                    throw TasklumeError(changedText(contents.fileName));
                if (!contents.memoItems[journalAt++])
                    break; // an occurrence of a series: its master is the item
                if (memoAt >= contents.memos.size())
                    throw TasklumeError(changedText(contents.fileName));
                objects.read(object, &memo);
                memo.key = contents.memos.key(memoAt);
                memo.pid = contents.memos.pid(memoAt);
                ++memoAt;
                memos.insertFull(memo);
                break;
            }
        }
        if (!reader.error().isEmpty() || taskAt != contents.tasks.size() ||
            memoAt != contents.memos.size() || todoAt != contents.taskItems.size() ||
            journalAt != contents.memoItems.size())
            throw TasklumeError(changedText(contents.fileName));
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit()) {
        const QString why = db.lastError().text();
        db.rollback();
        throw TasklumeError(why);
    }
    if (unarmed)
        *unarmed = objects.unarmed() - unarmedBefore;
    return int(taskAt + memoAt);
}

} // namespace ICalendarFile
