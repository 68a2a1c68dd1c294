// tasklume-cli's sync as scripts run it: the real executable on temporary program folders
// against a real Radicale, with the password in a private desktop secret store or in
// TASKLUME_SYNC_PASSWORD. Setting up and storing the password; runs that fail (server down,
// wrong password, nothing set up, no usable secret store, a server that answers garbage, the
// program running) with one line on standard error and nothing changed in the folder; and
// two folders that sync the same collections, change on both sides, and end with the same
// lists, as the server holds them too, one of them also through the real program (on the
// offscreen platform).

#include "app/SingleInstance.h"
#include "CliProcess.h"
#include "common/IniFile.h"
#include "common/RunLock.h"
#include "common/Texts.h"
#include "storage/Database.h"
#include "storage/Statements.h"
#include "support/TestSupport.h"
#include "sync/CannedServer.h"
#include "sync/RadicaleServer.h"
#include "sync/SecretService.h"
#include "sync/StandInServer.h"
#include "sync/SyncEngine.h"
#include "sync/SyncSettings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <memory>
#include <optional>

using namespace TestSupport;
using CliProcess::snapshot;

namespace {

// Variables of one run: a value, or a null QString to remove the variable.
using Variables = QList<QPair<QString, QString>>;

const QString kPasswordVariable = QStringLiteral("TASKLUME_SYNC_PASSWORD");

// A list as `list --json` shows it, without keys and times: "text [x]" per top-level item,
// "top / child [x]" per child, sorted.
QStringList treeOf(const QByteArray &json)
{
    QStringList lines;
    const QJsonArray items = QJsonDocument::fromJson(json).object().value(u"items").toArray();
    const auto line = [](const QJsonObject &item) {
        QString text = item.value(u"content").toString();
        if (item.value(u"checkFlag").toBool())
            text += QStringLiteral(" [x]");
        return text;
    };
    for (const QJsonValue &top : items) {
        const QJsonObject parent = top.toObject();
        lines.append(line(parent));
        for (const QJsonValue &child : parent.value(u"children").toArray())
            lines.append(line(parent) + QStringLiteral(" / ") + line(child.toObject()));
    }
    lines.sort();
    return lines;
}

QStringList sorted(QStringList lines)
{
    lines.sort();
    return lines;
}

} // namespace

class TestCliSync : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();

    void setupWritesSettings_data();
    void setupWritesSettings();
    void passwordSources_data();
    void passwordSources();
    void passwordCommandRefuses_data();
    void passwordCommandRefuses();
    void failedSyncChangesNothing_data();
    void failedSyncChangesNothing();
    void memosFailingAfterTheTasksSaysSo_data();
    void memosFailingAfterTheTasksSaysSo();
    void twoFoldersEndAlike();
    void setupFindsCollections_data();
    void setupFindsCollections();
    void syncEndsAtItsTimeout();

private:
    // A new program folder, kept until the end of the test case.
    QString newFolder();
    CliRun cli(const QString &folder, const QStringList &arguments, const QByteArray &input = {},
               const Variables &variables = {});
    // sync-setup of the folder for the collections, as the test's Radicale user.
    void setUp(const QString &folder, const QUrl &tasks, const QUrl &memos = {},
               const QString &user = QString());
    QUrl newCalendar();
    // The key `add` printed.
    QString add(const QString &folder, const QStringList &arguments);
    QStringList tree(const QString &folder, const QString &list);
    // What the server holds in a collection, fetched with plain HTTP requests: every
    // object's data.
    QList<QByteArray> serverObjects(const QUrl &collection);
    QByteArray request(const QByteArray &verb, const QUrl &url, const QByteArray &body = {},
                       int *status = nullptr);
    // Runs statements on a folder's database, as the program would store the user's edits.
    void edit(const QString &folder, const std::function<void(QSqlDatabase)> &change);

    SecretService m_secrets;
    RadicaleServer m_server;
    std::vector<std::unique_ptr<QTemporaryDir>> m_folders;
    QNetworkAccessManager m_network;
    int m_calendars = 0;
};

void TestCliSync::initTestCase()
{
    QVERIFY2(m_secrets.start(), qPrintable(m_secrets.why()));
    QVERIFY2(m_server.start(), qPrintable(m_server.why()));
}

QString TestCliSync::newFolder()
{
    m_folders.push_back(std::make_unique<QTemporaryDir>());
    return m_folders.back()->path() + QLatin1Char('/');
}

