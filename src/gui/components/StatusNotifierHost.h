// Whether the session bus has a tray: a StatusNotifierWatcher, and a host (a panel) that
// shows the items registered with it.
#pragma once

#include <QObject>
#include <QString>

class QDBusServiceWatcher;

// What the session bus offers: a StatusNotifierWatcher, and whether a host (a panel that
// shows the items) is registered with it. Kept up to date from the bus's own notices, so
// that asking costs nothing.
class StatusNotifierHost : public QObject
{
    Q_OBJECT
public:
    // The one view of the session bus of this process.
    static StatusNotifierHost *instance();

    // Where the watcher is on the bus: its name, object and interface.
    static inline const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
    static inline const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
    static inline const QString WatcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");

    // A watcher is on the bus and a host shows what registers with it.
    bool isAvailable() const { return !m_watcherOwner.isEmpty() && m_hostRegistered; }

Q_SIGNALS:
    // isAvailable() changed.
    void availabilityChanged();
    // A watcher took the name (first, or after the previous one ended or was replaced);
    // items have to register with it again.
    void watcherChanged();

private Q_SLOTS:
    void queryHost();

private:
    explicit StatusNotifierHost(QObject *parent);
    void ownerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);
    void setHostRegistered(bool registered);

    QDBusServiceWatcher *m_serviceWatcher = nullptr;
    QString m_watcherOwner;
    bool m_hostRegistered = false;
    // Answers to an older question are dropped.
    quint64 m_query = 0;
};
