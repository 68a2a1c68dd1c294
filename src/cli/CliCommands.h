// tasklume-cli: the command-line companion of the program. It reads its arguments, runs the
// core's own operations on the folder the program keeps its lists in (see AppPaths) and
// reports on standard output and standard error. Exit status: 0 on success, 1 on failure,
// 2 on wrong usage; a failure or wrong usage gives one line on standard error.
#pragma once

#include <QStringList>

#include <cstdio>

namespace Cli {

enum ExitStatus
{
    Success = 0,
    Failure = 1,
    Usage = 2
};

// Runs one command line (arguments without the program's name), writing to out and err.
int Run(const QStringList &arguments, std::FILE *out = stdout, std::FILE *err = stderr,
        std::FILE *in = stdin);

// The manual page tasklume-cli(1), made from the same commands, options and texts as the
// help; date is the month of the release in its header.
QString ManualPageText(const QString &date);

} // namespace Cli
