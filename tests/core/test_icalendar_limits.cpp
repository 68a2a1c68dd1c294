// Hostile and huge iCalendar texts, generated here: a line or an object past the bounds is
// refused after reading no more than the bound, whatever follows; a text just within them is
// read whole; long RELATED-TO chains and circles, and time zones of many rules, are read in
// time linear in their size.
#include "common/pU_Funcs.h"
#include "common/Texts.h"
#include "sync/ICalendarMapping.h"
#include "sync/ICalendarReader.h"

#include <QBuffer>
#include <QTest>
#include <QTimeZone>

#include <ctime>

namespace {

const QByteArray kHead = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//EN\r\n";
const QByteArray kTail = "END:VCALENDAR\r\n";

QByteArray todo(const QByteArray &uid, const QByteArray &lines = {})
{
    return "BEGIN:VTODO\r\nUID:" + uid + "\r\nSUMMARY:" + uid + "\r\n" + lines + "END:VTODO\r\n";
}

// A text folded as RFC 5545 folds it: lines of 75 octets, the next ones starting with a blank.
QByteArray folded(const QByteArray &line)
{
    QByteArray result;
    result.reserve(line.size() + line.size() / 74 * 3 + 2);
    result.append(line.left(75));
    for (qsizetype at = 75; at < line.size(); at += 74)
        result.append("\r\n ").append(line.mid(at, 74));
    return result.append("\r\n");
}

// An endless text: a calendar, a to-do, and a line that never ends (or, with folds, a line
// folded forever), made as it is read: nothing of it is held.
class EndlessLine : public QIODevice
{
public:
    explicit EndlessLine(bool folds) : m_folds(folds) { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }
    qint64 served() const { return m_served; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        static const QByteArray head = kHead + "BEGIN:VTODO\r\nUID:x\r\nDESCRIPTION:";
        qint64 n = 0;
        for (; n < maxSize; ++n, ++m_served) {
            if (m_served < head.size())
                data[n] = head[m_served];
            else if (m_folds && (m_served - head.size()) % 76 == 74)
                data[n] = '\n';
            else if (m_folds && (m_served - head.size()) % 76 == 75)
                data[n] = ' ';
            else
                data[n] = 'a';
        }
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    bool m_folds;
    qint64 m_served = 0;
};

} // namespace

class TestICalendarLimits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void refusesPartsPastTheBounds_data();
    void refusesPartsPastTheBounds();
    void endlessLineIsReadNoFurtherThanTheBound_data();
    void endlessLineIsReadNoFurtherThanTheBound();
    void textJustWithinTheBoundIsReadWhole();
    void longChainsAndCircles_data();
    void longChainsAndCircles();
    void timeZonesOfManyRules_data();
    void timeZonesOfManyRules();
    void updatedObjectKeepsLongLinesOfTheOlderObject();
    void updatedObjectOverAnOlderObjectPastTheBounds_data();
    void updatedObjectOverAnOlderObjectPastTheBounds();
};

void TestICalendarLimits::initTestCase()
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

void TestICalendarLimits::refusesPartsPastTheBounds_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    const qsizetype bound = ICalendarReader::MaxLine;
    const QByteArray prefix = "DESCRIPTION:";
    QTest::newRow("one line a byte past 16 MiB")
        << kHead + todo("a", prefix + QByteArray(bound + 1 - prefix.size(), 'a') + "\r\n") + kTail
        << QStringLiteral("holds a line longer than 16 MiB");
    QTest::newRow("a line past 16 MiB once its folds are undone")
        << kHead + todo("a", folded(prefix + QByteArray(bound + 100, 'b'))) + kTail
        << QStringLiteral("holds a line longer than 16 MiB");
    QTest::newRow("a long line outside any object")
        << kHead + "X-COMMENT:" + QByteArray(bound + 1, 'c') + "\r\n" + todo("a") + kTail
        << QStringLiteral("holds a line longer than 16 MiB");
    QByteArray many;
    for (int i = 0; i < ICalendarReader::MaxObjectLines; ++i)
        many += "X-P:" + QByteArray::number(i) + "\r\n";
    QTest::newRow("an object of more than 10,000 lines")
        << kHead + todo("a", many) + kTail
        << QStringLiteral("holds an object of more than 10,000 lines");
    QByteArray deep, up;
    for (int i = 0; i < ICalendarReader::MaxDepth; ++i) {
        deep += "BEGIN:X-LEVEL\r\n";
        up += "END:X-LEVEL\r\n";
    }
    QTest::newRow("components nested more than 100 deep")
        << kHead + todo("a", deep + up) + kTail
        << QStringLiteral("holds components nested more than 100 deep");
    QTest::newRow("a NUL byte") << kHead + todo("a", QByteArray("X-P:a\0b\r\n", 9)) + kTail
                                << QStringLiteral("holds no calendar: it is not a text file");
}