CliRun TestCliSync::cli(const QString &folder, const QStringList &arguments,
                        const QByteArray &input, const Variables &variables)
{
    // The secret store is the private one this process started.
    QProcessEnvironment env = CliProcess::environment(folder);
    env.remove(kPasswordVariable);
    for (const auto &[name, value] : variables) {
        if (value.isNull())
            env.remove(name);
        else
            env.insert(name, value);
    }
    // This process's event loop runs meanwhile: a stand-in server answers from it.
    return CliProcess::run(env, arguments, input, true);
}

QUrl TestCliSync::newCalendar()
{
    const QUrl url = m_server.makeCalendar(QStringLiteral("cli%1").arg(++m_calendars));
    if (url.isEmpty())
        qWarning("%s", qPrintable(m_server.why()));
    return url;
}

void TestCliSync::setUp(const QString &folder, const QUrl &tasks, const QUrl &memos,
                        const QString &user)
{
    QStringList arguments{QStringLiteral("sync-setup"), tasks.toString(),
                          user.isEmpty() ? m_server.user() : user};
    if (!memos.isEmpty())
        arguments.append(memos.toString());
    const CliRun run = cli(folder, arguments);
    QVERIFY2(run.status == 0, run.err.constData());
}

QString TestCliSync::add(const QString &folder, const QStringList &arguments)
{
    const CliRun run = cli(folder, QStringList{QStringLiteral("add")} + arguments);
    if (run.status != 0)
        qWarning("add failed: %s", run.err.constData());
    return QString::fromUtf8(run.out.trimmed());
}

QStringList TestCliSync::tree(const QString &folder, const QString &list)
{
    const CliRun run = cli(folder, {QStringLiteral("list"), list, QStringLiteral("--json")});
    if (run.status != 0)
        qWarning("list failed: %s", run.err.constData());
    return treeOf(run.out);
}

QByteArray TestCliSync::request(const QByteArray &verb, const QUrl &url, const QByteArray &body,
                                int *status)
{
    QNetworkRequest request(url);
    request.setRawHeader(
        "Authorization",
        "Basic " + (m_server.user() + QLatin1Char(':') + m_server.password()).toUtf8().toBase64());
    if (verb == "PROPFIND") {
        request.setRawHeader("Depth", "1");
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/xml"));
    } else if (verb == "PUT") {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("text/calendar"));
    }
    QNetworkReply *reply = m_network.sendCustomRequest(request, verb, body);
    if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, 30000))
        reply->abort();
    if (status)
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray answer = reply->readAll();
    reply->deleteLater();
    return answer;
}

QList<QByteArray> TestCliSync::serverObjects(const QUrl &collection)
{
    int status = 0;
    const QByteArray listing =
        request("PROPFIND", collection,
                "<?xml version=\"1.0\"?><d:propfind xmlns:d=\"DAV:\"><d:prop><d:getetag/>"
                "</d:prop></d:propfind>",
                &status);
    if (status != 207)
        qWarning("PROPFIND answered %d", status);
    QList<QByteArray> objects;
    QXmlStreamReader xml(listing);
    while (xml.readNextStartElement() || !xml.atEnd()) {
        if (xml.isStartElement() && xml.name() == u"href") {
            const QString href = xml.readElementText();
            if (href.endsWith(QLatin1Char('/')))
                continue; // the collection itself
            objects.append(request("GET", collection.resolved(QUrl(href))));
        } else {
            xml.readNext();
        }
    }
    return objects;
}

void TestCliSync::edit(const QString &folder, const std::function<void(QSqlDatabase)> &change)
{
    const QString connection = QStringLiteral("edit");
    {
        QSqlDatabase db = Database::open(folder + Texts::DatabaseFileName, connection);
        change(db);
    }
    Database::close(connection);
}

// ---- sync-setup and sync-password ---------------------------------------------------------

void TestCliSync::setupWritesSettings_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("stored"); // tasks, memos, user, interval; empty: no file
    const QString tasks = QStringLiteral("https://dav.example.org/anna/tasks/");
    const QString memos = QStringLiteral("http://127.0.0.1:5232/anna/memos/");
    QTest::newRow("to-do list only")
        << QStringList{tasks, QStringLiteral("anna")} << 0
        << QStringList{tasks, QString(), QStringLiteral("anna"), QStringLiteral("0")};
    QTest::newRow("both lists and an interval")
        << QStringList{tasks, QStringLiteral("Ånna B"), memos, QStringLiteral("--interval=30")} << 0
        << QStringList{tasks, memos, QStringLiteral("Ånna B"), QStringLiteral("30")};
    QTest::newRow("no scheme") << QStringList{QStringLiteral("dav.example.org/anna/tasks/"),
                                              QStringLiteral("anna")}
                               << 2 << QStringList();
    QTest::newRow("not http") << QStringList{QStringLiteral("ftp://dav.example.org/tasks/"),
                                             QStringLiteral("anna")}
                              << 2 << QStringList();
    QTest::newRow("bad memos address")
        << QStringList{tasks, QStringLiteral("anna"), QStringLiteral("memos")} << 2
        << QStringList();
    QTest::newRow("interval longer than a week")
        << QStringList{tasks, QStringLiteral("anna"), QStringLiteral("--interval=10081")} << 2
        << QStringList();
    QTest::newRow("interval not a number")
        << QStringList{tasks, QStringLiteral("anna"), QStringLiteral("--interval=often")} << 2
        << QStringList();
    QTest::newRow("missing user") << QStringList{tasks} << 2 << QStringList();
}

