#include "sync/ICalendarMapping.h"

#include "common/Texts.h"

#include <QBuffer>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QTimeZone>

#include <libical/ical.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>
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

// The wall-clock date and milliseconds of the day of a program time, as DaysToDateTime
// reads them, without the zone (no clock is consulted).
bool wallClock(TDateTime days, QDate *date, qint64 *msecs)
{
    if (!std::isfinite(days) || std::fabs(days) > 2958466.0)
        return false;
    double whole = std::trunc(days);
    *msecs = std::llround(std::fabs(days - whole) * 86400000.0);
    if (*msecs >= 86400000) {
        *msecs -= 86400000;
        whole += days >= 0 ? 1 : -1;
    }
    *date = QDate(1899, 12, 30).addDays(qint64(whole));
    return true;
}

bool hasMilliseconds(TDateTime days)
{
    QDate date;
    qint64 msecs = 0;
    return wallClock(days, &date, &msecs) && msecs % 1000 != 0;
}

// The UTC date-time text of a moment given in seconds since 1970 (libical writes no year
// after 3000), or an empty text for one outside the years 1 to 9999.
QByteArray utcText(qint64 seconds)
{
    const qint64 day = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    const qint64 second = seconds - day * 86400;
    const QDate date = QDate(1970, 1, 1).addDays(day);
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return {};
    char text[24];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02dZ", date.year(), date.month(),
                  date.day(), int(second / 3600), int(second / 60 % 60), int(second % 60));
    return QByteArray(text);
}

// The offset from UTC of this machine's clock at a moment, through localtime_r (mktime,
// which QDateTime uses, reads the zone's file anew on every call).
std::optional<long> localOffsetAt(qint64 seconds)
{
    const time_t at = time_t(seconds);
    tm local{};
    if (!localtime_r(&at, &local))
        return std::nullopt;
    return local.tm_gmtoff;
}

// The seconds since 1970 of a program time (whole seconds counted towards 1970 as
// QDateTime::toSecsSinceEpoch counts them): the wall-clock time less the offset in force
// then, found without mktime; a time the clocks skip, or any doubt, goes through
// DaysToDateTime.
std::optional<qint64> secondsOf(TDateTime days)
{
    QDate date;
    qint64 msecs = 0;
    if (!wallClock(days, &date, &msecs))
        return std::nullopt;
    const qint64 wallMs = (date.toJulianDay() - 2440588) * qint64(86400000) + msecs;
    const qint64 wallSeconds = wallMs >= 0 ? wallMs / 1000 : -((-wallMs + 999) / 1000);
    std::optional<long> offset = localOffsetAt(wallSeconds);
    for (int round = 0; offset && round < 2; ++round) {
        const std::optional<long> then = localOffsetAt(wallSeconds - *offset);
        if (then == offset)
            return (wallMs - qint64(*offset) * 1000) / 1000;
        offset = then;
    }
    const QDateTime moment = DaysToDateTime(days);
    if (!moment.isValid())
        return std::nullopt;
    return moment.toSecsSinceEpoch();
}

// The UTC text of a program time; empty for 0.
QByteArray utcTextOf(TDateTime days)
{
    if (days == 0)
        return {};
    const std::optional<qint64> seconds = secondsOf(days);
    return seconds ? utcText(*seconds) : QByteArray();
}

// The text of the current moment, made once a second.
QByteArray nowText()
{
    thread_local qint64 second = std::numeric_limits<qint64>::min();
    thread_local QByteArray text;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (now != second) {
        second = now;
        text = utcText(now);
    }
    return text;
}

// A property of a time written from its text, which libical takes for any year.
icalproperty *timeValueProperty(icalproperty_kind kind, icalvalue_kind valueKind,
                                const QByteArray &text)
{
    icalproperty *property = icalproperty_new(kind);
    icalproperty_set_value(property, icalvalue_new_from_string(valueKind, text.constData()));
    return property;
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
    if (hasMilliseconds(days))
        addExactDays(property, days);
    return property;
}

void addTime(icalcomponent *component, icalproperty_kind kind, TDateTime days)
{
    const QByteArray text = utcTextOf(days);
    if (text.isEmpty())
        return;
    icalcomponent_add_property(
        component, timeProperty(timeValueProperty(kind, ICAL_DATETIME_VALUE, text), days));
}

icalproperty *newX(const char *name, const QByteArray &value)
{
    icalproperty *property = icalproperty_new_x(value.constData());
    icalproperty_set_x_name(property, name);
    return property;
}

