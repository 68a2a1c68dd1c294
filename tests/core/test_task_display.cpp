// What a to-do list row shows: text in the normal, date and list views, its image, bold and
// grey italics, and the status bar line.
#include "support/TestSupport.h"
#include "tasks/TaskTreeModel.h"

#include <QTest>

namespace {
TDateTime day(int offset, int hour = 0, int minute = 0)
{
    return DateTimeToDays(QDateTime(QDate::currentDate().addDays(offset), QTime(hour, minute)));
}
} // namespace

class TestTaskDisplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void imageAndFont_data();
    void imageAndFont();
    void listViewNumbersCountHiddenSiblings();
    void listViewFlattensAndSkipsPlaceholder();
    void hotAndEditedRowsShowFullText();
    void dateView_data();
    void dateView();
    void accessibleTexts_data();
    void accessibleTexts();
    void statusText_data();
    void statusText();
    void editAndStoredText_data();
    void editAndStoredText();
};

void TestTaskDisplay::imageAndFont_data()
{
    QTest::addColumn<bool>("complete");
    QTest::addColumn<bool>("due");
    QTest::addColumn<int>("dueOffset");
    QTest::addColumn<bool>("alarm");
    QTest::addColumn<int>("image");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("greyItalic");

    QTest::newRow("nothing set") << false << false << 0 << false << -1 << false << false;
    QTest::newRow("due today") << false << true << 0 << false << 24 << false << false;
    QTest::newRow("due tomorrow") << false << true << 1 << false << 24 << false << false;
    QTest::newRow("due yesterday") << false << true << -1 << false << 23 << true << false;
    QTest::newRow("complete and overdue") << true << true << -1 << false << -1 << false << true;
    QTest::newRow("reminder and due") << false << true << 3 << true << 22 << false << false;
    QTest::newRow("reminder and overdue") << false << true << -3 << true << 22 << true << false;
}

void TestTaskDisplay::imageAndFont()
{
    QFETCH(bool, complete);
    QFETCH(bool, due);
    QFETCH(int, dueOffset);
    QFETCH(bool, alarm);

    TaskTreeModel model;
    auto info = std::make_unique<TTaskInfo>();
    info->content = QStringLiteral("Pay the rent");
    info->checkFlag = complete;
    info->dueFlag = due;
    info->dueTime = day(dueOffset, 12);
    info->alarmFlag = alarm;
    info->alarmTime = day(1, 9);
    model.appendNode(nullptr, std::move(info));
    const QModelIndex index = model.index(0, 0);

    QTEST(index.data(ItemTreeModel::ImageIndexRole).toInt(), "image");
    QTEST(index.data(ItemTreeModel::BoldRole).toBool(), "bold");
    QTEST(index.data(ItemTreeModel::GreyItalicRole).toBool(), "greyItalic");
    QCOMPARE(index.data(Qt::CheckStateRole).toInt(), complete ? Qt::Checked : Qt::Unchecked);
}

void TestTaskDisplay::listViewNumbersCountHiddenSiblings()
{
    TaskTreeModel model;
    ItemNode *nodes[3];
    for (int i = 0; i < 3; ++i) {
        auto info = std::make_unique<TTaskInfo>();
        info->content = QStringLiteral("Task %1").arg(i + 1);
        nodes[i] = model.appendNode(nullptr, std::move(info));
    }
    auto child = std::make_unique<TTaskInfo>();
    child->content = QStringLiteral("First step");
    ItemNode *childNode = model.appendNode(nodes[2], std::move(child));
    nodes[1]->hidden = true;
    model.refreshShown();
    model.view.list = true;

    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("1. Task 1"));
    QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("3. Task 3"));
    QCOMPARE(model.indexOf(childNode).data().toString(), QStringLiteral("(1) First step"));
}

