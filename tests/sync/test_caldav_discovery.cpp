// Finding a user's collections from the server's address: against a real Radicale, and
// against a stand-in that answers as servers behind a well-known entry do (RFC 6764, a
// principal, a calendar home holding collections for to-dos, journal entries and events).
// And the check of a chosen collection before anything is written into it.

#include "sync/CalDavDiscovery.h"
#include "sync/RadicaleServer.h"
#include "sync/StandInServer.h"

#include <QTcpSocket>
#include <QTest>

namespace {

const QByteArray kXml = "application/xml; charset=utf-8";

QByteArray response(const QByteArray &href, const QByteArray &props)
{
    return "<d:response><d:href>" + href + "</d:href><d:propstat><d:prop>" + props +
           "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>";
}

QByteArray multistatus(const QByteArray &responses)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:multistatus xmlns:d=\"DAV:\" "
           "xmlns:c=\"urn:ietf:params:xml:ns:caldav\">" +
           responses + "</d:multistatus>";
}

QByteArray calendar(const QByteArray &href, const QByteArray &name, const QByteArray &comps)
{
    QByteArray set;
    for (const QByteArray &comp : comps.split(','))
        set += "<c:comp name=\"" + comp + "\"/>";
    return response(href, "<d:displayname>" + name +
                              "</d:displayname><d:resourcetype><d:collection/><c:calendar/>"
                              "</d:resourcetype><c:supported-calendar-component-set>" +
                              set + "</c:supported-calendar-component-set>");
}

// A server laid out as hosted ones are: its root knows nothing, the well-known entry
// redirects to /dav/, which names the principal, which names the home.
void hostedServer(const StandInRequest &request, QTcpSocket *socket)
{
    const QByteArray path = request.path;
    if (!request.headers.value("authorization").startsWith("Basic ")) {
        answerNow(socket, "401 Unauthorized", "text/plain", "", {"WWW-Authenticate: Basic"});
    } else if (path == "/.well-known/caldav") {
        answerNow(socket, "301 Moved Permanently", "text/plain", "", {"Location: /dav/"});
    } else if (path == "/dav/") {
        answerNow(socket, "207 Multi-Status", kXml,
                  multistatus(response("/dav/", "<d:current-user-principal><d:href>"
                                                "/dav/principals/anna/</d:href>"
                                                "</d:current-user-principal>")));
    } else if (path == "/dav/principals/anna/") {
        answerNow(socket, "207 Multi-Status", kXml,
                  multistatus(response(path, "<c:calendar-home-set><d:href>/dav/cal/anna/"
                                             "</d:href></c:calendar-home-set>")));
    } else if (path == "/dav/cal/anna/" && request.headers.value("depth") == "1") {
        answerNow(
            socket, "207 Multi-Status", kXml,
            multistatus(response(path, "<d:resourcetype><d:collection/></d:resourcetype>") +
                        calendar("/dav/cal/anna/todo/", "Things to do", "VTODO") +
                        calendar("/dav/cal/anna/notes/", "Notebook", "VJOURNAL") +
                        calendar("/dav/cal/anna/both/", "Everything", "VEVENT,VTODO,VJOURNAL") +
                        calendar("/dav/cal/anna/work/", "Work", "VEVENT")));
    } else if (path == "/dav/cal/anna/todo/" || path == "/dav/cal/anna/work/") {
        answerNow(socket, "207 Multi-Status", kXml,
                  multistatus(path.contains("todo") ? calendar(path, "Things to do", "VTODO")
                                                    : calendar(path, "Work", "VEVENT")));
    } else {
        answerNow(socket, "404 Not Found", "text/plain", "");
    }
}

QStringList described(const DavDiscovery &found)
{
    QStringList out;
    for (const DavCollection &collection : found.collections)
        out.append(collection.description() + QLatin1Char(' ') + collection.url.path());
    return out;
}

} // namespace

class TestCalDavDiscovery : public QObject
{
    Q_OBJECT