void TestCliSync::setupWritesSettings()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QStringList, stored);
    const QString folder = newFolder();
    const CliRun run = cli(folder, QStringList{QStringLiteral("sync-setup")} + arguments);
    QCOMPARE(run.status, status);
    const QString ini = folder + Texts::IniFileName;
    if (status != 0) {
        QCOMPARE(run.err.count('\n'), 1);
        QVERIFY2(run.err.startsWith("tasklume-cli: sync-setup: "), run.err.constData());
        QVERIFY(!QFileInfo::exists(ini));
        return;
    }
    QVERIFY2(run.err.isEmpty(), run.err.constData());
    QVERIFY2(run.out.startsWith("sync set: tasks "), run.out.constData());
    const SyncSettings settings = SyncOptions::Read(IniFile(ini));
    QCOMPARE(settings.tasksUrl, stored.at(0));
    QCOMPARE(settings.memosUrl, stored.at(1));
    QCOMPARE(settings.userName, stored.at(2));
    QCOMPARE(settings.intervalMinutes, stored.at(3).toInt());

    // Set again without an interval: the interval stays, the memos' collection goes.
    const CliRun again =
        cli(folder, {QStringLiteral("sync-setup"), stored.at(0), QStringLiteral("bob")});
    QCOMPARE(again.status, 0);
    const SyncSettings changed = SyncOptions::Read(IniFile(ini));
    QCOMPARE(changed.userName, QStringLiteral("bob"));
    QVERIFY(changed.memosUrl.isEmpty());
    QCOMPARE(changed.intervalMinutes, stored.at(3).toInt());
}

// The password comes from the variable when it is set, else from the secret store, where
// sync-password put it.
void TestCliSync::passwordSources_data()
{
    QTest::addColumn<QString>("stored");   // through sync-password
    QTest::addColumn<QString>("variable"); // null: not set
    QTest::addColumn<bool>("synced");
    const QString right = QStringLiteral("RIGHT");
    const QString wrong = QStringLiteral("wrong password");
    QTest::newRow("secret store") << right << QString() << true;
    QTest::newRow("variable before a wrong stored one") << wrong << right << true;
    QTest::newRow("variable before a right stored one") << right << wrong << false;
}

void TestCliSync::passwordSources()
{
    QFETCH(QString, stored);
    QFETCH(QString, variable);
    QFETCH(bool, synced);
    const QString password = m_server.password();
    stored.replace(QStringLiteral("RIGHT"), password);
    variable.replace(QStringLiteral("RIGHT"), password);
    const QString folder = newFolder();
    seedDatabase(folder + Texts::DatabaseFileName,
                 {Row{key(1), Texts::RootKey, QStringLiteral("Water the plants")}});
    const QUrl tasks = newCalendar();
    setUp(folder, tasks);

    // A line end after the password, as from echo or a file, is not part of it.
    const CliRun store = cli(folder, {QStringLiteral("sync-password")}, stored.toUtf8() + "\r\n");
    QVERIFY2(store.status == 0, store.err.constData());
    const QString entry = m_server.user() + QStringLiteral("@127.0.0.1:%1").arg(m_server.port());
    QVERIFY2(store.out.contains(entry.toUtf8()), store.out.constData());
    QCOMPARE(m_secrets.lookup(entry), stored);
    // The password is in no file of the folder.
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        QVERIFY2(!readFile(folder + name).contains(stored.toUtf8()), qPrintable(name));

    const CliRun run = cli(folder, {QStringLiteral("sync")}, {}, {{kPasswordVariable, variable}});
    if (synced) {
        QVERIFY2(run.status == 0, run.err.constData());
        QCOMPARE(run.out, QByteArray("Synced: 1 sent\n"));
        QVERIFY(run.err.isEmpty());
        QCOMPARE(serverObjects(tasks).size(), 1);
    } else {
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("refused the user name or password"), run.err.constData());
        QVERIFY(serverObjects(tasks).isEmpty());
    }
}

