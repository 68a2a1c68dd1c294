#include "sync/ServerProcess.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

namespace ServerProcess {

bool start(QProcess &process, const QString &name, const QString &program,
           const QStringList &arguments, quint16 port, QString &why)
{
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        why = name + QStringLiteral(" does not start: ") + process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        if (process.state() == QProcess::NotRunning) {
            why = name + QStringLiteral(" ended: ") + QString::fromLocal8Bit(process.readAll());
            return false;
        }
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(1000))
            return true;
        QTest::qWait(20);
    }
    why = name + QStringLiteral(" does not answer on port %1").arg(port);
    stop(process);
    return false;
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
    }
}

} // namespace ServerProcess
