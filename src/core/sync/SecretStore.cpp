#include "sync/SecretStore.h"

#include "sync/SyncSettings.h"

#include <QEventLoop>
#include <QTimer>
#include <QUrl>

#include <qt6keychain/keychain.h>

#include <memory>

namespace SecretStore {

namespace {

SecretResult resultOf(const QKeychain::Job &job)
{
    SecretResult result;
    switch (job.error()) {
    case QKeychain::NoError:
        break;
    case QKeychain::EntryNotFound:
        result.missing = true;
        break;
    default:
        result.ok = false;
        result.message = QStringLiteral("The desktop's secret store could not be used: %1")
                             .arg(job.errorString());
        break;
    }
    return result;
}

template <class Job> Job *makeJob(const QString &entry)
{
    auto *job = new Job(Service);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(entry);
    return job;
}

template <class Job> Job *makeJob(const SyncSettings &settings)
{
    return makeJob<Job>(EntryName(settings));
}

void readEntry(const QString &entry,
               std::function<void(const SecretResult &, const QString &)> done)
{
    auto *job = makeJob<QKeychain::ReadPasswordJob>(entry);
    QObject::connect(job, &QKeychain::Job::finished, job,
                     [job, done = std::move(done)] { done(resultOf(*job), job->textData()); });
    job->start();
}

} // namespace

QString EntryName(const SyncSettings &settings)
{
    const QUrl url(settings.tasksUrl.trimmed());
    const int port =
        url.port(url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80);
    return OldEntryName(settings) + QLatin1Char(':') + QString::number(port);
}

QString OldEntryName(const SyncSettings &settings)
{
    return settings.userName + QLatin1Char('@') + QUrl(settings.tasksUrl.trimmed()).host();
}

void readPassword(const SyncSettings &settings,
                  std::function<void(const SecretResult &, const QString &)> done)
{
    // An entry of the earlier form (without the port) is still found.
    readEntry(EntryName(settings), [old = OldEntryName(settings), done = std::move(done)](
                                       const SecretResult &result, const QString &password) {
        if (result.ok && result.missing)
            readEntry(old, done);
        else
            done(result, password);
    });
}

void writePassword(const SyncSettings &settings, const QString &password,
                   std::function<void(const SecretResult &)> done)
{
    auto *job = makeJob<QKeychain::WritePasswordJob>(settings);
    job->setTextData(password);
    QObject::connect(job, &QKeychain::Job::finished, job,
                     [job, done = std::move(done)] { done(resultOf(*job)); });
    job->start();
}

void removePassword(const SyncSettings &settings, std::function<void(const SecretResult &)> done)
{
    // Both forms of the entry go.
    auto *job = makeJob<QKeychain::DeletePasswordJob>(settings);
    QObject::connect(job, &QKeychain::Job::finished, job,
                     [job, old = OldEntryName(settings), done = std::move(done)] {
                         SecretResult result = resultOf(*job);
                         result.missing = false; // nothing to remove is fine
                         if (!result.ok) {
                             done(result);
                             return;
                         }
                         auto *oldJob = makeJob<QKeychain::DeletePasswordJob>(old);
                         QObject::connect(oldJob, &QKeychain::Job::finished, oldJob,
                                          [oldJob, done] {
                                              SecretResult oldResult = resultOf(*oldJob);
                                              oldResult.missing = false;
                                              done(oldResult);
                                          });
                         oldJob->start();
                     });
    job->start();
}

namespace {

// What a blocking call waits for; shared with the job, which may answer after the wait gave up.
struct Waiting
{
    QEventLoop loop;
    bool answered = false;
    SecretResult result;
    QString password;
};

SecretResult wait(const std::shared_ptr<Waiting> &waiting)
{
    if (!waiting->answered) {
        QTimer::singleShot(AnswerTimeoutMs, &waiting->loop, &QEventLoop::quit);
        waiting->loop.exec();
    }
    if (!waiting->answered)
        return {false, false,
                QStringLiteral("The desktop's secret store did not answer within %1 seconds.")
                    .arg(AnswerTimeoutMs / 1000)};
    return waiting->result;
}

} // namespace

SecretResult readPasswordNow(const SyncSettings &settings, QString *password)
{
    auto waiting = std::make_shared<Waiting>();
    readPassword(settings, [waiting](const SecretResult &result, const QString &text) {
        waiting->result = result;
        waiting->password = text;
        waiting->answered = true;
        waiting->loop.quit();
    });
    const SecretResult result = wait(waiting);
    *password = waiting->answered ? waiting->password : QString();
    return result;
}

SecretResult writePasswordNow(const SyncSettings &settings, const QString &password)
{
    auto waiting = std::make_shared<Waiting>();
    writePassword(settings, password, [waiting](const SecretResult &result) {
        waiting->result = result;
        waiting->answered = true;
        waiting->loop.quit();
    });
    return wait(waiting);
}

} // namespace SecretStore
