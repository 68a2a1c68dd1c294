// What the lists hand on to the rest of the program: writing items to an interchange file
// ("&Export..." and the e-mail attachment) and handing a message to the desktop's mail
// client. The window implements them once for both lists, so that a list frame needs
// neither the interchange module nor the e-mail component.
#pragma once

#include "common/Reports.h"

#include <QList>
#include <QString>
#include <QStringList>

class ItemNode;
class QObject;

class ListCommands
{
public:
    // A message for the mail client: its subject, its body lines and the attached files.
    struct Mail
    {
        QString subject;
        QStringList lines;
        QStringList attachments;
    };

    virtual ~ListCommands() = default;

    // Writes the items (with their children) to an interchange file of the list's kind.
    // False, once the error box has said why, when the file could not be written.
    virtual bool writeItemsFile(Reports::ListKind list, const QString &fileName,
                                const QList<ItemNode *> &items) = 0;
    // Hands the message to the mail client through the e-mail component of sender, made on
    // first use as its child "WySendMessage1". Without any way to send mail a warning says
    // what to set up; a cancelled or failed hand-off ends without a message.
    virtual void sendMail(QObject &sender, const Mail &mail) = 0;
};
