// The writers and the two readers of the interchange file against real databases: what a
// backup holds, what a restore and an import make of a file, and what they do with files
// that are broken or hostile.
#include "DataSet.h"
#include "interchange/Interchange.h"
#include "interchange/IoTexts.h"
#include "interchange/pU_XmlTry.h"
#include "interchange/WyxContainer.h"
#include "interchange/XmlDateTime.h"
#include "IoFixture.h"
#include "memos/MemoInfo.h"
#include "tasks/TaskInfo.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>

#include <cmath>

#include <sqlite3.h>

using namespace IoFixture;
using Interchange::Answer;
using Interchange::Outcome;

Q_DECLARE_METATYPE(Interchange::Outcome)

namespace {

const QStringList kTaskTimes = {QStringLiteral("createTime"), QStringLiteral("editTime"),
                                QStringLiteral("checkTime"), QStringLiteral("alarmTime"),
                                QStringLiteral("dueTime")};
const QStringList kMemoTimes = {QStringLiteral("assignTime"), QStringLiteral("createTime"),
                                QStringLiteral("editTime")};

bool isRowKey(const QString &key)
{
    static const QRegularExpression form(
        QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
    return form.match(key).hasMatch();
}

// A row as a restore should give it back: times cut to the second, expandFlag at its
// default.
QVariantMap restored(QVariantMap row, const QStringList &times)
{
    for (const QString &column : times)
        row[column] = seconds(row.value(column));
    row[QStringLiteral("expandFlag")] = false;
    return row;
}

QList<QVariantMap> normalised(const QList<QVariantMap> &rows, const QStringList &times,
                              bool resetExpand)
{
    QList<QVariantMap> result;
    for (QVariantMap row : rows) {
        const QVariant expand = row.value(QStringLiteral("expandFlag"));
        row = restored(row, times);
        if (!resetExpand)
            row[QStringLiteral("expandFlag")] = expand;
        // SQLite hands booleans back as integers; compare them as truth values.
        for (const char *flag : {"checkFlag", "dueFlag", "alarmFlag", "expandFlag"}) {
            const QString name = QString::fromLatin1(flag);
            if (row.contains(name))
                row[name] = row.value(name).toBool();
        }
        result.append(row);
    }
    return result;
}

// The rows of both tables, for "nothing changed".
QList<QVariantMap> snapshot(const TestDb &db)
{
    return db.rows(QStringLiteral("memos")) + db.rows(QStringLiteral("tasks"));
}

TDateTime days(int y, int m, int d, int h, int n, int s)
{
    return WallTimeToDays(WallTime{QDate(y, m, d).toJulianDay(), (h * 60 + n) * 60 + s});
}

} // namespace

class TestIoReaders : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void backup_emptyDatabase();
    void backup_itemsInAttributeOrderAndEncodings();
    void backup_restoredIntoEmptyDatabaseGivesEveryColumn();
    void backup_unwritablePathFails();
    void backup_carriesEveryText_data();
    void backup_carriesEveryText();
    void backup_otherZoneGivesSameInstants();

    void selection_tasks();
    void selection_memos();
    void selection_writeFailureMessage();

    void restore_sameDatabase_data();
    void restore_sameDatabase();
    void restore_noKeepsItemAndStillAddsNewOnes();
    void restore_allCoversTasks();
    void restore_abortDuringMemos();
    void restore_questionShowsBothSides();
    void restore_identifierTwiceInFileAsksSecondTime();
    void restore_keyWithQuote();
    void restore_secondRunAsksForEveryItem();

    void import_freshKeysAndLinksInEitherOrder();
    void import_twiceDoublesItems();
    void import_childTwiceUnderParentAndTopLevel();
    void import_childWithoutParentBecomesTopLevel();
    void import_sectionsHaveSeparateMaps();
    void import_onlyTasks();
    void readers_reservedKeysGetFreshKeys_data();
    void readers_reservedKeysGetFreshKeys();

    void values_flagsAndColours_data();
    void values_flagsAndColours();
    void values_contentLineBreaks();

    void badInput_data();
    void badInput();
    void conversionError_keepsRowsBefore_data();
    void conversionError_keepsRowsBefore();
    void missingAttribute_reportedAndRunGoesOn();
    void otherRootNameAndDataVersionAccepted();

    void probe_data();
    void probe();
    void onePass_readsAsTheCheckedReading_data();
    void onePass_readsAsTheCheckedReading();

    void transaction_notVisibleUntilRunEnds();
    void transaction_committedAfterFailure();
};

namespace {

void seedEdgeRows(const TestDb &db)
{
    db.exec(QStringLiteral(
        "insert into tasks (tid, pid, content, checkFlag, dueFlag, alarmFlag, expandFlag, "
        "textColor, backgroundColor, createTime, editTime, checkTime, alarmTime, dueTime) values "
        "('{00000001-0000-4000-8000-000000000000}', 'root', "
        "'quote '' <tag> & \"both\"' || char(13) || char(10) || 'second line' || char(9) || 'tab', "
        "1, 1, 1, 1, -16777201, 255, 45000.123456789, 45001.5, 45002.25, 45003.999, 45004), "
        "('{00000002-0000-4000-8000-000000000000}', '{00000001-0000-4000-8000-000000000000}', "
        "'caf\u00e9 \u6771\u4eac \U0001F600', 0, 0, 0, 0, null, null, 45000, null, null, null, "
        "null), "
        "('{00000003-0000-4000-8000-000000000000}', 'root', null, 0, 0, 0, 0, 0, 0, "
        "null, null, null, null, null)"));
    db.exec(QStringLiteral(
        "insert into memos (mid, pid, content, expandFlag, assignTime, createTime, editTime) "
        "values ('{00000011-0000-4000-8000-000000000000}', 'root', 'line one' || char(13) || "
        "char(10) || 'line two', 1, null, 44000.75, 44001.000011574), "
        "('{00000012-0000-4000-8000-000000000000}', '{00000011-0000-4000-8000-000000000000}', "
        "'', 0, 44000.5, 44000.5, 44000.5)"));
}

QByteArray inflate(const QString &path)
{
    QByteArray text;
    QString why;
    if (!WyxContainer::readFile(path, text, &why))
        qFatal("%s", qPrintable(why));
    return text;
}

// The attributes of an element as name=value texts, in document order.
QStringList attributes(pugi::xml_node node)
{
    QStringList result;
    for (const pugi::xml_attribute a : node.attributes())
        result << QString::fromUtf8(a.name()) + QLatin1Char('=') + QString::fromUtf8(a.value());
    return result;
}

QStringList names(pugi::xml_node node)
{
    QStringList result;
    for (const pugi::xml_node a : node.children())
        result << QString::fromUtf8(a.name());
    return result;
}

QString keyOf(int n)
{
    return QStringLiteral("{%1-0000-4000-8000-000000000000}").arg(n, 8, 10, QLatin1Char('0'));
}

Interchange::RunResult restoreXml(const TestDb &db, const QByteArray &xml, ScriptedAsker &asker,
                                  Messages &messages)
{
    const QString path = db.file(QStringLiteral("in.wyx"));
    writeContainer(path, xml);
    return Interchange::RestoreFile(db.db(), path, asker, messages.sink());
}

Interchange::RunResult importXml(const TestDb &db, const QByteArray &xml, Messages &messages)
{
    const QString path = db.file(QStringLiteral("in.wyx"));
    writeContainer(path, xml);
    return Interchange::ImportFile(db.db(), path, messages.sink());
}

} // namespace

// ---- backup -----------------------------------------------------------------------------

void TestIoReaders::backup_emptyDatabase()
{
    TestDb db;
    const QString path = db.file(QStringLiteral("empty.wyx"));
    QVERIFY(Interchange::WriteDatabaseFile(db.db(), path, QStringLiteral("1.2.3")));
    const QByteArray text = inflate(path);
    pugi::xml_document doc;
    QVERIFY(doc.load_buffer(text.constData(), size_t(text.size())));
    const pugi::xml_node root = doc.document_element();
    QCOMPARE(root.name(), "ploxen");
    const QStringList attrs = attributes(root);
    QCOMPARE(attrs.size(), 4);
    QCOMPARE(attrs.mid(0, 3),
             QStringList({QStringLiteral("app=Tasklume"), QStringLiteral("appversion=1.2.3"),
                          QStringLiteral("dataversion=1.1")}));
    QVERIFY(attrs.at(3).startsWith(QLatin1String("time=")));
    const std::optional<TDateTime> time = XmlTextToDateTime(attrs.at(3).mid(5));
    QVERIFY(time);
    QVERIFY(std::abs(*time - NowDays()) < 60.0 / 86400);
    QCOMPARE(names(root), QStringList({QStringLiteral("tasks"), QStringLiteral("memos"),
                                       QStringLiteral("notes"), QStringLiteral("peers")}));
    for (const pugi::xml_node section : root.children())
        QVERIFY(!section.first_child());
}

