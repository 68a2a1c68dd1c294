// The database file and its connection: "wyData.wyb" in the program's folder, SQLite,
// readable by its owner only. The file and its two tables are created when missing.
#pragma once

#include <QSqlDatabase>
#include <QString>

namespace Database {

// The name of the program's one connection.
inline const QString ConnectionName = QStringLiteral("tasklume");

// Opens the database file at path under the given connection name, creating the file
// (mode 0600) and the tables tasks and memos when they are missing. Throws TasklumeError
// with the engine's own text when the file cannot be opened or is not a database; an
// existing file is never overwritten.
QSqlDatabase open(const QString &path, const QString &connectionName = ConnectionName);

// Opens an existing database file as it stands: the file, its tables and its journal mode
// are never created or changed, and nothing is written by the opening. Throws TasklumeError
// when the file is missing or is not a database.
QSqlDatabase openExisting(const QString &path, const QString &connectionName = ConnectionName);

// Closes and forgets a connection opened by open() or openExisting().
void close(const QString &connectionName = ConnectionName);

} // namespace Database
