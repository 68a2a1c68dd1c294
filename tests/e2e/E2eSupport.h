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
        // Width x height x depth of the screen.
        QString screen = QStringLiteral("1280x900x24");
    };
    explicit X11Session(Options options);
    X11Session() : X11Session(Options{}) {}
    ~X11Session();

    bool isRunning() const { return !m_display.isEmpty(); }
    const QString &display() const { return m_display; }
    // The environment for programs on this display, with a private runtime folder.
    QProcessEnvironment environment() const;
    // Adds a variable to that environment (a session bus of the test's own).
    void setEnvironmentValue(const QString &name, const QString &value);

    // Runs xdotool (or another X client) and returns its standard output, trimmed.
    QString run(const QString &program, const QStringList &arguments, int *exitCode = nullptr,
                int timeoutMs = 10000) const;
    // Waits until a visible window with exactly this title exists; returns its id or "".
    QString waitForWindow(const QString &title, int timeoutMs = 15000) const;
    // The visible windows of a program, by its window class name ("tasklume").
    QStringList shownWindows(const QString &windowClass) const;
    // Waits until a visible window of that class shows that is not among before (a menu or
    // a dialog that opened); returns its id or "".
    QString waitForNewWindow(const QString &windowClass, const QStringList &before,
                             int timeoutMs = 5000) const;
    // Waits until the window manager has made this window the active one.
    bool waitUntilActive(const QString &window, int timeoutMs = 5000) const;
    // The map state of a window: "IsViewable", "IsUnMapped" ...
    QString mapState(const QString &window) const;

    // The tray: the icon window a program of this window class put into the tray (at most
    // 64 pixels each way, shown), or "" when none turned up in the time.
    QString waitForTrayIcon(const QString &windowClass, int timeoutMs = 15000) const;
    // The window manager's state of a window: "Normal", "Iconic", "Withdrawn", or "" when
    // the window carries none (never managed, or withdrawn by its program).
    QString wmState(const QString &window) const;
    // Starts the tray (trayer) now, or ends it, as a panel that comes late or goes away;
    // startTray() returns once the tray's panel shows (false when it did not in the time).
    bool startTray();
    void stopTray();
    // Hidden in a tray: not on the screen, and not left iconified on a task bar either.
    bool isHiddenInTray(const QString &window) const;
    // On the screen, or at least minimised where the desktop lists its windows.
    bool isReachable(const QString &window) const;
    // Closes a window with the window manager's close key (Alt+F4), pressed again while the
    // window stays on the screen: a key can reach the window manager before it has made the
    // window the active one.
    void closeWithKey(const QString &window) const;
    // Clicks a mouse button in the middle of a window.
    void click(const QString &window, int button) const;
    // Types keys (xdotool's names) into the focused window, 60 ms apart.
    void keys(const QStringList &names) const;

private:
    QString m_display;
    QTemporaryDir m_runtime;
    QProcessEnvironment m_extra;
    std::unique_ptr<QProcess> m_xvfb;
    std::unique_ptr<QProcess> m_wm;
    std::unique_ptr<QProcess> m_tray;
};

// The program under test, started in a program folder on an X session.
class ProgramRun
{
public:
    // program: the executable to start, the real program when empty.
    ProgramRun(const X11Session &session, const QString &home, const QString &program = {});
    ~ProgramRun();

    bool start();
    QProcess &process() { return m_process; }
    // Sends a request over the program's single-instance channel and returns the reply.
    QByteArray request(const QByteArray &line) const;
    // The shown rows of a list ("tasks" or "memos") once they hold needle, or the last ones
    // read when the time ran out.
    QByteArray waitForRows(const QByteArray &list, const QByteArray &needle,
                           int timeoutMs = 15000) const;
    // Waits for the process to end; true when it ended within the time.
    bool waitForEnd(int timeoutMs = 15000);
    QString output() const;

    static QString programPath();

private:
    const X11Session &m_session;
    QString m_home;
    QString m_program;
    QProcess m_process;
};
