// The sync against a real Radicale on this machine (the tests' fixture): first syncs of a
// generated list (up to an empty collection, and down from a collection another client
// filled), and a run after one change here or one change on the server, at several list
// sizes. Besides the time, each reports what the run cost: requests sent, rows read from the
// item table, objects sent and received. The requests alone are measured too, to tell the
// server's part of a run from the program's; the CPU column is the program's own time.
//
// Radicale checks a new object's UID against every object of the collection, so each upload
// of a first sync costs the server more the larger the collection is: uploads are measured
// at 1,000 tasks. The 10,000 (and, with TASKLUME_BENCH_SYNC_LARGE=1, 100,000) tasks of the
// larger runs are put into the server's storage as another client's objects and brought
// down by the first sync. At 100,000 the server's first listing is slow: on a 2-core machine
// it had not answered after 45 minutes.
#include "DataSet.h"
#include "storage/Database.h"
#include "storage/Statements.h"
#include "sync/CalDavClient.h"
#include "sync/ICalendarMapping.h"
#include "sync/RadicaleServer.h"
#include "sync/SyncEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

RadicaleServer &server()
{
    static RadicaleServer radicale;
    static const bool started = radicale.start();
    if (!started)
        qFatal("%s", qPrintable(radicale.why()));
    return radicale;
}

// A program folder with a generated to-do list and a collection of its own.
struct Folder
{
    QTemporaryDir dir;
    QString connection;
    QSqlDatabase db;
    std::unique_ptr<CalDavClient> client;
    QStringList keys; // a few top-level tasks to change
    bool synced = false;

    ~Folder()
    {
        client.reset();
        db = QSqlDatabase();
        Database::close(connection);
    }
};

// A folder with `items` generated tasks here and an empty collection; or, with onServer, an
// empty list here and the tasks as objects in the collection, written into the server's
// storage as another program would leave them.
std::unique_ptr<Folder> makeFolder(int items, bool onServer)
{
    static int made = 0;
    auto folder = std::make_unique<Folder>();
    const QString name = QStringLiteral("bench%1-%2").arg(items).arg(++made);
    folder->connection = name;
    folder->db =
        Database::open(QDir(folder->dir.path()).filePath(QStringLiteral("wyData.wyb")), name);
    const QUrl url = server().makeCalendar(name);
    if (url.isEmpty())
        qFatal("%s", qPrintable(server().why()));
    folder->client = std::make_unique<CalDavClient>(url, server().user(), server().password());
    folder->client->setTimeout(3600000);
    if (!onServer) {
        DataSet::generate(folder->db, DataSet::Options{items, 0, 7, 30});
    } else {
        QTemporaryDir scratch;
        const QString connection = name + QStringLiteral("-scratch");
        {
            QSqlDatabase db = Database::open(
                QDir(scratch.path()).filePath(QStringLiteral("wyData.wyb")), connection);
            DataSet::generate(db, DataSet::Options{items, 0, 7, 30});
            const ItemForest forest = TaskStatements(db).loadForest();
            const QString storage = server().storageFolder(name);
            const auto write = [&](const TTaskInfo &task) {
                QFile file(storage + QLatin1Char('/') + task.key.toString() +
                           QStringLiteral(".ics"));
                if (!file.open(QIODevice::WriteOnly) ||
                    file.write(ICalendarMapping::ToICalendar({task}, {})) < 0)
                    qFatal("cannot write %s", qPrintable(file.fileName()));
            };
            for (const auto &node : forest) {
                write(*node->as<TTaskInfo>());
                for (const auto &child : node->children)
                    write(*child->as<TTaskInfo>());
            }
        }
        Database::close(connection);
        // The server reads the new objects once, before anything is measured.
        DavListing listing;
        if (!folder->client->listNow(&listing).ok() || listing.objects.size() != items)
            qFatal("the server does not list the objects");
    }
    return folder;
}

// Keys of a few top-level tasks, to change.
void pickKeys(Folder *folder)
{
    QSqlQuery query(folder->db);
    query.exec(QStringLiteral("select tid from tasks where pid='root' limit 10"));
    while (query.next())
        folder->keys.append(query.value(0).toString());
}

void addCounters(benchmark::State &state, const SyncReport &report)
{
    using benchmark::Counter;
    state.counters["requests"] = Counter(report.requests, Counter::kAvgIterations);
    state.counters["rowsRead"] = Counter(report.localItemsRead, Counter::kAvgIterations);
    state.counters["sent"] =
        Counter(report.uploaded + report.deletedThere, Counter::kAvgIterations);
    state.counters["received"] =
        Counter(report.downloaded + report.deletedHere, Counter::kAvgIterations);
}

// Sums the reports of the iterations for the counters.
void add(SyncReport &sum, const SyncReport &report)
{
    sum.requests += report.requests;
    sum.localItemsRead += report.localItemsRead;
    sum.uploaded += report.uploaded;
    sum.deletedThere += report.deletedThere;
    sum.downloaded += report.downloaded;
    sum.deletedHere += report.deletedHere;
}

// One synced folder per list size, made by the first sync and kept for the runs after it.
std::map<int, std::unique_ptr<Folder>> &syncedFolders()
{
    static std::map<int, std::unique_ptr<Folder>> folders;
    return folders;
}

Folder *syncedFolder(int items)
{
    auto &folders = syncedFolders();
    auto it = folders.find(items);
    if (it == folders.end()) {
        auto folder = makeFolder(items, true);
        const SyncReport report = SyncEngine(folder->db, folder->client.get()).syncTasksNow();
        if (!report.ok)
            qFatal("%s", qPrintable(report.message));
        pickKeys(folder.get());
        it = folders.emplace(items, std::move(folder)).first;
    }
    return it->second.get();
}

