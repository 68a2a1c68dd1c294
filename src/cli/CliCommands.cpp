#include "CliCommands.h"

#include "app/ManualPage.h"

#include "app/SingleInstance.h"
#include "common/AppPaths.h"
#include "common/IniFile.h"
#include "common/ItemTree.h"
#include "common/Reports.h"
#include "common/RunLock.h"
#include "common/SafeFile.h"
#include "common/Texts.h"
#include "interchange/Interchange.h"
#include "interchange/ListReports.h"
#include "memos/MemoInfo.h"
#include "storage/Database.h"
#include "storage/DatabaseCheck.h"
#include "storage/PastedItem.h"
#include "storage/Statements.h"
#include "sync/CalDavDiscovery.h"
#include "sync/ICalendarFile.h"
#include "sync/SecretStore.h"
#include "sync/SyncRun.h"
#include "sync/SyncSettings.h"
#include "tasks/TaskInfo.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

namespace Cli {
namespace {

const QString kProgram = QStringLiteral("tasklume-cli");
// How long a running program may take to store an item it is asked to add: the request
// carries that moment, and the program drops a request that comes later (a program that was
// stopped, or too busy), so that no answer in time means the item was not added.
constexpr int kAddTimeoutMs = 10000;
// How long after that moment the answer of a program that took the request in time is
// waited for.
constexpr int kAddAnswerMs = 2000;
// The sync password for a run without the desktop's secret store.
const char *const kPasswordVariable = "TASKLUME_SYNC_PASSWORD";
// The longest password line sync-password takes.
constexpr qsizetype kMaxPasswordBytes = 4096;

// Ends a command: its exit status and its one line for standard error.
struct Stop
{
    int status;
    QString message;
};

[[noreturn]] void fail(const QString &message)
{
    throw Stop{Failure, message};
}
[[noreturn]] void usage(const QString &message)
{
    throw Stop{Usage, message};
}

struct Io
{
    std::FILE *out;
    std::FILE *err;
    std::FILE *in;

    void bytes(const QByteArray &data) const
    {
        std::fwrite(data.constData(), 1, size_t(data.size()), out);
    }
    void line(const QString &text) const { bytes(text.toUtf8() + '\n'); }
    void warning(const QString &text) const
    {
        std::fflush(out);
        const QByteArray data = (kProgram + QStringLiteral(": warning: ") + text).toUtf8() + '\n';
        std::fwrite(data.constData(), 1, size_t(data.size()), err);
    }
};

// ---- the program folder and its database ------------------------------------------------

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// A message of a library (the argument parser, the sync) in the form of the program's own.
QString lowerFirst(QString text)
{
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (!text.isEmpty())
        text[0] = text.at(0).toLower();
    return text;
}

QString programFolder()
{
    const QString folder = AppPaths::folder();
    if (!QFileInfo(folder).isDir())
        fail(QStringLiteral("the program folder %1 does not exist").arg(shown(folder)));
    return folder;
}

QString databasePath()
{
    return AppPaths::file(Texts::DatabaseFileName);
}

bool databaseExists()
{
    return QFileInfo::exists(databasePath());
}

// The program's connection for the length of a command.
class Connection
{
public:
    // The database as it stands, for the reading commands; a missing one is not created.
    static Connection existing()
    {
        programFolder();
        if (!databaseExists())
            fail(QStringLiteral("there is no database %1 (none was created)")
                     .arg(shown(databasePath())));
        return Connection(Database::openExisting(databasePath()));
    }
    // The database the way the program opens it, created when missing as at its first start.
    static Connection writable()
    {
        programFolder();
        return Connection(Database::open(databasePath()));
    }

    Connection(Connection &&other) noexcept : db(std::move(other.db)) { other.m_owner = false; }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    ~Connection()
    {
        if (!m_owner)
            return;
        db = QSqlDatabase();
        Database::close();
    }

