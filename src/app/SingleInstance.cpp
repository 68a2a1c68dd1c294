#include "SingleInstance.h"

#include "common/Texts.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

#include <sys/socket.h>
#include <unistd.h>

namespace {
const QByteArray kActivate = QByteArrayLiteral("activate\n");
const QByteArray kDone = QByteArrayLiteral("ok\n");
constexpr int kTimeoutMs = 3000;

QString displaySession()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        display = QStringLiteral("none");
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.]")), QStringLiteral("_"));
    return display;
}

// Whether the process at the other end of a connected local socket runs as this user.
bool sameUser(qintptr descriptor)
{
    struct ucred cred {};
    socklen_t len = sizeof(cred);
    if (::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0)
        return false;
    return cred.uid == ::getuid();
}
} // namespace

QString SingleInstance::serverName()
{
    const QString name = Texts::MutexName + QLatin1Char('-') + QString::number(::getuid()) +
                         QLatin1Char('-') + displaySession();
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return QDir(runtime).filePath(name);
    return name;
}

bool ActivateRunningInstance()
{
    QLocalSocket socket;
    socket.connectToServer(SingleInstance::serverName());
    if (!socket.waitForConnected(kTimeoutMs))
        return false;
    // Only a copy of the same user counts; a socket another user put in the name's place is
    // not talked to.
    if (!sameUser(socket.socketDescriptor()))
        return false;
    socket.write(kActivate);
    if (!socket.waitForBytesWritten(kTimeoutMs))
        return false;
    // The running copy answers once it has acted; either way it is there.
    socket.waitForReadyRead(kTimeoutMs);
    return true;
}

QByteArray RequestRunningInstance(const QByteArray &request, int timeoutMs)
{
    return RequestInstance(SingleInstance::serverName(), request, timeoutMs);
}

QByteArray RequestInstance(const QString &serverName, const QByteArray &request, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(timeoutMs) || !sameUser(socket.socketDescriptor()))
        return {};
    socket.write(request + '\n');
    socket.waitForBytesWritten(timeoutMs);
    QByteArray reply;
    while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(timeoutMs))
        reply += socket.readAll();
    reply += socket.readAll();
    return reply;
}

InstanceServer::InstanceServer(QObject *parent) : QObject(parent) {}

InstanceServer::~InstanceServer()
{
    release();
}

bool InstanceServer::listen()
{
    release();
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = SingleInstance::serverName();
    if (!m_server->listen(name)) {
        // A socket left behind by a copy that did not end normally answers nobody.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(500))
            return false;
        QLocalServer::removeServer(name);
        if (!m_server->listen(name))
            return false;
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
        if (!sameUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray line = socket->readLine();
            if (line == kActivate) {
                Q_EMIT activationRequested();
                socket->write(kDone);
            } else if (m_handler) {
                socket->write(m_handler(line.trimmed()));
            }
            socket->disconnectFromServer();
        });
    }
}
