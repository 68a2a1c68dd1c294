// The lists as iCalendar objects: every field of a task or a memo comes back from a round
// trip exactly, and calendars written by other programs (RFC 5545's own examples among them)
// are read to the fields they stand for, in a two-level tree, without losing an item.
#include "common/pU_Funcs.h"
#include "common/Texts.h"
#include "sync/ICalendarMapping.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

#include <ctime>

Q_DECLARE_METATYPE(TTaskInfo)
Q_DECLARE_METATYPE(TMemoInfo)

namespace {

const QString kData = QStringLiteral(TASKLUME_ICALENDAR_DATA);

QByteArray dataFile(const QString &name)
{
    QFile file(kData + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot open test data %s", qPrintable(name));
    return file.readAll();
}

// The program's time of a wall-clock moment on the local clock.
TDateTime local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return DateTimeToDays(QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms)));
}

// The program's time of a UTC moment.
TDateTime utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return DateTimeToDays(QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()));
}

void compareCommon(const ItemInfo &actual, const ItemInfo &expected)
{
    QCOMPARE(actual.key.toString(), expected.key.toString());
    QCOMPARE(actual.pid.toString(), expected.pid.toString());
    QCOMPARE(actual.content, expected.content);
    QCOMPARE(actual.expandFlag, expected.expandFlag);
    QCOMPARE(actual.createTime, expected.createTime);
    QCOMPARE(actual.editTime, expected.editTime);
}

void compareTask(const TTaskInfo &actual, const TTaskInfo &expected)
{
    compareCommon(actual, expected);
    QCOMPARE(actual.checkFlag, expected.checkFlag);
    QCOMPARE(actual.checkTime, expected.checkTime);
    QCOMPARE(actual.dueFlag, expected.dueFlag);
    QCOMPARE(actual.dueTime, expected.dueTime);
    QCOMPARE(actual.alarmFlag, expected.alarmFlag);
    QCOMPARE(actual.alarmTime, expected.alarmTime);
    QCOMPARE(actual.textColor, expected.textColor);
    QCOMPARE(actual.backgroundColor, expected.backgroundColor);
}

// A top-level item of either list with its key, text and times.
template <class Info>
Info baseItem(const char *key, const char *content, TDateTime created, TDateTime edited)
{
    Info item;
    item.key = QString::fromLatin1(key);
    item.pid = Texts::RootKey;
    item.content = QString::fromLatin1(content);
    item.createTime = created;
    item.editTime = edited;
    return item;
}

TTaskInfo baseTask()
{
    // Created just before the clocks go forward, edited in the hour they pass twice.
    return baseItem<TTaskInfo>("{0A1B2C3D-4E5F-6789-ABCD-EF0123456789}", "Call the plumber",
                               local(2025, 3, 30, 1, 59, 58), local(2025, 10, 26, 2, 30, 0));
}

TMemoInfo baseMemo()
{
    auto memo = baseItem<TMemoInfo>("{11111111-2222-3333-4444-555555555555}", "Door code 4711",
                                    local(2024, 2, 29, 23, 0, 0), local(2024, 3, 1, 8, 15, 30));
    memo.assignTime = memo.createTime;
    return memo;
}

// Writes the items and reads them back.
ICalendarMapping::Calendar roundTrip(const QList<TTaskInfo> &tasks, const QList<TMemoInfo> &memos)
{
    ICalendarMapping::Calendar calendar;
    QString error;
    const QByteArray text = ICalendarMapping::ToICalendar(tasks, memos);
    if (!ICalendarMapping::FromICalendar(text, &calendar, &error))
        qWarning("not read back: %s", qPrintable(error));
    if (calendar.rekeyed != 0)
        qWarning("rekeyed %d", calendar.rekeyed);
    return calendar;
}

ICalendarMapping::Calendar fromText(const QByteArray &text)
{
    ICalendarMapping::Calendar calendar;
    QString error;
    if (!ICalendarMapping::FromICalendar(text, &calendar, &error))
        qWarning("not read: %s", qPrintable(error));
    return calendar;
}

// The lines of an object with its folds undone.
QByteArray unfolded(const QByteArray &object)
{
    QByteArray text = object;
    text.replace("\r\n ", "");
    return text;
}

} // namespace

class TestICalendar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void taskRoundTrip_data();
    void taskRoundTrip();
    void memoRoundTrip_data();
    void memoRoundTrip();
    void writesStandardProperties();
    void treeAndOrderRoundTrip();
    void readsOtherPrograms_data();
    void readsOtherPrograms();
    void readsJournalAndFoldedNonAscii();
    void otherTreesBecomeTwoLevels();
    void seriesIsOneItem();
    void readsEveryLineForm_data();
    void readsEveryLineForm();
    void readsDatesOfEveryYear_data();
    void readsDatesOfEveryYear();
    void triggersBeyond32Bits_data();
    void triggersBeyond32Bits();
    void refusesWhatIsNoCalendar_data();
    void refusesWhatIsNoCalendar();
    void updateKeepsWhatOthersWrote_data();
    void updateKeepsWhatOthersWrote();
    void updateOfJournalKeepsWhatOthersWrote();
    void updateChangesOnlyTheItemsLines_data();
    void updateChangesOnlyTheItemsLines();
};

