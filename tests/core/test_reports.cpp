// The text and HTML reports of both lists, compared whole against the layouts: entries of a
// selection (children of a selected top-level item whatever their visibility), stripes,
// line breaks, status and due suffixes, counts, the signature lines, the encoding, and the
// file writer with its extension rule.
#include "components/WyVersionInfo.h"
#include "interchange/ListReports.h"
#include "memos/MemoTreeModel.h"
#include "support/TestSupport.h"
#include "tasks/TaskTreeModel.h"

#include <QHash>
#include <QLocale>
#include <QTest>

using namespace TestSupport;

namespace {

const QDate kDate1(2024, 3, 5);
const QDate kDate2(2024, 12, 31);
const QDate kDate3(2025, 1, 2);

const Reports::Stamp kStamp{QStringLiteral("STAMP 1.2.3 4:05:06"), QStringLiteral("9.8.7.6"),
                            QStringLiteral("https://ploxen.example.com/tasklume")};

TDateTime at(const QDate &date, int hour)
{
    return DateTimeToDays(QDateTime(date, QTime(hour, 30)));
}

QString shortDate(const QDate &date)
{
    return QLocale::system().toString(date, QLocale::ShortFormat);
}

// The pieces of the HTML layouts, as the layout tables give them.
const QHash<QString, QString> &pieces()
{
    static const QHash<QString, QString> p{
        {QStringLiteral("{A}"),
         QStringLiteral("<tr><th scope=\"row\" style=\"color: #000000; border-right: 1px solid "
                        "#C1DAD7;\tborder-bottom: 1px solid #C1DAD7; border-left: 1px solid "
                        "#C1DAD7;\tborder-top: 0; text-align: left;\tpadding: 6px 6px 6px "
                        "12px;\tbackground: #F3F3FA; font-weight: normal;\">")},
        {QStringLiteral("{a}"),
         QStringLiteral("<td style=\"border-right: 1px solid #C1DAD7;\tborder-bottom: 1px solid "
                        "#C1DAD7;\tpadding: 6px 6px 6px 12px; background: #F3F3FA;\">")},
        {QStringLiteral("{B}"),
         QStringLiteral("<tr><th scope=\"row\" style=\"color: #000000; border-right: 1px solid "
                        "#C1DAD7;\tborder-bottom: 1px solid #C1DAD7; border-left: 1px solid "
                        "#C1DAD7;\tborder-top: 0; text-align: left;\tpadding: 6px 6px 6px "
                        "12px;\tbackground: #F5FFE8; font-weight: normal;\">")},
        {QStringLiteral("{b}"),
         QStringLiteral("<td style=\"border-right: 1px solid #C1DAD7;\tborder-bottom: 1px solid "
                        "#C1DAD7;\tpadding: 6px 6px 6px 12px; background: #F5FFE8;\">")},
        {QStringLiteral("{C}"),
         QStringLiteral("<tr><th scope=\"row\" style=\"color: #797268; border-right: 1px solid "
                        "#C1DAD7;\tborder-bottom: 1px solid #C1DAD7; border-left: 1px solid "
                        "#C1DAD7;\tborder-top: 0; text-align: left;\tpadding: 6px 6px 6px "
                        "32px;\tbackground: #ffffff; font-size: 90%; font-weight: normal;\">")},
        {QStringLiteral("{c}"),
         QStringLiteral("<td style=\"border-right: 1px solid #C1DAD7;\tborder-bottom: 1px solid "
                        "#C1DAD7;\tpadding: 6px 6px 6px 12px; background: #ffffff; color: "
                        "#797268; font-size: 90%;\">")},
        {QStringLiteral("{MA}"),
         QStringLiteral("<li><p style=\"margin: 4px 0 4px 0; padding: 0 0 0 10px; background: "
                        "#F3F3FA;\">")},
        {QStringLiteral("{MB}"),
         QStringLiteral("<li><p style=\"margin: 4px 0 4px 0; padding: 0 0 0 10px; background: "
                        "#D1E9E9;\">")},
        {QStringLiteral("{LIST}"),
         QStringLiteral("<ul style=\"list-style-type: circle; margin: 0 0 5px 15px; font-size: "
                        "95%;\">")},
        {QStringLiteral("{ma}"),
         QStringLiteral("<li><p style=\"margin: 2px 0 2px 0; padding: 0 0 0 10; background: "
                        "#fff;\">")},
        {QStringLiteral("{mb}"),
         QStringLiteral("<li><p style=\"margin: 2px 0 2px 0; padding: 0 0 0 10; background: "
                        "#F5FFE8;\">")},
    };
    return p;
}

QStringList taskHead()
{
    const QString th = QStringLiteral(
        "th scope=\"col\" style=\"color: #4f6b72; border-right: 1px solid #C1DAD7;\tborder-bottom: "
        "1px solid #C1DAD7; border-top: 1px solid #C1DAD7;\ttext-align: left;\tpadding: 6px 6px "
        "6px 12px;\tbackground: #CAE8EA;\" >");
    return {QStringLiteral("<html><body>"),
            QStringLiteral("<h1>To-Do List</h1>"),
            QStringLiteral("<table style=\"width: 100%; padding: 0; margin: 0;\" "
                           "cellspacing=\"0\">"),
            QStringLiteral("<tr><") + th + QStringLiteral("Task Content</th>"),
            QStringLiteral("<") + th + QStringLiteral("Status</th>"),
            QStringLiteral("<") + th + QStringLiteral("Due Date</th></tr>")};
}

QStringList memoHead()
{
    return {QStringLiteral("<html><body>"), QStringLiteral("<h1>Memos</h1>"),
            QStringLiteral("<hr style=\"background: #666;color: #666;height: 1px; margin: 0 5px "
                           "0 5px;\"></>"),
            QStringLiteral("<ul style=\"list-style-type: disc; font-size: 105%;\">")};
}

// Expands the shorthand of the expected lines: {HEAD}/{MHEAD} for the head, the piece
// names at the start of a line, %1 %2 %3 for the three dates, and joins them with CR LF.
QByteArray expected(const QStringList &lines, bool html)
{
    QString text;
    for (const QString &line : lines) {
        QStringList out;
        if (line == QStringLiteral("{HEAD}")) {
            out = taskHead();
        } else if (line == QStringLiteral("{MHEAD}")) {
            out = memoHead();
        } else {
            QString expanded = line;
            if (expanded.startsWith(QLatin1Char('{'))) {
                const qsizetype end = expanded.indexOf(QLatin1Char('}'));
                const QString name = expanded.left(end + 1);
                if (!pieces().contains(name))
                    qFatal("unknown piece %s", qPrintable(name));
                expanded = pieces().value(name) + expanded.mid(end + 1);
            }
            expanded.replace(QStringLiteral("%1"), shortDate(kDate1));
            expanded.replace(QStringLiteral("%2"), shortDate(kDate2));
            expanded.replace(QStringLiteral("%3"), shortDate(kDate3));
            out = {expanded};
        }
        for (const QString &o : out)
            text += o + QStringLiteral("\r\n");
    }
    return html ? Reports::AsciiWithReferences(text) : text.toUtf8();
}

// The two lists the cases select from, with their nodes by name.
struct Fixture
{
    TaskTreeModel tasks;
    MemoTreeModel memos;
    QHash<QString, ItemNode *> nodes;

