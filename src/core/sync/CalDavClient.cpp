#include "sync/CalDavClient.h"

#include "common/ProgramVersion.h"

#include <QEventLoop>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QXmlStreamReader>

#include <algorithm>

namespace {

const QString davNs = QStringLiteral("DAV:");
// What of an answer that is not read as a multistatus is kept (for the error it may name).
constexpr qint64 kHeadBytes = 64 * 1024;
// What of an answer may wait in memory before it is read.
constexpr qint64 kReadBufferBytes = 1024 * 1024;
// Redirects followed within the origin before the client gives up.
constexpr int kMaxRedirects = 5;

// One <response> of a multistatus answer: its href, its own status (a sync-collection
// answer marks a deleted member so) and the properties of its successful propstat.
struct DavResponse
{
    QString href;
    int status = 0;
    QMap<QString, QString> props;         // local name -> text
    QMap<QString, QStringList> hrefProps; // local name -> the hrefs inside it
    QByteArray calendarData;
    bool hasCalendarData = false;
    QStringList resourceTypes;
    QStringList components;
    bool componentsGiven = false;
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

// Reads a multistatus answer as its bytes arrive, keeping the responses and nothing of the
// text around them. One part (a text, an element with its attributes) larger than the
// part limit ends the reading: the parser would have to hold it whole.
class MultistatusParser
{
public:
    explicit MultistatusParser(qint64 partLimit) : m_partLimit(partLimit) {}

    Multistatus out;
    QString why;
    bool tooLarge = false;

    bool feed(const QByteArray &chunk)
    {
        if (!why.isEmpty())
            return false;
        m_xml.addData(chunk);
        m_sinceToken += chunk.size();
        if (!readTokens())
            return false;
        if (m_sinceToken > m_partLimit) {
            tooLarge = true;
            why = QStringLiteral("one part of the answer is larger than %1 MiB")
                      .arg(m_partLimit >> 20);
            return false;
        }
        return true;
    }

    bool finish()
    {
        if (!why.isEmpty())
            return false;
        if (!m_sawRoot) {
            why = QStringLiteral("the answer is empty");
            return false;
        }
        if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError || !m_xml.atEnd()) {
            why = QStringLiteral("the answer ends before its end");
            return false;
        }
        return true;
    }

private:
    enum class Text
    {
        None,
        Href,
        Status,
        SyncToken,
        PropHref
    };

    bool readTokens()
    {
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (m_xml.hasError()) {
                if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                    return true;
                why = QStringLiteral("unreadable XML (%1)").arg(m_xml.errorString());
                return false;
            }
            m_sinceToken = 0;
            if (!take(token))
                return false;
        }
        return true;
    }

