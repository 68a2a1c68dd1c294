// The alarm scan's tick on a generated list of N tasks with 1,000 armed reminders: the
// common tick on which nothing is due, the tick that finds a due task (at the end of the
// tree, the worst place), and what keeping the index costs (a reload, one changed task),
// against a plain walk over every task on every tick.
#include "BenchData.h"
#include "storage/Statements.h"
#include "tasks/AlarmScan.h"
#include "tasks/TaskTreeModel.h"

#include <QCoreApplication>

#include <map>
#include <memory>

#include <benchmark/benchmark.h>

namespace {

constexpr int kArmed = 1000;
constexpr TDateTime kNow = 46000.5;
constexpr TDateTime kMinute = 1.0 / 1440.0;

struct ArmedList
{
    TaskTreeModel model;
    std::vector<ItemNode *> nodes; // every node in tree order
    std::vector<ItemNode *> armed; // the armed ones in tree order
};

// The generated list with exactly kArmed reminders spread evenly over the tree, all in
// the future; made once per size.
ArmedList &armedList(int items)
{
    static std::map<int, std::unique_ptr<ArmedList>> lists;
    auto &slot = lists[items];
    if (slot)
        return *slot;
    slot = std::make_unique<ArmedList>();
    TaskStatements statements(BenchData::database(items));
    slot->model.resetForest(statements.loadForest());
    slot->model.forEachNode([&](ItemNode *node) { slot->nodes.push_back(node); });
    const size_t step = std::max<size_t>(1, slot->nodes.size() / kArmed);
    for (size_t i = 0; i < slot->nodes.size(); ++i) {
        TTaskInfo *task = TaskTreeModel::task(slot->nodes[i]);
        task->checkFlag = false;
        task->alarmFlag = i % step == 0 && slot->armed.size() < size_t(kArmed);
        task->alarmTime = task->alarmFlag ? kNow + double(slot->armed.size() + 1) * kMinute : 0;
        if (task->alarmFlag)
            slot->armed.push_back(slot->nodes[i]);
    }
    return *slot;
}

void BM_AlarmTickNothingDue(benchmark::State &state)
{
    ArmedList &list = armedList(int(state.range(0)));
    AlarmScan scan;
    scan.rebuild(list.model);
    for (auto _ : state)
        benchmark::DoNotOptimize(scan.dueTask(list.model, kNow));
    state.counters["armed"] = scan.armedCount();
}

void BM_AlarmTickDueAtTreeEnd(benchmark::State &state)
{
    ArmedList &list = armedList(int(state.range(0)));
    // The last armed task in tree order is due; the other 999 are ahead.
    TTaskInfo *last = TaskTreeModel::task(list.armed.back());
    const TDateTime saved = last->alarmTime;
    last->alarmTime = kNow - kMinute;
    AlarmScan scan;
    scan.rebuild(list.model);
    for (auto _ : state) {
        ItemNode *due = scan.dueTask(list.model, kNow);
        if (due != list.armed.back())
            state.SkipWithError("wrong task");
        benchmark::DoNotOptimize(due);
    }
    last->alarmTime = saved;
}

void BM_AlarmRebuild(benchmark::State &state)
{
    ArmedList &list = armedList(int(state.range(0)));
    AlarmScan scan;
    for (auto _ : state) {
        scan.rebuild(list.model);
        benchmark::DoNotOptimize(scan.armedCount());
    }
}

void BM_AlarmUpdateOneTask(benchmark::State &state)
{
    ArmedList &list = armedList(int(state.range(0)));
    AlarmScan scan;
    scan.rebuild(list.model);
    ItemNode *node = list.armed[list.armed.size() / 2];
    TTaskInfo *task = TaskTreeModel::task(node);
    const TDateTime saved = task->alarmTime;
    int i = 0;
    for (auto _ : state) {
        task->alarmTime = kNow + double(++i % 5000) * kMinute; // a snooze
        scan.update(node);
    }
    task->alarmTime = saved;
}

// What a tick would cost walking every task without the index.
void BM_PlainWalkEveryTick(benchmark::State &state)
{
    ArmedList &list = armedList(int(state.range(0)));
    for (auto _ : state) {
        ItemNode *found = nullptr;
        for (const auto &top : list.model.root()->children) {
            if (AlarmScan::isDue(top.get(), kNow)) {
                found = top.get();
                break;
            }
            for (const auto &child : top->children) {
                if (AlarmScan::isDue(child.get(), kNow)) {
                    found = child.get();
                    break;
                }
            }
            if (found)
                break;
        }
        benchmark::DoNotOptimize(found);
    }
}

} // namespace

BENCHMARK(BM_AlarmTickNothingDue)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AlarmTickDueAtTreeEnd)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AlarmRebuild)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AlarmUpdateOneTask)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainWalkEveryTick)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
