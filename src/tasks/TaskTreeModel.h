// The to-do list's model: the shared item tree with completion check boxes.
#pragma once

#include "TaskInfo.h"
#include "common/ItemTree.h"

class TaskTreeModel : public ItemTreeModel
{
    Q_OBJECT
public:
    using ItemTreeModel::ItemTreeModel;

    static TTaskInfo *task(const ItemNode *node) { return node ? node->as<TTaskInfo>() : nullptr; }

    Qt::ItemFlags flags(const QModelIndex &index) const override;

protected:
    QString nodeText(const ItemNode *node) const override;
    QVariant nodeData(const ItemNode *node, int role) const override;
};

// The tray icon's hint: "Incomplete Tasks:" and the first four incomplete tasks in text
// order, each flattened to one line and cut to hintSize characters.
QString TrayHintText(const QStringList &incompleteContents, int hintSize);
