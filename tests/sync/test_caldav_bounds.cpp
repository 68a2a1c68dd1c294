// The CalDAV client against servers that redirect, drip, flood or refuse: the user name and
// password reach only the origin given, every request and a whole run end in time, answers
// and objects past their limits are cut while they are read (an object past the limit is
// passed over, the others still come), 401 and 403 are told apart, and the requests name the
// program. The servers are stand-ins of the test's own.

#include "common/ProgramVersion.h"
#include "storage/Database.h"
#include "storage/Statements.h"
#include "sync/CalDavClient.h"
#include "sync/StandInServer.h"
#include "sync/SyncRun.h"
#include "sync/SyncSettings.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kXml = "application/xml; charset=utf-8";

QByteArray multistatus(const QByteArray &responses)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:multistatus xmlns:d=\"DAV:\" "
           "xmlns:c=\"urn:ietf:params:xml:ns:caldav\">" +
           responses + "</d:multistatus>";
}

QByteArray objectResponse(const QByteArray &href, const QByteArray &data)
{
    return "<d:response><d:href>" + href +
           "</d:href><d:propstat><d:prop><d:getetag>\"e1\"</d:getetag><c:calendar-data>" + data +
           "</c:calendar-data></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat>"
           "</d:response>";
}

QByteArray todo(const QByteArray &uid)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//x//y//EN\r\nBEGIN:VTODO\r\nUID:" + uid +
           "\r\nSUMMARY:" + uid + "\r\nEND:VTODO\r\nEND:VCALENDAR\r\n";
}

} // namespace