void TestICalendar::initTestCase()
{
    // A zone with summer time and an offset from UTC, so that "the same instant" means more
    // than the same clock reading.
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

void TestICalendar::taskRoundTrip_data()
{
    QTest::addColumn<TTaskInfo>("task");
    TTaskInfo task = baseTask();
    QTest::newRow("plain") << task;
    task = baseTask();
    task.checkFlag = true;
    task.checkTime = local(2025, 6, 1, 12, 0, 0);
    QTest::newRow("checked") << task;
    task = baseTask();
    task.checkTime = local(2025, 6, 1, 12, 0, 5, 250);
    QTest::newRow("unchecked, check time kept") << task;
    task = baseTask();
    task.dueFlag = true;
    task.dueTime = local(2025, 12, 24);
    QTest::newRow("due date") << task;
    task.dueTime = local(2025, 12, 24, 17, 30, 0);
    QTest::newRow("due date with a time of day") << task;
    task.dueFlag = false;
    QTest::newRow("due off, time kept") << task;
    task = baseTask();
    task.alarmFlag = true;
    task.alarmTime = local(2025, 7, 14, 9, 45, 0);
    QTest::newRow("armed alarm") << task;
    task.alarmTime = local(2025, 7, 14, 9, 45, 12, 345);
    QTest::newRow("armed alarm, milliseconds") << task;
    task.alarmFlag = false;
    QTest::newRow("alarm off, time kept") << task;
    task = baseTask();
    task.textColor = 0x0000FF;
    task.backgroundColor = 0x80FFFF;
    task.expandFlag = true;
    QTest::newRow("colours and expanded") << task;
    task.textColor = -1;
    task.backgroundColor = 0x7FFFFFFF;
    QTest::newRow("colours at the edges") << task;
    task = baseTask();
    task.pid = QStringLiteral("{FFFFFFFF-0000-1111-2222-333333333333}");
    QTest::newRow("child") << task;
    task = baseTask();
    task.content = QStringLiteral("Shopping\r\nmilk, eggs; bread\\butter\r\n\r\n\tand \"cheese\"");
    QTest::newRow("several lines, escaped characters") << task;
    task.content = QStringLiteral("bare\nline feed\rand carriage return\r\n");
    QTest::newRow("line breaks of other forms") << task;
    task.content = QStringLiteral("Grüße – 日本語 😀 ") + QString(100, QChar(0x00E9));
    QTest::newRow("non-ASCII, longer than a line") << task;
    task.content.clear();
    QTest::newRow("empty text") << task;
    task = baseTask();
    task.key = QStringLiteral("key of another program");
    task.createTime = local(2025, 1, 2, 3, 4, 5, 678);
    task.editTime = local(1950, 1, 2, 3, 4, 5, 999);
    task.checkFlag = true;
    task.checkTime = local(2026, 8, 1, 0, 0, 0, 1);
    QTest::newRow("milliseconds, a key of its own, before 1970") << task;
    task = baseTask();
    task.createTime = 0;
    task.editTime = 0;
    QTest::newRow("no times") << task;
    // Every date the program holds: libical itself writes none after the year 3000.
    for (const int year : {1, 999, 3001, 9999}) {
        task = baseTask();
        task.createTime = local(year, 1, 2, 3, 4, 5);
        task.editTime = local(year, 12, 30, 23, 59, 58, 500);
        task.checkFlag = true;
        task.checkTime = local(year, 6, 1, 12);
        task.dueFlag = true;
        task.dueTime = local(year, 12, 31);
        task.alarmFlag = true;
        task.alarmTime = local(year, 12, 30, 9, 0, 0);
        QTest::addRow("year %d", year) << task;
        task.dueFlag = task.alarmFlag = task.checkFlag = false;
        QTest::addRow("year %d, times kept while their flags are off", year) << task;
    }
}

void TestICalendar::taskRoundTrip()
{
    QFETCH(TTaskInfo, task);
    const ICalendarMapping::Calendar calendar = roundTrip({task}, {});
    QCOMPARE(calendar.tasks.size(), 1);
    QVERIFY(calendar.memos.isEmpty());
    TTaskInfo expected = task;
    if (!task.pid.isEmpty() && task.pid != Texts::RootKey)
        expected.pid = Texts::RootKey; // alone in the file, its parent is missing
    if (task.pid == expected.pid)
        QCOMPARE(calendar.moved, 0);
    compareTask(calendar.tasks.first(), expected);
    if (task.pid != expected.pid) {
        // With its parent it comes back as the child it was.
        TTaskInfo parent = baseTask();
        parent.key = task.pid;
        const ICalendarMapping::Calendar both = roundTrip({parent, task}, {});
        QCOMPARE(both.tasks.size(), 2);
        compareTask(both.tasks.at(1), task);
    }
}

void TestICalendar::memoRoundTrip_data()
{
    QTest::addColumn<TMemoInfo>("memo");
    TMemoInfo memo = baseMemo();
    QTest::newRow("plain") << memo;
    memo.assignTime = 0;
    memo.expandFlag = true;
    QTest::newRow("pasted, expanded") << memo;
    memo = baseMemo();
    memo.content = QStringLiteral("Wi-Fi\r\nName: home; key: \"a,b\\c\"\r\nRouter: Fritz!Box ü");
    memo.createTime = local(2025, 3, 30, 3, 0, 0, 500); // just after the clocks skip an hour
    memo.editTime = local(2025, 10, 26, 2, 30, 0, 1);   // a time the clocks pass twice
    memo.assignTime = local(2001, 9, 9, 3, 46, 40, 7);
    QTest::newRow("lines, milliseconds, summer time changes") << memo;
}

void TestICalendar::memoRoundTrip()
{
    QFETCH(TMemoInfo, memo);
    TMemoInfo child = baseMemo();
    child.key = QStringLiteral("{99999999-2222-3333-4444-555555555555}");
    child.pid = memo.key;
    child.content = QStringLiteral("child of ") + memo.content;
    const ICalendarMapping::Calendar calendar = roundTrip({}, {memo, child});
    QVERIFY(calendar.tasks.isEmpty());
    QCOMPARE(calendar.memos.size(), 2);
    QCOMPARE(calendar.moved, 0);
    compareCommon(calendar.memos.at(0), memo);
    QCOMPARE(calendar.memos.at(0).assignTime, memo.assignTime);
    compareCommon(calendar.memos.at(1), child);
    QCOMPARE(calendar.memos.at(1).assignTime, child.assignTime);
}

void TestICalendar::writesStandardProperties()
{
    // What other programs read: the standard properties, in UTC, the due date as a DATE.
    TTaskInfo parent = baseTask();
    TTaskInfo task = baseTask();
    task.key = QStringLiteral("{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");
    task.pid = parent.key;
    task.content = QStringLiteral("First line\r\nsecond, line");
    task.checkFlag = true;
    task.checkTime = utc(2025, 6, 1, 10, 0, 0);
    task.dueFlag = true;
    task.dueTime = local(2025, 6, 3);
    task.alarmFlag = true;
    task.alarmTime = utc(2025, 6, 2, 7, 30, 0);
    TMemoInfo memo = baseMemo();
    const QString text = QString::fromUtf8(ICalendarMapping::ToICalendar({parent, task}, {memo}))
                             .remove(QLatin1String("\r\n "));
    const QStringList lines = text.split(QLatin1String("\r\n"));
    const QStringList expected{
        QStringLiteral("BEGIN:VCALENDAR"),
        QStringLiteral("VERSION:2.0"),
        QStringLiteral("BEGIN:VTODO"),
        QStringLiteral("UID:{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}"),
        QStringLiteral("SUMMARY:First line"),
        QStringLiteral("DESCRIPTION:First line\\nsecond\\, line"),
        QStringLiteral("RELATED-TO;RELTYPE=PARENT:{0A1B2C3D-4E5F-6789-ABCD-EF0123456789}"),
        QStringLiteral("STATUS:COMPLETED"),
        QStringLiteral("COMPLETED:20250601T100000Z"),
        QStringLiteral("DUE;VALUE=DATE:20250603"),
        QStringLiteral("BEGIN:VALARM"),
        QStringLiteral("TRIGGER;VALUE=DATE-TIME:20250602T073000Z"),
        QStringLiteral("CREATED:20250330T005958Z"), // 01:59:58 in Berlin before summer time
        QStringLiteral("LAST-MODIFIED:20251026T013000Z"),
        QStringLiteral("BEGIN:VJOURNAL"),
        QStringLiteral("UID:{11111111-2222-3333-4444-555555555555}"),
    };
    for (const QString &line : expected)
        QVERIFY2(lines.contains(line), qPrintable(line + QStringLiteral(" not in\n") + text));
    QVERIFY(!text.contains(QLatin1String("X-TASKLUME-CONTENT"))); // CR LF text needs no copy
    QVERIFY(text.endsWith(QLatin1String("END:VCALENDAR\r\n")));
}

void TestICalendar::treeAndOrderRoundTrip()
{
    QList<TTaskInfo> tasks;
    for (int top = 0; top < 3; ++top) {
        TTaskInfo parent = baseTask();
        parent.key = NewRowKey();
        parent.content = QStringLiteral("top %1").arg(top);
        tasks.append(parent);
        for (int child = 0; child < top; ++child) {
            TTaskInfo task = baseTask();
            task.key = NewRowKey();
            task.pid = parent.key;
            task.content = QStringLiteral("child %1.%2").arg(top).arg(child);
            tasks.append(task);
        }
    }
    const ICalendarMapping::Calendar calendar = roundTrip(tasks, {});
    QCOMPARE(calendar.tasks.size(), tasks.size());
    for (qsizetype i = 0; i < tasks.size(); ++i)
        compareTask(calendar.tasks.at(i), tasks.at(i));
}

void TestICalendar::readsOtherPrograms_data()
{
    QTest::addColumn<QString>("uid");
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<TDateTime>("checkTime");
    QTest::addColumn<TDateTime>("due");
    QTest::addColumn<TDateTime>("alarm");
    QTest::addColumn<TDateTime>("editTime");
    QTest::newRow("floating due, absolute alarm, folded attachment")
        << "uid4@example.com"
        << "Submit Income Taxes" << false << TDateTime(0) << local(1998, 4, 15)
        << utc(1998, 4, 3, 12) << utc(1998, 1, 30, 13, 45);
    QTest::newRow("due date, categories, class")
        << "20070313T123432Z-456553@example.com"
        << "Submit Quebec Income Tax Return for 2006" << false << TDateTime(0) << local(2007, 5, 1)
        << TDateTime(0) << utc(2007, 3, 13, 12, 34, 32);
    QTest::newRow("completed, priority, due in a zone of the file")
        << "20070514T103211Z-123404@example.com"
        << "Submit Revised Internet-Draft" << true << utc(2007, 7, 7, 10) << utc(2007, 7, 9, 8)
        << TDateTime(0) << utc(2007, 5, 14, 10, 32, 11);
    QTest::newRow("recurring, percent complete, relative alarm, summary apart")
        << "weekly-review@example.org"
        << "Weekly review\r\nGo through the inbox\r\nand the calendar, then plan the week." << false
        << TDateTime(0) << TDateTime(0) << utc(2024, 1, 8, 8, 45) << utc(2024, 1, 2, 8);
    QTest::newRow("complete by percent alone")
        << "done-by-percent@example.org"
        << "Renew the passport" << true << utc(2024, 3, 5, 10, 15) << TDateTime(0) << TDateTime(0)
        << utc(2024, 3, 5, 10, 15);
}

void TestICalendar::readsOtherPrograms()
{
    QFETCH(QString, uid);
    QFETCH(QString, content);
    QFETCH(bool, checked);
    QFETCH(TDateTime, checkTime);
    QFETCH(TDateTime, due);
    QFETCH(TDateTime, alarm);
    QFETCH(TDateTime, editTime);
    ICalendarMapping::Calendar calendar;
    QVERIFY(ICalendarMapping::FromICalendar(dataFile(QStringLiteral("rfc_todos.ics")), &calendar));
    QCOMPARE(calendar.tasks.size(), 5);
    QCOMPARE(calendar.moved, 0);
    QCOMPARE(calendar.rekeyed, 0);
    const auto found = std::find_if(calendar.tasks.cbegin(), calendar.tasks.cend(),
                                    [&](const TTaskInfo &t) { return t.key == uid; });
    QVERIFY(found != calendar.tasks.cend());
    const TTaskInfo &task = *found;
    QCOMPARE(task.pid.toString(), Texts::RootKey);
    QCOMPARE(task.content, content);
    QCOMPARE(task.checkFlag, checked);
    QCOMPARE(DaysToDateTime(task.checkTime), DaysToDateTime(checkTime));
    QCOMPARE(task.dueFlag, due != 0);
    QCOMPARE(DaysToDateTime(task.dueTime), DaysToDateTime(due));
    QCOMPARE(task.alarmFlag, alarm != 0);
    QCOMPARE(DaysToDateTime(task.alarmTime), DaysToDateTime(alarm));
    QCOMPARE(DaysToDateTime(task.editTime), DaysToDateTime(editTime));
    QVERIFY(task.createTime != 0);
    QCOMPARE(task.textColor, 0);
    QCOMPARE(task.backgroundColor, 0);
    QVERIFY(!task.expandFlag);
}

void TestICalendar::readsJournalAndFoldedNonAscii()
{
    ICalendarMapping::Calendar calendar;
    QVERIFY(ICalendarMapping::FromICalendar(dataFile(QStringLiteral("non_ascii.ics")), &calendar));
    QCOMPARE(calendar.tasks.size(), 1);
    // The description repeats the summary as its first line: the text is the description.
    QCOMPARE(
        calendar.tasks.first().content,
        QStringLiteral("Grüße an Zoë – 日本語のメモを書く\r\nZweite Zeile: Überweisung für März"));
    QCOMPARE(calendar.memos.size(), 1);
    const TMemoInfo &memo = calendar.memos.first();
    QCOMPARE(memo.key.toString(), QStringLiteral("19970901T130000Z-123405@example.com"));
    QCOMPARE(memo.pid.toString(), Texts::RootKey);
    QCOMPARE(memo.content,
             QStringLiteral("Staff meeting minutes\r\n1. Staff meeting: Participants include Joe, "
                            "Lisa, and Bob. Aurora project plans were reviewed. There is "
                            "currently no budget reserves for this project."));
    QCOMPARE(DaysToDateTime(memo.editTime), DaysToDateTime(utc(1997, 9, 1, 13)));
}

// A series is one item, its master, whether its occurrences come before or after it; an
// occurrence without its master is an item, under the key its UID gives.
void TestICalendar::seriesIsOneItem()
{
    const QByteArray text =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//EN\r\n"
        "BEGIN:VTODO\r\nUID:s\r\nRECURRENCE-ID:20270111T080000Z\r\nSUMMARY:moved\r\n"
        "END:VTODO\r\n"
        "BEGIN:VTODO\r\nUID:s\r\nSUMMARY:series\r\nDTSTART:20270104T080000Z\r\n"
        "RRULE:FREQ=WEEKLY\r\nEND:VTODO\r\n"
        "BEGIN:VTODO\r\nUID:lone\r\nRECURRENCE-ID:20270111T080000Z\r\nSUMMARY:lone\r\n"
        "END:VTODO\r\n"
        "BEGIN:VJOURNAL\r\nUID:j\r\nSUMMARY:log\r\nRRULE:FREQ=DAILY\r\nEND:VJOURNAL\r\n"
        "BEGIN:VJOURNAL\r\nUID:j\r\nRECURRENCE-ID:20270105T080000Z\r\nSUMMARY:log moved\r\n"
        "END:VJOURNAL\r\nEND:VCALENDAR\r\n";
    const ICalendarMapping::Calendar calendar = fromText(text);
    QCOMPARE(calendar.tasks.size(), 2);
    QCOMPARE(calendar.tasks[0].content, QStringLiteral("series"));
    QCOMPARE(calendar.tasks[0].key, QStringLiteral("s"));
    QCOMPARE(calendar.tasks[1].content, QStringLiteral("lone"));
    QCOMPARE(calendar.tasks[1].key, QStringLiteral("lone"));
    QCOMPARE(calendar.rekeyed, 0);
    QCOMPARE(calendar.memos.size(), 1);
    QCOMPARE(calendar.memos[0].content, QStringLiteral("log"));
}

void TestICalendar::otherTreesBecomeTwoLevels()
{
    ICalendarMapping::Calendar calendar;
    QVERIFY(ICalendarMapping::FromICalendar(dataFile(QStringLiteral("tree.ics")), &calendar));
    QStringList shape;
    for (const TTaskInfo &task : calendar.tasks) {
        QString parent = task.pid;
        for (const TTaskInfo &other : calendar.tasks)
            if (other.key == task.pid)
                parent = other.content;
        shape << task.content + QStringLiteral(" < ") + parent;
    }
    const QStringList expected{
        QStringLiteral("Top < root"),
        QStringLiteral("Child < Top"),
        QStringLiteral("Grandchild < Top"),
        QStringLiteral("Great-grandchild < Top"),
        QStringLiteral("Orphan < root"),
        QStringLiteral("Sibling only < root"),
        QStringLiteral("Ring A < root"),
        QStringLiteral("Ring B < root"),
        QStringLiteral("Same UID again < root"),
        QStringLiteral("No UID < root"),
    };
    QCOMPARE(shape, expected);
    QCOMPARE(calendar.tasks.at(0).key.toString(), QStringLiteral("top@example.org"));
    // The second item of a UID and the one without get keys of their own.
    const QString again = calendar.tasks.at(8).key, none = calendar.tasks.at(9).key;
    QVERIFY(again != calendar.tasks.at(0).key.toString() && !again.isEmpty());
    QVERIFY(!none.isEmpty() && none != again);
    QCOMPARE(calendar.rekeyed, 2);
    QCOMPARE(calendar.memos.size(), 1);
    QCOMPARE(calendar.memos.first().pid.toString(), Texts::RootKey);
    // Grandchild, great-grandchild, the orphan, the ring's two and the memo.
    QCOMPARE(calendar.moved, 6);
}

// The forms lines come in: line feeds alone, folds with a blank or a tab (also in the middle
// of a multi-byte character), a byte order mark, names in lower case, a last line without
// its line break, a text cut off inside its object.
void TestICalendar::readsEveryLineForm_data()
{
    QTest::addColumn<QByteArray>("text");
    const QByteArray plain = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//EN\r\n"
                             "BEGIN:VTODO\r\nUID:form@example.org\r\n"
                             "SUMMARY:Grüße\\, Welt\r\nDESCRIPTION:Grüße\\, Welt\\nzweite Zeile\r\n"
                             "DUE;VALUE=DATE:20261224\r\nEND:VTODO\r\nEND:VCALENDAR\r\n";
    QTest::newRow("as written") << plain;
    QByteArray lineFeeds = plain;
    QTest::newRow("line feeds alone") << lineFeeds.replace("\r\n", "\n");
    QByteArray folds = plain;
    // "ü" is two bytes: the fold falls between them.
    folds.replace("DESCRIPTION:Gr\xC3", "DESCRIPTION:Gr\xC3\r\n ")
        .replace("zweite ", "zwei\r\n\tte ");
    QTest::newRow("folds with a blank and a tab") << folds;
    QTest::newRow("byte order mark") << "\xEF\xBB\xBF" + plain;
    QTest::newRow("names in lower case") << QByteArray(plain)
                                                .replace("BEGIN:VTODO", "begin:vtodo")
                                                .replace("UID:", "uid:")
                                                .replace("END:VTODO", "End:VTodo");
    QTest::newRow("no last line break") << plain.chopped(2);
    QTest::newRow("cut off inside the object") << plain.left(plain.indexOf("END:VTODO"));
}

void TestICalendar::readsEveryLineForm()
{
    QFETCH(QByteArray, text);
    const ICalendarMapping::Calendar calendar = fromText(text);
    QCOMPARE(calendar.tasks.size(), 1);
    const TTaskInfo &task = calendar.tasks.first();
    QCOMPARE(task.key.toString(), QStringLiteral("form@example.org"));
    QCOMPARE(task.content, QStringLiteral("Grüße, Welt\r\nzweite Zeile"));
    QCOMPARE(DaysToDateTime(task.dueTime), QDateTime(QDate(2026, 12, 24), QTime(0, 0)));
}

// Another program's dates up to the year 9999 (libical takes none after 3000), and what the
// program writes for them.
void TestICalendar::readsDatesOfEveryYear_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<TDateTime>("due");
    QTest::addColumn<TDateTime>("checkTime");
    QTest::addColumn<QByteArray>("written"); // a line of the object written back
    QTest::newRow("due on the last day")
        << QByteArray("DUE;VALUE=DATE:99991231\r\n") << local(9999, 12, 31) << TDateTime(0)
        << QByteArray("DUE;VALUE=DATE:99991231");
    QTest::newRow("due on the first day")
        << QByteArray("DUE;VALUE=DATE:00010101\r\n") << local(1, 1, 1) << TDateTime(0)
        << QByteArray("DUE;VALUE=DATE:00010101");
    QTest::newRow("due after 3000 with a time, completed at the end")
        << QByteArray("DUE:30010704T101500Z\r\nSTATUS:COMPLETED\r\n"
                      "COMPLETED:99991231T225959Z\r\n")
        << utc(3001, 7, 4, 10, 15) << utc(9999, 12, 31, 22, 59, 59)
        << QByteArray("COMPLETED:99991231T225959Z");
    QTest::newRow("due in a zone the system knows, year 5000")
        << QByteArray("DUE;TZID=Europe/Berlin:50000301T090000\r\n")
        << DateTimeToDays(QDateTime(QDate(5000, 3, 1), QTime(9, 0), QTimeZone("Europe/Berlin")))
        << TDateTime(0) << QByteArray("DUE;VALUE=DATE:50000301");
}

