#include "sync/CalDavClient.h"

#include <QEventLoop>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QXmlStreamReader>

namespace {

const QString davNs = QStringLiteral("DAV:");

// One <response> of a multistatus answer: its href, its own status (a sync-collection
// answer marks a deleted member so) and the properties of its successful propstat.
struct DavResponse
{
    QString href;
    int status = 0;
    QMap<QString, QString> props; // local name -> text
    bool isCollection = false;
};

struct Multistatus
{
    QList<DavResponse> responses;
    QString syncToken; // the top-level token of a sync-collection answer
};

int statusCode(const QString &statusLine)
{
    // "HTTP/1.1 200 OK"
    const QStringList parts = statusLine.simplified().split(QLatin1Char(' '));
    return parts.size() >= 2 ? parts.at(1).toInt() : 0;
}

bool parseMultistatus(const QByteArray &body, Multistatus *out, QString *why)
{
    QXmlStreamReader xml(body);
    bool sawRoot = false;
    DavResponse response;
    bool inResponse = false;
    bool inPropstat = false;
    int propstatStatus = 0;
    QMap<QString, QString> propstatProps;
    bool propstatCollection = false;
    int propDepth = 0; // depth below <prop>, 0 when outside
    QString propName;
    QString propText;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QString name = xml.name().toString();
            if (!sawRoot) {
                if (name != QLatin1String("multistatus") || xml.namespaceUri() != davNs) {
                    *why = QStringLiteral("the answer is not a WebDAV multistatus");
                    return false;
                }
                sawRoot = true;
                continue;
            }
            if (propDepth > 0) {
                ++propDepth;
                if (propDepth == 2) {
                    propName = name;
                    propText.clear();
                } else if (propName == QLatin1String("resourcetype") &&
                           name == QLatin1String("collection")) {
                    propstatCollection = true;
                }
                continue;
            }
            if (name == QLatin1String("response")) {
                inResponse = true;
                response = DavResponse();
            } else if (inResponse && name == QLatin1String("propstat")) {
                inPropstat = true;
                propstatStatus = 0;
                propstatProps.clear();
                propstatCollection = false;
            } else if (inPropstat && name == QLatin1String("prop")) {
                propDepth = 1;
            } else if (inResponse && name == QLatin1String("href")) {
                response.href = xml.readElementText().trimmed();
            } else if (name == QLatin1String("status")) {
                const int code = statusCode(xml.readElementText());
                if (inPropstat)
                    propstatStatus = code;
                else if (inResponse)
                    response.status = code;
            } else if (!inResponse && name == QLatin1String("sync-token")) {
                out->syncToken = xml.readElementText().trimmed();
            }
        } else if (xml.isCharacters() && propDepth == 2) {
            propText += xml.text();
        } else if (xml.isEndElement()) {
            if (propDepth > 0) {
                if (propDepth == 2)
                    propstatProps.insert(propName, propText);
                --propDepth;
                continue;
            }
            const QStringView name = xml.name();
            if (name == QLatin1String("propstat")) {
                inPropstat = false;
                if (propstatStatus == 0 || propstatStatus / 100 == 2) {
                    for (auto it = propstatProps.cbegin(); it != propstatProps.cend(); ++it)
                        response.props.insert(it.key(), it.value());
                    response.isCollection = response.isCollection || propstatCollection;
                }
            } else if (name == QLatin1String("response")) {
                inResponse = false;
                if (response.href.isEmpty()) {
                    *why = QStringLiteral("a response without an href");
                    return false;
                }
                out->responses.append(response);
            }
        }
    }
    if (xml.hasError()) {
        *why = QStringLiteral("unreadable XML (%1)").arg(xml.errorString());
        return false;
    }
    if (!sawRoot) {
        *why = QStringLiteral("the answer is empty");
        return false;
    }
    return true;
}

// The path of an href as the server spells it, percent-encoded, so that names compare
// whatever the server chose to encode.
QString hrefPath(const QString &href)
{
    return QUrl(href).path(QUrl::FullyEncoded);
}

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString trailingSlash(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

} // namespace

CalDavClient::CalDavClient(const QUrl &collection, const QString &user, const QString &password,
                           QObject *parent)
    : QObject(parent), m_collection(collection), m_user(user), m_password(password),
      m_network(new QNetworkAccessManager(this))
{
    m_collection.setPath(trailingSlash(m_collection.path(QUrl::FullyEncoded)));
}

CalDavClient::~CalDavClient() = default;

QString CalDavClient::hrefFor(const QString &name) const
{
    return m_collection.path(QUrl::FullyEncoded) +
           QString::fromLatin1(QUrl::toPercentEncoding(name));
}

