#include "PastedItem.h"

#include "common/ItemTree.h"
#include "common/Texts.h"
#include "memos/MemoInfo.h"
#include "Statements.h"
#include "tasks/TaskInfo.h"

#include <QSqlRecord>

void PastedItem::Fill(ItemInfo &info, const QString &text, const QString &parentKey)
{
    info.content = ItemTreeModel::storedText(text);
    info.key = NewRowKey();
    info.pid = parentKey.isEmpty() ? Texts::RootKey : parentKey;
    info.createTime = NowDays();
    info.editTime = info.createTime;
}

std::unique_ptr<ItemInfo> PastedItem::MakeRecord(Reports::ListKind kind, const QString &text,
                                                 const QString &parentKey)
{
    std::unique_ptr<ItemInfo> info;
    if (kind == Reports::ListKind::Tasks)
        info = std::make_unique<TTaskInfo>();
    else
        info = std::make_unique<TMemoInfo>();
    Fill(*info, text, parentKey);
    return info;
}

void PastedItem::Insert(ItemStatements &statements, ItemInfo &info)
{
    if (auto *tasks = dynamic_cast<TaskStatements *>(&statements)) {
        auto &task = static_cast<TTaskInfo &>(info);
        task.checkFlag = task.alarmFlag = task.dueFlag = false;
        task.textColor = task.backgroundColor = 0;
        // The paste's insert always stores a top-level task; a child gets the same columns
        // with its parent through the insert of a new task.
        if (task.pid == Texts::RootKey)
            tasks->insertPasted(task);
        else
            tasks->insertNew(task);
    } else {
        auto &memo = static_cast<TMemoInfo &>(info);
        memo.assignTime = 0; // pasted text is not assigned
        static_cast<MemoStatements &>(statements).insert(memo);
    }
}

QString PastedItem::NoParentMessage(Reports::ListKind kind, const QString &parentKey)
{
    return QStringLiteral("There is no top-level %1 with the key %2.")
        .arg(kind == Reports::ListKind::Tasks ? QStringLiteral("task") : QStringLiteral("memo"),
             parentKey);
}

QString PastedItem::Store(QSqlDatabase db, Reports::ListKind kind, const QString &text,
                          const QString &parentKey)
{
    std::unique_ptr<ItemStatements> statements;
    if (kind == Reports::ListKind::Tasks)
        statements = std::make_unique<TaskStatements>(db);
    else
        statements = std::make_unique<MemoStatements>(db);
    const QString parent = parentKey.isEmpty() ? Texts::RootKey : parentKey;
    if (parent != Texts::RootKey) {
        QSqlQuery &query = statements->selectByKey(parent);
        const bool topLevel =
            query.next() &&
            query.record().value(QStringLiteral("pid")).toString() == Texts::RootKey;
        query.finish();
        if (!topLevel)
            throw TasklumeError(NoParentMessage(kind, parent));
    }
    std::unique_ptr<ItemInfo> info = MakeRecord(kind, text, parent);
    Insert(*statements, *info);
    return info->key;
}
