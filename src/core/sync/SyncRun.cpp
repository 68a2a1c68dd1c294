#include "sync/SyncRun.h"

#include "common/TasklumeError.h"
#include "storage/Database.h"
#include "sync/CalDavClient.h"
#include "sync/CalDavDiscovery.h"
#include "sync/SyncSettings.h"

#include <QAtomicInt>
#include <QDeadlineTimer>
#include <QUrl>

namespace SyncRun {

namespace {

QString uniqueConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("tasklume-sync-%1").arg(counter.fetchAndAddRelaxed(1) + 1);
}

SyncReport syncOne(QSqlDatabase db, const QString &url, const SyncSettings &settings,
                   const QString &password, int timeoutMs, QDeadlineTimer deadline, int runMs,
                   bool memos)
{
    CalDavClient client(QUrl(url.trimmed()), settings.userName, password);
    if (timeoutMs > 0)
        client.setTimeout(timeoutMs);
    client.setDeadline(deadline);
    // Nothing is written into what is not a calendar collection taking the list's objects.
    const DavResult checked = CalDavDiscovery::check(&client, memos ? QStringLiteral("VJOURNAL")
                                                                    : QStringLiteral("VTODO"));
    SyncReport report;
    if (!checked.ok()) {
        report.ok = false;
        report.message = checked.message;
    } else {
        SyncEngine engine(std::move(db), &client);
        report = memos ? engine.syncMemosNow() : engine.syncTasksNow();
    }
    if (!report.ok && deadline.hasExpired())
        report.message =
            QStringLiteral("The run was stopped after %1 second(s), the longest a run may take. %2")
                .arg(runMs / 1000)
                .arg(report.message);
    const QStringList notes = client.notes();
    if (report.ok && !notes.isEmpty())
        report.message = (notes + QStringList(report.message)).join(QLatin1Char(' ')).trimmed();
    return report;
}

} // namespace

SyncOutcome runNow(const QString &databasePath, const SyncSettings &settings,
                   const QString &password, int timeoutMs, int runMs)
{
    if (runMs <= 0)
        runMs = DefaultRunMs;
    const QDeadlineTimer deadline(runMs);
    SyncOutcome outcome;
    if (!settings.isSet()) {
        outcome.ok = false;
        outcome.message = QStringLiteral("No collection is set for the to-do list.");
        return outcome;
    }
    const QString connection = uniqueConnectionName();
    try {
        QSqlDatabase db = Database::open(databasePath, connection);
        outcome.tasks =
            syncOne(db, settings.tasksUrl, settings, password, timeoutMs, deadline, runMs, false);
        if (!outcome.tasks.ok) {
            outcome.ok = false;
            outcome.message = outcome.tasks.message;
        } else if (!settings.memosUrl.trimmed().isEmpty()) {
            outcome.memosSynced = true;
            outcome.memos = syncOne(db, settings.memosUrl, settings, password, timeoutMs, deadline,
                                    runMs, true);
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
    const auto add = [&parts](int count, const char *one, const char *many) {
        if (count > 0)
            parts.append(
                QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many)));
    };
    add(sum(&SyncReport::uploaded), "sent", "sent");
    add(sum(&SyncReport::downloaded), "received", "received");
    add(sum(&SyncReport::deletedHere) + sum(&SyncReport::deletedThere), "deleted", "deleted");
    add(sum(&SyncReport::conflicts), "conflict copy", "conflict copies");
    QString text = parts.isEmpty()
                       ? QStringLiteral("Synced, no changes")
                       : QStringLiteral("Synced: %1").arg(parts.join(QStringLiteral(", ")));
    if (!outcome.message.isEmpty())
        text += QStringLiteral(" (%1)").arg(outcome.message);
    return text;
}

} // namespace SyncRun
