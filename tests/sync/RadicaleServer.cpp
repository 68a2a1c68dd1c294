#include "sync/RadicaleServer.h"

#include "sync/ServerProcess.h"

#include "sync/CalDavClient.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

QString madeUp(const char *prefix)
{
    return QString::fromLatin1(prefix) +
           QString::number(QRandomGenerator::global()->generate64(), 36);
}

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

RadicaleServer::RadicaleServer() : m_user(madeUp("user")), m_password(madeUp("pw"))
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

RadicaleServer::~RadicaleServer()
{
    stop();
}

bool RadicaleServer::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

bool RadicaleServer::start()
{
    if (m_port != 0)
        return startOnce();
    // Another process may take the free port before the server binds it: try a few.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freePort();
        if (startOnce())
            return true;
    }
    m_port = 0;
    return false;
}

bool RadicaleServer::startOnce()
{
    if (isRunning())
        return true;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("radicale"));
    if (program.isEmpty()) {
        m_why = QStringLiteral("radicale is not installed");
        return false;
    }
    const QString root = m_dir.path();
    const QString users = root + QStringLiteral("/users");
    const QString config = root + QStringLiteral("/config");
    QDir(root).mkpath(QStringLiteral("collections"));
    writeFile(users, (m_user + QLatin1Char(':') + m_password + QLatin1Char('\n')).toUtf8());
    writeFile(config, QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n"
                                     "[auth]\ntype = htpasswd\nhtpasswd_filename = %2\n"
                                     "htpasswd_encryption = plain\ndelay = 0\n"
                                     "[rights]\ntype = owner_only\n"
                                     "[storage]\nfilesystem_folder = %3/collections\n"
                                     "[web]\ntype = none\n"
                                     "[logging]\nlevel = warning\n")
                          .arg(m_port)
                          .arg(users, root)
                          .toUtf8());
    return ServerProcess::start(m_process, QStringLiteral("radicale"), program,
                                {QStringLiteral("--config"), config}, m_port, m_why);
}

void RadicaleServer::stop()
{
    ServerProcess::stop(m_process);
}

QUrl RadicaleServer::collectionUrl(const QString &name) const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(m_port);
    url.setPath(QStringLiteral("/%1/%2/").arg(m_user, name));
    return url;
}

QUrl RadicaleServer::makeCalendar(const QString &name)
{
    CalDavClient client(collectionUrl(name), m_user, m_password);
    const DavResult result = client.createCalendarNow(name);
    if (!result.ok()) {
        m_why = result.message;
        return {};
    }
    return client.collection();
}

QString RadicaleServer::storageFolder(const QString &name) const
{
    return m_dir.path() + QStringLiteral("/collections/collection-root/%1/%2").arg(m_user, name);
}

QByteArray sampleTodo(const QString &uid, const QString &summary)
{
    return QStringLiteral(
               "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Ploxen//Tasklume tests//EN\r\n"
               "BEGIN:VTODO\r\nUID:%1\r\nDTSTAMP:20260101T120000Z\r\nSUMMARY:%2\r\n"
               "END:VTODO\r\nEND:VCALENDAR\r\n")
        .arg(uid, summary)
        .toUtf8();
}
