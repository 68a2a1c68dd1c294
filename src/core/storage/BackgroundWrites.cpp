#include "BackgroundWrites.h"

#include "common/EngineError.h"
#include "Statements.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <QSqlDatabase>
#include <QSqlDriver>

#include <sqlite3.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Job
{
    QByteArray path;
    QByteArray statement;
    QByteArray value;
};

std::function<void(const QString &)> g_failureHandler;

class Writer
{
public:
    ~Writer()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void post(Job job)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
            m_pending.fetch_add(1, std::memory_order_release);
            if (!m_thread.joinable())
                m_thread = std::thread([this] { run(); });
        }
        m_wake.notify_all();
    }

    void waitForAll()
    {
        if (m_pending.load(std::memory_order_acquire) == 0)
            return;
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [this] { return m_pending.load(std::memory_order_acquire) == 0; });
    }

    bool pending() const { return m_pending.load(std::memory_order_acquire) != 0; }

    void whenDone(std::function<void()> then)
    {
        {
            const std::lock_guard lock(m_mutex);
            if (m_pending.load(std::memory_order_acquire) != 0) {
                m_whenDone.push_back(std::move(then));
                return;
            }
        }
        toApplication(std::move(then));
    }

private:
    static void toApplication(std::function<void()> then)
    {
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, std::move(then), Qt::QueuedConnection);
    }

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty())
                return; // stopping with nothing left to store
            Job job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            const QString failure = store(job);
            if (!failure.isEmpty())
                report(failure);
            lock.lock();
            m_pending.fetch_sub(1, std::memory_order_release);
            if (m_pending.load(std::memory_order_acquire) == 0) {
                m_done.notify_all();
                for (auto &then : m_whenDone)
                    toApplication(std::move(then));
                m_whenDone.clear();
            }
        }
    }

    // The statement on a connection opened for it and closed afterwards, so that its page
    // cache is not kept between writes. Returns the engine's text when it failed.
    static QString store(const Job &job)
    {
        sqlite3 *handle = nullptr;
        // Never creates the file: one removed meanwhile is a failure, not a new database.
        const int opened = sqlite3_open_v2(job.path.constData(), &handle,
                                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        QString failure;
        auto run = [&](const QByteArray &sql, const QByteArray *value) {
            sqlite3_stmt *statement = nullptr;
            int code =
                sqlite3_prepare_v2(handle, sql.constData(), int(sql.size()), &statement, nullptr);
            if (code == SQLITE_OK && value)
                code = sqlite3_bind_text(statement, 1, value->constData(), int(value->size()),
                                         SQLITE_STATIC);
            while (code == SQLITE_OK || code == SQLITE_ROW)
                code = sqlite3_step(statement);
            sqlite3_finalize(statement);
            return code == SQLITE_DONE;
        };
        bool ok = opened == SQLITE_OK;
        for (const QString &setup : Statements::connectionSetup()) {
            if (ok)
                ok = run(setup.toUtf8(), nullptr);
        }
        if (ok)
            ok = run(job.statement, &job.value);
        if (!ok)
            failure = EngineHandleErrorText(handle, QFile::decodeName(job.path));
        sqlite3_close_v2(handle);
        return failure;
    }

    // The program's connection is closed only after waiting for every write, so the
    // application object outlives a write in progress.
    static void report(const QString &failure)
    {
        qWarning("Could not store: %s", qUtf8Printable(failure));
        QCoreApplication *app = QCoreApplication::instance();
        if (app == nullptr)
            return;
        QMetaObject::invokeMethod(
            app,
            [failure] {
                if (g_failureHandler)
                    g_failureHandler(failure);
            },
            Qt::QueuedConnection);
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<Job> m_jobs;
    std::vector<std::function<void()>> m_whenDone;
    std::atomic<int> m_pending{0};
    std::thread m_thread;
    bool m_stopping = false;
};

Writer &writer()
{
    static Writer instance;
    return instance;
}

// Every statement on a connection that queued a write waits for the queue first: the
// engine calls this when a statement starts running, whoever prepared it.
int waitBeforeStatement(unsigned, void *, void *, void *)
{
    writer().waitForAll();
    return 0;
}

} // namespace

bool BackgroundWrites::post(const QSqlDatabase &db, const QString &statement, const QString &value)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3 *main = *static_cast<sqlite3 *const *>(handle.constData());
    // Inside a transaction of the caller the write belongs to it; a database without a
    // file (in memory) has no second connection.
    const char *file = sqlite3_db_filename(main, "main");
    if (main == nullptr || sqlite3_get_autocommit(main) == 0 || file == nullptr || *file == 0)
        return false;
    sqlite3_trace_v2(main, SQLITE_TRACE_STMT, &waitBeforeStatement, nullptr);
    writer().post({QByteArray(file), statement.toUtf8(), value.toUtf8()});
    return true;
}

void BackgroundWrites::waitForAll()
{
    writer().waitForAll();
}

bool BackgroundWrites::pending()
{
    return writer().pending();
}

void BackgroundWrites::whenDone(std::function<void()> then)
{
    writer().whenDone(std::move(then));
}

void BackgroundWrites::setFailureHandler(std::function<void(const QString &)> handler)
{
    g_failureHandler = std::move(handler);
}
