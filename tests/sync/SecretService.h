#pragma once

// A private desktop secret store for the tests: a D-Bus session bus of its own with an
// unlocked GNOME Keyring answering as the Secret Service, in a temporary home. While the
// object lives, DBUS_SESSION_BUS_ADDRESS of this process names that bus, so the program's
// secret store (and any child process started meanwhile) uses it; the old value comes back
// when it goes.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class SecretService
{
public:
    SecretService();
    ~SecretService();
    SecretService(const SecretService &) = delete;
    SecretService &operator=(const SecretService &) = delete;

    // Starts the bus and the keyring and waits until the keyring answers; false (with
    // why()) when it does not.
    bool start();
    QString why() const { return m_why; }
    QString busAddress() const { return m_address; }

    // What the store holds for the program's service and an entry, through the Secret
    // Service's own lookup (not through the program's code); empty when nothing.
    QString lookup(const QString &entry) const;

private:
    QTemporaryDir m_home;
    qint64 m_busPid = 0;
    QString m_address;
    QByteArray m_oldAddress;
    bool m_hadAddress = false;
    QString m_why;
};