void TestTaskDisplay::listViewFlattensAndSkipsPlaceholder()
{
    TaskTreeModel model;
    auto lines = std::make_unique<TTaskInfo>();
    lines->content = QStringLiteral("a\r\nb");
    model.appendNode(nullptr, std::move(lines));
    model.appendNode(nullptr, std::make_unique<TTaskInfo>());
    model.view.list = true;

    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("1. a  b"));
    QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("Input content here"));
    QVERIFY(model.index(1, 0).data(ItemTreeModel::GreyItalicRole).toBool());
    QVERIFY(model.index(1, 0).data(ItemTreeModel::PlaceholderRole).toBool());
}

void TestTaskDisplay::hotAndEditedRowsShowFullText()
{
    TaskTreeModel model;
    auto info = std::make_unique<TTaskInfo>();
    info->content = QStringLiteral("a\r\nb");
    ItemNode *node = model.appendNode(nullptr, std::move(info));
    ItemNode *empty = model.appendNode(nullptr, std::make_unique<TTaskInfo>());
    model.view.list = true;
    model.view.date = true;

    model.view.hot = node;
    QVERIFY(model.index(0, 0).data().toString().startsWith(QStringLiteral("a\r\nb -- Created: ")));
    model.view.hot = nullptr;
    model.view.edit = node;
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("a\r\nb"));
    QCOMPARE(model.index(0, 0).data(Qt::EditRole).toString(), QStringLiteral("a\nb"));
    // The row being added shows its (empty) text, never the placeholder.
    model.view.edit = empty;
    QCOMPARE(model.index(1, 0).data().toString(), QString());
    QVERIFY(!model.index(1, 0).data(ItemTreeModel::GreyItalicRole).toBool());
}

void TestTaskDisplay::dateView_data()
{
    QTest::addColumn<bool>("complete");
    QTest::addColumn<bool>("due");
    QTest::addColumn<bool>("alarm");
    QTest::addColumn<QString>("suffix");

    const TDateTime created = day(-2, 10, 30);
    const TDateTime checked = day(-1, 8);
    const TDateTime dueAt = day(2);
    const TDateTime alarmAt = day(1, 9, 15);
    const QString base = QStringLiteral("Pay -- Created: ") + FormatDate(created);
    Q_UNUSED(checked);
    QTest::newRow("plain") << false << false << false << base;
    QTest::newRow("due") << false << true << false
                         << base + QStringLiteral("  Due: ") + FormatDate(dueAt);
    QTest::newRow("due and alarm")
        << false << true << true
        << base + QStringLiteral("  Due: ") + FormatDate(dueAt) + QStringLiteral("  Alarm: ") +
               FormatDateTime(alarmAt);
    QTest::newRow("complete shows only created and completed")
        << true << true << true << base + QStringLiteral("  Completed: ") + FormatDate(day(-1, 8));
}

void TestTaskDisplay::dateView()
{
    QFETCH(bool, complete);
    QFETCH(bool, due);
    QFETCH(bool, alarm);
    TaskTreeModel model;
    auto info = std::make_unique<TTaskInfo>();
    info->content = QStringLiteral("Pay");
    info->createTime = day(-2, 10, 30);
    info->checkFlag = complete;
    info->checkTime = day(-1, 8);
    info->dueFlag = due;
    info->dueTime = day(2);
    info->alarmFlag = alarm;
    info->alarmTime = day(1, 9, 15);
    model.appendNode(nullptr, std::move(info));
    model.view.date = true;
    QTEST(model.index(0, 0).data().toString(), "suffix");
}

