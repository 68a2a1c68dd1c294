// Program folders with generated data, made once per size and kept for the whole run.
#pragma once

#include <QSqlDatabase>

namespace BenchData {
// An open connection to a database holding `items` tasks and as many memos.
QSqlDatabase database(int items);
} // namespace BenchData
