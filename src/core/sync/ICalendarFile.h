// iCalendar files (.ics) of the lists: the whole database written as one calendar, and a
// calendar read into the database as new items, as an interchange file is imported.
#pragma once

#include "common/ItemTree.h"
#include "sync/ICalendarMapping.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace ICalendarFile {

// Whether a file name asks for an iCalendar file (ends in .ics, in any case).
bool IsICalendarName(const QString &fileName);

// Every task and then every memo of the database, each list in its stored tree order, into
// a new file through the program's safe writes. False when the file could not be written;
// throws TasklumeError when the tables cannot be read or the name is one of the program's
// own files. leftOut receives how many rows the lists never show (a parent missing, a third level)
// were not written.
bool WriteDatabase(QSqlDatabase db, const QString &fileName, int *leftOut = nullptr);
// The given nodes (of either list) with their children, each node once, the same way.
bool WriteNodes(const QString &fileName, const QList<ItemNode *> &tasks,
                const QList<ItemNode *> &memos);

// Reads a calendar file: every VTODO and VJOURNAL in a two-level tree (ICalendarMapping).
// False (error receives why) when the file cannot be read or holds no calendar.
bool Read(const QString &fileName, ICalendarMapping::Calendar *calendar, QString *error);

// Adds every item of a calendar as a new item under a fresh key, children linked to their
// parents' new keys, in one transaction. Returns how many items were stored. Throws
// TasklumeError when the database refuses a row (the transaction is rolled back then).
int Store(QSqlDatabase db, ICalendarMapping::Calendar calendar);

} // namespace ICalendarFile
