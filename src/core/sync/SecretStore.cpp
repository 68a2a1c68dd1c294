#include "sync/SecretStore.h"

#include "sync/SyncSettings.h"

#include <QEventLoop>
#include <QUrl>

#include <qt6keychain/keychain.h>

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

template <class Job> Job *makeJob(const SyncSettings &settings)
{
    auto *job = new Job(Service);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(EntryName(settings));
    return job;
}

} // namespace

QString EntryName(const SyncSettings &settings)
{
    return settings.userName + QLatin1Char('@') + QUrl(settings.tasksUrl.trimmed()).host();
}

void readPassword(const SyncSettings &settings,
                  std::function<void(const SecretResult &, const QString &)> done)
{
    auto *job = makeJob<QKeychain::ReadPasswordJob>(settings);
    QObject::connect(job, &QKeychain::Job::finished, job,
                     [job, done = std::move(done)] { done(resultOf(*job), job->textData()); });
    job->start();
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
    auto *job = makeJob<QKeychain::DeletePasswordJob>(settings);
    QObject::connect(job, &QKeychain::Job::finished, job, [job, done = std::move(done)] {
        SecretResult result = resultOf(*job);
        result.missing = false; // nothing to remove is fine
        done(result);
    });
    job->start();
}

SecretResult readPasswordNow(const SyncSettings &settings, QString *password)
{
    QEventLoop loop;
    SecretResult answer;
    bool answered = false;
    readPassword(settings, [&](const SecretResult &result, const QString &text) {
        answer = result;
        *password = text;
        answered = true;
        loop.quit();
    });
    if (!answered)
        loop.exec();
    return answer;
}

SecretResult writePasswordNow(const SyncSettings &settings, const QString &password)
{
    QEventLoop loop;
    SecretResult answer;
    bool answered = false;
    writePassword(settings, password, [&](const SecretResult &result) {
        answer = result;
        answered = true;
        loop.quit();
    });
    if (!answered)
        loop.exec();
    return answer;
}

} // namespace SecretStore
