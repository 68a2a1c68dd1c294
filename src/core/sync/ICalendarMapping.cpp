#include "sync/ICalendarMapping.h"

#include "common/Texts.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QTimeZone>

#include <libical/ical.h>

#include <cmath>
#include <memory>

namespace ICalendarMapping {

namespace {

const char *const kProductId = "-//Ploxen Software//Tasklume//EN";
const char *const kExactDays = "X-TASKLUME-DAYS";
const char *const kExpanded = "X-TASKLUME-EXPANDED";
const char *const kTextColor = "X-TASKLUME-TEXT-COLOR";
const char *const kBackgroundColor = "X-TASKLUME-BACKGROUND-COLOR";
const char *const kContent = "X-TASKLUME-CONTENT";
const char *const kCheckTime = "X-TASKLUME-CHECK-TIME";
const char *const kDueTime = "X-TASKLUME-DUE-TIME";
const char *const kAlarmTime = "X-TASKLUME-ALARM-TIME";
const char *const kAssignTime = "X-TASKLUME-ASSIGN-TIME";

struct ComponentDeleter
{
    void operator()(icalcomponent *c) const { icalcomponent_free(c); }
};
using ComponentPtr = std::unique_ptr<icalcomponent, ComponentDeleter>;

QByteArray daysText(TDateTime days)
{
    return QByteArray::number(days, 'g', 17);
}

icaltimetype utcTime(const QDateTime &dateTime)
{
    return icaltime_from_timet_with_zone(time_t(dateTime.toSecsSinceEpoch()), 0,
                                         icaltimezone_get_utc_timezone());
}

void addExactDays(icalproperty *property, TDateTime days)
{
    icalparameter *parameter = icalparameter_new_x(daysText(days).constData());
    icalparameter_set_xname(parameter, kExactDays);
    icalproperty_add_parameter(property, parameter);
}

// A UTC date-time property for a time, with its exact value where the seconds lose some.
icalproperty *timeProperty(icalproperty *property, TDateTime days)
{
    if (DaysToDateTime(days).time().msec() != 0)
        addExactDays(property, days);
    return property;
}

void addTime(icalcomponent *component, icalproperty *(*make)(icaltimetype), TDateTime days)
{
    if (days == 0 || !DaysToDateTime(days).isValid())
        return;
    icalcomponent_add_property(component, timeProperty(make(utcTime(DaysToDateTime(days))), days));
}

icalproperty *newX(const char *name, const QByteArray &value)
{
    icalproperty *property = icalproperty_new_x(value.constData());
    icalproperty_set_x_name(property, name);
    return property;
}

void addXTime(icalcomponent *component, const char *name, TDateTime days)
{
    const QDateTime dateTime = DaysToDateTime(days);
    if (days == 0 || !dateTime.isValid())
        return;
    icalproperty *property = newX(name, icaltime_as_ical_string(utcTime(dateTime)));
    icalcomponent_add_property(component, timeProperty(property, days));
}

// The text with its CR LF line breaks as the LF line breaks of iCalendar.
QString lineFeeds(const QString &text)
{
    QString result = text;
    result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return result;
}

// The program's form of an iCalendar text: CR LF line breaks.
QString programLineBreaks(const QString &text)
{
    QString result = lineFeeds(text);
    result.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return result;
}

void addCommon(icalcomponent *component, const ItemInfo &item)
{
    const QByteArray uid = item.key.toUtf8();
    icalcomponent_add_property(component, icalproperty_new_uid(uid.constData()));
    icalcomponent_add_property(component,
                               icalproperty_new_dtstamp(utcTime(QDateTime::currentDateTimeUtc())));
    const QString text = lineFeeds(item.content);
    icalcomponent_add_property(
        component,
        icalproperty_new_summary(text.section(QLatin1Char('\n'), 0, 0).toUtf8().constData()));
    icalcomponent_add_property(component, icalproperty_new_description(text.toUtf8().constData()));
    // A text whose line breaks are not all CR LF keeps its exact form beside the standard one.
    if (programLineBreaks(item.content) != item.content)
        icalcomponent_add_property(component, newX(kContent, item.content.toUtf8().toBase64()));
    if (!item.pid.isEmpty() && item.pid != Texts::RootKey) {
        icalproperty *related = icalproperty_new_relatedto(item.pid.toUtf8().constData());
        icalproperty_add_parameter(related, icalparameter_new_reltype(ICAL_RELTYPE_PARENT));
        icalcomponent_add_property(component, related);
    }
    addTime(component, icalproperty_new_created, item.createTime);
    addTime(component, icalproperty_new_lastmodified, item.editTime);
    icalcomponent_add_property(component, newX(kExpanded, item.expandFlag ? "1" : "0"));
}

icalcomponent *taskComponent(const TTaskInfo &task)
{
    icalcomponent *todo = icalcomponent_new(ICAL_VTODO_COMPONENT);
    addCommon(todo, task);
    icalcomponent_add_property(
        todo,
        icalproperty_new_status(task.checkFlag ? ICAL_STATUS_COMPLETED : ICAL_STATUS_NEEDSACTION));
    if (task.checkFlag) {
        addTime(todo, icalproperty_new_completed, task.checkTime);
        icalcomponent_add_property(todo, icalproperty_new_percentcomplete(100));
    } else {
        addXTime(todo, kCheckTime, task.checkTime);
    }
    const QDateTime due = DaysToDateTime(task.dueTime);
    if (task.dueFlag && task.dueTime != 0 && due.isValid()) {
        icaltimetype date = icaltime_null_date();
        date.year = due.date().year();
        date.month = due.date().month();
        date.day = due.date().day();
        icalproperty *property = icalproperty_new_due(date);
        if (due.time() != QTime(0, 0))
            addExactDays(property, task.dueTime);
        icalcomponent_add_property(todo, property);
    } else {
        addXTime(todo, kDueTime, task.dueTime);
    }
    const QDateTime alarm = DaysToDateTime(task.alarmTime);
    if (task.alarmFlag && task.alarmTime != 0 && alarm.isValid()) {
        icalcomponent *valarm = icalcomponent_new(ICAL_VALARM_COMPONENT);
        icalcomponent_add_property(valarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
        icaltriggertype trigger = icaltriggertype_from_int(0);
        trigger.time = utcTime(alarm);
        icalcomponent_add_property(valarm,
                                   timeProperty(icalproperty_new_trigger(trigger), task.alarmTime));
        const QString text = lineFeeds(task.content).section(QLatin1Char('\n'), 0, 0);
        icalcomponent_add_property(valarm, icalproperty_new_description(text.toUtf8().constData()));
        icalcomponent_add_component(todo, valarm);
    } else {
        addXTime(todo, kAlarmTime, task.alarmTime);
    }
    icalcomponent_add_property(todo, newX(kTextColor, QByteArray::number(task.textColor)));
    icalcomponent_add_property(todo,
                               newX(kBackgroundColor, QByteArray::number(task.backgroundColor)));
    return todo;
}

icalcomponent *memoComponent(const TMemoInfo &memo)
{
    icalcomponent *journal = icalcomponent_new(ICAL_VJOURNAL_COMPONENT);
    addCommon(journal, memo);
    addXTime(journal, kAssignTime, memo.assignTime);
    return journal;
}

// ---- reading ------------------------------------------------------------------------------

const char *exactDaysOf(icalproperty *property)
{
    for (icalparameter *p = icalproperty_get_first_parameter(property, ICAL_X_PARAMETER); p;
         p = icalproperty_get_next_parameter(property, ICAL_X_PARAMETER)) {
        const char *name = icalparameter_get_xname(p);
        if (name && qstricmp(name, kExactDays) == 0)
            return icalparameter_get_xvalue(p);
    }
    return nullptr;
}

// The moment an iCalendar time stands for: UTC, in its zone, or (floating, or a date) on the
// local clock.
QDateTime momentOf(const icaltimetype &time)
{
    if (icaltime_is_null_time(time) || !icaltime_is_valid_time(time))
        return {};
    const QDate date(time.year, time.month, time.day);
    if (time.is_date)
        return QDateTime(date, QTime(0, 0));
    if (icaltime_is_utc(time))
        return QDateTime(date, QTime(time.hour, time.minute, time.second), QTimeZone::utc());
    if (time.zone)
        return QDateTime::fromSecsSinceEpoch(qint64(icaltime_as_timet_with_zone(time, time.zone)));
    return QDateTime(date, QTime(time.hour, time.minute, time.second));
}

// The program's time of a property's value, the exact value it carries where that agrees.
TDateTime daysOf(icalproperty *property, const icaltimetype &time)
{
    const QDateTime moment = momentOf(time);
    if (!moment.isValid())
        return 0;
    if (const char *exact = exactDaysOf(property)) {
        bool ok = false;
        const double days = QByteArray(exact).toDouble(&ok);
        const QDateTime exactMoment =
            ok && std::isfinite(days) ? DaysToDateTime(days) : QDateTime();
        if (exactMoment.isValid()) {
            const bool agrees = time.is_date
                                    ? exactMoment.date() == moment.toLocalTime().date()
                                    : exactMoment.toSecsSinceEpoch() == moment.toSecsSinceEpoch();
            if (agrees)
                return days;
        }
    }
    return DateTimeToDays(moment);
}

TDateTime timeOf(icalcomponent *component, icalproperty_kind kind)
{
    icalproperty *property = icalcomponent_get_first_property(component, kind);
    if (!property)
        return 0;
    return daysOf(property, icalproperty_get_datetime_with_component(property, component));
}

icalproperty *xProperty(icalcomponent *component, const char *name)
{
    for (icalproperty *p = icalcomponent_get_first_property(component, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(component, ICAL_X_PROPERTY)) {
        const char *xname = icalproperty_get_x_name(p);
        if (xname && qstricmp(xname, name) == 0)
            return p;
    }
    return nullptr;
}

std::optional<QByteArray> xText(icalcomponent *component, const char *name)
{
    icalproperty *property = xProperty(component, name);
    if (!property)
        return std::nullopt;
    const char *value = icalproperty_get_x(property);
    return QByteArray(value ? value : "");
}

TDateTime xTime(icalcomponent *component, const char *name)
{
    icalproperty *property = xProperty(component, name);
    if (!property)
        return 0;
    const char *value = icalproperty_get_x(property);
    if (!value)
        return 0;
    return daysOf(property, icaltime_from_string(value));
}

QString textOf(icalproperty *property)
{
    if (!property)
        return {};
    const icalvalue *value = icalproperty_get_value(property);
    const char *text = value ? icalvalue_get_text(value) : nullptr;
    return text ? QString::fromUtf8(text) : QString();
}

void readCommon(icalcomponent *component, ItemInfo &item, QString *parent)
{
    const char *uid = icalcomponent_get_uid(component);
    item.key = QString::fromUtf8(uid ? uid : "");
    const QString summary =
        lineFeeds(textOf(icalcomponent_get_first_property(component, ICAL_SUMMARY_PROPERTY)));
    icalproperty *descriptionProperty =
        icalcomponent_get_first_property(component, ICAL_DESCRIPTION_PROPERTY);
    const QString description = lineFeeds(textOf(descriptionProperty));
    // The program writes the whole text in the description; other programs often keep the
    // first line apart in the summary and the rest in the description.
    QString text;
    if (!descriptionProperty || description.isEmpty())
        text = summary;
    else if (summary.isEmpty() || description.section(QLatin1Char('\n'), 0, 0) == summary)
        text = description;
    else
        text = summary + QLatin1Char('\n') + description;
    item.content = programLineBreaks(text);
    if (const auto exact = xText(component, kContent)) {
        const QString content = QString::fromUtf8(QByteArray::fromBase64(*exact));
        if (lineFeeds(content) == text)
            item.content = content;
    }
    parent->clear();
    for (icalproperty *p = icalcomponent_get_first_property(component, ICAL_RELATEDTO_PROPERTY); p;
         p = icalcomponent_get_next_property(component, ICAL_RELATEDTO_PROPERTY)) {
        icalparameter *reltype = icalproperty_get_first_parameter(p, ICAL_RELTYPE_PARAMETER);
        // RELTYPE is PARENT when it is not given.
        if (reltype && icalparameter_get_reltype(reltype) != ICAL_RELTYPE_PARENT)
            continue;
        const char *value = icalproperty_get_relatedto(p);
        *parent = QString::fromUtf8(value ? value : "");
        break;
    }
    item.createTime = timeOf(component, ICAL_CREATED_PROPERTY);
    item.editTime = timeOf(component, ICAL_LASTMODIFIED_PROPERTY);
    const std::optional<QByteArray> expanded = xText(component, kExpanded);
    item.expandFlag = expanded.value_or("0") == "1";
    // An item of another program without these times gets the time its object was made.
    if (!expanded) {
        if (item.editTime == 0)
            item.editTime = timeOf(component, ICAL_DTSTAMP_PROPERTY);
        if (item.createTime == 0)
            item.createTime = item.editTime;
    }
}

qint32 colourOf(icalcomponent *component, const char *name)
{
    bool ok = false;
    const qint32 value = xText(component, name).value_or("0").trimmed().toInt(&ok);
    return ok ? value : 0;
}

// The alarm time of a VALARM: its absolute trigger, or its relative one from the start or
// the due time of the task.
TDateTime alarmOf(icalcomponent *todo, icalcomponent *valarm)
{
    icalproperty *property = icalcomponent_get_first_property(valarm, ICAL_TRIGGER_PROPERTY);
    if (!property)
        return 0;
    const icaltriggertype trigger = icalproperty_get_trigger(property);
    if (!icaltime_is_null_time(trigger.time))
        return daysOf(property, trigger.time);
    icalparameter *related = icalproperty_get_first_parameter(property, ICAL_RELATED_PARAMETER);
    const bool fromEnd = related && icalparameter_get_related(related) == ICAL_RELATED_END;
    icalproperty *anchor =
        icalcomponent_get_first_property(todo, fromEnd ? ICAL_DUE_PROPERTY : ICAL_DTSTART_PROPERTY);
    if (!anchor)
        return 0;
    const QDateTime start = momentOf(icalproperty_get_datetime_with_component(anchor, todo));
    if (!start.isValid())
        return 0;
    return DateTimeToDays(start.addSecs(icaldurationtype_as_int(trigger.duration)));
}

void readTask(icalcomponent *todo, TTaskInfo &task, QString *parent)
{
    readCommon(todo, task, parent);
    icalproperty *status = icalcomponent_get_first_property(todo, ICAL_STATUS_PROPERTY);
    icalproperty *percent = icalcomponent_get_first_property(todo, ICAL_PERCENTCOMPLETE_PROPERTY);
    icalproperty *completed = icalcomponent_get_first_property(todo, ICAL_COMPLETED_PROPERTY);
    task.checkFlag =
        (status && icalproperty_get_status(status) == ICAL_STATUS_COMPLETED) ||
        (!status && (completed || (percent && icalproperty_get_percentcomplete(percent) >= 100)));
    task.checkTime =
        task.checkFlag ? timeOf(todo, ICAL_COMPLETED_PROPERTY) : xTime(todo, kCheckTime);
    if (task.checkFlag && task.checkTime == 0)
        task.checkTime = task.editTime;
    task.dueTime = timeOf(todo, ICAL_DUE_PROPERTY);
    task.dueFlag = task.dueTime != 0;
    if (!task.dueFlag)
        task.dueTime = xTime(todo, kDueTime);
    task.alarmFlag = false;
    for (icalcomponent *valarm = icalcomponent_get_first_component(todo, ICAL_VALARM_COMPONENT);
         valarm; valarm = icalcomponent_get_next_component(todo, ICAL_VALARM_COMPONENT)) {
        const TDateTime alarm = alarmOf(todo, valarm);
        if (alarm != 0) {
            task.alarmFlag = true;
            task.alarmTime = alarm;
            break;
        }
    }
    if (!task.alarmFlag)
        task.alarmTime = xTime(todo, kAlarmTime);
    task.textColor = colourOf(todo, kTextColor);
    task.backgroundColor = colourOf(todo, kBackgroundColor);
}

void readMemo(icalcomponent *journal, TMemoInfo &memo, QString *parent)
{
    readCommon(journal, memo, parent);
    memo.assignTime = xTime(journal, kAssignTime);
}

// Gives every item a key of its own and makes the tree two-level: a child whose ancestors
// lead to an item without a parent in the list goes under that top-level item; one whose
// parent is missing, or whose ancestors go round in a circle, becomes top-level. The list
// comes back in tree order.
template <typename Info>
QList<Info> twoLevels(QList<Info> items, const QStringList &parents, Calendar *calendar)
{
    QHash<QString, qsizetype> byKey;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString key = items[i].key;
        if (key.isEmpty() || key == Texts::RootKey || byKey.contains(key)) {
            items[i].key = NewRowKey();
            ++calendar->rekeyed;
        }
        byKey.insert(items[i].key, i);
    }
    // The index of each item's parent in the file, -1 for none.
    QList<qsizetype> parentOf(items.size(), -1);
    for (qsizetype i = 0; i < items.size(); ++i) {
        const auto found = byKey.constFind(parents[i]);
        if (!parents[i].isEmpty() && parents[i] != Texts::RootKey && found != byKey.constEnd() &&
            *found != i)
            parentOf[i] = *found;
        else if (!parents[i].isEmpty() && parents[i] != Texts::RootKey)
            ++calendar->moved; // its parent is not in the file
    }
    QList<qsizetype> topOf(items.size(), -1);
    for (qsizetype i = 0; i < items.size(); ++i) {
        QSet<qsizetype> seen{i};
        qsizetype at = i;
        int steps = 0;
        while (parentOf[at] >= 0 && !seen.contains(parentOf[at])) {
            at = parentOf[at];
            seen.insert(at);
            ++steps;
        }
        if (parentOf[at] >= 0) {
            topOf[i] = i; // a circle: top-level
            ++calendar->moved;
        } else {
            topOf[i] = at;
            if (steps > 1)
                ++calendar->moved;
        }
    }
    QHash<qsizetype, QList<qsizetype>> children;
    for (qsizetype i = 0; i < items.size(); ++i)
        if (topOf[i] != i)
            children[topOf[i]].append(i);
    QList<Info> result;
    result.reserve(items.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (topOf[i] != i)
            continue;
        items[i].pid = Texts::RootKey;
        result.append(items[i]);
        for (const qsizetype child : children.value(i)) {
            items[child].pid = items[i].key;
            result.append(items[child]);
        }
    }
    return result;
}

void readCalendar(icalcomponent *calendar, QList<TTaskInfo> &tasks, QStringList &taskParents,
                  QList<TMemoInfo> &memos, QStringList &memoParents)
{
    QString parent;
    for (icalcomponent *c = icalcomponent_get_first_component(calendar, ICAL_ANY_COMPONENT); c;
         c = icalcomponent_get_next_component(calendar, ICAL_ANY_COMPONENT)) {
        const icalcomponent_kind kind = icalcomponent_isa(c);
        if (kind == ICAL_VTODO_COMPONENT) {
            TTaskInfo task;
            readTask(c, task, &parent);
            tasks.append(task);
            taskParents.append(parent);
        } else if (kind == ICAL_VJOURNAL_COMPONENT) {
            TMemoInfo memo;
            readMemo(c, memo, &parent);
            memos.append(memo);
            memoParents.append(parent);
        }
    }
}

} // namespace

QByteArray ToICalendar(const QList<TTaskInfo> &tasks, const QList<TMemoInfo> &memos)
{
    ComponentPtr calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid(kProductId));
    for (const TTaskInfo &task : tasks)
        icalcomponent_add_component(calendar.get(), taskComponent(task));
    for (const TMemoInfo &memo : memos)
        icalcomponent_add_component(calendar.get(), memoComponent(memo));
    char *text = icalcomponent_as_ical_string_r(calendar.get());
    QByteArray result(text);
    icalmemory_free_buffer(text);
    return result;
}

namespace {

// Whether a property of an older object is one the program writes anew for the item.
bool writtenAnew(icalproperty *property, icalcomponent_kind kind, bool checked)
{
    switch (icalproperty_isa(property)) {
    case ICAL_UID_PROPERTY:
    case ICAL_DTSTAMP_PROPERTY:
    case ICAL_SUMMARY_PROPERTY:
    case ICAL_DESCRIPTION_PROPERTY:
    case ICAL_CREATED_PROPERTY:
    case ICAL_LASTMODIFIED_PROPERTY:
    case ICAL_SEQUENCE_PROPERTY:
        return true;
    case ICAL_STATUS_PROPERTY:
        // An open task keeps the other program's kind of open (in process, cancelled).
        return kind == ICAL_VTODO_COMPONENT &&
               (checked || icalproperty_get_status(property) == ICAL_STATUS_COMPLETED);
    case ICAL_COMPLETED_PROPERTY:
    case ICAL_DUE_PROPERTY:
        return kind == ICAL_VTODO_COMPONENT;
    case ICAL_PERCENTCOMPLETE_PROPERTY:
        // A task in progress keeps its percentage while it stays open here; one that was
        // done and is open again loses its 100.
        return checked || icalproperty_get_percentcomplete(property) >= 100;
    case ICAL_RELATEDTO_PROPERTY: {
        icalparameter *reltype = icalproperty_get_first_parameter(property, ICAL_RELTYPE_PARAMETER);
        return !reltype || icalparameter_get_reltype(reltype) == ICAL_RELTYPE_PARENT;
    }
    case ICAL_X_PROPERTY: {
        const char *name = icalproperty_get_x_name(property);
        return name && QByteArray(name).startsWith("X-TASKLUME-");
    }
    default:
        return false;
    }
}

template <typename Info>
QByteArray updatedObject(const QByteArray &older, const Info &item, icalcomponent_kind kind,
                         bool checked, bool armed, icalcomponent *fresh, bool *keeps)
{
    bool kept = false;
    ComponentPtr calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid(kProductId));
    icalcomponent_add_component(calendar.get(), fresh);

