// tasklume-cli: backups, restores, imports, reports, listings, quick capture and a database
// check on the program folder, for scripts and schedulers. See CliCommands.h.
#include "CliCommands.h"

#include <QCoreApplication>

#include <cstdio>

namespace {
// Standard error carries the command's one line; the libraries' own remarks stay out of it.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        const QByteArray line = "tasklume-cli: " + text.toLocal8Bit() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    }
}
} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(quietMessages);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tasklume-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TASKLUME_VERSION));
    return Cli::Run(QCoreApplication::arguments().mid(1));
}