void TestICalendarLimits::refusesPartsPastTheBounds()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    ICalendarMapping::Calendar calendar;
    QString why;
    QVERIFY(!ICalendarMapping::FromICalendar(text, &calendar, &why));
    QCOMPARE(why, error);
    QVERIFY(calendar.tasks.isEmpty());
    // An object from a server is held to the same bounds.
    TTaskInfo task;
    QString parent;
    QVERIFY(!ICalendarMapping::ItemOfObject(text, &task, &parent));
}

void TestICalendarLimits::endlessLineIsReadNoFurtherThanTheBound_data()
{
    QTest::addColumn<bool>("folds");
    QTest::newRow("one line") << false;
    QTest::newRow("folded") << true;
}

// A line of any length (200 MiB, or one that never ends) costs no more than its first 16 MiB.
void TestICalendarLimits::endlessLineIsReadNoFurtherThanTheBound()
{
    QFETCH(bool, folds);
    EndlessLine device(folds);
    ICalendarReader::Reader reader(&device);
    ICalendarReader::Object object;
    QVERIFY(!reader.next(&object));
    QCOMPARE(reader.error(), QStringLiteral("holds a line longer than 16 MiB"));
    // The bound, its folds, and the piece read ahead.
    QVERIFY2(device.served() <= ICalendarReader::MaxLine * 76 / 74 + (qint64(2) << 20),
             QByteArray::number(device.served()).constData());
}

void TestICalendarLimits::textJustWithinTheBoundIsReadWhole()
{
    const QByteArray prefix = "DESCRIPTION:";
    QByteArray text(ICalendarReader::MaxLine - prefix.size(), 'x');
    for (qsizetype i = 0; i < text.size(); i += 1000)
        text[i] = 'A' + char(i / 1000 % 26);
    ICalendarMapping::Calendar calendar;
    QString why;
    QVERIFY2(ICalendarMapping::FromICalendar(kHead + todo("a", folded(prefix + text)) + kTail,
                                             &calendar, &why),
             qPrintable(why));
    QCOMPARE(calendar.tasks.size(), 1);
    // The summary "a" comes first, the description after it.
    QCOMPARE(calendar.tasks.first().content.size(), qsizetype(1) + 2 + text.size());
    QVERIFY(calendar.tasks.first().content.endsWith(QString::fromLatin1(text.right(5000))));
}

void TestICalendarLimits::longChainsAndCircles_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("circle");
    // Each item walking its whole ancestry takes minutes at these sizes.
    QTest::newRow("a chain of 60,000") << 60000 << false;
    QTest::newRow("a circle of 40,000") << 40000 << true;
}