void TestICalendar::readsDatesOfEveryYear()
{
    QFETCH(QByteArray, lines);
    QFETCH(TDateTime, due);
    QFETCH(TDateTime, checkTime);
    QFETCH(QByteArray, written);
    const ICalendarMapping::Calendar calendar =
        fromText("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//EN\r\n"
                 "BEGIN:VTODO\r\nUID:far@example.org\r\nSUMMARY:Far away\r\n" +
                 lines + "END:VTODO\r\nEND:VCALENDAR\r\n");
    QCOMPARE(calendar.tasks.size(), 1);
    const TTaskInfo &task = calendar.tasks.first();
    QVERIFY(task.dueFlag);
    QCOMPARE(DaysToDateTime(task.dueTime), DaysToDateTime(due));
    QCOMPARE(task.checkFlag, checkTime != 0);
    if (checkTime != 0)
        QCOMPARE(DaysToDateTime(task.checkTime), DaysToDateTime(checkTime));
    const QByteArray object = unfolded(ICalendarMapping::ToICalendar({task}, {}));
    // The line as given, other parameters (the exact time of day) aside.
    const qsizetype colon = written.lastIndexOf(':');
    const QRegularExpression line(
        QRegularExpression::escape(QString::fromLatin1(written.left(colon))) +
        QStringLiteral("(;[^:\r\n]*)?") +
        QRegularExpression::escape(QString::fromLatin1(written.mid(colon))) +
        QStringLiteral("\r\n"));
    QVERIFY2(line.match(QString::fromLatin1(object)).hasMatch(), object.constData());
    QVERIFY(!object.contains("00000000"));
}

