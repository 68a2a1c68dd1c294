#include "sync/ICalendarMapping.h"

#include "common/Texts.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QTimeZone>

#include <libical/ical.h>

#include <cmath>
#include <limits>
#include <memory>
#include <type_traits>

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

// ---- an older object updated ----------------------------------------------------------------
//
// The older object is rewritten as text, line by line: every line of it stays as it came
// (folding, parameters, comma lists, value types) but the lines of the item's parts that
// changed here, which are written anew at the end of the component. A part is a group of
// properties that holds one field or a few fields of the item read together.

enum class Part
{
    Other, // not the program's: kept
    Stamp,
    Sequence,
    Text,
    Parent,
    Created,
    Edited,
    Expanded,
    Check,
    Due,
    Alarm,
    Colours,
    Assign
};

// One content line as it came: its bytes (folded, with its line end) and, unfolded, its name
// in capitals and what follows the name (parameters and value).
struct RawLine
{
    QByteArray raw;
    QByteArray name;
    QByteArray rest;
    // The parameters (up to the colon outside quotes) and the value.
    QByteArray params() const { return rest.left(valueStart()); }
    QByteArray value() const { return rest.mid(valueStart() + 1); }
    qsizetype valueStart() const
    {
        bool quoted = false;
        for (qsizetype i = 0; i < rest.size(); ++i) {
            if (rest[i] == '"')
                quoted = !quoted;
            else if (rest[i] == ':' && !quoted)
                return i;
        }
        return rest.size();
    }
};

QList<RawLine> rawLines(const QByteArray &text)
{
    QList<RawLine> lines;
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype end = text.indexOf('\n', at);
        end = end < 0 ? text.size() : end + 1;
        QByteArray physical = text.mid(at, end - at);
        at = end;
        // Lines end in CR LF, as iCalendar has them, whatever the older text used.
        if (physical.endsWith('\n') && !physical.endsWith("\r\n"))
            physical.insert(physical.size() - 1, '\r');
        if (!lines.isEmpty() && (physical.startsWith(' ') || physical.startsWith('\t')))
            lines.last().raw += physical;
        else if (!physical.trimmed().isEmpty())
            lines.append({physical, {}, {}});
    }
    for (RawLine &line : lines) {
        if (!line.raw.endsWith('\n'))
            line.raw += "\r\n";
        QByteArray unfolded = line.raw;
        unfolded.replace("\r\n ", "").replace("\r\n\t", "").replace("\n ", "").replace("\n\t", "");
        while (unfolded.endsWith('\n') || unfolded.endsWith('\r'))
            unfolded.chop(1);
        qsizetype cut = 0;
        while (cut < unfolded.size() && unfolded[cut] != ';' && unfolded[cut] != ':')
            ++cut;
        line.name = unfolded.left(cut).trimmed().toUpper();
        line.rest = unfolded.mid(cut);
    }
    return lines;
}

QByteArray componentName(const RawLine &line)
{
    return line.value().trimmed().toUpper();
}

Part partOf(const RawLine &line, icalcomponent_kind kind)
{
    const QByteArray &name = line.name;
    const bool todo = kind == ICAL_VTODO_COMPONENT;
    if (name == "DTSTAMP")
        return Part::Stamp;
    if (name == "SEQUENCE")
        return Part::Sequence;
    if (name == "SUMMARY" || name == "DESCRIPTION" || name == kContent)
        return Part::Text;
    if (name == "RELATED-TO") {
        const QByteArray params = line.params().toUpper();
        return !params.contains("RELTYPE=") || params.contains("RELTYPE=PARENT") ? Part::Parent
                                                                                 : Part::Other;
    }
    if (name == "CREATED")
        return Part::Created;
    if (name == "LAST-MODIFIED")
        return Part::Edited;
    if (name == kExpanded)
        return Part::Expanded;
    if (todo && (name == "STATUS" || name == "COMPLETED" || name == "PERCENT-COMPLETE" ||
                 name == kCheckTime))
        return Part::Check;
    if (todo && (name == "DUE" || name == kDueTime))
        return Part::Due;
    if (todo && name == kAlarmTime)
        return Part::Alarm;
    if (todo && (name == kTextColor || name == kBackgroundColor))
        return Part::Colours;
    if (!todo && name == kAssignTime)
        return Part::Assign;
    return Part::Other;
}

