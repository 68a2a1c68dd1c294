#include "sync/XandikosServer.h"

#include "sync/ServerProcess.h"

#include "sync/CalDavClient.h"

#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

} // namespace

XandikosServer::XandikosServer()
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

XandikosServer::~XandikosServer()
{
    stop();
}

bool XandikosServer::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

bool XandikosServer::start()
{
    // Another process may take the free port before the server binds it: try a few.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freePort();
        if (startOnce())
            return true;
    }
    m_port = 0;
    return false;
}

bool XandikosServer::startOnce()
{
    if (isRunning())
        return true;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xandikos"));
    if (program.isEmpty()) {
        m_why = QStringLiteral("xandikos is not installed");
        return false;
    }
    return ServerProcess::start(m_process, QStringLiteral("xandikos"), program,
                                {QStringLiteral("-d"), m_dir.path(), QStringLiteral("--defaults"),
                                 QStringLiteral("-l"), QStringLiteral("127.0.0.1"),
                                 QStringLiteral("-p"), QString::number(m_port)},
                                m_port, m_why);
}

void XandikosServer::stop()
{
    ServerProcess::stop(m_process);
}

QUrl XandikosServer::makeCalendar(const QString &name)
{
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/user/calendars/%2/").arg(m_port).arg(name));
    CalDavClient client(url, user(), password());
    const DavResult result = client.createCalendarNow(name);
    if (!result.ok()) {
        m_why = result.message;
        return {};
    }
    return client.collection();
}