    RadicaleServer m_server;

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.why())); }

    void addressesTypedByUsers_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("url"); // empty: refused
        QTest::newRow("server name") << "dav.example.org"
                                     << "https://dav.example.org/";
        QTest::newRow("user's address") << "anna@example.org"
                                        << "https://example.org/";
        QTest::newRow("full address") << "http://127.0.0.1:5232/anna/"
                                      << "http://127.0.0.1:5232/anna/";
        QTest::newRow("other scheme") << "ftp://example.org/"
                                      << "";
        QTest::newRow("empty") << "  "
                               << "";
    }
    void addressesTypedByUsers()
    {
        QFETCH(QString, typed);
        QFETCH(QString, url);
        QString why;
        const QUrl address = CalDavDiscovery::serverAddress(typed, &why);
        QCOMPARE(address.toString(), url);
        QCOMPARE(why.isEmpty(), !url.isEmpty());
    }

    void unencryptedToAnotherHost_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("warned");
        QTest::newRow("https elsewhere") << "https://dav.example.org/" << false;
        QTest::newRow("http elsewhere") << "http://dav.example.org/" << true;
        QTest::newRow("http to this machine") << "http://127.0.0.1:5232/" << false;
        QTest::newRow("http to localhost") << "http://localhost:5232/" << false;
        QTest::newRow("http to ::1") << "http://[::1]:5232/" << false;
    }
    void unencryptedToAnotherHost()
    {
        QFETCH(QString, url);
        QFETCH(bool, warned);
        QCOMPARE(CalDavDiscovery::unencryptedElsewhere(QUrl(url)), warned);
    }

    // From Radicale's root address: its collections by their display names.
    void findsRadicaleCollections()
    {
        const QUrl tasks = m_server.makeCalendar(QStringLiteral("Shopping"));
        const QUrl memos = m_server.makeCalendar(QStringLiteral("Jottings"));
        QVERIFY(!tasks.isEmpty() && !memos.isEmpty());
        const QUrl root(QStringLiteral("http://127.0.0.1:%1/").arg(m_server.port()));
        const DavDiscovery found =
            CalDavDiscovery::find(root, m_server.user(), m_server.password());
        QVERIFY2(found.result.ok(), qPrintable(found.result.message));
        const QStringList lines = described(found);
        QVERIFY2(
            lines.contains(QStringLiteral("Shopping (to-dos, journal entries) ") + tasks.path()),
            qPrintable(lines.join(QLatin1Char('\n'))));
        QVERIFY2(
            lines.contains(QStringLiteral("Jottings (to-dos, journal entries) ") + memos.path()),
            qPrintable(lines.join(QLatin1Char('\n'))));

        QString name;
        const DavResult checked = CalDavDiscovery::check(
            tasks, m_server.user(), m_server.password(), QStringLiteral("VTODO"), &name);
        QVERIFY2(checked.ok(), qPrintable(checked.message));
        QCOMPARE(name, QStringLiteral("Shopping"));

        // The server's root is not a collection: said so, not as a wrong password.
        const DavResult root403 = CalDavDiscovery::check(root, m_server.user(), m_server.password(),
                                                         QStringLiteral("VTODO"));
        QVERIFY(!root403.ok());
        QVERIFY2(!root403.message.contains(QStringLiteral("password")),
                 qPrintable(root403.message));

        const DavDiscovery refused =
            CalDavDiscovery::find(root, m_server.user(), QStringLiteral("wrong"));
        QCOMPARE(refused.result.error, DavError::Unauthorized);
    }

    // Through the well-known entry, the principal and the home, from the server's name or
    // from the address of a collection.
    void findsThroughWellKnownEntry_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("server root") << "/";
        QTest::newRow("a collection") << "/dav/cal/anna/todo/";
    }
    void findsThroughWellKnownEntry()
    {
        QFETCH(QString, path);
        StandInServer server(hostedServer);
        const DavDiscovery found =
            CalDavDiscovery::find(server.url(path), QStringLiteral("anna"), QStringLiteral("pw"));
        QVERIFY2(found.result.ok(), qPrintable(found.result.message));
        QCOMPARE(
            described(found),
            QStringList(
                {QStringLiteral("Things to do (to-dos) /dav/cal/anna/todo/"),
                 QStringLiteral("Notebook (journal entries) /dav/cal/anna/notes/"),
                 QStringLiteral("Everything (to-dos, journal entries) /dav/cal/anna/both/"),
                 QStringLiteral("Work (neither to-dos nor journal entries) /dav/cal/anna/work/")}));
        for (const StandInRequest &request : server.requests())
            QCOMPARE(request.method, QByteArray("PROPFIND"));
    }

    void checksWhatACollectionTakes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("component");
        QTest::addColumn<bool>("ok");
        QTest::newRow("to-dos into a to-do list") << "/dav/cal/anna/todo/"
                                                  << "VTODO" << true;
        QTest::newRow("memos into a to-do list") << "/dav/cal/anna/todo/"
                                                 << "VJOURNAL" << false;
        QTest::newRow("to-dos into events") << "/dav/cal/anna/work/"
                                            << "VTODO" << false;
        QTest::newRow("into a principal") << "/dav/principals/anna/"
                                          << "VTODO" << false;
    }
    void checksWhatACollectionTakes()
    {
        QFETCH(QString, path);
        QFETCH(QString, component);
        QFETCH(bool, ok);
        StandInServer server(hostedServer);
        const DavResult r = CalDavDiscovery::check(server.url(path), QStringLiteral("anna"),
                                                   QStringLiteral("pw"), component);
        QCOMPARE(r.ok(), ok);
        if (!ok) {
            QCOMPARE(r.error, DavError::NotACollection);
            QVERIFY(!r.message.isEmpty());
        }
    }

    // A well-known entry that sends to another origin: the search stops there, nothing
    // goes to the other server, and the message names where it was sent.
    void wellKnownElsewhereStops()
    {
        StandInServer elsewhere(hostedServer);
        StandInServer server([&elsewhere](const StandInRequest &request, QTcpSocket *socket) {
            if (request.path == "/.well-known/caldav")
                answerNow(socket, "301 Moved Permanently", "text/plain", "",
                          {"Location: " + elsewhere.url(QStringLiteral("/dav/")).toEncoded()});
            else
                answerNow(socket, "404 Not Found", "text/plain", "");
        });
        const DavDiscovery found = CalDavDiscovery::find(
            server.url(QStringLiteral("/")), QStringLiteral("anna"), QStringLiteral("pw"));
        QCOMPARE(found.result.error, DavError::Redirected);
        QVERIFY2(
            found.result.message.contains(elsewhere.url(QStringLiteral("/dav/")).toDisplayString()),
            qPrintable(found.result.message));
        QVERIFY(found.collections.isEmpty());
        QCOMPARE(elsewhere.requests().size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCalDavDiscovery)
#include "test_caldav_discovery.moc"