void TestCliSync::passwordCommandRefuses_data()
{
    QTest::addColumn<bool>("setUp");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing on standard input")
        << true << QByteArray() << QStringLiteral("no password on standard input");
    QTest::newRow("an empty line")
        << true << QByteArray("\n") << QStringLiteral("no password on standard input");
    QTest::newRow("nothing set up") << false << QByteArray("secret\n")
                                    << QStringLiteral("no collection is set for the to-do list");
}

void TestCliSync::passwordCommandRefuses()
{
    QFETCH(bool, setUp);
    QFETCH(QByteArray, input);
    QFETCH(QString, message);
    const QString folder = newFolder();
    const QString user = QStringLiteral("refused-%1")
                             .arg(QString::fromLatin1(QTest::currentDataTag())
                                      .replace(QLatin1Char(' '), QLatin1Char('-')));
    if (setUp)
        this->setUp(folder, QUrl(QStringLiteral("http://127.0.0.1:1/u/tasks/")), {}, user);
    const CliRun run = cli(folder, {QStringLiteral("sync-password")}, input);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    QVERIFY2(run.err.contains("nothing was stored"), run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY(m_secrets.lookup(user + QStringLiteral("@127.0.0.1:1")).isEmpty());
}

// ---- a sync that fails ----------------------------------------------------------------------

void TestCliSync::failedSyncChangesNothing_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("server stopped")
        << QStringLiteral("stopped") << QStringLiteral("the server cannot be reached");
    QTest::newRow("wrong password")
        << QStringLiteral("wrong password") << QStringLiteral("refused the user name or password");
    QTest::newRow("wrong password, no database yet")
        << QStringLiteral("wrong password, new folder")
        << QStringLiteral("refused the user name or password");
    QTest::newRow("nothing set up") << QStringLiteral("no collection")
                                    << QStringLiteral("no collection is set for the to-do list");
    QTest::newRow("no usable secret store")
        << QStringLiteral("no secret store")
        << QStringLiteral("set TASKLUME_SYNC_PASSWORD to give the password without it");
    QTest::newRow("no password kept")
        << QStringLiteral("no password") << QStringLiteral("no sync password is kept for nobody@");
    QTest::newRow("garbage answer")
        << QStringLiteral("garbage") << QStringLiteral("gave an answer that is not CalDAV");
    QTest::newRow("broken object on the server")
        << QStringLiteral("broken object") << QStringLiteral("the server answered 500");
    QTest::newRow("program running") << QStringLiteral("running")
                                     << QStringLiteral("Ploxen Tasklume is running on this "
                                                       "folder");
}

