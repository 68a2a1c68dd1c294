// Line flattening, the day-count date-times, row keys and the seeded tip generator.
#include "common/pU_Funcs.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <cmath>
#include <ctime>
#include <limits>

namespace {
constexpr double kMsecsPerDay = 86400000.0;
// One millisecond as a day fraction, the resolution every conversion keeps.
constexpr double kOneMsec = 1.0 / kMsecsPerDay;
} // namespace

class TestFuncs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void flattenLines_data();
    void flattenLines();

    void daysToDateTime_data();
    void daysToDateTime();
    void dateTimeToDays_data();
    void dateTimeToDays();
    void roundTripKeepsMilliseconds_data();
    void roundTripKeepsMilliseconds();
    void unrepresentableDaysGiveInvalid_data();
    void unrepresentableDaysGiveInvalid();
    void invalidDateTimeGivesZero();
    void wallClockTimesAcrossClockChanges_data();
    void wallClockTimesAcrossClockChanges();

    void newRowKeyForm();
    void newRowKeysDiffer();

    void nextRandomFollowsSeed_data();
    void nextRandomFollowsSeed();
    void nextRandomStaysInRange();
};

void TestFuncs::flattenLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("CR LF gives two blanks") << QStringLiteral("a\r\nb") << QStringLiteral("a  b");
    QTest::newRow("no line break")
        << QStringLiteral("plain text, no break") << QStringLiteral("plain text, no break");
    QTest::newRow("lone CR") << QStringLiteral("a\rb") << QStringLiteral("a b");
    QTest::newRow("lone LF") << QStringLiteral("a\nb") << QStringLiteral("a b");
    QTest::newRow("LF CR") << QStringLiteral("a\n\rb") << QStringLiteral("a  b");
    QTest::newRow("breaks at both ends") << QStringLiteral("\r\nmid\n") << QStringLiteral("  mid ");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("tabs stay") << QStringLiteral("a\tb\r\n") << QStringLiteral("a\tb  ");
}

void TestFuncs::flattenLines()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(FlattenLines(text), expected);
}

void TestFuncs::daysToDateTime_data()
{
    QTest::addColumn<double>("days");
    QTest::addColumn<QDateTime>("expected");

    QTest::newRow("epoch") << 0.0 << QDateTime(QDate(1899, 12, 30), QTime(0, 0));
    QTest::newRow("1.25") << 1.25 << QDateTime(QDate(1899, 12, 31), QTime(6, 0));
    QTest::newRow("whole day 45000") << 45000.0 << QDateTime(QDate(2023, 3, 15), QTime(0, 0));
    QTest::newRow("modern with time") << 45474.0 + 49530250.0 / kMsecsPerDay
                                      << QDateTime(QDate(2024, 7, 1), QTime(13, 45, 30, 250));
    QTest::newRow("-1.25: whole part back, fraction forward")
        << -1.25 << QDateTime(QDate(1899, 12, 29), QTime(6, 0));
    QTest::newRow("-2.75") << -2.75 << QDateTime(QDate(1899, 12, 28), QTime(18, 0));
    QTest::newRow("-0.5 is the epoch's noon")
        << -0.5 << QDateTime(QDate(1899, 12, 30), QTime(12, 0));
    QTest::newRow("-1") << -1.0 << QDateTime(QDate(1899, 12, 29), QTime(0, 0));
    QTest::newRow("last millisecond of 9999")
        << 2958465.0 + (kMsecsPerDay - 1.0) / kMsecsPerDay
        << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999));
    QTest::newRow("a hair below midnight rounds up to the next day")
        << 2.0 - kOneMsec / 10.0 << QDateTime(QDate(1900, 1, 1), QTime(0, 0));
    QTest::newRow("a hair below a negative whole day")
        << -(2.0 - kOneMsec / 10.0) << QDateTime(QDate(1899, 12, 28), QTime(0, 0));
}

void TestFuncs::daysToDateTime()
{
    QFETCH(double, days);
    QFETCH(QDateTime, expected);
    const QDateTime actual = DaysToDateTime(days);
    QVERIFY(actual.isValid());
    QCOMPARE(actual.timeSpec(), Qt::LocalTime);
    QCOMPARE(actual, expected);
}

