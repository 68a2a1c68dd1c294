#include "ItemListCommands.h"

#include "common/pU_Boxes.h"
#include "components/WySndMsg.h"
#include "interchange/Dm_Io.h"
#include "interchange/IoTexts.h"
#include "sync/ICalendarFile.h"

bool ItemListCommands::writeItemsFile(Reports::ListKind list, const QString &fileName,
                                      const QList<ItemNode *> &items)
{
    if (ICalendarFile::IsICalendarName(fileName)) {
        const bool tasks = list == Reports::ListKind::Tasks;
        if (ICalendarFile::WriteNodes(fileName, tasks ? items : QList<ItemNode *>(),
                                      tasks ? QList<ItemNode *>() : items))
            return true;
        ErrorBox(IoTexts::SelectionWriteFailure);
        return false;
    }
    return list == Reports::ListKind::Tasks ? WriteTasksFile(fileName, items)
                                            : WriteMemosFile(fileName, items);
}

void ItemListCommands::sendMail(QObject &sender, const Mail &mail)
{
    const QString name = QStringLiteral("WySendMessage1");
    auto *component = sender.findChild<TWySendMessage *>(name, Qt::FindDirectChildrenOnly);
    if (component == nullptr) {
        component = new TWySendMessage(&sender);
        component->setObjectName(name);
    }
    component->ClearLists();
    component->setSubject(mail.subject);
    component->MessageText().append(mail.lines);
    component->Attachments().append(mail.attachments);
    try {
        component->Send();
    } catch (const EMapiNoMailSystem &missing) {
        // Without any way to send mail nothing would happen: the user learns what to set up.
        WarningBox(missing.Advice);
    } catch (const std::exception &) {
        // A cancelled or failed hand-off ends the command without a message.
    }
}