// Each fault ends the run with status 1 and one line on standard error, and the folder
// (database, settings) is byte for byte as before, although both sides hold changes a run
// would carry.
void TestCliSync::failedSyncChangesNothing()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    const QString folder = newFolder();
    const QString database = folder + Texts::DatabaseFileName;
    const QUrl tasks = newCalendar();
    const QUrl memos = newCalendar();
    const Variables right{{kPasswordVariable, m_server.password()}};
    Variables variables = right;
    const bool newFolder = fault.endsWith(QLatin1String("new folder"));
    setUp(folder, tasks, memos);
    if (!newFolder) {
        seedDatabase(database, {Row{key(1), Texts::RootKey, QStringLiteral("Synced before")}},
                     {Row{key(2), Texts::RootKey, QStringLiteral("Memo synced before")}});
        const CliRun first = cli(folder, {QStringLiteral("sync")}, {}, right);
        QVERIFY2(first.status == 0, first.err.constData());
        edit(folder, [](QSqlDatabase db) {
            insertTask(db, Row{key(3), Texts::RootKey, QStringLiteral("Made since")});
        });
    }
    // Another client's task waits on the server.
    int put = 0;
    request("PUT", tasks.resolved(QUrl(QStringLiteral("other.ics"))),
            sampleTodo(QStringLiteral("other"), QStringLiteral("From the phone")), &put);
    QCOMPARE(put, 201);

    std::unique_ptr<CannedServer> canned;
    RunLock program;
    if (fault == QLatin1String("stopped")) {
        m_server.stop();
    } else if (fault.startsWith(QLatin1String("wrong password"))) {
        variables = {{kPasswordVariable, QStringLiteral("not the password")}};
    } else if (fault == QLatin1String("no collection")) {
        IniFile(folder + Texts::IniFileName)
            .writeString(SyncOptions::Section, SyncOptions::KeyTasksUrl, QString());
    } else if (fault == QLatin1String("no secret store")) {
        variables = {{kPasswordVariable, QString()},
                     {QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                      QStringLiteral("unix:path=") + folder + QStringLiteral("no-bus")}};
    } else if (fault == QLatin1String("no password")) {
        setUp(folder, tasks, memos, QStringLiteral("nobody"));
        variables = {{kPasswordVariable, QString()}};
    } else if (fault == QLatin1String("garbage")) {
        canned = std::make_unique<CannedServer>(
            httpAnswer("207 Multi-Status", "text/html", "<html><body>Log in</body></html>"));
        QVERIFY(canned->isListening());
        setUp(folder, canned->url());
    } else if (fault == QLatin1String("broken object")) {
        QFile broken(m_server.storageFolder(tasks.path().section(QLatin1Char('/'), 2, 2)) +
                     QStringLiteral("/broken.ics"));
        QVERIFY2(broken.open(QIODevice::WriteOnly), qPrintable(broken.fileName()));
        broken.write("BEGIN:VCALENDAR\r\nBEGIN:VTODO\r\nSUMMARY:no end, no uid\r\n\x01\x02");
    } else if (fault == QLatin1String("running")) {
        QVERIFY(program.acquireExclusive(folder + Texts::RunLockFileName,
                                         {QCoreApplication::applicationPid(), QString()}));
    }
    const QMap<QString, QByteArray> before = snapshot(folder);
    const QStringList treeBefore =
        newFolder ? QStringList() : tree(folder, QStringLiteral("tasks"));

    const CliRun run = cli(folder, {QStringLiteral("sync")}, {}, variables);
    if (fault == QLatin1String("stopped"))
        QVERIFY2(m_server.start(), qPrintable(m_server.why()));
    QCOMPARE(run.status, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.startsWith("tasklume-cli: sync: "), run.err.constData());
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    QVERIFY2(run.err.contains("nothing was changed"), run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);
    QCOMPARE(snapshot(folder), before);
    if (newFolder) {
        QVERIFY(!QFileInfo::exists(database));
        return;
    }
    program.release();
    QCOMPARE(tree(folder, QStringLiteral("tasks")), treeBefore);
    // The server kept what it had: the run sent nothing either.
    if (fault != QLatin1String("broken object")) {
        const QList<QByteArray> objects = serverObjects(tasks);
        QCOMPARE(objects.size(), 2);
        for (const QByteArray &data : objects)
            QVERIFY(!data.contains("Made since"));
    }
}

// The memos run after the to-do list: when only their collection fails, the line says that
// the to-do list was synced, and it stays so (in a folder that had no database too); the
// memos stay as they were.
void TestCliSync::memosFailingAfterTheTasksSaysSo_data()
{
    QTest::addColumn<bool>("newFolder");
    QTest::newRow("lists here") << false;
    QTest::newRow("no database yet") << true;
}

void TestCliSync::memosFailingAfterTheTasksSaysSo()
{
    QFETCH(bool, newFolder);
    const QString folder = this->newFolder();
    const QUrl tasks = newCalendar();
    const QUrl memos = m_server.collectionUrl(QStringLiteral("never-made"));
    setUp(folder, tasks, memos);
    int put = 0;
    request("PUT", tasks.resolved(QUrl(QStringLiteral("other.ics"))),
            sampleTodo(QStringLiteral("other"), QStringLiteral("From the phone")), &put);
    QCOMPARE(put, 201);
    QStringList expected{QStringLiteral("From the phone")};
    if (!newFolder) {
        seedDatabase(folder + Texts::DatabaseFileName,
                     {Row{key(1), Texts::RootKey, QStringLiteral("A task")}},
                     {Row{key(2), Texts::RootKey, QStringLiteral("A memo")}});
        expected.append(QStringLiteral("A task"));
    }
    const QStringList memosBefore =
        newFolder ? QStringList() : tree(folder, QStringLiteral("memos"));

    const CliRun run =
        cli(folder, {QStringLiteral("sync")}, {}, {{kPasswordVariable, m_server.password()}});
    QCOMPARE(run.status, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.startsWith("tasklume-cli: sync: the to-do list was synced, the memos were "
                                "not: "),
             run.err.constData());
    QVERIFY2(run.err.contains("never-made"), run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);
    QCOMPARE(tree(folder, QStringLiteral("tasks")), sorted(expected));
    QCOMPARE(serverObjects(tasks).size(), expected.size());
    QCOMPARE(tree(folder, QStringLiteral("memos")), memosBefore);
}

