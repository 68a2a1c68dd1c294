// One running copy per user and display session, and one per program folder. The running
// copy holds the folder's run lock and listens on a local socket named for the user and the
// display, in a folder only the user can enter; a second start finds it there (or through
// the run lock), asks it to come to the front, and ends without touching any file.
#pragma once

#include "InstanceServer.h"

#include <QByteArray>
#include <QString>

class RunLock;

namespace SingleInstance {
// The socket name for this user and display session; empty when no private folder can be
// had for it.
QString serverName();
// The folder the socket lies in: $XDG_RUNTIME_DIR when it is the user's own and private;
// otherwise "tasklume-<uid>" in the temporary folder, made 0700 (a folder of the user's own
// with a wider mode is narrowed); when another user has taken that name, or it is no folder,
// "tasklume-<host>" in the user's cache folder. Empty when none of them will do.
QString channelFolder();

// The longest request line a running copy takes; a longer one ends the connection.
constexpr qint64 kMaxRequest = 1024 * 1024;
// A connection that neither sends nor takes anything for this long is dropped.
constexpr int kIdleMs = 5000;
// At most this many connections are served at once; a new one beyond drops the oldest.
constexpr int kMaxConnections = 64;

// How a start ended its claim to run.
enum class StartClaim
{
    Run,        // the run lock (where the folder takes one) and the channel are this start's
    HandedOver, // the running copy answered the request to come to the front
    Unanswered, // a running copy holds the folder's lock but did not answer in the time
};

// The line that asks the running copy to come to the front, and its answer.
inline const QByteArray kActivateRequest = QByteArrayLiteral("activate\n");
inline const QByteArray kActivatedReply = QByteArrayLiteral("ok\n");

// Whether the process at the other end of a connected local socket runs as this user.
bool isSameUser(qintptr descriptor);
} // namespace SingleInstance

// Returns true when a running copy answered; it has then been asked to come to the front.
bool ActivateRunningInstance();

// Sends one request line to the running copy and returns its reply (empty when none runs).
QByteArray RequestRunningInstance(const QByteArray &request, int timeoutMs = 3000);
// The same on the channel with the given name.
QByteArray RequestInstance(const QString &serverName, const QByteArray &request,
                           int timeoutMs = 3000);

// The start's claim: takes the exclusive run lock at lockPath, naming the channel in it, and
// then the channel. When another program holds the lock, or another copy answers on the
// channel, this start asks it to come to the front (retrying for at most waitMs while it
// gets ready) and holds nothing afterwards. A folder that takes no lock is run without one.
SingleInstance::StartClaim ClaimStart(const QString &lockPath, RunLock &lock,
                                      InstanceServer &server, int waitMs = 10000);