    bool take(QXmlStreamReader::TokenType token)
    {
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = m_xml.name();
            if (!m_sawRoot) {
                if (name != QLatin1String("multistatus") || m_xml.namespaceUri() != davNs) {
                    why = QStringLiteral("the answer is not a WebDAV multistatus");
                    return false;
                }
                m_sawRoot = true;
                return true;
            }
            if (m_propDepth > 0) {
                ++m_propDepth;
                if (m_propDepth == 2) {
                    m_propName = name.toString();
                    m_propText.clear();
                    if (m_propName == QLatin1String("calendar-data")) {
                        m_propstat.calendarData.clear();
                        m_propstat.hasCalendarData = true;
                    } else if (m_propName == QLatin1String("supported-calendar-component-set")) {
                        m_propstat.componentsGiven = true;
                    }
                } else if (m_propDepth == 3) {
                    if (m_propName == QLatin1String("resourcetype"))
                        m_propstat.resourceTypes.append(name.toString());
                    else if (m_propName == QLatin1String("supported-calendar-component-set") &&
                             name == QLatin1String("comp"))
                        m_propstat.components.append(
                            m_xml.attributes().value(QLatin1String("name")).toString().toUpper());
                    else if (name == QLatin1String("href"))
                        startText(Text::PropHref);
                }
                return true;
            }
            if (name == QLatin1String("response")) {
                m_inResponse = true;
                m_response = DavResponse();
            } else if (m_inResponse && name == QLatin1String("propstat")) {
                m_inPropstat = true;
                m_propstatStatus = 0;
                m_propstat = DavResponse();
            } else if (m_inPropstat && name == QLatin1String("prop")) {
                m_propDepth = 1;
            } else if (m_inResponse && name == QLatin1String("href")) {
                startText(Text::Href);
            } else if (name == QLatin1String("status")) {
                startText(Text::Status);
            } else if (!m_inResponse && name == QLatin1String("sync-token")) {
                startText(Text::SyncToken);
            }
        } else if (token == QXmlStreamReader::Characters) {
            if (m_text != Text::None) {
                m_textValue += m_xml.text();
            } else if (m_propDepth == 2) {
                if (m_propName == QLatin1String("calendar-data"))
                    m_propstat.calendarData += m_xml.text().toUtf8();
                else
                    m_propText += m_xml.text();
                if (m_propText.size() > m_partLimit ||
                    m_propstat.calendarData.size() > m_partLimit) {
                    tooLarge = true;
                    why = QStringLiteral("one part of the answer is larger than %1 MiB")
                              .arg(m_partLimit >> 20);
                    return false;
                }
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (m_text != Text::None)
                endText();
            if (m_propDepth > 0) {
                if (m_propDepth == 2 && m_propName != QLatin1String("calendar-data"))
                    m_propstat.props.insert(m_propName, m_propText);
                --m_propDepth;
                return true;
            }
            const QStringView name = m_xml.name();
            if (name == QLatin1String("propstat")) {
                m_inPropstat = false;
                if (m_propstatStatus == 0 || m_propstatStatus / 100 == 2)
                    mergePropstat();
            } else if (name == QLatin1String("response")) {
                m_inResponse = false;
                if (m_response.href.isEmpty()) {
                    why = QStringLiteral("a response without an href");
                    return false;
                }
                out.responses.append(std::move(m_response));
                m_response = DavResponse();
            }
        }
        return true;
    }

    void startText(Text kind)
    {
        m_text = kind;
        m_textValue.clear();
    }

    void endText()
    {
        const QString value = m_textValue.trimmed();
        switch (m_text) {
        case Text::Href:
            m_response.href = value;
            break;
        case Text::Status:
            if (m_inPropstat)
                m_propstatStatus = statusCode(value);
            else if (m_inResponse)
                m_response.status = statusCode(value);
            break;
        case Text::SyncToken:
            out.syncToken = value;
            break;
        case Text::PropHref:
            m_propstat.hrefProps[m_propName].append(value);
            break;
        case Text::None:
            break;
        }
        m_text = Text::None;
        m_textValue.clear();
    }

    void mergePropstat()
    {
        for (auto it = m_propstat.props.cbegin(); it != m_propstat.props.cend(); ++it)
            m_response.props.insert(it.key(), it.value());
        for (auto it = m_propstat.hrefProps.cbegin(); it != m_propstat.hrefProps.cend(); ++it)
            m_response.hrefProps.insert(it.key(), it.value());
        if (m_propstat.hasCalendarData) {
            m_response.calendarData = std::move(m_propstat.calendarData);
            m_response.hasCalendarData = true;
        }
        m_response.resourceTypes += m_propstat.resourceTypes;
        if (m_propstat.componentsGiven) {
            m_response.components = m_propstat.components;
            m_response.componentsGiven = true;
        }
        m_response.isCollection = m_response.isCollection ||
                                  m_propstat.resourceTypes.contains(QStringLiteral("collection"));
        m_propstat = DavResponse();
    }

    QXmlStreamReader m_xml;
    qint64 m_partLimit;
    qint64 m_sinceToken = 0;
    bool m_sawRoot = false;
    bool m_inResponse = false;
    bool m_inPropstat = false;
    int m_propstatStatus = 0;
    int m_propDepth = 0; // depth below <prop>, 0 when outside
    QString m_propName;
    QString m_propText;
    Text m_text = Text::None;
    QString m_textValue;
    DavResponse m_response;
    DavResponse m_propstat; // what the propstat being read carries
};

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

