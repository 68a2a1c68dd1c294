#include "InstanceServer.h"

#include "SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QVariant>

InstanceServer::InstanceServer(QObject *parent) : QObject(parent) {}

InstanceServer::~InstanceServer()
{
    release();
}

bool InstanceServer::listen()
{
    release();
    m_heldByAnother = false;
    const QString name = SingleInstance::serverName();
    if (name.isEmpty())
        return false;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(name)) {
        // A socket left behind by a copy that did not end normally answers nobody.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(500)) {
            m_heldByAnother = SingleInstance::isSameUser(probe.socketDescriptor());
            release();
            return false;
        }
        QLocalServer::removeServer(name);
        if (!m_server->listen(name)) {
            release();
            return false;
        }
    }
    connect(m_server, &QLocalServer::newConnection, this, &InstanceServer::onNewConnection);
    return true;
}

QString InstanceServer::fullServerName() const
{
    return m_server && m_server->isListening() ? m_server->fullServerName() : QString();
}

void InstanceServer::release()
{
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
}

void InstanceServer::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (!SingleInstance::isSameUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        serve(socket);
    }
}

void InstanceServer::serve(QLocalSocket *socket)
{
    // Too many at once: the oldest goes (each connection is a child, oldest first).
    const auto children = m_server->findChildren<QLocalSocket *>(Qt::FindDirectChildrenOnly);
    QList<QLocalSocket *> open;
    for (QLocalSocket *child : children) {
        if (child->state() == QLocalSocket::ConnectedState)
            open.append(child);
    }
    if (open.size() > SingleInstance::kMaxConnections)
        open.first()->abort();

    // The line is read into memory up to the cap and no further.
    socket->setReadBufferSize(SingleInstance::kMaxRequest + 1);
    auto *idle = new QTimer(socket);
    idle->setSingleShot(true);
    idle->setInterval(SingleInstance::kIdleMs);
    connect(idle, &QTimer::timeout, socket, [socket, idle] {
        // What came while this program was busy elsewhere is no idleness.
        if (socket->waitForReadyRead(0)) {
            idle->start();
            return;
        }
        socket->abort();
    });
    idle->start();
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::bytesWritten, idle, qOverload<>(&QTimer::start));
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, idle] {
        idle->start();
        if (socket->property("answered").toBool()) {
            socket->skip(socket->bytesAvailable());
            return;
        }
        if (!socket->canReadLine()) {
            // A longer line is refused unread.
            if (socket->bytesAvailable() > SingleInstance::kMaxRequest)
                socket->abort();
            return;
        }
        const QByteArray line = socket->readLine(SingleInstance::kMaxRequest + 2);
        if (line.size() > SingleInstance::kMaxRequest) {
            socket->abort();
            return;
        }
        socket->setProperty("answered", true);
        const QPointer<QLocalSocket> guard(socket);
        QByteArray reply;
        if (line == SingleInstance::kActivateRequest) {
            Q_EMIT activationRequested();
            reply = SingleInstance::kActivatedReply;
        } else if (m_handler) {
            reply = m_handler(line.trimmed());
        }
        if (!guard)
            return;
        socket->write(reply);
        socket->disconnectFromServer();
    });
}
