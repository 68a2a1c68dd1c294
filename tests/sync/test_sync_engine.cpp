// The two-way sync of the to-do list against a real Radicale: tasks made here reach the
// server, tasks another client puts there arrive here, edits and deletions travel both ways,
// an edit on both sides keeps both, a second database ends with the same tree, and a server
// that refuses the password or is stopped changes nothing here.

#include "storage/Database.h"
#include "storage/Statements.h"
#include "sync/CalDavClient.h"
#include "sync/RadicaleServer.h"
#include "sync/SyncEngine.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// One Tasklume database in a folder of its own.
class Store
{
public:
    explicit Store(const QString &name) : m_name(name) { open(); }
    ~Store() { close(); }
    // Closes the file and opens it again, as a restart of the program does.
    void reopen()
    {
        close();
        open();
    }
    QSqlDatabase db() const { return m_db; }
    TaskStatements &tasks() { return *m_tasks; }
    QString path() const { return m_dir.filePath(QStringLiteral("wyData.wyb")); }
    // A second connection to the same file, as another program (or the command line) holds.
    QSqlDatabase other()
    {
        if (!QSqlDatabase::contains(m_name + QStringLiteral("-other")))
            Database::open(path(), m_name + QStringLiteral("-other"));
        return QSqlDatabase::database(m_name + QStringLiteral("-other"));
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
    // The tree as sorted lines "key parent text done".
    QStringList tree()
    {
        QStringList lines;
        const ItemForest forest = m_tasks->loadForest();
        const auto line = [](const TTaskInfo &t) {
            return QStringLiteral("%1 %2 %3 %4")
                .arg(QString(t.key), QString(t.pid), t.content)
                .arg(t.checkFlag);
        };
        for (const auto &node : forest) {
            lines.append(line(*node->as<TTaskInfo>()));
            for (const auto &child : node->children)
                lines.append(line(*child->as<TTaskInfo>()));
        }
        lines.sort();
        return lines;
    }
    // Every stored field of every task, sorted: "parent|text|flags|times|colours|expanded|key".
    QStringList fullTree()
    {
        QStringList lines;
        const ItemForest forest = m_tasks->loadForest();
        const auto line = [](const TTaskInfo &t, const QString &parent) {
            return QStringLiteral("%1|%2|%3 %4 %5|%6 %7 %8 %9 %10|%11 %12|%13|%14")
                .arg(parent, t.content)
                .arg(t.checkFlag)
                .arg(t.dueFlag)
                .arg(t.alarmFlag)
                .arg(t.checkTime)
                .arg(t.dueTime)
                .arg(t.alarmTime)
                .arg(t.createTime)
                .arg(t.editTime)
                .arg(t.textColor)
                .arg(t.backgroundColor)
                .arg(t.expandFlag)
                .arg(QString(t.key));
        };
        for (const auto &node : forest) {
            const auto *top = node->as<TTaskInfo>();
            lines.append(line(*top, QStringLiteral("-")));
            for (const auto &child : node->children)
                lines.append(line(*child->as<TTaskInfo>(), top->key));
        }
        lines.sort();
        return lines;
    }
    QStringList texts()
    {
        QStringList result;
        const ItemForest forest = m_tasks->loadForest();
        for (const auto &node : forest) {
            result.append(node->as<TTaskInfo>()->content);
            for (const auto &child : node->children)
                result.append(child->as<TTaskInfo>()->content);
        }
        result.sort();
        return result;
    }

private:
    void open()
    {
        m_db = Database::open(m_dir.filePath(QStringLiteral("wyData.wyb")), m_name);
        m_tasks = std::make_unique<TaskStatements>(m_db);
    }
    void close()
    {
        if (QSqlDatabase::contains(m_name + QStringLiteral("-other")))
            Database::close(m_name + QStringLiteral("-other"));
        m_tasks.reset();
        m_db = QSqlDatabase();
        Database::close(m_name);
    }

    QTemporaryDir m_dir;
    QString m_name;
    QSqlDatabase m_db;
    std::unique_ptr<TaskStatements> m_tasks;
};

} // namespace

class TestSyncEngine : public QObject
{
    Q_OBJECT

private:
    RadicaleServer m_server;
    int m_collections = 0;
    int m_stores = 0;