QByteArray propertyText(icalproperty *property)
{
    char *text = icalproperty_as_ical_string_r(property);
    QByteArray result(text);
    icalmemory_free_buffer(text);
    icalproperty_free(property);
    return result;
}

QByteArray componentText(icalcomponent *component)
{
    char *text = icalcomponent_as_ical_string_r(component);
    QByteArray result(text);
    icalmemory_free_buffer(text);
    return result;
}

// How an object writes its times: the type of its DUE, or of its DTSTART when it has no DUE.
struct TimeForm
{
    enum Kind
    {
        Date,
        Utc,
        Zoned,
        Floating
    } kind = Date;
    QByteArray tzid;
    icaltimezone *zone = nullptr;
};

TimeForm timeFormOf(icalcomponent *calendar, icalcomponent *component)
{
    TimeForm form;
    icalproperty *property = icalcomponent_get_first_property(component, ICAL_DUE_PROPERTY);
    icaltimetype time = property ? icalproperty_get_due(property) : icaltime_null_time();
    if (!property) {
        property = icalcomponent_get_first_property(component, ICAL_DTSTART_PROPERTY);
        if (!property)
            return form;
        time = icalproperty_get_dtstart(property);
    }
    if (icaltime_is_null_time(time) || time.is_date)
        return form;
    if (icalparameter *tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER)) {
        const char *name = icalparameter_get_tzid(tzid);
        icaltimezone *zone =
            name && calendar ? icalcomponent_get_timezone(calendar, name) : nullptr;
        if (!zone && name)
            zone = icaltimezone_get_builtin_timezone(name);
        if (zone) {
            form.kind = TimeForm::Zoned;
            form.tzid = name;
            form.zone = zone;
            return form;
        }
        form.kind = TimeForm::Utc; // a zone nobody can tell: the moment in UTC
        return form;
    }
    form.kind = icaltime_is_utc(time) ? TimeForm::Utc : TimeForm::Floating;
    return form;
}

// A time of day as the object writes its times: in UTC, in its zone, or on the local clock.
icaltimetype timeIn(const TimeForm &form, const QDateTime &moment)
{
    switch (form.kind) {
    case TimeForm::Zoned: {
        icaltimetype time =
            icaltime_from_timet_with_zone(time_t(moment.toSecsSinceEpoch()), 0, form.zone);
        time.zone = nullptr; // the TZID parameter names the zone
        return time;
    }
    case TimeForm::Floating: {
        const QDateTime local = moment.toLocalTime();
        icaltimetype time = icaltime_null_time();
        time.year = local.date().year();
        time.month = local.date().month();
        time.day = local.date().day();
        time.hour = local.time().hour();
        time.minute = local.time().minute();
        time.second = local.time().second();
        return time;
    }
    default:
        return utcTime(moment);
    }
}

// The DUE line of a task whose due date changed here, in the type the object used.
QByteArray dueLine(const TTaskInfo &task, const TimeForm &form, const QByteArray &asDate)
{
    if (form.kind == TimeForm::Date)
        return asDate;
    const QDateTime due = DaysToDateTime(task.dueTime);
    icalproperty *property = timeProperty(icalproperty_new_due(timeIn(form, due)), task.dueTime);
    if (form.kind == TimeForm::Zoned)
        icalproperty_add_parameter(property, icalparameter_new_tzid(form.tzid.constData()));
    return propertyText(property);
}

// The moment a DUE written as form stands for: the local midnight of a date, else to the
// second.
QDateTime dueMoment(const TTaskInfo &task, const TimeForm &form)
{
    const QDateTime due = DaysToDateTime(task.dueTime);
    if (!task.dueFlag || task.dueTime == 0 || !due.isValid())
        return {};
    if (form.kind == TimeForm::Date)
        return QDateTime(due.date(), QTime(0, 0));
    return QDateTime::fromSecsSinceEpoch(due.toSecsSinceEpoch());
}

