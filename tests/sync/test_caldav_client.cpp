// The CalDAV client against a real Radicale: objects put, listed, fetched, changed and
// deleted; ETags; changes made by another client; incremental listings by sync token.

#include "sync/CalDavClient.h"
#include "sync/RadicaleServer.h"

#include <QTest>

class TestCalDavClient : public QObject
{
    Q_OBJECT

private:
    RadicaleServer m_server;
    int m_collections = 0;

    // A new empty collection for one test.
    QUrl freshCalendar()
    {
        const QUrl url = m_server.makeCalendar(QStringLiteral("cal%1").arg(++m_collections));
        if (url.isEmpty())
            qWarning() << m_server.why();
        return url;
    }
    CalDavClient *client(const QUrl &url)
    {
        return new CalDavClient(url, m_server.user(), m_server.password(), this);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.why())); }

    void putListFetchDelete_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QStringLiteral("a1.ics");
        QTest::newRow("space and umlaut") << QStringLiteral("Ä 1+x.ics");
    }
    void putListFetchDelete()
    {
        QFETCH(QString, name);
        const QUrl url = freshCalendar();
        QVERIFY(!url.isEmpty());
        CalDavClient *dav = client(url);
        const QString href = dav->hrefFor(name);

        QString etag;
        DavResult r =
            dav->putNow(href, sampleTodo(QStringLiteral("a1"), QStringLiteral("Buy bread ÄÖ")),
                        QString(), &etag);
        QVERIFY2(r.ok(), qPrintable(r.message));

        DavListing listing;
        r = dav->listNow(&listing);
        QVERIFY2(r.ok(), qPrintable(r.message));
        QVERIFY(!listing.syncToken.isEmpty());
        QVERIFY(!listing.ctag.isEmpty());
        QCOMPARE(listing.objects.size(), 1);
        QCOMPARE(listing.objects.at(0).href, href);
        QVERIFY(!listing.objects.at(0).etag.isEmpty());
        if (!etag.isEmpty())
            QCOMPARE(listing.objects.at(0).etag, etag);

        QList<DavObject> objects;
        r = dav->fetchNow({href}, &objects);
        QVERIFY2(r.ok(), qPrintable(r.message));
        QCOMPARE(objects.size(), 1);
        QCOMPARE(objects.at(0).href, href);
        QCOMPARE(objects.at(0).etag, listing.objects.at(0).etag);
        QVERIFY(
            QString::fromUtf8(objects.at(0).data).contains(QStringLiteral("SUMMARY:Buy bread ÄÖ")));

        // A second "new" object under the same name is refused, not overwritten.
        r = dav->putNow(href, sampleTodo(QStringLiteral("a1"), QStringLiteral("Other")), QString());
        QCOMPARE(r.error, DavError::Conflict);

        r = dav->removeNow(href, listing.objects.at(0).etag);
        QVERIFY2(r.ok(), qPrintable(r.message));
        r = dav->listNow(&listing);
        QVERIFY2(r.ok(), qPrintable(r.message));
        QVERIFY(listing.objects.isEmpty());
    }

    void etagChangesWithTheObject()
    {
        const QUrl url = freshCalendar();
        QVERIFY(!url.isEmpty());
        CalDavClient *dav = client(url);
        const QString href = dav->hrefFor(QStringLiteral("b1.ics"));
        QVERIFY(
            dav->putNow(href, sampleTodo(QStringLiteral("b1"), QStringLiteral("First")), QString())
                .ok());
        DavListing before;
        QVERIFY(dav->listNow(&before).ok());
        const QString oldEtag = before.objects.value(0).etag;
        QVERIFY(!oldEtag.isEmpty());

        DavResult r =
            dav->putNow(href, sampleTodo(QStringLiteral("b1"), QStringLiteral("Second")), oldEtag);
        QVERIFY2(r.ok(), qPrintable(r.message));
        DavListing after;
        QVERIFY(dav->listNow(&after).ok());
        QCOMPARE(after.objects.size(), 1);
        QVERIFY(after.objects.at(0).etag != oldEtag);
        QVERIFY(after.ctag != before.ctag);
        QList<DavObject> objects;
        QVERIFY(dav->fetchNow({href}, &objects).ok());
        QVERIFY(objects.value(0).data.contains("SUMMARY:Second"));
    }

    // Another client changed the object: a change or deletion made with the old ETag is a
    // conflict, and the other client's version stays on the server.
    void changeByAnotherClientIsAConflict_data()
    {
        QTest::addColumn<bool>("deleting");
        QTest::newRow("change") << false;
        QTest::newRow("delete") << true;
    }
    void changeByAnotherClientIsAConflict()
    {
        QFETCH(bool, deleting);
        const QUrl url = freshCalendar();
        QVERIFY(!url.isEmpty());
        CalDavClient *mine = client(url);
        CalDavClient *theirs = client(url);
        const QString href = mine->hrefFor(QStringLiteral("c1.ics"));
        QVERIFY(
            mine->putNow(href, sampleTodo(QStringLiteral("c1"), QStringLiteral("Mine")), QString())
                .ok());
        DavListing listing;
        QVERIFY(mine->listNow(&listing).ok());
        const QString myEtag = listing.objects.value(0).etag;

        QVERIFY(
            theirs->putNow(href, sampleTodo(QStringLiteral("c1"), QStringLiteral("Theirs")), myEtag)
                .ok());

        const DavResult r =
            deleting
                ? mine->removeNow(href, myEtag)
                : mine->putNow(href, sampleTodo(QStringLiteral("c1"), QStringLiteral("Mine again")),
                               myEtag);
        QCOMPARE(r.error, DavError::Conflict);
        QCOMPARE(r.httpStatus, 412);
        QVERIFY(!r.message.isEmpty());

        QList<DavObject> objects;
        QVERIFY(mine->fetchNow({href}, &objects).ok());
        QCOMPARE(objects.size(), 1);
        QVERIFY(objects.at(0).data.contains("SUMMARY:Theirs"));
    }

    // After a token, the server tells only what changed: one new object and one deleted,
    // whatever the size of the collection. Listing the change and fetching it takes the
    // same two requests for a small and a larger collection.
    void changesSinceTokenAreOnlyTheChange_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("3 objects") << 3;
        QTest::newRow("40 objects") << 40;
    }
    void changesSinceTokenAreOnlyTheChange()
    {
        QFETCH(int, size);
        const QUrl url = freshCalendar();
        QVERIFY(!url.isEmpty());
        CalDavClient *dav = client(url);
        for (int i = 0; i < size; ++i) {
            const QString uid = QStringLiteral("d%1").arg(i);
            QVERIFY(dav->putNow(dav->hrefFor(uid + QStringLiteral(".ics")), sampleTodo(uid, uid),
                                QString())
                        .ok());
        }
        DavListing listing;
        QVERIFY(dav->listNow(&listing).ok());
        QCOMPARE(listing.objects.size(), size);
        QVERIFY(!listing.syncToken.isEmpty());

        CalDavClient *other = client(url);
        const QString added = other->hrefFor(QStringLiteral("new.ics"));
        QVERIFY(
            other
                ->putNow(added, sampleTodo(QStringLiteral("new"), QStringLiteral("New")), QString())
                .ok());
        const QString gone = listing.objects.at(0).href;
        QVERIFY(other->removeNow(gone, listing.objects.at(0).etag).ok());

        const int requestsBefore = dav->requestCount();
        DavChanges changes;
        DavResult r = dav->changesSinceNow(listing.syncToken, &changes);
        QVERIFY2(r.ok(), qPrintable(r.message));
        QCOMPARE(changes.changed.size(), 1);
        QCOMPARE(changes.changed.at(0).href, added);
        QVERIFY(!changes.changed.at(0).etag.isEmpty());
        QCOMPARE(changes.deleted, QStringList{gone});
        QVERIFY(!changes.syncToken.isEmpty());
        QVERIFY(changes.syncToken != listing.syncToken);

        QList<DavObject> fetched;
        QVERIFY(dav->fetchNow({changes.changed.at(0).href}, &fetched).ok());
        QCOMPARE(fetched.size(), 1);
        QVERIFY(fetched.at(0).data.contains("SUMMARY:New"));
        QCOMPARE(dav->requestCount() - requestsBefore, 2);

        // Nothing since the new token.
        DavChanges none;
        QVERIFY(dav->changesSinceNow(changes.syncToken, &none).ok());
        QVERIFY(none.changed.isEmpty());
        QVERIFY(none.deleted.isEmpty());
    }

    // A token the server does not know (expired, or from another collection) is told apart
    // from other failures, so that a full listing can take over.
    void unknownSyncTokenIsToldApart()
    {
        const QUrl url = freshCalendar();
        QVERIFY(!url.isEmpty());
        CalDavClient *dav = client(url);
        DavListing listing;
        QVERIFY(dav->listNow(&listing).ok());
        DavChanges changes;
        const DavResult r =
            dav->changesSinceNow(listing.syncToken + QStringLiteral("0bad"), &changes);
        QCOMPARE(r.error, DavError::SyncTokenInvalid);
        QVERIFY(changes.syncToken.isEmpty());
    }

    // The asynchronous form calls back from the event loop, so a window keeps running.
    void asynchronousListCallsBack()
    {
        const QUrl url = freshCalendar();
        QVERIFY(!url.isEmpty());
        CalDavClient *dav = client(url);
        bool called = false;
        DavResult result;
        dav->list([&](const DavResult &r, const DavListing &) {
            called = true;
            result = r;
        });
        QVERIFY(!called);
        QTRY_VERIFY_WITH_TIMEOUT(called, 30000);
        QVERIFY2(result.ok(), qPrintable(result.message));
    }
};

QTEST_GUILESS_MAIN(TestCalDavClient)
#include "test_caldav_client.moc"