void TestIoReaders::backup_itemsInAttributeOrderAndEncodings()
{
    ZoneScope zone("Asia/Kolkata");
    TestDb db;
    seedEdgeRows(db);
    const QString path = db.file(QStringLiteral("b.wyx"));
    QVERIFY(Interchange::WriteDatabaseFile(db.db(), path));
    const QByteArray text = inflate(path);
    // Each CR LF of a text is one line-feed character reference.
    QVERIFY(text.contains("line one&#10;line two"));
    pugi::xml_document doc;
    QVERIFY(doc.load_buffer(text.constData(), size_t(text.size())));
    const pugi::xml_node root = doc.document_element();

    const pugi::xml_node memos = root.child("memos");
    QCOMPARE(names(memos), QStringList({QStringLiteral("memo"), QStringLiteral("memo")}));
    QStringList memo = attributes(memos.first_child());
    // A column without a date is the zero date-time with a designator.
    QVERIFY(memo.at(3).startsWith(QLatin1String("assign-time=1899-12-30T00:00:00.000+")));
    memo.removeAt(3);
    QCOMPARE(memo, QStringList({
                       QStringLiteral("mid={00000011-0000-4000-8000-000000000000}"),
                       QStringLiteral("pid=root"),
                       QStringLiteral("content=line one\nline two"),
                       QStringLiteral("create-time=2020-06-18T18:00:00.000+05:30"),
                       QStringLiteral("edit-time=2020-06-19T00:00:01.000+05:30"),
                   }));

    const pugi::xml_node tasks = root.child("tasks");
    QCOMPARE(names(tasks).size(), 3);
    const QStringList first = attributes(tasks.first_child());
    QCOMPARE(first, QStringList({
                        QStringLiteral("tid={00000001-0000-4000-8000-000000000000}"),
                        QStringLiteral("pid=root"),
                        QStringLiteral("content=quote ' <tag> & \"both\"\nsecond line\ttab"),
                        QStringLiteral("check-flag=True"),
                        QStringLiteral("alarm-flag=True"),
                        QStringLiteral("due-flag=True"),
                        QStringLiteral("text-color=-16777201"),
                        QStringLiteral("background-color=255"),
                        QStringLiteral("create-time=2023-03-15T02:57:46.000+05:30"),
                        QStringLiteral("edit-time=2023-03-16T12:00:00.000+05:30"),
                        QStringLiteral("check-time=2023-03-17T06:00:00.000+05:30"),
                        QStringLiteral("alarm-time=2023-03-18T23:58:33.000+05:30"),
                        QStringLiteral("due-time=2023-03-19T00:00:00.000+05:30"),
                    }));
    // A child keeps its parent; a colour without a value is empty text; flags are words.
    const QStringList second = attributes(tasks.first_child().next_sibling());
    QCOMPARE(second.at(1), QStringLiteral("pid={00000001-0000-4000-8000-000000000000}"));
    QCOMPARE(second.at(3), QStringLiteral("check-flag=False"));
    QCOMPARE(second.at(6), QStringLiteral("text-color="));
    QCOMPARE(second.at(7), QStringLiteral("background-color="));
    QVERIFY(second.at(12).startsWith(QLatin1String("due-time=1899-12-30T00:00:00.000+")));
    const QStringList third = attributes(tasks.last_child());
    QCOMPARE(third.at(2), QStringLiteral("content="));
    QCOMPARE(third.at(6), QStringLiteral("text-color=0"));
}

void TestIoReaders::backup_restoredIntoEmptyDatabaseGivesEveryColumn()
{
    TestDb source;
    seedEdgeRows(source);
    DataSet::generate(source.db(), DataSet::Options{400, 400, 3, 50});
    const QString path = source.file(QStringLiteral("backup.wyx"));
    QVERIFY(Interchange::WriteDatabaseFile(source.db(), path));

    TestDb target;
    ScriptedAsker asker;
    Messages messages;
    const Interchange::RunResult result =
        Interchange::RestoreFile(target.db(), path, asker, messages.sink());
    QCOMPARE(result.outcome, Outcome::Completed);
    QCOMPARE(messages.shown, QStringList());
    QVERIFY(asker.asked.isEmpty());
    QCOMPARE(result.added, 403 + 402);
    QCOMPARE(normalised(target.rows(QStringLiteral("tasks")), kTaskTimes, false),
             normalised(source.rows(QStringLiteral("tasks")), kTaskTimes, true));
    QCOMPARE(normalised(target.rows(QStringLiteral("memos")), kMemoTimes, false),
             normalised(source.rows(QStringLiteral("memos")), kMemoTimes, true));
    // A colour without a value comes back without a value; a date-time without one was
    // written as the zero date and comes back as the zero date-time.
    const QVariantMap child = target.row(QStringLiteral("tasks"), keyOf(2));
    QVERIFY(child.value(QStringLiteral("textColor")).isNull());
    const QVariant assignTime =
        target.row(QStringLiteral("memos"), keyOf(11)).value(QStringLiteral("assignTime"));
    for (const QVariant &time : {child.value(QStringLiteral("checkTime")), assignTime}) {
        QVERIFY(!time.isNull());
        QCOMPARE(time.toDouble(), 0.0);
    }
}

void TestIoReaders::backup_unwritablePathFails()
{
    TestDb db;
    seedEdgeRows(db);
    QVERIFY(!Interchange::WriteDatabaseFile(db.db(), db.file(QStringLiteral("no/such/dir/x.wyx"))));
}

namespace {

// Stores the texts as they are, byte for byte, as tasks k0, k1, ...; the first one also as a
// memo.
void storeRawTexts(const TestDb &db, const QList<QByteArray> &texts)
{
    sqlite3 *handle = *static_cast<sqlite3 *const *>(db.db().driver()->handle().constData());
    for (qsizetype i = 0; i < texts.size(); ++i) {
        for (const char *statement :
             {"insert into tasks (tid, pid, content, createTime, editTime) values "
              "(?, 'root', ?, 45000, 45000.5)",
              "insert into memos (mid, pid, content, createTime, editTime) values "
              "(?, 'root', ?, 45000, 45000.5)"}) {
            if (i > 0 && statement[12] == 'm')
                continue;
            sqlite3_stmt *query = nullptr;
            QCOMPARE(sqlite3_prepare_v2(handle, statement, -1, &query, nullptr), SQLITE_OK);
            const QByteArray key = "k" + QByteArray::number(i);
            sqlite3_bind_text(query, 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(query, 2, texts.at(i).constData(), int(texts.at(i).size()),
                              SQLITE_TRANSIENT);
            QCOMPARE(sqlite3_step(query), SQLITE_DONE);
            sqlite3_finalize(query);
        }
    }
}

bool forbiddenInXml(char32_t c)
{
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF;
}

// What the texts become on their way through a backup and a restore, as the README says:
// each maximal part that is not UTF-8 becomes one U+FFFD (Python's decoder is the judge),
// controls XML forbids are dropped, U+FFFE and U+FFFF become U+FFFD; and, as for every text,
// line ends come back as CR LF. changed receives how many texts had to change.
QStringList afterTrip(const QList<QByteArray> &stored, int *changed)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        return {};
    QProcess process;
    process.start(python,
                  {QStringLiteral("-c"),
                   QStringLiteral("import sys\n"
                                  "for line in sys.stdin.read().split():\n"
                                  "    text = bytes.fromhex(line[1:]).decode('utf-8', 'replace')\n"
                                  "    sys.stdout.write(text.encode('utf-8').hex() + '\\n')\n")});
    process.waitForStarted();
    for (const QByteArray &text : stored)
        process.write("x" + text.toHex() + "\n");
    process.closeWriteChannel();
    process.waitForFinished(60000);
    const QList<QByteArray> decoded = process.readAllStandardOutput().split('\n');
    QStringList result;
    *changed = 0;
    for (qsizetype i = 0; i < stored.size() && i < decoded.size(); ++i) {
        const QString text = QString::fromUtf8(QByteArray::fromHex(decoded.at(i)));
        bool differs = text.toUtf8() != stored.at(i);
        QString carried;
        for (const QChar c : text) {
            if (forbiddenInXml(c.unicode())) {
                differs = true;
                if (c.unicode() >= 0x20)
                    carried += QChar(0xFFFD);
                continue;
            }
            carried += c;
        }
        carried.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        carried.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        result << carried;
        *changed += differs ? 1 : 0;
    }
    return result;
}

// An XML parser other than the program's takes the document.
void expectExpatAccepts(const QByteArray &xml)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    QVERIFY2(!python.isEmpty(), "python3 is needed for the check by expat");
    QProcess process;
    process.start(
        python, {QStringLiteral("-c"), QStringLiteral("import sys, xml.parsers.expat\n"
                                                      "p = xml.parsers.expat.ParserCreate()\n"
                                                      "p.Parse(sys.stdin.buffer.read(), True)\n")});
    QVERIFY(process.waitForStarted());
    process.write(xml);
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(60000));
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
             process.readAllStandardError().constData());
}

} // namespace