    ComponentPtr root(icalparser_parse_string(older.constData()));
    icalcomponent *oldCalendar = root.get();
    if (oldCalendar && icalcomponent_isa(oldCalendar) == ICAL_XROOT_COMPONENT)
        oldCalendar = icalcomponent_get_first_component(oldCalendar, ICAL_VCALENDAR_COMPONENT);
    icalcomponent *old = nullptr;
    if (oldCalendar && icalcomponent_isa(oldCalendar) == ICAL_VCALENDAR_COMPONENT) {
        const QByteArray uid = item.key.toUtf8();
        for (icalcomponent *c = icalcomponent_get_first_component(oldCalendar, kind); c;
             c = icalcomponent_get_next_component(oldCalendar, kind)) {
            const char *cUid = icalcomponent_get_uid(c);
            if (!old || (cUid && uid == cUid))
                old = c;
        }
    }
    if (old) {
        for (icalproperty *p = icalcomponent_get_first_property(old, ICAL_ANY_PROPERTY); p;
             p = icalcomponent_get_next_property(old, ICAL_ANY_PROPERTY)) {
            if (icalproperty_isa(p) == ICAL_STATUS_PROPERTY && !writtenAnew(p, kind, checked)) {
                if (icalproperty *ours =
                        icalcomponent_get_first_property(fresh, ICAL_STATUS_PROPERTY)) {
                    icalcomponent_remove_property(fresh, ours);
                    icalproperty_free(ours);
                }
            }
            if (icalproperty_isa(p) == ICAL_SEQUENCE_PROPERTY)
                icalcomponent_add_property(
                    fresh, icalproperty_new_sequence(icalproperty_get_sequence(p) + 1));
            else if (!writtenAnew(p, kind, checked)) {
                icalcomponent_add_property(fresh, icalproperty_new_clone(p));
                kept = true;
            }
        }
        // The first alarm the program can read is the task's own alarm, written anew; the
        // others stay while the task's alarm is armed and go when it is turned off here.
        bool replaced = false;
        for (icalcomponent *c = icalcomponent_get_first_component(old, ICAL_ANY_COMPONENT); c;
             c = icalcomponent_get_next_component(old, ICAL_ANY_COMPONENT)) {
            if (icalcomponent_isa(c) == ICAL_VALARM_COMPONENT && kind == ICAL_VTODO_COMPONENT &&
                alarmOf(old, c) != 0 && (!armed || !replaced)) {
                replaced = true;
                continue;
            }
            icalcomponent_add_component(fresh, icalcomponent_new_clone(c));
            kept = true;
        }
        for (icalcomponent *zone =
                 icalcomponent_get_first_component(oldCalendar, ICAL_VTIMEZONE_COMPONENT);
             zone; zone = icalcomponent_get_next_component(oldCalendar, ICAL_VTIMEZONE_COMPONENT)) {
            icalcomponent_add_component(calendar.get(), icalcomponent_new_clone(zone));
            kept = true;
        }
    }
    if (keeps)
        *keeps = kept;
    char *text = icalcomponent_as_ical_string_r(calendar.get());
    QByteArray result(text);
    icalmemory_free_buffer(text);
    return result;
}

} // namespace