void TestFuncs::dateTimeToDays_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<double>("expected");

    QTest::newRow("epoch") << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << 0.0;
    QTest::newRow("1.25") << QDateTime(QDate(1899, 12, 31), QTime(6, 0)) << 1.25;
    QTest::newRow("modern with time") << QDateTime(QDate(2024, 7, 1), QTime(13, 45, 30, 250))
                                      << 45474.0 + 49530250.0 / kMsecsPerDay;
    QTest::newRow("-1.25") << QDateTime(QDate(1899, 12, 29), QTime(6, 0)) << -1.25;
    QTest::newRow("-2.75") << QDateTime(QDate(1899, 12, 28), QTime(18, 0)) << -2.75;
    QTest::newRow("day before the epoch") << QDateTime(QDate(1899, 12, 29), QTime(0, 0)) << -1.0;
    QTest::newRow("a UTC time is taken in local time")
        << QDateTime(QDate(2024, 1, 15), QTime(12, 0)).toUTC()
        << double(QDate(1899, 12, 30).daysTo(QDate(2024, 1, 15))) + 0.5;
}

void TestFuncs::dateTimeToDays()
{
    QFETCH(QDateTime, dateTime);
    QFETCH(double, expected);
    const double actual = DateTimeToDays(dateTime);
    QVERIFY2(
        std::fabs(actual - expected) < kOneMsec / 100.0,
        qPrintable(QStringLiteral("%1 != %2").arg(actual, 0, 'f', 12).arg(expected, 0, 'f', 12)));
}

void TestFuncs::roundTripKeepsMilliseconds_data()
{
    QTest::addColumn<QDateTime>("dateTime");

    QTest::newRow("modern") << QDateTime(QDate(2031, 11, 5), QTime(23, 59, 59, 999));
    QTest::newRow("just after midnight") << QDateTime(QDate(2024, 2, 29), QTime(0, 0, 0, 1));
    QTest::newRow("before the epoch") << QDateTime(QDate(1850, 6, 15), QTime(8, 30, 15, 123));
    QTest::newRow("last millisecond before the epoch")
        << QDateTime(QDate(1899, 12, 29), QTime(23, 59, 59, 999));
    QTest::newRow("first millisecond after the epoch")
        << QDateTime(QDate(1899, 12, 30), QTime(0, 0, 0, 1));
    QTest::newRow("year 9999") << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999));
    QTest::newRow("year 100") << QDateTime(QDate(100, 1, 1), QTime(12, 0, 0, 500));
}

void TestFuncs::roundTripKeepsMilliseconds()
{
    QFETCH(QDateTime, dateTime);
    QVERIFY(dateTime.isValid());
    QCOMPARE(DaysToDateTime(DateTimeToDays(dateTime)), dateTime);
}

void TestFuncs::unrepresentableDaysGiveInvalid_data()
{
    QTest::addColumn<double>("days");

    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("+inf") << std::numeric_limits<double>::infinity();
    QTest::newRow("-inf") << -std::numeric_limits<double>::infinity();
    QTest::newRow("1e20") << 1e20;
    QTest::newRow("-1e20") << -1e20;
    QTest::newRow("largest double") << std::numeric_limits<double>::max();
    QTest::newRow("past year 9999") << 2958467.0;
}

void TestFuncs::unrepresentableDaysGiveInvalid()
{
    QFETCH(double, days);
    QVERIFY(!DaysToDateTime(days).isValid());
}

void TestFuncs::invalidDateTimeGivesZero()
{
    QCOMPARE(DateTimeToDays(QDateTime()), 0.0);
}

void TestFuncs::wallClockTimesAcrossClockChanges_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QTime>("shown");

    // A stored time the clocks skip still names its day; it shows as the moment it would
    // be had they not been put forward.
    QTest::newRow("skipped hour, Berlin spring")
        << QByteArray("Europe/Berlin") << QDate(2024, 3, 31) << QTime(2, 30) << QTime(3, 30);
    QTest::newRow("skipped midnight, Sao Paulo spring")
        << QByteArray("America/Sao_Paulo") << QDate(2018, 11, 4) << QTime(0, 0) << QTime(1, 0);
    QTest::newRow("repeated hour, Berlin autumn")
        << QByteArray("Europe/Berlin") << QDate(2024, 10, 27) << QTime(2, 30) << QTime(2, 30);
    QTest::newRow("ordinary day, Berlin") << QByteArray("Europe/Berlin") << QDate(2024, 7, 1)
                                          << QTime(13, 45, 30, 250) << QTime(13, 45, 30, 250);
}

