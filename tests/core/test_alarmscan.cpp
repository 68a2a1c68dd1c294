// The alarm scan without widgets: which task a tick raises (tree order, equal times,
// completed, hidden and collapsed tasks), the index kept as reminders change, the snooze
// intervals and the day-and-time arithmetic the reminder dialogs use.
#include "tasks/AlarmScan.h"
#include "tasks/TaskInfo.h"
#include "tasks/TaskTreeModel.h"

#include <QTest>

namespace {

constexpr TDateTime kNow = 46000.5; // a fixed "now": 2025-12-09 12:00
constexpr TDateTime kSecond = 1.0 / 86400.0;

struct Spec
{
    const char *name;
    int parent = -1; // index of the top-level task, -1 for a top-level task itself
    bool alarm = false;
    TDateTime time = 0;
    bool complete = false;
    bool hidden = false;
};

} // namespace

class TestAlarmScan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dueRule_data();
    void dueRule();
    void firstInTreeOrderIsRaised();
    void equalTimesRaiseOneAfterAnother();
    void completedTaskNeverRaises();
    void hiddenAndCollapsedTasksRaise();
    void indexFollowsChanges();
    void removedTaskCostsOneWalkAtMost();
    void idleTickDoesNotWalk();
    void snoozeIntervals_data();
    void snoozeIntervals();
    void snoozeNamesInListOrder();
    void dayAndTimeRoundTrip_data();
    void dayAndTimeRoundTrip();

private:
    // Builds a model from the specs; returns the nodes in spec order.
    QList<ItemNode *> build(TaskTreeModel &model, const QList<Spec> &specs);
    static QString name(const ItemNode *node) { return node ? node->info->content : QString(); }
};

QList<ItemNode *> TestAlarmScan::build(TaskTreeModel &model, const QList<Spec> &specs)
{
    ItemForest forest;
    QList<ItemNode *> nodes;
    for (const Spec &spec : specs) {
        auto info = std::make_unique<TTaskInfo>();
        info->key = QString::fromLatin1(spec.name);
        info->content = QString::fromLatin1(spec.name);
        info->alarmFlag = spec.alarm;
        info->alarmTime = spec.time;
        info->checkFlag = spec.complete;
        auto node = std::make_unique<ItemNode>(std::move(info));
        node->hidden = spec.hidden;
        nodes.append(node.get());
        if (spec.parent < 0) {
            forest.push_back(std::move(node));
        } else {
            ItemNode *parent = nodes[spec.parent];
            parent->children.push_back(std::move(node));
        }
    }
    model.resetForest(std::move(forest));
    return nodes;
}

void TestAlarmScan::dueRule_data()
{
    QTest::addColumn<TDateTime>("offset"); // reminder time minus now
    QTest::addColumn<bool>("due");
    QTest::newRow("a minute ago") << -60 * kSecond << true;
    QTest::newRow("equal") << 0.0 << true;
    QTest::newRow("half a millisecond ahead counts as equal") << kOneMillisecond / 2 << true;
    QTest::newRow("two milliseconds ahead") << 2 * kOneMillisecond << false;
    QTest::newRow("one second ahead") << kSecond << false;
}

void TestAlarmScan::dueRule()
{
    QFETCH(TDateTime, offset);
    QFETCH(bool, due);
    TaskTreeModel model;
    build(model, {{"a", -1, true, kNow + offset}});
    AlarmScan scan;
    scan.rebuild(model);
    QCOMPARE(name(scan.dueTask(model, kNow)), due ? QStringLiteral("a") : QString());
    // A second later anything armed for a moment ahead has come.
    if (!due)
        QCOMPARE(name(scan.dueTask(model, kNow + offset + kSecond)), QStringLiteral("a"));
}

void TestAlarmScan::firstInTreeOrderIsRaised()
{
    TaskTreeModel model;
    // The latest reminder stands first in the tree: tree order wins, not the time.
    build(model, {{"top1", -1, true, kNow - 1 * kSecond},
                  {"child1", 0, true, kNow - 9 * kSecond},
                  {"top2", -1, true, kNow - 20 * kSecond},
                  {"top3", -1, true, kNow + 60 * kSecond}});
    AlarmScan scan;
    scan.rebuild(model);
    QCOMPARE(name(scan.dueTask(model, kNow)), QStringLiteral("top1"));
    // A child comes before the next top-level task.
    TTaskInfo *top1 = TaskTreeModel::task(model.root()->children[0].get());
    top1->alarmFlag = false;
    scan.update(model.root()->children[0].get());
    QCOMPARE(name(scan.dueTask(model, kNow)), QStringLiteral("child1"));
}

