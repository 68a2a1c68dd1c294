#include "MemoTreeModel.h"

QVariant MemoTreeModel::nodeData(const ItemNode *node, int role) const
{
    if (role == ImageIndexRole)
        return node->level() == 0 ? ImageTopMemo : ImageChildMemo;
    return ItemTreeModel::nodeData(node, role);
}
