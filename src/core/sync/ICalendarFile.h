// iCalendar files (.ics) of the lists: the whole database written as one calendar, and a
// calendar read into the database as new items, as an interchange file is imported. Both go
// component by component: the file is never held whole, in text or as libical's tree.
#pragma once

#include "common/ItemTree.h"
#include "sync/ICalendarMapping.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <memory>

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

// A calendar file read through once: found readable, with the place in the two levels and
// the new key of each of its items worked out. Its items are read again by Store.
struct Contents
{
    QString fileName;
    ICalendarMapping::TreePlan tasks;
    ICalendarMapping::TreePlan memos;
    // Whether each VTODO (VJOURNAL) of the file, in its order, is an item: an occurrence of a
    // series whose master the file holds is not (ICalendarMapping::ItemsOfSeries).
    QList<bool> taskItems;
    QList<bool> memoItems;
    // As in ICalendarMapping::Calendar.
    int moved = 0;
    int rekeyed = 0;
    // The file's time zones, wherever they stand in it, for reading the items.
    std::shared_ptr<ICalendarMapping::ObjectReader> objects;
};

// Reads a calendar file through: every line and object within the bounds ICalendarReader
// sets, every VTODO and VJOURNAL placed in a two-level tree under a new key. False (error
// receives why, in words that follow the file's name) when the file cannot be read, holds no
// calendar or a part too large. Nothing of the items is kept in memory but their keys.
bool Read(const QString &fileName, Contents *contents, QString *error);

// Adds every item of a file read by Read as a new item, children under their parents' new
// keys, in one transaction, reading the file again object by object. Returns how many items
// were stored; unarmed receives how many reminders were left unarmed (outside the years 1 to
// 9999). Throws TasklumeError when the database refuses a row or the file is no longer the
// one read (the transaction is rolled back then: nothing of the file is stored).
int Store(QSqlDatabase db, const Contents &contents, int *unarmed = nullptr);

} // namespace ICalendarFile