// The TRIGGER line of the task's own alarm moved here: relative to the same end when the old
// one was relative and that end is there, absolute otherwise.
QByteArray triggerLine(icalcomponent *component, icalcomponent *valarm, const TTaskInfo &task,
                       const TimeForm &form)
{
    const QDateTime alarm = DaysToDateTime(task.alarmTime);
    icalproperty *old = icalcomponent_get_first_property(valarm, ICAL_TRIGGER_PROPERTY);
    const icaltriggertype trigger = icalproperty_get_trigger(old);
    if (icaltime_is_null_time(trigger.time)) {
        icalparameter *related = icalproperty_get_first_parameter(old, ICAL_RELATED_PARAMETER);
        const bool fromEnd = related && icalparameter_get_related(related) == ICAL_RELATED_END;
        QDateTime anchor;
        if (fromEnd) {
            anchor = dueMoment(task, form);
        } else if (icalproperty *start =
                       icalcomponent_get_first_property(component, ICAL_DTSTART_PROPERTY)) {
            anchor = momentOf(icalproperty_get_datetime_with_component(start, component));
        }
        const qint64 seconds = anchor.isValid() ? anchor.secsTo(alarm) : 0;
        if (anchor.isValid() && qAbs(seconds) < std::numeric_limits<int>::max()) {
            char *duration =
                icaldurationtype_as_ical_string_r(icaldurationtype_from_int(int(seconds)));
            QByteArray line =
                QByteArray("TRIGGER") + (fromEnd ? ";RELATED=END" : "") + ":" + duration + "\r\n";
            icalmemory_free_buffer(duration);
            return line;
        }
    }
    icaltriggertype absolute = icaltriggertype_from_int(0);
    absolute.time = utcTime(alarm);
    return propertyText(timeProperty(icalproperty_new_trigger(absolute), task.alarmTime));
}

void readItem(icalcomponent *component, TTaskInfo &task, QString *parent)
{
    readTask(component, task, parent);
}

void readItem(icalcomponent *component, TMemoInfo &memo, QString *parent)
{
    readMemo(component, memo, parent);
}

bool isOverride(icalcomponent *component)
{
    return icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY) != nullptr;
}

// The calendars of a parsed text: the text itself, or each of several in a row.
QList<icalcomponent *> calendarsOf(icalcomponent *root)
{
    QList<icalcomponent *> calendars;
    if (root && icalcomponent_isa(root) == ICAL_VCALENDAR_COMPONENT)
        calendars.append(root);
    else if (root && icalcomponent_isa(root) == ICAL_XROOT_COMPONENT)
        for (icalcomponent *c = icalcomponent_get_first_component(root, ICAL_VCALENDAR_COMPONENT);
             c; c = icalcomponent_get_next_component(root, ICAL_VCALENDAR_COMPONENT))
            calendars.append(c);
    return calendars;
}

// The item's own component of an object: the one with its UID and no RECURRENCE-ID (the
// master of a series), else one with its UID, else the first of the kind. Its calendar and
// its place among the components of the kind, counted through the text.
struct Master
{
    icalcomponent *calendar = nullptr;
    icalcomponent *component = nullptr;
    int ordinal = -1;
};

Master masterOf(icalcomponent *root, icalcomponent_kind kind, const QByteArray &uid)
{
    Master found;
    int best = 0;
    int ordinal = 0;
    for (icalcomponent *calendar : calendarsOf(root)) {
        for (icalcomponent *c = icalcomponent_get_first_component(calendar, kind); c;
             c = icalcomponent_get_next_component(calendar, kind), ++ordinal) {
            const char *cUid = icalcomponent_get_uid(c);
            const bool same = uid.isNull() || (cUid && uid == cUid);
            const int rank = 1 + (same ? 2 : 0) + (isOverride(c) ? 0 : 1);
            if (rank > best) {
                best = rank;
                found = {calendar, c, ordinal};
            }
        }
    }
    return found;
}

