// Writes the manual pages of both programs: tasklume(1) from the program's help texts and the
// keyboard reference of Tasklume-help.html, tasklume-cli(1) from the companion's commands.
#include "app/ProgramHelp.h"
#include "CliCommands.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace {
// The month of the release, as the pages' headers give it.
const QString kDate = QStringLiteral("December 2026");

bool write(const QString &path, const QString &text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        std::fprintf(stderr, "mangen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "Usage: mangen HELP.html OUTDIR\n");
        return 2;
    }
    QFile help(arguments.at(1));
    if (!help.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "mangen: cannot read %s\n", qPrintable(arguments.at(1)));
        return 1;
    }
    const QList<ProgramHelp::Key> keys =
        ProgramHelp::keysFromHelp(QString::fromUtf8(help.readAll()));
    if (keys.isEmpty()) {
        std::fprintf(stderr, "mangen: no keyboard reference in %s\n", qPrintable(help.fileName()));
        return 1;
    }
    const QString out = arguments.at(2) + QLatin1Char('/');
    const bool written =
        write(out + QStringLiteral("tasklume.1"), ProgramHelp::manualPage(keys, kDate)) &&
        write(out + QStringLiteral("tasklume-cli.1"), Cli::ManualPageText(kDate));
    return written ? 0 : 1;
}
