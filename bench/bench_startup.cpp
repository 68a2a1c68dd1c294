// The real program as a user meets it: from starting the executable to a window showing the
// populated, sorted to-do list, on Xvfb with a window manager, at 1,000, 10,000 and 100,000
// items per list (a fifth of them children). Counters: the resident memory once both lists
// are loaded, how long the memo list took to follow, and the floor measured in the same run:
// startup_floor, a bare Qt window with a tree view over a bare "select *" of both tables of
// the same database, timed the same way (floor_ms), and the program's time against it
// (floor_ratio, the means of the iterations).
//
// Both tell over the single-instance channel when they first painted the list ("painted
// tasks", on the system's monotonic clock), and each time runs from just before the
// executable is started to that paint.
#include "ResidentMemory.h"
#include "DataSet.h"
#include "e2e/E2eSupport.h"
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>

namespace {

std::unique_ptr<X11Session> session;

TestSupport::ProgramFolder &folder(int items)
{
    static std::map<int, std::unique_ptr<TestSupport::ProgramFolder>> folders;
    auto it = folders.find(items);
    if (it != folders.end())
        return *it->second;
    auto made = std::make_unique<TestSupport::ProgramFolder>();
    made->copyProgramFiles();
    {
        const QString connection = QStringLiteral("startup%1").arg(items);
        QSqlDatabase db =
            Database::open(made->file(QStringLiteral("wyData.wyb")), connection);
        DataSet::generate(db, DataSet::Options{items, items, 7, 30});
    }
    Database::close(QStringLiteral("startup%1").arg(items));
    return *folders.emplace(items, std::move(made)).first->second;
}

// The number of shown top-level rows a list reports, or -1 while it does not answer.
int shownRows(const ProgramRun &run, const QByteArray &list)
{
    const QByteArray reply = run.request("shown " + list).trimmed();
    bool ok = false;
    const int rows = reply.toInt(&ok);
    return ok ? rows : -1;
}

qint64 monotonicMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Starts the program (or the floor) and waits until it has painted the to-do list with its
// rows: the seconds from the start to that paint, or a negative number with why in `why`.
double startToShownList(ProgramRun &run, QElapsedTimer &clock, QString &why)
{
    clock.start();
    const qint64 started = monotonicMicroseconds();
    if (!run.start()) {
        why = QStringLiteral("did not start");
        return -1;
    }
    qint64 painted = -1;
    while (shownRows(run, "tasks") <= 0 ||
           (painted = run.request("painted tasks").trimmed().toLongLong()) <= 0) {
        if (clock.elapsed() > 60000) {
            why = QStringLiteral("the to-do list did not show in 60 s: ") + run.output().left(300);
            return -1;
        }
        QThread::msleep(5);
    }
    return double(painted - started) / 1e6;
}

void BM_StartToPopulatedList(benchmark::State &state)
{
    if (!session || !session->isRunning()) {
        state.SkipWithError("Xvfb could not be started");
        return;
    }
    const int items = int(state.range(0));
    TestSupport::ProgramFolder &home = folder(items);
    qint64 rss = 0;
    double memosAfter = 0;
    double longestAnswer = 0;
    double floorTotal = 0;
    double programTotal = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        QString why;
        {
            ProgramRun floorRun(*session, home.path(), QStringLiteral(TASKLUME_STARTUP_FLOOR));
            const double floor = startToShownList(floorRun, clock, why);
            if (floor < 0) {
                state.SkipWithError((QStringLiteral("the floor: ") + why).toUtf8().constData());
                return;
            }
            floorTotal += floor;
            floorRun.process().kill();
            floorRun.process().waitForFinished(5000);
        }
        ProgramRun run(*session, home.path());
        const double seconds = startToShownList(run, clock, why);
        if (seconds < 0) {
            state.SkipWithError((QStringLiteral("the program: ") + why).toUtf8().constData());
            return;
        }
        programTotal += seconds;
        state.SetIterationTime(seconds);
        // From the first picture until the memo list is there, the window answers its
        // channel as it answers keys: the longest answer is the longest time it was deaf.
        for (;;) {
            QElapsedTimer answer;
            answer.start();
            const int memos = shownRows(run, "memos");
            longestAnswer = qMax(longestAnswer, double(answer.nsecsElapsed()) / 1e6);
            if (memos > 0 || clock.elapsed() >= 60000)
                break;
            QThread::msleep(5);
        }
        memosAfter = double(clock.elapsed()) / 1000.0;
        QThread::msleep(500); // let the last paints and deferred work settle
        rss = BenchMemory::residentKiB(run.process().processId());
        run.process().kill();
        run.process().waitForFinished(5000);
    }
    state.counters["rss_MiB"] = double(rss) / 1024.0;
    state.counters["memos_s"] = memosAfter;
    state.counters["answer_max_ms"] = longestAnswer;
    const double iterations = double(state.iterations());
    state.counters["floor_ms"] = iterations > 0 ? floorTotal * 1000.0 / iterations : 0.0;
    state.counters["floor_ratio"] = floorTotal > 0 ? programTotal / floorTotal : 0.0;
}

} // namespace

BENCHMARK(BM_StartToPopulatedList)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The program's images, sounds and help are copied from beside the program.
    if (qEnvironmentVariableIsEmpty("TASKLUME_PROGRAM_DIR"))
        qputenv("TASKLUME_PROGRAM_DIR",
                QFileInfo(ProgramRun::programPath()).absolutePath().toLocal8Bit());
    session = std::make_unique<X11Session>();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    session.reset();
    return 0;
}
