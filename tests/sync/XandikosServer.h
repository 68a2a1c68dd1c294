#pragma once

// A second CalDAV server engine for the tests: Xandikos on a free local port with its own
// storage folder (a git repository per collection), so that what the program assumes of one
// server shows against another. Xandikos asks for no password; the user name and password
// the program sends are ignored. Stopped (and its folder removed) when the object goes.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

class XandikosServer
{
public:
    XandikosServer();
    ~XandikosServer();
    XandikosServer(const XandikosServer &) = delete;
    XandikosServer &operator=(const XandikosServer &) = delete;

    // Starts the server and waits until it answers; false (with why()) when it does not.
    bool start();
    void stop();
    bool isRunning() const;
    QString why() const { return m_why; }

    QString user() const { return QStringLiteral("user"); }
    QString password() const { return QStringLiteral("unused"); }
    // Creates the calendar collection `name` for to-dos and journal entries; its address, or
    // an empty one (with why()) on failure.
    QUrl makeCalendar(const QString &name);

private:
    bool startOnce();

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_why;
};
