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
// written by this program or another: the item's own properties are written anew as
// ToICalendar writes them, and everything else of the older object (PRIORITY, CATEGORIES,
// RRULE, DTSTART, LOCATION, other programs' X- properties, alarms the program cannot read,
// the time zones they use) is kept as it was, so an edit here loses nothing another program
// put there. SEQUENCE counts up. An older object that holds no such component gives the
// plain ToICalendar object. keeps, when given, tells whether anything of the older object
// was kept (a count of SEQUENCE aside).
QByteArray UpdatedObject(const QByteArray &older, const TTaskInfo &task, bool *keeps = nullptr);
QByteArray UpdatedObject(const QByteArray &older, const TMemoInfo &memo, bool *keeps = nullptr);

// Reads every VTODO and VJOURNAL of a text of one or more VCALENDARs; other components are
// passed over. False (error receives why) when the text holds no calendar object. Items
// keep their UID as key; the tree is made two-level as Calendar describes, nothing is
// dropped.
bool FromICalendar(const QByteArray &text, Calendar *calendar, QString *error = nullptr);

} // namespace ICalendarMapping
