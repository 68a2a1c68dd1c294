// The interchange file on databases of N tasks and N memos:
// - a whole-database backup against zlib level 9 alone on the same XML text;
// - a restore into an empty database and an import against inserting the same rows in one
//   transaction through the same statements;
// - the peak heap each operation adds, against the size of the XML text;
// - the peak resident memory of tasklume-cli restoring and importing, into an empty folder,
//   a backup of N + N items and a hostile file (130 KB holding 128 MiB of empty elements in
//   a section the readers never look at), against the bound 64 MiB + 3 x the text of the
//   items stored.
// - iCalendar export and import of the same databases (tasklume-cli export/import FILE.ics),
//   against the backup and the restore, and the peak resident memory of tasklume-cli
//   exporting and importing them, and importing 1,000,000 minimal to-dos;
// Run: build/bench/bench_interchange (build with -DTASKLUME_BUILD_BENCH=ON).
#include "BenchData.h"
#include "DataSet.h"
#include "interchange/Interchange.h"
#include "interchange/WyxContainer.h"
#include "storage/Database.h"
#include "storage/Statements.h"
#include "sync/ICalendarFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <malloc.h>
#include <zlib.h>

// ---- heap meter: every allocation of the process passes through here -------------------

extern "C" {
void *__libc_malloc(size_t size);
void __libc_free(void *pointer);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
}

namespace HeapMeter {
std::atomic<long long> current{0};
std::atomic<long long> peak{0};

inline void add(void *pointer)
{
    if (!pointer)
        return;
    const long long now = current.fetch_add(static_cast<long long>(malloc_usable_size(pointer))) +
                          static_cast<long long>(malloc_usable_size(pointer));
    long long seen = peak.load(std::memory_order_relaxed);
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
}
inline void remove(void *pointer)
{
    if (pointer)
        current.fetch_sub(static_cast<long long>(malloc_usable_size(pointer)));
}
// Starts a measurement: the peak from now on, above what is in use now.
inline long long start()
{
    const long long base = current.load();
    peak.store(base);
    return base;
}
} // namespace HeapMeter

extern "C" {
void *malloc(size_t size) noexcept
{
    void *pointer = __libc_malloc(size);
    HeapMeter::add(pointer);
    return pointer;
}
void free(void *pointer) noexcept
{
    HeapMeter::remove(pointer);
    __libc_free(pointer);
}
void *calloc(size_t count, size_t size) noexcept
{
    void *pointer = __libc_calloc(count, size);
    HeapMeter::add(pointer);
    return pointer;
}
void *realloc(void *pointer, size_t size) noexcept
{
    const long long old = pointer ? static_cast<long long>(malloc_usable_size(pointer)) : 0;
    void *result = __libc_realloc(pointer, size);
    if (result) {
        HeapMeter::current.fetch_sub(old);
        HeapMeter::add(result);
    } else if (size == 0) {
        HeapMeter::current.fetch_sub(old);
    }
    return result;
}
void *memalign(size_t alignment, size_t size) noexcept
{
    void *pointer = __libc_memalign(alignment, size);
    HeapMeter::add(pointer);
    return pointer;
}
void *aligned_alloc(size_t alignment, size_t size) noexcept
{
    return memalign(alignment, size);
}
int posix_memalign(void **out, size_t alignment, size_t size) noexcept
{
    *out = memalign(alignment, size);
    return *out ? 0 : 12; // ENOMEM
}
void *valloc(size_t size) noexcept
{
    return memalign(4096, size);
}
void *pvalloc(size_t size) noexcept
{
    return memalign(4096, (size + 4095) & ~size_t(4095));
}
}