class TestCalDavBounds : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A collection that sends its requests on to another origin (another port of the same
    // host): nothing reaches the other server, the operation fails saying why.
    void redirectElsewhereIsNotFollowed_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("list") << QStringLiteral("list");
        QTest::newRow("fetch") << QStringLiteral("fetch");
        QTest::newRow("put") << QStringLiteral("put");
        QTest::newRow("delete") << QStringLiteral("delete");
        QTest::newRow("changes") << QStringLiteral("changes");
    }
    void redirectElsewhereIsNotFollowed()
    {
        QFETCH(QString, operation);
        StandInServer elsewhere([](const StandInRequest &request, QTcpSocket *socket) {
            // What a stray server answers: a page for GET, success for the rest.
            if (request.method == "PUT")
                answerNow(socket, "201 Created", "text/plain", "", {"ETag: \"stolen\""});
            else
                answerNow(socket, "207 Multi-Status", kXml, multistatus(""));
        });
        QVERIFY(elsewhere.isListening());
        StandInServer origin([&elsewhere](const StandInRequest &request, QTcpSocket *socket) {
            answerNow(socket, "302 Found", "text/plain", "",
                      {"Location: " + elsewhere.url().toEncoded() + request.path.mid(7)});
        });
        QVERIFY(origin.isListening());

        CalDavClient dav(origin.url(), QStringLiteral("anna"), QStringLiteral("secret"));
        DavResult r;
        if (operation == QLatin1String("list")) {
            DavListing listing;
            r = dav.listNow(&listing);
        } else if (operation == QLatin1String("fetch")) {
            QList<DavObject> objects;
            r = dav.fetchNow({dav.hrefFor(QStringLiteral("a.ics"))}, &objects);
            QVERIFY(objects.isEmpty());
        } else if (operation == QLatin1String("put")) {
            QString etag;
            r = dav.putNow(dav.hrefFor(QStringLiteral("a.ics")), todo("a"), QString(), &etag);
            QVERIFY(etag.isEmpty());
        } else if (operation == QLatin1String("delete")) {
            r = dav.removeNow(dav.hrefFor(QStringLiteral("a.ics")), QString());
        } else {
            DavChanges changes;
            r = dav.changesSinceNow(QStringLiteral("t1"), &changes);
        }
        QCOMPARE(r.error, DavError::Redirected);
        QVERIFY2(r.message.contains(elsewhere.url().toDisplayString(QUrl::RemovePath)),
                 qPrintable(r.message));
        QVERIFY(!origin.requests().isEmpty());
        QCOMPARE(elsewhere.requests().size(), 0);
    }

    // A redirect within the origin is followed, with the credentials.
    void redirectWithinOriginIsFollowed()
    {
        StandInServer server([](const StandInRequest &request, QTcpSocket *socket) {
            if (request.path.startsWith("/old/"))
                answerNow(socket, "301 Moved Permanently", "text/plain", "",
                          {"Location: /new/" + request.path.mid(5)});
            else
                answerNow(socket, "207 Multi-Status", kXml,
                          multistatus(objectResponse(request.path + "a.ics", "")));
        });
        CalDavClient dav(server.url(QStringLiteral("/old/cal/")), QStringLiteral("anna"),
                         QStringLiteral("secret"));
        DavListing listing;
        const DavResult r = dav.listNow(&listing);
        QVERIFY2(r.ok(), qPrintable(r.message));
        QCOMPARE(listing.objects.size(), 1);
        QCOMPARE(server.requests().size(), 2);
        QCOMPARE(server.requests().at(1).path, QByteArray("/new/cal/"));
        QVERIFY(server.requests().at(1).headers.value("authorization").startsWith("Basic "));
    }

    // A server that sends its answer a byte at a time is cut at the request's deadline,
    // whatever the steady trickle; so is every request once the run's deadline has passed.
    void drippingServerEndsInTime()
    {
        StandInServer server([](const StandInRequest &, QTcpSocket *socket) {
            const QByteArray body = multistatus(QByteArray(400, ' '));
            answerDripping(socket,
                           "HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\n"
                           "Content-Length: " +
                               QByteArray::number(body.size()) + "\r\n\r\n",
                           body, 50);
        });
        CalDavClient dav(server.url(), QStringLiteral("u"), QStringLiteral("p"));
        dav.setTimeout(1500);
        QElapsedTimer clock;
        clock.start();
        bool done = false;
        DavResult result;
        dav.list([&](const DavResult &r, const DavListing &) {
            result = r;
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done, 15000);
        QCOMPARE(result.error, DavError::Timeout);
        QVERIFY2(result.message.contains(QStringLiteral("did not answer in time")),
                 qPrintable(result.message));
        QVERIFY(clock.elapsed() < 10000);

        // The run's deadline: a request after it is not even sent.
        const qsizetype sent = server.requests().size();
        dav.setTimeout(60000);
        dav.setDeadline(QDeadlineTimer(0));
        DavListing listing;
        const DavResult late = dav.listNow(&listing);
        QCOMPARE(late.error, DavError::Timeout);
        QCOMPARE(server.requests().size(), sent);
    }

    // A whole sync run against a dripping server ends at the run's deadline, though each
    // request alone may take far longer, and says so.
    void syncRunEndsAtItsDeadline()
    {
        StandInServer server([](const StandInRequest &, QTcpSocket *socket) {
            const QByteArray body = multistatus(QByteArray(400, ' '));
            answerDripping(socket,
                           "HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\n"
                           "Content-Length: " +
                               QByteArray::number(body.size()) + "\r\n\r\n",
                           body, 50);
        });
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wyData.wyb"));
        Database::open(path, QStringLiteral("bounds"));
        Database::close(QStringLiteral("bounds"));
        SyncSettings settings;
        settings.tasksUrl = server.url().toString();
        settings.userName = QStringLiteral("u");
        QElapsedTimer clock;
        clock.start();
        const SyncOutcome outcome =
            SyncRun::runNow(path, settings, QStringLiteral("p"), 60000, 2000);
        QVERIFY(!outcome.ok);
        QVERIFY(clock.elapsed() < 15000);
        QVERIFY2(outcome.message.contains(QStringLiteral("in time")), qPrintable(outcome.message));
    }

    // Answers larger than the limit are cut while they arrive, not read whole first: a
    // listing without end, and one part (a text) without end.
    void hugeAnswerIsCut_data()
    {
        QTest::addColumn<bool>("onePart");
        QTest::newRow("many responses") << false;
        QTest::newRow("one endless text") << true;
    }
    void hugeAnswerIsCut()
    {
        QFETCH(bool, onePart);
        static constexpr qint64 limit = qint64(4) << 20;
        static constexpr qint64 total = qint64(64) << 20;
        qint64 written = 0;
        StandInServer server([&](const StandInRequest &, QTcpSocket *socket) {
            const QByteArray start = "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\">" +
                                     QByteArray(onePart ? "<d:response><d:href>" : "");
            answerStreaming(socket,
                            "HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\n"
                            "Content-Length: " +
                                QByteArray::number(total) + "\r\n\r\n" + start,
                            [&written, onePart](qint64 sent) {
                                written = sent;
                                if (sent >= total - (qint64(1) << 20))
                                    return QByteArray();
                                if (onePart)
                                    return QByteArray(64 * 1024, 'x');
                                QByteArray part;
                                for (int i = 0; i < 500; ++i)
                                    part += "<d:response><d:href>/u/cal/" +
                                            QByteArray::number(sent + i) +
                                            ".ics</d:href></d:response>";
                                return part;
                            });
        });
        CalDavClient dav(server.url(), QStringLiteral("u"), QStringLiteral("p"));
        dav.setLimits(onePart ? total : limit, onePart ? limit / 2 : limit);
        DavListing listing;
        const DavResult r = dav.listNow(&listing);
        QCOMPARE(r.error, DavError::TooLarge);
        QVERIFY2(r.message.contains(QStringLiteral("larger than")), qPrintable(r.message));
        QVERIFY(listing.objects.isEmpty());
        // Cut near the limit (what the connection's buffers held beyond it aside).
        QVERIFY2(written < 3 * limit, qPrintable(QString::number(written)));
    }

    // One object past the limit among others: it is passed over with a note naming it, the
    // others still come.
    void objectPastTheLimitIsPassedOver()
    {
        static constexpr qint64 limit = qint64(1) << 20;
        const QByteArray big =
            todo("big").replace("SUMMARY:big", "SUMMARY:" + QByteArray(2 * limit, 'b'));
        StandInServer server([&](const StandInRequest &request, QTcpSocket *socket) {
            QByteArray responses;
            static const QRegularExpression hrefs(QStringLiteral("<d:href>([^<]*)</d:href>"));
            auto it = hrefs.globalMatch(QString::fromUtf8(request.body));
            while (it.hasNext()) {
                const QByteArray href = it.next().captured(1).toUtf8();
                responses +=
                    objectResponse(href, href.contains("big") ? big : todo(href.mid(7, 1)));
            }
            answerNow(socket, "207 Multi-Status", kXml, multistatus(responses));
        });
        CalDavClient dav(server.url(), QStringLiteral("u"), QStringLiteral("p"));
        dav.setLimits(qint64(64) << 20, limit);
        QStringList asked;
        for (const char *name : {"a.ics", "b.ics", "big.ics", "c.ics", "d.ics"})
            asked.append(dav.hrefFor(QString::fromLatin1(name)));
        QList<DavObject> objects;
        const DavResult r = dav.fetchNow(asked, &objects);
        QVERIFY2(r.ok(), qPrintable(r.message));
        QStringList got;
        for (const DavObject &object : std::as_const(objects))
            got.append(object.href);
        QCOMPARE(got, QStringList({asked.at(0), asked.at(1), asked.at(3), asked.at(4)}));
        QCOMPARE(dav.notes().size(), 1);
        QVERIFY2(dav.notes().first().contains(asked.at(2)), qPrintable(dav.notes().first()));
    }

    // A refused log-in and a place the user may not write are told apart; the requests
    // name the program and its version.
    void refusalsAreWordedApart_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("says");
        QTest::addColumn<QString>("neverSays");
        QTest::newRow("401") << QByteArray("401 Unauthorized") << int(DavError::Unauthorized)
                             << QStringLiteral("refused the user name or password")
                             << QStringLiteral("log-in");
        QTest::newRow("403") << QByteArray("403 Forbidden") << int(DavError::Forbidden)
                             << QStringLiteral("accepted the log-in")
                             << QStringLiteral("refused the user name");
    }
    void refusalsAreWordedApart()
    {
        QFETCH(QByteArray, status);
        QFETCH(int, error);
        QFETCH(QString, says);
        QFETCH(QString, neverSays);
        StandInServer server([status](const StandInRequest &, QTcpSocket *socket) {
            answerNow(socket, status, "text/plain", "no", {"WWW-Authenticate: Basic realm=\"x\""});
        });
        CalDavClient dav(server.url(), QStringLiteral("u"), QStringLiteral("p"));
        DavListing listing;
        const DavResult r = dav.listNow(&listing);
        QCOMPARE(int(r.error), error);
        QVERIFY2(r.message.contains(says), qPrintable(r.message));
        QVERIFY2(!r.message.contains(neverSays), qPrintable(r.message));
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().first().headers.value("user-agent"),
                 "Ploxen Tasklume/" + ProgramVersion().toUtf8());
    }

    // Nothing is written into what is not a calendar collection taking to-dos: the run
    // checks first and says what the address is.
    void syncRunWritesNothingOutsideACollection()
    {
        StandInServer server([](const StandInRequest &request, QTcpSocket *socket) {
            if (request.method == "PROPFIND")
                answerNow(socket, "207 Multi-Status", kXml,
                          multistatus("<d:response><d:href>" + request.path +
                                      "</d:href><d:propstat><d:prop><d:resourcetype>"
                                      "<d:collection/></d:resourcetype></d:prop><d:status>HTTP/"
                                      "1.1 200 OK</d:status></d:propstat></d:response>"));
            else if (request.method == "PUT")
                answerNow(socket, "201 Created", "text/plain", "", {"ETag: \"x\""});
            else
                answerNow(socket, "207 Multi-Status", kXml, multistatus(""));
        });
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wyData.wyb"));
        {
            QSqlDatabase db = Database::open(path, QStringLiteral("outside"));
            TaskStatements tasks(db);
            TTaskInfo task;
            task.pid = QStringLiteral("root");
            task.content = QStringLiteral("Water the plants");
            tasks.insertNew(task);
        }
        Database::close(QStringLiteral("outside"));
        SyncSettings settings;
        settings.tasksUrl = server.url(QStringLiteral("/u/")).toString();
        settings.userName = QStringLiteral("u");
        const SyncOutcome outcome = SyncRun::runNow(path, settings, QStringLiteral("p"));
        QVERIFY(!outcome.ok);
        QVERIFY2(outcome.message.contains(QStringLiteral("not a calendar collection")),
                 qPrintable(outcome.message));
        for (const StandInRequest &request : server.requests())
            QVERIFY2(request.method != "PUT", request.path.constData());
    }
};

QTEST_GUILESS_MAIN(TestCalDavBounds)
#include "test_caldav_bounds.moc"
