// Writes that may take longer than a frame (a flag stored on every row of a list) are
// stored on a thread of their own, so that the window answers at once. They run one after
// another on a connection of their own to the same file. Every statement of a connection
// that queued one first waits for them, so changes reach the file in the order they were
// made and a read sees what was written before it.
#pragma once

#include <QString>

#include <functional>

class QSqlDatabase;

namespace BackgroundWrites {

// Queues one statement with its one bound text for the database file of db, and returns
// true. Returns false, queuing nothing, when db is inside a transaction (the statement
// belongs to it) or has no file of its own: the caller runs the statement itself.
bool post(const QSqlDatabase &db, const QString &statement, const QString &value);

// Returns once every queued statement is stored or has failed. Cheap when none is queued.
void waitForAll();

// Whether statements are queued or being stored.
bool pending();

// Runs then on the application's thread, from its event loop, once every statement queued
// so far is stored or has failed (at the next turn of the loop when none is queued).
void whenDone(std::function<void()> then);

// Called on the thread that queued a statement, from its event loop, with the engine's
// text when the statement could not be stored. Without one the failure is only logged.
void setFailureHandler(std::function<void(const QString &)> handler);

} // namespace BackgroundWrites