void TestIoReaders::backup_carriesEveryText_data()
{
    QTest::addColumn<QList<QByteArray>>("texts");
    QList<QByteArray> bytes;
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        bytes << "a" + QByteArray(1, char(b)) + "b";
        all += char(b);
    }
    bytes.prepend(all);
    QTest::newRow("every byte value") << bytes;
    QTest::newRow("lone surrogates")
        << QList<QByteArray>{"high \xED\xA0\x80 alone", "low \xED\xBF\xBF alone",
                             "\xED\xA0\x80\xED\xB0\x80 pair", "cut \xED\xA0"};
    QTest::newRow("NUL") << QList<QByteArray>{QByteArray("before\0after", 12), QByteArray("\0", 1),
                                              QByteArray("end\0", 4)};
    QTest::newRow("U+FFFE and U+FFFF")
        << QList<QByteArray>{"\xEF\xBF\xBE", "x\xEF\xBF\xBFy", "\xEF\xBF\xBD kept"};
    QTest::newRow("controls and line ends")
        << QList<QByteArray>{"\t\r\n\r\x01\x1F\x7F\xC2\x85\n", "a\r\n\r\nb", "\x0B\x0C"};
    QTest::newRow("nothing to change")
        << QList<QByteArray>{"plain", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "<&\"'>",
                             "\xEF\xB7\x90 noncharacter"};
    QTest::newRow("cut and overlong sequences") << QList<QByteArray>{
        "\xC0\xAF", "\xE0\x80\xAF", "\xF4\x90\x80\x80", "\xF0\x9F\x98", "\xFF\xFE", "\x80\xBF"};
}

void TestIoReaders::backup_carriesEveryText()
{
    QFETCH(QList<QByteArray>, texts);
    TestDb source;
    storeRawTexts(source, texts);
    int expectedChanged = 0;
    const QStringList expected = afterTrip(texts, &expectedChanged);
    int firstChanged = 0;
    QCOMPARE(expected.size(), texts.size());
    if (afterTrip({texts.constFirst()}, &firstChanged).size() == 1 && firstChanged)
        ++expectedChanged; // the first text is a memo too

    const QString path = source.file(QStringLiteral("backup.wyx"));
    int changedTexts = -1;
    QVERIFY(
        Interchange::WriteDatabaseFile(source.db(), path, QStringLiteral("1.0"), &changedTexts));
    QCOMPARE(changedTexts, expectedChanged);
    QByteArray xml;
    QVERIFY(WyxContainer::readFile(path, xml));
    expectExpatAccepts(xml);

    TestDb target; // an empty folder
    ScriptedAsker asker;
    Messages messages;
    const Interchange::RunResult result =
        Interchange::RestoreFile(target.db(), path, asker, messages.sink());
    QCOMPARE(result.outcome, Outcome::Completed);
    QCOMPARE(messages.shown, QStringList());
    QCOMPARE(result.added, int(texts.size()) + 1);
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const QString key = QStringLiteral("k%1").arg(i);
        QCOMPARE(
            target.row(QStringLiteral("tasks"), key).value(QStringLiteral("content")).toString(),
            expected.at(i));
    }
    QCOMPARE(target.row(QStringLiteral("memos"), QStringLiteral("k0"))
                 .value(QStringLiteral("content"))
                 .toString(),
             expected.at(0));

    // The selection writer carries the texts as they were loaded the same way.
    // A text in memory may even hold a lone surrogate.
    QStringList contents{QString(QChar(0xD800)) + QStringLiteral("x") + QChar(0xDFFF)};
    for (const QByteArray &text : texts)
        contents << QString::fromUtf8(text);
    std::vector<std::unique_ptr<ItemNode>> nodes;
    QList<ItemNode *> selected;
    for (qsizetype i = 0; i < contents.size(); ++i) {
        auto info = std::make_unique<TTaskInfo>();
        info->key = QStringLiteral("s%1").arg(i);
        info->pid = QStringLiteral("root");
        info->content = contents.at(i);
        nodes.push_back(std::make_unique<ItemNode>(std::move(info)));
        selected << nodes.back().get();
    }
    const QString selection = source.file(QStringLiteral("selection.wyx"));
    QVERIFY(WriteTasksFile(selection, selected, messages.sink()));
    QVERIFY(WyxContainer::readFile(selection, xml));
    expectExpatAccepts(xml);
    const Interchange::RunResult imported =
        Interchange::ImportFile(target.db(), selection, messages.sink());
    QCOMPARE(imported.outcome, Outcome::Completed);
    QCOMPARE(messages.shown, QStringList());
}

void TestIoReaders::backup_otherZoneGivesSameInstants()
{
    constexpr qint64 kTwoInstants = -1;
    TestDb source;
    seedEdgeRows(source);
    DataSet::generate(source.db(), DataSet::Options{50, 50, 5, 0});
    const QString path = source.file(QStringLiteral("berlin.wyx"));
    QMap<QString, QList<qint64>> written; // key -> UTC seconds of every time column
    auto utcTimes = [](const QVariantMap &row, const QStringList &times) {
        QList<qint64> result;
        for (const QString &column : times) {
            const QVariant value = row.value(column);
            if (value.isNull() || value.toDouble() == 0) {
                result << 0;
                continue;
            }
            const WallTime wall = *DaysToWallTime(value.toDouble());
            const QDateTime local(QDate::fromJulianDay(wall.julianDay),
                                  QTime::fromMSecsSinceStartOfDay(wall.seconds * 1000));
            const qint64 seconds = local.toSecsSinceEpoch();
            // A clock reading in the hour that comes twice when the clocks go back names two
            // instants; which of them it stands for is not the file's to say.
            const auto sameReading = [&local](qint64 other) {
                const QDateTime then = QDateTime::fromSecsSinceEpoch(other);
                return then.date() == local.date() && then.time() == local.time();
            };
            result << (sameReading(seconds - 3600) || sameReading(seconds + 3600) ? kTwoInstants
                                                                                  : seconds);
        }
        return result;
    };
    // The times of a restored row, with those whose written reading came twice set aside.
    auto comparable = [](QList<qint64> restored, const QList<qint64> &written) {
        for (qsizetype i = 0; i < restored.size() && i < written.size(); ++i)
            if (written.at(i) == kTwoInstants)
                restored[i] = kTwoInstants;
        return restored;
    };
    {
        ZoneScope zone("Europe/Berlin");
        QVERIFY(Interchange::WriteDatabaseFile(source.db(), path));
        for (const QVariantMap &row : source.rows(QStringLiteral("tasks")))
            written[row.value(QStringLiteral("tid")).toString()] = utcTimes(row, kTaskTimes);
        for (const QVariantMap &row : source.rows(QStringLiteral("memos")))
            written[row.value(QStringLiteral("mid")).toString()] = utcTimes(row, kMemoTimes);
    }
    ZoneScope zone("America/New_York");
    TestDb target;
    ScriptedAsker asker;
    Messages messages;
    QCOMPARE(Interchange::RestoreFile(target.db(), path, asker, messages.sink()).outcome,
             Outcome::Completed);
    int compared = 0;
    for (const QVariantMap &row : target.rows(QStringLiteral("tasks"))) {
        const QList<qint64> expected = written.value(row.value(QStringLiteral("tid")).toString());
        QCOMPARE(comparable(utcTimes(row, kTaskTimes), expected), expected);
        ++compared;
    }
    for (const QVariantMap &row : target.rows(QStringLiteral("memos"))) {
        const QList<qint64> expected = written.value(row.value(QStringLiteral("mid")).toString());
        QCOMPARE(comparable(utcTimes(row, kMemoTimes), expected), expected);
        ++compared;
    }
    QCOMPARE(compared, written.size());
}

// ---- selection writers ------------------------------------------------------------------

namespace {
template <class Info> ItemNode *addNode(ItemNode *parent, const QString &key, const QString &text)
{
    auto info = std::make_unique<Info>();
    info->key = key;
    info->pid = parent->info ? parent->info->key.toString() : QStringLiteral("root");
    info->content = text;
    info->createTime = 45000.25;
    info->editTime = 45000.5;
    auto node = std::make_unique<ItemNode>(std::move(info));
    node->parent = parent;
    parent->children.push_back(std::move(node));
    return parent->children.back().get();
}

QStringList sectionRows(const QString &path, const char *section, const char *key)
{
    const QByteArray text = inflate(path);
    pugi::xml_document doc;
    doc.load_buffer(text.constData(), size_t(text.size()));
    QStringList rows;
    for (const pugi::xml_node item : doc.document_element().child(section).children())
        rows << QString::fromUtf8(item.attribute(key).value()) + QLatin1Char('/') +
                    QString::fromUtf8(item.attribute("pid").value());
    return rows;
}
} // namespace

