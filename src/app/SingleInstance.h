// One running copy per user and display session. The running copy listens on a local
// socket named for the user and the display; a second start finds it there, asks it to
// come to the front, and ends without touching any file.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

namespace SingleInstance {
// The socket name for this user and display session.
QString serverName();
} // namespace SingleInstance

// Returns true when a running copy answered; it has then been asked to come to the front.
bool ActivateRunningInstance();

// The running copy's side: held for the whole run, released on Exit.
class InstanceServer : public QObject
{
    Q_OBJECT
public:
    explicit InstanceServer(QObject *parent = nullptr);
    ~InstanceServer() override;

    // Starts listening; false when another copy holds the name.
    bool listen();
    void release();
    // The channel's full name (the socket's path) while listening, for others to reach it
    // without knowing the display session; empty otherwise.
    QString fullServerName() const;

    // Answers requests other than "activate" from programs of the same user (the
    // end-to-end tests read the shown rows this way). The reply ends the connection.
    using RequestHandler = std::function<QByteArray(const QByteArray &request)>;
    void setRequestHandler(RequestHandler handler) { m_handler = std::move(handler); }
    const RequestHandler &requestHandler() const { return m_handler; }

Q_SIGNALS:
    // A second start asked this copy to come to the front.
    void activationRequested();

private:
    void onNewConnection();
    QLocalServer *m_server = nullptr;
    RequestHandler m_handler;
};

// Sends one request line to the running copy and returns its reply (empty when none runs).
QByteArray RequestRunningInstance(const QByteArray &request, int timeoutMs = 3000);
// The same on the channel with the given name.
QByteArray RequestInstance(const QString &serverName, const QByteArray &request,
                           int timeoutMs = 3000);
