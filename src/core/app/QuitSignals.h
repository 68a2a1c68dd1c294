// The signals that ask a program to end (SIGTERM from logout, systemctl or kill; SIGHUP when
// its terminal goes; SIGINT from Ctrl+C) reach the event loop as an ordinary Qt signal, so
// that the program ends the way its Exit command does. The handler only writes the signal's
// number into a pipe; a socket notifier reads it on the event loop's thread.
#pragma once

#include <QList>
#include <QObject>
#include <QPair>

#include <csignal>

class QSocketNotifier;

class QuitSignals : public QObject
{
    Q_OBJECT
public:
    // Installs the handlers for SIGTERM, SIGHUP and SIGINT; one object at a time.
    explicit QuitSignals(QObject *parent = nullptr);
    // Puts the handlers back that were there before (unless ignoreUntilExit was called).
    ~QuitSignals() override;

    bool isInstalled() const { return m_notifier != nullptr; }
    // The program is ending: from now on the signals are ignored until the process exits,
    // also after this object is gone, so that a second request to end (a burst of SIGTERMs
    // from a logout) cannot cut the ending short.
    void ignoreUntilExit();

Q_SIGNALS:
    // One of the signals arrived (delivered on the event loop, never in the handler).
    void quitRequested(int signalNumber);

private:
    void onReadable();
    QSocketNotifier *m_notifier = nullptr;
    bool m_ignoring = false;
    // The signals handled here, each with the action it had before.
    QList<QPair<int, struct sigaction>> m_installed;
};
