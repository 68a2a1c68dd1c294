// The window's sync: one run at a time on a worker thread of its own (the run opens its own
// connection to the database file; the window's connection stays on the window's thread),
// started by hand or every few minutes as the settings say. The password is read from the
// desktop's secret store before each run, without waiting for it on the window's thread.
#pragma once

#include "common/IniFile.h"
#include "sync/CalDavClient.h"
#include "sync/SyncRun.h"
#include "sync/SyncSettings.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QThread;
class QTimer;

class SyncController : public QObject
{
    Q_OBJECT
public:
    // ini: the settings file with the section "sync"; databasePath: the file the runs sync.
    SyncController(IniFile ini, QString databasePath, QObject *parent = nullptr);
    ~SyncController() override;

    // Reads the settings again and sets the timer by their interval (0: only by hand).
    void applySettings();
    // Starts a run unless one is going already; false when none was started. byUser: the
    // user asked for it (Sync Now), rather than the timer.
    bool syncNow(bool byUser = false);
    // Whether the last run (the one going, or the last finished) was started by the user.
    bool lastRunByUser() const { return m_byUser; }
    // Whether a run is going (the password being read counts).
    bool isRunning() const { return m_running; }
    // The line the status bar shows: empty before the first run, "Syncing..." during one,
    // the last run's summary with its time after.
    QString stateText() const { return m_state; }
    // The outcome of the last finished run.
    const SyncOutcome &lastOutcome() const { return m_outcome; }

    // Bounds each request of a run (milliseconds).
    void setRequestTimeout(int ms) { m_requestTimeoutMs = ms; }
    // The program ends: no run starts any more; a running one is waited for at most waitMs.
    // A run still going then is left to finish alone: its changes here are one transaction,
    // stored whole or not at all, so nothing is lost, and the next run catches up. True when
    // no run was left.
    bool shutdown(int waitMs);

    // The interval the timer runs at, in minutes (0: off).
    int intervalMinutes() const;
    // Runs left to end alone at a shutdown that are still going (in this process).
    static int abandonedRuns();

Q_SIGNALS:
    // The status bar line has changed.
    void stateChanged(const QString &text);
    // A run has changed a list here (the to-do list, the memos or both): the views of them
    // must be read anew.
    void listsChanged(bool tasks, bool memos);
    // A run has ended (well or not).
    void finished(const SyncOutcome &outcome);

private:
    void startRun(const SyncSettings &settings, const QString &password);
    void onRunEnded();
    void finish(const SyncOutcome &outcome);
    void setState(const QString &text);

    IniFile m_ini;
    QString m_databasePath;
    QTimer *m_timer = nullptr;
    QThread *m_thread = nullptr;
    // The worker writes its outcome here; shared so that a run left at the program's end
    // writes into memory that still exists.
    std::shared_ptr<SyncOutcome> m_result;
    // The run's state as the worker and a shutdown see it: running, left alone, ended.
    std::shared_ptr<std::atomic<int>> m_runState;
    SyncOutcome m_outcome;
    QString m_state;
    bool m_running = false;
    bool m_byUser = false;
    bool m_shutDown = false;
    int m_requestTimeoutMs = CalDavClient::DefaultTimeoutMs;
};
