#include "sync/SyncSettings.h"

#include "common/IniFile.h"

#include <algorithm>

namespace SyncOptions {

SyncSettings Read(const IniFile &ini)
{
    SyncSettings settings;
    settings.tasksUrl = ini.readString(Section, KeyTasksUrl, QString()).trimmed();
    settings.memosUrl = ini.readString(Section, KeyMemosUrl, QString()).trimmed();
    settings.userName = ini.readString(Section, KeyUserName, QString());
    settings.intervalMinutes =
        std::clamp(ini.readInteger(Section, KeyInterval, 0), 0, MaxIntervalMinutes);
    return settings;
}

void Write(const IniFile &ini, const SyncSettings &settings)
{
    ini.writeString(Section, KeyTasksUrl, settings.tasksUrl.trimmed());
    ini.writeString(Section, KeyMemosUrl, settings.memosUrl.trimmed());
    ini.writeString(Section, KeyUserName, settings.userName);
    ini.writeInteger(Section, KeyInterval,
                     std::clamp(settings.intervalMinutes, 0, MaxIntervalMinutes));
}

} // namespace SyncOptions
