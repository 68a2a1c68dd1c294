#include "pU_Funcs.h"

#include <QSqlError>
#include <QUuid>

#include <cmath>

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
    return QDateTime(kEpoch.addDays(qint64(whole)), QTime::fromMSecsSinceStartOfDay(int(msecs)));
}

TDateTime NowDays()
{
    return DateTimeToDays(QDateTime::currentDateTime());
}

QString NewRowKey()
{
    return QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
}

namespace {
void runStatement(QSqlQuery &query, const QString &statement, const QVariantList &values)
{
    query.finish();
    if (query.lastQuery() != statement || values.isEmpty()) {
        if (!query.prepare(statement))
            throw TasklumeError(query.lastError().text());
    }
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values.at(i));
    if (!query.exec())
        throw TasklumeError(query.lastError().text());
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