void TestICalendarLimits::longChainsAndCircles()
{
    QFETCH(int, count);
    QFETCH(bool, circle);
    QByteArray text = kHead;
    text.reserve(count * 80);
    for (int i = 0; i < count; ++i) {
        const QByteArray parent = i > 0    ? QByteArray::number(i - 1)
                                  : circle ? QByteArray::number(count - 1)
                                           : QByteArray();
        text += "BEGIN:VTODO\r\nUID:" + QByteArray::number(i) + "\r\nSUMMARY:t\r\n" +
                (parent.isEmpty() ? QByteArray() : "RELATED-TO:" + parent + "\r\n") +
                "END:VTODO\r\n";
    }
    text += kTail;
    ICalendarMapping::Calendar calendar;
    QVERIFY(ICalendarMapping::FromICalendar(text, &calendar));
    QCOMPARE(calendar.tasks.size(), count);
    if (circle) {
        // Every item of the circle becomes top-level, in the file's order.
        QCOMPARE(calendar.moved, count);
        for (int i = 0; i < count; ++i) {
            QCOMPARE(calendar.tasks[i].key.toString(), QString::number(i));
            QCOMPARE(calendar.tasks[i].pid.toString(), Texts::RootKey);
        }
    } else {
        // The first is the top; every other one is its child, the grandchildren and deeper
        // moved up.
        QCOMPARE(calendar.moved, count - 2);
        QCOMPARE(calendar.tasks.first().pid.toString(), Texts::RootKey);
        for (int i = 1; i < count; ++i) {
            QCOMPARE(calendar.tasks[i].key.toString(), QString::number(i));
            QCOMPARE(calendar.tasks[i].pid.toString(), QStringLiteral("0"));
        }
    }
}

void TestICalendarLimits::timeZonesOfManyRules_data()
{
    QTest::addColumn<QByteArray>("tzid");
    QTest::addColumn<int>("rules");
    QTest::addColumn<QByteArray>("rrule");
    QTest::addColumn<QDateTime>("due");
    const QDateTime berlin(QDate(2026, 7, 1), QTime(9, 0), QTimeZone("Europe/Berlin"));
    const QDateTime floating(QDate(2026, 7, 1), QTime(9, 0));
    const QDateTime plus9(QDate(2026, 7, 1), QTime(9, 0), QTimeZone(9 * 3600));
    // The system's zone of that name wins over the file's rules, however many.
    QTest::newRow("a zone the system knows, 1,400 rules")
        << QByteArray("Europe/Berlin") << 1400 << QByteArray("FREQ=YEARLY;BYMONTH=3") << berlin;
    QTest::newRow("a zone the system knows by a Windows name, 1,400 rules")
        << QByteArray("W. Europe Standard Time") << 1400 << QByteArray("FREQ=YEARLY;BYMONTH=3")
        << berlin;
    // A zone of its own: used while it is small and plain.
    QTest::newRow("a zone of the file, one rule")
        << QByteArray("Hostile/Zone") << 1 << QByteArray("FREQ=YEARLY;BYMONTH=3") << plus9;
    QTest::newRow("a zone of the file, 1,400 rules")
        << QByteArray("Hostile/Zone") << 1400 << QByteArray("FREQ=YEARLY;BYMONTH=3") << floating;
    QTest::newRow("a zone of the file, a rule every second")
        << QByteArray("Hostile/Zone") << 1 << QByteArray("FREQ=SECONDLY") << floating;
}

// Each rule expanded year by year, or a rule of many changes a year, would take minutes.
void TestICalendarLimits::timeZonesOfManyRules()
{
    QFETCH(QByteArray, tzid);
    QFETCH(int, rules);
    QFETCH(QByteArray, rrule);
    QFETCH(QDateTime, due);
    QByteArray zone = "BEGIN:VTIMEZONE\r\nTZID:" + tzid + "\r\n";
    for (int i = 0; i < rules; ++i)
        zone += "BEGIN:STANDARD\r\nDTSTART:" + QByteArray::number(1601 + i % 400) +
                "0101T000000\r\nTZOFFSETFROM:+0900\r\nTZOFFSETTO:+0900\r\nRRULE:" + rrule +
                "\r\nEND:STANDARD\r\n";
    zone += "END:VTIMEZONE\r\n";
    ICalendarMapping::Calendar calendar;
    QString why;
    QVERIFY2(ICalendarMapping::FromICalendar(
                 kHead + zone + todo("z", "DUE;TZID=\"" + tzid + "\":20260701T090000\r\n") + kTail,
                 &calendar, &why),
             qPrintable(why));
    QCOMPARE(calendar.tasks.size(), 1);
    QCOMPARE(DaysToDateTime(calendar.tasks.first().dueTime).toUTC(), due.toUTC());
}

