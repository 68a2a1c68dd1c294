#pragma once

// A real CalDAV server for the tests: Radicale on a free local port, with its own storage
// folder, configuration and a user with a password made up for the run. Stopped (and its
// folders removed) when the object goes.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

class RadicaleServer
{
public:
    RadicaleServer();
    ~RadicaleServer();
    RadicaleServer(const RadicaleServer &) = delete;
    RadicaleServer &operator=(const RadicaleServer &) = delete;

    // Starts the server and waits until it answers; false (with why()) when it does not.
    bool start();
    // Stops it; start() again serves the same storage on the same port.
    void stop();
    bool isRunning() const;
    QString why() const { return m_why; }

    QString user() const { return m_user; }
    QString password() const { return m_password; }
    quint16 port() const { return m_port; }
    // The address of a calendar collection `name` of the test user (not created here).
    QUrl collectionUrl(const QString &name) const;
    // Creates the collection `name` for to-dos and journal entries; its address, or an
    // empty one (with why()) on failure.
    QUrl makeCalendar(const QString &name);
    // The folder Radicale keeps the collection `name` in, for objects another program
    // writes behind the server's back.
    QString storageFolder(const QString &name) const;

private:
    bool startOnce();

    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_user;
    QString m_password;
    quint16 m_port = 0;
    QString m_why;
};

// A small to-do as another calendar program would put it on the server.
QByteArray sampleTodo(const QString &uid, const QString &summary);
