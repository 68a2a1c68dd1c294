// Writes a program folder's database with generated tasks and memos: realistic texts of
// varied length, some on several lines, some outside ASCII, a fifth of them children.
// Used by the end-to-end tests and the benchmarks.
//
//   gendata FOLDER [--tasks N] [--memos N] [--seed S] [--expanded PERCENT]
#include "common/pU_Funcs.h"
#include "DataSet.h"
#include "storage/Database.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

#include <cstdio>

namespace {
int fail(const QString &text)
{
    std::fprintf(stderr, "gendata: %s\n", qPrintable(text));
    return 1;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.first().startsWith(QLatin1Char('-')))
        return fail(QStringLiteral("usage: gendata FOLDER [--tasks N] [--memos N] [--seed S] "
                                   "[--expanded PERCENT]"));
    const QString folder = args.takeFirst();
    int tasks = 1000, memos = 1000, expandedPercent = 30;
    quint32 seed = 1;
    while (args.size() >= 2) {
        const QString flag = args.takeFirst();
        const int value = args.takeFirst().toInt();
        if (flag == QLatin1String("--tasks"))
            tasks = value;
        else if (flag == QLatin1String("--memos"))
            memos = value;
        else if (flag == QLatin1String("--seed"))
            seed = quint32(value);
        else if (flag == QLatin1String("--expanded"))
            expandedPercent = value;
        else
            return fail(QStringLiteral("unknown option ") + flag);
    }
    if (!args.isEmpty())
        return fail(QStringLiteral("missing value for ") + args.first());

    QDir().mkpath(folder);
    try {
        QSqlDatabase db = Database::open(QDir(folder).filePath(QStringLiteral("wyData.wyb")),
                                         QStringLiteral("gendata"));
        DataSet::generate(db, DataSet::Options{tasks, memos, seed, expandedPercent});
    } catch (const TasklumeError &error) {
        return fail(error.text());
    }
    Database::close(QStringLiteral("gendata"));
    return 0;
}
