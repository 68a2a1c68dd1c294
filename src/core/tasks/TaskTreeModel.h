// The to-do list's model: the shared item tree with completion check boxes, the date view,
// due-date marks and the tasks' own colours.
#pragma once

#include "TaskInfo.h"
#include "common/ItemTree.h"

#include <QDate>

class TaskTreeModel : public ItemTreeModel
{
    Q_OBJECT
public:
    using ItemTreeModel::ItemTreeModel;

    // Row images of the to-do list.
    enum Image { ImageAlarm = 22, ImageOverdue = 23, ImageDue = 24 };

    static TTaskInfo *task(const ItemNode *node) { return node ? node->as<TTaskInfo>() : nullptr; }

    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // The image of a task's row: none when complete, else the alarm clock for a reminder,
    // else the calendar (red when the due date is before today).
    static int imageIndex(const TTaskInfo &task, const QDate &today);
    // Not complete with a due date before today.
    static bool isOverdue(const TTaskInfo &task, const QDate &today);
    // The status bar line for a task.
    static QString statusText(const TTaskInfo &task);
    // What assistive tools read beside a task's text: its due date (and whether it is
    // overdue), its reminder and its completion; empty when it has none of them.
    static QString accessibleDescription(const TTaskInfo &task, const QDate &today);

protected:
    QString decoratedText(const ItemNode *node) const override;
    QVariant nodeData(const ItemNode *node, int role) const override;
};

// The tray icon's hint: "Incomplete Tasks:" and the first four incomplete tasks in text
// order, each flattened to one line and cut to hintSize characters.
QString TrayHintText(const QStringList &incompleteContents, int hintSize);