    ItemNode *task(const QString &name, ItemNode *parent, const QString &content, bool done,
                   const QDate &doneDate, bool due, const QDate &dueDate, bool hidden = false)
    {
        auto info = std::make_unique<TTaskInfo>();
        info->content = content;
        info->checkFlag = done;
        info->checkTime = done ? at(doneDate, 14) : 0;
        info->dueFlag = due;
        info->dueTime = due ? at(dueDate, 9) : 0;
        ItemNode *node = tasks.appendNode(parent, std::move(info));
        node->hidden = hidden;
        nodes.insert(name, node);
        return node;
    }
    ItemNode *memo(const QString &name, ItemNode *parent, const QString &content,
                   bool hidden = false)
    {
        auto info = std::make_unique<TMemoInfo>();
        info->content = content;
        ItemNode *node = memos.appendNode(parent, std::move(info));
        node->hidden = hidden;
        nodes.insert(name, node);
        return node;
    }

    Fixture()
    {
        ItemNode *t0 =
            task(QStringLiteral("T0"), nullptr, QStringLiteral("Buy milk"), false, {}, false, {});
        task(QStringLiteral("C0a"), t0, QStringLiteral("Skim"), true, kDate1, false, {});
        task(QStringLiteral("C0b"), t0, QStringLiteral("Whole\r\nlarge"), false, {}, true, kDate2,
             true);
        task(QStringLiteral("T1"), nullptr, QStringLiteral("Call <b>Ann</b> & Bob"), true, kDate1,
             true, kDate2);
        ItemNode *t2 = task(QStringLiteral("T2"), nullptr, QStringLiteral("Plan\r\ntrip"), false,
                            {}, true, kDate3);
        task(QStringLiteral("C2a"), t2, QStringLiteral("Book caf\u00e9 \u2615 \U0001F600"), false,
             {}, false, {});
        // A collapsed parent: its child is not shown but still reported.
        t2->expanded = false;
        tasks.refreshShown();

        ItemNode *m0 = memo(QStringLiteral("M0"), nullptr, QStringLiteral("Shopping"));
        memo(QStringLiteral("Eggs"), m0, QStringLiteral("Eggs"));
        memo(QStringLiteral("Flour"), m0, QStringLiteral("Flour\r\n2 kg"), true);
        memo(QStringLiteral("Milk"), m0, QStringLiteral("Milk"));
        memo(QStringLiteral("M1"), nullptr, QStringLiteral("Quote: <i>x</i> & y"));
        ItemNode *m2 = memo(QStringLiteral("M2"), nullptr, QStringLiteral("Two\r\nlines"));
        memo(QStringLiteral("Only"), m2, QStringLiteral("Only child"));
        memo(QStringLiteral("M3"), nullptr, QStringLiteral("Hidden by the search"), true);
        memos.refreshShown();
    }

