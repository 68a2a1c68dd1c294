// The interchange file's writers and readers without any window: the whole-database
// writer, the two selection writers, and the two readers (restore by identifier, import as
// new items). Messages go to a sink (the error box in the program); the restore's question
// goes to a ReplaceAsker (the question dialog in the program).
#pragma once

#include "common/ItemTree.h"
#include "common/pU_Funcs.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <optional>

namespace Interchange {

using MessageSink = std::function<void(const QString &)>;

// The "appversion" written into every file: the program's file version.
QString FileVersionText();
// The fixed skeleton every writer starts from: the root with empty "app", "appversion" and
// "time" and "dataversion" 1.1, and the four empty sections, one per line.
QByteArray SkeletonText();

// Every memo and then every task of the database, in the order the tables return them, into
// a new file. Returns false when the file could not be written (the caller reports it);
// throws TasklumeError when the tables cannot be read or the name is one of the program's
// own files. changedTexts receives how many texts held characters the file cannot carry
// and were written changed (XmlText.h).
bool WriteDatabaseFile(QSqlDatabase db, const QString &fileName,
                       const QString &appVersion = FileVersionText(), int *changedTexts = nullptr);
// The message for a backup that had to change texts.
QString ChangedTextsText(int changedTexts);

// ---- reading ----------------------------------------------------------------------------

enum class Answer
{
    Yes,
    All,
    No,
    Abort
};

// What the restore asks before it replaces a stored item.
struct ReplaceQuestion
{
    QString kind;                          // "memo" or "task"
    QString storedContent;                 // as stored
    TDateTime storedEditTime;              // 0 when the column holds no value
    QString fileContent;                   // as it would be stored
    std::optional<TDateTime> fileEditTime; // nothing when the file's text is malformed
    QString fileEditTimeText;              // the file's text as it stands
};

class ReplaceAsker
{
public:
    virtual ~ReplaceAsker() = default;
    virtual Answer ask(const ReplaceQuestion &question) = 0;
};

enum class Outcome
{
    ReadFailure, // the file could not be opened, inflated or parsed; nothing changed
    Mismatch,    // "app" is not "Tasklume"; nothing changed
    Completed,   // read to its end
    Aborted,     // stopped by Abort; the items before stay
    Failed,      // stopped by an error; the items before stay
};

struct RunResult
{
    Outcome outcome = Outcome::Failed;
    int added = 0;
    int replaced = 0;
    int kept = 0;     // existing items the user chose not to replace
    int promoted = 0; // imported children without their parent, made top-level
    int rekeyed = 0;  // items whose key was reserved ("root", empty), stored under a fresh key
    // A failure undid the whole run (the counts above are then 0): nothing of the file is in
    // the database. Otherwise a failed run keeps what was stored before the failure.
    bool nothingStored = false;
    // The frames reload after a completed or aborted run.
    bool ok() const { return outcome == Outcome::Completed || outcome == Outcome::Aborted; }
};

// The opening steps of both readers without a database: ReadFailure when the file cannot be
// opened, inflated or parsed, Mismatch when "app" is not "Tasklume" (app receives the file's
// value), Completed otherwise. Nothing is shown and nothing is written.
Outcome ProbeFile(const QString &fileName, QString *app = nullptr);

// Merges a file into the database by identifier: new identifiers are added with the file's
// keys, existing ones replaced only when the asker agrees. The run is one transaction,
// committed when it ends, however it ends.
RunResult RestoreFile(QSqlDatabase db, const QString &fileName, ReplaceAsker &asker,
                      const MessageSink &errorBox);

// Adds every item of a file as a new item under a fresh identifier, keeping the links
// between the imported parents and children; a child whose parent is not in the file
// becomes a top-level item. One transaction, committed when the run ends.
RunResult ImportFile(QSqlDatabase db, const QString &fileName, const MessageSink &errorBox);

} // namespace Interchange

// The selection writers of the two lists: every selected node (in tree order) as a top-level
// item, and after each selected top-level node all its children with their own parent
// identifier. On failure they show "File Write Failure !" through errorBox and return false.
bool WriteTasksFile(const QString &fileName, const QList<ItemNode *> &selected,
                    const Interchange::MessageSink &errorBox);
bool WriteMemosFile(const QString &fileName, const QList<ItemNode *> &selected,
                    const Interchange::MessageSink &errorBox);
