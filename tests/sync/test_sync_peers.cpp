// The sync against what nobody here wrote: objects another client (python3-caldav) puts on
// Radicale and on Xandikos as other task programs write them, read back by todoman through
// vdirsyncer, and a stand-in server that answers as servers without sync tokens or ETags and
// with a refused object do. Another program's objects stay whole: a recurring to-do with a
// moved occurrence, a parent deleted elsewhere, due dates and alarms of other types, comma
// lists, a title changed elsewhere.

#include "storage/Database.h"
#include "storage/Statements.h"
#include "sync/CalDavClient.h"
#include "sync/RadicaleServer.h"
#include "sync/StandInDavServer.h"
#include "sync/SyncEngine.h"
#include "sync/XandikosServer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// One Tasklume database in a folder of its own.
class Store
{
public:
    explicit Store(const QString &name) : m_name(name)
    {
        m_db = Database::open(m_dir.filePath(QStringLiteral("wyData.wyb")), m_name);
        m_tasks = std::make_unique<TaskStatements>(m_db);
    }
    ~Store()
    {
        m_tasks.reset();
        m_db = QSqlDatabase();
        Database::close(m_name);
    }
    TaskStatements &tasks() { return *m_tasks; }
    SyncReport sync(CalDavClient *dav, int uploadsInFlight = 4)
    {
        SyncEngine engine(m_db, dav);
        engine.setUploadsInFlight(uploadsInFlight);
        return engine.syncTasksNow();
    }

    QString add(const QString &text, const QString &parent = QStringLiteral("root"))
    {
        TTaskInfo task;
        task.pid = parent;
        task.content = text;
        task.createTime = task.editTime = 46000.5;
        m_tasks->insertNew(task);
        return task.key;
    }
    // Every task by key.
    QHash<QString, TTaskInfo> all()
    {
        QHash<QString, TTaskInfo> result;
        const ItemForest forest = m_tasks->loadForest();
        for (const auto &node : forest) {
            result.insert(node->info->key, *node->as<TTaskInfo>());
            for (const auto &child : node->children)
                result.insert(child->info->key, *child->as<TTaskInfo>());
        }
        return result;
    }
    // The tree as sorted lines "text under parent-text" ("-" for the top level).
    QStringList tree()
    {
        const QHash<QString, TTaskInfo> tasks = all();
        QStringList lines;
        for (const TTaskInfo &task : tasks) {
            const auto parent = tasks.constFind(task.pid);
            lines.append(task.content + QStringLiteral(" under ") +
                         (parent == tasks.constEnd() ? QStringLiteral("-") : parent->content));
        }
        lines.sort();
        return lines;
    }

private:
    QTemporaryDir m_dir;
    QString m_name;
    QSqlDatabase m_db;
    std::unique_ptr<TaskStatements> m_tasks;
};

// A collection on one of the servers, and how to log in to it.
struct Collection
{
    QUrl url;
    QString user;
    QString password;
};

// What another program does through python3-caldav: a script run against a collection with
// the address, user and password as its first arguments.
const char *const CalDavPrelude = R"(import sys, caldav
url, user, password = sys.argv[1:4]
client = caldav.DAVClient(url=url, username=user, password=password)
calendar = client.calendar(url=url)
)";

QString runPython(const Collection &collection, const char *script, const QStringList &args = {},
                  const QByteArray &input = {})
{
    QProcess process;
    process.start(QStringLiteral("/usr/bin/python3"),
                  QStringList{QStringLiteral("-c"),
                              QString::fromUtf8(CalDavPrelude) + QString::fromUtf8(script),
                              collection.url.toString(), collection.user, collection.password} +
                      args);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return QStringLiteral("python3-caldav did not finish");
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("python3-caldav failed: ") +
               QString::fromLocal8Bit(process.readAllStandardError());
    return {};
}