void addXTime(icalcomponent *component, const char *name, TDateTime days)
{
    const QByteArray text = utcTextOf(days);
    if (text.isEmpty())
        return;
    icalcomponent_add_property(component, timeProperty(newX(name, text), days));
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
    icalcomponent_add_property(
        component, timeValueProperty(ICAL_DTSTAMP_PROPERTY, ICAL_DATETIME_VALUE, nowText()));
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
    addTime(component, ICAL_CREATED_PROPERTY, item.createTime);
    addTime(component, ICAL_LASTMODIFIED_PROPERTY, item.editTime);
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
        addTime(todo, ICAL_COMPLETED_PROPERTY, task.checkTime);
        icalcomponent_add_property(todo, icalproperty_new_percentcomplete(100));
    } else {
        addXTime(todo, kCheckTime, task.checkTime);
    }
    QDate dueDate;
    qint64 dueMsecs = 0;
    if (task.dueFlag && task.dueTime != 0 && wallClock(task.dueTime, &dueDate, &dueMsecs) &&
        dueDate.year() >= 1 && dueDate.year() <= 9999) {
        char date[16];
        std::snprintf(date, sizeof date, "%04d%02d%02d", dueDate.year(), dueDate.month(),
                      dueDate.day());
        icalproperty *property = timeValueProperty(ICAL_DUE_PROPERTY, ICAL_DATE_VALUE, date);
        if (dueMsecs != 0)
            addExactDays(property, task.dueTime);
        icalcomponent_add_property(todo, property);
    } else {
        addXTime(todo, kDueTime, task.dueTime);
    }
    const QByteArray alarmText = utcTextOf(task.alarmTime);
    if (task.alarmFlag && task.alarmTime != 0 && !alarmText.isEmpty()) {
        icalcomponent *valarm = icalcomponent_new(ICAL_VALARM_COMPONENT);
        icalcomponent_add_property(valarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
        icalcomponent_add_property(
            valarm,
            timeProperty(timeValueProperty(ICAL_TRIGGER_PROPERTY, ICAL_DATETIME_VALUE, alarmText),
                         task.alarmTime));
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

constexpr int kMaxZoneNames = 1000; // TZIDs looked up among the system's zones
constexpr int kMaxFileZones = 100;  // VTIMEZONEs of one text kept
constexpr int kMaxZoneRules = 100;  // STANDARD and DAYLIGHT parts of one VTIMEZONE

// The program's own X- properties of an object, read from its lines (libical looks every
// X- name up in its whole table of property names first).
struct XLines
{
    QList<QByteArray> lines;

    const QByteArray *find(const char *name) const
    {
        const qsizetype length = qsizetype(qstrlen(name));
        for (const QByteArray &line : lines)
            if (line.size() > length && (line[length] == ':' || line[length] == ';') &&
                qstrnicmp(line.constData(), name, length) == 0)
                return &line;
        return nullptr;
    }
};

bool isOwnX(const QByteArray &line)
{
    return line.size() > 11 && qstrnicmp(line.constData(), "X-TASKLUME-", 11) == 0;
}

// A component of the lines of one object, parsed line by line. With x given, the program's
// own X- properties of the object itself go there instead, and its UID and RELATED-TO (which
// the reader found) are passed over.
ComponentPtr parsed(const QList<QByteArray> &lines, XLines *x = nullptr)
{
    icalparser *parser = icalparser_new();
    icalcomponent *result = nullptr;
    int depth = 0;
    for (const QByteArray &line : lines) {
        const bool begins = qstrnicmp(line.constData(), "BEGIN:", 6) == 0;
        const bool ends = qstrnicmp(line.constData(), "END:", 4) == 0;
        if (x && depth == 1 && !begins && !ends) {
            if (isOwnX(line)) {
                x->lines.append(line);
                continue;
            }
            if (qstrnicmp(line.constData(), "UID", 3) == 0 &&
                (line.size() > 3 && (line[3] == ':' || line[3] == ';')))
                continue;
        }
        depth += begins ? 1 : ends ? -1 : 0;
        icalcomponent *done = icalparser_add_line(parser, const_cast<char *>(line.constData()));
        if (done && !result)
            result = done;
        else if (done)
            icalcomponent_free(done);
    }
    if (!result)
        result = icalparser_clean(parser);
    icalparser_free(parser);
    return ComponentPtr(result);
}

// Whether a time zone rule is one whose expansion stays small: yearly, on one day of one month
// (or a week of month days), as every zone's rules are.
bool plainYearly(const icalrecurrencetype &rule)
{
    auto none = [](const short *list) { return list[0] == ICAL_RECURRENCE_ARRAY_MAX; };
    auto atMost = [](const short *list, int count) {
        for (int i = 0; i <= count; ++i)
            if (list[i] == ICAL_RECURRENCE_ARRAY_MAX)
                return true;
        return false;
    };
    return rule.freq == ICAL_YEARLY_RECURRENCE && none(rule.by_second) && none(rule.by_minute) &&
           none(rule.by_hour) && none(rule.by_year_day) && none(rule.by_week_no) &&
           none(rule.by_set_pos) && atMost(rule.by_month, 1) && atMost(rule.by_day, 1) &&
           atMost(rule.by_month_day, 7);
}

} // namespace

struct ObjectReader::Zones
{
    QHash<QByteArray, QTimeZone> system;
    QHash<QByteArray, icaltimezone *> file;

    ~Zones()
    {
        for (icaltimezone *zone : std::as_const(file))
            icaltimezone_free(zone, 1);
    }

    // The system's zone of a TZID: by its name, by a Windows name, or by the name after a
    // path some programs put before it ("/mozilla.org/20050126_1/Europe/Berlin").
    QTimeZone systemZone(const QByteArray &tzid)
    {
        const auto found = system.constFind(tzid);
        if (found != system.constEnd())
            return *found;
        QTimeZone zone;
        if (system.size() >= kMaxZoneNames)
            return zone;
        if (tzid.size() <= 200 && !tzid.contains("..")) {
            const QList<QByteArray> parts = tzid.split('/');
            for (qsizetype k = 0; k < parts.size() && !zone.isValid(); ++k) {
                const QByteArray name = parts.mid(k).join('/').trimmed();
                if (!name.isEmpty() && QTimeZone::isTimeZoneIdAvailable(name))
                    zone = QTimeZone(name);
            }
            if (!zone.isValid()) {
                const QByteArray iana = QTimeZone::windowsIdToDefaultIanaId(tzid.trimmed());
                if (!iana.isEmpty())
                    zone = QTimeZone(iana);
            }
        }
        system.insert(tzid, zone);
        return zone;
    }
};

namespace {

using Zones = ObjectReader::Zones;

bool validTime(const icaltimetype &time)
{
    return time.year >= 1 && time.year <= 9999 && QDate::isValid(time.year, time.month, time.day) &&
           (time.is_date || QTime::isValid(time.hour, time.minute, time.second));
}

QByteArray tzidOf(icalproperty *property)
{
    icalparameter *parameter = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
    const char *tzid = parameter ? icalparameter_get_tzid(parameter) : nullptr;
    return tzid ? QByteArray(tzid) : QByteArray();
}

// The moment an iCalendar time stands for: UTC, in its zone, or (floating, or a date) on the
// local clock. Years 1 to 9999 are read (libical itself takes none after 3000). Without
// zones (an object read whole by libical) the zone libical found for it is used.
QDateTime momentOf(const icaltimetype &time, const QByteArray &tzid, Zones *zones)
{
    if (icaltime_is_null_time(time) || !validTime(time))
        return {};
    const QDate date(time.year, time.month, time.day);
    if (time.is_date)
        return QDateTime(date, QTime(0, 0));
    const QTime clock(time.hour, time.minute, time.second);
    if (icaltime_is_utc(time))
        return QDateTime(date, clock, QTimeZone::utc());
    if (zones && !tzid.isEmpty()) {
        const QTimeZone zone = zones->systemZone(tzid);
        if (zone.isValid())
            return QDateTime(date, clock, zone);
        if (icaltimezone *fileZone = zones->file.value(tzid)) {
            icaltimetype local = time;
            local.zone = nullptr;
            return QDateTime::fromSecsSinceEpoch(
                qint64(icaltime_as_timet_with_zone(local, fileZone)));
        }
    } else if (!zones && time.zone) {
        return QDateTime::fromSecsSinceEpoch(qint64(icaltime_as_timet_with_zone(time, time.zone)));
    }
    return QDateTime(date, clock);
}

// The moment of a time as libical found its zone (an object parsed whole).
QDateTime momentOf(const icaltimetype &time)
{
    return momentOf(time, {}, nullptr);
}

// DateTimeToDays of a moment of whole seconds, its wall-clock time found with localtime_r
// (QDateTime::toLocalTime reads the zone's file anew each time).
TDateTime localDays(const QDateTime &moment)
{
    const qint64 seconds = moment.toSecsSinceEpoch();
    const time_t at = time_t(seconds);
    tm local{};
    if (moment.time().msec() != 0 || !localtime_r(&at, &local))
        return DateTimeToDays(moment);
    const QDate date(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    if (!date.isValid())
        return DateTimeToDays(moment);
    const qint64 days = QDate(1899, 12, 30).daysTo(date);
    const double fraction =
        double((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000.0 / 86400000.0;
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

// The time a property holds, as parsed (a date or a date-time).
icaltimetype valueTime(icalproperty *property)
{
    const icalvalue *value = icalproperty_get_value(property);
    if (!value)
        return icaltime_null_time();
    switch (icalvalue_isa(value)) {
    case ICAL_DATETIME_VALUE:
        return icalvalue_get_datetime(value);
    case ICAL_DATE_VALUE:
        return icalvalue_get_date(value);
    default:
        return icaltime_null_time();
    }
}

// The program's time of a property's value, the exact value it carries where that agrees.
TDateTime daysOf(const QByteArray &tzid, const char *exact, const icaltimetype &time, Zones *zones)
{
    const QDateTime moment = momentOf(time, tzid, zones);
    if (!moment.isValid())
        return 0;
    const TDateTime read = localDays(moment);
    if (exact) {
        // The exact value is used while it stands for the same day (a date) or second (a
        // date-time) on the wall clock, however that second was rounded when written.
        bool ok = false;
        const double days = QByteArray(exact).toDouble(&ok);
        QDate exactDate, readDate;
        qint64 exactMsecs = 0, readMsecs = 0;
        if (ok && wallClock(days, &exactDate, &exactMsecs) &&
            wallClock(read, &readDate, &readMsecs)) {
            const qint64 apart = (exactDate.toJulianDay() - readDate.toJulianDay()) * 86400000 +
                                 exactMsecs - readMsecs;
            const bool agrees =
                time.is_date ? exactDate == readDate : apart > -1000 && apart < 1000;
            if (agrees)
                return days;
        }
    }
    return read;
}

TDateTime daysOf(icalproperty *property, const icaltimetype &time, Zones *zones)
{
    return daysOf(tzidOf(property), exactDaysOf(property), time, zones);
}

TDateTime timeOf(icalcomponent *component, icalproperty_kind kind, Zones *zones)
{
    icalproperty *property = icalcomponent_get_first_property(component, kind);
    if (!property)
        return 0;
    return daysOf(property,
                  zones ? valueTime(property)
                        : icalproperty_get_datetime_with_component(property, component),
                  zones);
}

std::optional<QByteArray> xText(const XLines &x, const char *name)
{
    const QByteArray *line = x.find(name);
    if (!line)
        return std::nullopt;
    return ICalendarReader::ValueOf(*line);
}

TDateTime xTime(const XLines &x, const char *name, Zones *zones)
{
    const QByteArray *line = x.find(name);
    if (!line)
        return 0;
    const QByteArray value = ICalendarReader::ValueOf(*line).trimmed();
    const QByteArray exact = ICalendarReader::ParameterOf(*line, kExactDays);
    return daysOf(ICalendarReader::ParameterOf(*line, "TZID"),
                  exact.isNull() ? nullptr : exact.constData(),
                  icaltime_from_string(value.constData()), zones);
}

QString textOf(icalproperty *property)
{
    if (!property)
        return {};
    const icalvalue *value = icalproperty_get_value(property);
    const char *text = value ? icalvalue_get_text(value) : nullptr;
    return text ? QString::fromUtf8(text) : QString();
}

void readCommon(icalcomponent *component, const XLines &x, ItemInfo &item, Zones *zones)
{
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
    if (const auto exact = xText(x, kContent)) {
        const QString content = QString::fromUtf8(QByteArray::fromBase64(*exact));
        if (lineFeeds(content) == text)
            item.content = content;
    }
    item.createTime = timeOf(component, ICAL_CREATED_PROPERTY, zones);
    item.editTime = timeOf(component, ICAL_LASTMODIFIED_PROPERTY, zones);
    const std::optional<QByteArray> expanded = xText(x, kExpanded);
    item.expandFlag = expanded.value_or("0") == "1";
    // An item of another program without these times gets the time its object was made.
    if (!expanded) {
        if (item.editTime == 0)
            item.editTime = timeOf(component, ICAL_DTSTAMP_PROPERTY, zones);
        if (item.createTime == 0)
            item.createTime = item.editTime;
    }
}

qint32 colourOf(const XLines &x, const char *name)
{
    bool ok = false;
    const qint32 value = xText(x, name).value_or("0").trimmed().toInt(&ok);
    return ok ? value : 0;
}

// The seconds of a duration as written (RFC 5545's dur-value), in 64 bits: false when it is
// not one, overflow set when it goes beyond them.
bool durationSeconds(QByteArrayView text, qint64 *seconds, bool *overflow)
{
    *overflow = false;
    qsizetype at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    if (at >= text.size() || (text[at] != 'P' && text[at] != 'p'))
        return false;
    ++at;
    qint64 total = 0;
    bool inTime = false, any = false;
    while (at < text.size()) {
        if (text[at] == 'T' || text[at] == 't') {
            inTime = true;
            ++at;
            continue;
        }
        qint64 number = 0;
        const qsizetype digits = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            if (__builtin_mul_overflow(number, qint64(10), &number) ||
                __builtin_add_overflow(number, qint64(text[at] - '0'), &number))
                *overflow = true;
            ++at;
        }
        if (at == digits || at >= text.size())
            return false;
        qint64 unit = 0;
        switch (text[at] | 0x20) {
        case 'w':
            unit = 7 * 86400;
            break;
        case 'd':
            unit = 86400;
            break;
        case 'h':
            unit = inTime ? 3600 : 0;
            break;
        case 'm':
            unit = inTime ? 60 : 0;
            break;
        case 's':
            unit = inTime ? 1 : 0;
            break;
        default:
            break;
        }
        if (unit == 0)
            return false;
        ++at;
        any = true;
        qint64 part = 0;
        if (__builtin_mul_overflow(number, unit, &part) ||
            __builtin_add_overflow(total, part, &total))
            *overflow = true;
    }
    if (!any)
        return false;
    *seconds = negative ? -total : total;
    return true;
}

// Whether a moment lies within the dates the program holds.
bool inProgramRange(const QDateTime &moment)
{
    if (!moment.isValid())
        return false;
    const int year = moment.toLocalTime().date().year();
    return year >= 1 && year <= 9999;
}

// The alarm time of a VALARM: its absolute trigger, or its relative one from the start or
// the due time of the task. raw is the trigger's value as written (a duration beyond 32 bits
// is read from it); outside receives whether the alarm's moment lies outside the dates the
// program holds (nothing is armed then).
TDateTime alarmOf(icalcomponent *todo, icalcomponent *valarm, const QByteArray *raw = nullptr,
                  Zones *zones = nullptr, bool *outside = nullptr)
{
    if (outside)
        *outside = false;
    icalproperty *property = icalcomponent_get_first_property(valarm, ICAL_TRIGGER_PROPERTY);
    if (!property)
        return 0;
    const icaltriggertype trigger = icalproperty_get_trigger(property);
    if (!icaltime_is_null_time(trigger.time))
        return daysOf(property, trigger.time, zones);
    qint64 offset = 0;
    bool overflow = false;
    if (raw && !raw->isEmpty()) {
        if (!durationSeconds(*raw, &offset, &overflow))
            return 0;
    } else {
        offset = icaldurationtype_as_int(trigger.duration);
    }
    icalparameter *related = icalproperty_get_first_parameter(property, ICAL_RELATED_PARAMETER);
    const bool fromEnd = related && icalparameter_get_related(related) == ICAL_RELATED_END;
    icalproperty *anchor =
        icalcomponent_get_first_property(todo, fromEnd ? ICAL_DUE_PROPERTY : ICAL_DTSTART_PROPERTY);
    if (!anchor)
        return 0;
    const QDateTime start =
        zones ? momentOf(valueTime(anchor), tzidOf(anchor), zones)
              : momentOf(icalproperty_get_datetime_with_component(anchor, todo), {}, nullptr);
    if (!start.isValid())
        return 0;
    qint64 at = 0;
    const bool wraps = overflow || __builtin_add_overflow(start.toSecsSinceEpoch(), offset, &at) ||
                       at > qint64(400000) * 366 * 86400 || at < -qint64(400000) * 366 * 86400;
    const QDateTime moment = wraps ? QDateTime() : QDateTime::fromSecsSinceEpoch(at);
    if (!inProgramRange(moment)) {
        if (outside)
            *outside = true;
        return 0;
    }
    return DateTimeToDays(moment);
}

void readTask(icalcomponent *todo, const XLines &x, const QList<QByteArray> &triggers,
              TTaskInfo &task, Zones *zones, int *unarmed)
{
    readCommon(todo, x, task, zones);
    icalproperty *status = icalcomponent_get_first_property(todo, ICAL_STATUS_PROPERTY);
    icalproperty *percent = icalcomponent_get_first_property(todo, ICAL_PERCENTCOMPLETE_PROPERTY);
    icalproperty *completed = icalcomponent_get_first_property(todo, ICAL_COMPLETED_PROPERTY);
    task.checkFlag =
        (status && icalproperty_get_status(status) == ICAL_STATUS_COMPLETED) ||
        (!status && (completed || (percent && icalproperty_get_percentcomplete(percent) >= 100)));
    task.checkTime =
        task.checkFlag ? timeOf(todo, ICAL_COMPLETED_PROPERTY, zones) : xTime(x, kCheckTime, zones);
    if (task.checkFlag && task.checkTime == 0)
        task.checkTime = task.editTime;
    task.dueTime = timeOf(todo, ICAL_DUE_PROPERTY, zones);
    task.dueFlag = task.dueTime != 0;
    if (!task.dueFlag)
        task.dueTime = xTime(x, kDueTime, zones);
    task.alarmFlag = false;
    bool outside = false;
    qsizetype index = 0;
    for (icalcomponent *valarm = icalcomponent_get_first_component(todo, ICAL_VALARM_COMPONENT);
         valarm; valarm = icalcomponent_get_next_component(todo, ICAL_VALARM_COMPONENT), ++index) {
        bool beyond = false;
        const TDateTime alarm = alarmOf(
            todo, valarm, index < triggers.size() ? &triggers[index] : nullptr, zones, &beyond);
        outside = outside || beyond;
        if (alarm != 0) {
            task.alarmFlag = true;
            task.alarmTime = alarm;
            break;
        }
    }
    if (!task.alarmFlag && outside && unarmed)
        ++*unarmed;
    if (!task.alarmFlag)
        task.alarmTime = xTime(x, kAlarmTime, zones);
    task.textColor = colourOf(x, kTextColor);
    task.backgroundColor = colourOf(x, kBackgroundColor);
}

void readMemo(icalcomponent *journal, const XLines &x, TMemoInfo &memo, Zones *zones)
{
    readCommon(journal, x, memo, zones);
    memo.assignTime = xTime(x, kAssignTime, zones);
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

// The program's own X- properties of a component libical parsed whole, as lines.
XLines xLinesOf(icalcomponent *component)
{
    XLines x;
    for (icalproperty *p = icalcomponent_get_first_property(component, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(component, ICAL_X_PROPERTY)) {
        const char *name = icalproperty_get_x_name(p);
        if (!name || qstrnicmp(name, "X-TASKLUME-", 11) != 0)
            continue;
        QByteArray line(name);
        if (const char *exact = exactDaysOf(p))
            line += QByteArray(";") + kExactDays + "=" + exact;
        const char *value = icalproperty_get_x(p);
        x.lines.append(line + ":" + (value ? value : ""));
    }
    return x;
}

// The parent a component names: its first RELATED-TO of RELTYPE PARENT (the default).
QString parentOf(icalcomponent *component)
{
    for (icalproperty *p = icalcomponent_get_first_property(component, ICAL_RELATEDTO_PROPERTY); p;
         p = icalcomponent_get_next_property(component, ICAL_RELATEDTO_PROPERTY)) {
        icalparameter *reltype = icalproperty_get_first_parameter(p, ICAL_RELTYPE_PARAMETER);
        if (reltype && icalparameter_get_reltype(reltype) != ICAL_RELTYPE_PARENT)
            continue;
        const char *value = icalproperty_get_relatedto(p);
        return QString::fromUtf8(value ? value : "");
    }
    return {};
}

// The item of a component libical parsed whole (an object of a server being updated), its
// times in the zones libical found.
void readTask(icalcomponent *todo, TTaskInfo &task, QString *parent)
{
    readTask(todo, xLinesOf(todo), {}, task, nullptr, nullptr);
    const char *uid = icalcomponent_get_uid(todo);
    task.key = QString::fromUtf8(uid ? uid : "");
    *parent = parentOf(todo);
}

void readMemo(icalcomponent *journal, TMemoInfo &memo, QString *parent)
{
    readMemo(journal, xLinesOf(journal), memo, nullptr);
    const char *uid = icalcomponent_get_uid(journal);
    memo.key = QString::fromUtf8(uid ? uid : "");
    *parent = parentOf(journal);
}

} // namespace

QString UnarmedText(int unarmed)
{
    return QStringLiteral("%1 reminder(s) outside the years 1 to 9999 left unarmed").arg(unarmed);
}

// ---- the tree --------------------------------------------------------------------------------

void TreePlan::add(const QString &uid, const QString &parent)
{
    const qsizetype index = m_keys.size();
    // Only the items that name a parent keep it (most name none).
    if (!parent.isEmpty() && parent != Texts::RootKey)
        m_parents.append({index, parent});
    if (uid.isEmpty() || uid == Texts::RootKey || m_byKey.contains(uid)) {
        m_keys.append(NewRowKey());
        m_top.append(-2); // given a fresh key
        return;
    }
    m_keys.append(uid);
    m_top.append(-1);
    m_byKey.insert(uid, index);
}

void TreePlan::finish(bool freshKeys, int *moved, int *rekeyed)
{
    const qsizetype count = m_keys.size();
    for (qsizetype i = 0; i < count; ++i)
        if (m_top[i] == -2)
            ++*rekeyed;
    // The index of each item's parent in the list, -1 for none.
    QList<qsizetype> parentOf(count, -1);
    for (const auto &[i, parent] : std::as_const(m_parents)) {
        const qsizetype found = m_byKey.value(parent, -1);
        if (found >= 0 && found != i)
            parentOf[i] = found;
        else
            ++*moved; // its parent is not in the list
    }
    m_parents = {};
    m_byKey = {};
    // Each item's way up is walked once: an item met again on the same way closes a circle,
    // one met on an earlier way gives its result.
    enum : char
    {
        Unseen,
        OnWay,
        Done
    };
    QList<char> state(count, Unseen);
    QList<qsizetype> depth(count, 0);
    QList<bool> circled(count, false);
    QList<qsizetype> way;
    for (qsizetype i = 0; i < count; ++i) {
        if (state[i] != Unseen)
            continue;
        way.clear();
        qsizetype at = i;
        while (state[at] == Unseen) {
            state[at] = OnWay;
            way.append(at);
            if (parentOf[at] < 0)
                break;
            at = parentOf[at];
        }
        // What the way ends on: a top-level item (the last on it), an item done before, or
        // one on this way (a circle).
        bool circle = false;
        qsizetype top = -1, base = 0;
        if (state[at] == Done) {
            circle = circled[at];
            top = m_top[at];
            base = depth[at] + 1;
        } else if (parentOf[at] >= 0) {
            circle = true;
        } else {
            top = at;
        }
        for (qsizetype k = way.size() - 1; k >= 0; --k) {
            const qsizetype item = way[k];
            state[item] = Done;
            circled[item] = circle;
            if (circle) {
                m_top[item] = item;
                ++*moved;
            } else {
                m_top[item] = top;
                depth[item] = base + (way.size() - 1 - k);
                if (depth[item] > 1)
                    ++*moved; // a grandchild or deeper goes under its top-level item
            }
        }
    }
    if (freshKeys)
        for (RowKey &key : m_keys)
            key = NewRowKey();
}

RowKey TreePlan::pid(qsizetype i) const
{
    return m_top[i] == i ? RowKey(Texts::RootKey) : m_keys[m_top[i]];
}

QList<qsizetype> TreePlan::treeOrder() const
{
    const qsizetype count = m_keys.size();
    // The children of each top-level item, in order, by counting them first.
    QList<qsizetype> first(count + 1, 0);
    for (qsizetype i = 0; i < count; ++i)
        if (m_top[i] != i)
            ++first[m_top[i] + 1];
    for (qsizetype i = 0; i < count; ++i)
        first[i + 1] += first[i];
    QList<qsizetype> children(first.back());
    QList<qsizetype> filled = first;
    for (qsizetype i = 0; i < count; ++i)
        if (m_top[i] != i)
            children[filled[m_top[i]]++] = i;
    QList<qsizetype> order;
    order.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        if (m_top[i] != i)
            continue;
        order.append(i);
        for (qsizetype c = first[i]; c < first[i + 1]; ++c)
            order.append(children[c]);
    }
    return order;
}

// ---- objects -----------------------------------------------------------------------------

QList<bool> ItemsOfSeries(const QList<std::pair<QString, bool>> &components)
{
    QSet<QString> masters;
    for (const auto &[uid, occurrence] : components)
        if (!occurrence && !uid.isEmpty())
            masters.insert(uid);
    QList<bool> items;
    items.reserve(components.size());
    for (const auto &[uid, occurrence] : components)
        items.append(!occurrence || !masters.contains(uid));
    return items;
}

ObjectReader::ObjectReader() : m_zones(std::make_unique<Zones>()) {}

ObjectReader::~ObjectReader() = default;

void ObjectReader::addTimeZone(const ICalendarReader::Object &zone)
{
    if (m_zones->file.size() >= kMaxFileZones)
        return;
    ComponentPtr component = parsed(zone.lines);
    if (!component || icalcomponent_isa(component.get()) != ICAL_VTIMEZONE_COMPONENT)
        return;
    icalproperty *tzidProperty =
        icalcomponent_get_first_property(component.get(), ICAL_TZID_PROPERTY);
    const char *tzidText = tzidProperty ? icalproperty_get_tzid(tzidProperty) : nullptr;
    const QByteArray tzid(tzidText ? tzidText : "");
    if (tzid.isEmpty() || m_zones->file.contains(tzid) || m_zones->systemZone(tzid).isValid())
        return;
    int rules = 0;
    for (icalcomponent *c = icalcomponent_get_first_component(component.get(), ICAL_ANY_COMPONENT);
         c; c = icalcomponent_get_next_component(component.get(), ICAL_ANY_COMPONENT)) {
        const icalcomponent_kind kind = icalcomponent_isa(c);
        if (kind != ICAL_XSTANDARD_COMPONENT && kind != ICAL_XDAYLIGHT_COMPONENT)
            continue;
        if (++rules > kMaxZoneRules)
            return;
        for (icalproperty *p = icalcomponent_get_first_property(c, ICAL_RRULE_PROPERTY); p;
             p = icalcomponent_get_next_property(c, ICAL_RRULE_PROPERTY))
            if (!plainYearly(icalproperty_get_rrule(p)))
                return;
    }
    if (rules == 0)
        return;
    icaltimezone *fileZone = icaltimezone_new();
    if (!icaltimezone_set_component(fileZone, component.get())) {
        icaltimezone_free(fileZone, 1);
        return;
    }
    component.release(); // the zone holds it now
    m_zones->file.insert(tzid, fileZone);
}

void ObjectReader::read(const ICalendarReader::Object &object, TTaskInfo *task)
{
    XLines x;
    ComponentPtr component = parsed(object.lines, &x);
    *task = TTaskInfo();
    if (component)
        readTask(component.get(), x, object.triggers, *task, m_zones.get(), &m_unarmed);
    task->key = object.uid;
}

void ObjectReader::read(const ICalendarReader::Object &object, TMemoInfo *memo)
{
    XLines x;
    ComponentPtr component = parsed(object.lines, &x);
    *memo = TMemoInfo();
    if (component)
        readMemo(component.get(), x, *memo, m_zones.get());
    memo->key = object.uid;
}

// ---- whole calendars ---------------------------------------------------------------------

QByteArray CalendarHead()
{
    return QByteArray("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:") + kProductId + "\r\n";
}

QByteArray CalendarTail()
{
    return QByteArrayLiteral("END:VCALENDAR\r\n");
}

namespace {

QByteArray ownedComponentText(icalcomponent *component)
{
    ComponentPtr owned(component);
    char *text = icalcomponent_as_ical_string_r(component);
    QByteArray result(text);
    icalmemory_free_buffer(text);
    return result;
}

} // namespace

QByteArray TaskObject(const TTaskInfo &task)
{
    return ownedComponentText(taskComponent(task));
}

QByteArray MemoObject(const TMemoInfo &memo)
{
    return ownedComponentText(memoComponent(memo));
}

QByteArray ToICalendar(const QList<TTaskInfo> &tasks, const QList<TMemoInfo> &memos)
{
    QByteArray result = CalendarHead();
    for (const TTaskInfo &task : tasks)
        result += TaskObject(task);
    for (const TMemoInfo &memo : memos)
        result += MemoObject(memo);
    result += CalendarTail();
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

// A server's whole object as libical's tree, held to the bounds of ICalendarReader and read
// in time linear in its size: the reader checks the text, and its lines, their folds undone
// here, go to libical's parser one by one (libical's own line reader takes time growing with
// the square of a line's length). Null when a part is past the bounds or nothing is read.
// Several calendars in a row come as one XROOT, as icalparser_parse_string gives them.
ComponentPtr parsedObject(const QByteArray &text, const QList<RawLine> &lines)
{
    {
        QBuffer buffer;
        buffer.setData(text);
        buffer.open(QIODevice::ReadOnly);
        ICalendarReader::Reader reader(&buffer);
        reader.setKeepItemLines(false);
        ICalendarReader::Object object;
        while (reader.next(&object))
            object = ICalendarReader::Object();
        if (!reader.error().isEmpty())
            return nullptr;
    }
    icalparser *parser = icalparser_new();
    QList<icalcomponent *> roots;
    QByteArray unfolded;
    for (const RawLine &line : lines) {
        unfolded = line.name + line.rest;
        if (icalcomponent *done = icalparser_add_line(parser, unfolded.data()))
            roots.append(done);
    }
    // Components left open at the end come as they stand.
    if (icalcomponent *rest = icalparser_clean(parser); rest && !roots.contains(rest))
        roots.append(rest);
    icalparser_free(parser);
    if (roots.size() == 1)
        return ComponentPtr(roots.front());
    if (roots.isEmpty())
        return nullptr;
    ComponentPtr root(icalcomponent_new(ICAL_XROOT_COMPONENT));
    for (icalcomponent *c : std::as_const(roots))
        icalcomponent_add_component(root.get(), c);
    return root;
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
    const QList<RawLine> lines = rawLines(older);
    ComponentPtr root = parsedObject(older, lines);
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

bool isOverrideLines(const ICalendarReader::Object &object)
{
    int depth = 0;
    for (const QByteArray &line : object.lines) {
        if (qstrnicmp(line.constData(), "BEGIN:", 6) == 0)
            ++depth;
        else if (qstrnicmp(line.constData(), "END:", 4) == 0)
            --depth;
        else if (depth == 1 && ICalendarReader::NameOf(line) == "RECURRENCE-ID")
            return true;
    }
    return false;
}

// Read through the same bounded reader as a file: a line, an object or a nesting past the
// bounds makes the object unreadable.
template <typename Info>
bool itemOfObject(const QByteArray &object, ICalendarReader::Kind kind, Info *item, QString *parent)
{
    QBuffer buffer;
    buffer.setData(object);
    buffer.open(QIODevice::ReadOnly);
    ICalendarReader::Reader reader(&buffer);
    ObjectReader objects;
    QList<ICalendarReader::Object> items;
    ICalendarReader::Object read;
    while (reader.next(&read)) {
        if (read.kind == ICalendarReader::Kind::TimeZone)
            objects.addTimeZone(read);
        else if (read.kind == kind)
            items.append(std::move(read));
        read = ICalendarReader::Object();
    }
    if (!reader.error().isEmpty() || items.isEmpty())
        return false;
    // The master of a series (no RECURRENCE-ID), else the first.
    const ICalendarReader::Object *master = &items.first();
    for (const ICalendarReader::Object &candidate : std::as_const(items)) {
        if (!isOverrideLines(candidate)) {
            master = &candidate;
            break;
        }
    }
    objects.read(*master, item);
    *parent = master->parent;
    if (item->key.isEmpty() || item->key == Texts::RootKey)
        item->key = NewRowKey();
    return true;
}

} // namespace

bool ItemOfObject(const QByteArray &object, TTaskInfo *task, QString *parent)
{
    return itemOfObject(object, ICalendarReader::Kind::Todo, task, parent);
}

bool ItemOfObject(const QByteArray &object, TMemoInfo *memo, QString *parent)
{
    return itemOfObject(object, ICalendarReader::Kind::Journal, memo, parent);
}

namespace {

template <typename Info>
QList<Info> inTreeOrder(QList<Info> items, TreePlan &plan, Calendar *calendar)
{
    plan.finish(false, &calendar->moved, &calendar->rekeyed);
    QList<Info> result;
    result.reserve(items.size());
    for (const qsizetype i : plan.treeOrder()) {
        items[i].key = plan.key(i);
        items[i].pid = plan.pid(i);
        result.append(std::move(items[i]));
    }
    return result;
}

} // namespace

bool FromICalendar(const QByteArray &text, Calendar *calendar, QString *error)
{
    *calendar = Calendar();
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    ICalendarReader::Reader reader(&buffer);
    ObjectReader objects;
    // The time zones first, wherever they stand in the text.
    QList<ICalendarReader::Object> items;
    ICalendarReader::Object object;
    while (reader.next(&object)) {
        if (object.kind == ICalendarReader::Kind::TimeZone)
            objects.addTimeZone(object);
        else
            items.append(std::move(object));
        object = ICalendarReader::Object();
    }
    if (!reader.error().isEmpty() || !reader.sawCalendar()) {
        if (error)
            *error =
                reader.error().isEmpty() ? QStringLiteral("holds no calendar") : reader.error();
        return false;
    }
    QList<std::pair<QString, bool>> taskComponents, memoComponents;
    for (const ICalendarReader::Object &item : std::as_const(items))
        (item.kind == ICalendarReader::Kind::Todo ? taskComponents : memoComponents)
            .append({item.uid, item.occurrence});
    const QList<bool> taskItems = ItemsOfSeries(taskComponents);
    const QList<bool> memoItems = ItemsOfSeries(memoComponents);
    qsizetype taskAt = 0, memoAt = 0;
    QList<TTaskInfo> tasks;
    QList<TMemoInfo> memos;
    TreePlan taskPlan, memoPlan;
    for (const ICalendarReader::Object &item : std::as_const(items)) {
        const bool isTask = item.kind == ICalendarReader::Kind::Todo;
        if (!(isTask ? taskItems[taskAt++] : memoItems[memoAt++]))
            continue; // an occurrence of a series: its master is the item
        if (isTask) {
            tasks.append(TTaskInfo());
            objects.read(item, &tasks.back());
            taskPlan.add(item.uid, item.parent);
        } else {
            memos.append(TMemoInfo());
            objects.read(item, &memos.back());
            memoPlan.add(item.uid, item.parent);
        }
    }
    calendar->tasks = inTreeOrder(std::move(tasks), taskPlan, calendar);
    calendar->memos = inTreeOrder(std::move(memos), memoPlan, calendar);
    calendar->unarmed = objects.unarmed();
    return true;
}

} // namespace ICalendarMapping
