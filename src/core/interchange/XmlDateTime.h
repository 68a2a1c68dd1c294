// The date-time text of the interchange file and of the settings' time stamps:
// yyyy-mm-ddThh:nn:ss.000 followed by a zone designator ("Z", "+hh:mm" or "-hh:mm"), and its
// conversion back to a local date-time value.
//
// Each value is written with the offset the local zone has at that value's own date and time
// (summer or winter), and read back by that offset. So a file written in winter and read in
// summer, or written in one zone and read in another, gives the same instants; a file read
// in the zone it was written in gives back the written wall-clock times exactly.
#pragma once

#include "common/pU_Funcs.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <unordered_map>

// A wall-clock time cut to whole seconds: Julian day and seconds since midnight.
struct WallTime
{
    qint64 julianDay = 0;
    int seconds = 0;
};

// The Julian day of the date-time epoch 1899-12-30 (the value 0, "no value").
inline constexpr qint64 EpochJulianDay = 2415019;

// A day count as wall-clock time cut to whole seconds; nothing for a value outside the years
// 1 to 9999.
std::optional<WallTime> DaysToWallTime(TDateTime value);
TDateTime WallTimeToDays(const WallTime &wall);

// The offsets from UTC (seconds east) the local zone gives wall-clock times, remembered per
// day: a day without a clock change has one offset all day. A cache lives for one file.
class LocalOffsets
{
public:
    int offsetAt(const WallTime &wall);
    // The local wall-clock time of an instant given as seconds since 1970 UTC.
    static std::optional<WallTime> wallTimeOfInstant(qint64 utcSeconds);

private:
    struct Day
    {
        int offset;
        bool uniform;
    };
    static int exactOffset(const WallTime &wall, int fallback);
    std::unordered_map<qint64, Day> m_days;
};

// The current local bias: the minutes that added to local time give UTC (0 if the zone is
// unknown). Nothing calls it: the writers take each value's own offset (LocalOffsets), which
// stays right across a change of daylight saving time.
int GetLocalBias();

// The text of a local date-time value with the designator of the given bias.
QString XmlDateTimeText(TDateTime value, int biasMinutes);

// The text of a local date-time value. withZone: with the local offset in force at the
// value's date and time; otherwise with "Z". A value outside the years 1 to 9999 is written
// as the zero value.
QString DateTimeToXmlText(TDateTime value, bool withZone = true);

// The same into a buffer of at least XmlDateTimeMax bytes, for writers of many values;
// returns the length.
inline constexpr int XmlDateTimeMax = 32;
int FormatXmlDateTime(TDateTime value, LocalOffsets &offsets, char *out);

// A date-time text as a local value: nothing when the text is empty or malformed. The wall
// time 1899-12-30T00:00:00 is the zero value whatever its designator.
std::optional<TDateTime> XmlTextToDateTime(const QString &text);
std::optional<TDateTime> ParseXmlDateTime(const char *text, qsizetype length,
                                          LocalOffsets &offsets);