void TestIoReaders::selection_tasks()
{
    ItemNode root;
    ItemNode *a = addNode<TTaskInfo>(&root, QStringLiteral("A"), QStringLiteral("a"));
    addNode<TTaskInfo>(a, QStringLiteral("a1"), QStringLiteral("a1"));
    addNode<TTaskInfo>(a, QStringLiteral("a2"), QStringLiteral("a2"))->hidden = true;
    ItemNode *b = addNode<TTaskInfo>(&root, QStringLiteral("B"), QStringLiteral("b"));
    ItemNode *b1 = addNode<TTaskInfo>(b, QStringLiteral("b1"), QStringLiteral("b1"));
    ItemNode *c = addNode<TTaskInfo>(&root, QStringLiteral("C"), QStringLiteral("c"));
    auto *info = c->as<TTaskInfo>();
    info->checkFlag = true;
    info->textColor = -16777201;
    info->content = QStringLiteral("two\r\nlines");

    TestDb db;
    Messages messages;
    const QString path = db.file(QStringLiteral("sel.wyx"));
    // A selected top-level item brings all its children (hidden ones too) with their own
    // parent; a selected child stands alone as a top-level item.
    QVERIFY(WriteTasksFile(path, {a, c}, messages.sink()));
    QCOMPARE(sectionRows(path, "tasks", "tid"),
             QStringList({QStringLiteral("A/root"), QStringLiteral("a1/A"), QStringLiteral("a2/A"),
                          QStringLiteral("C/root")}));
    QVERIFY(WriteTasksFile(path, {b1}, messages.sink()));
    QCOMPARE(sectionRows(path, "tasks", "tid"), QStringList({QStringLiteral("b1/root")}));
    QCOMPARE(sectionRows(path, "memos", "mid"), QStringList());
    QVERIFY(messages.shown.isEmpty());

    // Imported again, the selection gives the same shape under fresh keys.
    QVERIFY(WriteTasksFile(path, {a, c}, messages.sink()));
    QCOMPARE(Interchange::ImportFile(db.db(), path, messages.sink()).added, 4);
    const QList<QVariantMap> rows = db.rows(QStringLiteral("tasks"));
    int children = 0;
    for (const QVariantMap &row : rows) {
        if (row.value(QStringLiteral("content")).toString() == QLatin1String("two\r\nlines")) {
            QCOMPARE(row.value(QStringLiteral("checkFlag")).toBool(), true);
            QCOMPARE(row.value(QStringLiteral("textColor")).toInt(), -16777201);
        }
        if (row.value(QStringLiteral("pid")).toString() != QLatin1String("root"))
            ++children;
    }
    QCOMPARE(children, 2);
}

void TestIoReaders::selection_memos()
{
    ItemNode root;
    ItemNode *a = addNode<TMemoInfo>(&root, QStringLiteral("M"), QStringLiteral("m"));
    addNode<TMemoInfo>(a, QStringLiteral("m1"), QStringLiteral("m1"));
    ItemNode *b = addNode<TMemoInfo>(&root, QStringLiteral("N"), QStringLiteral("n"));
    ItemNode *n1 = addNode<TMemoInfo>(b, QStringLiteral("n1"), QStringLiteral("n1"));
    ItemNode *n2 = addNode<TMemoInfo>(b, QStringLiteral("n2"), QStringLiteral("n2"));
    TestDb db;
    Messages messages;
    const QString path = db.file(QStringLiteral("sel.wyx"));
    QVERIFY(WriteMemosFile(path, {a}, messages.sink()));
    QCOMPARE(sectionRows(path, "memos", "mid"),
             QStringList({QStringLiteral("M/root"), QStringLiteral("m1/M")}));
    QVERIFY(WriteMemosFile(path, {n1, n2}, messages.sink()));
    QCOMPARE(sectionRows(path, "memos", "mid"),
             QStringList({QStringLiteral("n1/root"), QStringLiteral("n2/root")}));
    QCOMPARE(sectionRows(path, "tasks", "tid"), QStringList());
}

void TestIoReaders::selection_writeFailureMessage()
{
    ItemNode root;
    ItemNode *a = addNode<TTaskInfo>(&root, QStringLiteral("A"), QStringLiteral("a"));
    ItemNode *m = addNode<TMemoInfo>(&root, QStringLiteral("M"), QStringLiteral("m"));
    Messages messages;
    QVERIFY(!WriteTasksFile(QStringLiteral("/nonexistent-dir/t.wyx"), {a}, messages.sink()));
    QVERIFY(!WriteMemosFile(QStringLiteral("/nonexistent-dir/m.wyx"), {m}, messages.sink()));
    QCOMPARE(messages.shown, QStringList({QStringLiteral("File Write Failure !"),
                                          QStringLiteral("File Write Failure !")}));
}

// ---- restore ----------------------------------------------------------------------------

void TestIoReaders::restore_sameDatabase_data()
{
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<int>("questions");
    QTest::newRow("Yes to every item") << QList<int>(10, int(Answer::Yes)) << 5 + 3 + 2;
    QTest::newRow("All at the first") << QList<int>{int(Answer::All)} << 1;
    QTest::newRow("Yes, then All in the tasks")
        << QList<int>{int(Answer::Yes), int(Answer::Yes), int(Answer::Yes), int(Answer::All)} << 4;
}

void TestIoReaders::restore_sameDatabase()
{
    QFETCH(QList<int>, answers);
    QFETCH(int, questions);
    TestDb db;
    seedEdgeRows(db);
    DataSet::generate(db.db(), DataSet::Options{3, 2, 9, 100});
    const QString path = db.file(QStringLiteral("self.wyx"));
    QVERIFY(Interchange::WriteDatabaseFile(db.db(), path));
    const QList<QVariantMap> tasksBefore = db.rows(QStringLiteral("tasks"));
    const QList<QVariantMap> memosBefore = db.rows(QStringLiteral("memos"));

    std::deque<Answer> script;
    for (int a : answers)
        script.push_back(Answer(a));
    ScriptedAsker asker(script);
    Messages messages;
    const Interchange::RunResult result =
        Interchange::RestoreFile(db.db(), path, asker, messages.sink());
    QCOMPARE(result.outcome, Outcome::Completed);
    QCOMPARE(asker.asked.size(), questions);
    QCOMPARE(result.replaced, 10);
    QCOMPARE(result.added, 0);
    // Every item as it was except the fractions of seconds; expandFlag untouched.
    QCOMPARE(normalised(db.rows(QStringLiteral("tasks")), kTaskTimes, false),
             normalised(tasksBefore, kTaskTimes, false));
    QCOMPARE(normalised(db.rows(QStringLiteral("memos")), kMemoTimes, false),
             normalised(memosBefore, kMemoTimes, false));
    QVERIFY(db.row(QStringLiteral("tasks"), keyOf(1)).value(QStringLiteral("expandFlag")).toBool());
}

void TestIoReaders::restore_noKeepsItemAndStillAddsNewOnes()
{
    TestDb db;
    db.exec(QStringLiteral("insert into memos (mid, pid, content, createTime, editTime) values "
                           "('A', 'root', 'stored A', 45000, 45000), "
                           "('C', 'root', 'stored C', 45000, 45000)"));
    ScriptedAsker asker({Answer::No, Answer::Yes});
    Messages messages;
    const auto result = restoreXml(db,
                                   document(memo(QStringLiteral("A"), QStringLiteral("root")) +
                                                memo(QStringLiteral("B"), QStringLiteral("root")) +
                                                memo(QStringLiteral("C"), QStringLiteral("root")),
                                            task(QStringLiteral("T"), QStringLiteral("root"))),
                                   asker, messages);
    QCOMPARE(result.outcome, Outcome::Completed);
    QCOMPARE(asker.asked.size(), 2);
    QCOMPARE(result.kept, 1);
    QCOMPARE(result.replaced, 1);
    QCOMPARE(result.added, 2);
    QCOMPARE(db.row(QStringLiteral("memos"), QStringLiteral("A")).value(QStringLiteral("content")),
             QVariant(QStringLiteral("stored A")));
    QCOMPARE(db.row(QStringLiteral("memos"), QStringLiteral("B")).value(QStringLiteral("content")),
             QVariant(QStringLiteral("memo B")));
    QCOMPARE(db.row(QStringLiteral("memos"), QStringLiteral("C")).value(QStringLiteral("content")),
             QVariant(QStringLiteral("memo C")));
    QCOMPARE(db.count(QStringLiteral("tasks")), 1);
}

void TestIoReaders::restore_allCoversTasks()
{
    TestDb db;
    db.exec(QStringLiteral("insert into memos (mid, pid, content) values ('A', 'root', 'old'), "
                           "('B', 'root', 'old')"));
    db.exec(QStringLiteral("insert into tasks (tid, pid, content) values ('S', 'root', 'old'), "
                           "('T', 'root', 'old')"));
    ScriptedAsker asker({Answer::No, Answer::All});
    Messages messages;
    const auto result = restoreXml(db,
                                   document(memo(QStringLiteral("A"), QStringLiteral("root")) +
                                                memo(QStringLiteral("B"), QStringLiteral("root")),
                                            task(QStringLiteral("S"), QStringLiteral("root")) +
                                                task(QStringLiteral("T"), QStringLiteral("root"))),
                                   asker, messages);
    QCOMPARE(result.outcome, Outcome::Completed);
    QCOMPARE(asker.asked.size(), 2);
    QCOMPARE(result.replaced, 3);
    QCOMPARE(db.row(QStringLiteral("memos"), QStringLiteral("A")).value(QStringLiteral("content")),
             QVariant(QStringLiteral("old")));
    QCOMPARE(db.row(QStringLiteral("tasks"), QStringLiteral("T")).value(QStringLiteral("content")),
             QVariant(QStringLiteral("task T")));
}

