#include "sync/CannedServer.h"

#include <QTcpSocket>

CannedServer::CannedServer(const QByteArray &answer) : m_answer(answer)
{
    listen(QHostAddress::LocalHost, 0);
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                socket->readAll();
                if (!m_answer.isEmpty())
                    socket->write(m_answer);
            });
        }
    });
}

QUrl CannedServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/u/cal/").arg(serverPort()));
}

QByteArray httpAnswer(const QByteArray &status, const QByteArray &type, const QByteArray &body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}
