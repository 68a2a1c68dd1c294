#include "XmlDateTime.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cmath>
#include <cstdlib>

namespace {

constexpr qint64 kMsecsPerDay = 86400000;
constexpr int kSecsPerDay = 86400;
constexpr qint64 kUnixEpochJulianDay = 2440588; // 1970-01-01
// 0001-01-01 and 9999-12-31.
const qint64 kFirstJulianDay = QDate(1, 1, 1).toJulianDay();
const qint64 kLastJulianDay = QDate(9999, 12, 31).toJulianDay();

QDateTime localDateTime(const WallTime &wall)
{
    return QDateTime(QDate::fromJulianDay(wall.julianDay),
                     QTime::fromMSecsSinceStartOfDay(wall.seconds * 1000), Qt::LocalTime);
}

// "+hh:mm" / "-hh:mm" / "Z" for an offset in seconds east of UTC, the seconds cut away.
int writeDesignator(int offsetSeconds, char *out)
{
    const int minutes = std::abs(offsetSeconds) / 60;
    if (minutes == 0) {
        out[0] = 'Z';
        return 1;
    }
    out[0] = offsetSeconds > 0 ? '+' : '-';
    const int hours = minutes / 60 % 100;
    const int rest = minutes % 60;
    out[1] = char('0' + hours / 10);
    out[2] = char('0' + hours % 10);
    out[3] = ':';
    out[4] = char('0' + rest / 10);
    out[5] = char('0' + rest % 10);
    return 6;
}

void twoDigits(char *out, int value)
{
    out[0] = char('0' + value / 10 % 10);
    out[1] = char('0' + value % 10);
}

// The wall time part "yyyy-mm-ddThh:nn:ss.000" (23 characters).
int writeWallTime(const WallTime &wall, char *out)
{
    // Days to the civil date (proleptic Gregorian), as QDate does, without its calendar
    // machinery: this runs for every date-time of a backup.
    const qint64 z = wall.julianDay - kUnixEpochJulianDay + 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const int year = int(yoe + era * 400 + (month <= 2 ? 1 : 0));
    out[0] = char('0' + year / 1000 % 10);
    out[1] = char('0' + year / 100 % 10);
    twoDigits(out + 2, year % 100);
    out[4] = '-';
    twoDigits(out + 5, month);
    out[7] = '-';
    twoDigits(out + 8, day);
    out[10] = 'T';
    twoDigits(out + 11, wall.seconds / 3600);
    out[13] = ':';
    twoDigits(out + 14, wall.seconds / 60 % 60);
    out[16] = ':';
    twoDigits(out + 17, wall.seconds % 60);
    out[19] = '.';
    out[20] = out[21] = out[22] = '0';
    return 23;
}

WallTime zeroWallTime()
{
    return WallTime{EpochJulianDay, 0};
}

bool digits(const char *s, int count, int &value)
{
    value = 0;
    for (int i = 0; i < count; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

} // namespace

std::optional<WallTime> DaysToWallTime(TDateTime value)
{
    if (!std::isfinite(value) || std::fabs(value) > 3e6)
        return std::nullopt;
    double whole = std::trunc(value);
    qint64 msecs = std::llround(std::fabs(value - whole) * double(kMsecsPerDay));
    if (msecs >= kMsecsPerDay) {
        msecs -= kMsecsPerDay;
        whole += value >= 0 ? 1 : -1;
    }
    const qint64 julianDay = EpochJulianDay + qint64(whole);
    if (julianDay < kFirstJulianDay || julianDay > kLastJulianDay)
        return std::nullopt;
    return WallTime{julianDay, int(msecs / 1000)};
}

TDateTime WallTimeToDays(const WallTime &wall)
{
    const double whole = double(wall.julianDay - EpochJulianDay);
    const double fraction = double(wall.seconds) / double(kSecsPerDay);
    // Before the epoch the whole part counts down while the fraction still counts forward.
    return whole >= 0 ? whole + fraction : whole - fraction;
}

int LocalOffsets::exactOffset(const WallTime &wall, int fallback)
{
    const QDateTime local = localDateTime(wall);
    // A time the clock skips when it springs forward does not exist; it keeps the offset the
    // day started with.
    return local.isValid() ? local.offsetFromUtc() : fallback;
}

int LocalOffsets::offsetAt(const WallTime &wall)
{
    auto it = m_days.find(wall.julianDay);
    if (it == m_days.end()) {
        const int first = exactOffset(WallTime{wall.julianDay, 0}, 0);
        const int last = exactOffset(WallTime{wall.julianDay, kSecsPerDay - 1}, first);
        it = m_days.emplace(wall.julianDay, Day{first, first == last}).first;
    }
    if (it->second.uniform)
        return it->second.offset;
    return exactOffset(wall, it->second.offset);
}

std::optional<WallTime> LocalOffsets::wallTimeOfInstant(qint64 utcSeconds)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(utcSeconds, Qt::LocalTime);
    if (!local.isValid())
        return std::nullopt;
    const WallTime wall{local.date().toJulianDay(), local.time().msecsSinceStartOfDay() / 1000};
    if (wall.julianDay < kFirstJulianDay || wall.julianDay > kLastJulianDay)
        return std::nullopt;
    return wall;
}

int GetLocalBias()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.isValid() ? -now.offsetFromUtc() / 60 : 0;
}

