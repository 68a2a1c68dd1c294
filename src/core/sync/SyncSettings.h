// The sync's settings in the settings file, section "sync": the CalDAV collection of the
// to-do list, the optional one of the memos, the user name and the minutes between runs
// (0: only when asked). The password is never here: it lives in the desktop's secret store
// (see SecretStore).
#pragma once

#include <QString>

class IniFile;

struct SyncSettings
{
    QString tasksUrl;
    QString memosUrl; // empty: the memos are not synced
    QString userName;
    int intervalMinutes = 0;

    // Whether there is anything to sync: a collection for the to-do list.
    bool isSet() const { return !tasksUrl.trimmed().isEmpty(); }
    bool operator==(const SyncSettings &) const = default;
};

namespace SyncOptions {

inline const QString Section = QStringLiteral("sync");
inline const QString KeyTasksUrl = QStringLiteral("tasksUrl");
inline const QString KeyMemosUrl = QStringLiteral("memosUrl");
inline const QString KeyUserName = QStringLiteral("userName");
inline const QString KeyInterval = QStringLiteral("interval");

// The longest interval the settings keep, a week; longer or negative values read as the
// nearest one that is kept.
inline constexpr int MaxIntervalMinutes = 7 * 24 * 60;

// Reads the section; missing keys read as empty and 0. Writes nothing.
SyncSettings Read(const IniFile &ini);
// Writes the section. Throws TasklumeError when the settings file cannot be written.
void Write(const IniFile &ini, const SyncSettings &settings);

} // namespace SyncOptions