    QUrl freshCalendar()
    {
        const QUrl url = m_server.makeCalendar(QStringLiteral("sync%1").arg(++m_collections));
        if (url.isEmpty())
            qWarning() << m_server.why();
        return url;
    }
    // A client of a new empty collection for one test, null when it cannot be made.
    CalDavClient *freshClient()
    {
        const QUrl url = freshCalendar();
        return url.isEmpty() ? nullptr : client(url);
    }
    std::unique_ptr<Store> store()
    {
        return std::make_unique<Store>(QStringLiteral("sync-test-%1").arg(++m_stores));
    }
    CalDavClient *client(const QUrl &url, const QString &password = QString())
    {
        return new CalDavClient(url, m_server.user(),
                                password.isEmpty() ? m_server.password() : password, this);
    }
    static SyncReport sync(Store &store, CalDavClient *dav)
    {
        return SyncEngine(store.db(), dav).syncTasksNow();
    }
    // Every object on the server: href -> data.
    static QHash<QString, QByteArray> serverObjects(CalDavClient *dav)
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
        for (const DavObject &o : std::as_const(objects))
            result.insert(o.href, o.data);
        return result;
    }
    // The SUMMARY of every object on the server, sorted.
    static QStringList serverSummaries(CalDavClient *dav)
    {
        QStringList result;
        const QHash<QString, QByteArray> objects = serverObjects(dav);
        for (const QByteArray &data : objects)
            for (const QByteArray &line : data.split('\n'))
                if (line.startsWith("SUMMARY:"))
                    result.append(QString::fromUtf8(line.mid(8).trimmed()));
        result.sort();
        return result;
    }
    static QString etagOf(CalDavClient *dav, const QString &href)
    {
        DavListing listing;
        dav->listNow(&listing);
        for (const DavObject &o : std::as_const(listing.objects))
            if (o.href == href)
                return o.etag;
        return {};
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.why())); }

    void localTasksReachServer()
    {
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto here = store();
        const QString parent = here->add(QStringLiteral("Buy milk"));
        const QString child = here->add(QStringLiteral("Two litres\r\nsemi-skimmed"), parent);

        const SyncReport report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.uploaded, 2);

        const QHash<QString, QByteArray> objects = serverObjects(dav);
        QCOMPARE(objects.size(), 2);
        const QByteArray parentData = objects.value(dav->hrefFor(parent + QStringLiteral(".ics")));
        const QByteArray childData = objects.value(dav->hrefFor(child + QStringLiteral(".ics")));
        QVERIFY(parentData.contains("SUMMARY:Buy milk"));
        QVERIFY(childData.contains("SUMMARY:Two litres"));
        QVERIFY(childData.contains(QStringLiteral("RELATED-TO").toUtf8()));
        QVERIFY(childData.contains(parent.toUtf8()));

        // A run with nothing changed on either side sends nothing.
        const int before = dav->requestCount();
        const SyncReport again = sync(*here, dav);
        QVERIFY2(again.ok, qPrintable(again.message));
        QCOMPARE(again.uploaded + again.downloaded + again.deletedHere + again.deletedThere, 0);
        QCOMPARE(dav->requestCount() - before, 1); // the sync-collection report alone
    }

    void serverTasksArriveHere()
    {
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto here = store();
        here->add(QStringLiteral("Mine"));
        QVERIFY(sync(*here, dav).ok);

        // Another client puts a task, and then changes it.
        const QString href = dav->hrefFor(QStringLiteral("other-1.ics"));
        QString etag;
        QVERIFY(dav->putNow(href,
                            sampleTodo(QStringLiteral("other-1"), QStringLiteral("Call Ånna")),
                            QString(), &etag)
                    .ok());
        SyncReport report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.downloaded, 1);
        QCOMPARE(here->texts(), (QStringList{QStringLiteral("Call Ånna"), QStringLiteral("Mine")}));

        QVERIFY(dav->putNow(href, sampleTodo(QStringLiteral("other-1"), QStringLiteral("Call Bob")),
                            etagOf(dav, href))
                    .ok());
        report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(here->texts(), (QStringList{QStringLiteral("Call Bob"), QStringLiteral("Mine")}));
        QCOMPARE(report.uploaded, 0); // what came from the server does not go back
    }

    void localEditReachesServer()
    {
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto here = store();
        const QString key = here->add(QStringLiteral("Draft"));
        QVERIFY(sync(*here, dav).ok);
        here->tasks().updateContent(key, QStringLiteral("Final"), 46001.0);
        here->tasks().updateCheck(key, true, 46001.0);
        const SyncReport report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.uploaded, 1);
        const QByteArray data =
            serverObjects(dav).value(dav->hrefFor(key + QStringLiteral(".ics")));
        QVERIFY(data.contains("SUMMARY:Final"));
        QVERIFY(data.contains("STATUS:COMPLETED"));
    }

    void deletionsTravel_data()
    {
        QTest::addColumn<bool>("deleteHere");
        QTest::newRow("deleted here") << true;
        QTest::newRow("deleted on the server") << false;
    }
    void deletionsTravel()
    {
        QFETCH(bool, deleteHere);
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto here = store();
        const QString gone = here->add(QStringLiteral("Goes"));
        here->add(QStringLiteral("Stays"));
        QVERIFY(sync(*here, dav).ok);

        const QString href = dav->hrefFor(gone + QStringLiteral(".ics"));
        if (deleteHere)
            here->tasks().deleteItem(gone);
        else
            QVERIFY(dav->removeNow(href, QString()).ok());
        const SyncReport report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(deleteHere ? report.deletedThere : report.deletedHere, 1);
        QCOMPARE(here->texts(), QStringList{QStringLiteral("Stays")});
        const QHash<QString, QByteArray> objects = serverObjects(dav);
        QCOMPARE(objects.size(), 1);
        QVERIFY(!objects.contains(href));
    }

    void editOnBothSidesKeepsBoth()
    {
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto here = store();
        const QString key = here->add(QStringLiteral("Plan"));
        QVERIFY(sync(*here, dav).ok);

        const QString href = dav->hrefFor(key + QStringLiteral(".ics"));
        QVERIFY(dav->putNow(href, sampleTodo(key, QStringLiteral("Plan from the phone")),
                            etagOf(dav, href))
                    .ok());
        here->tasks().updateContent(key, QStringLiteral("Plan from the desk"), 46002.0);

        const SyncReport report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.conflicts, 1);
        const QStringList expected{SyncEngine::ConflictMarker +
                                       QStringLiteral("Plan from the phone"),
                                   QStringLiteral("Plan from the desk")};
        QStringList sorted = expected;
        sorted.sort();
        QCOMPARE(here->texts(), sorted);
        // Both versions are on the server too, the local one under the task's own href.
        const QHash<QString, QByteArray> objects = serverObjects(dav);
        QCOMPARE(objects.size(), 2);
        QVERIFY(objects.value(href).contains("SUMMARY:Plan from the desk"));
        bool copyThere = false;
        for (const QByteArray &data : objects)
            copyThere = copyThere || data.contains("Plan from the phone");
        QVERIFY(copyThere);
    }

    // A task another program put on the server with parts this program does not show keeps
    // them when it is edited here, also when it was edited there too.
    void editHereKeepsWhatOtherProgramsWrote_data()
    {
        QTest::addColumn<bool>("bothSides");
        QTest::newRow("edited here") << false;
        QTest::newRow("edited on both sides") << true;
    }
    void editHereKeepsWhatOtherProgramsWrote()
    {
        QFETCH(bool, bothSides);
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto here = store();
        const QString key = QStringLiteral("phone-%1").arg(bothSides);
        const QString href = dav->hrefFor(key + QStringLiteral(".ics"));
        const auto phoneTodo = [&key](const char *summary) {
            return QStringLiteral(
                       "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//Phone//EN\r\n"
                       "BEGIN:VTODO\r\nUID:%1\r\nDTSTAMP:20261201T080000Z\r\n"
                       "SUMMARY:%2\r\nPRIORITY:1\r\nCATEGORIES:HOME\r\n"
                       "DTSTART;VALUE=DATE:20261201\r\n"
                       "RRULE:FREQ=WEEKLY;COUNT=4\r\nX-PHONE-ORDER:3\r\n"
                       "END:VTODO\r\nEND:VCALENDAR\r\n")
                .arg(key, QLatin1String(summary))
                .toUtf8();
        };
        QVERIFY(dav->putNow(href, phoneTodo("Water the garden"), QString()).ok());
        QVERIFY(sync(*here, dav).ok);
        QCOMPARE(here->texts(), QStringList{QStringLiteral("Water the garden")});

        if (bothSides)
            QVERIFY(
                dav->putNow(href, phoneTodo("Water the garden at six"), etagOf(dav, href)).ok());
        here->tasks().updateContent(key, QStringLiteral("Water the roses"), 46002.0);
        SyncReport report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.conflicts, bothSides ? 1 : 0);

        // A second edit here keeps them as well.
        here->tasks().updateContent(key, QStringLiteral("Water the roses and the tulips"), 46003.0);
        report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QByteArray data = serverObjects(dav).value(href);
        data.replace("\r\n ", "");
        for (const char *line :
             {"SUMMARY:Water the roses and the tulips", "PRIORITY:1", "CATEGORIES:HOME",
              "DTSTART;VALUE=DATE:20261201", "RRULE:FREQ=WEEKLY;COUNT=4", "X-PHONE-ORDER:3"})
            QVERIFY2(data.contains(line), line);
    }

    // What this program wrote itself is not kept beside the items: the file stays as small as
    // the lists.
    void ownObjectsAreNotKept()
    {
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto here = store();
        const QString key = here->add(QStringLiteral("Mine"));
        QVERIFY(dav->putNow(dav->hrefFor(QStringLiteral("plain-1.ics")),
                            sampleTodo(QStringLiteral("plain-1"), QStringLiteral("Plain")),
                            QString())
                    .ok());
        QVERIFY(sync(*here, dav).ok);
        here->tasks().updateContent(key, QStringLiteral("Mine, edited"), 46002.0);
        QVERIFY(sync(*here, dav).ok);
        QSqlQuery query(here->db());
        QVERIFY(query.exec(QStringLiteral("select count(*) from syncobjects")));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt(), 0);
    }

    void deletionAgainstEditKeepsTheEdit_data()
    {
        QTest::addColumn<bool>("deleteHere");
        QTest::newRow("deleted here, changed on the server") << true;
        QTest::newRow("changed here, deleted on the server") << false;
    }
    void deletionAgainstEditKeepsTheEdit()
    {
        QFETCH(bool, deleteHere);
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto here = store();
        const QString key = here->add(QStringLiteral("Original"));
        QVERIFY(sync(*here, dav).ok);

        const QString href = dav->hrefFor(key + QStringLiteral(".ics"));
        if (deleteHere) {
            here->tasks().deleteItem(key);
            QVERIFY(dav->putNow(href, sampleTodo(key, QStringLiteral("Edited")), etagOf(dav, href))
                        .ok());
        } else {
            here->tasks().updateContent(key, QStringLiteral("Edited"), 46003.0);
            QVERIFY(dav->removeNow(href, QString()).ok());
        }
        const SyncReport report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(here->texts(), QStringList{QStringLiteral("Edited")});
        const QHash<QString, QByteArray> objects = serverObjects(dav);
        QCOMPARE(objects.size(), 1);
        QVERIFY(objects.value(href).contains("SUMMARY:Edited"));
    }

    // The server drops a parent while a child was changed here: the parent stays, with the
    // child, and both go back to the server.
    void parentDeletedThereKeepsChildChangedHere()
    {
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto here = store();
        const QString parent = here->add(QStringLiteral("Trip"));
        const QString child = here->add(QStringLiteral("Pack"), parent);
        QVERIFY(sync(*here, dav).ok);

        QVERIFY(dav->removeNow(dav->hrefFor(parent + QStringLiteral(".ics")), QString()).ok());
        QVERIFY(dav->removeNow(dav->hrefFor(child + QStringLiteral(".ics")), QString()).ok());
        here->tasks().updateContent(child, QStringLiteral("Pack the tent"), 46004.0);
        const SyncReport report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(here->texts(),
                 (QStringList{QStringLiteral("Pack the tent"), QStringLiteral("Trip")}));
        QCOMPARE(serverObjects(dav).size(), 2);
    }

    void stateSurvivesRestartAndUnknownToken_data()
    {
        QTest::addColumn<bool>("forgetToken");
        QTest::newRow("token kept") << false;
        QTest::newRow("token unknown to the server") << true;
    }
    void stateSurvivesRestartAndUnknownToken()
    {
        QFETCH(bool, forgetToken);
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        const QUrl url = dav->collection();
        auto here = store();
        const QString key = here->add(QStringLiteral("Before"));
        here->add(QStringLiteral("Untouched"));
        QVERIFY(sync(*here, dav).ok);

        here->reopen();
        if (forgetToken)
            SyncStateStatements(here->db(), url.toString())
                .storeToken(QStringLiteral("http://radicale.org/ns/sync/unknown"));
        const QString href = dav->hrefFor(key + QStringLiteral(".ics"));
        QVERIFY(
            dav->putNow(href, sampleTodo(key, QStringLiteral("After")), etagOf(dav, href)).ok());
        const SyncReport report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        // Only the changed task travels, whichever way the server's changes were found.
        QCOMPARE(report.downloaded, 1);
        QCOMPARE(report.uploaded, 0);
        QCOMPARE(here->texts(),
                 (QStringList{QStringLiteral("After"), QStringLiteral("Untouched")}));
    }

    void otherObjectsArePassedOver()
    {
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto here = store();
        here->add(QStringLiteral("Mine"));
        const QByteArray event = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\n"
                                 "BEGIN:VEVENT\r\nUID:ev-1\r\nDTSTAMP:20260101T120000Z\r\n"
                                 "DTSTART:20260102T090000Z\r\nSUMMARY:Meeting\r\n"
                                 "END:VEVENT\r\nEND:VCALENDAR\r\n";
        QVERIFY(dav->putNow(dav->hrefFor(QStringLiteral("ev-1.ics")), event, QString()).ok());
        const SyncReport report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.unreadable, 1);
        QVERIFY(report.message.contains(QStringLiteral("ev-1.ics")));
        QCOMPARE(here->texts(), QStringList{QStringLiteral("Mine")});
        QCOMPARE(serverObjects(dav).size(), 2); // the event is left on the server
    }

    // Memos travel as journal entries in a collection of their own, in the same way.
    void memosTravelBothWays()
    {
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto here = store();
        MemoStatements memos(here->db());
        TMemoInfo memo;
        memo.pid = QStringLiteral("root");
        memo.content = QStringLiteral("Door code\r\n4711");
        memo.createTime = memo.editTime = memo.assignTime = 46000.5;
        memos.insert(memo);
        TMemoInfo gone = memo;
        gone.key = RowKey();
        gone.content = QStringLiteral("Old note");
        memos.insert(gone);
        SyncReport report = SyncEngine(here->db(), dav).syncMemosNow();
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.uploaded, 2);
        const QByteArray data =
            serverObjects(dav).value(dav->hrefFor(QString(memo.key) + QStringLiteral(".ics")));
        QVERIFY(data.contains("BEGIN:VJOURNAL"));
        QVERIFY(data.contains("SUMMARY:Door code"));

        const QByteArray journal = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\n"
                                   "BEGIN:VJOURNAL\r\nUID:j-1\r\nDTSTAMP:20260101T120000Z\r\n"
                                   "SUMMARY:From the phone\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n";
        QVERIFY(dav->putNow(dav->hrefFor(QStringLiteral("j-1.ics")), journal, QString()).ok());
        memos.deleteItem(gone.key);
        report = SyncEngine(here->db(), dav).syncMemosNow();
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.downloaded, 1);
        QCOMPARE(report.deletedThere, 1);
        QStringList texts;
        const ItemForest forest = memos.loadForest();
        for (const auto &node : forest)
            texts.append(node->as<TMemoInfo>()->content);
        texts.sort();
        QCOMPARE(texts, (QStringList{QStringLiteral("Door code\r\n4711"),
                                     QStringLiteral("From the phone")}));
        QCOMPARE(serverObjects(dav).size(), 2);
        QCOMPARE(here->tree(), QStringList()); // the to-do list is left alone
    }

    void secondDatabaseEndsWithSameTree()
    {
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto first = store();
        auto second = store();
        const QString parent = first->add(QStringLiteral("Holiday"));
        first->add(QStringLiteral("Passport"), parent);
        first->add(QStringLiteral("Tickets"), parent);
        second->add(QStringLiteral("Dentist"));

        QVERIFY(sync(*first, dav).ok);
        QVERIFY(sync(*second, dav).ok);
        QVERIFY(sync(*first, dav).ok);
        QCOMPARE(first->tree().size(), 4);
        QCOMPARE(second->tree(), first->tree());

        // Changes from the second reach the first.
        second->tasks().deleteItem(second->tree().first().section(QLatin1Char(' '), 0, 0));
        QVERIFY(sync(*second, dav).ok);
        QVERIFY(sync(*first, dav).ok);
        QCOMPARE(second->tree(), first->tree());
    }

    // A run after one change reads that row alone and sends one request besides asking the
    // server what changed; what it brought from the server is not sent back, and the run
    // after it has nothing to do.
    void oneChangeCostsOneChange_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("rowsRead");
        QTest::addColumn<int>("requests");
        // The sync-collection report, then the PUT, the DELETE or the multiget.
        QTest::newRow("edited here") << QStringLiteral("edit") << 1 << 2;
        QTest::newRow("deleted here") << QStringLiteral("delete") << 0 << 2;
        // The row before it is overwritten and after, for its new fingerprint.
        QTest::newRow("edited on the server") << QStringLiteral("server") << 2 << 2;
    }
    void oneChangeCostsOneChange()
    {
        QFETCH(QString, change);
        QFETCH(int, rowsRead);
        QFETCH(int, requests);
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto here = store();
        QStringList keys;
        for (int i = 0; i < 40; ++i)
            keys.append(here->add(QStringLiteral("Task %1").arg(i),
                                  i % 4 == 0 ? QStringLiteral("root") : keys.at(i - i % 4)));
        SyncReport report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.uploaded, 40);

        const QString key = keys.at(6); // a child
        const QString href = dav->hrefFor(key + QStringLiteral(".ics"));
        if (change == QLatin1String("edit"))
            here->tasks().updateContent(key, QStringLiteral("Changed here"), 46010.0);
        else if (change == QLatin1String("delete"))
            here->tasks().deleteItem(key);
        else
            QVERIFY(dav->putNow(href, sampleTodo(key, QStringLiteral("Changed there")),
                                etagOf(dav, href))
                        .ok());
        report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.localItemsRead, rowsRead);
        QCOMPARE(report.requests, requests);
        QCOMPARE(report.uploaded + report.deletedThere + report.downloaded, 1);
        QCOMPARE(serverObjects(dav).size(), change == QLatin1String("delete") ? 39 : 40);

        report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.localItemsRead, 0);
        QCOMPARE(report.requests, 1);
        QCOMPARE(report.uploaded + report.deletedThere + report.downloaded, 0);
    }

    // Whoever writes the file between two runs (another program, the command line, a restore),
    // with whatever conflict rule, the next run sends it.
    void writesOfAnyConnectionAreSent_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("update") << QStringLiteral("update tasks set content='Gamma' where tid=?")
                                << QStringList{QStringLiteral("Beta"), QStringLiteral("Gamma")};
        QTest::newRow("insert or replace")
            << QStringLiteral("insert or replace into tasks (tid, pid, content) "
                              "values (?, 'root', 'Gamma')")
            << QStringList{QStringLiteral("Beta"), QStringLiteral("Gamma")};
        QTest::newRow("insert or ignore")
            << QStringLiteral("insert or ignore into tasks (tid, pid, content) "
                              "values (? || '-new', 'root', 'Gamma')")
            << QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta"),
                           QStringLiteral("Gamma")};
        QTest::newRow("update or rollback of the key")
            << QStringLiteral("update or rollback tasks set tid=tid || '-new', content='Gamma' "
                              "where tid=?")
            << QStringList{QStringLiteral("Beta"), QStringLiteral("Gamma")};
        QTest::newRow("delete") << QStringLiteral("delete from tasks where tid=?")
                                << QStringList{QStringLiteral("Beta")};
    }
    void writesOfAnyConnectionAreSent()
    {
        QFETCH(QString, statement);
        QFETCH(QStringList, expected);
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto here = store();
        const QString key = here->add(QStringLiteral("Alpha"));
        here->add(QStringLiteral("Beta"));
        QVERIFY(sync(*here, dav).ok);

        QSqlQuery query(here->other());
        QVERIFY(query.prepare(statement));
        query.addBindValue(key);
        QVERIFY2(query.exec(), qPrintable(query.lastQuery()));
        const SyncReport report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(serverSummaries(dav), expected);
        QCOMPARE(here->texts(), expected);
    }

    // Another program edits the file while a run sends its changes: the edit is not taken for
    // one the run handled, and the next run sends it.
    void editDuringRunIsNotLost_data()
    {
        QTest::addColumn<bool>("sentInThatRun");
        QTest::newRow("item the run sends") << true;
        QTest::newRow("item unchanged before the run") << false;
    }
    void editDuringRunIsNotLost()
    {
        QFETCH(bool, sentInThatRun);
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto here = store();
        const QString a = here->add(QStringLiteral("A"));
        const QString b = here->add(QStringLiteral("B"));
        QVERIFY(sync(*here, dav).ok);
        here->tasks().updateContent(a, QStringLiteral("A2"), 46011.0);
        if (sentInThatRun)
            here->tasks().updateContent(b, QStringLiteral("B2"), 46011.0);

        auto *network = dav->findChild<QNetworkAccessManager *>();
        QVERIFY(network);
        TaskStatements elsewhere(here->other());
        bool edited = false;
        const auto connection = connect(
            network, &QNetworkAccessManager::finished, this,
            [&](QNetworkReply *reply) {
                if (edited || reply->request()
                                      .attribute(QNetworkRequest::CustomVerbAttribute)
                                      .toByteArray() != "PUT")
                    return;
                edited = true;
                elsewhere.updateContent(b, QStringLiteral("B3"), 46012.0);
            },
            Qt::DirectConnection);
        const SyncReport first = sync(*here, dav);
        disconnect(connection);
        QVERIFY2(first.ok, qPrintable(first.message));
        QVERIFY(edited);

        const SyncReport second = sync(*here, dav);
        QVERIFY2(second.ok, qPrintable(second.message));
        QCOMPARE(second.uploaded, 1);
        QCOMPARE(serverSummaries(dav), (QStringList{QStringLiteral("A2"), QStringLiteral("B3")}));
    }

    // The server stops while a run sends its changes: the run fails, and the changes it did
    // not get through go with the next run.
    void serverStoppedDuringUploads()
    {
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto here = store();
        QStringList keys;
        for (int i = 0; i < 12; ++i)
            keys.append(here->add(QStringLiteral("Item %1").arg(i)));
        QVERIFY(sync(*here, dav).ok);
        for (int i = 0; i < keys.size(); ++i)
            here->tasks().updateContent(keys.at(i), QStringLiteral("Edited %1").arg(i), 46015.0);
        here->tasks().deleteItem(keys.last());

        auto *network = dav->findChild<QNetworkAccessManager *>();
        QVERIFY(network);
        const auto connection = connect(
            network, &QNetworkAccessManager::finished, this,
            [&](QNetworkReply *) {
                if (m_server.isRunning())
                    m_server.stop();
            },
            Qt::DirectConnection);
        SyncEngine engine(here->db(), dav);
        engine.setUploadsInFlight(1);
        const SyncReport broken = engine.syncTasksNow();
        disconnect(connection);
        QVERIFY2(m_server.start(), qPrintable(m_server.why()));
        QVERIFY(!broken.ok);
        QVERIFY(broken.uploaded < keys.size() - 1);

        const SyncReport good = sync(*here, dav);
        QVERIFY2(good.ok, qPrintable(good.message));
        QStringList expected;
        for (int i = 0; i < keys.size() - 1; ++i)
            expected.append(QStringLiteral("Edited %1").arg(i));
        expected.sort();
        QCOMPARE(serverSummaries(dav), expected);
        QCOMPARE(here->texts(), expected);
    }

    // The log tells the changes since the last run only when this collection followed it:
    // after another collection synced the list, or in a file synced before the log was kept,
    // every item is compared.
    void unfollowedLogComparesEverything_data()
    {
        QTest::addColumn<bool>("otherCollection");
        QTest::newRow("another collection synced in between") << true;
        QTest::newRow("file synced before the log was kept") << false;
    }
    void unfollowedLogComparesEverything()
    {
        QFETCH(bool, otherCollection);
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        CalDavClient *other = freshClient();
        QVERIFY(other);
        auto here = store();
        const QString key = here->add(QStringLiteral("One"));
        here->add(QStringLiteral("Two"));
        QVERIFY(sync(*here, dav).ok);
        if (otherCollection) {
            QVERIFY(sync(*here, other).ok);
            here->tasks().updateContent(key, QStringLiteral("One edited"), 46013.0);
            const SyncReport report = sync(*here, other);
            QVERIFY2(report.ok, qPrintable(report.message));
            QCOMPARE(report.uploaded, 1);
        } else {
            // What an older program left: the records, but no log and no triggers.
            QSqlQuery query(here->db());
            QStringList triggers;
            QVERIFY(query.exec(QStringLiteral("select name from sqlite_master "
                                              "where type='trigger'")));
            while (query.next())
                triggers.append(query.value(0).toString());
            QVERIFY(!triggers.isEmpty());
            for (const QString &name : std::as_const(triggers))
                QVERIFY(query.exec(QStringLiteral("drop trigger %1").arg(name)));
            QVERIFY(query.exec(QStringLiteral("drop table syncchanges")));
            QVERIFY(query.exec(QStringLiteral("drop table synclogs")));
            here->tasks().updateContent(key, QStringLiteral("One edited"), 46013.0);
        }
        const SyncReport report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.uploaded, 1);
        QCOMPARE(serverSummaries(dav),
                 (QStringList{QStringLiteral("One edited"), QStringLiteral("Two")}));
        // From here on the log is followed again.
        here->tasks().updateContent(key, QStringLiteral("One again"), 46014.0);
        const SyncReport next = sync(*here, dav);
        QVERIFY2(next.ok, qPrintable(next.message));
        QCOMPARE(next.localItemsRead, 1);
        QCOMPARE(serverSummaries(dav),
                 (QStringList{QStringLiteral("One again"), QStringLiteral("Two")}));
    }

    // Two folders sync the same collection with changes on both sides between runs: adds,
    // edits, deletions, a new child, flags, colours, the expanded flag, and tasks changed on
    // both sides (the text here, the text or the check mark there). Both end with the same
    // tree, field for field, and nothing more to do.
    void twoFoldersConverge()
    {
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        auto first = store();
        auto second = store();
        const QString holiday = first->add(QStringLiteral("Holiday"));
        const QString passport = first->add(QStringLiteral("Passport"), holiday);
        const QString tickets = first->add(QStringLiteral("Tickets"), holiday);
        const QString dentist = first->add(QStringLiteral("Dentist"));
        const QString old = first->add(QStringLiteral("Old plan"));
        first->tasks().updateCheck(passport, true, 46005.25);
        first->tasks().updateDue(dentist, true, 46100.0);
        first->tasks().updateAlarm(dentist, true, 46099.75);
        first->tasks().updateColors(holiday, 0xff0000, 0x00ff00);
        first->tasks().updateExpand(holiday, true);
        const QString groceries = second->add(QStringLiteral("Groceries"));

        const auto round = [&] {
            for (Store *s : {first.get(), second.get(), first.get(), second.get()}) {
                const SyncReport report = sync(*s, dav);
                if (!report.ok)
                    return report;
            }
            return SyncReport();
        };
        SyncReport report = round();
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(first->tree().size(), 6);
        QCOMPARE(second->fullTree(), first->fullTree());

        first->tasks().updateContent(tickets, QStringLiteral("Tickets booked"), 46006.5);
        first->add(QStringLiteral("Ask about the x-ray"), dentist);
        first->tasks().deleteItem(old);
        first->tasks().updateContent(dentist, QStringLiteral("Dentist at 9"), 46007.0);
        second->tasks().updateContent(holiday, QStringLiteral("Holiday in May"), 46007.5);
        second->tasks().updateCheck(tickets, true, 46008.0);
        second->tasks().deleteItem(groceries);
        second->add(QStringLiteral("Book a hotel"), holiday);
        second->tasks().updateContent(dentist, QStringLiteral("Dentist at 10"), 46008.5);
        second->tasks().updateExpand(dentist, true);

        report = round();
        QVERIFY2(report.ok, qPrintable(report.message));
        const QStringList tree = first->fullTree();
        QCOMPARE(second->fullTree(), tree);
        QCOMPARE(first->texts(),
                 (QStringList{QStringLiteral("Ask about the x-ray"), QStringLiteral("Book a hotel"),
                              QStringLiteral("Dentist at 10"), QStringLiteral("Holiday in May"),
                              QStringLiteral("Passport"), QStringLiteral("Tickets"),
                              SyncEngine::ConflictMarker + QStringLiteral("Dentist at 9"),
                              SyncEngine::ConflictMarker + QStringLiteral("Tickets booked")}));
        for (Store *s : {first.get(), second.get()}) {
            const SyncReport idle = sync(*s, dav);
            QVERIFY2(idle.ok, qPrintable(idle.message));
            QCOMPARE(idle.uploaded + idle.downloaded + idle.deletedHere + idle.deletedThere, 0);
        }
        QCOMPARE(second->fullTree(), tree);
        QCOMPARE(serverObjects(dav).size(), tree.size());
    }

    // A collection holding more objects than one multiget asks for comes down in batches,
    // whole; the run after it has nothing to do.
    void largeCollectionComesDownInBatches()
    {
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        const int count = 2 * SyncEngine::FetchBatch + 7;
        // Another program filled the collection behind the server's back.
        const QString folder =
            m_server.storageFolder(dav->collection().path().section(QLatin1Char('/'), 2, 2));
        for (int i = 0; i < count; ++i) {
            QFile file(folder + QStringLiteral("/bulk-%1.ics").arg(i));
            QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.fileName()));
            file.write(
                sampleTodo(QStringLiteral("bulk-%1").arg(i), QStringLiteral("Bulk %1").arg(i)));
        }
        auto here = store();
        SyncReport report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.downloaded, count);
        QCOMPARE(report.uploaded, 0);
        QCOMPARE(report.requests, 1 + 3); // the listing and three multigets
        QCOMPARE(here->texts().size(), count);
        QVERIFY(here->texts().contains(QStringLiteral("Bulk %1").arg(count - 1)));

        report = sync(*here, dav);
        QVERIFY2(report.ok, qPrintable(report.message));
        QCOMPARE(report.requests, 1);
        QCOMPARE(report.localItemsRead, 0);
        QCOMPARE(report.uploaded + report.downloaded, 0);
    }

    void serverFaultChangesNothingHere_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("wrong password") << QStringLiteral("password");
        QTest::newRow("server stopped") << QStringLiteral("stopped");
        QTest::newRow("broken object on the server") << QStringLiteral("broken");
    }
    void serverFaultChangesNothingHere()
    {
        QFETCH(QString, fault);
        CalDavClient *dav = freshClient();
        QVERIFY(dav);
        const QUrl url = dav->collection();
        auto here = store();
        const QString key = here->add(QStringLiteral("Kept"));
        QVERIFY(sync(*here, dav).ok);
        // A change waits on the server that a good run would bring here.
        const QString href = dav->hrefFor(key + QStringLiteral(".ics"));
        QVERIFY(
            dav->putNow(href, sampleTodo(key, QStringLiteral("Changed there")), etagOf(dav, href))
                .ok());
        const QStringList before = here->tree();

        CalDavClient *used = dav;
        QFile broken(m_server.storageFolder(url.path().section(QLatin1Char('/'), 2, 2)) +
                     QStringLiteral("/broken.ics"));
        if (fault == QLatin1String("password")) {
            used = client(url, QStringLiteral("not-the-password"));
        } else if (fault == QLatin1String("stopped")) {
            m_server.stop();
        } else {
            // Another program broke the collection behind the server's back.
            QVERIFY2(broken.open(QIODevice::WriteOnly), qPrintable(broken.fileName()));
            broken.write("BEGIN:VCALENDAR\r\nBEGIN:VTODO\r\nSUMMARY:no end, no uid\r\n\x01\x02");
            broken.close();
        }
        const SyncReport report = sync(*here, used);
        if (fault == QLatin1String("stopped"))
            QVERIFY2(m_server.start(), qPrintable(m_server.why()));
        else if (fault == QLatin1String("broken"))
            QVERIFY(broken.remove());
        QVERIFY(!report.ok);
        QVERIFY(!report.message.isEmpty());
        QCOMPARE(here->tree(), before);

        // With the server sound again, the next run brings the change.
        const SyncReport good = sync(*here, dav);
        QVERIFY2(good.ok, qPrintable(good.message));
        QCOMPARE(here->texts(), QStringList{QStringLiteral("Changed there")});
    }
};

QTEST_GUILESS_MAIN(TestSyncEngine)
#include "test_sync_engine.moc"
