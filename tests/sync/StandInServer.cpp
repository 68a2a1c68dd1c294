#include "sync/StandInServer.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

StandInServer::StandInServer(Handler handler) : m_handler(std::move(handler))
{
    listen(QHostAddress::LocalHost, 0);
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                m_pending.remove(socket);
                socket->deleteLater();
            });
        }
    });
}

QUrl StandInServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
}

void StandInServer::readFrom(QTcpSocket *socket)
{
    QByteArray &buffer = m_pending[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        StandInRequest request;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines.at(i).indexOf(':');
            if (colon > 0)
                request.headers.insert(lines.at(i).left(colon).trimmed().toLower(),
                                       lines.at(i).mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length").toLongLong();
        if (buffer.size() < end + 4 + length)
            return;
        request.body = buffer.mid(end + 4, length);
        buffer.remove(0, end + 4 + length);
        m_requests.append(request);
        m_handler(request, socket);
    }
}

void answerNow(QTcpSocket *socket, const QByteArray &status, const QByteArray &type,
               const QByteArray &body, const QList<QByteArray> &headers)
{
    QByteArray text = "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
                      "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    for (const QByteArray &header : headers)
        text += header + "\r\n";
    socket->write(text + "\r\n" + body);
}

void answerDripping(QTcpSocket *socket, const QByteArray &head, const QByteArray &text,
                    int intervalMs)
{
    socket->write(head);
    auto *timer = new QTimer(socket);
    auto at = std::make_shared<qsizetype>(0);
    QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, text, at] {
        if (*at >= text.size() || socket->state() != QAbstractSocket::ConnectedState) {
            timer->stop();
            return;
        }
        socket->write(text.mid((*at)++, 1));
    });
    timer->start(intervalMs);
}

void answerStreaming(QTcpSocket *socket, const QByteArray &head,
                     std::function<QByteArray(qint64 written)> next)
{
    auto written = std::make_shared<qint64>(0);
    auto more = [socket, written, next] {
        if (socket->bytesToWrite() > 0 || socket->state() != QAbstractSocket::ConnectedState)
            return;
        const QByteArray part = next(*written);
        if (part.isEmpty())
            return;
        *written += part.size();
        socket->write(part);
    };
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
    socket->write(head);
}