namespace {

// A backup of the generated database of N items per list, made once per size.
struct Backup
{
    QString path;
    QByteArray xml; // the document text inside it
};

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

const Backup &backup(int items)
{
    static std::map<int, Backup> made;
    auto it = made.find(items);
    if (it == made.end()) {
        Backup b;
        b.path = scratch().filePath(QStringLiteral("backup%1.wyx").arg(items));
        if (!Interchange::WriteDatabaseFile(BenchData::database(items), b.path))
            qFatal("cannot write the backup");
        if (!WyxContainer::readFile(b.path, b.xml))
            qFatal("cannot read the backup");
        it = made.emplace(items, std::move(b)).first;
    }
    return it->second;
}

// A fresh, empty database for one measured run.
class EmptyDb
{
public:
    EmptyDb()
    {
        static int counter = 0;
        m_connection = QStringLiteral("benchEmpty%1").arg(++counter);
        m_db =
            Database::open(QDir(m_dir.path()).filePath(QStringLiteral("wyData.wyb")), m_connection);
    }
    ~EmptyDb()
    {
        m_db = QSqlDatabase();
        Database::close(m_connection);
    }
    QSqlDatabase db() const { return m_db; }

private:
    QTemporaryDir m_dir;
    QString m_connection;
    QSqlDatabase m_db;
};

class NeverAsked : public Interchange::ReplaceAsker
{
public:
    Interchange::Answer ask(const Interchange::ReplaceQuestion &) override
    {
        return Interchange::Answer::Yes;
    }
};

void heapCounters(benchmark::State &state, long long base, const QByteArray &xml)
{
    const double peak = double(HeapMeter::peak.load() - base);
    state.counters["xml_MB"] = double(xml.size()) / 1e6;
    state.counters["heap_peak_MB"] = peak / 1e6;
    state.counters["heap_per_xml"] = peak / double(xml.size());
}

void BM_Backup(benchmark::State &state)
{
    const int items = int(state.range(0));
    QSqlDatabase db = BenchData::database(items);
    const Backup &b = backup(items);
    const QString path = scratch().filePath(QStringLiteral("out.wyx"));
    long long base = 0;
    for (auto _ : state) {
        base = HeapMeter::start();
        if (!Interchange::WriteDatabaseFile(db, path))
            state.SkipWithError("write failed");
    }
    heapCounters(state, base, b.xml);
}

void BM_Zlib9Alone(benchmark::State &state)
{
    const Backup &b = backup(int(state.range(0)));
    QByteArray out(qsizetype(compressBound(uLong(b.xml.size()))), '\0');
    for (auto _ : state) {
        uLongf size = uLongf(out.size());
        compress2(reinterpret_cast<Bytef *>(out.data()), &size,
                  reinterpret_cast<const Bytef *>(b.xml.constData()), uLong(b.xml.size()), 9);
        benchmark::DoNotOptimize(size);
    }
}

void BM_RestoreIntoEmpty(benchmark::State &state)
{
    const Backup &b = backup(int(state.range(0)));
    long long base = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto db = std::make_unique<EmptyDb>();
        NeverAsked asker;
        base = HeapMeter::start();
        state.ResumeTiming();
        const auto result = Interchange::RestoreFile(db->db(), b.path, asker, nullptr);
        state.PauseTiming();
        if (result.added != 2 * state.range(0))
            state.SkipWithError("restore incomplete");
        db.reset();
        state.ResumeTiming();
    }
    heapCounters(state, base, b.xml);
}

void BM_ImportIntoEmpty(benchmark::State &state)
{
    const Backup &b = backup(int(state.range(0)));
    long long base = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto db = std::make_unique<EmptyDb>();
        base = HeapMeter::start();
        state.ResumeTiming();
        const auto result = Interchange::ImportFile(db->db(), b.path, nullptr);
        state.PauseTiming();
        if (result.added != 2 * state.range(0))
            state.SkipWithError("import incomplete");
        db.reset();
        state.ResumeTiming();
    }
    heapCounters(state, base, b.xml);
}

// The floor: the same rows, already in memory, inserted in one transaction through the same
// statements.
void BM_InsertSameRows(benchmark::State &state)
{
    const int items = int(state.range(0));
    QSqlDatabase source = BenchData::database(items);
    struct TaskRow
    {
        TTaskInfo task;
        bool noText, noBack;
    };
    std::vector<TaskRow> tasks;
    std::vector<TMemoInfo> memos;
    {
        QSqlQuery query(source);
        query.setForwardOnly(true);
        query.exec(QStringLiteral("select * from tasks"));
        while (query.next()) {
            const QSqlRecord r = query.record();
            TaskRow row;
            row.task.key = r.value(QStringLiteral("tid")).toString();
            row.task.pid = r.value(QStringLiteral("pid")).toString();
            row.task.content = r.value(QStringLiteral("content")).toString();
            row.task.checkFlag = r.value(QStringLiteral("checkFlag")).toBool();
            row.task.dueFlag = r.value(QStringLiteral("dueFlag")).toBool();
            row.task.alarmFlag = r.value(QStringLiteral("alarmFlag")).toBool();
            row.noText = r.value(QStringLiteral("textColor")).isNull();
            row.noBack = r.value(QStringLiteral("backgroundColor")).isNull();
            row.task.textColor = r.value(QStringLiteral("textColor")).toInt();
            row.task.backgroundColor = r.value(QStringLiteral("backgroundColor")).toInt();
            row.task.createTime = r.value(QStringLiteral("createTime")).toDouble();
            row.task.editTime = r.value(QStringLiteral("editTime")).toDouble();
            row.task.checkTime = r.value(QStringLiteral("checkTime")).toDouble();
            row.task.alarmTime = r.value(QStringLiteral("alarmTime")).toDouble();
            row.task.dueTime = r.value(QStringLiteral("dueTime")).toDouble();
            tasks.push_back(row);
        }
        query.exec(QStringLiteral("select * from memos"));
        while (query.next()) {
            const QSqlRecord r = query.record();
            TMemoInfo memo;
            memo.key = r.value(QStringLiteral("mid")).toString();
            memo.pid = r.value(QStringLiteral("pid")).toString();
            memo.content = r.value(QStringLiteral("content")).toString();
            memo.assignTime = r.value(QStringLiteral("assignTime")).toDouble();
            memo.createTime = r.value(QStringLiteral("createTime")).toDouble();
            memo.editTime = r.value(QStringLiteral("editTime")).toDouble();
            memos.push_back(memo);
        }
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto db = std::make_unique<EmptyDb>();
        state.ResumeTiming();
        {
            MemoStatements memoStatements(db->db());
            TaskStatements taskStatements(db->db());
            db->db().transaction();
            for (const TMemoInfo &memo : memos)
                memoStatements.insertFull(memo);
            for (const TaskRow &row : tasks)
                taskStatements.insertFull(row.task, row.noText, row.noBack);
            if (!db->db().commit())
                state.SkipWithError("commit failed");
        }
        state.PauseTiming();
        db.reset();
        state.ResumeTiming();
    }
}

