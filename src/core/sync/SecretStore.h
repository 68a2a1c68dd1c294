// The sync password in the desktop's secret store (the Secret Service of the session: GNOME
// Keyring, KWallet and the like), never in a file of the program's own. One password per
// user name and server, under the service "Ploxen Tasklume".
#pragma once

#include <QString>

#include <functional>

struct SyncSettings;

struct SecretResult
{
    bool ok = true;
    bool missing = false; // the store answered but holds no password for the entry
    QString message;      // why the store could not be used
};

namespace SecretStore {

inline const QString Service = QStringLiteral("Ploxen Tasklume");

// The entry a password is kept under: "<user>@<host>:<port>" of the to-do collection (the
// port given or the scheme's own), so that two servers on one host keep two passwords.
QString EntryName(const SyncSettings &settings);
// The entry of the earlier form, "<user>@<host>": still read when the other is missing.
QString OldEntryName(const SyncSettings &settings);

// Asynchronous forms, for the window: done runs on the calling thread's event loop.
void readPassword(const SyncSettings &settings,
                  std::function<void(const SecretResult &, const QString &password)> done);
void writePassword(const SyncSettings &settings, const QString &password,
                   std::function<void(const SecretResult &)> done);
void removePassword(const SyncSettings &settings, std::function<void(const SecretResult &)> done);

// How long a blocking form waits for the store (which may be asking the user to unlock it).
inline constexpr int AnswerTimeoutMs = 60000;

// Blocking forms, for the command line and a worker thread: they run an event loop of their
// own until the store answers, or give up after AnswerTimeoutMs.
SecretResult readPasswordNow(const SyncSettings &settings, QString *password);
SecretResult writePasswordNow(const SyncSettings &settings, const QString &password);

} // namespace SecretStore