// Relative triggers whose offsets do not fit in 32 bits: computed in 64 bits, and a moment
// outside the program's dates arms nothing and is counted for a remark.
void TestICalendar::triggersBeyond32Bits_data()
{
    QTest::addColumn<QByteArray>("trigger");
    QTest::addColumn<qint64>("offset"); // seconds from the due time
    QTest::addColumn<bool>("armed");
    const qint64 week = 7 * 86400;
    QTest::newRow("5,000 weeks before") << QByteArray("-P5000W") << -5000 * week << true;
    QTest::newRow("2^31 - 1 minutes after")
        << QByteArray("PT2147483647M") << qint64(2147483647) * 60 << true;
    QTest::newRow("100,000 days and 2^31 seconds after")
        << QByteArray("P100000DT2147483648S") << qint64(100000) * 86400 + 2147483648LL << true;
    QTest::newRow("2^31 - 1 weeks before") << QByteArray("-P2147483647W") << qint64(0) << false;
    QTest::newRow("2^63 - 1 seconds after")
        << QByteArray("PT9223372036854775807S") << qint64(0) << false;
    QTest::newRow("more days than 64 bits of seconds hold")
        << QByteArray("P106751991167301D") << qint64(0) << false;
    QTest::newRow("more digits than 64 bits hold")
        << QByteArray("-PT99999999999999999999999H") << qint64(0) << false;
    QTest::newRow("3,000,000 days after") << QByteArray("P3000000D") << qint64(0) << false;
}

