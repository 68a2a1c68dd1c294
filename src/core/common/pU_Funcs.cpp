#include "pU_Funcs.h"

#include "EngineError.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QSqlError>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <iterator>

#include <sys/random.h>

QString FlattenLines(const QString &text)
{
    QString result = text;
    result.replace(QLatin1Char('\n'), QLatin1Char(' '));
    result.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return result;
}

namespace {
const QDate kEpoch(1899, 12, 30);
constexpr qint64 kMsecsPerDay = 86400000;
} // namespace

TDateTime DateTimeToDays(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return 0;
    const QDateTime local = dateTime.toLocalTime();
    const qint64 days = kEpoch.daysTo(local.date());
    const double fraction = double(local.time().msecsSinceStartOfDay()) / double(kMsecsPerDay);
    // Before the epoch the whole part counts down while the fraction still counts forward.
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

QDateTime DaysToDateTime(TDateTime days)
{
    if (!std::isfinite(days) || std::fabs(days) > 2958466.0) // beyond year 9999
        return {};
    double whole = std::trunc(days);
    qint64 msecs = std::llround(std::fabs(days - whole) * double(kMsecsPerDay));
    if (msecs >= kMsecsPerDay) {
        msecs -= kMsecsPerDay;
        whole += days >= 0 ? 1 : -1;
    }
    const QDate date = kEpoch.addDays(qint64(whole));
    const QTime time = QTime::fromMSecsSinceStartOfDay(int(msecs));
    QDateTime result(date, time);
    if (!result.isValid()) {
        // A wall-clock time the clocks skip when they are put forward: the moment it would
        // be had they not been, so it keeps its day (a due date at a skipped midnight).
        const qint64 wall = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
        const int offsetBefore =
            QDateTime::fromMSecsSinceEpoch(wall - kMsecsPerDay).offsetFromUtc();
        result = QDateTime::fromMSecsSinceEpoch(wall - qint64(offsetBefore) * 1000);
    }
    return result;
}

TDateTime NowDays()
{
    return DateTimeToDays(QDateTime::currentDateTime());
}

QString LongTimeFormat()
{
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    // Drop the zone part ("t", "tt" ...) with the blanks or brackets around it, outside
    // quoted literals.
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            result += c;
        } else if (!quoted && c == QLatin1Char('t')) {
            while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('t'))
                ++i;
            while (result.endsWith(QLatin1Char(' ')) || result.endsWith(QLatin1Char('(')))
                result.chop(1);
            if (i + 1 < format.size() && format.at(i + 1) == QLatin1Char(')'))
                ++i;
        } else {
            result += c;
        }
    }
    return result.trimmed();
}

QString FormatDate(TDateTime days)
{
    const QDateTime dt = DaysToDateTime(days);
    return QLocale::system().toString(dt.date(), QLocale::ShortFormat);
}

QString FormatDateTime(TDateTime days)
{
    const QDateTime dt = DaysToDateTime(days);
    QString text = QLocale::system().toString(dt.date(), QLocale::ShortFormat);
    if (dt.time() != QTime(0, 0))
        text += QLatin1Char(' ') + QLocale::system().toString(dt.time(), LongTimeFormat());
    return text;
}

QString NewRowKey()
{
    // A version 4 GUID from the kernel's random source, read a few kilobytes at a time: an
    // import makes a key for every item, and Qt's system generator (the processor's seed
    // instruction) took longer per key than storing the item.
    thread_local quint32 pool[1024];
    thread_local qsizetype used = std::size(pool);
    if (used + 4 > qsizetype(std::size(pool))) {
        size_t filled = 0;
        auto *bytes = reinterpret_cast<char *>(pool);
        while (filled < sizeof pool) {
            const ssize_t got = getrandom(bytes + filled, sizeof pool - filled, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            filled += size_t(got);
        }
        if (filled < sizeof pool)
            QRandomGenerator::system()->fillRange(pool);
        used = 0;
    }
    unsigned char bytes[16];
    std::memcpy(bytes, pool + used, sizeof bytes);
    std::memset(pool + used, 0, sizeof bytes);
    used += 4;
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80); // the GUID variant
    static const char digits[] = "0123456789ABCDEF";
    QString key(38, Qt::Uninitialized);
    QChar *out = key.data();
    *out++ = QLatin1Char('{');
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            *out++ = QLatin1Char('-');
        *out++ = QLatin1Char(digits[bytes[i] >> 4]);
        *out++ = QLatin1Char(digits[bytes[i] & 0x0F]);
    }
    *out = QLatin1Char('}');
    return key;
}

namespace {
void runStatement(QSqlQuery &query, const QString &statement, const QVariantList &values)
{
    query.finish();
    if (query.lastQuery() != statement || values.isEmpty()) {
        if (!query.prepare(statement))
            throw EngineFailure(query);
    }
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values.at(i));
    if (!query.exec())
        throw EngineFailure(query);
}
} // namespace

void OpenSql(QSqlQuery &query, const QString &statement, const QVariantList &values)
{
    query.setForwardOnly(true);
    runStatement(query, statement, values);
}

void ExecSql(QSqlQuery &query, const QString &statement, const QVariantList &values)
{
    runStatement(query, statement, values);
    query.finish();
}

namespace {
quint32 g_seed = 0;
}

int NextRandom(int range)
{
    g_seed = g_seed * 134775813u + 1u;
    return int((quint64(g_seed) * quint64(range)) >> 32);
}

void ResetRandomSeed(quint32 seed)
{
    g_seed = seed;
}
