// The rules behind the commands both lists share, without widgets: the start-up options
// of the settings file, the update prompt's day rule and the maker's web addresses.
#pragma once

#include "common/pU_Funcs.h"

#include <QString>

class IniFile;

namespace CommonOptions {

// The maker's pages, on Texts::WebSite, and mail addresses.
inline const QString HomePage = QStringLiteral("index.htm");
inline const QString ResourcesPage = QStringLiteral("resources.htm");
inline const QString SupportMail = QStringLiteral("support@ploxen.example.com");
inline const QString SalesMail = QStringLiteral("sales@ploxen.example.com");

// The keys of section "option".
inline const QString Section = QStringLiteral("option");
inline const QString KeyRunMinimized = QStringLiteral("runMinimizedEn");
inline const QString KeyAddOpen = QStringLiteral("addOpenEn");
inline const QString KeyVisitWebEn = QStringLiteral("visitWebEn");
inline const QString KeyVisitWeb = QStringLiteral("visitWeb");

// The update prompt comes when more whole days than this have passed since the last visit.
inline constexpr int UpdatePromptDays = 90;

struct StartupOptions
{
    bool visitWebEn = true;
    TDateTime lastWebVisit = 0;
    bool runMinimized = false;
    // "visitWeb" was missing, empty or not a date-time text: lastWebVisit is the given
    // moment, which the caller writes back with NoteWebVisit.
    bool visitWebMissing = false;
};

// Reads "visitWebEn" (default true), "visitWeb" and "runMinimizedEn" (default false).
// Writes nothing.
StartupOptions ReadStartupOptions(const IniFile &ini, TDateTime now);
// Writes a moment as the last visit to the maker's pages. Throws TasklumeError when the
// settings file cannot be written.
void NoteWebVisit(const IniFile &ini, TDateTime now);

// The whole days between two moments, whichever comes first.
int WholeDaysBetween(TDateTime from, TDateTime to);
// Whether the update prompt is due at a start.
bool IsUpdatePromptDue(bool visitWebEn, TDateTime lastWebVisit, TDateTime now);

// A page's full address on the maker's site.
QString WebPageAddress(const QString &page);
// The address followed by the query the maker's pages receive:
// "?id=s-p-y-<days>&t=<tasks>-0&m=<memos>-0".
QString MakeWebUrl(const QString &address, int dayCount, int taskCount, int memoCount);
// The mail link of an address.
QString MailLink(const QString &address);

} // namespace CommonOptions