int defaultPort(const QUrl &url)
{
    return url.port(url.scheme().toLower() == QLatin1String("https") ? 443 : 80);
}

QString byteSize(qint64 bytes)
{
    return QStringLiteral("%1 MiB").arg(bytes >> 20);
}

} // namespace

struct CalDavClient::Answer
{
    QByteArray head;
    std::unique_ptr<MultistatusParser> multistatus;
    qint64 received = 0;
    QUrl url;     // where the answer came from, after the redirects followed
    QString etag; // the ETag header, as the server sent it
};

struct CalDavClient::Request
{
    QByteArray verb;
    QByteArray body;
    Headers headers;
    bool multistatus = false;
    Finished finished;
};

CalDavClient::CalDavClient(const QUrl &collection, const QString &user, const QString &password,
                           QObject *parent)
    : QObject(parent), m_collection(collection), m_user(user), m_password(password),
      m_network(new QNetworkAccessManager(this))
{
    m_collection.setPath(trailingSlash(m_collection.path(QUrl::FullyEncoded)), QUrl::TolerantMode);
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

CalDavClient::~CalDavClient() = default;

QByteArray CalDavClient::userAgent()
{
    return "Ploxen Tasklume/" + ProgramVersion().toUtf8();
}

bool CalDavClient::sameOrigin(const QUrl &url) const
{
    return url.scheme().compare(m_collection.scheme(), Qt::CaseInsensitive) == 0 &&
           url.host().compare(m_collection.host(), Qt::CaseInsensitive) == 0 &&
           defaultPort(url) == defaultPort(m_collection);
}

QString CalDavClient::hrefFor(const QString &name) const
{
    return m_collection.path(QUrl::FullyEncoded) +
           QString::fromLatin1(QUrl::toPercentEncoding(name));
}

void CalDavClient::send(const QByteArray &verb, const QString &href, const QByteArray &body,
                        const Headers &headers, bool multistatus, Finished finished)
{
    auto request = std::make_shared<Request>();
    request->verb = verb;
    request->body = body;
    request->headers = headers;
    request->multistatus = multistatus;
    request->finished = std::move(finished);
    sendTo(request, href.isEmpty() ? m_collection : m_collection.resolved(QUrl(href)), 0);
}

void CalDavClient::sendTo(const std::shared_ptr<Request> &request, const QUrl &url, int hops)
{
    const QString what =
        QString::fromLatin1(request->verb) + QLatin1Char(' ') + url.toDisplayString();
    const auto failNow = [this, request](DavError error, const QString &message) {
        // Through the event loop, as an answer would come.
        QMetaObject::invokeMethod(
            this,
            [request, error, message] {
                DavResult result;
                result.error = error;
                result.message = message;
                Answer answer;
                request->finished(result, answer);
            },
            Qt::QueuedConnection);
    };
    if (!sameOrigin(url)) {
        failNow(DavError::Redirected,
                QStringLiteral("The server sent the request on to %1, another server than the "
                               "one given (%2); the user name and password go only to the "
                               "server given. If the new address is right, enter it in the "
                               "sync settings.")
                    .arg(url.toDisplayString(),
                         m_collection.adjusted(QUrl::RemovePath).toDisplayString()));
        return;
    }
    if (m_deadline.hasExpired()) {
        failNow(DavError::Timeout,
                QStringLiteral("The server did not answer in time: the run's time is up (%1).")
                    .arg(what));
        return;
    }
    const qint64 left = m_deadline.isForever()
                            ? qint64(m_timeoutMs)
                            : std::min<qint64>(m_timeoutMs, m_deadline.remainingTime());
    QNetworkRequest networkRequest(url);
    networkRequest.setTransferTimeout(int(std::max<qint64>(left, 1)));
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                                QNetworkRequest::AlwaysNetwork);
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::ManualRedirectPolicy);
    networkRequest.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    const QByteArray credentials = (m_user + QLatin1Char(':') + m_password).toUtf8().toBase64();
    networkRequest.setRawHeader("Authorization", "Basic " + credentials);
    for (const auto &header : request->headers)
        networkRequest.setRawHeader(header.first, header.second);
    if (!request->body.isEmpty() && !networkRequest.hasRawHeader("Content-Type"))
        networkRequest.setRawHeader("Content-Type", "application/xml; charset=utf-8");
    ++m_requestCount;
    QNetworkReply *reply =
        m_network->sendCustomRequest(networkRequest, request->verb, request->body);
    // The answer waits in the connection until it is read: what is held at once is a bounded
    // buffer and what the reading kept, however fast the server sends.
    reply->setReadBufferSize(kReadBufferBytes);

    auto answer = std::make_shared<Answer>();
    answer->url = url;
    if (request->multistatus)
        answer->multistatus = std::make_unique<MultistatusParser>(m_objectLimit);
    auto tooLarge = std::make_shared<bool>(false);
    auto timedOut = std::make_shared<bool>(false);

    // The whole answer has its deadline, however steadily it drips in.
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, reply, [reply, timedOut] {
        *timedOut = true;
        reply->abort();
    });
    deadline->start(int(std::max<qint64>(left, 1)));

    const auto readSome = [this, reply, answer, tooLarge] {
        if (*tooLarge)
            return;
        const QByteArray chunk = reply->readAll();
        answer->received += chunk.size();
        if (answer->received > m_answerLimit) {
            *tooLarge = true;
        } else if (answer->multistatus &&
                   reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 207) {
            if (!answer->multistatus->feed(chunk) && answer->multistatus->tooLarge)
                *tooLarge = true;
        } else if (answer->head.size() < kHeadBytes) {
            answer->head += chunk.left(kHeadBytes - answer->head.size());
        }
        if (*tooLarge)
            reply->abort();
    };
    connect(reply, &QNetworkReply::readyRead, this, readSome);
    // No dialogue about credentials: a refused password is an answer like any other.
    connect(
        reply, &QNetworkReply::finished, this,
        [this, reply, request, url, what, hops, answer, tooLarge, timedOut, readSome] {
            reply->deleteLater();
            if (!*tooLarge && !*timedOut)
                readSome();
            DavResult result;
            result.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (*tooLarge) {
                result.error = DavError::TooLarge;
                result.message = answer->received > m_answerLimit
                                     ? QStringLiteral("The server's answer is larger than %1 (%2).")
                                           .arg(byteSize(m_answerLimit), what)
                                     : QStringLiteral("The server's answer holds an object larger "
                                                      "than %1 (%2).")
                                           .arg(byteSize(m_objectLimit), what);
            } else if (*timedOut || (result.httpStatus == 0 &&
                                     (reply->error() == QNetworkReply::OperationCanceledError ||
                                      reply->error() == QNetworkReply::TimeoutError))) {
                result.error = DavError::Timeout;
                result.message =
                    QStringLiteral("The server did not answer in time (%1).").arg(what);
            } else if (result.httpStatus == 0) {
                result.error = DavError::ConnectionFailed;
                result.message = QStringLiteral("The server cannot be reached (%1): %2")
                                     .arg(what, reply->errorString());
            } else if (result.httpStatus / 100 == 3 && result.httpStatus != 304) {
                const QUrl target =
                    reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
                if (target.isEmpty()) {
                    result.error = DavError::BadAnswer;
                    result.message =
                        QStringLiteral("The server answered %1 without saying where to (%2).")
                            .arg(result.httpStatus)
                            .arg(what);
                } else if (hops >= kMaxRedirects) {
                    result.error = DavError::Redirected;
                    result.message =
                        QStringLiteral("The server sends the request on and on (%1).").arg(what);
                } else {
                    // Within the origin the request goes on; elsewhere sendTo refuses.
                    sendTo(request, url.resolved(target), hops + 1);
                    return;
                }
            } else if (result.httpStatus == 401) {
                result.error = DavError::Unauthorized;
                result.message =
                    QStringLiteral("The server refused the user name or password (%1).").arg(what);
            } else if (result.httpStatus == 403) {
                result.error = DavError::Forbidden;
                result.message =
                    QStringLiteral("The server accepted the log-in but does not allow this "
                                   "here (%1): is the address that of a calendar "
                                   "collection of this user?")
                        .arg(what);
            } else if (result.httpStatus == 412) {
                result.error = DavError::Conflict;
                result.message = QStringLiteral("The object was changed on the server by "
                                                "someone else (%1).")
                                     .arg(what);
            } else if (result.httpStatus == 404) {
                result.error = DavError::NotFound;
                result.message = QStringLiteral("The server does not know %1.").arg(url.path());
            } else if (result.httpStatus >= 400) {
                result.error = DavError::HttpError;
                result.message =
                    QStringLiteral("The server answered %1 %2 (%3).")
                        .arg(result.httpStatus)
                        .arg(
                            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString(),
                            what);
            }
            answer->etag = QString::fromUtf8(reply->rawHeader("ETag"));
            request->finished(result, *answer);
        });
}

