#include "sync/StandInDavServer.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrl>

namespace {

const QString Collection = QStringLiteral("/u/cal/");

QByteArray reply(const QByteArray &status, const QByteArray &body = {},
                 const QList<QByteArray> &headers = {})
{
    QByteArray text =
        "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    for (const QByteArray &header : headers)
        text += header + "\r\n";
    return text + "\r\n" + body;
}

QByteArray xmlEscaped(const QByteArray &text)
{
    return QString::fromUtf8(text).toHtmlEscaped().toUtf8();
}

// A path as an href: percent-encoded, as servers write them.
QByteArray hrefOf(const QString &path)
{
    return xmlEscaped(QUrl::toPercentEncoding(path, "/"));
}

QByteArray multistatus(const QByteArray &responses)
{
    return reply("207 Multi-Status",
                 "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<D:multistatus xmlns:D=\"DAV:\" "
                 "xmlns:C=\"urn:ietf:params:xml:ns:caldav\">" +
                     responses + "</D:multistatus>",
                 {"Content-Type: application/xml; charset=utf-8"});
}

} // namespace

StandInDavServer::StandInDavServer()
{
    listen(QHostAddress::LocalHost, 0);
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = nextPendingConnection()) {
            auto *buffer = new QByteArray;
            connect(socket, &QObject::destroyed, socket, [buffer] { delete buffer; });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                // Every whole request in the buffer, one after another on the connection.
                for (;;) {
                    const qsizetype headEnd = buffer->indexOf("\r\n\r\n");
                    if (headEnd < 0)
                        return;
                    Request request;
                    const QList<QByteArray> lines = buffer->left(headEnd).split('\n');
                    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
                    request.method = first.value(0);
                    request.path = QUrl::fromPercentEncoding(first.value(1)).toUtf8();
                    for (qsizetype i = 1; i < lines.size(); ++i) {
                        const qsizetype colon = lines[i].indexOf(':');
                        if (colon > 0)
                            request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                                   lines[i].mid(colon + 1).trimmed());
                    }
                    const qsizetype length = request.headers.value("content-length").toLongLong();
                    if (buffer->size() < headEnd + 4 + length)
                        return;
                    request.body = buffer->mid(headEnd + 4, length);
                    buffer->remove(0, headEnd + 4 + length);
                    m_requests.append(request.method + ' ' + request.path);
                    socket->write(answer(request));
                }
            });
        }
    });
}

QUrl StandInDavServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(Collection));
}

QByteArray StandInDavServer::etagOf(const QString &path) const
{
    return '"' + QCryptographicHash::hash(m_objects.value(path), QCryptographicHash::Sha1).toHex() +
           '"';
}

void StandInDavServer::putObject(const QString &name, const QByteArray &data)
{
    m_objects.insert(Collection + name, data);
}

QByteArray StandInDavServer::answer(const Request &request)
{
    const QString path = QString::fromUtf8(request.path);
    if (request.method == "PROPFIND") {
        // The collection and its objects, with ETags and no sync token.
        QByteArray responses = "<D:response><D:href>" + Collection.toUtf8() +
                               "</D:href><D:propstat><D:prop><D:resourcetype><D:collection/>"
                               "<C:calendar/></D:resourcetype></D:prop>"
                               "<D:status>HTTP/1.1 200 OK</D:status></D:propstat>"
                               "<D:propstat><D:prop><D:sync-token/></D:prop>"
                               "<D:status>HTTP/1.1 404 Not Found</D:status></D:propstat>"
                               "</D:response>";
        for (auto it = m_objects.cbegin(); it != m_objects.cend(); ++it)
            responses += "<D:response><D:href>" + hrefOf(it.key()) +
                         "</D:href><D:propstat><D:prop><D:resourcetype/><D:getetag>" +
                         xmlEscaped(etagOf(it.key())) +
                         "</D:getetag></D:prop><D:status>HTTP/1.1 200 OK</D:status>"
                         "</D:propstat></D:response>";
        return multistatus(responses);
    }
    if (request.method == "REPORT") {
        if (!request.body.contains("calendar-multiget"))
            return reply("403 Forbidden",
                         "<?xml version=\"1.0\"?><D:error xmlns:D=\"DAV:\">"
                         "<D:supported-report/></D:error>",
                         {"Content-Type: application/xml"});
        static const QRegularExpression hrefs(QStringLiteral("<[A-Za-z]*:?href>([^<]*)<"));
        QByteArray responses;
        for (const auto &match : hrefs.globalMatch(QString::fromUtf8(request.body))) {
            QString text = match.captured(1).trimmed();
            text.replace(QLatin1String("&lt;"), QLatin1String("<"))
                .replace(QLatin1String("&gt;"), QLatin1String(">"))
                .replace(QLatin1String("&quot;"), QLatin1String("\""))
                .replace(QLatin1String("&apos;"), QLatin1String("'"))
                .replace(QLatin1String("&amp;"), QLatin1String("&"));
            const QString href = QUrl::fromPercentEncoding(text.toUtf8());
            responses += "<D:response><D:href>" + hrefOf(href) + "</D:href>";
            if (m_objects.contains(href))
                responses += "<D:propstat><D:prop><D:getetag>" + xmlEscaped(etagOf(href)) +
                             "</D:getetag><C:calendar-data>" + xmlEscaped(m_objects.value(href)) +
                             "</C:calendar-data></D:prop><D:status>HTTP/1.1 200 OK</D:status>"
                             "</D:propstat></D:response>";
            else
                responses += "<D:status>HTTP/1.1 404 Not Found</D:status></D:response>";
        }
        return multistatus(responses);
    }
    if (request.method == "GET")
        return m_objects.contains(path)
                   ? reply("200 OK", m_objects.value(path), {"ETag: " + etagOf(path)})
                   : reply("404 Not Found");
    if (request.method == "PUT") {
        ++m_puts[path];
        if (!m_refused.isEmpty() && request.body.contains(m_refused))
            return reply(m_refusedStatus, "The object breaks a rule of this server.",
                         {"Content-Type: text/plain"});
        const QByteArray ifMatch = request.headers.value("if-match");
        const bool exists = m_objects.contains(path);
        if ((request.headers.value("if-none-match") == "*" && exists) ||
            (!ifMatch.isEmpty() && (!exists || ifMatch != etagOf(path))))
            return reply("412 Precondition Failed");
        m_objects.insert(path, request.body);
        QList<QByteArray> headers;
        if (m_etagOnPut)
            headers.append("ETag: " + etagOf(path));
        return reply(exists ? "204 No Content" : "201 Created", {}, headers);
    }
    if (request.method == "DELETE")
        return m_objects.remove(path) > 0 ? reply("204 No Content") : reply("404 Not Found");
    return reply("405 Method Not Allowed");
}