void TestTaskDisplay::accessibleTexts_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<bool>("due");
    QTest::addColumn<int>("dueOffset");
    QTest::addColumn<bool>("alarm");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");

    const QString rent = QStringLiteral("Pay the rent");
    const QString reminder = QStringLiteral("Reminder time: ") + FormatDateTime(day(1, 9));
    auto due = [](int offset) {
        return QStringLiteral("Due date: ") + FormatDate(day(offset, 12));
    };
    QTest::newRow("nothing set") << rent << false << false << 0 << false << rent << QString();
    QTest::newRow("due today") << rent << false << true << 0 << false << rent << due(0);
    QTest::newRow("due yesterday")
        << rent << false << true << -1 << false << rent << due(-1) + QStringLiteral(", overdue");
    QTest::newRow("reminder") << rent << false << false << 0 << true << rent << reminder;
    QTest::newRow("reminder and overdue") << rent << false << true << -3 << true << rent
                                          << due(-3) + QStringLiteral(", overdue; ") + reminder;
    // A complete task is overdue no more.
    QTest::newRow("complete, due in the past")
        << rent << true << true << -1 << false << rent
        << due(-1) + QStringLiteral("; Completed: ") + FormatDateTime(day(-1, 8, 5));
    // An empty row (being added) is named by its placeholder.
    QTest::newRow("empty") << QString() << false << false << 0 << false
                           << QStringLiteral("Input content here") << QString();
}

void TestTaskDisplay::accessibleTexts()
{
    QFETCH(QString, content);
    QFETCH(bool, complete);
    QFETCH(bool, due);
    QFETCH(int, dueOffset);
    QFETCH(bool, alarm);

    TaskTreeModel model;
    auto info = std::make_unique<TTaskInfo>();
    info->content = content;
    info->checkFlag = complete;
    info->checkTime = day(-1, 8, 5);
    info->dueFlag = due;
    info->dueTime = day(dueOffset, 12);
    info->alarmFlag = alarm;
    info->alarmTime = day(1, 9);
    ItemNode *node = model.appendNode(nullptr, std::move(info));
    if (content.isEmpty())
        model.view.edit = node;
    const QModelIndex index = model.index(0, 0);
    QTEST(index.data(Qt::AccessibleTextRole).toString(), "name");
    QTEST(index.data(Qt::AccessibleDescriptionRole).toString(), "description");
}

void TestTaskDisplay::statusText_data()
{
    QTest::addColumn<bool>("complete");
    QTest::addColumn<bool>("due");
    QTest::addColumn<bool>("alarm");
    QTest::addColumn<QString>("expected");

    QTest::newRow("complete") << true << true << false
                              << FormatDateTime(day(-1, 8, 5)) + QStringLiteral(" completed");
    // The separator follows the due date whether or not a reminder comes after it.
    QTest::newRow("due only") << false << true << false
                              << QStringLiteral("Due date: ") + FormatDate(day(2)) +
                                     QStringLiteral("  ");
    QTest::newRow("due and reminder")
        << false << true << true
        << QStringLiteral("Due date: ") + FormatDate(day(2)) +
               QStringLiteral("  Reminder time: ") + FormatDateTime(day(1, 9));
    QTest::newRow("reminder only")
        << false << false << true << QStringLiteral("Reminder time: ") + FormatDateTime(day(1, 9));
    QTest::newRow("neither") << false << false << false
                             << FormatDate(day(-3)) + QStringLiteral(" created");
}

void TestTaskDisplay::statusText()
{
    QFETCH(bool, complete);
    QFETCH(bool, due);
    QFETCH(bool, alarm);
    TTaskInfo task;
    task.createTime = day(-3); // midnight: the time is left out
    task.checkFlag = complete;
    task.checkTime = day(-1, 8, 5);
    task.dueFlag = due;
    task.dueTime = day(2);
    task.alarmFlag = alarm;
    task.alarmTime = day(1, 9);
    QTEST(TaskTreeModel::statusText(task), "expected");
}

void TestTaskDisplay::editAndStoredText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("trailing blanks and lines go") << QStringLiteral("  milk \t\n\n ")
                                                  << QStringLiteral("  milk");
    QTest::newRow("lines become CR LF") << QStringLiteral("a\nb") << QStringLiteral("a\r\nb");
    QTest::newRow("only blanks") << QStringLiteral("   ") << QString();
}

void TestTaskDisplay::editAndStoredText()
{
    QFETCH(QString, typed);
    QTEST(ItemTreeModel::storedText(typed), "stored");
}

QTEST_GUILESS_MAIN(TestTaskDisplay)
#include "test_task_display.moc"
