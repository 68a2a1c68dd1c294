// Failures of the database engine in words the user can act on: which file, and whether it
// is locked by another program, the disk is full, the folder or file is read-only or the
// file is damaged; the engine's own words follow on a second line.
#pragma once

#include "TasklumeError.h"

#include <QSqlError>
#include <QString>

class QSqlDriver;
struct sqlite3;
class QSqlQuery;

// The text for a failed statement on an open connection.
QString EngineErrorText(const QSqlDriver *driver, const QSqlError &error);
// The text for the last failure on an SQLite connection's own handle; file names the
// database when the handle has none (its opening failed).
QString EngineHandleErrorText(sqlite3 *handle, const QString &file = {});
// The text for a database file that could not be opened at all.
QString EngineOpenErrorText(const QString &path, const QSqlError &error);
// Whether the connection is inside a transaction still: false when the engine gave up a
// transaction on its own (as SQLite does on a full disk or a failed I/O), true when it cannot
// tell (not SQLite).
bool EngineInTransaction(const QSqlDriver *driver);
// The error to raise for a failed query.
TasklumeError EngineFailure(const QSqlQuery &query);
