// The memo frame: the shared list frame without task features.
#pragma once

#include "common/Fr_wyTree.h"

class TwyMemosFrame : public TwyTreeFrame
{
    Q_OBJECT
public:
    TwyMemosFrame(FrameHost &host, QWidget *parent);

    void ReloadMemos() { reloadItems(); }

protected:
    void reportCount(int count) override;
    std::unique_ptr<ItemInfo> newRecord() const override;
    void insertNewItem(ItemNode *node) override;
    void insertPastedItem(ItemNode *node) override;
    QString statusText(const ItemNode *node) const override;
    void buildMenus() override;
};
