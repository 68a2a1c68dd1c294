#include "StatusNotifierHost.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QPointer>

namespace {
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// A start straight into the tray waits this long for the watcher's first answer.
constexpr int kFirstAnswerMs = 1500;
} // namespace

StatusNotifierHost *StatusNotifierHost::instance()
{
    static QPointer<StatusNotifierHost> host;
    if (!host)
        host = new StatusNotifierHost(QCoreApplication::instance());
    return host;
}

StatusNotifierHost::StatusNotifierHost(QObject *parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    m_serviceWatcher = new QDBusServiceWatcher(WatcherService, bus,
                                               QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_serviceWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &StatusNotifierHost::ownerChanged);
    // Signals by the name follow whoever owns it.
    bus.connect(WatcherService, WatcherPath, WatcherInterface,
                QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(queryHost()));
    bus.connect(WatcherService, WatcherPath, WatcherInterface,
                QStringLiteral("StatusNotifierHostUnregistered"), this, SLOT(queryHost()));

    // The first answer is waited for, briefly, so that a start straight into the tray finds a
    // tray that is there.
    const QDBusReply<QString> owner = bus.interface()->serviceOwner(WatcherService);
    if (!owner.isValid())
        return;
    m_watcherOwner = owner.value();
    QDBusMessage get = QDBusMessage::createMethodCall(WatcherService, WatcherPath,
                                                      kPropertiesInterface, QStringLiteral("Get"));
    get << WatcherInterface << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, kFirstAnswerMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
        m_hostRegistered = reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
    else
        queryHost();
}

void StatusNotifierHost::ownerChanged(const QString &, const QString &, const QString &newOwner)
{
    const bool wasAvailable = isAvailable();
    m_watcherOwner = newOwner;
    if (newOwner.isEmpty()) {
        // The watcher ended; its host with it, as far as anything could register there.
        ++m_query;
        m_hostRegistered = false;
    } else {
        // A new watcher knows nothing of the items of the old one. Until it says whether a
        // host is there, the old answer stands (a watcher replaced in one step keeps its
        // panel).
        queryHost();
        Q_EMIT watcherChanged();
    }
    if (isAvailable() != wasAvailable)
        Q_EMIT availabilityChanged();
}

void StatusNotifierHost::queryHost()
{
    if (m_watcherOwner.isEmpty())
        return;
    QDBusMessage get = QDBusMessage::createMethodCall(WatcherService, WatcherPath,
                                                      kPropertiesInterface, QStringLiteral("Get"));
    get << WatcherInterface << QStringLiteral("IsStatusNotifierHostRegistered");
    const quint64 query = ++m_query;
    auto *call = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, query](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (query != m_query)
                    return;
                const QDBusPendingReply<QDBusVariant> reply = *finished;
                setHostRegistered(!reply.isError() && reply.value().variant().toBool());
            });
}

void StatusNotifierHost::setHostRegistered(bool registered)
{
    const bool wasAvailable = isAvailable();
    m_hostRegistered = registered;
    if (isAvailable() != wasAvailable)
        Q_EMIT availabilityChanged();
}