void TestAlarmScan::equalTimesRaiseOneAfterAnother()
{
    TaskTreeModel model;
    const QList<ItemNode *> nodes =
        build(model, {{"first", -1, true, kNow}, {"second", -1, true, kNow}});
    AlarmScan scan;
    scan.rebuild(model);
    QCOMPARE(scan.dueTask(model, kNow), nodes[0]);
    // The first is snoozed (as the alarm window's outcome is written): the second is next.
    TaskTreeModel::task(nodes[0])->alarmTime = Snooze::until(kNow, 0);
    scan.update(nodes[0]);
    QCOMPARE(scan.dueTask(model, kNow), nodes[1]);
    TaskTreeModel::task(nodes[1])->alarmFlag = false;
    TaskTreeModel::task(nodes[1])->alarmTime = 0;
    scan.update(nodes[1]);
    QCOMPARE(scan.dueTask(model, kNow), nullptr);
    QCOMPARE(scan.dueTask(model, Snooze::until(kNow, 0)), nodes[0]);
}

void TestAlarmScan::completedTaskNeverRaises()
{
    TaskTreeModel model;
    const QList<ItemNode *> nodes = build(model, {{"done", -1, true, kNow - 3600 * kSecond, true}});
    AlarmScan scan;
    scan.rebuild(model);
    QCOMPARE(scan.armedCount(), 0);
    QCOMPARE(scan.dueTask(model, kNow), nullptr);
    // Marked incomplete again with its past reminder: raised at the next tick.
    TaskTreeModel::task(nodes[0])->checkFlag = false;
    scan.update(nodes[0]);
    QCOMPARE(scan.dueTask(model, kNow), nodes[0]);
    // Completing it again takes it out; its flag and time stay as they were.
    TaskTreeModel::task(nodes[0])->checkFlag = true;
    scan.update(nodes[0]);
    QCOMPARE(scan.dueTask(model, kNow), nullptr);
    QVERIFY(TaskTreeModel::task(nodes[0])->alarmFlag);
}

void TestAlarmScan::hiddenAndCollapsedTasksRaise()
{
    TaskTreeModel model;
    // A collapsed parent's child, and a task filtered out of the view.
    const QList<ItemNode *> nodes =
        build(model, {{"parent", -1},
                      {"child", 0, true, kNow - kSecond},
                      {"filtered", -1, true, kNow - kSecond, false, true}});
    QVERIFY(!nodes[0]->expanded);
    QCOMPARE(nodes[2]->shownRow(), -1);
    AlarmScan scan;
    scan.rebuild(model);
    QCOMPARE(scan.dueTask(model, kNow), nodes[1]);
    TaskTreeModel::task(nodes[1])->alarmFlag = false;
    scan.update(nodes[1]);
    QCOMPARE(scan.dueTask(model, kNow), nodes[2]);
}

void TestAlarmScan::indexFollowsChanges()
{
    TaskTreeModel model;
    const QList<ItemNode *> nodes = build(model, {{"a"}, {"b", -1, true, kNow + 10 * kSecond}});
    AlarmScan scan;
    scan.rebuild(model);
    QCOMPARE(scan.armedCount(), 1);
    QCOMPARE(scan.nextTime(), kNow + 10 * kSecond);
    // Arming a task adds it; moving a reminder earlier is seen at once.
    TaskTreeModel::task(nodes[0])->alarmFlag = true;
    TaskTreeModel::task(nodes[0])->alarmTime = kNow + 20 * kSecond;
    scan.update(nodes[0]);
    TaskTreeModel::task(nodes[1])->alarmTime = kNow - kSecond;
    scan.update(nodes[1]);
    QCOMPARE(scan.armedCount(), 2);
    QCOMPARE(scan.nextTime(), kNow - kSecond);
    QCOMPARE(scan.dueTask(model, kNow), nodes[1]);
    // Dismissed: out of the index.
    TaskTreeModel::task(nodes[1])->alarmFlag = false;
    TaskTreeModel::task(nodes[1])->alarmTime = 0;
    scan.update(nodes[1]);
    QCOMPARE(scan.armedCount(), 1);
    QCOMPARE(scan.dueTask(model, kNow), nullptr);
    // Removing a top-level task forgets its children too.
    TaskTreeModel model2;
    const QList<ItemNode *> family =
        build(model2, {{"p", -1, true, kNow + 1}, {"c", 0, true, kNow + 2}});
    scan.rebuild(model2);
    QCOMPARE(scan.armedCount(), 2);
    scan.remove(family[0]);
    QCOMPARE(scan.armedCount(), 0);
}

void TestAlarmScan::removedTaskCostsOneWalkAtMost()
{
    TaskTreeModel model;
    const QList<ItemNode *> nodes = build(
        model, {{"gone", -1, true, kNow - kSecond}, {"later", -1, true, kNow + 60 * kSecond}});
    AlarmScan scan;
    scan.rebuild(model);
    // The task leaves the tree without the scan being told.
    model.removeNode(nodes[0]);
    QCOMPARE(scan.dueTask(model, kNow), nullptr);
    QCOMPARE(scan.walks(), 1);
    QCOMPARE(scan.armedCount(), 1);
    // The index was read again: later ticks end at the first comparison.
    QCOMPARE(scan.dueTask(model, kNow), nullptr);
    QCOMPARE(scan.dueTask(model, kNow + kSecond), nullptr);
    QCOMPARE(scan.walks(), 1);
    QCOMPARE(name(scan.dueTask(model, kNow + 60 * kSecond)), QStringLiteral("later"));
}

