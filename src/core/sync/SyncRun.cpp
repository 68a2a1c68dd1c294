#include "sync/SyncRun.h"

#include "common/TasklumeError.h"
#include "storage/Database.h"
#include "sync/CalDavClient.h"
#include "sync/SyncSettings.h"

#include <QAtomicInt>
#include <QUrl>

namespace SyncRun {

namespace {

QString uniqueConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("tasklume-sync-%1").arg(counter.fetchAndAddRelaxed(1) + 1);
}

SyncReport syncOne(QSqlDatabase db, const QString &url, const SyncSettings &settings,
                   const QString &password, int timeoutMs, bool memos)
{
    CalDavClient client(QUrl(url.trimmed()), settings.userName, password);
    if (timeoutMs > 0)
        client.setTimeout(timeoutMs);
    SyncEngine engine(std::move(db), &client);
    return memos ? engine.syncMemosNow() : engine.syncTasksNow();
}

} // namespace

SyncOutcome runNow(const QString &databasePath, const SyncSettings &settings,
                   const QString &password, int timeoutMs)
{
    SyncOutcome outcome;
    if (!settings.isSet()) {
        outcome.ok = false;
        outcome.message = QStringLiteral("No collection is set for the to-do list.");
        return outcome;
    }
    const QString connection = uniqueConnectionName();
    try {
        QSqlDatabase db = Database::open(databasePath, connection);
        outcome.tasks = syncOne(db, settings.tasksUrl, settings, password, timeoutMs, false);
        if (!outcome.tasks.ok) {
            outcome.ok = false;
            outcome.message = outcome.tasks.message;
        } else if (!settings.memosUrl.trimmed().isEmpty()) {
            outcome.memosSynced = true;
            outcome.memos = syncOne(db, settings.memosUrl, settings, password, timeoutMs, true);
            if (!outcome.memos.ok) {
                outcome.ok = false;
                outcome.message = outcome.memos.message;
            }
        }
        if (outcome.ok) {
            QStringList passedOver;
            for (const SyncReport *report : {&outcome.tasks, &outcome.memos})
                if (!report->message.isEmpty())
                    passedOver.append(report->message);
            outcome.message = passedOver.join(QLatin1Char(' '));
        }
    } catch (const TasklumeError &error) {
        outcome.ok = false;
        outcome.message = error.text();
    }
    Database::close(connection);
    return outcome;
}

QString Summary(const SyncOutcome &outcome)
{
    if (!outcome.ok)
        return QStringLiteral("Sync failed: %1").arg(outcome.message);
    const auto sum = [&](int SyncReport::*field) {
        return outcome.tasks.*field + outcome.memos.*field;
    };
    QStringList parts;
    const auto add = [&parts](int count, const char *what) {
        if (count > 0)
            parts.append(QStringLiteral("%1 %2").arg(count).arg(QLatin1String(what)));
    };
    add(sum(&SyncReport::uploaded), "sent");
    add(sum(&SyncReport::downloaded), "received");
    add(sum(&SyncReport::deletedHere) + sum(&SyncReport::deletedThere), "deleted");
    add(sum(&SyncReport::conflicts), "conflict copies");
    QString text = parts.isEmpty()
                       ? QStringLiteral("Synced, no changes")
                       : QStringLiteral("Synced: %1").arg(parts.join(QStringLiteral(", ")));
    if (!outcome.message.isEmpty())
        text += QStringLiteral(" (%1)").arg(outcome.message);
    return text;
}

} // namespace SyncRun