void TestIoReaders::restore_abortDuringMemos()
{
    TestDb db;
    db.exec(QStringLiteral("insert into memos (mid, pid, content) values ('A', 'root', 'old'), "
                           "('B', 'root', 'old'), ('C', 'root', 'old')"));
    ScriptedAsker asker({Answer::Yes, Answer::Abort});
    Messages messages;
    const auto result = restoreXml(db,
                                   document(memo(QStringLiteral("A"), QStringLiteral("root")) +
                                                memo(QStringLiteral("N"), QStringLiteral("root")) +
                                                memo(QStringLiteral("B"), QStringLiteral("root")) +
                                                memo(QStringLiteral("C"), QStringLiteral("root")),
                                            task(QStringLiteral("T"), QStringLiteral("root"))),
                                   asker, messages);
    QCOMPARE(result.outcome, Outcome::Aborted);
    QVERIFY(result.ok()); // the views are reloaded
    QCOMPARE(asker.asked.size(), 2);
    QCOMPARE(db.row(QStringLiteral("memos"), QStringLiteral("A")).value(QStringLiteral("content")),
             QVariant(QStringLiteral("memo A")));
    QCOMPARE(db.row(QStringLiteral("memos"), QStringLiteral("N")).value(QStringLiteral("content")),
             QVariant(QStringLiteral("memo N")));
    QCOMPARE(db.row(QStringLiteral("memos"), QStringLiteral("B")).value(QStringLiteral("content")),
             QVariant(QStringLiteral("old")));
    QCOMPARE(db.count(QStringLiteral("tasks")), 0);
    QVERIFY(messages.shown.isEmpty());
}

void TestIoReaders::restore_questionShowsBothSides()
{
    ZoneScope zone("UTC");
    TestDb db;
    db.exec(QStringLiteral("insert into tasks (tid, pid, content, editTime) values "
                           "('T', 'root', 'stored' || char(13) || char(10) || 'text', 45000.5), "
                           "('U', 'root', 'no time', null)"));
    ScriptedAsker asker({Answer::No, Answer::No});
    Messages messages;
    restoreXml(db,
               document({}, task(QStringLiteral("T"), QStringLiteral("root"),
                                 {QStringLiteral("content=file\ntext")}) +
                                task(QStringLiteral("U"), QStringLiteral("root"),
                                     {QStringLiteral("edit-time=yesterday")})),
               asker, messages);
    QCOMPARE(asker.asked.size(), 2);
    const Interchange::ReplaceQuestion &q = asker.asked.at(0);
    QCOMPARE(q.kind, QStringLiteral("task"));
    QCOMPARE(q.storedContent, QStringLiteral("stored\r\ntext"));
    QCOMPARE(q.storedEditTime, 45000.5);
    QCOMPARE(q.fileContent, QStringLiteral("file\r\ntext"));
    QCOMPARE(q.fileEditTime, std::optional<TDateTime>(days(2024, 3, 1, 9, 30, 15)));
    const Interchange::ReplaceQuestion &r = asker.asked.at(1);
    QCOMPARE(r.storedEditTime, 0.0);
    QVERIFY(!r.fileEditTime);
    QCOMPARE(r.fileEditTimeText, QStringLiteral("yesterday"));
    // Answered No, the malformed time is never converted: no error.
    QVERIFY(messages.shown.isEmpty());
}

void TestIoReaders::restore_identifierTwiceInFileAsksSecondTime()
{
    TestDb db;
    ScriptedAsker asker({Answer::Yes});
    Messages messages;
    const auto result = restoreXml(db,
                                   document(memo(QStringLiteral("X"), QStringLiteral("root")) +
                                                memo(QStringLiteral("X"), QStringLiteral("root"),
                                                     {QStringLiteral("content=second")}),
                                            {}),
                                   asker, messages);
    QCOMPARE(result.outcome, Outcome::Completed);
    QCOMPARE(asker.asked.size(), 1);
    QCOMPARE(asker.asked.at(0).storedContent, QStringLiteral("memo X"));
    QCOMPARE(db.row(QStringLiteral("memos"), QStringLiteral("X")).value(QStringLiteral("content")),
             QVariant(QStringLiteral("second")));
}

void TestIoReaders::restore_keyWithQuote()
{
    TestDb db;
    db.exec(
        QStringLiteral("insert into tasks (tid, pid, content) values ('it''s', 'root', 'old')"));
    ScriptedAsker asker({Answer::Yes});
    Messages messages;
    restoreXml(db, document({}, task(QStringLiteral("it's"), QStringLiteral("root"))), asker,
               messages);
    QCOMPARE(asker.asked.size(), 1);
    QCOMPARE(db.count(QStringLiteral("tasks")), 1);
    QCOMPARE(
        db.row(QStringLiteral("tasks"), QStringLiteral("it's")).value(QStringLiteral("content")),
        QVariant(QStringLiteral("task it's")));
}

void TestIoReaders::restore_secondRunAsksForEveryItem()
{
    TestDb db;
    const QByteArray xml = document(memo(QStringLiteral("A"), QStringLiteral("root")),
                                    task(QStringLiteral("T"), QStringLiteral("root")) +
                                        task(QStringLiteral("U"), QStringLiteral("T")));
    ScriptedAsker first({Answer::All});
    Messages messages;
    QCOMPARE(restoreXml(db, xml, first, messages).added, 3);
    QVERIFY(first.asked.isEmpty());
    // All holds for one run only.
    ScriptedAsker second({Answer::No, Answer::No, Answer::No});
    QCOMPARE(restoreXml(db, xml, second, messages).kept, 3);
    QCOMPARE(second.asked.size(), 3);
    QCOMPARE(second.asked.at(0).kind, QStringLiteral("memo"));
}

// ---- import -----------------------------------------------------------------------------

void TestIoReaders::import_freshKeysAndLinksInEitherOrder()
{
    TestDb db;
    Messages messages;
    const auto result =
        importXml(db,
                  document({}, task(QStringLiteral("C0"), QStringLiteral("P")) +
                                   task(QStringLiteral("P"), QStringLiteral("root")) +
                                   task(QStringLiteral("C1"), QStringLiteral("P")) +
                                   task(QStringLiteral("C1"), QStringLiteral("P"))),
                  messages);
    QCOMPARE(result.outcome, Outcome::Completed);
    QCOMPARE(result.added, 4);
    QCOMPARE(result.promoted, 0);
    const QList<QVariantMap> rows = db.rows(QStringLiteral("tasks"));
    QString parent;
    QSet<QString> keys;
    for (const QVariantMap &row : rows) {
        const QString key = row.value(QStringLiteral("tid")).toString();
        QVERIFY2(isRowKey(key), qPrintable(key));
        keys.insert(key);
        if (row.value(QStringLiteral("content")).toString() == QLatin1String("task P")) {
            QCOMPARE(row.value(QStringLiteral("pid")).toString(), QStringLiteral("root"));
            parent = key;
        }
    }
    QCOMPARE(keys.size(), 4); // the two C1 are two separate items
    for (const QVariantMap &row : rows) {
        if (row.value(QStringLiteral("tid")).toString() != parent)
            QCOMPARE(row.value(QStringLiteral("pid")).toString(), parent);
    }
}