// A first sync: every task goes up to an empty collection, or comes down from a collection
// another client filled. Arguments: the list's size and, going up, how many uploads are on
// their way at once.
void firstSync(benchmark::State &state, bool down)
{
    const int items = int(state.range(0));
    SyncReport sum;
    for (auto _ : state) {
        state.PauseTiming();
        auto folder = makeFolder(items, down);
        SyncEngine engine(folder->db, folder->client.get());
        if (!down)
            engine.setUploadsInFlight(int(state.range(1)));
        state.ResumeTiming();
        const SyncReport report = engine.syncTasksNow();
        state.PauseTiming();
        if (!report.ok) {
            state.SkipWithError(qPrintable(report.message));
            break;
        }
        add(sum, report);
        if (down) {
            // It stays for the runs after one change.
            pickKeys(folder.get());
            syncedFolders()[items] = std::move(folder);
        }
        state.ResumeTiming();
    }
    addCounters(state, sum);
    state.SetItemsProcessed(state.iterations() * items);
}

void BM_FirstSyncUp(benchmark::State &state)
{
    firstSync(state, false);
}
void BM_FirstSyncDown(benchmark::State &state)
{
    firstSync(state, true);
}

enum Change
{
    EditHere,
    EditThere,
    Nothing
};

// A run after one change: a task edited here, a task edited on the server by another
// client, or nothing changed. Argument: the list's size.
void runAfterOneChange(benchmark::State &state, Change change)
{
    const int items = int(state.range(0));
    Folder *folder = syncedFolder(items);
    TaskStatements tasks(folder->db);
    CalDavClient other(folder->client->collection(), server().user(), server().password());
    const QString key = folder->keys.first();
    const QString href = folder->client->hrefFor(key + QStringLiteral(".ics"));
    QString etag;
    if (change == EditThere) {
        QList<DavObject> objects;
        if (!other.fetchNow({href}, &objects).ok() || objects.isEmpty()) {
            state.SkipWithError("the task is not on the server");
            return;
        }
        etag = objects.first().etag;
    }
    SyncReport sum;
    // Each change differs from every one before, in every run of the benchmark.
    static int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString text = QStringLiteral("Changed %1").arg(++round);
        if (change == EditHere) {
            tasks.updateContent(key, text, 46000.0 + round);
        } else if (change == EditThere) {
            const DavResult put = other.putNow(href, sampleTodo(key, text), etag, &etag);
            if (!put.ok()) {
                state.SkipWithError(qPrintable(put.message));
                break;
            }
        }
        state.ResumeTiming();
        const SyncReport report = SyncEngine(folder->db, folder->client.get()).syncTasksNow();
        state.PauseTiming();
        if (!report.ok) {
            state.SkipWithError(qPrintable(report.message));
            break;
        }
        add(sum, report);
        state.ResumeTiming();
    }
    addCounters(state, sum);
}

void BM_SyncAfterEditHere(benchmark::State &state)
{
    runAfterOneChange(state, EditHere);
}
void BM_SyncAfterEditOnServer(benchmark::State &state)
{
    runAfterOneChange(state, EditThere);
}
void BM_SyncNothingChanged(benchmark::State &state)
{
    runAfterOneChange(state, Nothing);
}

// The server's part: the one request every run makes (what changed since the token, here
// nothing), and a multiget of one object, sent bare. Argument: the collection's size.
void BM_ServerChangesReport(benchmark::State &state)
{
    Folder *folder = syncedFolder(int(state.range(0)));
    const QString token =
        SyncStateStatements(folder->db, folder->client->collection().toString()).token();
    for (auto _ : state) {
        DavChanges changes;
        const DavResult result = folder->client->changesSinceNow(token, &changes);
        if (!result.ok()) {
            state.SkipWithError(qPrintable(result.message));
            break;
        }
    }
}

void BM_ServerMultigetOne(benchmark::State &state)
{
    Folder *folder = syncedFolder(int(state.range(0)));
    const QString href = folder->client->hrefFor(folder->keys.last() + QStringLiteral(".ics"));
    for (auto _ : state) {
        QList<DavObject> objects;
        const DavResult result = folder->client->fetchNow({href}, &objects);
        if (!result.ok() || objects.size() != 1) {
            state.SkipWithError("the multiget failed");
            break;
        }
    }
}

} // namespace

BENCHMARK(BM_FirstSyncUp)
    ->ArgNames({"items", "inFlight"})
    ->Args({1000, 1})
    ->Args({1000, 4})
    ->Args({10000, 4})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

namespace {
// The sizes of the larger runs.
void sizes(benchmark::internal::Benchmark *b)
{
    b->ArgName("items")->Arg(1000)->Arg(10000);
    if (qEnvironmentVariableIntValue("TASKLUME_BENCH_SYNC_LARGE") == 1)
        b->Arg(100000);
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}
} // namespace

BENCHMARK(BM_FirstSyncDown)->Apply(sizes)->Iterations(1);
BENCHMARK(BM_SyncAfterEditHere)->Apply(sizes);
BENCHMARK(BM_SyncAfterEditOnServer)->Apply(sizes);
BENCHMARK(BM_SyncNothingChanged)->Apply(sizes);
BENCHMARK(BM_ServerChangesReport)->Apply(sizes);
BENCHMARK(BM_ServerMultigetOne)->Apply(sizes);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    syncedFolders().clear();
    return 0;
}