QString putAsOtherProgram(const Collection &collection, const QByteArray &object)
{
    return runPython(collection, "calendar.save_todo(sys.stdin.read())\n", {}, object);
}

QString deleteAsOtherProgram(const Collection &collection, const QString &uid)
{
    return runPython(collection, "calendar.object_by_uid(sys.argv[4]).delete()\n", {uid});
}

// Changes the SUMMARY alone, as task programs rename a task.
QString renameAsOtherProgram(const Collection &collection, const QString &uid, const QString &title)
{
    return runPython(collection, R"(todo = calendar.object_by_uid(sys.argv[4])
instance = todo.icalendar_instance
for component in instance.walk('VTODO'):
    component['SUMMARY'] = sys.argv[5]
todo.icalendar_instance = instance
todo.save()
)",
                     {uid, title});
}

// Every object of a collection, href -> text with its lines unfolded and ended by LF.
QHash<QString, QByteArray> serverObjects(CalDavClient *dav)
{
    QHash<QString, QByteArray> result;
    DavListing listing;
    if (!dav->listNow(&listing).ok())
        return result;
    QStringList hrefs;
    for (const DavObject &o : std::as_const(listing.objects))
        hrefs.append(o.href);
    QList<DavObject> objects;
    if (!hrefs.isEmpty() && !dav->fetchNow(hrefs, &objects).ok())
        return result;
    for (DavObject &o : objects) {
        // Line ends as LF (an XML answer carries no CR), lines unfolded.
        o.data.replace("\r\n", "\n").replace("\n ", "").replace("\n\t", "");
        result.insert(o.href, o.data);
    }
    return result;
}

QByteArray onlyObject(CalDavClient *dav)
{
    const QHash<QString, QByteArray> objects = serverObjects(dav);
    return objects.size() == 1 ? objects.cbegin().value() : QByteArray();
}

// The lines of each component named `name` of an unfolded object, each sorted (a server may
// store the properties in another order).
QList<QStringList> componentsOf(const QByteArray &object, const QByteArray &name)
{
    QList<QStringList> result;
    QStringList *current = nullptr;
    int depth = 0;
    for (QByteArray line : object.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith("BEGIN:")) {
            ++depth;
            if (depth == 2 && line == "BEGIN:" + name) {
                result.append(QStringList());
                current = &result.last();
                continue;
            }
        }
        if (line.startsWith("END:")) {
            if (--depth == 1 && current) {
                current->sort();
                current = nullptr;
            }
        }
        if (current)
            current->append(QString::fromUtf8(line));
    }
    return result;
}

const QByteArray BerlinZone = "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n"
                              "BEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\n"
                              "TZNAME:CEST\r\nDTSTART:19700329T020000\r\n"
                              "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nEND:DAYLIGHT\r\n"
                              "BEGIN:STANDARD\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\n"
                              "TZNAME:CET\r\nDTSTART:19701025T030000\r\n"
                              "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\n"
                              "END:VTIMEZONE\r\n";

QByteArray otherProgramsTodo(const QByteArray &uid, const QByteArray &lines,
                             const QByteArray &more = {})
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//Other Tasks//EN\r\n" + BerlinZone +
           "BEGIN:VTODO\r\nUID:" + uid + "\r\nDTSTAMP:20261201T080000Z\r\n" + lines +
           "END:VTODO\r\n" + more + "END:VCALENDAR\r\n";
}

} // namespace

class TestSyncPeers : public QObject
{
    Q_OBJECT

private:
    RadicaleServer m_radicale;
    XandikosServer m_xandikos;
    int m_collections = 0;
    int m_stores = 0;