namespace {

// A multistatus answer from a request that finished with success.
template <class Answer> bool readMultistatus(DavResult &result, Answer &answer, Multistatus *out)
{
    if (!result.ok())
        return false;
    QString why;
    if (result.httpStatus != 207)
        why = QStringLiteral("status %1 instead of a multistatus").arg(result.httpStatus);
    else if (!answer.multistatus || !answer.multistatus->finish())
        why = answer.multistatus ? answer.multistatus->why : QStringLiteral("no answer");
    if (why.isEmpty()) {
        *out = std::move(answer.multistatus->out);
        return true;
    }
    result.error = DavError::BadAnswer;
    result.message = QStringLiteral("The server gave an answer that is not CalDAV (%1): %2")
                         .arg(answer.url.toDisplayString(), why);
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
    send("MKCALENDAR", QString(), body, {}, false,
         [done](DavResult &result, Answer &) { done(result); });
}

void CalDavClient::list(ListingDone done)
{
    const QByteArray body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
        "<d:propfind xmlns:d=\"DAV:\" xmlns:cs=\"http://calendarserver.org/ns/\"><d:prop>"
        "<d:resourcetype/><d:getetag/><d:sync-token/><cs:getctag/></d:prop></d:propfind>";
    const QString own = m_collection.path(QUrl::FullyEncoded);
    send("PROPFIND", QString(), body, {{"Depth", "1"}}, true,
         [done, own](DavResult &result, Answer &answer) {
             Multistatus multistatus;
             DavListing listing;
             if (readMultistatus(result, answer, &multistatus)) {
                 for (const DavResponse &response : std::as_const(multistatus.responses)) {
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
    fetchParts(hrefs, std::make_shared<QList<DavObject>>(), std::move(done));
}

// A multiget whose answer holds an object past the limit is asked again in halves, so that
// only the objects past it are passed over (with a note) and the others still come.
void CalDavClient::fetchParts(const QStringList &hrefs, std::shared_ptr<QList<DavObject>> objects,
                              ObjectsDone done)
{
    QString body = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
        "<c:calendar-multiget xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">"
        "<d:prop><d:getetag/><c:calendar-data/></d:prop>");
    for (const QString &href : hrefs)
        body += QStringLiteral("<d:href>%1</d:href>").arg(escaped(href));
    body += QStringLiteral("</c:calendar-multiget>");
    const QPointer<CalDavClient> self(this);
    send("REPORT", QString(), body.toUtf8(), {{"Depth", "1"}}, true,
         [self, hrefs, objects, done](DavResult &result, Answer &answer) {
             if (result.error == DavError::TooLarge && self) {
                 if (hrefs.size() == 1) {
                     self->m_notes.append(
                         QStringLiteral("Passed over %1 on the server: it is larger than %2.")
                             .arg(hrefs.first(), byteSize(self->m_objectLimit)));
                     done(DavResult(), *objects);
                     return;
                 }
                 const QStringList first = hrefs.mid(0, hrefs.size() / 2);
                 const QStringList second = hrefs.mid(hrefs.size() / 2);
                 self->fetchParts(
                     first, objects,
                     [self, second, objects, done](const DavResult &r, const QList<DavObject> &) {
                         if (!r.ok() || !self) {
                             done(r, {});
                             return;
                         }
                         self->fetchParts(second, objects, done);
                     });
                 return;
             }
             Multistatus multistatus;
             if (readMultistatus(result, answer, &multistatus)) {
                 for (DavResponse &response : multistatus.responses) {
                     if (response.status != 0 && response.status / 100 != 2)
                         continue; // gone since it was listed
                     if (!response.hasCalendarData)
                         continue;
                     objects->append({hrefPath(response.href),
                                      response.props.value(QStringLiteral("getetag")),
                                      std::move(response.calendarData)});
                 }
             }
             done(result, result.ok() ? *objects : QList<DavObject>());
         });
}

void CalDavClient::put(const QString &href, const QByteArray &data, const QString &etag,
                       PutDone done)
{
    Headers headers{{"Content-Type", "text/calendar; charset=utf-8"}};
    if (etag.isEmpty())
        headers.append(std::pair<QByteArray, QByteArray>("If-None-Match", "*"));
    else
        headers.append(std::pair<QByteArray, QByteArray>("If-Match", etag.toUtf8()));
    send("PUT", href, data, headers, false, [done](DavResult &result, Answer &answer) {
        done(result, result.ok() ? answer.etag : QString());
    });
}

void CalDavClient::remove(const QString &href, const QString &etag, Done done)
{
    Headers headers;
    if (!etag.isEmpty())
        headers.append(std::pair<QByteArray, QByteArray>("If-Match", etag.toUtf8()));
    send("DELETE", href, {}, headers, false, [done](DavResult &result, Answer &) { done(result); });
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
    send("REPORT", QString(), body, {{"Depth", "0"}}, true,
         [done](DavResult &result, Answer &answer) {
             DavChanges changes;
             if ((result.httpStatus == 403 || result.httpStatus == 409) &&
                 answer.head.contains("valid-sync-token")) {
                 result.error = DavError::SyncTokenInvalid;
                 result.message = QStringLiteral(
                     "The server no longer knows the sync token; a full listing is needed.");
             }
             Multistatus multistatus;
             if (readMultistatus(result, answer, &multistatus)) {
                 for (const DavResponse &response : std::as_const(multistatus.responses)) {
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

void CalDavClient::resources(const QUrl &url, int depth, ResourcesDone done)
{
    const QByteArray body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
        "<d:propfind xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\"><d:prop>"
        "<d:resourcetype/><d:displayname/><d:current-user-principal/>"
        "<c:calendar-home-set/><c:supported-calendar-component-set/></d:prop></d:propfind>";
    send("PROPFIND", url.toString(QUrl::FullyEncoded), body, {{"Depth", depth == 0 ? "0" : "1"}},
         true, [done](DavResult &result, Answer &answer) {
             Multistatus multistatus;
             QList<DavResource> resources;
             if (readMultistatus(result, answer, &multistatus)) {
                 const auto urls = [&answer](const QStringList &hrefs) {
                     QList<QUrl> out;
                     for (const QString &href : hrefs)
                         out.append(answer.url.resolved(QUrl(href)));
                     return out;
                 };
                 for (const DavResponse &response : std::as_const(multistatus.responses)) {
                     if (response.status != 0 && response.status / 100 != 2)
                         continue;
                     DavResource resource;
                     resource.url = answer.url.resolved(QUrl(response.href));
                     resource.displayName =
                         response.props.value(QStringLiteral("displayname")).trimmed();
                     resource.isCollection = response.isCollection;
                     resource.isCalendar =
                         response.resourceTypes.contains(QStringLiteral("calendar"));
                     resource.components = response.components;
                     resource.componentsGiven = response.componentsGiven;
                     resource.principals =
                         urls(response.hrefProps.value(QStringLiteral("current-user-principal")));
                     resource.homeSets =
                         urls(response.hrefProps.value(QStringLiteral("calendar-home-set")));
                     resources.append(resource);
                 }
             }
             done(result, result.ok() ? resources : QList<DavResource>());
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

DavResult CalDavClient::resourcesNow(const QUrl &url, int depth, QList<DavResource> *resources)
{
    DavResult out;
    runToEnd([&](auto end) {
        this->resources(url, depth, [&, end](const DavResult &r, const QList<DavResource> &l) {
            out = r;
            *resources = l;
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
