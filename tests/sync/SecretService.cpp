#include "sync/SecretService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <signal.h>

namespace {

QProcessEnvironment environmentFor(const QString &home, const QString &address)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
    if (!address.isEmpty())
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    return env;
}

} // namespace

SecretService::SecretService() = default;

SecretService::~SecretService()
{
    if (m_busPid > 0)
        ::kill(pid_t(m_busPid), SIGTERM);
    // The keyring daemon leaves with its bus.
    if (m_hadAddress)
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_oldAddress);
    else
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

bool SecretService::start()
{
    if (!m_home.isValid()) {
        m_why = QStringLiteral("no temporary folder");
        return false;
    }
    const QString home = m_home.path();
    QDir().mkpath(home + QStringLiteral("/data"));
    QDir().mkpath(home + QStringLiteral("/run"));
    QFile::setPermissions(home + QStringLiteral("/run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcess bus;
    bus.setProcessEnvironment(environmentFor(home, {}));
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--fork"),
               QStringLiteral("--print-address=1"), QStringLiteral("--print-pid=1")});
    if (!bus.waitForFinished(10000) || bus.exitCode() != 0) {
        m_why = QStringLiteral("dbus-daemon did not start: ") +
                QString::fromLocal8Bit(bus.readAllStandardError());
        return false;
    }
    const QList<QByteArray> lines = bus.readAllStandardOutput().trimmed().split('\n');
    if (lines.size() < 2) {
        m_why = QStringLiteral("dbus-daemon gave no address");
        return false;
    }
    m_address = QString::fromLocal8Bit(lines.at(0).trimmed());
    m_busPid = lines.at(1).trimmed().toLongLong();

    QProcess keyring;
    keyring.setProcessEnvironment(environmentFor(home, m_address));
    keyring.start(QStringLiteral("gnome-keyring-daemon"),
                  {QStringLiteral("--unlock"), QStringLiteral("--components=secrets"),
                   QStringLiteral("--daemonize")});
    keyring.write("test-keyring\n");
    keyring.closeWriteChannel();
    if (!keyring.waitForFinished(10000) || keyring.exitCode() != 0) {
        m_why = QStringLiteral("gnome-keyring-daemon did not start: ") +
                QString::fromLocal8Bit(keyring.readAllStandardError());
        return false;
    }

    const QString name = QStringLiteral("secret-service-fixture");
    bool answered = false;
    {
        QDBusConnection connection = QDBusConnection::connectToBus(m_address, name);
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            if (connection.interface() && connection.interface()->isServiceRegistered(
                                              QStringLiteral("org.freedesktop.secrets"))) {
                answered = true;
                break;
            }
            QThread::msleep(20);
        }
    }
    QDBusConnection::disconnectFromBus(name);
    if (!answered) {
        m_why = QStringLiteral("the keyring did not answer on its bus");
        return false;
    }
    m_hadAddress = qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS");
    m_oldAddress = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toLocal8Bit());
    return true;
}

QString SecretService::lookup(const QString &entry) const
{
    QProcess tool;
    tool.setProcessEnvironment(environmentFor(m_home.path(), m_address));
    // The attributes the secret store files the program's passwords under.
    tool.start(QStringLiteral("secret-tool"),
               {QStringLiteral("lookup"), QStringLiteral("server"),
                QStringLiteral("Ploxen Tasklume"), QStringLiteral("user"), entry});
    if (!tool.waitForFinished(10000))
        return {};
    return QString::fromUtf8(tool.readAllStandardOutput());
}