void TestFuncs::wallClockTimesAcrossClockChanges()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    QFETCH(QTime, shown);
    if (!QFile::exists(QStringLiteral("/usr/share/zoneinfo/") + QString::fromLatin1(zone)))
        QSKIP("the time-zone data is not installed");

    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    const QByteArray oldZone = qgetenv("TZ");
    qputenv("TZ", zone);
    tzset();
    const double days =
        double(QDate(1899, 12, 30).daysTo(date)) + time.msecsSinceStartOfDay() / kMsecsPerDay;
    const QDateTime result = DaysToDateTime(days);
    const bool valid = result.isValid();
    const QDate resultDate = result.date();
    const QTime resultTime = result.time();
    const double roundTrip = DateTimeToDays(result);
    if (hadZone)
        qputenv("TZ", oldZone);
    else
        qunsetenv("TZ");
    tzset();

    QVERIFY(valid);
    QCOMPARE(resultDate, date);
    QCOMPARE(resultTime, shown);
    if (shown == time)
        QVERIFY(std::fabs(roundTrip - days) < kOneMsec / 100.0);
}

void TestFuncs::newRowKeyForm()
{
    static const QRegularExpression form(
        QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
    for (int i = 0; i < 50; ++i) {
        const QString key = NewRowKey();
        QCOMPARE(key.size(), 38);
        QCOMPARE(key.front(), QLatin1Char('{'));
        QCOMPARE(key.back(), QLatin1Char('}'));
        for (int hyphen : {9, 14, 19, 24})
            QCOMPARE(key.at(hyphen), QLatin1Char('-'));
        QVERIFY2(form.match(key).hasMatch(), qPrintable(key));
        // A version 4 GUID of the usual variant.
        QCOMPARE(key.at(15), QLatin1Char('4'));
        QVERIFY2(QStringLiteral("89AB").contains(key.at(20)), qPrintable(key));
    }
}

void TestFuncs::newRowKeysDiffer()
{
    QSet<QString> keys;
    for (int i = 0; i < 2000; ++i)
        keys.insert(NewRowKey());
    QCOMPARE(keys.size(), 2000);
}

void TestFuncs::nextRandomFollowsSeed_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<QList<int>>("ranges");
    QTest::addColumn<QList<int>>("expected");

    // Worked out by hand from seed = seed * 134775813 + 1 (mod 2^32), r = (seed * range) >> 32:
    // seeds 1, 134775814, 3698175007, 870078620, 1172187917, 2884733762, 1368768587.
    QTest::newRow("from seed 0") << quint32(0) << QList<int>{6, 6, 6, 6, 6, 100, 1000}
                                 << QList<int>{0, 0, 5, 1, 1, 67, 318};
    QTest::newRow("from seed 12345")
        << quint32(12345) << QList<int>{6, 6, 6} << QList<int>{2, 1, 0};
}

void TestFuncs::nextRandomFollowsSeed()
{
    QFETCH(quint32, seed);
    QFETCH(QList<int>, ranges);
    QFETCH(QList<int>, expected);
    ResetRandomSeed(seed);
    QList<int> actual;
    for (int range : ranges)
        actual.append(NextRandom(range));
    QCOMPARE(actual, expected);
}

void TestFuncs::nextRandomStaysInRange()
{
    ResetRandomSeed(0);
    QSet<int> seen;
    for (int i = 0; i < 600; ++i) {
        const int r = NextRandom(6);
        QVERIFY(r >= 0 && r < 6);
        seen.insert(r);
    }
    QCOMPARE(seen.size(), 6); // every tip comes up
    for (int i = 0; i < 20; ++i)
        QCOMPARE(NextRandom(1), 0);
}

QTEST_GUILESS_MAIN(TestFuncs)
#include "test_funcs.moc"