    QList<ItemNode *> select(const QStringList &names) const
    {
        QList<ItemNode *> list;
        for (const QString &name : names)
            list.append(nodes.value(name));
        return list;
    }
};

QStringList tail(bool tasks, int n, int m, bool html)
{
    const QString counts = tasks ? QStringLiteral("Tasks %1, Child Tasks %2 - ")
                                 : QStringLiteral("Memos %1, Child Memos %2 - ");
    const QString summary = counts.arg(n).arg(m) + kStamp.timeStamp;
    if (!html)
        return {QString(), QStringLiteral("---------------------------------"),
                QLatin1Char(' ') + summary, QStringLiteral(" By Ploxen Tasklume 9.8.7.6"),
                QStringLiteral(" https://ploxen.example.com/tasklume")};
    QStringList lines;
    if (tasks)
        lines << QStringLiteral("</table>")
              << QStringLiteral("<p>") + summary + QStringLiteral("</p>");
    else
        lines << QStringLiteral("</ul>")
              << QStringLiteral("<hr /><p>") + summary + QStringLiteral("</p>");
    lines << QStringLiteral("<p>By Ploxen Tasklume 9.8.7.6</p>")
          << QStringLiteral("<p><a href=\"https://ploxen.example.com/tasklume?s-f\">"
                            "https://ploxen.example.com/tasklume</a></p>")
          << QStringLiteral("</body></html>");
    return lines;
}

QStringList textHead(bool tasks)
{
    return {tasks ? QStringLiteral("To-Do List") : QStringLiteral("Memos"),
            QStringLiteral("---------------------------------"), QString()};
}

} // namespace

class TestReports : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reports_data();
    void reports();
    void entriesFollowTreeNotView();
    void stamp_data();
    void stamp();
    void writeReplacesFile();
    void writeFailsWithoutFolder();
    void changeExtension_data();
    void changeExtension();
    void asciiWithReferences();
};