void TestICalendar::triggersBeyond32Bits()
{
    QFETCH(QByteArray, trigger);
    QFETCH(qint64, offset);
    QFETCH(bool, armed);
    const QDateTime due(QDate(2026, 12, 20), QTime(22, 0), QTimeZone::utc());
    const ICalendarMapping::Calendar calendar =
        fromText("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//EN\r\n"
                 "BEGIN:VTODO\r\nUID:alarm@example.org\r\nSUMMARY:Alarm\r\n"
                 "DUE:20261220T220000Z\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
                 "TRIGGER;RELATED=END:" +
                 trigger + "\r\nEND:VALARM\r\nEND:VTODO\r\nEND:VCALENDAR\r\n");
    QCOMPARE(calendar.tasks.size(), 1);
    const TTaskInfo &task = calendar.tasks.first();
    QCOMPARE(task.alarmFlag, armed);
    QCOMPARE(calendar.unarmed, armed ? 0 : 1);
    if (armed)
        QCOMPARE(DaysToDateTime(task.alarmTime).toSecsSinceEpoch(),
                 due.toSecsSinceEpoch() + offset);
}

void TestICalendar::refusesWhatIsNoCalendar_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("plain text") << QByteArray("milk, eggs, bread\n");
    QTest::newRow("interchange file")
        << QByteArray("<?xml version=\"1.0\"?><wy app=\"Tasklume\"/>");
}