QString XmlDateTimeText(TDateTime value, int biasMinutes)
{
    char buffer[XmlDateTimeMax];
    int length = writeWallTime(DaysToWallTime(value).value_or(zeroWallTime()), buffer);
    length += writeDesignator(-biasMinutes * 60, buffer + length);
    return QString::fromLatin1(buffer, length);
}

int FormatXmlDateTime(TDateTime value, LocalOffsets &offsets, char *out)
{
    const WallTime wall = DaysToWallTime(value).value_or(zeroWallTime());
    const int length = writeWallTime(wall, out);
    return length + writeDesignator(offsets.offsetAt(wall), out + length);
}

QString DateTimeToXmlText(TDateTime value, bool withZone)
{
    if (!withZone)
        return XmlDateTimeText(value, 0);
    LocalOffsets offsets;
    char buffer[XmlDateTimeMax];
    const int length = FormatXmlDateTime(value, offsets, buffer);
    return QString::fromLatin1(buffer, length);
}

std::optional<TDateTime> ParseXmlDateTime(const char *s, qsizetype length, LocalOffsets &offsets)
{
    // yyyy-mm-ddThh:nn:ss, an optional fraction, an optional designator.
    if (length < 19 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':')
        return std::nullopt;
    int year, month, day, hour, minute, second;
    if (!digits(s, 4, year) || !digits(s + 5, 2, month) || !digits(s + 8, 2, day) ||
        !digits(s + 11, 2, hour) || !digits(s + 14, 2, minute) || !digits(s + 17, 2, second))
        return std::nullopt;
    if (hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    const QDate date(year, month, day);
    if (year < 1 || !date.isValid())
        return std::nullopt;
    qsizetype pos = 19;
    if (pos < length && s[pos] == '.') {
        ++pos;
        const qsizetype start = pos;
        while (pos < length && s[pos] >= '0' && s[pos] <= '9')
            ++pos;
        if (pos == start)
            return std::nullopt;
    }
    int offset = 0; // seconds east of UTC
    if (pos < length) {
        if (s[pos] == 'Z' && pos + 1 == length) {
            offset = 0;
        } else if ((s[pos] == '+' || s[pos] == '-') && pos + 6 == length && s[pos + 3] == ':') {
            int hours, minutes;
            if (!digits(s + pos + 1, 2, hours) || !digits(s + pos + 4, 2, minutes) || hours > 23 ||
                minutes > 59)
                return std::nullopt;
            offset = (hours * 60 + minutes) * 60;
            if (s[pos] == '-')
                offset = -offset;
        } else {
            return std::nullopt;
        }
    }
    const WallTime wall{date.toJulianDay(), (hour * 60 + minute) * 60 + second};
    if (wall.julianDay == EpochJulianDay && wall.seconds == 0)
        return TDateTime(0); // no value, in whatever zone it was written
    // Written here (or by a zone with the same offset then): the wall time as it stands, so
    // that times in the hour a clock change skips or repeats come back unchanged.
    if (offsets.offsetAt(wall) / 60 == offset / 60)
        return WallTimeToDays(wall);
    const qint64 utc = (wall.julianDay - kUnixEpochJulianDay) * kSecsPerDay + wall.seconds - offset;
    const std::optional<WallTime> local = LocalOffsets::wallTimeOfInstant(utc);
    if (!local)
        return std::nullopt;
    return WallTimeToDays(*local);
}

std::optional<TDateTime> XmlTextToDateTime(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0x7f)
            return std::nullopt;
    }
    const QByteArray latin = text.toLatin1();
    LocalOffsets offsets;
    return ParseXmlDateTime(latin.constData(), latin.size(), offsets);
}