    QSqlDatabase db;

private:
    explicit Connection(QSqlDatabase opened) : db(std::move(opened)) {}
    bool m_owner = true;
};

QString lockPath()
{
    return AppPaths::file(Texts::RunLockFileName);
}

QString runningText(const RunLock::Holder &program)
{
    return QStringLiteral("Ploxen Tasklume is running on this folder (process %1)")
        .arg(program.pid);
}

// The writing commands other than "add" leave the folder to a running program. Otherwise
// the returned lock keeps a program from starting until the command has ended.
void refuseWhileRunning(RunLock &lock, const QString &menuCommand)
{
    if (const std::optional<RunLock::Holder> program = lock.acquireShared(lockPath()))
        fail(runningText(*program) + QStringLiteral(": use \"%1\" in its File menu, or exit it "
                                                    "first; nothing was changed")
                                         .arg(menuCommand));
}

// ---- files ------------------------------------------------------------------------------

void requireReadableFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        fail(QStringLiteral("%1: no such file").arg(shown(path)));
    if (info.isDir())
        fail(QStringLiteral("%1 is a folder, not a file").arg(shown(path)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("%1: %2").arg(shown(path), file.errorString()));
}

QString cannotWrite(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("cannot write %1: it is a folder").arg(shown(path));
    if (!info.absoluteDir().exists())
        return QStringLiteral("cannot write %1: the folder %2 does not exist")
            .arg(shown(path), shown(info.absolutePath()));
    return QStringLiteral("cannot write %1").arg(shown(path));
}

// A file both readers accept: readable, and written by this program.
void requireInterchangeFile(const QString &path)
{
    requireReadableFile(path);
    QString app;
    switch (Interchange::ProbeFile(path, &app)) {
    case Interchange::Outcome::ReadFailure:
        fail(QStringLiteral("%1 is not a readable interchange file (File read failure!)")
                 .arg(shown(path)));
    case Interchange::Outcome::Mismatch:
        fail(QStringLiteral("%1 was not written by Tasklume (Data mismatch: %2Tasklume)")
                 .arg(shown(path), app));
    default:
        break;
    }
}

// ---- the lists --------------------------------------------------------------------------

Reports::ListKind listArgument(const QString &text, bool singular)
{
    const QString tasks = singular ? QStringLiteral("task") : QStringLiteral("tasks");
    const QString memos = singular ? QStringLiteral("memo") : QStringLiteral("memos");
    if (text == tasks)
        return Reports::ListKind::Tasks;
    if (text == memos)
        return Reports::ListKind::Memos;
    usage(QStringLiteral("unknown list '%1': use %2 or %3").arg(text, tasks, memos));
}

std::unique_ptr<ItemStatements> statementsFor(Reports::ListKind kind, QSqlDatabase db)
{
    if (kind == Reports::ListKind::Tasks)
        return std::make_unique<TaskStatements>(db);
    return std::make_unique<MemoStatements>(db);
}

// The whole list in the order the program shows it: sorted in the list's direction.
void loadList(QSqlDatabase db, Reports::ListKind kind, ItemTreeModel &model)
{
    model.resetForest(statementsFor(kind, db)->loadForest());
    const IniFile ini(AppPaths::file(Texts::IniFileName));
    const QString section =
        kind == Reports::ListKind::Tasks ? QStringLiteral("task") : QStringLiteral("memo");
    model.sortAll(ini.readBool(section, QStringLiteral("viewAscEn"), true));
}

QJsonValue jsonTime(TDateTime days)
{
    const QDateTime time = days == 0 ? QDateTime() : DaysToDateTime(days);
    if (!time.isValid())
        return QJsonValue::Null;
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

QString textTime(TDateTime days)
{
    return DaysToDateTime(days).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QJsonObject jsonItem(Reports::ListKind kind, const ItemNode *node)
{
    const ItemInfo &info = *node->info;
    QJsonObject item{{QStringLiteral("key"), info.key.toString()},
                     {QStringLiteral("content"), info.content}};
    if (kind == Reports::ListKind::Tasks) {
        const auto &task = static_cast<const TTaskInfo &>(info);
        item.insert(QStringLiteral("checkFlag"), task.checkFlag);
        item.insert(QStringLiteral("dueFlag"), task.dueFlag);
        item.insert(QStringLiteral("alarmFlag"), task.alarmFlag);
        item.insert(QStringLiteral("textColor"), task.textColor);
        item.insert(QStringLiteral("backgroundColor"), task.backgroundColor);
        item.insert(QStringLiteral("checkTime"), jsonTime(task.checkTime));
        item.insert(QStringLiteral("dueTime"), jsonTime(task.dueTime));
        item.insert(QStringLiteral("alarmTime"), jsonTime(task.alarmTime));
    } else {
        item.insert(QStringLiteral("assignTime"),
                    jsonTime(static_cast<const TMemoInfo &>(info).assignTime));
    }
    item.insert(QStringLiteral("createTime"), jsonTime(info.createTime));
    item.insert(QStringLiteral("editTime"), jsonTime(info.editTime));
    if (node->level() == 0) {
        item.insert(QStringLiteral("expandFlag"), info.expandFlag);
        QJsonArray children;
        for (const auto &child : node->children)
            children.append(jsonItem(kind, child.get()));
        item.insert(QStringLiteral("children"), children);
    }
    return item;
}

QString textItem(Reports::ListKind kind, const ItemNode *node)
{
    const ItemInfo &info = *node->info;
    QString line = node->level() == 0 ? QString() : QStringLiteral("    ");
    line += info.key.toString() + QLatin1Char(' ');
    QStringList notes{QStringLiteral("created ") + textTime(info.createTime),
                      QStringLiteral("edited ") + textTime(info.editTime)};
    if (kind == Reports::ListKind::Tasks) {
        const auto &task = static_cast<const TTaskInfo &>(info);
        line += task.checkFlag ? QStringLiteral("[x] ") : QStringLiteral("[ ] ");
        if (task.checkFlag)
            notes.append(QStringLiteral("completed ") + textTime(task.checkTime));
        if (task.dueFlag)
            notes.append(QStringLiteral("due ") +
                         DaysToDateTime(task.dueTime).toString(QStringLiteral("yyyy-MM-dd")));
        if (task.alarmFlag)
            notes.append(QStringLiteral("reminder ") + textTime(task.alarmTime));
    } else if (const TDateTime assigned = static_cast<const TMemoInfo &>(info).assignTime) {
        notes.append(QStringLiteral("assigned ") + textTime(assigned));
    }
    if (node->level() == 0 && info.expandFlag)
        notes.append(QStringLiteral("expanded"));
    return line + FlattenLines(info.content) + QStringLiteral("  (") +
           notes.join(QStringLiteral(", ")) + QLatin1Char(')');
}

// ---- the commands -----------------------------------------------------------------------

const QCommandLineOption kReplace(QStringLiteral("replace"),
                                  QStringLiteral("Replace every existing item (all) or none."),
                                  QStringLiteral("all|none"));
const QCommandLineOption kFormat(QStringLiteral("format"),
                                 QStringLiteral("The report's format; without it, .htm and .html "
                                                "files get HTML and others text."),
                                 QStringLiteral("text|html"));
const QCommandLineOption kJson(QStringLiteral("json"),
                               QStringLiteral("Write JSON: an object with \"list\" and \"items\", "
                                              "each top-level item with its \"children\"."));
const QCommandLineOption kChildOf(QStringLiteral("child-of"),
                                  QStringLiteral("Store the item under the top-level item with "
                                                 "this key (as list shows it)."),
                                  QStringLiteral("KEY"));

// Messages the readers report, kept for the end of the run.
struct Messages
{
    QStringList list;
    Interchange::MessageSink sink()
    {
        return [this](const QString &text) { list.append(text); };
    }
};

class FixedAnswer : public Interchange::ReplaceAsker
{
public:
    explicit FixedAnswer(Interchange::Answer answer) : m_answer(answer) {}
    Interchange::Answer ask(const Interchange::ReplaceQuestion &) override { return m_answer; }

private:
    Interchange::Answer m_answer;
};

// The end of a restore or an import: the readers' remarks as warnings, or the error that
// stopped the run as the failure.
void finishRun(const Io &io, const Interchange::RunResult &result, const Messages &messages,
               const QString &file)
{
    const bool failed = result.outcome == Interchange::Outcome::ReadFailure ||
                        result.outcome == Interchange::Outcome::Mismatch ||
                        result.outcome == Interchange::Outcome::Failed;
    // The remarks made before a failure are shown as they are after a success; the last
    // message is then the failure itself.
    const qsizetype remarks = failed ? messages.list.size() - 1 : messages.list.size();
    for (qsizetype i = 0; i < remarks; ++i)
        io.warning(FlattenLines(messages.list.at(i)));
    switch (result.outcome) {
    case Interchange::Outcome::ReadFailure:
    case Interchange::Outcome::Mismatch:
        // The file changed after it was checked; nothing was written.
        fail(QStringLiteral("%1: %2").arg(shown(file),
                                          messages.list.value(messages.list.size() - 1)));
    case Interchange::Outcome::Failed: {
        const QString failure =
            messages.list.value(messages.list.size() - 1, QStringLiteral("the run failed"));
        // A failure that undid the run says so itself.
        if (result.nothingStored)
            fail(failure);
        const int stored = result.added + result.replaced;
        fail(failure + QStringLiteral(" (%1 item(s) stored before it stay)").arg(stored));
    }
    case Interchange::Outcome::Completed:
    case Interchange::Outcome::Aborted:
        break;
    }
}

int runBackup(const Io &io, const QCommandLineParser &, const QStringList &arguments)
{
    const QString file = arguments.at(0);
    SafeFile::RefuseTarget(file);
    Connection connection = Connection::existing();
    int changedTexts = 0;
    if (!Interchange::WriteDatabaseFile(connection.db, file, Interchange::FileVersionText(),
                                        &changedTexts))
        fail(cannotWrite(file) + QStringLiteral(" (File write failure!)"));
    if (changedTexts > 0)
        io.warning(Interchange::ChangedTextsText(changedTexts));
    return Success;
}

int runRestore(const Io &io, const QCommandLineParser &parser, const QStringList &arguments)
{
    const QString replace = parser.value(kReplace);
    if (!parser.isSet(kReplace))
        usage(QStringLiteral("say which existing items to replace: --replace=all or "
                             "--replace=none"));
    if (replace != QLatin1String("all") && replace != QLatin1String("none"))
        usage(QStringLiteral("invalid --replace value '%1': use all or none").arg(replace));
    const QString file = arguments.at(0);
    requireInterchangeFile(file);
    programFolder();
    RunLock lock;
    refuseWhileRunning(lock, QStringLiteral("Database Restore..."));
    Connection connection = Connection::writable();
    FixedAnswer asker(replace == QLatin1String("all") ? Interchange::Answer::All
                                                      : Interchange::Answer::No);
    Messages messages;
    const Interchange::RunResult result =
        Interchange::RestoreFile(connection.db, file, asker, messages.sink());
    finishRun(io, result, messages, file);
    io.line(QStringLiteral("restored %1: %2 added, %3 replaced, %4 kept as stored")
                .arg(shown(file))
                .arg(result.added)
                .arg(result.replaced)
                .arg(result.kept));
    return Success;
}

// export FILE: an iCalendar file for a name ending in .ics, else the backup's file.
int runExport(const Io &io, const QCommandLineParser &parser, const QStringList &arguments)
{
    const QString file = arguments.at(0);
    if (!ICalendarFile::IsICalendarName(file))
        return runBackup(io, parser, arguments);
    SafeFile::RefuseTarget(file);
    Connection connection = Connection::existing();
    int leftOut = 0;
    if (!ICalendarFile::WriteDatabase(connection.db, file, &leftOut))
        fail(cannotWrite(file) + QStringLiteral(" (File write failure!)"));
    if (leftOut > 0)
        io.warning(QStringLiteral("%1 item(s) the lists do not show (a parent missing, a third "
                                  "level) were left out; backup keeps them")
                       .arg(leftOut));
    return Success;
}

void importICalendar(const Io &io, const QString &file)
{
    requireReadableFile(file);
    // The file is read whole before the folder is touched: a file that is no calendar
    // changes nothing.
    ICalendarFile::Contents calendar;
    QString error;
    if (!ICalendarFile::Read(file, &calendar, &error))
        fail(QStringLiteral("%1 %2").arg(shown(file), error));
    programFolder();
    RunLock lock;
    refuseWhileRunning(lock, QStringLiteral("Import"));
    Connection connection = Connection::writable();
    const int moved = calendar.moved;
    int unarmed = 0;
    const int added = ICalendarFile::Store(connection.db, calendar, &unarmed);
    QString summary = QStringLiteral("imported %1: %2 item(s) added").arg(shown(file)).arg(added);
    if (moved > 0)
        summary += QStringLiteral(", %1 item(s) placed at the nearest level of the two").arg(moved);
    if (unarmed > 0)
        summary += QStringLiteral(", ") + ICalendarMapping::UnarmedText(unarmed);
    io.line(summary);
}

int runImport(const Io &io, const QCommandLineParser &, const QStringList &arguments)
{
    const QString file = arguments.at(0);
    if (ICalendarFile::IsICalendarName(file)) {
        importICalendar(io, file);
        return Success;
    }
    requireInterchangeFile(file);
    programFolder();
    RunLock lock;
    refuseWhileRunning(lock, QStringLiteral("Import"));
    Connection connection = Connection::writable();
    Messages messages;
    const Interchange::RunResult result =
        Interchange::ImportFile(connection.db, file, messages.sink());
    finishRun(io, result, messages, file);
    QString summary =
        QStringLiteral("imported %1: %2 item(s) added").arg(shown(file)).arg(result.added);
    if (result.promoted > 0)
        summary += QStringLiteral(", %1 child item(s) without their parent made top-level")
                       .arg(result.promoted);
    io.line(summary);
    return Success;
}

int runReport(const Io &io, const QCommandLineParser &parser, const QStringList &arguments)
{
    const Reports::ListKind kind = listArgument(arguments.at(0), false);
    const QString file = arguments.at(1);
    Reports::Format format = Reports::Format::Text;
    if (parser.isSet(kFormat)) {
        const QString value = parser.value(kFormat);
        if (value == QLatin1String("html"))
            format = Reports::Format::Html;
        else if (value != QLatin1String("text"))
            usage(QStringLiteral("invalid --format value '%1': use text or html").arg(value));
    } else {
        const QString suffix = QFileInfo(file).suffix().toLower();
        if (suffix == QLatin1String("htm") || suffix == QLatin1String("html"))
            format = Reports::Format::Html;
    }
    if (file != QLatin1String("-"))
        SafeFile::RefuseTarget(file);
    QByteArray bytes;
    {
        Connection connection = Connection::existing();
        ItemTreeModel model;
        loadList(connection.db, kind, model);
        // "Save All": every top-level item, each with all its children.
        QList<ItemNode *> whole;
        for (const auto &top : model.root()->children)
            whole.append(top.get());
        bytes = Reports::Report(kind, format, Reports::CollectEntries(whole), Reports::MakeStamp());
    }
    if (file == QLatin1String("-"))
        io.bytes(bytes);
    else if (!Reports::WriteReportFile(file, bytes))
        fail(cannotWrite(file));
    return Success;
}

int runList(const Io &io, const QCommandLineParser &parser, const QStringList &arguments)
{
    const Reports::ListKind kind = listArgument(arguments.at(0), false);
    Connection connection = Connection::existing();
    ItemTreeModel model;
    loadList(connection.db, kind, model);
    if (parser.isSet(kJson)) {
        QJsonArray items;
        for (const auto &top : model.root()->children)
            items.append(jsonItem(kind, top.get()));
        const QJsonObject list{{QStringLiteral("list"), arguments.at(0)},
                               {QStringLiteral("items"), items}};
        io.bytes(QJsonDocument(list).toJson(QJsonDocument::Indented));
        return Success;
    }
    for (const auto &top : model.root()->children) {
        io.line(textItem(kind, top.get()));
        for (const auto &child : top->children)
            io.line(textItem(kind, child.get()));
    }
    return Success;
}

QString readAll(std::FILE *in)
{
    QByteArray data;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        data.append(buffer, qsizetype(n));
    return QString::fromUtf8(data);
}

int runAdd(const Io &io, const QCommandLineParser &parser, const QStringList &arguments)
{
    const Reports::ListKind kind = listArgument(arguments.at(0), true);
    const QString text = arguments.at(1) == QLatin1String("-") ? readAll(io.in) : arguments.at(1);
    const QString parent = parser.isSet(kChildOf) ? parser.value(kChildOf) : Texts::RootKey;
    if (parent.isEmpty())
        usage(QStringLiteral("--child-of needs the key of a top-level item"));
    if (text.trimmed().isEmpty())
        fail(QStringLiteral("the text is empty; nothing was added"));
    programFolder();
    if (parent != Texts::RootKey && !databaseExists())
        fail(PastedItem::NoParentMessage(kind, parent) +
             QStringLiteral(" There is no database %1.").arg(shown(databasePath())));

    RunLock lock;
    if (const std::optional<RunLock::Holder> program = lock.acquireShared(lockPath())) {
        // The running program stores the item itself and shows it at once.
        if (program->channel.isEmpty())
            fail(runningText(*program) +
                 QStringLiteral(" and cannot be reached; nothing was added"));
        // The moment on the system's monotonic clock (the same in every process) after which
        // the program must not store the item any more.
        const qint64 deadline = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now().time_since_epoch())
                                    .count() +
                                kAddTimeoutMs;
        const QByteArray request = "add " + arguments.at(0).toUtf8() + ' ' +
                                   parent.toUtf8().toBase64() + ' ' + text.toUtf8().toBase64() +
                                   ' ' + QByteArray::number(deadline);
        const QByteArray reply =
            RequestInstance(program->channel, request, kAddTimeoutMs + kAddAnswerMs).trimmed();
        if (reply.startsWith("ok ")) {
            io.line(QString::fromUtf8(reply.mid(3)));
            return Success;
        }
        if (reply.startsWith("error "))
            fail(QString::fromUtf8(reply.mid(6)));
        fail(runningText(*program) +
             QStringLiteral(" and did not answer in time; the item was not added"));
    }
    Connection connection = Connection::writable();
    io.line(PastedItem::Store(connection.db, kind, text, parent));
    return Success;
}

int runCheck(const Io &io, const QCommandLineParser &, const QStringList &)
{
    DatabaseCheck::Report report;
    {
        Connection connection = Connection::existing();
        report = DatabaseCheck::Run(connection.db);
    }
    io.line(QStringLiteral("database: ") + shown(databasePath()));
    int problems = int(report.integrityProblems.size());
    if (report.integrityProblems.isEmpty())
        io.line(QStringLiteral("integrity: ok"));
    for (const QString &problem : report.integrityProblems)
        io.line(QStringLiteral("integrity: ") + problem);
    for (const DatabaseCheck::TableReport *table : {&report.tasks, &report.memos}) {
        const QString name = table->table + QStringLiteral(": ");
        if (!table->present) {
            io.line(name + QStringLiteral("the table is missing"));
            ++problems;
            continue;
        }
        if (!table->missingColumns.isEmpty()) {
            io.line(name + QStringLiteral("missing columns: ") +
                    table->missingColumns.join(QStringLiteral(", ")));
            problems += int(table->missingColumns.size());
        }
        io.line(name +
                QStringLiteral("%1 rows, %2 top-level, %3 children, %4 orphan, %5 third-level")
                    .arg(table->rows)
                    .arg(table->topLevel)
                    .arg(table->children)
                    .arg(table->orphanKeys.size())
                    .arg(table->thirdLevelKeys.size()));
        for (const QString &key : table->orphanKeys)
            io.line(name + QStringLiteral("orphan (its parent is missing): ") + key);
        for (const QString &key : table->thirdLevelKeys)
            io.line(name + QStringLiteral("third level (its parent is a child): ") + key);
        for (const QString &key : table->reservedKeys)
            io.line(name + QStringLiteral("reserved key (no item may carry \"root\" or an "
                                          "empty key): \"%1\"")
                               .arg(key));
        problems += int(table->orphanKeys.size() + table->thirdLevelKeys.size() +
                        table->reservedKeys.size());
    }
    if (problems == 0) {
        io.line(QStringLiteral("result: sound"));
        return Success;
    }
    io.line(QStringLiteral("result: %1 problem(s)").arg(problems));
    fail(QStringLiteral("%1 problem(s) found in %2").arg(problems).arg(shown(databasePath())));
}

// ---- sync --------------------------------------------------------------------------------

SyncSettings readSyncSettings()
{
    programFolder();
    return SyncOptions::Read(IniFile(AppPaths::file(Texts::IniFileName)));
}

void requireSyncSettings(const SyncSettings &settings, const QString &nothingDone)
{
    if (!settings.isSet())
        fail(QStringLiteral("no collection is set for the to-do list: set one with \"%1 "
                            "sync-setup\" or in the program's File > Options... > Sync; %2")
                 .arg(kProgram, nothingDone));
}

// The password of a run: the variable when it is set (scripts, machines without a desktop
// session), else the one the desktop's secret store keeps for the user and server.
QString syncPassword(const SyncSettings &settings)
{
    if (qEnvironmentVariableIsSet(kPasswordVariable))
        return qEnvironmentVariable(kPasswordVariable);
    QString password;
    const SecretResult result = SecretStore::readPasswordNow(settings, &password);
    if (!result.ok)
        fail(lowerFirst(result.message) +
             QStringLiteral("; set %1 to give the password without it; nothing was changed")
                 .arg(QLatin1String(kPasswordVariable)));
    if (result.missing)
        fail(
            QStringLiteral("no sync password is kept for %1 in the desktop's secret store: "
                           "store it with \"%2 sync-password\" or set %3; nothing was changed")
                .arg(SecretStore::EntryName(settings), kProgram, QLatin1String(kPasswordVariable)));
    return password;
}

// A database the failed run made in a folder that had none goes again with its journals.
void removeNewDatabase()
{
    const QString path = databasePath();
    for (const QString &suffix :
         {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")})
        QFile::remove(path + suffix);
}

const QCommandLineOption kTimeout(QStringLiteral("timeout"),
                                  QStringLiteral("The longest the whole run may take, in seconds "
                                                 "(1800 when not given)."),
                                  QStringLiteral("SECONDS"));

int runSync(const Io &io, const QCommandLineParser &parser, const QStringList &)
{
    int runMs = 0;
    if (parser.isSet(kTimeout)) {
        bool number = false;
        const int seconds = parser.value(kTimeout).toInt(&number);
        if (!number || seconds < 1 || seconds > 7 * 24 * 3600)
            usage(QStringLiteral("invalid --timeout value '%1': use 1 to %2 seconds")
                      .arg(parser.value(kTimeout))
                      .arg(7 * 24 * 3600));
        runMs = seconds * 1000;
    }
    const SyncSettings settings = readSyncSettings();
    requireSyncSettings(settings, QStringLiteral("nothing was changed"));
    RunLock lock;
    refuseWhileRunning(lock, QStringLiteral("Options... > Sync"));
    const QString password = syncPassword(settings);
    const bool hadDatabase = databaseExists();
    const SyncOutcome outcome = SyncRun::runNow(databasePath(), settings, password, 0, runMs);
    if (!outcome.ok) {
        // The memos run after the to-do list: what the list's run did stays.
        if (outcome.memosSynced && outcome.tasks.ok)
            fail(QStringLiteral("the to-do list was synced, the memos were not: %1")
                     .arg(lowerFirst(outcome.message)));
        if (!hadDatabase)
            removeNewDatabase();
        fail(lowerFirst(outcome.message) + QStringLiteral("; nothing was changed"));
    }
    io.line(SyncRun::Summary(outcome));
    return Success;
}

// One line of standard input, without its line end.
QString readPasswordLine(std::FILE *in)
{
    QByteArray line;
    int c;
    while ((c = std::fgetc(in)) != EOF && c != '\n') {
        line.append(char(c));
        if (line.size() > kMaxPasswordBytes)
            fail(QStringLiteral("the password line is longer than %1 bytes; nothing was stored")
                     .arg(kMaxPasswordBytes));
    }
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        fail(QStringLiteral("no password on standard input; nothing was stored"));
    return QString::fromUtf8(line);
}

int runSyncPassword(const Io &io, const QCommandLineParser &, const QStringList &)
{
    const SyncSettings settings = readSyncSettings();
    requireSyncSettings(settings, QStringLiteral("the password is kept for its user and server; "
                                                 "nothing was stored"));
    const QString password = readPasswordLine(io.in);
    const SecretResult result = SecretStore::writePasswordNow(settings, password);
    if (!result.ok)
        fail(lowerFirst(result.message) + QStringLiteral("; nothing was stored"));
    io.line(QStringLiteral("sync password stored for %1 in the desktop's secret store")
                .arg(SecretStore::EntryName(settings)));
    return Success;
}

const QCommandLineOption kInterval(QStringLiteral("interval"),
                                   QStringLiteral("Minutes between the program's runs; 0 runs "
                                                  "only when asked. Kept when not given."),
                                   QStringLiteral("MINUTES"));

QString collectionArgument(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        usage(QStringLiteral("'%1' is not the http or https address of a collection").arg(text));
    return text;
}

const QCommandLineOption kFind(QStringLiteral("find"),
                               QStringLiteral("Find the collections from the address of the "
                                              "server (or the user's address) given."));
const QCommandLineOption kTasksName(QStringLiteral("tasks"),
                                    QStringLiteral("With a server's address: the to-do list's "
                                                   "collection, by its name or address."),
                                    QStringLiteral("NAME"));
const QCommandLineOption kMemosName(QStringLiteral("memos"),
                                    QStringLiteral("With a server's address: the memos' "
                                                   "collection, by its name or address."),
                                    QStringLiteral("NAME"));

// Whether the address names a server (or a user) rather than a collection: a bare host
// name, a user's address, or a web address without a path.
bool isServerAddress(const QString &text)
{
    if (!text.contains(QStringLiteral("://")))
        return !text.contains(QLatin1Char('/'));
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && (url.path().isEmpty() || url.path() == QLatin1String("/"));
}

// The collection among those found that name (a display name or an address) stands for,
// or, without a name, the first that accepts component and, when there is one, nothing
// else of the two.
const DavCollection *chooseCollection(const QList<DavCollection> &found, const QString &name,
                                      bool tasks)
{
    const auto accepts = [tasks](const DavCollection &c) {
        return tasks ? c.acceptsTasks : c.acceptsJournal;
    };
    const auto only = [tasks](const DavCollection &c) {
        return tasks ? !c.acceptsJournal : !c.acceptsTasks;
    };
    if (!name.isEmpty()) {
        for (const DavCollection &c : found)
            if (c.displayName.compare(name, Qt::CaseInsensitive) == 0 ||
                c.url.toString(QUrl::FullyEncoded) == name || c.url.path() == name) {
                if (!accepts(c))
                    fail(QStringLiteral("the collection \"%1\" does not accept %2; nothing "
                                        "was written")
                             .arg(c.displayName, tasks ? QStringLiteral("to-dos")
                                                       : QStringLiteral("journal entries")));
                return &c;
            }
        fail(QStringLiteral("the server holds no collection \"%1\" for the user; nothing was "
                            "written")
                 .arg(name));
    }
    const DavCollection *first = nullptr;
    for (const DavCollection &c : found) {
        if (!accepts(c))
            continue;
        if (only(c))
            return &c;
        if (!first)
            first = &c;
    }
    return first;
}

// sync-setup from a server's address: its collections are found and listed, the chosen
// ones checked to accept the lists, before anything is written.
void findCollections(const Io &io, const QCommandLineParser &parser, const QString &typed,
                     SyncSettings *settings)
{
    QString why;
    const QUrl address = CalDavDiscovery::serverAddress(typed, &why);
    if (address.isEmpty())
        usage(lowerFirst(why));
    SyncSettings probe = *settings;
    probe.tasksUrl = address.toString();
    QString password;
    if (qEnvironmentVariableIsSet(kPasswordVariable)) {
        password = qEnvironmentVariable(kPasswordVariable);
    } else {
        // Without a password kept for the server, the server decides whether it wants one.
        const SecretResult result = SecretStore::readPasswordNow(probe, &password);
        if (!result.ok)
            password.clear();
    }
    const DavDiscovery found = CalDavDiscovery::find(address, settings->userName, password);
    if (!found.result.ok())
        fail(lowerFirst(found.result.message) + QStringLiteral("; nothing was written"));
    for (const DavCollection &collection : found.collections)
        io.line(QStringLiteral("found: %1 %2")
                    .arg(collection.description(), collection.url.toString(QUrl::FullyEncoded)));
    const DavCollection *tasks =
        chooseCollection(found.collections, parser.value(kTasksName), true);
    if (!tasks)
        fail(QStringLiteral("none of the user's collections at %1 accepts to-dos; make one with "
                            "the server's web page or another calendar program; nothing was "
                            "written")
                 .arg(address.toDisplayString()));
    settings->tasksUrl = tasks->url.toString(QUrl::FullyEncoded);
    if (parser.isSet(kMemosName)) {
        const DavCollection *memos =
            chooseCollection(found.collections, parser.value(kMemosName), false);
        if (memos)
            settings->memosUrl = memos->url.toString(QUrl::FullyEncoded);
    }
}

int runSyncSetup(const Io &io, const QCommandLineParser &parser, const QStringList &arguments)
{
    SyncSettings settings;
    settings.userName = arguments.at(1);
    const bool find = parser.isSet(kFind) || parser.isSet(kTasksName) || parser.isSet(kMemosName) ||
                      isServerAddress(arguments.at(0));
    if (!find)
        settings.tasksUrl = collectionArgument(arguments.at(0));
    if (arguments.size() > 2)
        settings.memosUrl = collectionArgument(arguments.at(2));
    if (parser.isSet(kInterval)) {
        bool number = false;
        settings.intervalMinutes = parser.value(kInterval).toInt(&number);
        if (!number || settings.intervalMinutes < 0 ||
            settings.intervalMinutes > SyncOptions::MaxIntervalMinutes)
            usage(QStringLiteral("invalid --interval value '%1': use 0 to %2 minutes")
                      .arg(parser.value(kInterval))
                      .arg(SyncOptions::MaxIntervalMinutes));
    } else {
        settings.intervalMinutes = readSyncSettings().intervalMinutes;
    }
    programFolder();
    RunLock lock;
    refuseWhileRunning(lock, QStringLiteral("Options... > Sync"));
    if (find)
        findCollections(io, parser, arguments.at(0), &settings);
    SyncOptions::Write(IniFile(AppPaths::file(Texts::IniFileName)), settings);
    const QString memos =
        settings.memosUrl.isEmpty() ? QStringLiteral("not synced") : settings.memosUrl;
    const QString interval =
        settings.intervalMinutes == 0
            ? QStringLiteral("only when asked")
            : QStringLiteral("every %1 minute(s)").arg(settings.intervalMinutes);
    io.line(QStringLiteral("sync set: tasks %1, memos %2, user %3, runs %4")
                .arg(settings.tasksUrl, memos, settings.userName, interval));
    return Success;
}

// ---- the command table and the help -----------------------------------------------------

struct Command
{
    QString name;
    QString synopsis; // after the program's name
    QString summary;  // one line in the general help
    QString details;  // the command's own help
    QList<QCommandLineOption> options;
    int minArguments;
    int maxArguments;
    std::function<int(const Io &, const QCommandLineParser &, const QStringList &)> run;
};

const QList<Command> &commands()
{
    static const QList<Command> table{
        {QStringLiteral("backup"),
         QStringLiteral("backup FILE"),
         QStringLiteral("write every memo and task to an interchange file"),
         QStringLiteral("Writes every memo and task of the database to FILE, the same file as\n"
                        "\"Database Backup...\" in the program. Works while the program runs."),
         {},
         1,
         1,
         runBackup},
        {QStringLiteral("restore"),
         QStringLiteral("restore FILE --replace=all|none"),
         QStringLiteral("merge an interchange file into the database by key"),
         QStringLiteral("Merges FILE into the database as \"Database Restore...\" does: items\n"
                        "not in the database are added with their keys; the existing ones are\n"
                        "all replaced (--replace=all) or all kept as stored (--replace=none).\n"
                        "Creates the database when there is none. Refused while the program\n"
                        "runs on the folder."),
         {kReplace},
         1,
         1,
         runRestore},
        {QStringLiteral("export"),
         QStringLiteral("export FILE"),
         QStringLiteral("write every task and memo to an iCalendar or interchange file"),
         QStringLiteral("Writes every task and memo of the database to FILE: for a FILE ending\n"
                        "in .ics an iCalendar file (tasks as to-dos, memos as journal entries)\n"
                        "that calendar programs read, else the interchange file of backup.\n"
                        "Works while the program runs."),
         {},
         1,
         1,
         runExport},
        {QStringLiteral("import"),
         QStringLiteral("import FILE"),
         QStringLiteral("add the items of an interchange or iCalendar file as new items"),
         QStringLiteral("Adds every item of FILE as a new item with a new key, as \"Import\"\n"
                        "does; a FILE ending in .ics is read as an iCalendar file (to-dos as\n"
                        "tasks, journal entries as memos). Creates the database when there is\n"
                        "none. Refused while the program runs on the folder."),
         {},
         1,
         1,
         runImport},
        {QStringLiteral("report"),
         QStringLiteral("report tasks|memos [--format=text|html] FILE"),
         QStringLiteral("write the text or HTML report of a whole list"),
         QStringLiteral("Writes the report \"Save All...\" writes, of every top-level item with\n"
                        "all its children, to FILE (- for standard output)."),
         {kFormat},
         2,
         2,
         runReport},
        {QStringLiteral("list"),
         QStringLiteral("list tasks|memos [--json]"),
         QStringLiteral("show a list with keys, flags and times"),
         QStringLiteral("Shows the two-level tree of a list in the program's order, a line per\n"
                        "item: key, completion mark, text on one line, times and flags;\n"
                        "children are indented."),
         {kJson},
         1,
         1,
         runList},
        {QStringLiteral("add"),
         QStringLiteral("add task|memo TEXT [--child-of=KEY]"),
         QStringLiteral("store TEXT as a new item, as pasting it would"),
         QStringLiteral("Stores TEXT (- reads standard input) as a new item the way pasting it\n"
                        "does, and prints its key. While the program runs on the folder, it is\n"
                        "asked to store the item and shows it at once. Creates the database\n"
                        "when there is none."),
         {kChildOf},
         2,
         2,
         runAdd},
        {QStringLiteral("check"),
         QStringLiteral("check"),
         QStringLiteral("verify the database and report what was found"),
         QStringLiteral("Verifies the database: the engine's integrity check, the tables and\n"
                        "columns the program needs, and rows the lists never show (whose\n"
                        "parent is missing, or of a third level). Changes nothing; the exit\n"
                        "status is 1 when a problem was found."),
         {},
         0,
         0,
         runCheck},
        {QStringLiteral("sync"),
         QStringLiteral("sync"),
         QStringLiteral("sync both lists once with their CalDAV collections"),
         QStringLiteral("Runs one two-way sync of the to-do list with its CalDAV collection,\n"
                        "then of the memos with theirs when one is set, as the program does,\n"
                        "and prints what it did. The collections and the user come from the\n"
                        "section \"sync\" of wyConf.ini (see sync-setup), the password from\n"
                        "the desktop's secret store (see sync-password); when the variable\n"
                        "TASKLUME_SYNC_PASSWORD is set, its value is the password instead,\n"
                        "for scripts and machines without a desktop session. A server that\n"
                        "is down, refuses the password or answers garbage ends the run with\n"
                        "status 1 and changes nothing here. Each request must be answered\n"
                        "within a minute, the whole run within --timeout (30 minutes when not\n"
                        "given). Creates the database when there is none. Refused while the\n"
                        "program runs on the folder."),
         {kTimeout},
         0,
         0,
         runSync},
        {QStringLiteral("sync-setup"),
         QStringLiteral("sync-setup TASKS-URL|SERVER USER [MEMOS-URL] [--tasks=NAME] "
                        "[--memos=NAME] [--find] [--interval=MINUTES]"),
         QStringLiteral("set the CalDAV collections and the user of the sync"),
         QStringLiteral("Writes the sync's settings to wyConf.ini, as the Sync page of\n"
                        "\"Options...\" does: the address of the to-do list's collection, the\n"
                        "user name and, when given, the memos' collection (else the memos are\n"
                        "not synced). Given the address of a server instead (dav.example.org,\n"
                        "https://dav.example.org/, the user's address anna@example.org, or any\n"
                        "address with --find), it finds the user's collections there (the\n"
                        "server's /.well-known/caldav, the user's principal and calendar\n"
                        "home), prints them, and takes the one --tasks names (by its name or\n"
                        "address; else the first that accepts to-dos) and the one --memos\n"
                        "names. The password for the search comes from TASKLUME_SYNC_PASSWORD\n"
                        "or the secret store. The password is kept apart (see sync-password).\n"
                        "Refused while the program runs on the folder."),
         {kInterval, kFind, kTasksName, kMemosName},
         2,
         3,
         runSyncSetup},
        {QStringLiteral("sync-password"),
         QStringLiteral("sync-password"),
         QStringLiteral("keep the sync password from standard input in the secret store"),
         QStringLiteral("Reads one line from standard input and keeps it as the sync password\n"
                        "of the user and server set in wyConf.ini in the desktop's secret\n"
                        "store (never in a file of the folder). Needs a desktop session\n"
                        "whose secret store answers; without one, give the password to sync\n"
                        "in TASKLUME_SYNC_PASSWORD."),
         {},
         0,
         0,
         runSyncPassword},
    };
    return table;
}

const Command *findCommand(const QString &name)
{
    for (const Command &command : commands()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

// The texts both the general help and the manual page tasklume-cli(1) are made of.
const QString kDescription =
    QStringLiteral("The command-line companion of Ploxen Tasklume. It works on the\n"
                   "folder the program keeps its lists in: $TASKLUME_HOME; else, for\n"
                   "an installed program (below /usr or /opt, or in a folder you may\n"
                   "not write that does not hold your lists), $XDG_DATA_HOME/%1\n"
                   "(~/.local/share/%1); else the folder both programs lie in.");
const QString kExitStatus = QStringLiteral("0 on success, 1 on failure, 2 on wrong usage.");
const QString kRunning =
    QStringLiteral("While the program runs on the folder, add asks it to store the\n"
                   "item, and restore, import, sync and sync-setup refuse; the other\n"
                   "commands only read.");

struct Entry
{
    QString tag;
    QString text;
};

const QList<Entry> &generalOptions()
{
    static const QList<Entry> table{
        {QStringLiteral("-h, --help"),
         QStringLiteral("show this help; after a command, the command's help")},
        {QStringLiteral("--version"), QStringLiteral("show the version")},
    };
    return table;
}

const QList<Entry> &environment()
{
    static const QList<Entry> table{
        {QStringLiteral("TASKLUME_HOME"),
         QStringLiteral("the folder of the lists, instead of the usual one")},
        {QStringLiteral("XDG_DATA_HOME"), QStringLiteral("the base of the user's data folder")},
        {QStringLiteral("TASKLUME_SYNC_PASSWORD"),
         QStringLiteral("the password sync uses, instead of the desktop's secret store")},
        {QStringLiteral("XDG_RUNTIME_DIR"),
         QStringLiteral("where the channel to the running program lies")},
    };
    return table;
}

QString generalHelp()
{
    QString text = QStringLiteral("Usage: %1 COMMAND [ARGUMENT]... [OPTION]...\n").arg(kProgram) +
                   kDescription.arg(AppPaths::DataFolderName) +
                   QStringLiteral("\nIn use: %1\n\nCommands:\n").arg(AppPaths::describeFolder());
    for (const Command &command : commands())
        text += QStringLiteral("  %1\n      %2\n").arg(command.synopsis, command.summary);
    text += QStringLiteral("\nOptions:\n");
    for (const Entry &option : generalOptions()) {
        const QString tag = option.tag.startsWith(QLatin1String("--"))
                                ? QStringLiteral("    ") + option.tag
                                : option.tag;
        text += QStringLiteral("  %1  %2\n").arg(tag, -13).arg(option.text);
    }
    text += QStringLiteral("\nEnvironment:\n");
    for (const Entry &variable : environment())
        text += QStringLiteral("  %1\n      %2\n").arg(variable.tag, variable.text);
    text += QStringLiteral("\nExit status: ") + kExitStatus + QLatin1Char('\n') + kRunning +
            QLatin1Char('\n');
    return text;
}

QString optionTag(const QCommandLineOption &option)
{
    QString name = QStringLiteral("--") + option.names().constFirst();
    if (!option.valueName().isEmpty())
        name += QLatin1Char('=') + option.valueName();
    return name;
}

QString commandHelp(const Command &command)
{
    QString text =
        QStringLiteral("Usage: %1 %2\n%3\n").arg(kProgram, command.synopsis, command.details);
    text += QStringLiteral("\nOptions:\n");
    QList<QCommandLineOption> options = command.options;
    for (const QCommandLineOption &option : options)
        text += QStringLiteral("  %1  %2\n").arg(optionTag(option), -22).arg(option.description());
    text += QStringLiteral("  %1  %2\n")
                .arg(QStringLiteral("-h, --help"), -22)
                .arg(QStringLiteral("show this help"));
    return text;
}

} // namespace

QString ManualPageText(const QString &date)
{
    ManualPage page(kProgram, QStringLiteral("the command-line companion of Ploxen Tasklume"));
    page.section(QStringLiteral("SYNOPSIS"));
    page.paragraph(kProgram + QStringLiteral(" COMMAND [ARGUMENT]... [OPTION]..."));
    page.section(QStringLiteral("DESCRIPTION"));
    page.paragraph(kDescription.arg(AppPaths::DataFolderName) +
                   QStringLiteral("\n--help names the folder in use; see FILES in tasklume(1)."));
    page.section(QStringLiteral("COMMANDS"));
    for (const Command &command : commands()) {
        QString text = command.details;
        for (const QCommandLineOption &option : command.options)
            text += QStringLiteral("\n\n") + optionTag(option) + QStringLiteral(": ") +
                    option.description();
        page.item(command.synopsis, text);
    }
    page.section(QStringLiteral("OPTIONS"));
    for (const Entry &option : generalOptions())
        page.item(option.tag, option.text + QLatin1Char('.'));
    page.section(QStringLiteral("EXIT STATUS"));
    page.paragraph(kExitStatus + QLatin1Char('\n') + kRunning);
    page.section(QStringLiteral("ENVIRONMENT"));
    for (const Entry &variable : environment())
        page.item(variable.tag, variable.text + QLatin1Char('.'));
    page.section(QStringLiteral("EXAMPLES"));
    page.verbatim(kProgram + QStringLiteral(" backup ~/tasklume-backup.wyx\n") + kProgram +
                  QStringLiteral(" add task \"Call the garage\"\n") + kProgram +
                  QStringLiteral(" export lists.ics"));
    page.section(QStringLiteral("SEE ALSO"));
    page.paragraph(QStringLiteral("tasklume(1)"));
    return page.text(date);
}

int Run(const QStringList &arguments, std::FILE *out, std::FILE *err, std::FILE *in)
{
    const Io io{out, err, in};
    QString prefix = kProgram + QStringLiteral(": ");
    QString helpCommand = kProgram + QStringLiteral(" --help");
    int status = Success;
    QString message;
    try {
        if (arguments.isEmpty())
            usage(QStringLiteral("no command given"));
        const QString &first = arguments.constFirst();
        if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
            io.bytes(generalHelp().toUtf8());
            return Success;
        }
        if (first == QLatin1String("--version")) {
            io.line(kProgram + QLatin1Char(' ') + QStringLiteral(TASKLUME_VERSION));
            return Success;
        }
        if (first.startsWith(QLatin1Char('-')))
            usage(QStringLiteral("unknown option '%1'").arg(first));
        const Command *command = findCommand(first);
        if (command == nullptr)
            usage(QStringLiteral("unknown command '%1'").arg(first));
        prefix += command->name + QStringLiteral(": ");
        helpCommand = kProgram + QLatin1Char(' ') + command->name + QStringLiteral(" --help");

        QCommandLineParser parser;
        parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
        const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                      QStringLiteral("Show this help."));
        parser.addOption(help);
        parser.addOptions(command->options);
        if (!parser.parse(QStringList{kProgram} + arguments.mid(1)))
            usage(lowerFirst(parser.errorText()));
        if (parser.isSet(help)) {
            io.bytes(commandHelp(*command).toUtf8());
            return Success;
        }
        // An option given twice must say the same both times: which one was meant is not
        // guessed.
        for (const QCommandLineOption &option : command->options) {
            const QStringList values = parser.values(option);
            if (values.size() > 1 && values.count(values.first()) != values.size())
                usage(QStringLiteral("option '--%1' given more than once with different values")
                          .arg(option.names().constLast()));
        }
        const QStringList positional = parser.positionalArguments();
        if (positional.size() < command->minArguments)
            usage(QStringLiteral("missing argument: %1 %2").arg(kProgram, command->synopsis));
        if (positional.size() > command->maxArguments)
            usage(QStringLiteral("unexpected argument '%1': %2 %3")
                      .arg(positional.at(command->maxArguments), kProgram, command->synopsis));
        status = command->run(io, parser, positional);
    } catch (const Stop &stop) {
        status = stop.status;
        message = stop.message;
        if (stop.status == Usage)
            message += QStringLiteral(" (see %1)").arg(helpCommand);
    } catch (const TasklumeError &error) {
        status = Failure;
        message = error.text();
    } catch (const std::exception &error) {
        status = Failure;
        message = QString::fromLocal8Bit(error.what());
    }
    // Output that did not arrive (a full disk behind a redirection) is a failure too.
    if ((std::fflush(out) != 0 || std::ferror(out)) && message.isEmpty()) {
        status = Failure;
        message = QStringLiteral("cannot write to standard output");
    }
    if (!message.isEmpty()) {
        const QByteArray line = (prefix + FlattenLines(message).simplified()).toUtf8() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), err);
        std::fflush(err);
    }
    return status;
}

} // namespace Cli