void TestReports::reports_data()
{
    QTest::addColumn<bool>("tasks");
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("m");
    QTest::addColumn<QStringList>("textBody");
    QTest::addColumn<QStringList>("htmlBody");

    QTest::newRow("tasks: nothing selected")
        << true << QStringList() << 0 << 0 << QStringList() << QStringList();
    QTest::newRow("tasks: top-level task brings hidden child")
        << true << QStringList{QStringLiteral("T0")} << 1 << 2
        << QStringList{QStringLiteral(" * Buy milk - Incomplete"),
                       QStringLiteral("   - Skim - completed at %1"), QStringLiteral("   - Whole"),
                       QStringLiteral("     large - Incomplete - Due Date %2")}
        << QStringList{QStringLiteral("{A}"),
                       QStringLiteral("Buy milk</th>"),
                       QStringLiteral("{a}Incomplete</td>"),
                       QStringLiteral("{a} - </td>"),
                       QStringLiteral("</tr>"),
                       QStringLiteral("{C}"),
                       QStringLiteral("Skim</th>"),
                       QStringLiteral("{c}completed at %1</td>"),
                       QStringLiteral("{c} - </td>"),
                       QStringLiteral("</tr>"),
                       QStringLiteral("{C}"),
                       QStringLiteral("Whole<br> large</th>"),
                       QStringLiteral("{c}Incomplete</td>"),
                       QStringLiteral("{c}%2</td>"),
                       QStringLiteral("</tr>")};
    QTest::newRow("tasks: three tops stripe A B A, markup and non-ASCII")
        << true << QStringList{QStringLiteral("T0"), QStringLiteral("T1"), QStringLiteral("T2")}
        << 3 << 3
        << QStringList{QStringLiteral(" * Buy milk - Incomplete"),
                       QStringLiteral("   - Skim - completed at %1"),
                       QStringLiteral("   - Whole"),
                       QStringLiteral("     large - Incomplete - Due Date %2"),
                       QStringLiteral(" * Call <b>Ann</b> & Bob - completed at %1 - Due Date %2"),
                       QStringLiteral(" * Plan"),
                       QStringLiteral("   trip - Incomplete - Due Date %3"),
                       QStringLiteral("   - Book caf\u00e9 \u2615 \U0001F600 - Incomplete")}
        << QStringList{QStringLiteral("{A}"),
                       QStringLiteral("Buy milk</th>"),
                       QStringLiteral("{a}Incomplete</td>"),
                       QStringLiteral("{a} - </td>"),
                       QStringLiteral("</tr>"),
                       QStringLiteral("{C}"),
                       QStringLiteral("Skim</th>"),
                       QStringLiteral("{c}completed at %1</td>"),
                       QStringLiteral("{c} - </td>"),
                       QStringLiteral("</tr>"),
                       QStringLiteral("{C}"),
                       QStringLiteral("Whole<br> large</th>"),
                       QStringLiteral("{c}Incomplete</td>"),
                       QStringLiteral("{c}%2</td>"),
                       QStringLiteral("</tr>"),
                       QStringLiteral("{B}"),
                       QStringLiteral("Call <b>Ann</b> & Bob</th>"),
                       QStringLiteral("{b}completed at %1</td>"),
                       QStringLiteral("{b}%2</td>"),
                       QStringLiteral("</tr>"),
                       QStringLiteral("{A}"),
                       QStringLiteral("Plan<br> trip</th>"),
                       QStringLiteral("{a}Incomplete</td>"),
                       QStringLiteral("{a}%3</td>"),
                       QStringLiteral("</tr>"),
                       QStringLiteral("{C}"),
                       QStringLiteral("Book caf&#233; &#9749; &#128512;</th>"),
                       QStringLiteral("{c}Incomplete</td>"),
                       QStringLiteral("{c} - </td>"),
                       QStringLiteral("</tr>")};
    QTest::newRow("tasks: a selected child is a main entry")
        << true << QStringList{QStringLiteral("C0b")} << 1 << 0
        << QStringList{QStringLiteral(" * Whole"),
                       QStringLiteral("   large - Incomplete - Due Date %2")}
        << QStringList{QStringLiteral("{A}"), QStringLiteral("Whole<br> large</th>"),
                       QStringLiteral("{a}Incomplete</td>"), QStringLiteral("{a}%2</td>"),
                       QStringLiteral("</tr>")};
    QTest::newRow("tasks: two selected children stripe A B")
        << true << QStringList{QStringLiteral("C0a"), QStringLiteral("C0b")} << 2 << 0
        << QStringList{QStringLiteral(" * Skim - completed at %1"), QStringLiteral(" * Whole"),
                       QStringLiteral("   large - Incomplete - Due Date %2")}
        << QStringList{QStringLiteral("{A}"),
                       QStringLiteral("Skim</th>"),
                       QStringLiteral("{a}completed at %1</td>"),
                       QStringLiteral("{a} - </td>"),
                       QStringLiteral("</tr>"),
                       QStringLiteral("{B}"),
                       QStringLiteral("Whole<br> large</th>"),
                       QStringLiteral("{b}Incomplete</td>"),
                       QStringLiteral("{b}%2</td>"),
                       QStringLiteral("</tr>")};

    QTest::newRow("memos: nothing selected")
        << false << QStringList() << 0 << 0 << QStringList() << QStringList();
    QTest::newRow("memos: three tops, children a b a, empty child list")
        << false << QStringList{QStringLiteral("M0"), QStringLiteral("M1"), QStringLiteral("M2")}
        << 3 << 4
        << QStringList{QStringLiteral(" * Shopping"),    QStringLiteral("   - Eggs"),
                       QStringLiteral("   - Flour"),     QStringLiteral("     2 kg"),
                       QStringLiteral("   - Milk"),      QStringLiteral(" * Quote: <i>x</i> & y"),
                       QStringLiteral(" * Two"),         QStringLiteral("   lines"),
                       QStringLiteral("   - Only child")}
        << QStringList{QStringLiteral("{MA}"),
                       QStringLiteral("Shopping</p></li>"),
                       QStringLiteral("{LIST}"),
                       QStringLiteral("{ma}"),
                       QStringLiteral("Eggs</p></li>"),
                       QStringLiteral("{mb}"),
                       QStringLiteral("Flour<br> 2 kg</p></li>"),
                       QStringLiteral("{ma}"),
                       QStringLiteral("Milk</p></li>"),
                       QStringLiteral("</ul>"),
                       QStringLiteral("{MB}"),
                       QStringLiteral("Quote: <i>x</i> & y</p></li>"),
                       QStringLiteral("{LIST}"),
                       QStringLiteral("</ul>"),
                       QStringLiteral("{MA}"),
                       QStringLiteral("Two<br> lines</p></li>"),
                       QStringLiteral("{LIST}"),
                       QStringLiteral("{ma}"),
                       QStringLiteral("Only child</p></li>"),
                       QStringLiteral("</ul>")};
    QTest::newRow("memos: a hidden top-level memo selected still writes")
        << false << QStringList{QStringLiteral("M3")} << 1 << 0
        << QStringList{QStringLiteral(" * Hidden by the search")}
        << QStringList{QStringLiteral("{MA}"), QStringLiteral("Hidden by the search</p></li>"),
                       QStringLiteral("{LIST}"), QStringLiteral("</ul>")};
    QTest::newRow("memos: selected children are main entries without lists")
        << false << QStringList{QStringLiteral("Eggs"), QStringLiteral("Flour")} << 2 << 0
        << QStringList{QStringLiteral(" * Eggs"), QStringLiteral(" * Flour"),
                       QStringLiteral("   2 kg")}
        << QStringList{QStringLiteral("{MA}"), QStringLiteral("Eggs</p></li>"),
                       QStringLiteral("{MB}"), QStringLiteral("Flour<br> 2 kg</p></li>")};
}