void TestIoReaders::import_twiceDoublesItems()
{
    TestDb db;
    seedEdgeRows(db);
    const QString path = db.file(QStringLiteral("b.wyx"));
    QVERIFY(Interchange::WriteDatabaseFile(db.db(), path));
    const QList<QVariantMap> before = snapshot(db);
    Messages messages;
    QCOMPARE(Interchange::ImportFile(db.db(), path, messages.sink()).added, 5);
    QCOMPARE(Interchange::ImportFile(db.db(), path, messages.sink()).added, 5);
    QCOMPARE(db.count(QStringLiteral("tasks")), 9);
    QCOMPARE(db.count(QStringLiteral("memos")), 6);
    // The stored rows are untouched and every key is distinct.
    for (const QVariantMap &row : before) {
        const QString table =
            row.contains(QStringLiteral("tid")) ? QStringLiteral("tasks") : QStringLiteral("memos");
        const QString key = row.value(row.contains(QStringLiteral("tid")) ? QStringLiteral("tid")
                                                                          : QStringLiteral("mid"))
                                .toString();
        QCOMPARE(db.row(table, key), row);
    }
    // Each copy of the child hangs under its own copy of the parent.
    QSqlQuery query(db.db());
    QVERIFY(query.exec(QStringLiteral(
        "select count(*) from tasks c join tasks p on c.pid = p.tid where p.pid = 'root'")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 3);
}

void TestIoReaders::import_childTwiceUnderParentAndTopLevel()
{
    TestDb db;
    Messages messages;
    importXml(db,
              document(memo(QStringLiteral("P"), QStringLiteral("root")) +
                           memo(QStringLiteral("C"), QStringLiteral("P")) +
                           memo(QStringLiteral("C"), QStringLiteral("root")),
                       {}),
              messages);
    const QList<QVariantMap> rows = db.rows(QStringLiteral("memos"));
    QCOMPARE(rows.size(), 3);
    int top = 0, under = 0;
    for (const QVariantMap &row : rows) {
        if (row.value(QStringLiteral("content")).toString() == QLatin1String("memo C"))
            ++(row.value(QStringLiteral("pid")).toString() == QLatin1String("root") ? top : under);
    }
    QCOMPARE(top, 1);
    QCOMPARE(under, 1);
}

void TestIoReaders::import_childWithoutParentBecomesTopLevel()
{
    TestDb db;
    Messages messages;
    const auto result =
        importXml(db,
                  document(memo(QStringLiteral("C"), QStringLiteral("{MISSING}")),
                           task(QStringLiteral("P"), QStringLiteral("root")) +
                               task(QStringLiteral("C"), QStringLiteral("P")) +
                               task(QStringLiteral("G"), QStringLiteral("C")) + // a third level
                               task(QStringLiteral("O"), QStringLiteral("nowhere"))),
                  messages);
    QCOMPARE(result.outcome, Outcome::Completed);
    QCOMPARE(result.promoted, 3);
    QCOMPARE(db.rows(QStringLiteral("memos")).at(0).value(QStringLiteral("pid")).toString(),
             QStringLiteral("root"));
    QString parent;
    for (const QVariantMap &row : db.rows(QStringLiteral("tasks"))) {
        if (row.value(QStringLiteral("content")) == QStringLiteral("task P"))
            parent = row.value(QStringLiteral("tid")).toString();
    }
    for (const QVariantMap &row : db.rows(QStringLiteral("tasks"))) {
        const QString content = row.value(QStringLiteral("content")).toString();
        QCOMPARE(row.value(QStringLiteral("pid")).toString(),
                 content == QLatin1String("task C") ? parent : QStringLiteral("root"));
    }
}

void TestIoReaders::import_sectionsHaveSeparateMaps()
{
    TestDb db;
    Messages messages;
    const auto result = importXml(db,
                                  document(memo(QStringLiteral("X"), QStringLiteral("root")),
                                           task(QStringLiteral("Y"), QStringLiteral("X"))),
                                  messages);
    // The task does not hang under the memo's new key: it has no parent in its own list.
    QCOMPARE(result.promoted, 1);
    QCOMPARE(db.rows(QStringLiteral("tasks")).at(0).value(QStringLiteral("pid")).toString(),
             QStringLiteral("root"));
}

void TestIoReaders::import_onlyTasks()
{
    TestDb db;
    Messages messages;
    const auto result =
        importXml(db,
                  document({}, task(QStringLiteral("A"), QStringLiteral("root")) +
                                   task(QStringLiteral("B"), QStringLiteral("root"))),
                  messages);
    QCOMPARE(result.outcome, Outcome::Completed);
    QCOMPARE(db.count(QStringLiteral("memos")), 0);
    QCOMPARE(db.count(QStringLiteral("tasks")), 2);
}

void TestIoReaders::readers_reservedKeysGetFreshKeys_data()
{
    QTest::addColumn<bool>("restore");
    QTest::newRow("restore") << true;
    QTest::newRow("import") << false;
}

void TestIoReaders::readers_reservedKeysGetFreshKeys()
{
    QFETCH(bool, restore);
    TestDb db;
    db.exec(QStringLiteral("insert into tasks (tid, pid, content, createTime, editTime) values "
                           "('T', 'root', 'stored', 45000, 45000.5)"));
    const QString path = db.file(QStringLiteral("reserved.wyx"));
    writeContainer(
        path,
        document(
            memo(QStringLiteral("root"), QStringLiteral("root")),
            task(QStringLiteral("root"), QStringLiteral("root"), {QStringLiteral("content=R")}) +
                task(QString(), QStringLiteral("root"), {QStringLiteral("content=E")}) +
                task(QStringLiteral("C"), QString(), {QStringLiteral("content=child of E")})));
    ScriptedAsker asker;
    Messages messages;
    const Interchange::RunResult result =
        restore ? Interchange::RestoreFile(db.db(), path, asker, messages.sink())
                : Interchange::ImportFile(db.db(), path, messages.sink());
    QCOMPARE(result.outcome, Outcome::Completed);
    QCOMPARE(result.rekeyed, 3);
    QCOMPARE(messages.shown, QStringList{IoTexts::ReservedKeys.arg(3)});
    QVERIFY(asker.asked.isEmpty());

    QHash<QString, QVariantMap> byContent;
    for (const QVariantMap &row :
         db.rows(QStringLiteral("tasks")) + db.rows(QStringLiteral("memos"))) {
        const QString key = row.value(row.contains(QStringLiteral("tid")) ? QStringLiteral("tid")
                                                                          : QStringLiteral("mid"))
                                .toString();
        QVERIFY2(key != QLatin1String("root") && !key.isEmpty(), qPrintable(key));
        const QString content = row.value(QStringLiteral("content")).toString();
        if (content == QLatin1String("R") || content == QLatin1String("E") ||
            content == QLatin1String("memo root"))
            QCOMPARE(key.size(), 38); // a fresh key
        byContent.insert(row.value(QStringLiteral("content")).toString(), row);
    }
    QCOMPARE(db.count(QStringLiteral("tasks")), 4);
    QCOMPARE(db.count(QStringLiteral("memos")), 1);
    QCOMPARE(byContent.value(QStringLiteral("R")).value(QStringLiteral("pid")).toString(),
             QStringLiteral("root"));
    QCOMPARE(byContent.value(QStringLiteral("E")).value(QStringLiteral("pid")).toString(),
             QStringLiteral("root"));
    QCOMPARE(byContent.value(QStringLiteral("child of E")).value(QStringLiteral("pid")).toString(),
             byContent.value(QStringLiteral("E")).value(QStringLiteral("tid")).toString());
    QCOMPARE(byContent.value(QStringLiteral("stored")).value(QStringLiteral("tid")).toString(),
             QStringLiteral("T"));
    QCOMPARE(result.promoted, 0);
}

// ---- values -----------------------------------------------------------------------------

void TestIoReaders::values_flagsAndColours_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<QVariant>("storedFlag");
    QTest::addColumn<QVariant>("storedColour");
    QTest::newRow("words") << "True"
                           << "255" << QVariant(true) << QVariant(255);
    QTest::newRow("any case") << "tRUE"
                              << "-16777201" << QVariant(true) << QVariant(-16777201);
    QTest::newRow("beginnings") << "t"
                                << "0" << QVariant(true) << QVariant(0);
    QTest::newRow("false beginning") << "fal"
                                     << "+42" << QVariant(false) << QVariant(42);
    QTest::newRow("FALSE") << "FALSE"
                           << "007" << QVariant(false) << QVariant(7);
    QTest::newRow("limits") << "false"
                            << "2147483647" << QVariant(false) << QVariant(2147483647);
    // An empty flag stores false; an empty colour leaves no value.
    QTest::newRow("empty") << ""
                           << "" << QVariant(false) << QVariant();
}

void TestIoReaders::values_flagsAndColours()
{
    QFETCH(QString, flag);
    QFETCH(QString, colour);
    QFETCH(QVariant, storedFlag);
    QFETCH(QVariant, storedColour);
    for (const bool import : {false, true}) {
        TestDb db;
        Messages messages;
        ScriptedAsker asker;
        const QByteArray xml = document(
            {}, task(QStringLiteral("T"), QStringLiteral("root"),
                     {QStringLiteral("check-flag=") + flag, QStringLiteral("due-flag=") + flag,
                      QStringLiteral("alarm-flag=") + flag, QStringLiteral("text-color=") + colour,
                      QStringLiteral("background-color=") + colour}));
        const auto result =
            import ? importXml(db, xml, messages) : restoreXml(db, xml, asker, messages);
        QCOMPARE(result.outcome, Outcome::Completed);
        const QVariantMap row = db.rows(QStringLiteral("tasks")).at(0);
        for (const char *column : {"checkFlag", "dueFlag", "alarmFlag"}) {
            const QVariant value = row.value(QString::fromLatin1(column));
            QVERIFY(!value.isNull());
            QCOMPARE(value.toBool(), storedFlag.toBool());
        }
        for (const char *column : {"textColor", "backgroundColor"}) {
            const QVariant value = row.value(QString::fromLatin1(column));
            QCOMPARE(value.isNull(), storedColour.isNull());
            if (!storedColour.isNull())
                QCOMPARE(value.toInt(), storedColour.toInt());
        }
    }
}

void TestIoReaders::values_contentLineBreaks()
{
    TestDb db;
    Messages messages;
    ScriptedAsker asker;
    restoreXml(db,
               document(memo(QStringLiteral("M"), QStringLiteral("root"),
                             {QStringLiteral("content=a\nb\n\nc<&>\"'")}),
                        {}),
               asker, messages);
    QCOMPARE(db.row(QStringLiteral("memos"), QStringLiteral("M")).value(QStringLiteral("content")),
             QVariant(QStringLiteral("a\r\nb\r\n\r\nc<&>\"'")));
}

// ---- bad input --------------------------------------------------------------------------

