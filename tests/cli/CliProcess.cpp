#include "CliProcess.h"

#include "common/Texts.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QTest>

namespace CliProcess {

QProcessEnvironment environment(const QString &folder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("TASKLUME_HOME"), folder);
    return env;
}

CliRun run(const QProcessEnvironment &environment, const QStringList &arguments,
           const QByteArray &input, bool events)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TASKLUME_CLI), arguments);
    CliRun run;
    if (!process.waitForStarted(10000))
        return run;
    process.write(input);
    process.closeWriteChannel();
    const bool ended =
        events ? QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000)
               : process.waitForFinished(60000);
    if (!ended) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        if (entry.fileName() != Texts::RunLockFileName)
            files.insert(entry.fileName(),
                         QCryptographicHash::hash(TestSupport::readFile(entry.filePath()),
                                                  QCryptographicHash::Sha256));
    }
    return files;
}

ProgramRun::ProgramRun(QProcessEnvironment environment, const QString &display)
{
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(TASKLUME_PROGRAM), {});
    m_started = m_process.waitForStarted(10000);
}

ProgramRun::~ProgramRun()
{
    if (m_process.state() != QProcess::NotRunning && !end()) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

bool ProgramRun::end(int milliseconds)
{
    m_process.terminate();
    return m_process.waitForFinished(milliseconds);
}

} // namespace CliProcess