    Collection fresh(const QString &server)
    {
        const QString name = QStringLiteral("peers%1").arg(++m_collections);
        if (server == QLatin1String("Xandikos")) {
            const QUrl url = m_xandikos.makeCalendar(name);
            if (url.isEmpty())
                qWarning() << m_xandikos.why();
            return {url, m_xandikos.user(), m_xandikos.password()};
        }
        const QUrl url = m_radicale.makeCalendar(name);
        if (url.isEmpty())
            qWarning() << m_radicale.why();
        return {url, m_radicale.user(), m_radicale.password()};
    }
    CalDavClient *client(const Collection &collection)
    {
        return new CalDavClient(collection.url, collection.user, collection.password, this);
    }
    std::unique_ptr<Store> store()
    {
        return std::make_unique<Store>(QStringLiteral("peers-store-%1").arg(++m_stores));
    }
    static void addServers()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("Radicale") << QStringLiteral("Radicale");
        QTest::newRow("Xandikos") << QStringLiteral("Xandikos");
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_radicale.start(), qPrintable(m_radicale.why()));
        QVERIFY2(m_xandikos.start(), qPrintable(m_xandikos.why()));
    }

    // A recurring to-do with a moved occurrence (a master with RRULE and an override with
    // the same UID and a RECURRENCE-ID in one object) shows here as one item; an edit here
    // goes into the master and leaves the override as it was, run after run.
    void recurringSeriesStaysWhole_data() { addServers(); }
    void recurringSeriesStaysWhole()
    {
        QFETCH(QString, server);
        const Collection collection = fresh(server);
        QVERIFY(!collection.url.isEmpty());
        CalDavClient *dav = client(collection);
        const QByteArray override = "BEGIN:VTODO\r\nUID:series-1\r\nDTSTAMP:20261201T080000Z\r\n"
                                    "RECURRENCE-ID:20261214T080000Z\r\n"
                                    "DTSTART:20261215T080000Z\r\nDUE:20261215T100000Z\r\n"
                                    "SUMMARY:Team report (moved to Tuesday)\r\nEND:VTODO\r\n";
        const QByteArray series = otherProgramsTodo(
            "series-1",
            "DTSTART:20261207T080000Z\r\nDUE:20261207T100000Z\r\nSUMMARY:Team report\r\n"
            "RRULE:FREQ=WEEKLY;COUNT=10\r\n",
            override);
        const QString failed = putAsOtherProgram(collection, series);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        const QList<QStringList> before = componentsOf(onlyObject(dav), "VTODO");
        QCOMPARE(before.size(), 2);

        auto here = store();
        SyncReport report = here->sync(dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(here->tree(), QStringList{QStringLiteral("Team report under -")});

        for (const char *text : {"Team report: draft sent", "Team report: sent"}) {
            here->tasks().updateContent(QStringLiteral("series-1"), QString::fromUtf8(text),
                                        46003.0);
            report = here->sync(dav);
            QVERIFY2(report.ok, qPrintable(report.message));
            QCOMPARE(report.uploaded, 1);
            const QList<QStringList> after = componentsOf(onlyObject(dav), "VTODO");
            QCOMPARE(after.size(), 2);
            const QStringList master =
                after.value(0).filter(QStringLiteral("RECURRENCE-ID")).isEmpty() ? after.value(0)
                                                                                 : after.value(1);
            QCOMPARE(after.value(0) == master ? after.value(1) : after.value(0),
                     before.value(1)); // the override, line for line
            for (const QString &line : {QStringLiteral("SUMMARY:") + QString::fromUtf8(text),
                                        QStringLiteral("RRULE:FREQ=WEEKLY;COUNT=10"),
                                        QStringLiteral("DTSTART:20261207T080000Z"),
                                        QStringLiteral("DUE:20261207T100000Z")})
                QVERIFY2(master.contains(line), qPrintable(master.join(QLatin1Char('|'))));
        }
        QCOMPARE(here->tree(), QStringList{QStringLiteral("Team report: sent under -")});

        // The series as python3-caldav and dateutil read it: ten weeks, the moved one among them.
        const QString series10 = runPython(collection, R"(from dateutil.rrule import rrulestr
todo = calendar.object_by_uid('series-1')
components = list(todo.icalendar_instance.walk('VTODO'))
master = [c for c in components if 'RECURRENCE-ID' not in c][0]
moved = [c for c in components if 'RECURRENCE-ID' in c]
rule = rrulestr(master['RRULE'].to_ical().decode(), dtstart=master['DTSTART'].dt)
dates = list(rule)
assert len(components) == 2 and len(moved) == 1, components
assert len(dates) == 10, dates
assert moved[0]['RECURRENCE-ID'].dt in dates, moved[0]['RECURRENCE-ID'].dt
assert str(master['SUMMARY']) == 'Team report: sent', master['SUMMARY']
)");
        QVERIFY2(series10.isEmpty(), qPrintable(series10));
    }

    // Another client deletes a parent object alone: only that item goes here, its children
    // move to the top level and stay on the server, and no run deletes them there.
    void parentDeletedElsewhereTakesOnlyItself_data() { addServers(); }
    void parentDeletedElsewhereTakesOnlyItself()
    {
        QFETCH(QString, server);
        const Collection collection = fresh(server);
        QVERIFY(!collection.url.isEmpty());
        CalDavClient *dav = client(collection);
        auto here = store();
        const QString trip = here->add(QStringLiteral("Trip"));
        here->add(QStringLiteral("Pack"), trip);
        here->add(QStringLiteral("Tickets"), trip);
        QVERIFY(here->sync(dav).ok);
        QCOMPARE(serverObjects(dav).size(), 3);

        const QString failed = deleteAsOtherProgram(collection, trip);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        SyncReport report = here->sync(dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.deletedHere, 1);
        QCOMPARE(report.deletedThere, 0);
        QCOMPARE(report.uploaded, 0);
        QCOMPARE(here->tree(),
                 (QStringList{QStringLiteral("Pack under -"), QStringLiteral("Tickets under -")}));
        QCOMPARE(serverObjects(dav).size(), 2);

        report = here->sync(dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.uploaded + report.downloaded + report.deletedHere + report.deletedThere, 0);
        QCOMPARE(serverObjects(dav).size(), 2);
    }

    // A due date with a time (in a zone, in UTC) and an alarm relative to it: what did not
    // change here goes back as it came, what changed here is written in the object's type.
    void timesKeepTheirType_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<int>("edit");
        QTest::addColumn<QByteArray>("expected");
        enum
        {
            Text,
            DueLater,
            AlarmEarlier
        };
        const QByteArray zoned = "DUE;TZID=Europe/Berlin:20261220T230000\r\n";
        const QByteArray utc = "DUE:20261220T220000Z\r\n";
        const QByteArray relative = "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Soon\r\n"
                                    "TRIGGER;RELATED=END:-PT15M\r\nEND:VALARM\r\n";
        for (const QString &server : {QStringLiteral("Radicale"), QStringLiteral("Xandikos")}) {
            const auto row = [&](const char *name) -> QTestData & {
                return QTest::newRow(qPrintable(server + QLatin1Char(' ') + QLatin1String(name)))
                       << server;
            };
            row("zoned due, text edited") << zoned << int(Text) << zoned.trimmed();
            row("zoned due, due edited")
                << zoned << int(DueLater) << QByteArray("DUE;TZID=Europe/Berlin:20261221T230000");
            row("UTC due, text edited") << utc << int(Text) << utc.trimmed();
            row("UTC due, due edited")
                << utc << int(DueLater) << QByteArray("DUE:20261221T220000Z");
            row("relative alarm, text edited")
                << zoned + relative << int(Text) << QByteArray("TRIGGER;RELATED=END:-PT15M");
            row("relative alarm, alarm edited") << zoned + relative << int(AlarmEarlier)
                                                << QByteArray("TRIGGER;RELATED=END:-PT1H15M");
        }
    }
    void timesKeepTheirType()
    {
        QFETCH(QString, server);
        QFETCH(QByteArray, lines);
        QFETCH(int, edit);
        QFETCH(QByteArray, expected);
        const Collection collection = fresh(server);
        QVERIFY(!collection.url.isEmpty());
        CalDavClient *dav = client(collection);
        const QByteArray object = otherProgramsTodo(
            "timed-1",
            "SUMMARY:Send the cards\r\nDTSTART;TZID=Europe/Berlin:20261220T090000\r\n" + lines);
        const QString put = putAsOtherProgram(collection, object);
        QVERIFY2(put.isEmpty(), qPrintable(put));

        auto here = store();
        SyncReport report = here->sync(dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        const TTaskInfo task = here->all().value(QStringLiteral("timed-1"));
        QVERIFY(task.dueFlag);
        if (edit == 0)
            here->tasks().updateContent(task.key, QStringLiteral("Send the cards today"), 46004.0);
        else if (edit == 1)
            here->tasks().updateDue(task.key, true, task.dueTime + 1.0);
        else
            here->tasks().updateAlarm(task.key, true, task.alarmTime - 1.0 / 24);
        report = here->sync(dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.uploaded, 1);
        const QByteArray after = onlyObject(dav);
        QVERIFY2(after.contains("\n" + expected + "\n"), after.constData());
        QVERIFY2(!after.contains("DUE;VALUE=DATE"), after.constData());
        QVERIFY2(after.contains("DTSTART;TZID=Europe/Berlin:20261220T090000"), after.constData());
    }

    // Properties the program does not own go back in the form they came: a comma list of
    // CATEGORIES stays one line, and todoman (through vdirsyncer) still reads the task.
    void categoriesStayOneListForTodoman()
    {
        const QString vdirsyncer = QStandardPaths::findExecutable(QStringLiteral("vdirsyncer"));
        const QString todoman = QStandardPaths::findExecutable(QStringLiteral("todoman"));
        QVERIFY2(!vdirsyncer.isEmpty() && !todoman.isEmpty(), "vdirsyncer and todoman needed");
        const Collection collection = fresh(QStringLiteral("Radicale"));
        QVERIFY(!collection.url.isEmpty());
        CalDavClient *dav = client(collection);
        const QString failed = putAsOtherProgram(
            collection, otherProgramsTodo("shop-1", "SUMMARY:Buy milk\r\nCATEGORIES:work,home\r\n"
                                                    "PRIORITY:5\r\n"));
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        auto here = store();
        QVERIFY(here->sync(dav).ok);
        here->tasks().updateContent(QStringLiteral("shop-1"), QStringLiteral("Buy oat milk"),
                                    46004.0);
        const SyncReport report = here->sync(dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QVERIFY(onlyObject(dav).contains("\nCATEGORIES:work,home\n"));

        QTemporaryDir dir;
        const QString root = dir.path();
        QVERIFY(QDir(root).mkpath(QStringLiteral("data/tasks")));
        QVERIFY(QDir(root).mkpath(QStringLiteral("status")));
        QFile config(root + QStringLiteral("/vdirsyncer.conf"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("[general]\nstatus_path = \"%1/status/\"\n\n"
                                    "[pair tasks]\na = \"tasks_local\"\nb = \"tasks_remote\"\n"
                                    "collections = null\n\n"
                                    "[storage tasks_local]\ntype = \"filesystem\"\n"
                                    "path = \"%1/data/tasks\"\nfileext = \".ics\"\n\n"
                                    "[storage tasks_remote]\ntype = \"caldav\"\nurl = \"%2\"\n"
                                    "username = \"%3\"\npassword = \"%4\"\n")
                         .arg(root, collection.url.toString(), collection.user, collection.password)
                         .toUtf8());
        config.close();
        QFile todoConfig(root + QStringLiteral("/todoman.py"));
        QVERIFY(todoConfig.open(QIODevice::WriteOnly));
        todoConfig.write(QStringLiteral("path = \"%1/data/*\"\ndefault_list = \"tasks\"\n"
                                        "cache_path = \"%1/cache.sqlite3\"\n")
                             .arg(root)
                             .toUtf8());
        todoConfig.close();

        const auto run = [&](const QString &program, const QStringList &args,
                             QByteArray *out = nullptr) {
            QProcess process;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("VDIRSYNCER_CONFIG"), config.fileName());
            env.insert(QStringLiteral("HOME"), root);
            process.setProcessEnvironment(env);
            process.start(program, args);
            process.closeWriteChannel();
            if (!process.waitForFinished(120000)) {
                process.kill();
                process.waitForFinished();
                return QStringLiteral("%1 did not finish").arg(program);
            }
            if (out)
                *out = process.readAllStandardOutput();
            const QByteArray errors = process.readAllStandardError();
            if (process.exitCode() != 0 || errors.contains("Traceback") ||
                errors.contains("Failed to read"))
                return QStringLiteral("%1 %2: %3")
                    .arg(program, args.join(QLatin1Char(' ')), QString::fromLocal8Bit(errors));
            return QString();
        };
        QString why = run(vdirsyncer, {QStringLiteral("discover")});
        QVERIFY2(why.isEmpty(), qPrintable(why));
        why = run(vdirsyncer, {QStringLiteral("sync")});
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QByteArray listed;
        why = run(todoman,
                  {QStringLiteral("--config"), todoConfig.fileName(), QStringLiteral("--porcelain"),
                   QStringLiteral("list"), QStringLiteral("--status"), QStringLiteral("ANY")},
                  &listed);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QStringList summaries;
        for (const QJsonValue &task : QJsonDocument::fromJson(listed).array())
            summaries.append(task.toObject().value(QStringLiteral("summary")).toString());
        QCOMPARE(summaries, QStringList{QStringLiteral("Buy oat milk")});
    }

    // Another client renames a task by its SUMMARY alone: the text here follows the new
    // title, and what followed the first line stays.
    void titleChangedElsewhere_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        for (const QString &server : {QStringLiteral("Radicale"), QStringLiteral("Xandikos")}) {
            QTest::newRow(qPrintable(server + QStringLiteral(" one line")))
                << server << QStringLiteral("Buy milk") << QStringLiteral("Buy oat milk");
            QTest::newRow(qPrintable(server + QStringLiteral(" several lines")))
                << server << QStringLiteral("Buy milk\r\nsemi-skimmed\r\ntwo litres")
                << QStringLiteral("Buy oat milk\r\nsemi-skimmed\r\ntwo litres");
        }
    }
    void titleChangedElsewhere()
    {
        QFETCH(QString, server);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const Collection collection = fresh(server);
        QVERIFY(!collection.url.isEmpty());
        CalDavClient *dav = client(collection);
        auto here = store();
        const QString key = here->add(text);
        QVERIFY(here->sync(dav).ok);

        const QString failed =
            renameAsOtherProgram(collection, key, QStringLiteral("Buy oat milk"));
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        SyncReport report = here->sync(dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.downloaded, 1);
        QCOMPARE(here->all().value(key).content, expected);

        // The next edit here spreads the new title, not the old one.
        here->tasks().updateContent(key, expected + QStringLiteral(" (done by Friday)"), 46005.0);
        report = here->sync(dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        const QByteArray object = onlyObject(dav);
        QVERIFY2(!object.contains("Buy milk"), object.constData());
    }

    // A server without sync tokens that answers PUT without an ETag: runs list by ETags,
    // read the ETags of what they stored, and come to rest.
    void serverWithoutTokensOrEtags()
    {
        StandInDavServer server;
        server.setEtagOnPut(false);
        CalDavClient *dav =
            new CalDavClient(server.url(), QStringLiteral("u"), QStringLiteral("p"), this);
        auto here = store();
        const QString key = here->add(QStringLiteral("Water the plants"));
        here->add(QStringLiteral("Feed the cat"));

        SyncReport report = here->sync(dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.uploaded, 2);
        QCOMPARE(server.objects().size(), 2);

        report = here->sync(dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.uploaded + report.downloaded + report.deletedHere + report.deletedThere, 0);

        server.putObject(QStringLiteral("phone-1.ics"),
                         otherProgramsTodo("phone-1", "SUMMARY:Call the plumber\r\n"));
        here->tasks().updateContent(key, QStringLiteral("Water the plants and the roses"), 46006.0);
        report = here->sync(dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.downloaded, 1);
        QCOMPARE(report.uploaded, 1);
        QCOMPARE(here->tree(),
                 (QStringList{QStringLiteral("Call the plumber under -"),
                              QStringLiteral("Feed the cat under -"),
                              QStringLiteral("Water the plants and the roses under -")}));
        report = here->sync(dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.uploaded + report.downloaded + report.deletedHere + report.deletedThere, 0);
    }

    // One object the server refuses never blocks the run: the others go, the run says which
    // item and why, and the next runs try it again until the server takes it.
    void refusedObjectIsPassedOver()
    {
        StandInDavServer server;
        server.setRefused("Refused by the server");
        CalDavClient *dav =
            new CalDavClient(server.url(), QStringLiteral("u"), QStringLiteral("p"), this);
        auto here = store();
        here->add(QStringLiteral("First"));
        const QString refused = here->add(QStringLiteral("Refused by the server\r\nsecond line"));
        here->add(QStringLiteral("Third"));
        const QString path = dav->hrefFor(refused + QStringLiteral(".ics"));

        SyncReport report = here->sync(dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.uploaded, 2);
        QCOMPARE(report.refused, 1);
        QVERIFY2(report.message.contains(QStringLiteral("Refused by the server")) &&
                     report.message.contains(QStringLiteral("400")) &&
                     !report.message.contains(QStringLiteral("second line")),
                 qPrintable(report.message));
        QCOMPARE(server.objects().size(), 2);

        report = here->sync(dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.refused, 1);
        QCOMPARE(server.putsOf(QUrl::fromPercentEncoding(path.toUtf8())), 2);

        server.setRefused({});
        report = here->sync(dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.uploaded, 1);
        QCOMPARE(report.refused, 0);
        QVERIFY(report.message.isEmpty());
        QCOMPARE(server.objects().size(), 3);
        report = here->sync(dav);
        QCOMPARE(report.uploaded + report.downloaded + report.refused, 0);
    }

    // A server that fails part-way through the uploads: the message names the server's
    // answer, never the database, and says what had been sent; the next run sends the rest.
    void failureSaysWhatWasSent()
    {
        StandInDavServer server;
        CalDavClient *dav =
            new CalDavClient(server.url(), QStringLiteral("u"), QStringLiteral("p"), this);
        auto here = store();
        QStringList keys;
        for (const char *text : {"One", "Two", "Three"})
            keys.append(here->add(QString::fromUtf8(text)));
        // The uploads go one at a time in the order of the keys: the last one fails.
        keys.sort();
        here->tasks().updateContent(keys.last(), QStringLiteral("Overloaded"), 46006.0);
        server.setRefused("Overloaded", "503 Service Unavailable");

        SyncReport report = here->sync(dav, 1);
        QVERIFY(!report.ok);
        QVERIFY2(report.message.contains(QStringLiteral("503")) &&
                     report.message.contains(QStringLiteral("2 change(s) had been sent")) &&
                     !report.message.contains(QStringLiteral("database"), Qt::CaseInsensitive),
                 qPrintable(report.message));
        QCOMPARE(server.objects().size(), 2);

        server.setRefused({});
        report = here->sync(dav, 1);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.uploaded, 1);
        QCOMPARE(server.objects().size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestSyncPeers)
#include "test_sync_peers.moc"