void CalDavClient::send(const QByteArray &verb, const QString &href, const QByteArray &body,
                        const QList<std::pair<QByteArray, QByteArray>> &headers, Finished finished)
{
    const QUrl url = href.isEmpty() ? m_collection : m_collection.resolved(QUrl(href));
    QNetworkRequest request(url);
    request.setTransferTimeout(m_timeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    const QByteArray credentials = (m_user + QLatin1Char(':') + m_password).toUtf8().toBase64();
    request.setRawHeader("Authorization", "Basic " + credentials);
    for (const auto &header : headers)
        request.setRawHeader(header.first, header.second);
    if (!body.isEmpty() && !request.hasRawHeader("Content-Type"))
        request.setRawHeader("Content-Type", "application/xml; charset=utf-8");
    ++m_requestCount;
    QNetworkReply *reply = m_network->sendCustomRequest(request, verb, body);
    // No dialogue about credentials: a refused password is an answer like any other.
    connect(reply, &QNetworkReply::finished, this, [reply, verb, url, finished] {
        reply->deleteLater();
        DavResult result;
        result.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QString what = QString::fromLatin1(verb) + QLatin1Char(' ') + url.toDisplayString();
        if (result.httpStatus == 0) {
            const auto error = reply->error();
            const bool timedOut = error == QNetworkReply::OperationCanceledError ||
                                  error == QNetworkReply::TimeoutError;
            result.error = timedOut ? DavError::Timeout : DavError::ConnectionFailed;
            result.message =
                timedOut ? QStringLiteral("The server did not answer in time (%1).").arg(what)
                         : QStringLiteral("The server cannot be reached (%1): %2")
                               .arg(what, reply->errorString());
        } else if (result.httpStatus == 401 || result.httpStatus == 403) {
            result.error = DavError::Unauthorized;
            result.message =
                QStringLiteral("The server refused the user name or password (%1).").arg(what);
        } else if (result.httpStatus == 412) {
            result.error = DavError::Conflict;
            result.message = QStringLiteral("The object was changed on the server by someone "
                                            "else (%1).")
                                 .arg(what);
        } else if (result.httpStatus == 404) {
            result.error = DavError::NotFound;
            result.message = QStringLiteral("The server does not know %1.").arg(url.path());
        } else if (result.httpStatus >= 400) {
            result.error = DavError::HttpError;
            result.message =
                QStringLiteral("The server answered %1 %2 (%3).")
                    .arg(result.httpStatus)
                    .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString(),
                         what);
        }
        finished(result, reply);
    });
}

namespace {

// A multistatus answer from a reply that finished with success.
bool readMultistatus(DavResult &result, QNetworkReply *reply, Multistatus *out)
{
    if (!result.ok())
        return false;
    QString why;
    if (result.httpStatus != 207)
        why = QStringLiteral("status %1 instead of a multistatus").arg(result.httpStatus);
    else
        parseMultistatus(reply->readAll(), out, &why);
    if (why.isEmpty())
        return true;
    result.error = DavError::BadAnswer;
    result.message = QStringLiteral("The server gave an answer that is not CalDAV (%1): %2")
                         .arg(reply->url().toDisplayString(), why);
    return false;
}

} // namespace

void CalDavClient::createCalendar(const QString &displayName, Done done)
{
    const QByteArray body =
        (QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                        "<c:mkcalendar xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">"
                        "<d:set><d:prop><d:displayname>%1</d:displayname>"
                        "<c:supported-calendar-component-set>"
                        "<c:comp name=\"VTODO\"/><c:comp name=\"VJOURNAL\"/>"
                        "</c:supported-calendar-component-set></d:prop></d:set></c:mkcalendar>")
             .arg(escaped(displayName)))
            .toUtf8();
    send("MKCALENDAR", QString(), body, {},
         [done](const DavResult &result, QNetworkReply *) { done(result); });
}

void CalDavClient::list(ListingDone done)
{
    const QByteArray body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
        "<d:propfind xmlns:d=\"DAV:\" xmlns:cs=\"http://calendarserver.org/ns/\"><d:prop>"
        "<d:resourcetype/><d:getetag/><d:sync-token/><cs:getctag/></d:prop></d:propfind>";
    const QString own = m_collection.path(QUrl::FullyEncoded);
    send("PROPFIND", QString(), body, {{"Depth", "1"}},
         [done, own](DavResult result, QNetworkReply *reply) {
             Multistatus multistatus;
             DavListing listing;
             if (readMultistatus(result, reply, &multistatus)) {
                 for (const DavResponse &response : multistatus.responses) {
                     const QString path = hrefPath(response.href);
                     if (trailingSlash(path) == own) {
                         listing.syncToken = response.props.value(QStringLiteral("sync-token"));
                         listing.ctag = response.props.value(QStringLiteral("getctag"));
                     } else if (!response.isCollection) {
                         listing.objects.append(
                             {path, response.props.value(QStringLiteral("getetag")), {}});
                     }
                 }
             }
             done(result, result.ok() ? listing : DavListing());
         });
}

void CalDavClient::fetch(const QStringList &hrefs, ObjectsDone done)
{
    QString body = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
        "<c:calendar-multiget xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">"
        "<d:prop><d:getetag/><c:calendar-data/></d:prop>");
    for (const QString &href : hrefs)
        body += QStringLiteral("<d:href>%1</d:href>").arg(escaped(href));
    body += QStringLiteral("</c:calendar-multiget>");
    send("REPORT", QString(), body.toUtf8(), {{"Depth", "1"}},
         [done](DavResult result, QNetworkReply *reply) {
             Multistatus multistatus;
             QList<DavObject> objects;
             if (readMultistatus(result, reply, &multistatus)) {
                 for (const DavResponse &response : multistatus.responses) {
                     if (response.status != 0 && response.status / 100 != 2)
                         continue; // gone since it was listed
                     if (!response.props.contains(QStringLiteral("calendar-data")))
                         continue;
                     objects.append(
                         {hrefPath(response.href), response.props.value(QStringLiteral("getetag")),
                          response.props.value(QStringLiteral("calendar-data")).toUtf8()});
                 }
             }
             done(result, objects);
         });
}

