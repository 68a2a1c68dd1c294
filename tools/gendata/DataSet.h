// Generated tasks and memos for tests and benchmarks: realistic texts of varied length,
// some on several lines, some outside ASCII, a fifth of them children.
#pragma once

#include <QSqlDatabase>
#include <QString>

namespace DataSet {

struct Options
{
    int tasks = 1000;
    int memos = 1000;
    quint32 seed = 1;
    int expandedPercent = 30; // share of top-level items stored expanded
};

// Adds the rows in one transaction. Throws TasklumeError on failure.
void generate(QSqlDatabase db, const Options &options);

// A hostile interchange file: one task (content "kept", key "{T}"), then the given number of
// MiB of empty elements (or, with oneAttribute, one element whose attribute holds them) in
// the "notes" section, which the readers never look at. False when it cannot be written.
bool writeHostileFile(const QString &path, int mebibytes, bool oneAttribute = false);

} // namespace DataSet
