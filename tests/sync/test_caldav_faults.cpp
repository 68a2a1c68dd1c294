// The CalDAV client when things go wrong: a server that is down, stops mid-way, refuses the
// password, answers garbage or not at all, or holds an object another program broke. Each
// gives a clear error and changes nothing.

#include "sync/CalDavClient.h"
#include "sync/CannedServer.h"
#include "sync/RadicaleServer.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

class TestCalDavFaults : public QObject
{
    Q_OBJECT

private:
    RadicaleServer m_server;
    int m_collections = 0;

    QUrl freshCalendar()
    {
        if (!m_server.isRunning() && !m_server.start())
            return {};
        return m_server.makeCalendar(QStringLiteral("cal%1").arg(++m_collections));
    }

    // What the owner sees on the server: href -> ETag.
    QMap<QString, QString> contents(const QUrl &url)
    {
        CalDavClient dav(url, m_server.user(), m_server.password());
        DavListing listing;
        if (!dav.listNow(&listing).ok())
            return {{QStringLiteral("<unreadable>"), QString()}};
        QMap<QString, QString> out;
        for (const DavObject &object : listing.objects)
            out.insert(object.href, object.etag);
        return out;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.why())); }

    void wrongPasswordIsRefused_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("list") << QStringLiteral("list");
        QTest::newRow("put") << QStringLiteral("put");
        QTest::newRow("delete") << QStringLiteral("delete");
    }
    void wrongPasswordIsRefused()
    {
        QFETCH(QString, operation);
        const QUrl url = freshCalendar();
        QVERIFY(!url.isEmpty());
        CalDavClient owner(url, m_server.user(), m_server.password());
        const QString href = owner.hrefFor(QStringLiteral("kept.ics"));
        QVERIFY(
            owner
                .putNow(href, sampleTodo(QStringLiteral("kept"), QStringLiteral("Kept")), QString())
                .ok());
        const auto before = contents(url);

        CalDavClient intruder(url, m_server.user(), m_server.password() + QStringLiteral("x"));
        DavResult r;
        DavListing listing;
        if (operation == QLatin1String("list"))
            r = intruder.listNow(&listing);
        else if (operation == QLatin1String("put"))
            r = intruder.putNow(intruder.hrefFor(QStringLiteral("new.ics")),
                                sampleTodo(QStringLiteral("new"), QStringLiteral("New")),
                                QString());
        else
            r = intruder.removeNow(href, QString());
        QCOMPARE(r.error, DavError::Unauthorized);
        QVERIFY(r.message.contains(QStringLiteral("password")));
        QVERIFY(listing.objects.isEmpty());
        QCOMPARE(contents(url), before);
    }

    void serverDown()
    {
        QTcpServer probe; // a port nobody listens on any more
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        CalDavClient dav(QUrl(QStringLiteral("http://127.0.0.1:%1/u/cal/").arg(port)),
                         QStringLiteral("u"), QStringLiteral("p"));
        DavListing listing;
        const DavResult r = dav.listNow(&listing);
        QCOMPARE(r.error, DavError::ConnectionFailed);
        QVERIFY(r.message.contains(QStringLiteral("cannot be reached")));
    }

    // The server goes away between two requests of a sync: the second fails clearly, and
    // what was on the server is still there when it comes back.
    void serverStoppedMidway()
    {
        const QUrl url = freshCalendar();
        QVERIFY(!url.isEmpty());
        CalDavClient dav(url, m_server.user(), m_server.password());
        QVERIFY(dav.putNow(dav.hrefFor(QStringLiteral("e1.ics")),
                           sampleTodo(QStringLiteral("e1"), QStringLiteral("One")), QString())
                    .ok());
        DavListing listing;
        QVERIFY(dav.listNow(&listing).ok());

        m_server.stop();
        QList<DavObject> objects;
        DavResult r = dav.fetchNow({listing.objects.value(0).href}, &objects);
        QCOMPARE(r.error, DavError::ConnectionFailed);
        QVERIFY(objects.isEmpty());
        r = dav.putNow(dav.hrefFor(QStringLiteral("e2.ics")),
                       sampleTodo(QStringLiteral("e2"), QStringLiteral("Two")), QString());
        QCOMPARE(r.error, DavError::ConnectionFailed);

        QVERIFY2(m_server.start(), qPrintable(m_server.why()));
        QCOMPARE(contents(url).keys(), QStringList{listing.objects.value(0).href});
    }

    void garbageAnswer_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("html page")
            << httpAnswer("200 OK", "text/html", "<html><body><h1>Welcome</h1></body></html>");
        QTest::newRow("html as multistatus")
            << httpAnswer("207 Multi-Status", "text/html", "<html><body>Login</body></html>");
        QTest::newRow("broken xml") << httpAnswer(
            "207 Multi-Status", "application/xml",
            "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\"><d:response><d:href>/x");
        QTest::newRow("not xml") << httpAnswer("207 Multi-Status", "application/xml",
                                               "\x01\x02 garbage \xff\xfe");
        QTest::newRow("empty") << httpAnswer("207 Multi-Status", "application/xml", "");
    }
    void garbageAnswer()
    {
        QFETCH(QByteArray, answer);
        CannedServer server(answer);
        QVERIFY(server.isListening());
        CalDavClient dav(server.url(), QStringLiteral("u"), QStringLiteral("p"));
        DavListing listing;
        listing.syncToken = QStringLiteral("untouched");
        DavResult r = dav.listNow(&listing);
        QCOMPARE(r.error, DavError::BadAnswer);
        QVERIFY(r.message.contains(QStringLiteral("not CalDAV")));
        QVERIFY(listing.objects.isEmpty());
        QVERIFY(listing.syncToken.isEmpty());
        DavChanges changes;
        r = dav.changesSinceNow(QStringLiteral("token"), &changes);
        QCOMPARE(r.error, DavError::BadAnswer);
        QVERIFY(changes.syncToken.isEmpty());
    }

    void slowServerTimesOut()
    {
        CannedServer server({}); // takes the request, never answers
        QVERIFY(server.isListening());
        CalDavClient dav(server.url(), QStringLiteral("u"), QStringLiteral("p"));
        dav.setTimeout(300);
        DavListing listing;
        const DavResult r = dav.listNow(&listing);
        QCOMPARE(r.error, DavError::Timeout);
        QVERIFY(r.message.contains(QStringLiteral("in time")));
    }

    // The window closes while a request is out: the client goes, its callback is never
    // called, nothing is left running.
    void clientDestroyedWhileWaiting()
    {
        CannedServer server({});
        QVERIFY(server.isListening());
        bool requestArrived = false;
        connect(&server, &QTcpServer::newConnection, this, [&] { requestArrived = true; });
        bool called = false;
        auto *dav = new CalDavClient(server.url(), QStringLiteral("u"), QStringLiteral("p"));
        dav->list([&](const DavResult &, const DavListing &) { called = true; });
        QTRY_VERIFY_WITH_TIMEOUT(requestArrived, 30000);
        delete dav;
        QCoreApplication::processEvents();
        QVERIFY(!called);
    }

    // Another program left a broken object in the collection behind the server's back: the
    // client says so and does not crash; the sound objects are not touched.
    void malformedObjectOnServer()
    {
        const QUrl url = freshCalendar();
        QVERIFY(!url.isEmpty());
        CalDavClient dav(url, m_server.user(), m_server.password());
        const QString good = dav.hrefFor(QStringLiteral("good.ics"));
        QVERIFY(
            dav.putNow(good, sampleTodo(QStringLiteral("good"), QStringLiteral("Good")), QString())
                .ok());

        QFile broken(m_server.storageFolder(url.path().section(QLatin1Char('/'), 2, 2)) +
                     QStringLiteral("/broken.ics"));
        QVERIFY2(broken.open(QIODevice::WriteOnly), qPrintable(broken.fileName()));
        broken.write("BEGIN:VCALENDAR\r\nBEGIN:VTODO\r\nSUMMARY:no end, no uid\r\n\x01\x02");
        broken.close();

        // Radicale cannot load the collection any more and says so; the client passes that
        // on as an error instead of an empty (or partial) collection.
        DavListing listing;
        DavResult r = dav.listNow(&listing);
        QCOMPARE(r.error, DavError::HttpError);
        QCOMPARE(r.httpStatus, 500);
        QVERIFY(r.message.contains(QStringLiteral("500")));
        QVERIFY(listing.objects.isEmpty());
        QVERIFY(listing.syncToken.isEmpty());
        QList<DavObject> objects;
        r = dav.fetchNow({good, dav.hrefFor(QStringLiteral("broken.ics"))}, &objects);
        QVERIFY(!r.ok());
        QVERIFY(objects.isEmpty());
        DavChanges changes;
        r = dav.changesSinceNow(QString(), &changes);
        QVERIFY(!r.ok());
        QVERIFY(changes.changed.isEmpty());

        // Once the broken file is gone, the sound object is there as it was.
        QVERIFY(broken.remove());
        QCOMPARE(contents(url).keys(), QStringList{good});
    }
};

QTEST_GUILESS_MAIN(TestCalDavFaults)
#include "test_caldav_faults.moc"
