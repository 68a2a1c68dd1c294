// The running copy's end of the channel other starts and the command-line companion reach
// it on (SingleInstance.h).
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;
class QLocalSocket;

// The running copy's side: held for the whole run, released on Exit.
class InstanceServer : public QObject
{
    Q_OBJECT
public:
    explicit InstanceServer(QObject *parent = nullptr);
    ~InstanceServer() override;

    // Starts listening; false when another copy holds the name (heldByAnotherCopy()) or the
    // socket cannot be made.
    bool listen();
    bool heldByAnotherCopy() const { return m_heldByAnother; }
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
    void serve(QLocalSocket *socket);
    QLocalServer *m_server = nullptr;
    RequestHandler m_handler;
    bool m_heldByAnother = false;
};