QByteArray UpdatedObject(const QByteArray &older, const TTaskInfo &task, bool *keeps)
{
    return updatedObject(older, task, ICAL_VTODO_COMPONENT, task.checkFlag, task.alarmFlag,
                         taskComponent(task), keeps);
}

QByteArray UpdatedObject(const QByteArray &older, const TMemoInfo &memo, bool *keeps)
{
    return updatedObject(older, memo, ICAL_VJOURNAL_COMPONENT, false, false, memoComponent(memo),
                         keeps);
}

bool FromICalendar(const QByteArray &text, Calendar *calendar, QString *error)
{
    *calendar = Calendar();
    ComponentPtr root(icalparser_parse_string(text.constData()));
    if (!root) {
        if (error)
            *error = QStringLiteral("holds no calendar");
        return false;
    }
    QList<TTaskInfo> tasks;
    QList<TMemoInfo> memos;
    QStringList taskParents, memoParents;
    if (icalcomponent_isa(root.get()) == ICAL_VCALENDAR_COMPONENT) {
        readCalendar(root.get(), tasks, taskParents, memos, memoParents);
    } else if (icalcomponent_isa(root.get()) == ICAL_XROOT_COMPONENT) {
        // Several calendars one after another.
        for (icalcomponent *c =
                 icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT);
             c; c = icalcomponent_get_next_component(root.get(), ICAL_VCALENDAR_COMPONENT))
            readCalendar(c, tasks, taskParents, memos, memoParents);
    } else {
        if (error)
            *error = QStringLiteral("holds no calendar");
        return false;
    }
    calendar->tasks = twoLevels(std::move(tasks), taskParents, calendar);
    calendar->memos = twoLevels(std::move(memos), memoParents, calendar);
    return true;
}

} // namespace ICalendarMapping
