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
#include "sync/ICalendarReader.h"
#include "tasks/TaskInfo.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <utility>

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
    // Reminders whose moment lies outside the dates the program holds (years 1 to 9999),
    // left unarmed.
    int unarmed = 0;
};

// The text that tells about reminders left unarmed, for the end of an import's summary.
QString UnarmedText(int unarmed);

// The two-level tree of one list of a calendar, worked out from each item's UID and the
// parent it names, in time linear in the number of items: a child whose ancestors lead to an
// item without a parent in the list goes under that top-level item; one whose parent is
// missing, or whose ancestors go round in a circle, becomes top-level.
class TreePlan
{
public:
    // The next item of the list, in the order of the file: its UID and its parent's UID as
    // written (empty for none). An empty, reserved ("root") or repeated UID gets a fresh key.
    void add(const QString &uid, const QString &parent);
    // Works the tree out once every item is added; with freshKeys every item gets a new key.
    void finish(bool freshKeys, int *moved, int *rekeyed);

    qsizetype size() const { return m_keys.size(); }
    const RowKey &key(qsizetype i) const { return m_keys[i]; }
    // "root" for a top-level item, else its top-level item's key.
    RowKey pid(qsizetype i) const;
    // The items in tree order: a top-level item and then its children, in the file's order.
    QList<qsizetype> treeOrder() const;

private:
    QList<RowKey> m_keys;
    QList<std::pair<qsizetype, QString>> m_parents; // the items naming a parent
    QHash<QString, qsizetype> m_byKey;
    QList<qsizetype> m_top; // each item's top-level item (itself for a top-level one)
};

// Which components of one list of a calendar (given in its order by their UIDs and whether
// each is an overridden occurrence) are items of their own: every one but an occurrence of
// a series whose master (the same UID, no RECURRENCE-ID) the list holds, for a series is one
// item, its master. An occurrence without its master is an item of its own.
QList<bool> ItemsOfSeries(const QList<std::pair<QString, bool>> &components);

// Reads the VTODO and VJOURNAL objects of one text one at a time, with the VTIMEZONEs seen
// before them. A TZID the system knows (by its name, a Windows name, or a name with a path
// before it) is read with the system's zone; another one with the calendar's VTIMEZONE when
// that is small and plain (at most 100 yearly rules), else on the local clock.
class ObjectReader
{
public:
    ObjectReader();
    ~ObjectReader();
    ObjectReader(const ObjectReader &) = delete;
    ObjectReader &operator=(const ObjectReader &) = delete;

    void addTimeZone(const ICalendarReader::Object &zone);
    // The item of a VTODO or VJOURNAL, its key its UID (the parent is the object's).
    void read(const ICalendarReader::Object &object, TTaskInfo *task);
    void read(const ICalendarReader::Object &object, TMemoInfo *memo);
    // Reminders left unarmed so far.
    int unarmed() const { return m_unarmed; }

    struct Zones;

private:
    std::unique_ptr<Zones> m_zones;
    int m_unarmed = 0;
};

// The head and the tail of the calendar that ToICalendar writes, and one task's or memo's
// component between them, for writing a calendar piece by piece.
QByteArray CalendarHead();
QByteArray CalendarTail();
QByteArray TaskObject(const TTaskInfo &task);
QByteArray MemoObject(const TMemoInfo &memo);

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
// passed over. False (error receives why) when the text holds no calendar object, or one of
// its parts is larger than ICalendarReader allows. Items
// keep their UID as key; the tree is made two-level as Calendar describes, nothing is
// dropped.
bool FromICalendar(const QByteArray &text, Calendar *calendar, QString *error = nullptr);

} // namespace ICalendarMapping
