// The lists' export and e-mail hand-off, one object for both lists: the interchange writers
// with the program's error box, and each frame's own e-mail component.
#pragma once

#include "common/ListCommands.h"

class ItemListCommands : public ListCommands
{
public:
    bool writeItemsFile(Reports::ListKind list, const QString &fileName,
                        const QList<ItemNode *> &items) override;
    void sendMail(QObject &sender, const Mail &mail) override;
};