// An item edited here written over another program's object of several long lines (four
// lines of 15 MiB: libical's own line reader would take minutes over them): every line stays
// as it came, the edited summary is written anew.
void TestICalendarLimits::updatedObjectKeepsLongLinesOfTheOlderObject()
{
    const qsizetype length = ICalendarReader::MaxLine - (qint64(1) << 20);
    QByteArray older = kHead;
    older.reserve(4 * length + 4096);
    older += "BEGIN:VTODO\r\nUID:long\r\nSUMMARY:long\r\nRRULE:FREQ=WEEKLY\r\n";
    const QByteArrayList names = {"DESCRIPTION:", "X-OTHER-NOTES:", "COMMENT:"};
    for (const QByteArray &name : names)
        older += folded(name + QByteArray(length - name.size(), name.front()));
    older += "END:VTODO\r\nBEGIN:VTODO\r\nUID:long\r\nRECURRENCE-ID:20270101T090000Z\r\n"
             "SUMMARY:long\r\n";
    older += "DESCRIPTION:" + QByteArray(length - 12, 'o') + "\r\nEND:VTODO\r\n" + kTail;

    TTaskInfo task;
    QString parent;
    QVERIFY(ICalendarMapping::ItemOfObject(older, &task, &parent));
    QCOMPARE(task.key, QStringLiteral("long"));
    task.content = QStringLiteral("short");
    bool keeps = false;
    const QByteArray updated = ICalendarMapping::UpdatedObject(older, task, &keeps);
    QVERIFY(keeps);
    QVERIFY(updated.contains("SUMMARY:short\r\n"));
    QVERIFY(updated.contains("RRULE:FREQ=WEEKLY\r\n"));
    for (const QByteArray &name : {QByteArray("X-OTHER-NOTES:"), QByteArray("COMMENT:")})
        QVERIFY2(updated.contains(folded(name + QByteArray(length - name.size(), name.front()))),
                 name.constData());
    QVERIFY(updated.contains("DESCRIPTION:" + QByteArray(length - 12, 'o') + "\r\n"));
    QCOMPARE(updated.count("BEGIN:VTODO"), 2);
}

void TestICalendarLimits::updatedObjectOverAnOlderObjectPastTheBounds_data()
{
    QTest::addColumn<QByteArray>("lines");
    const QByteArray prefix = "X-OTHER-NOTES:";
    QTest::newRow("a line a byte past 16 MiB")
        << prefix + QByteArray(ICalendarReader::MaxLine + 1 - prefix.size(), 'a') + "\r\n";
    QTest::newRow("a line past 16 MiB once its folds are undone")
        << folded(prefix + QByteArray(ICalendarReader::MaxLine + 100, 'b'));
    QByteArray many;
    for (int i = 0; i < ICalendarReader::MaxObjectLines; ++i)
        many += "X-P:" + QByteArray::number(i) + "\r\n";
    QTest::newRow("more than 10,000 lines") << many;
    QByteArray deep, up;
    for (int i = 0; i < ICalendarReader::MaxDepth; ++i) {
        deep += "BEGIN:X-LEVEL\r\n";
        up += "END:X-LEVEL\r\n";
    }
    QTest::newRow("nested more than 100 deep") << deep + up;
}

// An older object the program cannot read is not kept: the item is written as the program
// writes it, and the object is not worth keeping for the next edit.
void TestICalendarLimits::updatedObjectOverAnOlderObjectPastTheBounds()
{
    QFETCH(QByteArray, lines);
    const QByteArray older = kHead + todo("past", "RRULE:FREQ=DAILY\r\n" + lines) + kTail;
    TTaskInfo task;
    task.key = QStringLiteral("past");
    task.content = QStringLiteral("edited here");
    bool keeps = true;
    const QByteArray updated = ICalendarMapping::UpdatedObject(older, task, &keeps);
    QVERIFY(!keeps);
    QVERIFY(updated.size() < 4096);
    QVERIFY(updated.contains("SUMMARY:edited here\r\n"));
    QVERIFY(updated.contains("UID:past\r\n"));
    QVERIFY(!updated.contains("RRULE"));
    TTaskInfo back;
    QString parent;
    QVERIFY(ICalendarMapping::ItemOfObject(updated, &back, &parent));
    QCOMPARE(back.content, task.content);
}

QTEST_GUILESS_MAIN(TestICalendarLimits)
#include "test_icalendar_limits.moc"
