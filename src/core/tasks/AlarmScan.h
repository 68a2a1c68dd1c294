// The reminder side of the to-do list without widgets: which task's alarm is due on a tick
// of the scan, the snooze intervals of the alarm window, and the day-and-time arithmetic of
// the due-date and reminder dialogs.
#pragma once

#include "common/ItemTree.h"
#include "common/pU_Funcs.h"

#include <QDate>
#include <QString>
#include <QTime>

#include <set>
#include <unordered_map>
#include <utility>

// One millisecond on the day scale: moments closer than this count as equal.
inline constexpr TDateTime kOneMillisecond = 1.0 / 86400000.0;

// Whether moment is not later than now (a difference under one millisecond counts as
// equal). A reminder whose time is not later than now is due.
inline bool NotLaterThan(TDateTime moment, TDateTime now)
{
    return moment - now < kOneMillisecond;
}

// A date-time's day and its time of day, and the two put together again, on the program's
// day scale and without any time-zone conversion (a wall-clock time that a clock change
// skips stays what it is).
QDate DayOf(TDateTime moment);
QTime TimeOfDay(TDateTime moment);
TDateTime DayAndTime(const QDate &day, const QTime &time);

// The alarm window's snooze intervals, in list order.
namespace Snooze {
// The 22 items, from "5 Minutes" to "3 Weeks".
const QStringList &names();
// The reminder time for a click at moment with the given item selected: minutes and hours
// are added on the day-fraction scale, days and weeks as whole days.
TDateTime until(TDateTime moment, int item);
} // namespace Snooze

// The armed reminders of a task tree.
//
// A tick has to find the first task in tree order that is incomplete, armed and not later
// than now, among every task (children of collapsed tasks and tasks hidden by the view or
// search too). The scan keeps the armed, incomplete tasks ordered by reminder time, so that
// a tick on which nothing is due costs one comparison, and a tick on which some are due
// looks at those alone and takes the first of them in tree order, whatever the size of the
// list.
//
// The owner reports every change of a task's checkFlag, alarmFlag or alarmTime (update) and
// every task that leaves the tree (remove, clear, rebuild). As a safeguard the scan reads a
// task through its entry only after finding the node among its parent's children: a task
// that went unreported is never touched, and the tree is then walked once as a whole and
// the index read again.
class AlarmScan
{
public:
    // Reads the reminders of every task of the tree again (after a reload).
    void rebuild(const ItemTreeModel &model);
    void clear();
    // Reads a task's checkFlag, alarmFlag and alarmTime again after one of them changed.
    void update(const ItemNode *node);
    // Forgets a node that leaves the tree (with its children when it is a top-level node).
    void remove(const ItemNode *node);

    // The task whose alarm is to be raised at now: the first incomplete, armed task in tree
    // order whose reminder time is not later than now; null when there is none.
    ItemNode *dueTask(const ItemTreeModel &model, TDateTime now);

    // Whether a task's alarm counts at now.
    static bool isDue(const ItemNode *node, TDateTime now);

    // The armed, incomplete tasks the index holds.
    int armedCount() const { return int(m_times.size()); }
    // The earliest reminder time the index holds, or 0 when it holds none.
    TDateTime nextTime() const { return m_times.empty() ? 0 : m_times.begin()->first; }
    // How often a tick had to walk the whole tree (an unreported change).
    int walks() const { return m_walks; }

private:
    struct Entry
    {
        TDateTime time;
        const ItemNode *top; // the top-level task it belongs to (itself for a top-level task)
        int topPosition;     // where that task stood when last seen (a hint)
    };
    // Whether entry's top-level task is still in the tree, by address alone; refreshes the
    // position hint.
    bool topIsLive(const ItemTreeModel &model, Entry &entry) const;
    void insert(const ItemNode *node);
    void erase(const ItemNode *node);
    // The first due task in tree order found by walking the whole tree; reads the index again.
    ItemNode *walk(const ItemTreeModel &model, TDateTime now);

    std::set<std::pair<TDateTime, const ItemNode *>> m_times;
    std::unordered_map<const ItemNode *, Entry> m_byNode;
    int m_walks = 0;
};
