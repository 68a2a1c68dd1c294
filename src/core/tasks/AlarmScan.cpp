#include "AlarmScan.h"

#include "TaskInfo.h"

#include <QStringList>

#include <cmath>

namespace {

const QDate kEpoch(1899, 12, 30);
constexpr qint64 kMsecsPerDay = 86400000;

const TTaskInfo *taskOf(const ItemNode *node)
{
    return node && node->info ? node->as<TTaskInfo>() : nullptr;
}

bool isArmed(const TTaskInfo *task)
{
    return task && task->alarmFlag && !task->checkFlag;
}

struct Interval
{
    const char *name;
    int count;
    enum Unit
    {
        Minutes,
        Hours,
        Days
    } unit;
};

const Interval kIntervals[] = {
    {"5 Minutes", 5, Interval::Minutes},   {"10 Minutes", 10, Interval::Minutes},
    {"15 Minutes", 15, Interval::Minutes}, {"30 Minutes", 30, Interval::Minutes},
    {"45 Minutes", 45, Interval::Minutes}, {"1 Hour", 1, Interval::Hours},
    {"2 Hours", 2, Interval::Hours},       {"3 Hours", 3, Interval::Hours},
    {"4 Hours", 4, Interval::Hours},       {"5 Hours", 5, Interval::Hours},
    {"6 Hours", 6, Interval::Hours},       {"7 Hours", 7, Interval::Hours},
    {"8 Hours", 8, Interval::Hours},       {"1 Day", 1, Interval::Days},
    {"2 Days", 2, Interval::Days},         {"3 Days", 3, Interval::Days},
    {"4 Days", 4, Interval::Days},         {"5 Days", 5, Interval::Days},
    {"6 Days", 6, Interval::Days},         {"1 Week", 7, Interval::Days},
    {"2 Weeks", 14, Interval::Days},       {"3 Weeks", 21, Interval::Days},
};

} // namespace

// ---- day and time -----------------------------------------------------------------------

QDate DayOf(TDateTime moment)
{
    if (!std::isfinite(moment) || std::fabs(moment) > 2958466.0)
        return {};
    // Before the epoch the whole part counts down while the fraction counts forward, so
    // the day is the whole part in both directions.
    return kEpoch.addDays(qint64(std::trunc(moment)));
}

QTime TimeOfDay(TDateTime moment)
{
    if (!std::isfinite(moment) || std::fabs(moment) > 2958466.0)
        return QTime(0, 0);
    qint64 msecs = std::llround(std::fabs(moment - std::trunc(moment)) * double(kMsecsPerDay));
    // A fraction a hair below one whole day rounds to midnight of the same day.
    if (msecs >= kMsecsPerDay)
        msecs = kMsecsPerDay - 1;
    return QTime::fromMSecsSinceStartOfDay(int(msecs));
}

TDateTime DayAndTime(const QDate &day, const QTime &time)
{
    if (!day.isValid())
        return 0;
    const qint64 days = kEpoch.daysTo(day);
    const double fraction =
        time.isValid() ? double(time.msecsSinceStartOfDay()) / double(kMsecsPerDay) : 0.0;
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

// ---- snooze -----------------------------------------------------------------------------

const QStringList &Snooze::names()
{
    static const QStringList list = [] {
        QStringList names;
        for (const Interval &interval : kIntervals)
            names.append(QString::fromLatin1(interval.name));
        return names;
    }();
    return list;
}

TDateTime Snooze::until(TDateTime moment, int item)
{
    if (item < 0 || item >= int(std::size(kIntervals)))
        item = 0;
    const Interval &interval = kIntervals[item];
    switch (interval.unit) {
    case Interval::Minutes:
        return moment + double(interval.count) / 1440.0;
    case Interval::Hours:
        return moment + double(interval.count) / 24.0;
    case Interval::Days:
        break;
    }
    return moment + double(interval.count);
}

// ---- the scan ---------------------------------------------------------------------------

bool AlarmScan::isDue(const ItemNode *node, TDateTime now)
{
    const TTaskInfo *task = taskOf(node);
    return isArmed(task) && NotLaterThan(task->alarmTime, now);
}

void AlarmScan::clear()
{
    m_times.clear();
    m_byNode.clear();
}

void AlarmScan::rebuild(const ItemTreeModel &model)
{
    clear();
    model.forEachNode([this](ItemNode *node) { insert(node); });
}

void AlarmScan::insert(const ItemNode *node)
{
    const TTaskInfo *task = taskOf(node);
    if (!isArmed(task))
        return;
    const ItemNode *top = node->level() == 1 ? node->parent : node;
    m_times.emplace(task->alarmTime, node);
    m_byNode.emplace(node, Entry{task->alarmTime, top, top->position()});
}

void AlarmScan::erase(const ItemNode *node)
{
    const auto it = m_byNode.find(node);
    if (it == m_byNode.end())
        return;
    m_times.erase({it->second.time, node});
    m_byNode.erase(it);
}

void AlarmScan::update(const ItemNode *node)
{
    erase(node);
    insert(node);
}

void AlarmScan::remove(const ItemNode *node)
{
    if (node == nullptr)
        return;
    erase(node);
    for (const auto &child : node->children)
        erase(child.get());
}

bool AlarmScan::topIsLive(const ItemTreeModel &model, Entry &entry) const
{
    const auto &tops = model.root()->children;
    const size_t hint = size_t(entry.topPosition);
    if (hint < tops.size() && tops[hint].get() == entry.top)
        return true;
    // Sorted or moved since: look for the address (the vector is compared, nothing is read
    // through the stored address).
    for (size_t i = 0; i < tops.size(); ++i) {
        if (tops[i].get() == entry.top) {
            entry.topPosition = int(i);
            return true;
        }
    }
    return false;
}

ItemNode *AlarmScan::dueTask(const ItemTreeModel &model, TDateTime now)
{
    // Nothing armed has come due: the common tick ends here.
    if (m_times.empty() || !NotLaterThan(m_times.begin()->first, now))
        return nullptr;

    // Of the tasks that have come due, the first in tree order.
    ItemNode *first = nullptr;
    std::pair<int, int> firstOrder;
    for (auto it = m_times.begin(); it != m_times.end() && NotLaterThan(it->first, now); ++it) {
        const ItemNode *node = it->second;
        Entry &entry = m_byNode.at(node);
        ItemNode *live = nullptr;
        if (topIsLive(model, entry)) {
            auto *top = const_cast<ItemNode *>(entry.top);
            if (node == top) {
                live = top;
            } else {
                for (const auto &child : top->children) {
                    if (child.get() == node) {
                        live = child.get();
                        break;
                    }
                }
            }
        }
        // Gone or moved without the scan being told, or changed behind its back.
        if (live == nullptr || !isDue(live, now))
            return walk(model, now);
        const std::pair<int, int> order =
            live == entry.top ? std::pair(live->position(), -1)
                              : std::pair(live->parent->position(), live->position());
        if (first == nullptr || order < firstOrder) {
            first = live;
            firstOrder = order;
        }
    }
    return first;
}

ItemNode *AlarmScan::walk(const ItemTreeModel &model, TDateTime now)
{
    ++m_walks;
    rebuild(model);
    const ItemNode *root = model.root();
    for (const auto &top : root->children) {
        if (isDue(top.get(), now))
            return top.get();
        for (const auto &child : top->children) {
            if (isDue(child.get(), now))
                return child.get();
        }
    }
    return nullptr;
}