void TestIoReaders::badInput_data()
{
    QTest::addColumn<QByteArray>("file"); // the file's bytes
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<Outcome>("outcome");

    const QStringList readFailure{QStringLiteral("File read failure!")};
    const QByteArray good = document(memo(QStringLiteral("M"), QStringLiteral("root")),
                                     task(QStringLiteral("T"), QStringLiteral("root")));
    const QByteArray container = WyxContainer::encode(good);
    auto withLength = [&](quint64 length) {
        QByteArray file = container;
        for (int i = 0; i < 8; ++i)
            file[i] = char(length >> (8 * i));
        return file;
    };
    QByteArray bomb = "<!DOCTYPE ploxen [<!ENTITY a \"aaaaaaaaaa\">";
    for (int i = 1; i < 12; ++i)
        bomb += "<!ENTITY a" + QByteArray::number(i) + " \"" +
                QByteArray(i == 1 ? "&a;" : "&a" + QByteArray::number(i - 1) + ";").repeated(10) +
                "\">";
    bomb += "]>" + document(memo(QStringLiteral("M"), QStringLiteral("root"),
                                 {QStringLiteral("content=&a11;")}),
                            {});
    bomb.replace("&amp;a11;", "&a11;");

    QTest::newRow("not a zlib stream")
        << QByteArray("PK\3\4 this is a zip") << readFailure << Outcome::ReadFailure;
    QTest::newRow("plain XML") << good << readFailure << Outcome::ReadFailure;
    QTest::newRow("empty file") << QByteArray() << readFailure << Outcome::ReadFailure;
    QTest::newRow("truncated") << container.left(container.size() - 10) << readFailure
                               << Outcome::ReadFailure;
    QTest::newRow("length too large")
        << withLength(quint64(good.size()) + 100) << readFailure << Outcome::ReadFailure;
    QTest::newRow("length too small")
        << withLength(quint64(good.size()) - 1) << readFailure << Outcome::ReadFailure;
    QTest::newRow("absurd length")
        << withLength(quint64(1) << 60) << readFailure << Outcome::ReadFailure;
    QTest::newRow("entity bomb") << WyxContainer::encode(bomb) << readFailure
                                 << Outcome::ReadFailure;
    QTest::newRow("invalid UTF-8")
        << WyxContainer::encode(document(memo(QStringLiteral("M"), QStringLiteral("root")), {})
                                    .replace("memo M", "memo \xC0\xAF"))
        << readFailure << Outcome::ReadFailure;
    QTest::newRow("app in other letter case")
        << WyxContainer::encode(document({}, {}, "tasklume"))
        << QStringList{QStringLiteral("Data mismatch: tasklumeTasklume")} << Outcome::Mismatch;
    QTest::newRow("other app") << WyxContainer::encode(document({}, {}, "Tasklume "))
                               << QStringList{QStringLiteral("Data mismatch: Tasklume Tasklume")}
                               << Outcome::Mismatch;
    QTest::newRow("app missing") << WyxContainer::encode(QByteArray(good).replace(
                                        "app=\"Tasklume\"", "application=\"x\""))
                                 << QStringList{QStringLiteral("ploxen: app not Exist !"),
                                                QStringLiteral("Data mismatch: Tasklume")}
                                 << Outcome::Mismatch;

    // Breaks that come after many new items have been read (the file holds the tasks before
    // the memos): whatever was read before them leaves no trace.
    QByteArray memos, tasks;
    for (int n = 0; n < 20; ++n) {
        memos += memo(keyOf(100 + n), QStringLiteral("root"));
        tasks += task(keyOf(200 + n), n % 2 ? keyOf(199 + n) : QStringLiteral("root"));
    }
    const QByteArray late = document(memos, tasks);
    const qsizetype lastTask = late.lastIndexOf("<task ");
    const qsizetype lastTaskEnd = late.indexOf("/>", lastTask);
    const qsizetype lastContent = late.indexOf("content=\"", lastTask) + 9;
    const QByteArray nested = QByteArray("<x>").repeated(1001) + QByteArray("</x>").repeated(1001);
    auto broken = [&](const QByteArray &text) { return WyxContainer::encode(text); };
    QTest::newRow("last task not closed") << broken(QByteArray(late).replace(lastTaskEnd, 2, ">"))
                                          << readFailure << Outcome::ReadFailure;
    QTest::newRow("last task not UTF-8") << broken(QByteArray(late).insert(lastContent, "\xC0\xAF"))
                                         << readFailure << Outcome::ReadFailure;
    QTest::newRow("last task nests too deep")
        << broken(QByteArray(late).replace(lastTaskEnd, 2, ">" + nested + "</task>")) << readFailure
        << Outcome::ReadFailure;
    QTest::newRow("last memo not closed")
        << broken(QByteArray(late).replace(late.indexOf("/>", late.lastIndexOf("<memo ")), 2, ">"))
        << readFailure << Outcome::ReadFailure;
    QTest::newRow("element after the root")
        << broken(late + "<more/>") << readFailure << Outcome::ReadFailure;
}

void TestIoReaders::badInput()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, messages);
    QFETCH(Outcome, outcome);
    for (const bool import : {false, true}) {
        TestDb db;
        seedEdgeRows(db);
        const QList<QVariantMap> before = snapshot(db);
        const QString path = db.file(QStringLiteral("bad.wyx"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file);
        out.close();
        Messages shown;
        ScriptedAsker asker;
        const auto result = import ? Interchange::ImportFile(db.db(), path, shown.sink())
                                   : Interchange::RestoreFile(db.db(), path, asker, shown.sink());
        QCOMPARE(result.outcome, outcome);
        QVERIFY(!result.ok());
        QCOMPARE(shown.shown, messages);
        QCOMPARE(snapshot(db), before);
    }
}

void TestIoReaders::conversionError_keepsRowsBefore_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("message");
    QTest::newRow("malformed date-time")
        << "create-time=2024-13-01T00:00:00.000Z"
        << "'2024-13-01T00:00:00.000Z' is not a valid date and time value for field 'createTime'";
    QTest::newRow("empty date-time") << "due-time="
                                     << "'' is not a valid date and time value for field 'dueTime'";
    QTest::newRow("flag") << "alarm-flag=yes"
                          << "'yes' is not a valid boolean value for field 'alarmFlag'";
    QTest::newRow("flag longer than the word")
        << "check-flag=truely"
        << "'truely' is not a valid boolean value for field 'checkFlag'";
    QTest::newRow("colour with letters")
        << "text-color=12ab"
        << "'12ab' is not a valid integer value for field 'textColor'";
    QTest::newRow("colour beyond 32 bits")
        << "background-color=4294967296"
        << "'4294967296' is not a valid integer value for field 'backgroundColor'";
    QTest::newRow("colour sign only") << "text-color=-"
                                      << "'-' is not a valid integer value for field 'textColor'";
    QTest::newRow("colour in hex") << "text-color=0xFF"
                                   << "'0xFF' is not a valid integer value for field 'textColor'";
}

void TestIoReaders::conversionError_keepsRowsBefore()
{
    QFETCH(QString, change);
    QFETCH(QString, message);
    for (const bool import : {false, true}) {
        TestDb db;
        Messages messages;
        ScriptedAsker asker;
        const QByteArray xml =
            document(memo(QStringLiteral("M"), QStringLiteral("root")),
                     task(QStringLiteral("A"), QStringLiteral("root")) +
                         task(QStringLiteral("B"), QStringLiteral("root"), {change}) +
                         task(QStringLiteral("C"), QStringLiteral("root")));
        const auto result =
            import ? importXml(db, xml, messages) : restoreXml(db, xml, asker, messages);
        QCOMPARE(result.outcome, Outcome::Failed);
        QVERIFY(!result.ok());
        QCOMPARE(messages.shown, QStringList{message});
        // The rows before the failing item stay; that item and the later ones are not there.
        QCOMPARE(db.count(QStringLiteral("memos")), 1);
        QStringList contents;
        for (const QVariantMap &row : db.rows(QStringLiteral("tasks")))
            contents << row.value(QStringLiteral("content")).toString();
        QCOMPARE(contents, QStringList{QStringLiteral("task A")});
    }
}

void TestIoReaders::missingAttribute_reportedAndRunGoesOn()
{
    TestDb db;
    Messages messages;
    ScriptedAsker asker;
    const auto result = restoreXml(
        db,
        document(
            memo(QStringLiteral("M"), QStringLiteral("root"), {QStringLiteral("-content")}),
            task(QStringLiteral("T"), QStringLiteral("root"),
                 {QStringLiteral("-check-flag"), QStringLiteral("-text-color")}) +
                task(QStringLiteral("U"), QStringLiteral("root"), {QStringLiteral("-alarm-time")})),
        asker, messages);
    QCOMPARE(result.outcome, Outcome::Failed);
    QCOMPARE(messages.shown,
             QStringList({QStringLiteral("ploxen,memos,memo#0: content not Exist !"),
                          QStringLiteral("ploxen,tasks,task#0: check-flag not Exist !"),
                          QStringLiteral("ploxen,tasks,task#0: text-color not Exist !"),
                          QStringLiteral("ploxen,tasks,task#1: alarm-time not Exist !"),
                          QStringLiteral("'' is not a valid date and time value for field "
                                         "'alarmTime'")}));
    QCOMPARE(db.row(QStringLiteral("memos"), QStringLiteral("M")).value(QStringLiteral("content")),
             QVariant(QString(QLatin1String(""))));
    const QVariantMap t = db.row(QStringLiteral("tasks"), QStringLiteral("T"));
    QCOMPARE(t.value(QStringLiteral("checkFlag")).toBool(), false);
    QVERIFY(t.value(QStringLiteral("textColor")).isNull());
    QCOMPARE(db.count(QStringLiteral("tasks")), 1);
}

