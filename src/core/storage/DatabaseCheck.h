// The verification of a database file: the engine's integrity check, the columns the
// program needs, and the shape of both trees (rows the lists never show: those whose parent
// is missing, and those of a third level). Reading only; nothing is repaired.
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace DatabaseCheck {

struct TableReport
{
    QString table;        // "tasks" or "memos"
    bool present = false; // the table exists
    QStringList missingColumns;
    int rows = 0;
    int topLevel = 0;
    int children = 0;       // rows under a top-level row
    QStringList orphanKeys; // parent is not "root" and names no row
    QStringList thirdLevelKeys;
    QStringList reservedKeys; // "root" or empty: no row may carry them

    bool sound() const
    {
        return present && missingColumns.isEmpty() && orphanKeys.isEmpty() &&
               thirdLevelKeys.isEmpty() && reservedKeys.isEmpty();
    }
};

struct Report
{
    QStringList integrityProblems; // the engine's complaints
    TableReport tasks;
    TableReport memos;

    bool sound() const { return integrityProblems.isEmpty() && tasks.sound() && memos.sound(); }
};

// Throws TasklumeError when the file cannot be read at all.
Report Run(QSqlDatabase db);

} // namespace DatabaseCheck