// ---- two folders, one collection --------------------------------------------------------------

// Two program folders sync the same two collections through the command line: one sends its
// lists, the other receives them; both change (add, edit, complete, delete, a child under a
// parent, one task edited on both sides); after A, B, A both hold the same lists, the task
// edited on both sides twice (the later run's version and a conflict copy of the other), and
// the server holds every item once.
void TestCliSync::twoFoldersEndAlike()
{
    const QString a = newFolder();
    const QString b = newFolder();
    const QUrl tasks = newCalendar();
    const QUrl memos = newCalendar();
    setUp(a, tasks, memos);
    setUp(b, tasks, memos);
    // A gives its password in the variable, B keeps it in the secret store.
    const Variables password{{kPasswordVariable, m_server.password()}};
    const CliRun stored =
        cli(b, {QStringLiteral("sync-password")}, m_server.password().toUtf8() + '\n');
    QVERIFY2(stored.status == 0, stored.err.constData());
    const auto sync = [&](const QString &folder) {
        return cli(folder, {QStringLiteral("sync")}, {}, folder == a ? password : Variables{});
    };

    const QString milk = add(a, {QStringLiteral("task"), QStringLiteral("Buy milk")});
    const QString trip = add(a, {QStringLiteral("task"), QStringLiteral("Trip to the lake")});
    add(a, {QStringLiteral("task"), QStringLiteral("Pack the tent"), QStringLiteral("--child-of"),
            trip});
    const QString old = add(a, {QStringLiteral("task"), QStringLiteral("Old plan")});
    const QString call = add(a, {QStringLiteral("task"), QStringLiteral("Call Ånna")});
    const QString door = add(a, {QStringLiteral("memo"), QStringLiteral("Door code 4711")});
    const QString recipes = add(a, {QStringLiteral("memo"), QStringLiteral("Recipes")});
    add(a, {QStringLiteral("memo"), QStringLiteral("Pancakes\r\nthree eggs"),
            QStringLiteral("--child-of"), recipes});
    QVERIFY(!milk.isEmpty() && !trip.isEmpty() && !old.isEmpty() && !call.isEmpty() &&
            !door.isEmpty() && !recipes.isEmpty());

    CliRun run = sync(a);
    QVERIFY2(run.status == 0, run.err.constData());
    QCOMPARE(run.out, QByteArray("Synced: 8 sent\n"));
    run = sync(b);
    QVERIFY2(run.status == 0, run.err.constData());
    QCOMPARE(run.out, QByteArray("Synced: 8 received\n"));
    for (const QString &list : {QStringLiteral("tasks"), QStringLiteral("memos")})
        QCOMPARE(tree(b, list), tree(a, list));

    // A: a new task, one completed, a child under a parent, the call edited.
    add(a, {QStringLiteral("task"), QStringLiteral("New in A")});
    add(a,
        {QStringLiteral("task"), QStringLiteral("Sunscreen"), QStringLiteral("--child-of"), trip});
    edit(a, [&](QSqlDatabase db) {
        TaskStatements statements(db);
        statements.updateCheck(milk, true, 46100.5);
        statements.updateContent(call, QStringLiteral("Call Ånna at five"), 46100.5);
    });
    // B: a new task, one deleted, the call edited, a memo edited, a child memo added.
    add(b, {QStringLiteral("task"), QStringLiteral("New in B")});
    add(b,
        {QStringLiteral("memo"), QStringLiteral("Waffles"), QStringLiteral("--child-of"), recipes});
    edit(b, [&](QSqlDatabase db) {
        TaskStatements statements(db);
        statements.deleteItem(old);
        statements.updateContent(call, QStringLiteral("Call Ånna tomorrow"), 46100.6);
        MemoStatements(db).updateContent(door, QStringLiteral("Door code 1234"), 46100.6);
    });

    for (const QString &folder : {a, b, a}) {
        run = sync(folder);
        QVERIFY2(run.status == 0, run.err.constData());
        QVERIFY2(run.out.startsWith("Synced"), run.out.constData());
    }
    // Nothing is left to carry.
    run = sync(b);
    QVERIFY2(run.status == 0, run.err.constData());
    QCOMPARE(run.out, QByteArray("Synced, no changes\n"));

    QStringList expectedTasks = sorted({
        QStringLiteral("Buy milk [x]"),
        QStringLiteral("Trip to the lake"),
        QStringLiteral("Trip to the lake / Pack the tent"),
        QStringLiteral("Trip to the lake / Sunscreen"),
        QStringLiteral("Call Ånna tomorrow"),
        SyncEngine::ConflictMarker + QStringLiteral("Call Ånna at five"),
        QStringLiteral("New in A"),
        QStringLiteral("New in B"),
    });
    const QStringList expectedMemos = sorted({
        QStringLiteral("Door code 1234"),
        QStringLiteral("Recipes"),
        QStringLiteral("Recipes / Pancakes\r\nthree eggs"),
        QStringLiteral("Recipes / Waffles"),
    });
    // B sent its call while A's was already on the server: both keep B's and a copy of A's.
    QCOMPARE(tree(a, QStringLiteral("tasks")), expectedTasks);
    QCOMPARE(tree(b, QStringLiteral("tasks")), expectedTasks);
    QCOMPARE(tree(a, QStringLiteral("memos")), expectedMemos);
    QCOMPARE(tree(b, QStringLiteral("memos")), expectedMemos);

    // The server holds each item once, as a to-do or a journal entry of its collection.
    const QList<QByteArray> taskObjects = serverObjects(tasks);
    QCOMPARE(taskObjects.size(), expectedTasks.size());
    const QList<QByteArray> memoObjects = serverObjects(memos);
    QCOMPARE(memoObjects.size(), expectedMemos.size());
    const auto holds = [](const QList<QByteArray> &objects, const QByteArray &text) {
        return std::count_if(objects.begin(), objects.end(),
                             [&](const QByteArray &data) { return data.contains(text); });
    };
    for (const QByteArray &data : taskObjects)
        QVERIFY2(data.contains("BEGIN:VTODO"), data.constData());
    for (const QByteArray &data : memoObjects)
        QVERIFY2(data.contains("BEGIN:VJOURNAL"), data.constData());
    QCOMPARE(holds(taskObjects, "SUMMARY:Call Ånna tomorrow"), 1);
    QCOMPARE(holds(taskObjects, "SUMMARY:[Conflict copy] Call Ånna at five"), 1);
    QCOMPARE(holds(taskObjects, "Old plan"), 0);
    QCOMPARE(holds(taskObjects, "STATUS:COMPLETED"), 1);
    QCOMPARE(holds(taskObjects, trip.toUtf8()), 3); // the parent and its two children
    QCOMPARE(holds(memoObjects, "SUMMARY:Door code 1234"), 1);
    QCOMPARE(holds(memoObjects, "Door code 4711"), 0);

    // The real program on B shows what the runs brought, keeps the command line from syncing
    // under it, and stores an item it is asked to add; once it has ended, that item travels.
    {
        CliProcess::ProgramRun tasklume(CliProcess::environment(b), QStringLiteral(":4713"));
        QVERIFY(tasklume.started());
        std::optional<RunLock::Holder> holder;
        QTRY_VERIFY_WITH_TIMEOUT(
            (holder = RunLock::runningProgram(b + Texts::RunLockFileName)).has_value(), 20000);
        QByteArray rows;
        QTRY_VERIFY_WITH_TIMEOUT(
            (rows = RequestInstance(holder->channel, "rows tasks")).contains("Call Ånna tomorrow"),
            20000);
        QVERIFY2(rows.contains("0\t\t[Conflict copy] Call Ånna at five\n"), rows.constData());

        const QMap<QString, QByteArray> before = snapshot(b);
        run = sync(b);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("Ploxen Tasklume is running on this folder"),
                 run.err.constData());
        QCOMPARE(run.err.count('\n'), 1);
        QCOMPARE(snapshot(b), before);

        run = cli(b, {QStringLiteral("add"), QStringLiteral("task"),
                      QStringLiteral("Made while the program ran")});
        QVERIFY2(run.status == 0, run.err.constData());
        QTRY_VERIFY(
            RequestInstance(holder->channel, "rows tasks").contains("Made while the program ran"));
        QVERIFY(tasklume.end());
    }
    for (const QString &folder : {b, a}) {
        run = sync(folder);
        QVERIFY2(run.status == 0, run.err.constData());
    }
    QVERIFY(
        tree(a, QStringLiteral("tasks")).contains(QStringLiteral("Made while the program ran")));
    QCOMPARE(tree(a, QStringLiteral("tasks")), tree(b, QStringLiteral("tasks")));
    expectedTasks = sorted(expectedTasks << QStringLiteral("Made while the program ran"));

    // The server stops: a run fails with one clear line and leaves the folder as it was.
    const QMap<QString, QByteArray> before = snapshot(a);
    m_server.stop();
    run = sync(a);
    QVERIFY2(m_server.start(), qPrintable(m_server.why()));
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains("the server cannot be reached"), run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);
    QCOMPARE(snapshot(a), before);
    QCOMPARE(tree(a, QStringLiteral("tasks")), expectedTasks);
}

