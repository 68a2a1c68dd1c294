#include "HelpTopics.h"

#include <QHash>

QString HelpAnchor(int context)
{
    static const QHash<int, QString> anchors{
        {HelpContext::Contents, QStringLiteral("contents")},
        {HelpContext::MainWindow, QStringLiteral("main-window")},
        {HelpContext::Tray, QStringLiteral("tray")},
        {HelpContext::Tasks, QStringLiteral("tasks")},
        {HelpContext::TaskEditing, QStringLiteral("task-editing")},
        {HelpContext::TaskViews, QStringLiteral("task-views")},
        {HelpContext::DueReminder, QStringLiteral("due-reminder")},
        {HelpContext::Alarm, QStringLiteral("alarm")},
        {HelpContext::TaskColours, QStringLiteral("task-colours")},
        {HelpContext::Reports, QStringLiteral("reports")},
        {HelpContext::Email, QStringLiteral("email")},
        {HelpContext::Memos, QStringLiteral("memos")},
        {HelpContext::Backup, QStringLiteral("backup")},
        {HelpContext::RestoreImport, QStringLiteral("restore-import")},
        {HelpContext::Options, QStringLiteral("options")},
        {HelpContext::About, QStringLiteral("about")},
        {HelpContext::Update, QStringLiteral("update")},
        {HelpContext::Keys, QStringLiteral("keys")},
        {HelpContext::Files, QStringLiteral("files")},
    };
    return anchors.value(context, QStringLiteral("contents"));
}
