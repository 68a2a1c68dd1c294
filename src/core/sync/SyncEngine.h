#pragma once

// Two-way sync of one list (the to-dos or the memos) with one CalDAV collection. Each item
// is one object on the server, named by its key. Between runs the sync keeps, per item, the
// object's href and ETag and a fingerprint of the item as it last agreed with the server, so
// a run knows what changed on either side since: an item without a record is new here, one
// whose fingerprint differs was changed here, a record without an item was deleted here; the
// server tells its own changes by ETags and its sync token (a full listing when it knows no
// token). The local changes come from a log of written keys that triggers on the item tables
// keep, whoever writes them, so a run reads the rows that changed and not the whole list
// (a first run compares every item). What the run stores from the server is not sent back.
//
// A run first reads everything it needs from the server; a server that is down, refuses
// the password or answers garbage ends it there, with nothing changed locally. When both
// sides changed an item, the local version stays and goes to the server, and the server's
// version is kept beside it as a new item whose text starts with ConflictMarker. An item
// deleted on one side and changed on the other is kept with the change.

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

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
    // The keys of the items the run stored or deleted here, so that a view shows just those.
    QStringList changedHere;
    int refused = 0;    // items the server refused to store, tried again next run
    // What the run cost: rows read from the item table, and requests sent to the server.
    int localItemsRead = 0;
    int requests = 0;
};

class SyncEngine
{
public:
    // The engine works on the item tables of db and the collection of client.
    SyncEngine(QSqlDatabase db, CalDavClient *client);

    static inline const QString ConflictMarker = QStringLiteral("[Conflict copy] ");
    // How many objects one multiget asks for: a first sync of a large list reads the
    // server's objects in answers of a size any server takes.
    static constexpr int FetchBatch = 250;

    // One run of the to-do list, or of the memos, blocking until it is done. Each list has
    // a collection of its own.
    SyncReport syncTasksNow();
    SyncReport syncMemosNow();

    // How many uploads (PUT or DELETE) are on their way to the server at once.
    void setUploadsInFlight(int count) { m_uploadsInFlight = count; }

private:
    QSqlDatabase m_db;
    CalDavClient *m_client;
    int m_uploadsInFlight = 4;
};