void TestReports::reports()
{
    QFETCH(bool, tasks);
    QFETCH(QStringList, selected);
    QFETCH(int, n);
    QFETCH(int, m);
    QFETCH(QStringList, textBody);
    QFETCH(QStringList, htmlBody);

    Fixture fixture;
    const Reports::Entries entries = Reports::CollectEntries(fixture.select(selected));
    QCOMPARE(entries.mainCount, n);
    QCOMPARE(entries.childCount, m);
    const auto kind = tasks ? Reports::ListKind::Tasks : Reports::ListKind::Memos;

    const QByteArray text = Reports::TextReport(kind, entries, kStamp);
    QCOMPARE(text, expected(textHead(tasks) + textBody + tail(tasks, n, m, false), false));
    QVERIFY(!text.startsWith("\xEF\xBB\xBF"));

    const QByteArray html = Reports::HtmlReport(kind, entries, kStamp);
    const QStringList head{tasks ? QStringLiteral("{HEAD}") : QStringLiteral("{MHEAD}")};
    QCOMPARE(html, expected(head + htmlBody + tail(tasks, n, m, true), true));
    for (const char c : html)
        QVERIFY(uchar(c) < 0x80);

    QCOMPARE(Reports::Report(kind, Reports::Format::Text, entries, kStamp), text);
    QCOMPARE(Reports::Report(kind, Reports::Format::Html, entries, kStamp), html);
}