void TestAlarmScan::idleTickDoesNotWalk()
{
    TaskTreeModel model;
    QList<Spec> specs;
    static const QByteArray names[] = {"t0", "t1", "t2", "t3", "t4", "t5", "t6", "t7"};
    for (int i = 0; i < 8; ++i)
        specs.append({names[i].constData(), -1, true, kNow + (i + 1) * kSecond});
    build(model, specs);
    AlarmScan scan;
    scan.rebuild(model);
    for (int i = 0; i < 100; ++i)
        QCOMPARE(scan.dueTask(model, kNow), nullptr);
    QCOMPARE(scan.walks(), 0);
    QCOMPARE(scan.nextTime(), kNow + kSecond);
}

void TestAlarmScan::snoozeIntervals_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("name");
    QTest::addColumn<TDateTime>("added");
    QTest::newRow("first item") << 0 << QStringLiteral("5 Minutes") << 5.0 / 1440;
    QTest::newRow("45 minutes") << 4 << QStringLiteral("45 Minutes") << 45.0 / 1440;
    QTest::newRow("1 hour") << 5 << QStringLiteral("1 Hour") << 1.0 / 24;
    QTest::newRow("8 hours") << 12 << QStringLiteral("8 Hours") << 8.0 / 24;
    QTest::newRow("1 day") << 13 << QStringLiteral("1 Day") << 1.0;
    QTest::newRow("6 days") << 18 << QStringLiteral("6 Days") << 6.0;
    QTest::newRow("1 week") << 19 << QStringLiteral("1 Week") << 7.0;
    QTest::newRow("2 weeks") << 20 << QStringLiteral("2 Weeks") << 14.0;
    QTest::newRow("3 weeks") << 21 << QStringLiteral("3 Weeks") << 21.0;
}

void TestAlarmScan::snoozeIntervals()
{
    QFETCH(int, item);
    QFETCH(QString, name);
    QFETCH(TDateTime, added);
    QCOMPARE(Snooze::names().at(item), name);
    QCOMPARE(Snooze::until(kNow, item), kNow + added);
    // Whole days keep the time of day exactly.
    if (added >= 1.0)
        QCOMPARE(TimeOfDay(Snooze::until(kNow, item)), TimeOfDay(kNow));
}

void TestAlarmScan::snoozeNamesInListOrder()
{
    const QStringList expected{
        QStringLiteral("5 Minutes"),  QStringLiteral("10 Minutes"), QStringLiteral("15 Minutes"),
        QStringLiteral("30 Minutes"), QStringLiteral("45 Minutes"), QStringLiteral("1 Hour"),
        QStringLiteral("2 Hours"),    QStringLiteral("3 Hours"),    QStringLiteral("4 Hours"),
        QStringLiteral("5 Hours"),    QStringLiteral("6 Hours"),    QStringLiteral("7 Hours"),
        QStringLiteral("8 Hours"),    QStringLiteral("1 Day"),      QStringLiteral("2 Days"),
        QStringLiteral("3 Days"),     QStringLiteral("4 Days"),     QStringLiteral("5 Days"),
        QStringLiteral("6 Days"),     QStringLiteral("1 Week"),     QStringLiteral("2 Weeks"),
        QStringLiteral("3 Weeks")};
    QCOMPARE(Snooze::names(), expected);
}

void TestAlarmScan::dayAndTimeRoundTrip_data()
{
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<TDateTime>("days");
    QTest::newRow("epoch") << QDate(1899, 12, 30) << QTime(0, 0) << 0.0;
    QTest::newRow("noon") << QDate(2025, 12, 9) << QTime(12, 0) << 46000.5;
    QTest::newRow("with milliseconds")
        << QDate(2025, 12, 9) << QTime(18, 0, 0, 500) << 46000.75 + 0.5 / 86400;
    // A wall-clock time that a clock change skips in many zones stays as it is.
    QTest::newRow("spring forward") << QDate(2026, 3, 29) << QTime(2, 30) << 46110.0 + 2.5 / 24;
    QTest::newRow("before the epoch") << QDate(1899, 12, 29) << QTime(6, 0) << -1.25;
}

void TestAlarmScan::dayAndTimeRoundTrip()
{
    QFETCH(QDate, day);
    QFETCH(QTime, time);
    QFETCH(TDateTime, days);
    QCOMPARE(DayAndTime(day, time), days);
    QCOMPARE(DayOf(days), day);
    QCOMPARE(TimeOfDay(days), time);
}

QTEST_GUILESS_MAIN(TestAlarmScan)
#include "test_alarmscan.moc"
