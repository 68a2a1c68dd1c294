#pragma once

// Two-way sync of the to-do list with one CalDAV collection. Each task is one object on the
// server, named by its key. Between runs the sync keeps, per task, the object's href and
// ETag and a fingerprint of the task as it last agreed with the server, so a run knows what
// changed on either side since: a task without a record is new here, one whose fingerprint
// differs was changed here, a record without a task was deleted here; the server tells its
// own changes by ETags and its sync token (a full listing when it knows no token).
//
// A run first reads everything it needs from the server; a server that is down, refuses
// the password or answers garbage ends it there, with nothing changed locally. When both
// sides changed a task, the local version stays and goes to the server, and the server's
// version is kept beside it as a new task whose text starts with ConflictMarker.

#include <QSqlDatabase>
#include <QString>

class CalDavClient;

struct SyncReport
{
    bool ok = true;
    QString message; // why a run failed, or what it passed over
    int uploaded = 0;
    int downloaded = 0;
    int deletedHere = 0;
    int deletedThere = 0;
    int conflicts = 0;
    int unreadable = 0; // server objects that are not readable to-dos, left alone
};

class SyncEngine
{
public:
    // The engine works on the tasks table of db and the collection of client.
    SyncEngine(QSqlDatabase db, CalDavClient *client);

    static inline const QString ConflictMarker = QStringLiteral("[Conflict copy] ");

    // One run, blocking until it is done.
    SyncReport syncTasksNow();

private:
    QSqlDatabase m_db;
    CalDavClient *m_client;
};