void TestReports::entriesFollowTreeNotView()
{
    // Children come in tree order, hidden and collapsed ones included; nothing twice.
    Fixture fixture;
    const Reports::Entries entries =
        Reports::CollectEntries(fixture.select({QStringLiteral("M0"), QStringLiteral("M2")}));
    QStringList order;
    for (const Reports::Entry &entry : entries.list)
        order << (entry.child ? QStringLiteral("-") : QStringLiteral("*")) +
                     entry.node->info->content.left(4);
    QCOMPARE(order, (QStringList{QStringLiteral("*Shop"), QStringLiteral("-Eggs"),
                                 QStringLiteral("-Flou"), QStringLiteral("-Milk"),
                                 QStringLiteral("*Two\r"), QStringLiteral("-Only")}));
}

void TestReports::stamp_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<bool>("withTime");
    QTest::newRow("afternoon") << QTime(15, 4, 5) << true;
    QTest::newRow("one second past midnight") << QTime(0, 0, 1) << true;
    QTest::newRow("midnight") << QTime(0, 0) << false;
}

void TestReports::stamp()
{
    QFETCH(QTime, time);
    QFETCH(bool, withTime);
    const Reports::Stamp stamp = Reports::MakeStamp(QDateTime(kDate1, time));
    QString expectedStamp = shortDate(kDate1);
    if (withTime)
        expectedStamp += QLatin1Char(' ') + QLocale::system().toString(time, LongTimeFormat());
    QCOMPARE(stamp.timeStamp, expectedStamp);
    QCOMPARE(stamp.productPage, QStringLiteral("https://ploxen.example.com/tasklume"));
    QCOMPARE(Reports::ProductPageAddress(), stamp.productPage);
    const TWyVersionInfo info;
    QCOMPARE(stamp.version, info.GetValue(TWyVersionInfo::FileVersion));
    QVERIFY(!stamp.version.isEmpty());
}

void TestReports::writeReplacesFile()
{
    ProgramFolder folder;
    const QString path = folder.file(QStringLiteral("plan.txt"));
    writeFile(path, QByteArray(1000, 'x'));
    QVERIFY(Reports::WriteReportFile(path, "new\r\n"));
    QCOMPARE(readFile(path), QByteArray("new\r\n"));
}

void TestReports::writeFailsWithoutFolder()
{
    ProgramFolder folder;
    QVERIFY(!Reports::WriteReportFile(folder.file(QStringLiteral("missing/plan.txt")), "x"));
    QVERIFY(!Reports::WriteReportFile(QString(), "x"));
}

void TestReports::changeExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("result");
    QTest::newRow("none added") << "/tmp/plan"
                                << ".txt"
                                << "/tmp/plan.txt";
    QTest::newRow("htm becomes html") << "/tmp/plan.htm"
                                      << ".html"
                                      << "/tmp/plan.html";
    QTest::newRow("txt under html") << "/tmp/plan.txt"
                                    << ".html"
                                    << "/tmp/plan.html";
    QTest::newRow("last extension only") << "/tmp/a.tar.gz"
                                         << ".txt"
                                         << "/tmp/a.tar.txt";
    QTest::newRow("dot in folder") << "/tmp/my.notes/plan"
                                   << ".txt"
                                   << "/tmp/my.notes/plan.txt";
    QTest::newRow("hidden file") << "/tmp/.notes"
                                 << ".txt"
                                 << "/tmp/.notes.txt";
    QTest::newRow("already right") << "/tmp/plan.html"
                                   << ".html"
                                   << "/tmp/plan.html";
}

void TestReports::changeExtension()
{
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QFETCH(QString, result);
    QCOMPARE(Reports::ChangeExtension(name, extension), result);
}

void TestReports::asciiWithReferences()
{
    QCOMPARE(Reports::AsciiWithReferences(QStringLiteral("a\tb<&>\r\n\u00e9\u20ac\U0001F600")),
             QByteArray("a\tb<&>\r\n&#233;&#8364;&#128512;"));
}

QTEST_GUILESS_MAIN(TestReports)
#include "test_reports.moc"