void TestICalendar::refusesWhatIsNoCalendar()
{
    QFETCH(QByteArray, text);
    ICalendarMapping::Calendar calendar;
    calendar.moved = 7;
    QString error;
    QVERIFY(!ICalendarMapping::FromICalendar(text, &calendar, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(calendar.tasks.isEmpty() && calendar.memos.isEmpty());
}

QTEST_GUILESS_MAIN(TestICalendar)
#include "test_icalendar.moc"

void TestICalendar::updateKeepsWhatOthersWrote_data()
{
    QTest::addColumn<bool>("check");
    QTest::addColumn<bool>("disarm");
    QTest::addColumn<QByteArrayList>("kept");
    QTest::addColumn<QByteArrayList>("gone");
    QTest::addColumn<int>("alarms");
    const QByteArrayList always{"PRIORITY:1",
                                "\r\nCATEGORIES:ERRANDS,FAMILY\r\n", // as it came
                                "CLASS:PRIVATE",
                                "LOCATION:Town hall",
                                "DTSTART;TZID=Europe/Berlin:20261207T090000",
                                "RRULE:FREQ=YEARLY;COUNT=2",
                                "RELATED-TO;RELTYPE=SIBLING:phone-2@example.com",
                                "X-PHONE-TASKS-LIST-ORDER:17",
                                "BEGIN:VTIMEZONE",
                                "SEQUENCE:5"};
    QTest::newRow("text edited") << false << false
                                 << (always +
                                     QByteArrayList{"PERCENT-COMPLETE:40", "X-PHONE-UNUSED:1"})
                                 << QByteArrayList{"SEQUENCE:4", "STATUS:COMPLETED"} << 2;
    QTest::newRow("completed here")
        << true << false << (always + QByteArrayList{"PERCENT-COMPLETE:100", "STATUS:COMPLETED"})
        << QByteArrayList{"PERCENT-COMPLETE:40", "IN-PROCESS"} << 2;
    QTest::newRow("alarm turned off")
        << false << true << (always + QByteArrayList{"STATUS:IN-PROCESS"})
        << QByteArrayList{"X-PHONE-UNUSED:1", "TRIGGER"} << 0;
}

// A task another program put on a server and then edited here keeps what the program does
// not show, while every field of its own comes back as it was written.
void TestICalendar::updateKeepsWhatOthersWrote()
{
    QFETCH(bool, check);
    QFETCH(bool, disarm);
    QFETCH(QByteArrayList, kept);
    QFETCH(QByteArrayList, gone);
    QFETCH(int, alarms);
    const QByteArray older = dataFile(QStringLiteral("phone_todo.ics"));
    const ICalendarMapping::Calendar read = fromText(older);
    QCOMPARE(read.tasks.size(), 1);
    QVERIFY(read.tasks.first().alarmFlag);
    TTaskInfo task = read.tasks.first();
    task.content = QStringLiteral("Renew passport\r\nbring two photos and the old one");
    task.textColor = 0x0000ff;
    task.editTime = utc(2026, 12, 10, 9, 30);
    if (check) {
        task.checkFlag = true;
        task.checkTime = utc(2026, 12, 10, 9, 30);
    }
    if (disarm)
        task.alarmFlag = false;

    const QByteArray updated = ICalendarMapping::UpdatedObject(older, task);
    const ICalendarMapping::Calendar back = fromText(updated);
    QCOMPARE(back.tasks.size(), 1);
    compareTask(back.tasks.first(), task);
    const QByteArray text = unfolded(updated);
    for (const QByteArray &line : std::as_const(kept))
        QVERIFY2(text.contains(line), line.constData());
    for (const QByteArray &line : std::as_const(gone))
        QVERIFY2(!text.contains(line), line.constData());
    QCOMPARE(text.count("BEGIN:VALARM"), alarms);
    // The task's own properties, before its alarms, are there once each.
    const qsizetype alarmsAt = text.indexOf("BEGIN:VALARM");
    const QByteArray properties = alarmsAt < 0 ? text : text.left(alarmsAt);
    for (const char *once : {"\r\nUID:", "\r\nSUMMARY:", "\r\nDESCRIPTION:", "\r\nDTSTAMP:",
                             "\r\nDUE;", "\r\nLAST-MODIFIED:", "\r\nSEQUENCE:", "\r\nSTATUS:"})
        QVERIFY2(properties.count(once) == 1, once);
    QVERIFY(text.contains("SUMMARY:Renew passport\r\n"));
}

void TestICalendar::updateOfJournalKeepsWhatOthersWrote()
{
    const QByteArray older = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//Notes//EN\r\n"
                             "BEGIN:VJOURNAL\r\nUID:note-1\r\nDTSTAMP:20261201T080000Z\r\n"
                             "DTSTART;VALUE=DATE:20261201\r\nSUMMARY:Minutes\r\n"
                             "CATEGORIES:WORK\r\nSTATUS:FINAL\r\nEND:VJOURNAL\r\n"
                             "END:VCALENDAR\r\n";
    const ICalendarMapping::Calendar read = fromText(older);
    QCOMPARE(read.memos.size(), 1);
    TMemoInfo memo = read.memos.first();
    memo.content = QStringLiteral("Minutes of Monday");
    const QByteArray updated = ICalendarMapping::UpdatedObject(older, memo);
    const ICalendarMapping::Calendar back = fromText(updated);
    QCOMPARE(back.memos.size(), 1);
    compareCommon(back.memos.first(), memo);
    QCOMPARE(back.memos.first().assignTime, memo.assignTime);
    const QByteArray text = unfolded(updated);
    for (const char *line : {"DTSTART;VALUE=DATE:20261201", "CATEGORIES:WORK", "STATUS:FINAL"})
        QVERIFY2(text.contains(line), line);
    QCOMPARE(text.count("SUMMARY:"), 1);
}

void TestICalendar::updateChangesOnlyTheItemsLines_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QByteArrayList>("rewritten"); // names of the master's lines written anew
    QTest::newRow("text") << QStringLiteral("text")
                          << QByteArrayList{"SUMMARY", "DESCRIPTION", "LAST-MODIFIED"};
    // The alarm relative to the due date keeps its moment: its trigger is written anew.
    QTest::newRow("due date") << QStringLiteral("due") << QByteArrayList{"DUE", "TRIGGER"};
    QTest::newRow("nothing") << QString() << QByteArrayList{};
}

// A recurring to-do with a moved occurrence, edited here: the master takes the change, and
// every other line of the object (the override, the zone, comma lists, relative alarms, the
// master's other lines) stays byte for byte; the object reads as the master's one item.
void TestICalendar::updateChangesOnlyTheItemsLines()
{
    QFETCH(QString, field);
    QFETCH(QByteArrayList, rewritten);
    QByteArray older = dataFile(QStringLiteral("phone_todo.ics"));
    older.replace("\r\n", "\n").replace("\n", "\r\n");
    const QByteArray override = "BEGIN:VTODO\r\nUID:phone-1@example.com\r\n"
                                "DTSTAMP:20261201T080000Z\r\n"
                                "RECURRENCE-ID;TZID=Europe/Berlin:20271207T090000\r\n"
                                "SUMMARY:Renew passport (second year)\r\n"
                                "CATEGORIES:ERRANDS,LATER\r\nEND:VTODO\r\n";
    older.insert(older.indexOf("END:VCALENDAR"), override);

    TTaskInfo task;
    QString parent;
    QVERIFY(ICalendarMapping::ItemOfObject(older, &task, &parent));
    QCOMPARE(task.content, QStringLiteral("Renew passport\r\nbring two photos"));
    QCOMPARE(task.key, QStringLiteral("phone-1@example.com"));
    if (field == QLatin1String("text")) {
        task.content = QStringLiteral("Renew passport and ID card\r\nbring two photos");
        task.editTime = utc(2026, 12, 10, 9, 30);
    } else if (field == QLatin1String("due")) {
        task.dueTime += 2;
    }
    const QByteArray updated = ICalendarMapping::UpdatedObject(older, task);
    QVERIFY2(updated.contains(override), updated.constData());
    QCOMPARE(updated.count("BEGIN:VTODO"), 2);
    QCOMPARE(updated.count('\n'), updated.count("\r\n"));

    // Every line of the older object is there as it came but the master's rewritten ones and
    // its stamp and sequence.
    const QByteArrayList anew = rewritten + QByteArrayList{"DTSTAMP", "SEQUENCE"};
    const qsizetype masterEnd = older.indexOf("END:VTODO");
    for (const QByteArray &line : older.split('\n')) {
        const QByteArray name = line.left(line.indexOf(':')).split(';').first();
        const qsizetype at = older.indexOf(line + '\n');
        if (at < masterEnd && at > older.indexOf("BEGIN:VTODO") && anew.contains(name) &&
            line != "TRIGGER;RELATED=END:-PT5M\r") // the audio alarm is not the task's own
            continue;
        QVERIFY2(updated.contains(line + '\n'), line.constData());
    }
    TTaskInfo back;
    QVERIFY(ICalendarMapping::ItemOfObject(updated, &back, &parent));
    compareTask(back, task);
}