// The hostile file: one task, then 128 MiB of empty elements in the "notes" section.
const QString &bombFile()
{
    static const QString path = [] {
        const QString file = scratch().filePath(QStringLiteral("bomb.wyx"));
        if (!DataSet::writeHostileFile(file, 128))
            qFatal("cannot write the hostile file");
        return file;
    }();
    return path;
}

// The texts of the items stored from a backup of N + N items: every attribute value of
// every item, as the document holds them.
double storedTextMiB(const QByteArray &xml)
{
    qsizetype text = 0;
    bool inValue = false;
    for (const char c : xml) {
        if (c == '"')
            inValue = !inValue;
        else if (inValue)
            ++text;
    }
    return double(text) / (1024.0 * 1024.0);
}

// Runs tasklume-cli on an empty program folder; its peak resident memory in MiB, or -1. A
// process started from this one would count this one's memory in its peak (through the
// copied address space), so a small Python process starts it and asks for its child's peak.
double cliPeakMiB(const char *command, const QString &file, const QString &folder = {})
{
    QTemporaryDir home;
    QStringList arguments{
        QStringLiteral("-c"),
        QStringLiteral("import resource, subprocess, sys\n"
                       "r = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL)\n"
                       "print(r.returncode, "
                       "resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n"),
        QStringLiteral(TASKLUME_CLI), QString::fromLatin1(command), file};
    if (qstrcmp(command, "restore") == 0)
        arguments << QStringLiteral("--replace=all");
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TASKLUME_HOME"), folder.isEmpty() ? home.path() : folder);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("python3"), arguments);
    if (!process.waitForFinished(-1))
        return -1;
    const QList<QByteArray> words = process.readAllStandardOutput().simplified().split(' ');
    if (words.size() != 2 || words.at(0) != "0")
        return -1;
    return words.at(1).toDouble() / 1024.0;
}

// Arg 0: the hostile file; otherwise a backup of that many items per list.
void BM_CliPeakMemory(benchmark::State &state, const char *command)
{
    const int items = int(state.range(0));
    const QString file = items == 0 ? bombFile() : backup(items).path;
    const double stored = items == 0 ? 0.0 : storedTextMiB(backup(items).xml);
    double peak = 0;
    for (auto _ : state) {
        peak = cliPeakMiB(command, file);
        if (peak < 0)
            state.SkipWithError("tasklume-cli failed");
    }
    state.counters["file_MiB"] = double(QFileInfo(file).size()) / (1024.0 * 1024.0);
    state.counters["stored_text_MiB"] = stored;
    state.counters["rss_peak_MiB"] = peak;
    state.counters["bound_MiB"] = 64.0 + 3.0 * stored;
}

// ---- iCalendar files --------------------------------------------------------------------------

// The objects of a calendar file: every VTODO and VJOURNAL begun in it.
qint64 objectsIn(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    qint64 count = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (line == "BEGIN:VTODO\r\n" || line == "BEGIN:VJOURNAL\r\n")
            ++count;
    }
    return count;
}

// The export of N + N items, made once.
const QString &calendarFile(int items)
{
    static std::map<int, QString> made;
    auto it = made.find(items);
    if (it == made.end()) {
        const QString path = scratch().filePath(QStringLiteral("lists%1.ics").arg(items));
        if (!ICalendarFile::WriteDatabase(BenchData::database(items), path))
            qFatal("cannot write the calendar");
        it = made.emplace(items, path).first;
    }
    return it->second;
}

