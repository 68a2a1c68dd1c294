// The real tasklume-cli as scripts and schedulers run it, for the command-line tests: its
// environment, one run to its end, and what a program folder holds before and after.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

struct CliRun
{
    int status = -1; // -1: it did not start, crashed or did not end in time
    QByteArray out;
    QByteArray err;
};

namespace CliProcess {

// As from cron: no display session and no runtime folder; TASKLUME_HOME names folder.
QProcessEnvironment environment(const QString &folder);

// Runs tasklume-cli to its end with input on its standard input. With events, this process's
// event loop runs meanwhile, for a stand-in that answers from it.
CliRun run(const QProcessEnvironment &environment, const QStringList &arguments,
           const QByteArray &input = {}, bool events = false);

// What a folder holds, apart from the lock file that the writing commands take: names and
// hashes of the contents.
QMap<QString, QByteArray> snapshot(const QString &folder);

// The real program on the offscreen platform, on the folder environment names, with a display
// name (its single-instance channel is named per display) and a runtime folder of its own.
// It is ended when the object goes, unless end() ended it before.
class ProgramRun
{
public:
    ProgramRun(QProcessEnvironment environment, const QString &display);
    ~ProgramRun();
    ProgramRun(const ProgramRun &) = delete;
    ProgramRun &operator=(const ProgramRun &) = delete;

    bool started() const { return m_started; }
    qint64 processId() const { return m_process.processId(); }
    QString runtimeFolder() const { return m_runtime.path(); }
    // Asks it to end and waits; false when it did not end in time.
    bool end(int milliseconds = 20000);

private:
    QTemporaryDir m_runtime;
    QProcess m_process;
    bool m_started = false;
};

} // namespace CliProcess
