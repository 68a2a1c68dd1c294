// Fixed texts of the interchange file: its tags, the file dialogs' filters and the messages
// of the writers, the readers and the question dialog.
#pragma once

#include <QString>

namespace IoTexts {

inline const QString AppTag = QStringLiteral("Tasklume");

// The file dialogs: the backup's save dialog and the readers' open dialog.
inline const QString SaveFilter = QStringLiteral("Ploxen Database,  (*.wyx)");
inline const QString OpenFilter = QStringLiteral("Ploxen Database, (*.wyx)");
inline const QString DefaultSuffix = QStringLiteral("wyx");

inline const QString BackupWriteFailure = QStringLiteral("File write failure!");
inline const QString SelectionWriteFailure = QStringLiteral("File Write Failure !");
inline const QString ReadFailure = QStringLiteral("File read failure!");
// Said after a failure that undid the whole run (a full disk, the database failing).
inline const QString NothingStored =
    QStringLiteral("Nothing of the file was stored: the lists are as they were before.");
inline const QString DataMismatch = QStringLiteral("Data mismatch: ");
inline const QString NotExist = QStringLiteral(" not Exist !");
// %1 the text, %2 the column.
inline const QString InvalidBoolean =
    QStringLiteral("'%1' is not a valid boolean value for field '%2'");
inline const QString InvalidInteger =
    QStringLiteral("'%1' is not a valid integer value for field '%2'");
inline const QString InvalidDateTime =
    QStringLiteral("'%1' is not a valid date and time value for field '%2'");
// An import file that gives two items the same key; %1 the file, %2 the kind, %3 the key.
inline const QString RepeatedKey =
    QStringLiteral("The file \"%1\" gives more than one %2 the key %3: the import stops there.");
// %1 the number of items.
inline const QString ReservedKeys =
    QStringLiteral("%1 item(s) of the file carried the reserved key \"root\" or no key: each "
                   "was stored under a fresh key, its children with it.");

// The question dialog of a restore.
inline const QString ReplaceCaption = QStringLiteral("Confirm Replace");
inline const QString ReplaceQuestion = QStringLiteral("Would you like to replace the existing ");
inline const QString ReplaceWith = QStringLiteral("with this one?");
inline const QString Modified = QStringLiteral("modified: ");
inline const QString KindMemo = QStringLiteral("memo");
inline const QString KindTask = QStringLiteral("task");

} // namespace IoTexts
