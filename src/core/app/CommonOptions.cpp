#include "CommonOptions.h"

#include "common/IniFile.h"
#include "common/Texts.h"
#include "interchange/XmlDateTime.h"

#include <cmath>

namespace CommonOptions {

StartupOptions ReadStartupOptions(const IniFile &ini, TDateTime now)
{
    StartupOptions options;
    options.visitWebEn = ini.readBool(Section, KeyVisitWebEn, true);
    // A time stamp that does not read (edited by hand, cut short) counts as missing, so
    // that the program still starts and the prompt waits its full period again.
    const std::optional<TDateTime> visit =
        XmlTextToDateTime(ini.readString(Section, KeyVisitWeb, QString()));
    if (visit) {
        options.lastWebVisit = *visit;
    } else {
        options.lastWebVisit = now;
        options.visitWebMissing = true;
    }
    options.runMinimized = ini.readBool(Section, KeyRunMinimized, false);
    return options;
}

void NoteWebVisit(const IniFile &ini, TDateTime now)
{
    ini.writeString(Section, KeyVisitWeb, DateTimeToXmlText(now));
}

int WholeDaysBetween(TDateTime from, TDateTime to)
{
    // Half a millisecond absorbs the rounding of values that went through text.
    constexpr double halfMillisecond = 0.5 / 86400000.0;
    return int(std::floor(std::abs(to - from) + halfMillisecond));
}

bool IsUpdatePromptDue(bool visitWebEn, TDateTime lastWebVisit, TDateTime now)
{
    return visitWebEn && WholeDaysBetween(lastWebVisit, now) > UpdatePromptDays;
}

QString WebPageAddress(const QString &page)
{
    return Texts::WebSite + page;
}

QString MakeWebUrl(const QString &address, int dayCount, int taskCount, int memoCount)
{
    return address +
           QStringLiteral("?id=s-p-y-%1&t=%2-0&m=%3-0").arg(dayCount).arg(taskCount).arg(memoCount);
}

QString MailLink(const QString &address)
{
    return QStringLiteral("mailto:") + address;
}

} // namespace CommonOptions
