#include "ItemListCommands.h"

#include "common/pU_Boxes.h"
#include "components/WySndMsg.h"
#include "interchange/Dm_Io.h"
#include "interchange/IoTexts.h"
#include "sync/ICalendarFile.h"

#include "common/AppPaths.h"
#include "common/SafeFile.h"
#include "common/Texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file of the "Temp" folder as it was when it was handed to the mail program.
struct HandedFile
{
    QByteArray path;
    dev_t device = 0;
    ino_t inode = 0;
};

QList<HandedFile> tempFilesOf(const QStringList &attachments)
{
    QList<HandedFile> files;
    const QString tempFolder = QDir::cleanPath(AppPaths::folder() + Texts::TempDir);
    for (const QString &path : attachments) {
        if (QFileInfo(path).absolutePath() != tempFolder)
            continue;
        HandedFile file{QFile::encodeName(path)};
        struct stat info;
        if (::lstat(file.path.constData(), &info) == 0) {
            file.device = info.st_dev;
            file.inode = info.st_ino;
            files.append(file);
        }
    }
    return files;
}

// Removes the files that are still the ones handed on (a later e-mail writes new ones).
void removeHanded(const QList<HandedFile> &files)
{
    for (const HandedFile &file : files) {
        struct stat info;
        if (::lstat(file.path.constData(), &info) == 0 && info.st_dev == file.device &&
            info.st_ino == file.inode)
            ::unlink(file.path.constData());
    }
}

} // namespace

bool ItemListCommands::writeItemsFile(Reports::ListKind list, const QString &fileName,
                                      const QList<ItemNode *> &items)
{
    if (const QString refusal = SafeFile::RefusalOf(fileName); !refusal.isEmpty()) {
        ErrorBox(refusal);
        return false;
    }
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

    // The attachments of "Temp" are removed once the mail program has them; the helper
    // object ends with the component, and what is left then goes at the next start.
    const QList<HandedFile> handed = tempFilesOf(mail.attachments);
    if (!handed.isEmpty()) {
        auto *release = new QObject(component);
        const auto remove = [release, handed] {
            removeHanded(handed);
            release->deleteLater();
        };
        QTimer::singleShot(latestMs, release, remove);
        const int after = afterHandOffMs;
        QObject::connect(component, &TWySendMessage::HandOffEnded, release,
                         [release, remove, after] { QTimer::singleShot(after, release, remove); });
    }
    try {
        component->Send();
    } catch (const EMapiNoMailSystem &missing) {
        // Without any way to send mail nothing would happen: the user learns what to set up.
        WarningBox(missing.Advice);
    } catch (const std::exception &) {
        // A cancelled or failed hand-off ends the command without a message.
    }
}