// Whether an object holds more than the program writes for its item's component alone.
bool holdsMore(icalcomponent *root, const Master &master, icalcomponent_kind kind, bool checked)
{
    if (calendarsOf(root).size() != 1)
        return true;
    for (icalcomponent *c = icalcomponent_get_first_component(master.calendar, ICAL_ANY_COMPONENT);
         c; c = icalcomponent_get_next_component(master.calendar, ICAL_ANY_COMPONENT))
        if (c != master.component)
            return true;
    for (icalproperty *p = icalcomponent_get_first_property(master.component, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(master.component, ICAL_ANY_PROPERTY))
        if (!writtenAnew(p, kind, checked))
            return true;
    if (timeFormOf(nullptr, master.component).kind != TimeForm::Date &&
        icalcomponent_get_first_property(master.component, ICAL_DUE_PROPERTY))
        return true;
    bool ownAlarm = false;
    for (icalcomponent *c = icalcomponent_get_first_component(master.component, ICAL_ANY_COMPONENT);
         c; c = icalcomponent_get_next_component(master.component, ICAL_ANY_COMPONENT)) {
        if (ownAlarm || icalcomponent_isa(c) != ICAL_VALARM_COMPONENT ||
            kind != ICAL_VTODO_COMPONENT || alarmOf(master.component, c) == 0)
            return true;
        icalproperty *trigger = icalcomponent_get_first_property(c, ICAL_TRIGGER_PROPERTY);
        if (icaltime_is_null_time(icalproperty_get_trigger(trigger).time))
            return true; // relative
        ownAlarm = true;
    }
    return false;
}

// The parts of an item that differ from what its older component holds.
QSet<Part> changedParts(const TTaskInfo &was, const TTaskInfo &task)
{
    QSet<Part> parts;
    if (was.checkFlag != task.checkFlag || was.checkTime != task.checkTime)
        parts.insert(Part::Check);
    if (was.dueFlag != task.dueFlag || was.dueTime != task.dueTime)
        parts.insert(Part::Due);
    if (was.alarmFlag != task.alarmFlag || was.alarmTime != task.alarmTime)
        parts.insert(Part::Alarm);
    if (was.textColor != task.textColor || was.backgroundColor != task.backgroundColor)
        parts.insert(Part::Colours);
    return parts;
}

QSet<Part> changedParts(const TMemoInfo &was, const TMemoInfo &memo)
{
    QSet<Part> parts;
    if (was.assignTime != memo.assignTime)
        parts.insert(Part::Assign);
    return parts;
}

bool checkedOf(const TTaskInfo &task)
{
    return task.checkFlag;
}

bool checkedOf(const TMemoInfo &)
{
    return false;
}

template <typename Info>
QByteArray updatedObject(const QByteArray &older, const Info &item, icalcomponent_kind kind,
                         icalcomponent *freshComponent, bool *keeps)
{
    ComponentPtr fresh(freshComponent);
    const auto plain = [&] {
        if (keeps)
            *keeps = false;
        ComponentPtr calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
        icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
        icalcomponent_add_property(calendar.get(), icalproperty_new_prodid(kProductId));
        icalcomponent_add_component(calendar.get(), fresh.release());
        return componentText(calendar.get());
    };
    const bool checked = checkedOf(item);
    ComponentPtr root(icalparser_parse_string(older.constData()));
    const Master master = masterOf(root.get(), kind, item.key.toUtf8());
    if (!master.component)
        return plain();
    const bool more = holdsMore(root.get(), master, kind, checked);

    // What the older component says of the item, and what differs here.
    Info was;
    QString wasParent;
    readItem(master.component, was, &wasParent);
    QSet<Part> changed = changedParts(was, item);
    if (was.content != item.content)
        changed.insert(Part::Text);
    const QString parent = item.pid == Texts::RootKey ? QString() : QString(item.pid);
    if (wasParent != parent)
        changed.insert(Part::Parent);
    if (was.createTime != item.createTime)
        changed.insert(Part::Created);
    if (was.editTime != item.editTime)
        changed.insert(Part::Edited);
    if (was.expandFlag != item.expandFlag)
        changed.insert(Part::Expanded);
    // An object without the program's marks gets them, with the times they make it read.
    if (!xProperty(master.component, kExpanded))
        changed.unite({Part::Expanded, Part::Created, Part::Edited});

    // The lines the program writes for each part, and its own alarm.
    QHash<Part, QList<RawLine>> freshLines;
    QByteArray freshAlarm;
    {
        const QList<RawLine> lines = rawLines(componentText(fresh.get()));
        int depth = 0;
        for (const RawLine &line : lines) {
            if (line.name == "BEGIN")
                ++depth;
            if (depth == 2)
                freshAlarm += line.raw;
            else if (depth == 1 && line.name != "BEGIN" && line.name != "END")
                freshLines[partOf(line, kind)].append(line);
            if (line.name == "END")
                --depth;
        }
    }
    // The program's lines of a part, but those named `without`, or only those named `only`.
    const auto freshText = [&](Part part, const QByteArray &without = {},
                               const QByteArray &only = {}) {
        QByteArray text;
        for (const RawLine &line : freshLines.value(part))
            if (line.name != without && (only.isEmpty() || line.name == only))
                text += line.raw;
        return text;
    };
    const TTaskInfo *task = nullptr;
    if constexpr (std::is_same_v<Info, TTaskInfo>)
        task = &item;

    // The alarms of the older component: which the program reads, and its own (the first).
    QList<icalcomponent *> alarms;
    for (icalcomponent *c =
             icalcomponent_get_first_component(master.component, ICAL_VALARM_COMPONENT);
         c; c = icalcomponent_get_next_component(master.component, ICAL_VALARM_COMPONENT))
        alarms.append(c);
    qsizetype ownAlarm = -1;
    if (kind == ICAL_VTODO_COMPONENT)
        for (qsizetype i = 0; i < alarms.size() && ownAlarm < 0; ++i)
            if (alarmOf(master.component, alarms[i]) != 0)
                ownAlarm = i;
    const TimeForm form = timeFormOf(master.calendar, master.component);
    // The task's own alarm, relative to a due date that moved here, keeps its moment: its
    // trigger is written anew from the new due date.
    if (ownAlarm >= 0 && changed.contains(Part::Due)) {
        icalproperty *trigger =
            icalcomponent_get_first_property(alarms[ownAlarm], ICAL_TRIGGER_PROPERTY);
        icalparameter *related = icalproperty_get_first_parameter(trigger, ICAL_RELATED_PARAMETER);
        if (icaltime_is_null_time(icalproperty_get_trigger(trigger).time) && related &&
            icalparameter_get_related(related) == ICAL_RELATED_END)
            changed.insert(Part::Alarm);
    }

    const QList<RawLine> lines = rawLines(older);
    QByteArray out;
    QByteArray props;  // the item's own component: its properties
    QByteArray nested; // and the components inside it
    int depth = 0;
    int seen = 0;
    bool inMaster = false;
    bool masterDone = false;
    bool stamped = false;
    bool statusKept = false;
    bool alarmReplaced = false;
    qsizetype alarmIndex = 0;
    const QByteArray kindName = icalcomponent_kind_to_string(kind);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const RawLine &line = lines[i];
        if (line.name == "BEGIN" && inMaster) {
            // A component inside the item's: kept whole, but for the program's own alarm.
            qsizetype j = i;
            for (int nested = 0; j < lines.size(); ++j) {
                if (lines[j].name == "BEGIN")
                    ++nested;
                else if (lines[j].name == "END" && --nested == 0)
                    break;
            }
            QByteArray block;
            for (qsizetype k = i; k <= j && k < lines.size(); ++k)
                block += lines[k].raw;
            if (componentName(line) == "VALARM" && kind == ICAL_VTODO_COMPONENT) {
                const qsizetype index = alarmIndex++;
                const bool readable =
                    index < alarms.size() && alarmOf(master.component, alarms[index]) != 0;
                if (changed.contains(Part::Alarm) && readable && task) {
                    if (!task->alarmFlag)
                        block.clear(); // turned off here
                    else if (index == ownAlarm) {
                        block.clear();
                        for (qsizetype k = i; k <= j && k < lines.size(); ++k)
                            block += lines[k].name == "TRIGGER" && k != i
                                         ? triggerLine(master.component, alarms[index], *task, form)
                                         : lines[k].raw;
                        alarmReplaced = true;
                    }
                }
            }
            nested += block;
            i = j;
            continue;
        }
        if (line.name == "BEGIN") {
            if (depth == 1 && !masterDone && componentName(line) == kindName &&
                seen++ == master.ordinal)
                inMaster = true;
            ++depth;
            out += line.raw;
            continue;
        }
        if (line.name == "END") {
            --depth;
            if (inMaster) {
                // The parts that changed here, as the program writes them.
                if (!stamped)
                    props += freshText(Part::Stamp);
                for (const Part part :
                     {Part::Text, Part::Parent, Part::Created, Part::Edited, Part::Expanded,
                      Part::Check, Part::Due, Part::Alarm, Part::Colours, Part::Assign}) {
                    if (!changed.contains(part))
                        continue;
                    if (part == Part::Check && statusKept)
                        props += freshText(part, "STATUS");
                    else if (part == Part::Due && task) {
                        props += freshText(part, "DUE");
                        const QByteArray asDate = freshText(part, {}, "DUE");
                        if (!asDate.isEmpty())
                            props += dueLine(*task, form, asDate);
                    } else
                        props += freshText(part);
                }
                if (changed.contains(Part::Alarm) && !alarmReplaced)
                    nested += freshAlarm;
                // The properties, then the components inside (alarms), as RFC 5545 orders them.
                out += props + nested;
                inMaster = false;
                masterDone = true;
            }
            out += line.raw;
            continue;
        }
        if (!inMaster) {
            out += line.raw;
            continue;
        }
        const Part part = partOf(line, kind);
        switch (part) {
        case Part::Other:
            props += line.raw;
            break;
        case Part::Stamp:
            if (!stamped)
                props += freshText(Part::Stamp);
            stamped = true;
            break;
        case Part::Sequence:
            props +=
                "SEQUENCE:" + QByteArray::number(line.value().trimmed().toLongLong() + 1) + "\r\n";
            break;
        case Part::Check:
            if (!changed.contains(part)) {
                props += line.raw;
            } else if (line.name == "STATUS" && !checked &&
                       line.value().trimmed().toUpper() != "COMPLETED") {
                // An open task keeps the other program's kind of open (in process, cancelled).
                props += line.raw;
                statusKept = true;
            } else if (line.name == "PERCENT-COMPLETE" && !checked &&
                       line.value().trimmed().toInt() < 100) {
                props += line.raw; // a task in progress keeps its percentage
            }
            break;
        default:
            if (!changed.contains(part))
                props += line.raw;
            break;
        }
    }
    if (!masterDone)
        return plain();
    if (keeps)
        *keeps = more;
    return out;
}
} // namespace

