// The lists' export and e-mail hand-off, one object for both lists: the interchange writers
// with the program's error box, and each frame's own e-mail component.
#pragma once

#include "common/ListCommands.h"

class ItemListCommands : public ListCommands
{
public:
    bool writeItemsFile(Reports::ListKind list, const QString &fileName,
                        const QList<ItemNode *> &items) override;
    // The attachments that lie in the program's "Temp" folder are removed once the mail
    // program has them: afterHandOffMs after the mail program took the message (xdg-email or
    // sendmail returned, whatever the outcome), and latestMs after the hand-off began when
    // the mail program still holds it then; what is left over (the program ended before)
    // goes at the next start. A file written again since (a later e-mail) stays.
    void sendMail(QObject &sender, const Mail &mail) override;

    int afterHandOffMs = 2 * 60 * 1000;
    int latestMs = 15 * 60 * 1000;
};
