// Loading the lists from the database, against the floor of reading the same rows with a
// bare query.
#include "BenchData.h"
#include "common/ItemTree.h"
#include "storage/Statements.h"
#include "tasks/TaskTreeModel.h"

#include <QCoreApplication>
#include <QSqlQuery>

#include <benchmark/benchmark.h>

namespace {

void BM_BareQueryTasks(benchmark::State &state)
{
    QSqlDatabase db = BenchData::database(int(state.range(0)));
    for (auto _ : state) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.exec(QStringLiteral("select * from tasks"));
        const int columns = 14;
        int rows = 0;
        while (query.next()) {
            for (int c = 0; c < columns; ++c)
                benchmark::DoNotOptimize(query.value(c));
            ++rows;
        }
        benchmark::DoNotOptimize(rows);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_LoadTaskForest(benchmark::State &state)
{
    QSqlDatabase db = BenchData::database(int(state.range(0)));
    TaskStatements statements(db);
    for (auto _ : state) {
        ItemForest forest = statements.loadForest();
        benchmark::DoNotOptimize(forest.size());
        // Releasing the tree is not part of loading it.
        state.PauseTiming();
        forest.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_LoadTaskModel(benchmark::State &state)
{
    QSqlDatabase db = BenchData::database(int(state.range(0)));
    TaskStatements statements(db);
    TaskTreeModel model;
    for (auto _ : state) {
        model.resetForest(statements.loadForest());
        benchmark::DoNotOptimize(model.rowCount());
        state.PauseTiming();
        model.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK(BM_BareQueryTasks)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTaskForest)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTaskModel)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
