#include "ProgramHelp.h"

#include "common/AppPaths.h"
#include "common/Texts.h"
#include "ManualPage.h"

#include <QRegularExpression>
#include <QStringList>

namespace ProgramHelp {

namespace {

const QString kDescription = QStringLiteral(
    "Ploxen Tasklume keeps a to-do list and memos in two-level trees and waits in the\n"
    "system tray. Tasks have due dates, reminders with an alarm sound, colours and\n"
    "completion marks; memos show their text in a tip panel. Both lists can be sorted,\n"
    "searched, printed, saved as text or HTML reports, sent by e-mail, backed up to an\n"
    "interchange file, written to and read from iCalendar files, and kept in step with a\n"
    "CalDAV server. Every change is stored at once.\n"
    "\n"
    "One copy runs per user, display and folder: a second start brings the running\n"
    "window to the front and ends. SIGTERM, SIGHUP, SIGINT and the end of the desktop\n"
    "session end the program as Exit does, storing what is being typed.");

const QString kTray = QStringLiteral(
    "The program's icon goes into the desktop's tray: an X11 system tray, or a tray on the\n"
    "session bus (StatusNotifierItem, as KDE Plasma and GNOME with the AppIndicator\n"
    "extension host). Closing or minimising the window hides it there; a click on the icon\n"
    "opens it, a right click opens the tray menu (Open, Add Task, Paste to Task, Add Memo,\n"
    "Paste to Memo, Exit), and the icon's tip lists the first incomplete tasks. Exit in the\n"
    "tray menu ends the program. Without a tray the window stays reachable in the task bar.");

const QString kSync = QStringLiteral(
    "File, Options..., Sync sets a CalDAV collection (RFC 4791) for the to-do list and,\n"
    "optionally, one for the memos, the user name, the password and the minutes between\n"
    "runs. A run is two-way and incremental: new items, edits, completions and deletions\n"
    "on either side reach the other. The settings are kept in the section sync of\n"
    "wyConf.ini, the password in the desktop's secret store. tasklume-cli sync runs one\n"
    "sync from scripts.");

const QString kFiles = QStringLiteral(
    "The database wyData.wyb, the settings wyConf.ini, the run lock wyRun.lock and the\n"
    "folder Temp lie in one folder: the one named by TASKLUME_HOME when it is set; else,\n"
    "for an installed program (below /usr or /opt, as the package is, or in a folder the\n"
    "user may not write that does not hold the user's database), the user's data folder\n"
    "$XDG_DATA_HOME/%1 (~/.local/share/%1), made readable by its owner only, so that each\n"
    "user has their own lists; else the folder the program lies in (a portable copy, the\n"
    "build folder, an installation into the user's home folder). The About box and\n"
    "tasklume-cli --help name the folder in use.\n"
    "\n"
    "The pictures (Images/), the alarm sound (Sounds/Alarm.wav) and the help (%2) are read\n"
    "from beside the program, else from the installed program's shared data folder,\n"
    "share/tasklume beside the lib folder the program lies in (%3 for the package).\n"
    "Images/ and Sounds/ in the folder named by TASKLUME_HOME, when it has them, are used\n"
    "instead.\n"
    "\n"
    "With \"Start with Windows\" in Options, the autostart entry\n"
    "~/.config/autostart/%4.desktop starts the program with the desktop session.");

QString filesText()
{
    return kFiles.arg(AppPaths::DataFolderName, Texts::HelpFile,
                      QStringLiteral("/usr/share/tasklume/"), Texts::AppTitle);
}

QString stripTags(QString html)
{
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    static const QRegularExpression space(QStringLiteral("\\s+"));
    html.remove(tag);
    html.replace(space, QStringLiteral(" "));
    const struct
    {
        const char *entity;
        const char16_t *text;
    } entities[] = {{"&lt;", u"<"},         {"&gt;", u">"},         {"&quot;", u"\""},
                    {"&mdash;", u"\u2014"}, {"&ndash;", u"\u2013"}, {"&ldquo;", u"\u201C"},
                    {"&rdquo;", u"\u201D"}, {"&rsquo;", u"\u2019"}, {"&nbsp;", u" "},
                    {"&amp;", u"&"}};
    for (const auto &entity : entities)
        html.replace(QLatin1String(entity.entity), QString::fromUtf16(entity.text));
    return html.trimmed();
}

} // namespace

QString summary()
{
    return QStringLiteral("a to-do list with reminders and memos in the system tray");
}

QList<Entry> options()
{
    return {
        {QStringLiteral("-h, --help"), QStringLiteral("Show this help and end.")},
        {QStringLiteral("--version"), QStringLiteral("Show the version and end.")},
        {QStringLiteral("-platform xcb|wayland"),
         QStringLiteral("Run on X11 or natively on a Wayland desktop (Qt's own option; the\n"
                        "default follows the desktop). On Wayland the desktop places the\n"
                        "window and keeps no window on top.")},
        {QStringLiteral("-reverse"),
         QStringLiteral("Lay the window out from right to left (Qt's own option).")},
    };
}

QList<Entry> environment()
{
    return {
        {QStringLiteral("TASKLUME_HOME"),
         QStringLiteral("The folder for the database and settings, instead of the ones in "
                        "FILES.")},
        {QStringLiteral("XDG_DATA_HOME"), QStringLiteral("The base of the user's data folder.")},
        {QStringLiteral("XDG_CONFIG_HOME"),
         QStringLiteral("The base of the autostart folder (~/.config when unset).")},
        {QStringLiteral("XDG_RUNTIME_DIR"),
         QStringLiteral("Where the channel lies that a second start and tasklume-cli use.")},
        {QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb or wayland, as -platform.")},
    };
}

QString version()
{
    return Texts::AppTitle + QLatin1Char(' ') + QStringLiteral(TASKLUME_VERSION) +
           QLatin1Char('\n');
}

QString usage()
{
    QString text = QStringLiteral("Usage: tasklume [OPTION]...\n") + kDescription +
                   QStringLiteral("\n\nOptions:\n");
    const auto table = [&text](const QList<Entry> &entries) {
        for (const Entry &entry : entries) {
            text += QStringLiteral("  ") + entry.tag + QLatin1Char('\n');
            for (const QString &line : entry.text.split(QLatin1Char('\n')))
                text += QStringLiteral("      ") + line + QLatin1Char('\n');
        }
    };
    table(options());
    text += QStringLiteral("\nEnvironment:\n");
    table(environment());
    text += QStringLiteral("\nFiles:\n") + filesText() + QLatin1Char('\n');
    text += QStringLiteral("\nThe keys, the tray and the sync: tasklume(1), and F1 in the "
                           "window.\n");
    return text;
}

QList<Key> keysFromHelp(const QString &html)
{
    QList<Key> keys;
    const qsizetype start = html.indexOf(QStringLiteral("<a name=\"keys\">"));
    if (start < 0)
        return keys;
    qsizetype end = html.indexOf(QStringLiteral("<h2"), start);
    if (end < 0)
        end = html.size();
    static const QRegularExpression row(
        QStringLiteral("<tr>\\s*<td>(.*?)</td>\\s*<td>(.*?)</td>\\s*<td>(.*?)</td>\\s*</tr>"),
        QRegularExpression::DotMatchesEverythingOption);
    auto it = row.globalMatch(html.mid(start, end - start));
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        keys.append({stripTags(match.captured(1)), stripTags(match.captured(2)),
                     stripTags(match.captured(3))});
    }
    return keys;
}

QString manualPage(const QList<Key> &keys, const QString &date)
{
    ManualPage page(QStringLiteral("tasklume"), summary());
    page.section(QStringLiteral("SYNOPSIS"));
    page.paragraph(QStringLiteral("tasklume [OPTION]..."));
    page.section(QStringLiteral("DESCRIPTION"));
    page.paragraph(kDescription);
    page.section(QStringLiteral("OPTIONS"));
    for (const Entry &entry : options())
        page.item(entry.tag, entry.text);
    page.section(QStringLiteral("KEYS"));
    page.paragraph(QStringLiteral("In the window (the help, F1, tells more):"));
    for (const Key &key : keys)
        page.item(key.keys, QStringLiteral("%1: %2.").arg(key.where, key.what));
    page.section(QStringLiteral("TRAY"));
    page.paragraph(kTray);
    page.section(QStringLiteral("SYNC"));
    page.paragraph(kSync);
    page.section(QStringLiteral("FILES"));
    page.paragraph(filesText());
    page.section(QStringLiteral("ENVIRONMENT"));
    for (const Entry &entry : environment())
        page.item(entry.tag, entry.text);
    page.section(QStringLiteral("SEE ALSO"));
    page.paragraph(QStringLiteral("tasklume-cli(1)"));
    return page.text(date);
}

} // namespace ProgramHelp
