// Starting and stopping a server program the tests run on a local port.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace ServerProcess {

// Starts program and waits up to a minute until it takes connections on port; it may also
// end meanwhile (the port was taken). On failure why says what happened, naming the server
// as name, and the process is stopped.
bool start(QProcess &process, const QString &name, const QString &program,
           const QStringList &arguments, quint16 port, QString &why);

// Ends the process: asked first, killed after ten seconds.
void stop(QProcess &process);

} // namespace ServerProcess
