// The signals that ask a program to end (SIGTERM from logout, systemctl or kill; SIGHUP when
// its terminal goes; SIGINT from Ctrl+C) reach the event loop as an ordinary Qt signal, so
// that the program ends the way its Exit command does. The handler only writes the signal's
// number into a pipe; a socket notifier reads it on the event loop's thread.
#pragma once

#include <QList>
#include <QObject>

class QSocketNotifier;

class QuitSignals : public QObject
{
    Q_OBJECT
public:
    // Installs the handlers for SIGTERM, SIGHUP and SIGINT; one object at a time.
    explicit QuitSignals(QObject *parent = nullptr);
    // Puts the default handlers back.
    ~QuitSignals() override;

    bool isInstalled() const { return m_notifier != nullptr; }

Q_SIGNALS:
    // One of the signals arrived (delivered on the event loop, never in the handler).
    void quitRequested(int signalNumber);

private:
    void onReadable();
    QSocketNotifier *m_notifier = nullptr;
    QList<int> m_installed;
};