void CalDavClient::put(const QString &href, const QByteArray &data, const QString &etag,
                       PutDone done)
{
    QList<std::pair<QByteArray, QByteArray>> headers{
        {"Content-Type", "text/calendar; charset=utf-8"}};
    if (etag.isEmpty())
        headers.append(std::pair<QByteArray, QByteArray>("If-None-Match", "*"));
    else
        headers.append(std::pair<QByteArray, QByteArray>("If-Match", etag.toUtf8()));
    send("PUT", href, data, headers, [done](const DavResult &result, QNetworkReply *reply) {
        done(result, result.ok() ? QString::fromUtf8(reply->rawHeader("ETag")) : QString());
    });
}

void CalDavClient::remove(const QString &href, const QString &etag, Done done)
{
    QList<std::pair<QByteArray, QByteArray>> headers;
    if (!etag.isEmpty())
        headers.append(std::pair<QByteArray, QByteArray>("If-Match", etag.toUtf8()));
    send("DELETE", href, {}, headers,
         [done](const DavResult &result, QNetworkReply *) { done(result); });
}

void CalDavClient::changesSince(const QString &syncToken, ChangesDone done)
{
    const QByteArray body =
        (QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                        "<d:sync-collection xmlns:d=\"DAV:\"><d:sync-token>%1</d:sync-token>"
                        "<d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop>"
                        "</d:sync-collection>")
             .arg(escaped(syncToken)))
            .toUtf8();
    send("REPORT", QString(), body, {{"Depth", "0"}},
         [done](DavResult result, QNetworkReply *reply) {
             DavChanges changes;
             if (result.httpStatus == 403 || result.httpStatus == 409) {
                 const QByteArray answer = reply->readAll();
                 if (answer.contains("valid-sync-token")) {
                     result.error = DavError::SyncTokenInvalid;
                     result.message = QStringLiteral(
                         "The server no longer knows the sync token; a full listing is needed.");
                 }
             }
             Multistatus multistatus;
             if (readMultistatus(result, reply, &multistatus)) {
                 for (const DavResponse &response : multistatus.responses) {
                     const QString path = hrefPath(response.href);
                     if (response.status == 404)
                         changes.deleted.append(path);
                     else if (!response.isCollection)
                         changes.changed.append(
                             {path, response.props.value(QStringLiteral("getetag")), {}});
                 }
                 changes.syncToken = multistatus.syncToken;
             }
             done(result, result.ok() ? changes : DavChanges());
         });
}

namespace {

// Runs one asynchronous operation to its end in a local event loop.
template <typename Start> void runToEnd(Start start)
{
    QEventLoop loop;
    bool finished = false;
    start([&] {
        finished = true;
        loop.quit();
    });
    if (!finished)
        loop.exec();
}

} // namespace

DavResult CalDavClient::createCalendarNow(const QString &displayName)
{
    DavResult out;
    runToEnd([&](auto end) {
        createCalendar(displayName, [&, end](const DavResult &r) {
            out = r;
            end();
        });
    });
    return out;
}

DavResult CalDavClient::listNow(DavListing *listing)
{
    DavResult out;
    runToEnd([&](auto end) {
        list([&, end](const DavResult &r, const DavListing &l) {
            out = r;
            *listing = l;
            end();
        });
    });
    return out;
}

DavResult CalDavClient::fetchNow(const QStringList &hrefs, QList<DavObject> *objects)
{
    DavResult out;
    runToEnd([&](auto end) {
        fetch(hrefs, [&, end](const DavResult &r, const QList<DavObject> &o) {
            out = r;
            *objects = o;
            end();
        });
    });
    return out;
}

DavResult CalDavClient::putNow(const QString &href, const QByteArray &data, const QString &etag,
                               QString *newEtag)
{
    DavResult out;
    runToEnd([&](auto end) {
        put(href, data, etag, [&, end](const DavResult &r, const QString &e) {
            out = r;
            if (newEtag)
                *newEtag = e;
            end();
        });
    });
    return out;
}

DavResult CalDavClient::removeNow(const QString &href, const QString &etag)
{
    DavResult out;
    runToEnd([&](auto end) {
        remove(href, etag, [&, end](const DavResult &r) {
            out = r;
            end();
        });
    });
    return out;
}

DavResult CalDavClient::changesSinceNow(const QString &syncToken, DavChanges *changes)
{
    DavResult out;
    runToEnd([&](auto end) {
        changesSince(syncToken, [&, end](const DavResult &r, const DavChanges &c) {
            out = r;
            *changes = c;
            end();
        });
    });
    return out;
}
