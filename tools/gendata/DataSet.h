// Generated tasks and memos for tests and benchmarks: realistic texts of varied length,
// some on several lines, some outside ASCII, a fifth of them children.
#pragma once

#include <QSqlDatabase>

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

} // namespace DataSet