void TestIoReaders::otherRootNameAndDataVersionAccepted()
{
    TestDb db;
    Messages messages;
    QByteArray xml = document(memo(QStringLiteral("M"), QStringLiteral("root")),
                              task(QStringLiteral("T"), QStringLiteral("root")));
    xml.replace("<ploxen ", "<backup ").replace("</ploxen>", "</backup>");
    xml.replace("dataversion=\"1.1\"", "dataversion=\"7\"");
    xml.replace("<task ", "<item ");
    const auto result = importXml(db, xml, messages);
    QCOMPARE(result.outcome, Outcome::Completed);
    QCOMPARE(result.added, 2);
    QVERIFY(messages.shown.isEmpty());
}

// ---- one transaction per run ------------------------------------------------------------

namespace {
// Looks at the database from a second connection while the run asks its question.
class PeekingAsker : public Interchange::ReplaceAsker
{
public:
    explicit PeekingAsker(const QString &path) : m_path(path) {}
    Answer ask(const Interchange::ReplaceQuestion &) override
    {
        QSqlDatabase other =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        other.setDatabaseName(m_path);
        other.open();
        {
            QSqlQuery query(other);
            query.exec(QStringLiteral("select count(*) from memos"));
            seen = query.next() ? query.value(0).toInt() : -1;
        }
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("peek"));
        return Answer::Abort;
    }
    int seen = -2;

private:
    QString m_path;
};

int countFromOtherConnection(const QString &path, const QString &table)
{
    int count = -1;
    {
        QSqlDatabase other =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        other.setDatabaseName(path);
        other.open();
        QSqlQuery query(other);
        query.exec(QStringLiteral("select count(*) from ") + table);
        if (query.next())
            count = query.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    return count;
}
} // namespace

// The opening check without a database, for files in the plain form and in any other.
void TestIoReaders::probe_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("app");

    const QByteArray m = memo(QStringLiteral("M"), QStringLiteral("root"));
    const QByteArray t = task(QStringLiteral("T"), QStringLiteral("root"));
    const QByteArray comment = "<!-- not the plain form -->";
    QTest::newRow("plain") << document(m, t) << Outcome::Completed << "Tasklume";
    QTest::newRow("with a comment") << document(m + comment, t) << Outcome::Completed << "Tasklume";
    QTest::newRow("other app, plain")
        << document(m, t, "Other &amp; more") << Outcome::Mismatch << "Other & more";
    QTest::newRow("other app, with a comment")
        << document(m + comment, t, "Other") << Outcome::Mismatch << "Other";
    QTest::newRow("no app") << QByteArray("<ploxen><tasks/><memos/></ploxen>") << Outcome::Mismatch
                            << "";
    QTest::newRow("broken at the end") << document(m, t) + "<more/>" << Outcome::ReadFailure << "";
    QTest::newRow("broken at the end, with a comment")
        << document(m + comment, t) + "<more/>" << Outcome::ReadFailure << "";
}

void TestIoReaders::probe()
{
    QFETCH(QByteArray, xml);
    QFETCH(Outcome, outcome);
    QFETCH(QString, app);
    TestDb db;
    const QString path = db.file(QStringLiteral("probe.wyx"));
    writeContainer(path, xml);
    QString found;
    QCOMPARE(Interchange::ProbeFile(path, &found), outcome);
    QCOMPARE(found, app);
}

// The one pass over a file takes the plain form the program writes and leaves anything else
// to the checked reading; what it takes it reads to the same items and values.
void TestIoReaders::onePass_readsAsTheCheckedReading_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("onePass"); // whether the one pass reads the file

    TestDb db;
    seedEdgeRows(db);
    const QString backup = db.file(QStringLiteral("edge.wyx"));
    QVERIFY(Interchange::WriteDatabaseFile(db.db(), backup));
    const QByteArray m = memo(QStringLiteral("M"), QStringLiteral("root"));
    const QByteArray t = task(QStringLiteral("T"), QStringLiteral("root"));
    auto withMemo = [&](const QByteArray &item) { return document(item, t); };

    QTest::newRow("a backup of every kind of text") << inflate(backup) << true;
    QTest::newRow("references")
        << withMemo("<memo mid=\"M\" pid=\"root\" content=\"&lt;&gt;&amp;&quot;&apos;&#10;&#13;"
                    "&#9;&#x1F600;&#233;&#xe9;\"/>")
        << true;
    QTest::newRow("single quotes, blanks around =, other attributes")
        << withMemo("<memo  x=\"1\" mid = 'M' pid=\t'root'\ncontent='a\"b' />") << true;
    QTest::newRow("byte order mark, declaration naming UTF-8")
        << "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>" +
               document(m, t).mid(document(m, t).indexOf('<', 1))
        << true;
    QTest::newRow("no declaration") << document(m, t).mid(document(m, t).indexOf('<', 1)) << true;
    QTest::newRow("memos before tasks, other sections, empty sections")
        << QByteArray("<r app=\"Tasklume\"><x><a b=\"c\"/></x><memos>") + m +
               "</memos><tasks/><tasks>" + t + "</tasks></r>"
        << true;
    QTest::newRow("app beginning with U+FEFF") << document(m, t, "\xEF\xBB\xBFTasklume") << true;
    QTest::newRow("items of any name, without attributes")
        << withMemo("<item/><memo/>" + m) << true;
    QTest::newRow("tab in a value") << withMemo("<memo mid=\"M\" content=\"a\tb\"/>") << false;
    QTest::newRow("line feed in a value")
        << withMemo("<memo mid=\"M\" content=\"a\nb\"/>") << false;
    QTest::newRow("comment between items") << withMemo(m + "<!-- x -->" + m) << false;
    QTest::newRow("text between items") << withMemo(m + "text" + m) << false;
    QTest::newRow("CDATA between items") << withMemo(m + "<![CDATA[x]]>" + m) << false;
    QTest::newRow("item with content") << withMemo("<memo mid=\"M\"><x/></memo>") << false;
    QTest::newRow("undeclared entity") << withMemo("<memo mid=\"&x;\"/>") << false;
    QTest::newRow("reference to U+0001") << withMemo("<memo mid=\"&#1;\"/>") << false;
    QTest::newRow("U+FFFF in a value") << withMemo("<memo mid=\"\xEF\xBF\xBF\"/>") << false;
    QTest::newRow("name with a colon") << withMemo("<a:memo mid=\"M\"/>") << false;
    QTest::newRow("name not ASCII") << withMemo("<m\xC3\xA9mo mid=\"M\"/>") << false;
    QTest::newRow("attribute twice") << withMemo("<memo mid=\"M\" mid=\"N\"/>") << false;
    QTest::newRow("attributes without a blank between")
        << withMemo("<memo mid=\"M\"pid=\"root\"/>") << false;
    QTest::newRow("another version") << QByteArray("<?xml version=\"1.1\"?>") +
                                            document(m, t).mid(document(m, t).indexOf('<', 1))
                                     << false;
    QTest::newRow("no memos section")
        << QByteArray("<ploxen app=\"Tasklume\"><tasks>") + t + "</tasks></ploxen>" << false;
    QTest::newRow("end tag of another name")
        << QByteArray("<ploxen app=\"Tasklume\"><tasks></memos><memos/></ploxen>") << false;
    QTest::newRow("second root") << document(m, t) + "<ploxen/>" << false;
}

void TestIoReaders::onePass_readsAsTheCheckedReading()
{
    QFETCH(QByteArray, xml);
    QFETCH(bool, onePass);
    TestDb db;
    const QString path = db.file(QStringLiteral("one.wyx"));
    writeContainer(path, xml);
    bool read = false;
    QCOMPARE(onePassDifference(path, &read), QString());
    QCOMPARE(read, onePass);
}

void TestIoReaders::transaction_notVisibleUntilRunEnds()
{
    TestDb db;
    db.exec(QStringLiteral("insert into memos (mid, pid, content) values ('Z', 'root', 'old')"));
    PeekingAsker asker(db.path());
    Messages messages;
    const QString path = db.file(QStringLiteral("t.wyx"));
    writeContainer(path, document(memo(QStringLiteral("A"), QStringLiteral("root")) +
                                      memo(QStringLiteral("B"), QStringLiteral("root")) +
                                      memo(QStringLiteral("Z"), QStringLiteral("root")),
                                  {}));
    const auto result = Interchange::RestoreFile(db.db(), path, asker, messages.sink());
    // While the run went on, another reader saw the database as it was before ...
    QCOMPARE(asker.seen, 1);
    QCOMPARE(result.outcome, Outcome::Aborted);
    // ... and the Abort committed what came before.
    QCOMPARE(countFromOtherConnection(db.path(), QStringLiteral("memos")), 3);
}

void TestIoReaders::transaction_committedAfterFailure()
{
    TestDb db;
    Messages messages;
    const auto result = importXml(
        db,
        document(memo(QStringLiteral("A"), QStringLiteral("root")) +
                     memo(QStringLiteral("B"), QStringLiteral("A")),
                 task(QStringLiteral("T"), QStringLiteral("root"), {QStringLiteral("due-flag=?")})),
        messages);
    QCOMPARE(result.outcome, Outcome::Failed);
    QCOMPARE(countFromOtherConnection(db.path(), QStringLiteral("memos")), 2);
    // The connection is left outside any transaction.
    QVERIFY(db.db().transaction());
    QVERIFY(db.db().rollback());
}

QTEST_GUILESS_MAIN(TestIoReaders)
#include "test_io_readers.moc"
