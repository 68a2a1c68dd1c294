// Runs the real program on a private X server, as a user would: Xvfb, a window manager
// (and a tray when asked), xdotool for keys and windows, and the program's own local
// channel to read what its lists show.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class X11Session
{
public:
    struct Options
    {
        bool windowManager = true;
        bool tray = false;
    };
    explicit X11Session(Options options);
    X11Session() : X11Session(Options{}) {}
    ~X11Session();

    bool isRunning() const { return !m_display.isEmpty(); }
    const QString &display() const { return m_display; }
    // The environment for programs on this display, with a private runtime folder.
    QProcessEnvironment environment() const;

    // Runs xdotool (or another X client) and returns its standard output, trimmed.
    QString run(const QString &program, const QStringList &arguments, int *exitCode = nullptr,
                int timeoutMs = 10000) const;
    // Waits until a visible window with exactly this title exists; returns its id or "".
    QString waitForWindow(const QString &title, int timeoutMs = 15000) const;
    // The map state of a window: "IsViewable", "IsUnMapped" ...
    QString mapState(const QString &window) const;
    // Saves a picture of the whole screen.
    void screenshot(const QString &path) const;

private:
    QString m_display;
    QTemporaryDir m_runtime;
    std::unique_ptr<QProcess> m_xvfb;
    std::unique_ptr<QProcess> m_wm;
    std::unique_ptr<QProcess> m_tray;
};

// The program under test, started in a program folder on an X session.
class ProgramRun
{
public:
    ProgramRun(const X11Session &session, const QString &home);
    ~ProgramRun();

    bool start();
    QProcess &process() { return m_process; }
    // Sends a request over the program's single-instance channel and returns the reply.
    QByteArray request(const QByteArray &line) const;
    // Waits for the process to end; true when it ended within the time.
    bool waitForEnd(int timeoutMs = 15000);
    QString output() const;

    static QString programPath();

private:
    const X11Session &m_session;
    QString m_home;
    QProcess m_process;
};
