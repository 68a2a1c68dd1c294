// The memo list's model: the shared item tree with the memo row images.
#pragma once

#include "MemoInfo.h"
#include "common/ItemTree.h"

class MemoTreeModel : public ItemTreeModel
{
    Q_OBJECT
public:
    using ItemTreeModel::ItemTreeModel;

    enum Image { ImageTopMemo = 0, ImageChildMemo = 21 };

    static TMemoInfo *memo(const ItemNode *node) { return node ? node->as<TMemoInfo>() : nullptr; }

protected:
    QVariant nodeData(const ItemNode *node, int role) const override;
};