void BM_ExportIcs(benchmark::State &state)
{
    const int items = int(state.range(0));
    QSqlDatabase db = BenchData::database(items);
    const QString path = scratch().filePath(QStringLiteral("out.ics"));
    long long base = 0;
    for (auto _ : state) {
        base = HeapMeter::start();
        if (!ICalendarFile::WriteDatabase(db, path))
            state.SkipWithError("write failed");
        state.PauseTiming();
        if (objectsIn(path) != 2 * qint64(items))
            state.SkipWithError("export incomplete");
        state.ResumeTiming();
    }
    state.counters["ics_MB"] = double(QFileInfo(path).size()) / 1e6;
    state.counters["heap_peak_MB"] = double(HeapMeter::peak.load() - base) / 1e6;
}

void BM_ImportIcsIntoEmpty(benchmark::State &state)
{
    const int items = int(state.range(0));
    const QString &path = calendarFile(items);
    long long base = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto db = std::make_unique<EmptyDb>();
        base = HeapMeter::start();
        state.ResumeTiming();
        ICalendarFile::Contents contents;
        QString error;
        if (!ICalendarFile::Read(path, &contents, &error))
            state.SkipWithError("not read");
        const int added = ICalendarFile::Store(db->db(), contents);
        state.PauseTiming();
        QSqlQuery count(db->db());
        count.exec(
            QStringLiteral("select (select count(*) from tasks) + (select count(*) from memos)"));
        if (added != 2 * items || !count.next() || count.value(0).toInt() != 2 * items)
            state.SkipWithError("import incomplete");
        db.reset();
        state.ResumeTiming();
    }
    state.counters["ics_MB"] = double(QFileInfo(path).size()) / 1e6;
    state.counters["heap_peak_MB"] = double(HeapMeter::peak.load() - base) / 1e6;
}

// 1,000,000 minimal to-dos (about 55 MB), as another program might write them.
const QString &minimalTodos()
{
    static const QString path = [] {
        const QString file = scratch().filePath(QStringLiteral("minimal.ics"));
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            qFatal("cannot write the minimal to-dos");
        out.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//EN\r\n");
        for (int i = 0; i < 1000000; ++i)
            out.write("BEGIN:VTODO\r\nUID:" + QByteArray::number(1000000 + i) +
                      "\r\nSUMMARY:x\r\nEND:VTODO\r\n");
        out.write("END:VCALENDAR\r\n");
        return file;
    }();
    return path;
}

// Arg -1: 1,000,000 minimal to-dos imported; otherwise N + N items exported from their
// folder, or their export imported into an empty one.
void BM_CliPeakIcs(benchmark::State &state, const char *command)
{
    const int items = int(state.range(0));
    const bool exporting = qstrcmp(command, "export") == 0;
    const QString file = exporting   ? scratch().filePath(QStringLiteral("cli.ics"))
                         : items < 0 ? minimalTodos()
                                     : calendarFile(items);
    // The minimal to-do stores a key of 38 characters, "root" and its text of one.
    const double stored =
        items < 0 ? 1000000.0 * (38 + 4 + 1) / (1024.0 * 1024.0) : storedTextMiB(backup(items).xml);
    const QString folder =
        exporting ? QFileInfo(BenchData::database(items).databaseName()).absolutePath() : QString();
    double peak = 0;
    for (auto _ : state) {
        peak = cliPeakMiB(command, file, folder);
        if (peak < 0)
            state.SkipWithError("tasklume-cli failed");
        if (objectsIn(file) != (items < 0 ? 1000000 : 2 * qint64(items)))
            state.SkipWithError("not every item went through");
    }
    state.counters["file_MiB"] = double(QFileInfo(file).size()) / (1024.0 * 1024.0);
    state.counters["stored_text_MiB"] = stored;
    state.counters["rss_peak_MiB"] = peak;
    state.counters["bound_MiB"] = 64.0 + 3.0 * stored;
}

} // namespace

BENCHMARK_CAPTURE(BM_CliPeakIcs, export, "export")
    ->Arg(100000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CliPeakIcs, import, "import")
    ->Arg(100000)
    ->Arg(-1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CliPeakMemory, restore, "restore")
    ->Arg(0)
    ->Arg(100000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CliPeakMemory, import, "import")
    ->Arg(0)
    ->Arg(100000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zlib9Alone)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Backup)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsertSameRows)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RestoreIntoEmpty)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportIntoEmpty)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportIcs)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportIcsIntoEmpty)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
