#pragma once

// The CalDAV client of one calendar collection: WebDAV verbs over QNetworkAccessManager.
// Objects travel as plain iCalendar text; the client knows hrefs, ETags and the
// collection's sync token, nothing of what the objects mean.
//
// Every operation comes in two forms: an asynchronous one that calls back when the answer
// is in (for the window, which must not freeze), and a blocking one that runs a local
// event loop (for the command line and the tests). A failed operation changes nothing
// and says why in a DavResult.
//
// The user name and password go only to the origin (scheme, host and port) of the address
// the client was given: a redirect within it is followed, one elsewhere ends the operation.
// Each request has a deadline for its whole answer, and all of them together the deadline
// of the run; answers are read as they arrive, within a size limit, keeping only what they
// carry.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

enum class DavError
{
    None,
    ConnectionFailed, // refused, host unknown, closed mid-way
    Timeout,          // no complete answer within the timeout
    Unauthorized,     // 401: the user name or password was refused
    Forbidden,        // 403: logged in, but not allowed there (not a collection of the user)
    Redirected,       // sent on to another origin, where the credentials do not go
    TooLarge,         // an answer or one part of it larger than the client's limits
    NotACollection,   // the address is not a calendar collection taking what is synced
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

// What a PROPFIND of the discovery tells of one resource.
struct DavResource
{
    QUrl url;
    QString displayName;
    bool isCollection = false;
    bool isCalendar = false;
    QStringList components;       // what a calendar collection accepts ("VTODO", "VJOURNAL", ...)
    bool componentsGiven = false; // without the property a collection accepts every kind
    QList<QUrl> principals;       // current-user-principal
    QList<QUrl> homeSets;         // calendar-home-set

    bool accepts(const QString &component) const
    {
        return isCalendar && (!componentsGiven || components.contains(component));
    }
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
    // The longest a request may take, its whole answer read (a server that drips its answer
    // a byte at a time is cut at the end of it).
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    int timeout() const { return m_timeoutMs; }
    // The end of the whole run: no request outlives it, none starts after it.
    void setDeadline(QDeadlineTimer deadline) { m_deadline = deadline; }
    QDeadlineTimer deadline() const { return m_deadline; }
    // The largest answer read, and the largest single object (or other part) in it.
    void setLimits(qint64 answerBytes, qint64 objectBytes)
    {
        m_answerLimit = answerBytes;
        m_objectLimit = objectBytes;
    }
    static constexpr qint64 DefaultAnswerLimit = qint64(64) << 20;
    static constexpr qint64 DefaultObjectLimit = qint64(32) << 20;
    static constexpr int DefaultTimeoutMs = 60000;
    // What the client passed over so far (objects past the size limit), one sentence each.
    QStringList notes() const { return m_notes; }
    // The User-Agent the requests carry: the program and its version.
    static QByteArray userAgent();
    // Whether url lies on the origin the client sends its credentials to.
    bool sameOrigin(const QUrl &url) const;
    // Requests sent so far, to show what an operation costs.
    int requestCount() const { return m_requestCount; }

    using Done = std::function<void(const DavResult &)>;
    using ListingDone = std::function<void(const DavResult &, const DavListing &)>;
    using ObjectsDone = std::function<void(const DavResult &, const QList<DavObject> &)>;
    using PutDone = std::function<void(const DavResult &, const QString &newEtag)>;
    using ChangesDone = std::function<void(const DavResult &, const DavChanges &)>;
    using ResourcesDone = std::function<void(const DavResult &, const QList<DavResource> &)>;

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

    // PROPFIND of url (on the client's origin) for what the discovery needs: the kind of
    // resource, its display name and accepted components, the user's principal and the
    // calendar homes. Depth 0 or 1.
    void resources(const QUrl &url, int depth, ResourcesDone done);

    // The blocking forms.
    DavResult resourcesNow(const QUrl &url, int depth, QList<DavResource> *resources);
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
    struct Request;
    // The answer as far as it was kept: its first bytes, and the multistatus read from it
    // when one was asked for.
    struct Answer;
    using Finished = std::function<void(DavResult &, Answer &)>;
    using Headers = QList<std::pair<QByteArray, QByteArray>>;
    void send(const QByteArray &verb, const QString &href, const QByteArray &body,
              const Headers &headers, bool multistatus, Finished finished);
    void sendTo(const std::shared_ptr<Request> &request, const QUrl &url, int hops);
    void fetchParts(const QStringList &hrefs, std::shared_ptr<QList<DavObject>> objects,
                    ObjectsDone done);

    QUrl m_collection;
    QString m_user;
    QString m_password;
    int m_timeoutMs = DefaultTimeoutMs;
    QDeadlineTimer m_deadline{QDeadlineTimer::Forever};
    qint64 m_answerLimit = DefaultAnswerLimit;
    qint64 m_objectLimit = DefaultObjectLimit;
    int m_requestCount = 0;
    QStringList m_notes;
    QNetworkAccessManager *m_network;
};