// ---- sync-setup from a server's address, and a run's deadline ----------------------------

void TestCliSync::setupFindsCollections_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("tasks"); // the collection chosen: "A" or "B"; the error's part
    QTest::addColumn<QString>("memos");
    QTest::newRow("both by name") << QStringList{QStringLiteral("--tasks=Found A"),
                                                 QStringLiteral("--memos=found b")}
                                  << QString() << 0 << "A"
                                  << "B";
    QTest::newRow("the first, with --find")
        << QStringList{QStringLiteral("--find")} << QString() << 0 << "first"
        << "";
    QTest::newRow("a name the server lacks") << QStringList{QStringLiteral("--tasks=Nowhere")}
                                             << QString() << 1 << "holds no collection \"Nowhere\""
                                             << "";
    QTest::newRow("wrong password")
        << QStringList() << QStringLiteral("wrong") << 1 << "refused the user name or password"
        << "";
}

// From the server's root address the user's collections are found, listed and chosen; a
// search that fails writes nothing.
void TestCliSync::setupFindsCollections()
{
    QFETCH(QStringList, options);
    QFETCH(QString, password);
    QFETCH(int, status);
    QFETCH(QString, tasks);
    QFETCH(QString, memos);
    static const QUrl a = m_server.makeCalendar(QStringLiteral("Found A"));
    static const QUrl b = m_server.makeCalendar(QStringLiteral("Found B"));
    QVERIFY(!a.isEmpty() && !b.isEmpty());
    const QString folder = newFolder();
    const QString root = QStringLiteral("http://127.0.0.1:%1/").arg(m_server.port());
    const CliRun run =
        cli(folder, QStringList{QStringLiteral("sync-setup"), root, m_server.user()} + options, {},
            {{kPasswordVariable, password.isEmpty() ? m_server.password() : password}});
    QCOMPARE(run.status, status);
    const QString ini = folder + Texts::IniFileName;
    if (status != 0) {
        QCOMPARE(run.err.count('\n'), 1);
        QVERIFY2(run.err.contains(tasks.toUtf8()), run.err.constData());
        QVERIFY2(run.err.contains("nothing was written"), run.err.constData());
        QVERIFY(!QFileInfo::exists(ini));
        return;
    }
    QVERIFY2(run.out.contains("found: Found A (to-dos, journal entries) " + a.toEncoded() + "\n"),
             run.out.constData());
    QVERIFY2(run.out.contains("found: Found B (to-dos, journal entries) " + b.toEncoded() + "\n"),
             run.out.constData());
    const SyncSettings settings = SyncOptions::Read(IniFile(ini));
    if (tasks == QLatin1String("first")) // every collection of Radicale takes both
        QCOMPARE(run.out.split('\n').first().split(' ').last(), settings.tasksUrl.toUtf8());
    else
        QCOMPARE(settings.tasksUrl,
                 (tasks == QLatin1String("A") ? a : b).toString(QUrl::FullyEncoded));
    QCOMPARE(settings.memosUrl,
             memos.isEmpty() ? QString()
                             : (memos == QLatin1String("A") ? a : b).toString(QUrl::FullyEncoded));
    QCOMPARE(settings.userName, m_server.user());

    // The settings found sync.
    const CliRun synced =
        cli(folder, {QStringLiteral("sync")}, {}, {{kPasswordVariable, m_server.password()}});
    QVERIFY2(synced.status == 0, synced.err.constData());
}

// A server that drips its answers a byte at a time does not keep the run going: it ends at
// the deadline given, with status 1 and a line saying why.
void TestCliSync::syncEndsAtItsTimeout()
{
    StandInServer server([](const StandInRequest &, QTcpSocket *socket) {
        const QByteArray body(400, ' ');
        answerDripping(socket,
                       "HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\n"
                       "Content-Length: " +
                           QByteArray::number(body.size()) + "\r\n\r\n",
                       body, 100);
    });
    QVERIFY(server.isListening());
    const QString folder = newFolder();
    setUp(folder, server.url());
    QElapsedTimer clock;
    clock.start();
    const CliRun run = cli(folder, {QStringLiteral("sync"), QStringLiteral("--timeout=3")}, {},
                           {{kPasswordVariable, QStringLiteral("p")}});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains("did not answer in time"), run.err.constData());
    QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!server.requests().isEmpty());
}

QTEST_GUILESS_MAIN(TestCliSync)
#include "test_cli_sync.moc"
