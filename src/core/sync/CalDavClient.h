#pragma once

// The CalDAV client of one calendar collection: WebDAV verbs over QNetworkAccessManager.
// Objects travel as plain iCalendar text; the client knows hrefs, ETags and the
// collection's sync token, nothing of what the objects mean.
//
// Every operation comes in two forms: an asynchronous one that calls back when the answer
// is in (for the window, which must not freeze), and a blocking one that runs a local
// event loop (for the command line and the tests). A failed operation changes nothing
// and says why in a DavResult.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

enum class DavError
{
    None,
    ConnectionFailed, // refused, host unknown, closed mid-way
    Timeout,          // no complete answer within the timeout
    Unauthorized,     // 401/403: the user name or password was refused
    Conflict,         // 412: the object changed (or exists) on the server
    NotFound,         // 404
    BadAnswer,        // an answer that is not the expected XML (an HTML page, garbage)
    SyncTokenInvalid, // the server no longer knows the sync token: list the collection anew
    HttpError         // any other failing status
};

struct DavResult
{
    DavError error = DavError::None;
    int httpStatus = 0;
    QString message; // a readable sentence for the status bar or the command line
    bool ok() const { return error == DavError::None; }
};

struct DavObject
{
    QString href;    // path on the server, as the server names it
    QString etag;    // with its quotes, as the server sends it
    QByteArray data; // iCalendar text; empty when only listed
};

struct DavListing
{
    QString syncToken; // empty when the server offers none
    QString ctag;      // empty when the server offers none
    QList<DavObject> objects;
};

struct DavChanges
{
    QList<DavObject> changed; // new or changed since the token (href + ETag)
    QStringList deleted;      // hrefs gone since the token
    QString syncToken;        // the token to ask with next time
};

class CalDavClient : public QObject
{
    Q_OBJECT
public:
    CalDavClient(const QUrl &collection, const QString &user, const QString &password,
                 QObject *parent = nullptr);
    ~CalDavClient() override;

    QUrl collection() const { return m_collection; }
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    int timeout() const { return m_timeoutMs; }
    // Requests sent so far, to show what an operation costs.
    int requestCount() const { return m_requestCount; }

    using Done = std::function<void(const DavResult &)>;
    using ListingDone = std::function<void(const DavResult &, const DavListing &)>;
    using ObjectsDone = std::function<void(const DavResult &, const QList<DavObject> &)>;
    using PutDone = std::function<void(const DavResult &, const QString &newEtag)>;
    using ChangesDone = std::function<void(const DavResult &, const DavChanges &)>;

    // MKCALENDAR of the collection itself, for to-dos and journal entries.
    void createCalendar(const QString &displayName, Done done);
    // PROPFIND depth 1: sync token, ctag and every object's href and ETag.
    void list(ListingDone done);
    // calendar-multiget REPORT of the given hrefs, with their data.
    void fetch(const QStringList &hrefs, ObjectsDone done);
    // PUT of a new object (etag empty: If-None-Match: *) or a change (If-Match: etag).
    void put(const QString &href, const QByteArray &data, const QString &etag, PutDone done);
    // DELETE with If-Match: etag (any version when etag is empty).
    void remove(const QString &href, const QString &etag, Done done);
    // sync-collection REPORT: what changed since the token.
    void changesSince(const QString &syncToken, ChangesDone done);

    // The blocking forms.
    DavResult createCalendarNow(const QString &displayName);
    DavResult listNow(DavListing *listing);
    DavResult fetchNow(const QStringList &hrefs, QList<DavObject> *objects);
    DavResult putNow(const QString &href, const QByteArray &data, const QString &etag,
                     QString *newEtag = nullptr);
    DavResult removeNow(const QString &href, const QString &etag);
    DavResult changesSinceNow(const QString &syncToken, DavChanges *changes);

    // The href of a new object named `name` inside the collection.
    QString hrefFor(const QString &name) const;

private:
    using Finished = std::function<void(const DavResult &, QNetworkReply *)>;
    void send(const QByteArray &verb, const QString &href, const QByteArray &body,
              const QList<std::pair<QByteArray, QByteArray>> &headers, Finished finished);

    QUrl m_collection;
    QString m_user;
    QString m_password;
    int m_timeoutMs = 30000;
    int m_requestCount = 0;
    QNetworkAccessManager *m_network;
};
