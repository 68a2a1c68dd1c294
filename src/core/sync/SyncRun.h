// One whole sync run: the to-do list with its collection, then the memos with theirs when
// one is set, on a connection of the run's own to the database file. It may run on any
// thread (the window runs it on a worker thread; the command line on its main thread); the
// program's own connection sees its changes once it returns.
#pragma once

#include "sync/SyncEngine.h"

#include <QString>

struct SyncSettings;

struct SyncOutcome
{
    bool ok = true;
    QString message; // why the run failed, or what it passed over; empty when all went well
    SyncReport tasks;
    SyncReport memos;
    bool memosSynced = false;

    // Whether the run changed the lists here, so that a view of them must be read anew.
    bool changedHere() const
    {
        return tasks.downloaded + tasks.deletedHere + tasks.conflicts + memos.downloaded +
                   memos.deletedHere + memos.conflicts >
               0;
    }
};

namespace SyncRun {

// The longest a whole run may take unless told otherwise: a server that answers each
// request just in time still does not keep the run (and the window's "Syncing...") going.
inline constexpr int DefaultRunMs = 30 * 60 * 1000;

// Runs once against the servers of settings with the given password. timeoutMs bounds each
// request (0 keeps the client's own default), runMs the whole run (0: DefaultRunMs). Each
// collection is checked first to be a calendar collection taking the list's objects.
SyncOutcome runNow(const QString &databasePath, const SyncSettings &settings,
                   const QString &password, int timeoutMs = 0, int runMs = 0);

// One line for the status bar or the command line: what a finished run did.
QString Summary(const SyncOutcome &outcome);

} // namespace SyncRun