QByteArray UpdatedObject(const QByteArray &older, const TTaskInfo &task, bool *keeps)
{
    return updatedObject(older, task, ICAL_VTODO_COMPONENT, taskComponent(task), keeps);
}

QByteArray UpdatedObject(const QByteArray &older, const TMemoInfo &memo, bool *keeps)
{
    return updatedObject(older, memo, ICAL_VJOURNAL_COMPONENT, memoComponent(memo), keeps);
}

namespace {

template <typename Info>
bool itemOfObject(const QByteArray &object, icalcomponent_kind kind, Info *item, QString *parent)
{
    ComponentPtr root(icalparser_parse_string(object.constData()));
    const Master master = masterOf(root.get(), kind, QByteArray());
    if (!master.component)
        return false;
    readItem(master.component, *item, parent);
    if (item->key.isEmpty() || item->key == Texts::RootKey)
        item->key = NewRowKey();
    return true;
}

} // namespace

bool ItemOfObject(const QByteArray &object, TTaskInfo *task, QString *parent)
{
    return itemOfObject(object, ICAL_VTODO_COMPONENT, task, parent);
}

bool ItemOfObject(const QByteArray &object, TMemoInfo *memo, QString *parent)
{
    return itemOfObject(object, ICAL_VJOURNAL_COMPONENT, memo, parent);
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
