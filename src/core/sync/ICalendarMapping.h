// The two lists as iCalendar (RFC 5545) objects, through libical: a task is a VTODO, a memo a
// VJOURNAL. The key is the UID; the text is the SUMMARY (its first line) and the DESCRIPTION
// (the whole text); a child names its parent in RELATED-TO;RELTYPE=PARENT; completion is
// STATUS:COMPLETED with COMPLETED at the check time; the due date is DUE as a DATE; an armed
// alarm is a VALARM with an absolute trigger. Times are written in UTC. What has no standard
// property (colours, the expanded flag, a time kept while its flag is off, the memo's assign
// time) travels as an X-TASKLUME- property, and each time whose property cannot hold it to
// the last millisecond (or the time of day of a due date) carries its exact value in an
// X-TASKLUME-DAYS parameter, which is used only while it agrees with the property, so a round
// trip gives back every field.
#pragma once

#include "memos/MemoInfo.h"
#include "tasks/TaskInfo.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace ICalendarMapping {

// The items of one calendar, each list in tree order: a top-level item and then its
// children (a child's pid is its parent's key, a top-level item's pid is "root").
struct Calendar
{
    QList<TTaskInfo> tasks;
    QList<TMemoInfo> memos;
    // Items of the file that did not fit the two levels: a grandchild moved up under its
    // top-level ancestor, a child of a parent the file does not hold made top-level.
    int moved = 0;
    // Items whose UID was empty, reserved ("root") or given twice, kept under a fresh key.
    int rekeyed = 0;
};

// A whole VCALENDAR with one VTODO per task and one VJOURNAL per memo, in CR LF lines
// folded at 75 octets.
QByteArray ToICalendar(const QList<TTaskInfo> &tasks, const QList<TMemoInfo> &memos);

// The object of one task or memo for a server that already holds an older version of it,
// written by this program or another. The older object's text stays as it came, line for
// line (PRIORITY, CATEGORIES as one comma list, RRULE, DTSTART, LOCATION, other programs' X-
// properties, alarms, time zones, the overrides of a recurring to-do, other components),
// but for the properties of the item's fields that differ here, which are written anew in
// the item's own component (the master of a series) as ToICalendar writes them; a due date
// or a relative alarm that changed keeps the type the object used (a date-time in its zone,
// in UTC or floating; a trigger relative to the same end). DTSTAMP is new, SEQUENCE counts
// up. An older object that holds no such component gives the plain ToICalendar object.
// keeps, when given, tells whether the older object holds more than the program writes for
// the item, so that it is worth keeping for the next edit.
QByteArray UpdatedObject(const QByteArray &older, const TTaskInfo &task, bool *keeps = nullptr);
QByteArray UpdatedObject(const QByteArray &older, const TMemoInfo &memo, bool *keeps = nullptr);

// The item of one object of a server: its to-do (or journal entry), the master of a series
// when the object holds a recurring one with overrides (the overrides are its occurrences,
// not items of their own). The key is the UID (a fresh one when the UID is empty or
// reserved); parent receives the UID the component names as its parent, empty for none.
// False when the object holds no component of the kind.
bool ItemOfObject(const QByteArray &object, TTaskInfo *task, QString *parent);
bool ItemOfObject(const QByteArray &object, TMemoInfo *memo, QString *parent);

// Reads every VTODO and VJOURNAL of a text of one or more VCALENDARs; other components are
// passed over. False (error receives why) when the text holds no calendar object. Items
// keep their UID as key; the tree is made two-level as Calendar describes, nothing is
// dropped.
bool FromICalendar(const QByteArray &text, Calendar *calendar, QString *error = nullptr);

} // namespace ICalendarMapping
