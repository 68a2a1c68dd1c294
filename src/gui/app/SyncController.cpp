#include "SyncController.h"

#include "sync/SecretStore.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QThread>
#include <QTime>
#include <QTimer>

namespace {
const QString kSyncing = QStringLiteral("Syncing...");
std::atomic<int> g_abandonedRuns{0};
enum RunState { Running, LeftAlone, Ended };
} // namespace

int SyncController::abandonedRuns()
{
    return g_abandonedRuns.load();
}

SyncController::SyncController(IniFile ini, QString databasePath, QObject *parent)
    : QObject(parent), m_ini(std::move(ini)), m_databasePath(std::move(databasePath)),
      m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("syncController"));
    m_timer->setObjectName(QStringLiteral("Timer_sync"));
    connect(m_timer, &QTimer::timeout, this, [this] { syncNow(); });
    applySettings();
}

SyncController::~SyncController()
{
    shutdown(0);
}

void SyncController::applySettings()
{
    m_timer->stop();
    if (m_shutDown)
        return;
    const SyncSettings settings = SyncOptions::Read(m_ini);
    if (settings.isSet() && settings.intervalMinutes > 0) {
        m_timer->setInterval(std::chrono::minutes(settings.intervalMinutes));
        m_timer->start();
    }
}

int SyncController::intervalMinutes() const
{
    return m_timer->isActive() ? int(m_timer->intervalAsDuration().count() / 60000) : 0;
}

bool SyncController::syncNow(bool byUser)
{
    if (m_running || m_shutDown)
        return false;
    m_byUser = byUser;
    const SyncSettings settings = SyncOptions::Read(m_ini);
    m_running = true;
    setState(kSyncing);
    if (!settings.isSet()) {
        // Nothing to ask the secret store for: the run says what is missing.
        SyncOutcome outcome;
        outcome.ok = false;
        outcome.message = QStringLiteral("No collection is set for the to-do list (File, "
                                         "Options..., Sync).");
        QMetaObject::invokeMethod(
            this, [this, outcome] { finish(outcome); }, Qt::QueuedConnection);
        return true;
    }
    // The store may take its time (it may even ask the user to unlock it): its answer comes
    // back through the event loop.
    const QPointer<SyncController> self(this);
    SecretStore::readPassword(
        settings, [self, settings](const SecretResult &result, const QString &password) {
            if (!self)
                return;
            if (self->m_shutDown) {
                self->m_running = false;
                return;
            }
            if (!result.ok) {
                SyncOutcome outcome;
                outcome.ok = false;
                outcome.message = result.message;
                self->finish(outcome);
                return;
            }
            // No password kept: the server decides whether it wants one.
            self->startRun(settings, result.missing ? QString() : password);
        });
    return true;
}

void SyncController::startRun(const SyncSettings &settings, const QString &password)
{
    auto result = std::make_shared<SyncOutcome>();
    auto state = std::make_shared<std::atomic<int>>(Running);
    m_result = result;
    m_runState = state;
    m_thread = QThread::create([result, state, path = m_databasePath, settings, password,
                                timeout = m_requestTimeoutMs] {
        *result = SyncRun::runNow(path, settings, password, timeout);
        int running = Running;
        if (!state->compare_exchange_strong(running, Ended))
            --g_abandonedRuns; // it was left alone at the program's end
    });
    m_thread->setObjectName(QStringLiteral("sync"));
    connect(m_thread, &QThread::finished, this, &SyncController::onRunEnded);
    m_thread->start();
}

void SyncController::onRunEnded()
{
    QThread *thread = std::exchange(m_thread, nullptr);
    if (thread == nullptr)
        return;
    thread->wait();
    delete thread;
    const SyncOutcome outcome = *m_result;
    m_result.reset();
    finish(outcome);
}

void SyncController::finish(const SyncOutcome &outcome)
{
    m_running = false;
    m_outcome = outcome;
    setState(QStringLiteral("%1 (%2)").arg(SyncRun::Summary(outcome),
                                           QTime::currentTime().toString(QStringLiteral("HH:mm"))));
    // A run that failed with the memos may have changed the to-do list already.
    const auto changed = [](const SyncReport &report) {
        return report.downloaded + report.deletedHere + report.conflicts > 0;
    };
    if (outcome.changedHere())
        Q_EMIT listsChanged(changed(outcome.tasks), changed(outcome.memos));
    Q_EMIT finished(outcome);
}

void SyncController::setState(const QString &text)
{
    if (m_state == text)
        return;
    m_state = text;
    Q_EMIT stateChanged(text);
}

bool SyncController::shutdown(int waitMs)
{
    m_shutDown = true;
    m_timer->stop();
    if (m_thread == nullptr)
        return true;
    if (m_thread->wait(QDeadlineTimer(waitMs))) {
        disconnect(m_thread, nullptr, this, nullptr);
        delete std::exchange(m_thread, nullptr);
        m_result.reset();
        m_running = false;
        return true;
    }
    // Left to end alone: the run writes its outcome into the shared memory it holds, and the
    // thread object goes once the run has ended (while an event loop still runs to see it).
    QThread *thread = std::exchange(m_thread, nullptr);
    disconnect(thread, nullptr, this, nullptr);
    ++g_abandonedRuns;
    int running = Running;
    if (!m_runState->compare_exchange_strong(running, LeftAlone))
        --g_abandonedRuns; // it has ended meanwhile
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    if (thread->isFinished()) // ended before the connection
        thread->deleteLater();
    m_running = false;
    return false;
}
