// tasklume-cli as scripts and schedulers run it: the real executable on a temporary program
// folder, without a display session. Each command's work, its answers to bad input (one line
// on standard error, a non-zero status, nothing changed), and its behaviour while the program
// runs on the folder: a stand-in holding the folder, and the real program on the offscreen
// platform.
#include "app/SingleInstance.h"
#include "CliProcess.h"
#include "common/IniFile.h"
#include "common/pU_Funcs.h"
#include "common/RunLock.h"
#include "common/Texts.h"
#include "DataSet.h"
#include "interchange/Interchange.h"
#include "interchange/pU_XmlTry.h"
#include "interchange/WyxContainer.h"
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <chrono>
#include <csignal>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace TestSupport;
using CliProcess::snapshot;

namespace {

const QString kSeed = QStringLiteral("seed");

// Whole seconds, so that a trip through an interchange file keeps them.
constexpr TDateTime kCreated = 45300.0 + 10.0 / 24;
constexpr TDateTime kEdited = 45301.0 + 11.0 / 24 + 30.0 / 1440;

Row task(int n, const QString &pid, const QString &content)
{
    Row row{key(n), pid, content};
    row.createTime = kCreated;
    row.editTime = kEdited;
    return row;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void helpOfEveryCommand_data();
    void helpOfEveryCommand();
    void backupRestoresIntoAnotherFolder();
    void backupTellsOfChangedTexts();
    void restoreMerges_data();
    void restoreMerges();
    void restoreCreatesMissingDatabase();
    void restoreStopsAtBadItem();
    void failedRunNamesWhatWentWrong_data();
    void failedRunNamesWhatWentWrong();
    void importAddsNewItems();
    void icalendarExportImportKeepsTheLists();
    void icalendarImportOfAnotherProgram();
    void icalendarImportRefusesPartsPastTheBounds_data();
    void icalendarImportRefusesPartsPastTheBounds();
    void icalendarImportKeepsASeriesOneItem_data();
    void icalendarImportKeepsASeriesOneItem();
    void icalendarKeepsDatesOfEveryYear();
    void icalendarImportTellsOfUnarmedReminders();
    void report_data();
    void report();
    void listText();
    void listJson();
    void add_data();
    void add();
    void check_data();
    void check();
    void badInput_data();
    void badInput();
    void readerMemoryBoundedOnHostileFile_data();
    void readerMemoryBoundedOnHostileFile();
    void writesRefusedWhileProgramRuns_data();
    void writesRefusedWhileProgramRuns();
    void readsWorkWhileProgramRuns();
    void addAsksRunningProgram_data();
    void addAsksRunningProgram();
    void addWithRealProgram();
    void addToStoppedProgramIsNotStoredLater();
    void programStartClearsTempFolder();

private:
    QString home() const { return m_folder->path(); }
    QString database() const { return m_folder->file(Texts::DatabaseFileName); }
    QString file(const QString &name) const { return m_files.filePath(name); }
    // Runs the companion to its end on the folder (the test's own by default).
    CliRun cli(const QStringList &arguments, const QByteArray &input = {},
               const QString &folder = QString());
    // Starts it, for a stand-in that answers from this process's event loop.
    CliRun cliWithEvents(const QStringList &arguments);
    // Opens (creating) a database, runs fill on it and closes it again.
    void withDatabase(const QString &path, const std::function<void(QSqlDatabase)> &fill);
    void seedLists();
    // An interchange file written from a database that fill seeds.
    QString makeFile(const QString &name, const std::function<void(QSqlDatabase)> &fill);
    void makeBadFiles();
    // 400 tasks, then one page of the table's rows overwritten.
    void makeDamagedDatabase();

    std::unique_ptr<ProgramFolder> m_folder;
    QTemporaryDir m_files;
};

void TestCli::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    QVERIFY(m_files.isValid());
}

void TestCli::cleanup()
{
    m_folder.reset();
    QDir(m_files.path()).removeRecursively();
    QDir().mkpath(m_files.path());
}

CliRun TestCli::cli(const QStringList &arguments, const QByteArray &input, const QString &folder)
{
    return CliProcess::run(CliProcess::environment(folder.isEmpty() ? home() : folder), arguments,
                           input);
}

CliRun TestCli::cliWithEvents(const QStringList &arguments)
{
    return CliProcess::run(CliProcess::environment(home()), arguments, {}, true);
}

void TestCli::withDatabase(const QString &path, const std::function<void(QSqlDatabase)> &fill)
{
    {
        QSqlDatabase db = Database::open(path, kSeed);
        fill(db);
    }
    Database::close(kSeed);
}

// Tasks: "beta" (stored first), "Alpha" complete with a due date and a reminder and one
// child, and an orphan the lists never show. Memos: "Note" with a child, and "Assigned".
void TestCli::seedLists()
{
    withDatabase(database(), [](QSqlDatabase db) {
        insertTask(db, task(2, Texts::RootKey, QStringLiteral("beta")));
        Row alpha = task(1, Texts::RootKey, QStringLiteral("Alpha"));
        alpha.checkFlag = true;
        alpha.checkTime = 45302.5;
        alpha.dueFlag = true;
        alpha.dueTime = 45310.0;
        alpha.alarmFlag = true;
        alpha.alarmTime = 45309.0 + 9.0 / 24;
        alpha.expandFlag = true;
        alpha.textColor = 255;
        insertTask(db, alpha);
        insertTask(db, task(3, key(1), QStringLiteral("child\r\nsecond line")));
        insertTask(db, task(4, key(77), QStringLiteral("orphan")));
        Row note = task(11, Texts::RootKey, QStringLiteral("Note"));
        insertMemo(db, note);
        insertMemo(db, task(12, key(11), QStringLiteral("Note child")));
        Row assigned = task(13, Texts::RootKey, QStringLiteral("Assigned"));
        assigned.assignTime = kCreated;
        insertMemo(db, assigned);
    });
}

QString TestCli::makeFile(const QString &name, const std::function<void(QSqlDatabase)> &fill)
{
    const QString source = file(name + QStringLiteral(".source"));
    const QString path = file(name);
    withDatabase(source, [&](QSqlDatabase db) {
        fill(db);
        if (!Interchange::WriteDatabaseFile(db, path))
            qWarning("cannot write %s", qPrintable(path));
    });
    return path;
}

// foreign.wyx (plain text), foreign.ics (a contact, no calendar), other.wyx (another application's
// tag), damaged.wyx (cut short), good.wyx (one task), late.wyx (many tasks, the last one broken).
void TestCli::makeBadFiles()
{
    writeFile(file(QStringLiteral("foreign.wyx")), "just some text\n");
    writeFile(file(QStringLiteral("foreign.ics")), "BEGIN:VCARD\r\nFN:Jane\r\nEND:VCARD\r\n");
    Txmltry xml(nullptr);
    QVERIFY(xml.loadFromText(Interchange::SkeletonText()));
    QVERIFY(xml.SetAttr(QStringLiteral("ploxen"), "app", QStringLiteral("tasklume")));
    QVERIFY(xml.SaveToFile(file(QStringLiteral("other.wyx"))));
    const QString good = makeFile(QStringLiteral("good.wyx"), [](QSqlDatabase db) {
        insertTask(db, task(50, Texts::RootKey, QStringLiteral("from a file")));
    });
    const QByteArray bytes = readFile(good);
    writeFile(file(QStringLiteral("damaged.wyx")), bytes.left(bytes.size() - 6));
    // Sound up to its last task, which is never closed.
    const QString many = makeFile(QStringLiteral("many.wyx"), [](QSqlDatabase db) {
        for (int n = 70; n < 100; ++n)
            insertTask(db, task(n, Texts::RootKey, QStringLiteral("task %1").arg(n)));
    });
    QByteArray text;
    QVERIFY(WyxContainer::readFile(many, text));
    const qsizetype lastEnd = text.lastIndexOf("/>", text.indexOf("</tasks>"));
    QVERIFY(lastEnd > 0);
    writeFile(file(QStringLiteral("late.wyx")),
              WyxContainer::encode(text.replace(lastEnd, 2, ">")));
}

void TestCli::makeDamagedDatabase()
{
    withDatabase(database(), [](QSqlDatabase db) {
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("begin")));
        for (int n = 1; n <= 400; ++n)
            insertTask(db,
                       task(n, Texts::RootKey,
                            QStringLiteral("task %1 ").arg(n) + QString(300, QLatin1Char('x'))));
        QVERIFY(query.exec(QStringLiteral("commit")));
    });
    QFile file(database());
    QVERIFY(file.open(QIODevice::ReadWrite));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("SQLite format 3"));
    int pageSize = (quint8(bytes.at(16)) << 8) | quint8(bytes.at(17));
    if (pageSize == 1)
        pageSize = 65536;
    // The leaf pages of tables (type 13) after the first: the rows of tasks.
    QList<qint64> leaves;
    for (qint64 page = 1; (page + 1) * pageSize <= bytes.size(); ++page) {
        if (bytes.at(page * pageSize) == 13)
            leaves << page;
    }
    QVERIFY2(leaves.size() > 10, qPrintable(QString::number(leaves.size())));
    QVERIFY(file.seek(leaves.at(leaves.size() / 2) * pageSize));
    file.write(QByteArray(pageSize, '\xff'));
    file.close();
}

// ---- help ---------------------------------------------------------------------------------

void TestCli::helpOfEveryCommand_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("usage");
    QTest::newRow("general") << QStringList{QStringLiteral("--help")}
                             << QStringLiteral("Usage: tasklume-cli COMMAND");
    for (const char *command : {"backup", "restore", "import", "export", "report", "list", "add",
                                "check", "sync", "sync-setup", "sync-password"})
        QTest::newRow(command)
            << QStringList{QLatin1String(command), QStringLiteral("--help")}
            << QStringLiteral("Usage: tasklume-cli %1").arg(QLatin1String(command));
}

void TestCli::helpOfEveryCommand()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, usage);
    const CliRun run = cli(arguments);
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.startsWith(usage.toUtf8()), run.out.constData());
    QVERIFY(run.err.isEmpty());
    // Help never touches the folder.
    QVERIFY(!QFileInfo::exists(database()));
}

// ---- backup, restore, import --------------------------------------------------------------

void TestCli::backupRestoresIntoAnotherFolder()
{
    seedLists();
    const QString backup = file(QStringLiteral("backup.wyx"));
    CliRun run = cli({QStringLiteral("backup"), backup});
    QCOMPARE(run.status, 0);
    QVERIFY(run.err.isEmpty());

    // The same file as the program's backup: every row, the orphan too.
    Txmltry xml(nullptr);
    QVERIFY(xml.LoadFromFile(backup));
    QCOMPARE(xml.GetAttr(QStringLiteral("ploxen"), "app"), QStringLiteral("Tasklume"));
    QCOMPARE(xml.CountChildren(QStringLiteral("ploxen,tasks")), 4);
    QCOMPARE(xml.CountChildren(QStringLiteral("ploxen,memos")), 3);

    // Restored into a new folder, both lists read back the same.
    QTemporaryDir other;
    run = cli({QStringLiteral("restore"), backup, QStringLiteral("--replace=none")}, {},
              other.path());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray("restored " + backup.toUtf8() +
                                 ": 7 added, 0 replaced, 0 kept as stored\n"));
    for (const QString &list : {QStringLiteral("tasks"), QStringLiteral("memos")}) {
        const CliRun here = cli({QStringLiteral("list"), list, QStringLiteral("--json")});
        const CliRun there =
            cli({QStringLiteral("list"), list, QStringLiteral("--json")}, {}, other.path());
        QCOMPARE(here.status, 0);
        // The file does not carry the expanded state.
        QCOMPARE(QString::fromUtf8(there.out),
                 QString::fromUtf8(here.out).replace(QStringLiteral("\"expandFlag\": true"),
                                                     QStringLiteral("\"expandFlag\": false")));
    }
}

void TestCli::backupTellsOfChangedTexts()
{
    withDatabase(database(), [](QSqlDatabase db) {
        insertTask(db, task(1, Texts::RootKey,
                            QStringLiteral("nul") + QChar(0) + QStringLiteral("inside")));
        insertTask(db, task(2, Texts::RootKey, QStringLiteral("plain")));
    });
    const QString backup = file(QStringLiteral("backup.wyx"));
    const CliRun run = cli({QStringLiteral("backup"), backup});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, "tasklume-cli: warning: " + Interchange::ChangedTextsText(1).toUtf8() + "\n");
    QTemporaryDir other;
    const CliRun restored = cli(
        {QStringLiteral("restore"), backup, QStringLiteral("--replace=none")}, {}, other.path());
    QCOMPARE(restored.status, 0);
    const CliRun list = cli({QStringLiteral("list"), QStringLiteral("tasks")}, {}, other.path());
    QVERIFY2(list.out.contains("nulinside"), list.out.constData());
}

void TestCli::restoreMerges_data()
{
    QTest::addColumn<QString>("replace");
    QTest::addColumn<QString>("taskText");
    QTest::addColumn<QString>("memoText");
    QTest::addColumn<QByteArray>("summary");
    QTest::newRow("all") << QStringLiteral("all") << QStringLiteral("new text")
                         << QStringLiteral("new memo")
                         << QByteArray(": 2 added, 2 replaced, 0 kept as stored\n");
    QTest::newRow("none") << QStringLiteral("none") << QStringLiteral("old text")
                          << QStringLiteral("old memo")
                          << QByteArray(": 2 added, 0 replaced, 2 kept as stored\n");
}

void TestCli::restoreMerges()
{
    QFETCH(QString, replace);
    QFETCH(QString, taskText);
    QFETCH(QString, memoText);
    QFETCH(QByteArray, summary);
    withDatabase(database(), [](QSqlDatabase db) {
        Row old = task(1, Texts::RootKey, QStringLiteral("old text"));
        old.expandFlag = true;
        insertTask(db, old);
        insertMemo(db, task(11, Texts::RootKey, QStringLiteral("old memo")));
    });
    const QString backup = makeFile(QStringLiteral("merge.wyx"), [](QSqlDatabase db) {
        insertTask(db, task(1, Texts::RootKey, QStringLiteral("new text")));
        insertTask(db, task(2, key(1), QStringLiteral("added child")));
        insertMemo(db, task(11, Texts::RootKey, QStringLiteral("new memo")));
        insertMemo(db, task(12, Texts::RootKey, QStringLiteral("added memo")));
    });

    const CliRun run =
        cli({QStringLiteral("restore"), backup, QStringLiteral("--replace=") + replace});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, "restored " + backup.toUtf8() + summary);
    QVERIFY(run.err.isEmpty());
    withDatabase(database(), [&](QSqlDatabase db) {
        const QVariantMap first =
            fetchRow(db, QStringLiteral("tasks"), QStringLiteral("tid"), key(1));
        QCOMPARE(first.value(QStringLiteral("content")).toString(), taskText);
        QCOMPARE(first.value(QStringLiteral("expandFlag")).toInt(), 1); // never replaced
        QCOMPARE(fetchRow(db, QStringLiteral("tasks"), QStringLiteral("tid"), key(2))
                     .value(QStringLiteral("pid"))
                     .toString(),
                 key(1));
        QCOMPARE(fetchRow(db, QStringLiteral("memos"), QStringLiteral("mid"), key(11))
                     .value(QStringLiteral("content"))
                     .toString(),
                 memoText);
        QVERIFY(!fetchRow(db, QStringLiteral("memos"), QStringLiteral("mid"), key(12)).isEmpty());
    });
}

void TestCli::restoreCreatesMissingDatabase()
{
    makeBadFiles();
    const CliRun run = cli({QStringLiteral("restore"), file(QStringLiteral("good.wyx")),
                            QStringLiteral("--replace=all")});
    QCOMPARE(run.status, 0);
    QCOMPARE(fileMode(database()), 0600);
    withDatabase(database(), [](QSqlDatabase db) {
        QCOMPARE(fetchRow(db, QStringLiteral("tasks"), QStringLiteral("tid"), key(50))
                     .value(QStringLiteral("content"))
                     .toString(),
                 QStringLiteral("from a file"));
    });
}

// A run that fails after it has begun to store says why on one line, and how much stays.
void TestCli::restoreStopsAtBadItem()
{
    seedLists();
    auto item = [](int n, const char *flag) {
        return QStringLiteral("<task tid=\"%1\" pid=\"root\" content=\"item %2\" check-flag=\"%3\" "
                              "alarm-flag=\"False\" due-flag=\"False\" text-color=\"0\" "
                              "background-color=\"0\" create-time=\"2024-01-01T10:00:00.000Z\" "
                              "edit-time=\"2024-01-01T10:00:00.000Z\" "
                              "check-time=\"1899-12-30T00:00:00.000Z\" "
                              "alarm-time=\"1899-12-30T00:00:00.000Z\" "
                              "due-time=\"1899-12-30T00:00:00.000Z\"/>")
            .arg(key(n))
            .arg(n)
            .arg(QLatin1String(flag));
    };
    const QString text =
        QStringLiteral("<ploxen app=\"Tasklume\" appversion=\"1\" dataversion=\"1.1\" "
                       "time=\"\"><tasks>") +
        item(60, "True") + item(61, "maybe") + item(62, "False") +
        QStringLiteral("</tasks><memos/><notes/><peers/></ploxen>");
    Txmltry xml(nullptr);
    QVERIFY(xml.loadFromText(text.toUtf8()));
    const QString path = file(QStringLiteral("bad-item.wyx"));
    QVERIFY(xml.SaveToFile(path));

    const CliRun run = cli({QStringLiteral("restore"), path, QStringLiteral("--replace=all")});
    QCOMPARE(run.status, 1);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.err, QByteArray("tasklume-cli: restore: 'maybe' is not a valid boolean value for "
                                 "field 'checkFlag' (1 item(s) stored before it stay)\n"));
    withDatabase(database(), [](QSqlDatabase db) {
        QVERIFY(!fetchRow(db, QStringLiteral("tasks"), QStringLiteral("tid"), key(60)).isEmpty());
        QVERIFY(fetchRow(db, QStringLiteral("tasks"), QStringLiteral("tid"), key(61)).isEmpty());
        QVERIFY(fetchRow(db, QStringLiteral("tasks"), QStringLiteral("tid"), key(62)).isEmpty());
    });
}

void TestCli::failedRunNamesWhatWentWrong_data()
{
    QTest::addColumn<QStringList>("arguments"); // FILE stands for the file written
    QTest::addColumn<QStringList>("items");     // the tasks' attributes after the key
    QTest::addColumn<QStringList>("errLines");  // what each line of standard error holds

    const QString restore = QStringLiteral("restore");
    const QString all = QStringLiteral("--replace=all");
    const QString import = QStringLiteral("import");
    const QString file = QStringLiteral("FILE");
    // A task without its "content" attribute, one with a bad flag, one good.
    const QStringList remarkThenBad{
        QStringLiteral("60 pid=\"root\" check-flag=\"True\""),
        QStringLiteral("61 pid=\"root\" content=\"b\" check-flag=\"maybe\""),
        QStringLiteral("62 pid=\"root\" content=\"c\" check-flag=\"False\"")};
    const QString remark =
        QStringLiteral("tasklume-cli: warning: ploxen,tasks,task#0: content not Exist !");
    const QString failure =
        QStringLiteral("'maybe' is not a valid boolean value for field 'checkFlag'");
    QTest::newRow("restore: remark, then a bad item")
        << QStringList{restore, file, all} << remarkThenBad << QStringList{remark, failure};
    QTest::newRow("import: remark, then a bad item")
        << QStringList{import, file} << remarkThenBad << QStringList{remark, failure};
    // Two top-level tasks with one key: the file and the key are named.
    QTest::newRow("import: repeated key")
        << QStringList{import, file}
        << QStringList{QStringLiteral("60 pid=\"root\" content=\"a\" check-flag=\"False\""),
                       QStringLiteral("60 pid=\"root\" content=\"b\" check-flag=\"False\"")}
        << QStringList{QStringLiteral("tasklume-cli: import: The file \"FILE\" gives more than one "
                                      "task the key %1: the import stops there. (1 item(s) stored "
                                      "before it stay)")
                           .arg(key(60))};
}

void TestCli::failedRunNamesWhatWentWrong()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, items);
    QFETCH(QStringList, errLines);
    seedLists();
    QString tasks;
    for (const QString &item : std::as_const(items)) {
        const qsizetype blank = item.indexOf(QLatin1Char(' '));
        tasks += QStringLiteral("<task tid=\"%1\"%2 alarm-flag=\"False\" due-flag=\"False\" "
                                "text-color=\"0\" background-color=\"0\" "
                                "create-time=\"2024-01-01T10:00:00.000Z\" "
                                "edit-time=\"2024-01-01T10:00:00.000Z\" "
                                "check-time=\"1899-12-30T00:00:00.000Z\" "
                                "alarm-time=\"1899-12-30T00:00:00.000Z\" "
                                "due-time=\"1899-12-30T00:00:00.000Z\"/>")
                     .arg(key(item.left(blank).toInt()), item.mid(blank));
    }
    Txmltry xml(nullptr);
    QVERIFY(xml.loadFromText((QStringLiteral("<ploxen app=\"Tasklume\" appversion=\"1\" "
                                             "dataversion=\"1.1\" time=\"\"><tasks>") +
                              tasks + QStringLiteral("</tasks><memos/><notes/><peers/></ploxen>"))
                                 .toUtf8()));
    const QString path = file(QStringLiteral("failing.wyx"));
    QVERIFY(xml.SaveToFile(path));
    arguments.replaceInStrings(QStringLiteral("FILE"), path);

    const CliRun run = cli(arguments);
    QCOMPARE(run.status, 1);
    QVERIFY(run.out.isEmpty());
    const QStringList lines =
        QString::fromUtf8(run.err).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), errLines.size());
    for (int i = 0; i < lines.size(); ++i) {
        const QString expected = QString(errLines.at(i)).replace(QStringLiteral("FILE"), path);
        QVERIFY2(lines.at(i).contains(expected),
                 qPrintable(lines.at(i) + QStringLiteral(" / ") + expected));
    }
}

void TestCli::importAddsNewItems()
{
    withDatabase(database(), [](QSqlDatabase db) {
        insertTask(db, task(1, Texts::RootKey, QStringLiteral("existing")));
    });
    // The child stands before its parent in the file.
    const QString items = makeFile(QStringLiteral("items.wyx"), [](QSqlDatabase db) {
        insertTask(db, task(6, key(5), QStringLiteral("child")));
        insertTask(db, task(5, Texts::RootKey, QStringLiteral("parent")));
    });
    for (int round = 0; round < 2; ++round) {
        const CliRun run = cli({QStringLiteral("import"), items});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, "imported " + items.toUtf8() + ": 2 item(s) added\n");
    }
    withDatabase(database(), [](QSqlDatabase db) {
        QCOMPARE(queryValue(db, QStringLiteral("select count(*) from tasks")).toInt(), 5);
        // Fresh keys, and each child under its own new parent.
        QCOMPARE(
            queryValue(db, QStringLiteral("select count(*) from tasks where tid in ('%1', '%2')")
                               .arg(key(5), key(6)))
                .toInt(),
            0);
        QCOMPARE(
            queryValue(db, QStringLiteral("select count(distinct c.pid) from tasks c join tasks p "
                                          "on p.tid = c.pid where c.content = 'child' and "
                                          "p.content = 'parent' and p.pid = 'root'"))
                .toInt(),
            2);
        QCOMPARE(fetchRow(db, QStringLiteral("tasks"), QStringLiteral("tid"), key(1))
                     .value(QStringLiteral("content"))
                     .toString(),
                 QStringLiteral("existing"));
    });
}

// The lists of the folder as list shows them, without the keys (an import gives new ones)
// and the expanded marks (the stored lists keep them only in the program).
QString listedWithoutKeys(const QByteArray &listed)
{
    return QString::fromUtf8(listed)
        .remove(QRegularExpression(QStringLiteral("\\{[0-9A-F-]{36}\\}\\s*")))
        .remove(QStringLiteral(", expanded"));
}

void TestCli::icalendarExportImportKeepsTheLists()
{
    seedLists();
    const QString calendar = file(QStringLiteral("lists.ICS")); // the suffix in any case
    CliRun run = cli({QStringLiteral("export"), calendar});
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains("warning: 1 item(s) the lists do not show"), run.err.constData());
    const QByteArray text = readFile(calendar);
    QVERIFY(text.startsWith("BEGIN:VCALENDAR\r\n"));
    QCOMPARE(text.count("BEGIN:VTODO"), 3);
    QCOMPARE(text.count("BEGIN:VJOURNAL"), 3);

    // Imported into another folder, twice: the lists read back the same, twice over, under
    // new keys.
    QTemporaryDir other;
    for (int round = 0; round < 2; ++round) {
        run = cli({QStringLiteral("import"), calendar}, {}, other.path());
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, "imported " + calendar.toUtf8() + ": 6 item(s) added\n");
    }
    for (const QString &list : {QStringLiteral("tasks"), QStringLiteral("memos")}) {
        const CliRun here = cli({QStringLiteral("list"), list});
        const CliRun there = cli({QStringLiteral("list"), list}, {}, other.path());
        QCOMPARE(here.status, 0);
        QCOMPARE(there.status, 0);
        const QString once = listedWithoutKeys(here.out);
        // Lines of text, and children, come back.
        const QString sample = list == QLatin1String("tasks")
                                   ? QStringLiteral("    [ ] child  second line")
                                   : QStringLiteral("    Note child");
        QVERIFY2(once.contains(sample), qPrintable(once));
        QStringList twice;
        for (const QString &line : once.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            twice << line << line;
        QStringList imported =
            listedWithoutKeys(there.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        // The two copies of a top-level item stand next to each other once sorted.
        QCOMPARE(imported.size(), twice.size());
        std::sort(twice.begin(), twice.end());
        std::sort(imported.begin(), imported.end());
        QCOMPARE(imported, twice);
    }
    // A file of another name still gets the interchange file.
    const QString backup = file(QStringLiteral("lists.wyx"));
    run = cli({QStringLiteral("export"), backup});
    QCOMPARE(run.status, 0);
    QCOMPARE(Interchange::ProbeFile(backup), Interchange::Outcome::Completed);
}

void TestCli::icalendarImportOfAnotherProgram()
{
    const QString source = QStringLiteral(TASKLUME_ICALENDAR_DATA "/tree.ics");
    const CliRun run = cli({QStringLiteral("import"), source});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, "imported " + source.toUtf8() +
                          ": 11 item(s) added, 6 item(s) placed at the nearest level of the two\n");
    // Every item is stored where the lists show it: the check finds nothing hidden.
    const CliRun check = cli({QStringLiteral("check")});
    QVERIFY2(check.status == 0, check.out.constData());
    withDatabase(database(), [](QSqlDatabase db) {
        QCOMPARE(queryValue(db, QStringLiteral("select count(*) from tasks")).toInt(), 10);
        QCOMPARE(queryValue(db, QStringLiteral("select count(*) from tasks c join tasks p on "
                                               "p.tid = c.pid where p.content = 'Top'"))
                     .toInt(),
                 3);
        QCOMPARE(
            queryValue(db, QStringLiteral("select count(*) from memos where pid = 'root'")).toInt(),
            1);
    });
}

// A calendar whose last object holds a part past the bounds: refused as a whole, after
// reading no more than the bound; nothing of it is stored, whatever the folder held.
void TestCli::icalendarImportRefusesPartsPastTheBounds_data()
{
    QTest::addColumn<QByteArray>("last");
    QTest::addColumn<QByteArray>("error");
    QTest::newRow("a line of 20 MiB") << "DESCRIPTION:" + QByteArray(20 << 20, 'x') + "\r\n"
                                      << QByteArray("holds a line longer than 16 MiB");
    QByteArray folds = "DESCRIPTION:";
    for (int i = 0; i < (17 << 20) / 74; ++i)
        folds += QByteArray(74, 'y') + "\r\n ";
    QTest::newRow("a folded line past 16 MiB") << folds + "z\r\n"
                                               << QByteArray("holds a line longer than 16 MiB");
    QByteArray many;
    for (int i = 0; i < 10001; ++i)
        many += "X-OTHER:" + QByteArray::number(i) + "\r\n";
    QTest::newRow("an object of 10,001 lines")
        << many << QByteArray("holds an object of more than 10,000 lines");
}

void TestCli::icalendarImportRefusesPartsPastTheBounds()
{
    QFETCH(QByteArray, last);
    QFETCH(QByteArray, error);
    seedLists();
    const QString calendar = file(QStringLiteral("hostile.ics"));
    QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//EN\r\n";
    for (int i = 0; i < 100; ++i)
        text +=
            "BEGIN:VTODO\r\nUID:ok-" + QByteArray::number(i) + "\r\nSUMMARY:fine\r\nEND:VTODO\r\n";
    text += "BEGIN:VTODO\r\nUID:last\r\nSUMMARY:last\r\n" + last + "END:VTODO\r\nEND:VCALENDAR\r\n";
    writeFile(calendar, text);
    const CliRun run = cli({QStringLiteral("import"), calendar});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, "tasklume-cli: import: " + calendar.toUtf8() + " " + error + "\n");
    withDatabase(database(), [](QSqlDatabase db) {
        QCOMPARE(queryValue(db, QStringLiteral("select count(*) from tasks")).toInt(), 4);
        QCOMPARE(queryValue(db, QStringLiteral("select count(*) from memos")).toInt(), 3);
    });
}

// A recurring to-do (or journal entry) with overridden occurrences (the same UID with a
// RECURRENCE-ID) is one item, its master, wherever the occurrences stand in the file; an
// occurrence whose master the file does not hold is an item of its own.
void TestCli::icalendarImportKeepsASeriesOneItem_data()
{
    QTest::addColumn<QByteArray>("components");
    QTest::addColumn<QStringList>("tasks"); // "content", or "parent content/content"
    QTest::addColumn<QStringList>("memos");
    const auto todo = [](const QByteArray &uid, const QByteArray &summary,
                         const QByteArray &more = {}) {
        return "BEGIN:VTODO\r\nUID:" + uid + "\r\nSUMMARY:" + summary + "\r\n" + more +
               "END:VTODO\r\n";
    };
    const QByteArray rule = "DTSTART:20270104T080000Z\r\nRRULE:FREQ=WEEKLY\r\n";
    const auto occurrence = [](int day) {
        return "RECURRENCE-ID:202701" + QByteArray::number(day).rightJustified(2, '0') +
               "T080000Z\r\n";
    };
    QTest::newRow("master, then an occurrence")
        << todo("plants", "Water plants", rule) +
               todo("plants", "Water plants twice", occurrence(11))
        << QStringList{QStringLiteral("Water plants")} << QStringList();
    QTest::newRow("occurrences before their master, other items around")
        << todo("a", "Before") + todo("plants", "Water plants twice", occurrence(11)) +
               todo("plants", "Water plants late", occurrence(18)) +
               todo("plants", "Water plants", rule) + todo("b", "After")
        << QStringList{QStringLiteral("After"), QStringLiteral("Before"),
                       QStringLiteral("Water plants")}
        << QStringList();
    QTest::newRow("an occurrence without its master")
        << todo("plants", "Water plants twice", occurrence(11)) + todo("other", "Other", rule)
        << QStringList{QStringLiteral("Other"), QStringLiteral("Water plants twice")}
        << QStringList();
    QTest::newRow("a child of the series goes under its master")
        << todo("plants", "Water plants", rule) +
               todo("plants", "Water plants twice", occurrence(11)) +
               todo("can", "Fill the can", "RELATED-TO:plants\r\n")
        << QStringList{QStringLiteral("Water plants"), QStringLiteral("Water plants/Fill the can")}
        << QStringList();
    QTest::newRow("a journal series")
        << "BEGIN:VJOURNAL\r\nUID:log\r\nSUMMARY:Weekly log\r\n" + rule +
               "END:VJOURNAL\r\nBEGIN:VJOURNAL\r\nUID:log\r\n" + occurrence(11) +
               "SUMMARY:Weekly log, moved\r\nEND:VJOURNAL\r\n"
        << QStringList() << QStringList{QStringLiteral("Weekly log")};
}

void TestCli::icalendarImportKeepsASeriesOneItem()
{
    QFETCH(QByteArray, components);
    QFETCH(QStringList, tasks);
    QFETCH(QStringList, memos);
    const QString calendar = file(QStringLiteral("series.ics"));
    writeFile(calendar, "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//EN\r\n" + components +
                            "END:VCALENDAR\r\n");
    const CliRun run = cli({QStringLiteral("import"), calendar});
    QVERIFY2(run.status == 0, run.err.constData());
    QCOMPARE(run.out, "imported " + calendar.toUtf8() + ": " +
                          QByteArray::number(tasks.size() + memos.size()) + " item(s) added\n");
    withDatabase(database(), [&](QSqlDatabase db) {
        const auto contents = [&](const QString &statement) {
            QStringList result;
            QSqlQuery query(db);
            if (!query.exec(statement))
                return QStringList{query.lastError().text()};
            while (query.next())
                result << query.value(0).toString();
            result.sort();
            return result;
        };
        QCOMPARE(contents(QStringLiteral(
                     "select coalesce(p.content || '/', '') || c.content from tasks c "
                     "left join tasks p on p.tid = c.pid")),
                 tasks);
        QCOMPARE(contents(QStringLiteral("select content from memos")), memos);
    });
}

// Due dates, completion times and reminders of any year the program holds go out and come
// back: libical writes none after 3000 and reads none after it.
void TestCli::icalendarKeepsDatesOfEveryYear()
{
    const QString foreign = file(QStringLiteral("far.ics"));
    writeFile(foreign, "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//EN\r\n"
                       "BEGIN:VTODO\r\nUID:far@example.org\r\nSUMMARY:Far away\r\n"
                       "DUE;VALUE=DATE:99991231\r\nSTATUS:COMPLETED\r\n"
                       "COMPLETED:90000615T120000Z\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
                       "TRIGGER;VALUE=DATE-TIME:50000101T120000Z\r\nEND:VALARM\r\nEND:VTODO\r\n"
                       "BEGIN:VTODO\r\nUID:early@example.org\r\nSUMMARY:Early\r\n"
                       "DUE;VALUE=DATE:00010102\r\nEND:VTODO\r\nEND:VCALENDAR\r\n");
    CliRun run = cli({QStringLiteral("import"), foreign});
    QCOMPARE(run.status, 0);
    const auto times = [](QSqlDatabase db) {
        QStringList result;
        QSqlQuery query(db);
        query.exec(QStringLiteral("select content, dueFlag, dueTime, checkFlag, checkTime, "
                                  "alarmFlag, alarmTime from tasks order by content"));
        while (query.next()) {
            QStringList row;
            for (int i = 0; i < 7; ++i)
                row << query.value(i).toString();
            result << row.join(QLatin1Char(' '));
        }
        return result;
    };
    QStringList here;
    withDatabase(database(), [&](QSqlDatabase db) {
        here = times(db);
        const auto value = [&](const char *column, const char *content) {
            return queryValue(db, QStringLiteral("select %1 from tasks where content = '%2'")
                                      .arg(QLatin1String(column), QLatin1String(content)))
                .toDouble();
        };
        QCOMPARE(value("dueTime", "Far away"),
                 DateTimeToDays(QDateTime(QDate(9999, 12, 31), QTime(0, 0))));
        QCOMPARE(value("dueTime", "Early"), DateTimeToDays(QDateTime(QDate(1, 1, 2), QTime(0, 0))));
        QCOMPARE(value("checkTime", "Far away"),
                 DateTimeToDays(QDateTime(QDate(9000, 6, 15), QTime(12, 0), QTimeZone::utc())));
        QCOMPARE(value("alarmTime", "Far away"),
                 DateTimeToDays(QDateTime(QDate(5000, 1, 1), QTime(12, 0), QTimeZone::utc())));
        QCOMPARE(value("dueFlag", "Far away") + value("checkFlag", "Far away") +
                     value("alarmFlag", "Far away") + value("dueFlag", "Early"),
                 4.0);
    });

    const QString calendar = file(QStringLiteral("out.ics"));
    run = cli({QStringLiteral("export"), calendar});
    QCOMPARE(run.status, 0);
    const QByteArray text = readFile(calendar).replace("\r\n ", "");
    for (const char *line :
         {"DUE;VALUE=DATE:99991231\r\n", "COMPLETED:90000615T120000Z\r\n",
          "TRIGGER;VALUE=DATE-TIME:50000101T120000Z\r\n", "DUE;VALUE=DATE:00010102\r\n"})
        QVERIFY2(text.contains(line), line);
    QVERIFY(!text.contains("00000000T000000"));
    QTemporaryDir other;
    run = cli({QStringLiteral("import"), calendar}, {}, other.path());
    QCOMPARE(run.status, 0);
    withDatabase(QDir(other.path()).filePath(Texts::DatabaseFileName),
                 [&](QSqlDatabase db) { QCOMPARE(times(db), here); });
}

// A relative reminder whose moment lies beyond the dates the program holds arms nothing, and
// the import says so.
void TestCli::icalendarImportTellsOfUnarmedReminders()
{
    const QString calendar = file(QStringLiteral("alarms.ics"));
    QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//EN\r\n";
    const QList<QByteArray> triggers{"-P2147483647W", "PT9223372036854775807S", "-PT15M"};
    for (const QByteArray &trigger : triggers)
        text += "BEGIN:VTODO\r\nUID:" + trigger + "\r\nSUMMARY:" + trigger +
                "\r\nDUE:20261220T220000Z\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
                "TRIGGER;RELATED=END:" +
                trigger + "\r\nEND:VALARM\r\nEND:VTODO\r\n";
    writeFile(calendar, text + "END:VCALENDAR\r\n");
    const CliRun run = cli({QStringLiteral("import"), calendar});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, "imported " + calendar.toUtf8() +
                          ": 3 item(s) added, 2 reminder(s) outside the years 1 to 9999 left "
                          "unarmed\n");
    withDatabase(database(), [](QSqlDatabase db) {
        QCOMPARE(
            queryValue(db, QStringLiteral("select count(*) from tasks where alarmFlag")).toInt(),
            1);
        const TDateTime armed =
            DateTimeToDays(QDateTime(QDate(2026, 12, 20), QTime(21, 45), QTimeZone::utc()));
        QCOMPARE(queryValue(db, QStringLiteral("select alarmTime from tasks where alarmFlag"))
                     .toDouble(),
                 armed);
    });
}

// ---- reports and listings -----------------------------------------------------------------

void TestCli::report_data()
{
    QTest::addColumn<QStringList>("arguments"); // "FILE" stands for the output file
    QTest::addColumn<QString>("fileName");      // empty: standard output
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QStringList>("lines"); // the report's lines up to the summary
    QTest::addColumn<QString>("summary");

    const QString done = QStringLiteral(" - completed at ") + FormatDate(45302.5) +
                         QStringLiteral(" - Due Date ") + FormatDate(45310.0);
    const QStringList tasksAscending{QStringLiteral("To-Do List"),
                                     QString(33, QLatin1Char('-')),
                                     QString(),
                                     QStringLiteral(" * Alpha") + done,
                                     QStringLiteral("   - child"),
                                     QStringLiteral("     second line - Incomplete"),
                                     QStringLiteral(" * beta - Incomplete")};
    QTest::newRow("tasks text") << QStringList{QStringLiteral("report"), QStringLiteral("tasks"),
                                               QStringLiteral("--format=text"),
                                               QStringLiteral("FILE")}
                                << QStringLiteral("tasks.txt") << true << tasksAscending
                                << QStringLiteral(" Tasks 2, Child Tasks 1 - ");
    QStringList descending = tasksAscending;
    descending.move(6, 3); // beta first
    QTest::newRow("tasks text, descending")
        << QStringList{QStringLiteral("report"), QStringLiteral("tasks"), QStringLiteral("FILE")}
        << QStringLiteral("tasks.txt") << false << descending
        << QStringLiteral(" Tasks 2, Child Tasks 1 - ");
    QTest::newRow("memos to standard output")
        << QStringList{QStringLiteral("report"), QStringLiteral("memos"), QStringLiteral("-")}
        << QString() << true << QStringList{QStringLiteral("Memos"),
                                            QString(33, QLatin1Char('-')),
                                            QString(),
                                            QStringLiteral(" * Assigned"),
                                            QStringLiteral(" * Note"),
                                            QStringLiteral("   - Note child")}
        << QStringLiteral(" Memos 2, Child Memos 1 - ");
    QTest::newRow("tasks html by the name")
        << QStringList{QStringLiteral("report"), QStringLiteral("tasks"), QStringLiteral("FILE")}
        << QStringLiteral("tasks.html") << true
        << QStringList{QStringLiteral("<html><body>"), QStringLiteral("<h1>To-Do List</h1>")}
        << QStringLiteral("<p>Tasks 2, Child Tasks 1 - ");
    QTest::newRow("memos html by the option")
        << QStringList{QStringLiteral("report"), QStringLiteral("--format=html"),
                       QStringLiteral("memos"), QStringLiteral("FILE")}
        << QStringLiteral("memos.txt") << true
        << QStringList{QStringLiteral("<html><body>"), QStringLiteral("<h1>Memos</h1>")}
        << QStringLiteral("<hr /><p>Memos 2, Child Memos 1 - ");
}

void TestCli::report()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, fileName);
    QFETCH(bool, ascending);
    QFETCH(QStringList, lines);
    QFETCH(QString, summary);
    seedLists();
    if (!ascending)
        IniFile(m_folder->file(Texts::IniFileName))
            .writeBool(QStringLiteral("task"), QStringLiteral("viewAscEn"), false);
    const QString output = fileName.isEmpty() ? QString() : file(fileName);
    arguments.replaceInStrings(QStringLiteral("FILE"), output);

    const CliRun run = cli(arguments);
    QCOMPARE(run.status, 0);
    QVERIFY(run.err.isEmpty());
    const QByteArray bytes = output.isEmpty() ? run.out : readFile(output);
    QVERIFY(output.isEmpty() || run.out.isEmpty());
    QVERIFY(bytes.endsWith("\r\n"));
    const QStringList written = QString::fromUtf8(bytes).split(QStringLiteral("\r\n"));
    QCOMPARE(written.mid(0, lines.size()), lines);
    // The whole list, and nothing the list does not show (the orphan).
    QVERIFY(!bytes.contains("orphan"));
    QVERIFY(std::any_of(written.begin(), written.end(),
                        [&](const QString &line) { return line.startsWith(summary); }));
}

void TestCli::listText()
{
    seedLists();
    const CliRun run = cli({QStringLiteral("list"), QStringLiteral("tasks")});
    QCOMPARE(run.status, 0);
    const QStringList lines = QString::fromUtf8(run.out).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4); // three items and the end of the last line
    QCOMPARE(lines.at(3), QString());
    const QString time = DaysToDateTime(kCreated).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QVERIFY2(lines.at(0).startsWith(key(1) + QStringLiteral(" [x] Alpha  (created ") + time),
             qPrintable(lines.at(0)));
    for (const QString &part : {QStringLiteral("completed "), QStringLiteral("due 2024-"),
                                QStringLiteral("reminder "), QStringLiteral("expanded)")})
        QVERIFY2(lines.at(0).contains(part), qPrintable(part));
    // The child under its parent, on one line.
    QVERIFY2(lines.at(1).startsWith(QStringLiteral("    ") + key(3) +
                                    QStringLiteral(" [ ] child  second line  (")),
             qPrintable(lines.at(1)));
    QVERIFY(lines.at(2).startsWith(key(2) + QStringLiteral(" [ ] beta  (")));
    QVERIFY(!lines.at(2).contains(QStringLiteral("expanded")));
}

void TestCli::listJson()
{
    seedLists();
    for (const QString &list : {QStringLiteral("tasks"), QStringLiteral("memos")}) {
        const CliRun run = cli({QStringLiteral("list"), list, QStringLiteral("--json")});
        QCOMPARE(run.status, 0);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(run.out, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(document.object().value(QStringLiteral("list")).toString(), list);
        const QJsonArray items = document.object().value(QStringLiteral("items")).toArray();
        QCOMPARE(items.size(), 2);
        const QJsonObject first = items.at(0).toObject();
        if (list == QLatin1String("memos")) {
            QCOMPARE(first.value(QStringLiteral("key")).toString(), key(13));
            QCOMPARE(QDateTime::fromString(first.value(QStringLiteral("assignTime")).toString(),
                                           Qt::ISODate),
                     DaysToDateTime(kCreated));
            const QJsonObject note = items.at(1).toObject();
            QVERIFY(note.value(QStringLiteral("assignTime")).isNull());
            QCOMPARE(note.value(QStringLiteral("children"))
                         .toArray()
                         .at(0)
                         .toObject()
                         .value(QStringLiteral("content"))
                         .toString(),
                     QStringLiteral("Note child"));
            continue;
        }
        QCOMPARE(first.value(QStringLiteral("key")).toString(), key(1));
        QCOMPARE(first.value(QStringLiteral("content")).toString(), QStringLiteral("Alpha"));
        QCOMPARE(first.value(QStringLiteral("checkFlag")).toBool(), true);
        QCOMPARE(first.value(QStringLiteral("dueFlag")).toBool(), true);
        QCOMPARE(first.value(QStringLiteral("alarmFlag")).toBool(), true);
        QCOMPARE(first.value(QStringLiteral("expandFlag")).toBool(), true);
        QCOMPARE(first.value(QStringLiteral("textColor")).toInt(), 255);
        // Times carry their offset and give back the stored instants.
        for (const auto &[name, value] :
             {std::pair{"checkTime", 45302.5}, std::pair{"alarmTime", 45309.0 + 9.0 / 24},
              std::pair{"createTime", kCreated}, std::pair{"editTime", kEdited}}) {
            const QString text = first.value(QLatin1String(name)).toString();
            QVERIFY2(text.contains(QRegularExpression(QStringLiteral("(Z|[+-]\\d\\d:\\d\\d)$"))),
                     qPrintable(text));
            QCOMPARE(QDateTime::fromString(text, Qt::ISODate), DaysToDateTime(value));
        }
        const QJsonArray children = first.value(QStringLiteral("children")).toArray();
        QCOMPARE(children.size(), 1);
        QCOMPARE(children.at(0).toObject().value(QStringLiteral("content")).toString(),
                 QStringLiteral("child\r\nsecond line"));
        QVERIFY(children.at(0).toObject().value(QStringLiteral("checkTime")).isNull());
        const QJsonObject second = items.at(1).toObject();
        QCOMPARE(second.value(QStringLiteral("key")).toString(), key(2));
        QVERIFY(second.value(QStringLiteral("children")).toArray().isEmpty());
        QVERIFY(second.value(QStringLiteral("dueTime")).isNull());
    }
}

// ---- add ----------------------------------------------------------------------------------

void TestCli::add_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("content");
    QTest::newRow("task") << QStringList{QStringLiteral("add"), QStringLiteral("task"),
                                         QStringLiteral("Buy milk")}
                          << QByteArray() << Texts::RootKey << QStringLiteral("Buy milk");
    QTest::newRow("task, stored form")
        << QStringList{QStringLiteral("add"), QStringLiteral("task"),
                       QStringLiteral("two\nlines \t\n")}
        << QByteArray() << Texts::RootKey << QStringLiteral("two\r\nlines");
    QTest::newRow("child task") << QStringList{QStringLiteral("add"), QStringLiteral("task"),
                                               QStringLiteral("--child-of"), key(1),
                                               QStringLiteral("Sub")}
                                << QByteArray() << key(1) << QStringLiteral("Sub");
    QTest::newRow("memo") << QStringList{QStringLiteral("add"), QStringLiteral("memo"),
                                         QStringLiteral("A note")}
                          << QByteArray() << Texts::RootKey << QStringLiteral("A note");
    QTest::newRow("child memo") << QStringList{QStringLiteral("add"), QStringLiteral("memo"),
                                               QStringLiteral("Sub note"),
                                               QStringLiteral("--child-of=") + key(11)}
                                << QByteArray() << key(11) << QStringLiteral("Sub note");
    QTest::newRow("standard input")
        << QStringList{QStringLiteral("add"), QStringLiteral("task"), QStringLiteral("-")}
        << QByteArray("from a pipe\nsecond \xc3\xa9\n") << Texts::RootKey
        << QStringLiteral("from a pipe\r\nsecond \u00e9");
    QTest::newRow("text starting with a dash")
        << QStringList{QStringLiteral("add"), QStringLiteral("task"), QStringLiteral("--"),
                       QStringLiteral("-5 degrees")}
        << QByteArray() << Texts::RootKey << QStringLiteral("-5 degrees");
}

void TestCli::add()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QString, parent);
    QFETCH(QString, content);
    seedLists();
    const TDateTime before = NowDays();
    const CliRun run = cli(arguments, input);
    QCOMPARE(run.status, 0);
    QVERIFY(run.err.isEmpty());
    const QString newKey = QString::fromUtf8(run.out).trimmed();
    QVERIFY2(QRegularExpression(QStringLiteral("^\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}$"))
                 .match(newKey)
                 .hasMatch(),
             qPrintable(newKey));
    const bool memo = arguments.at(1) == QLatin1String("memo");
    withDatabase(database(), [&](QSqlDatabase db) {
        const QVariantMap row =
            fetchRow(db, memo ? QStringLiteral("memos") : QStringLiteral("tasks"),
                     memo ? QStringLiteral("mid") : QStringLiteral("tid"), newKey);
        QCOMPARE(row.value(QStringLiteral("pid")).toString(), parent);
        QCOMPARE(row.value(QStringLiteral("content")).toString(), content);
        QVERIFY(row.value(QStringLiteral("createTime")).toDouble() >= before - 1.0 / 86400);
        QCOMPARE(row.value(QStringLiteral("editTime")), row.value(QStringLiteral("createTime")));
        if (memo) {
            QVERIFY(!row.value(QStringLiteral("assignTime")).isValid());
        } else {
            QCOMPARE(row.value(QStringLiteral("checkFlag")).toInt(), 0);
            QCOMPARE(row.value(QStringLiteral("textColor")).toInt(), 0);
            QVERIFY(!row.value(QStringLiteral("checkTime")).isValid());
        }
    });
}

// ---- check --------------------------------------------------------------------------------

void TestCli::check_data()
{
    QTest::addColumn<QStringList>("setup"); // statements that make the database
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("reported");

    const QString tasks = QStringLiteral(
        "create table tasks (tid varchar(38) primary key, pid varchar(38), content text, "
        "checkFlag boolean, dueFlag boolean, alarmFlag boolean, expandFlag boolean, textColor "
        "integer, backgroundColor integer, createTime double, editTime double, checkTime double, "
        "alarmTime double, dueTime double)");
    const QString memos = QStringLiteral(
        "create table memos (mid varchar(38) primary key, pid varchar(38), content text, "
        "expandFlag boolean, assignTime double, createTime double, editTime double)");
    auto insert = [](const QString &table, int n, const QString &pid) {
        return QStringLiteral("insert into %1 values ('%2', '%3', 'x'%4)")
            .arg(table, key(n), pid,
                 table == QLatin1String("tasks")
                     ? QStringLiteral(", 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0")
                     : QStringLiteral(", 0, 0, 1, 1"));
    };

    QTest::newRow("sound")
        << QStringList{tasks, memos, insert(QStringLiteral("tasks"), 1, QStringLiteral("root")),
                       insert(QStringLiteral("tasks"), 2, key(1)),
                       insert(QStringLiteral("memos"), 3, QStringLiteral("root"))}
        << 0
        << QStringList{
               QStringLiteral("integrity: ok"),
               QStringLiteral("tasks: 2 rows, 1 top-level, 1 children, 0 orphan, 0 third-level"),
               QStringLiteral("memos: 1 rows, 1 top-level, 0 children, 0 orphan, 0 third-level"),
               QStringLiteral("result: sound")};
    QTest::newRow("hidden rows")
        << QStringList{tasks,
                       memos,
                       insert(QStringLiteral("tasks"), 1, QStringLiteral("root")),
                       insert(QStringLiteral("tasks"), 2, key(1)),
                       insert(QStringLiteral("tasks"), 3, key(2)),
                       insert(QStringLiteral("tasks"), 4, key(99)),
                       insert(QStringLiteral("memos"), 5, key(98))}
        << 1
        << QStringList{
               QStringLiteral("tasks: 4 rows, 1 top-level, 1 children, 1 orphan, 1 third-level"),
               QStringLiteral("tasks: orphan (its parent is missing): ") + key(4),
               QStringLiteral("tasks: third level (its parent is a child): ") + key(3),
               QStringLiteral("memos: orphan (its parent is missing): ") + key(5),
               QStringLiteral("result: 3 problem(s)")};
    QTest::newRow("reserved keys")
        << QStringList{tasks, memos, insert(QStringLiteral("tasks"), 1, QStringLiteral("root")),
                       QStringLiteral("insert into tasks (tid, pid, content) values "
                                      "('root', 'root', 'r'), ('', 'root', 'e')"),
                       QStringLiteral("insert into memos (mid, pid, content) values "
                                      "(null, 'root', 'n')")}
        << 1
        << QStringList{
               QStringLiteral("tasks: 3 rows, 3 top-level, 0 children, 0 orphan, 0 third-level"),
               QStringLiteral("tasks: reserved key (no item may carry \"root\" or an empty "
                              "key): \"root\""),
               QStringLiteral("tasks: reserved key (no item may carry \"root\" or an empty "
                              "key): \"\""),
               QStringLiteral("memos: reserved key (no item may carry \"root\" or an empty "
                              "key): \"\""),
               QStringLiteral("result: 3 problem(s)")};
    QTest::newRow("missing table and columns")
        << QStringList{QStringLiteral(
               "create table tasks (tid varchar(38), pid varchar(38), content text)")}
        << 1
        << QStringList{QStringLiteral("tasks: missing columns: checkFlag, dueFlag, alarmFlag, "
                                      "expandFlag, textColor, backgroundColor, createTime, "
                                      "editTime, checkTime, alarmTime, dueTime"),
                       QStringLiteral("memos: the table is missing"),
                       QStringLiteral("result: 12 problem(s)")};
}

void TestCli::check()
{
    QFETCH(QStringList, setup);
    QFETCH(int, status);
    QFETCH(QStringList, reported);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kSeed);
        db.setDatabaseName(database());
        QVERIFY(db.open());
        for (const QString &statement : setup)
            execSql(db, statement);
        db.close();
    }
    QSqlDatabase::removeDatabase(kSeed);
    const QMap<QString, QByteArray> before = snapshot(home());

    const CliRun run = cli({QStringLiteral("check")});
    QCOMPARE(run.status, status);
    const QStringList lines = QString::fromUtf8(run.out).split(QLatin1Char('\n'));
    QCOMPARE(lines.constFirst(), QStringLiteral("database: ") + database());
    for (const QString &line : reported)
        QVERIFY2(lines.contains(line),
                 qPrintable(line + QStringLiteral("\n---\n") + QString::fromUtf8(run.out)));
    if (status == 0) {
        QVERIFY(run.err.isEmpty());
    } else {
        QCOMPARE(run.err.count('\n'), 1);
        QVERIFY(run.err.startsWith("tasklume-cli: check: "));
        QVERIFY(run.err.contains("problem(s) found"));
    }
    // Verifying changes nothing: no table is made, no file written.
    QCOMPARE(snapshot(home()), before);
}

// ---- bad input ----------------------------------------------------------------------------

void TestCli::badInput_data()
{
    QTest::addColumn<QStringList>("arguments"); // "DIR/" stands for the folder of test files
    // 0 none, 1 the seeded lists, 2 not a database, 3 400 tasks and a damaged page
    QTest::addColumn<int>("database");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");

    const QString dir = QStringLiteral("DIR/");
    auto row = [](const char *name, QStringList arguments, int database, int status,
                  const char *message) {
        QTest::newRow(name) << arguments << database << status << QString::fromUtf8(message);
    };
    // Wrong usage.
    row("no command", {}, 1, 2, "tasklume-cli: no command given");
    row("unknown command", {QStringLiteral("publish")}, 1, 2, "unknown command 'publish'");
    row("unknown option first", {QStringLiteral("--force")}, 1, 2, "unknown option '--force'");
    row("unknown option",
        {QStringLiteral("list"), QStringLiteral("tasks"), QStringLiteral("--all")}, 1, 2,
        "tasklume-cli: list: unknown option 'all'");
    row("option of another command",
        {QStringLiteral("backup"), dir + QStringLiteral("x.wyx"), QStringLiteral("--json")}, 1, 2,
        "unknown option 'json'");
    row("value on a switch",
        {QStringLiteral("list"), QStringLiteral("tasks"), QStringLiteral("--json=yes")}, 1, 2,
        "unexpected value after '--json'");
    row("missing argument", {QStringLiteral("backup")}, 1, 2, "missing argument");
    row("extra argument", {QStringLiteral("check"), QStringLiteral("now")}, 1, 2,
        "unexpected argument 'now'");
    row("unknown list", {QStringLiteral("list"), QStringLiteral("notes")}, 1, 2,
        "unknown list 'notes'");
    row("plural in add", {QStringLiteral("add"), QStringLiteral("tasks"), QStringLiteral("x")}, 1,
        2, "unknown list 'tasks'");
    row("restore without answer", {QStringLiteral("restore"), dir + QStringLiteral("good.wyx")}, 1,
        2, "--replace=all or --replace=none");
    row("restore with another answer",
        {QStringLiteral("restore"), dir + QStringLiteral("good.wyx"),
         QStringLiteral("--replace=ask")},
        1, 2, "invalid --replace value 'ask'");
    row("report format",
        {QStringLiteral("report"), QStringLiteral("tasks"), QStringLiteral("--format=pdf"),
         dir + QStringLiteral("r.pdf")},
        1, 2, "invalid --format value 'pdf'");
    row("replace given twice",
        {QStringLiteral("restore"), dir + QStringLiteral("good.wyx"),
         QStringLiteral("--replace=all"), QStringLiteral("--replace=none")},
        1, 2, "option '--replace' given more than once with different values");
    row("format given twice",
        {QStringLiteral("report"), QStringLiteral("tasks"), QStringLiteral("--format=text"),
         QStringLiteral("--format"), QStringLiteral("html"), dir + QStringLiteral("r.txt")},
        1, 2, "option '--format' given more than once with different values");
    row("child-of without key",
        {QStringLiteral("add"), QStringLiteral("task"), QStringLiteral("x"),
         QStringLiteral("--child-of=")},
        1, 2, "--child-of needs the key");
    // Files.
    row("restore missing file",
        {QStringLiteral("restore"), dir + QStringLiteral("none.wyx"),
         QStringLiteral("--replace=all")},
        1, 1, "none.wyx: no such file");
    row("import a folder", {QStringLiteral("import"), QStringLiteral("DIR")}, 1, 1, "is a folder");
    row("import foreign file", {QStringLiteral("import"), dir + QStringLiteral("foreign.wyx")}, 1,
        1, "foreign.wyx is not a readable interchange file");
    row("import damaged file", {QStringLiteral("import"), dir + QStringLiteral("damaged.wyx")}, 1,
        1, "damaged.wyx is not a readable interchange file");
    row("restore file broken in its last task",
        {QStringLiteral("restore"), dir + QStringLiteral("late.wyx"),
         QStringLiteral("--replace=all")},
        1, 1, "late.wyx is not a readable interchange file");
    row("import file broken in its last task",
        {QStringLiteral("import"), dir + QStringLiteral("late.wyx")}, 1, 1,
        "late.wyx is not a readable interchange file");
    row("restore other application's file",
        {QStringLiteral("restore"), dir + QStringLiteral("other.wyx"),
         QStringLiteral("--replace=none")},
        1, 1, "other.wyx was not written by Tasklume (Data mismatch: tasklumeTasklume)");
    row("restore foreign file without database",
        {QStringLiteral("restore"), dir + QStringLiteral("foreign.wyx"),
         QStringLiteral("--replace=all")},
        0, 1, "is not a readable interchange file");
    row("import calendar that is none",
        {QStringLiteral("import"), dir + QStringLiteral("foreign.ics")}, 1, 1,
        "foreign.ics holds no calendar");
    row("import calendar that is none, without database",
        {QStringLiteral("import"), dir + QStringLiteral("foreign.ics")}, 0, 1,
        "foreign.ics holds no calendar");
    row("import missing calendar", {QStringLiteral("import"), dir + QStringLiteral("none.ics")}, 1,
        1, "none.ics: no such file");
    row("import other file without database",
        {QStringLiteral("import"), dir + QStringLiteral("other.wyx")}, 0, 1,
        "was not written by Tasklume");
    row("backup into missing folder",
        {QStringLiteral("backup"), dir + QStringLiteral("no/such/b.wyx")}, 1, 1, "does not exist");
    row("report into missing folder",
        {QStringLiteral("report"), QStringLiteral("memos"), dir + QStringLiteral("no/r.txt")}, 1, 1,
        "does not exist");
    // The program's own files are never written over, under whatever name.
    const QString home = QStringLiteral("HOME/");
    const QString backup = QStringLiteral("backup");
    row("backup onto the database", {backup, home + QStringLiteral("wyData.wyb")}, 1, 1,
        "is the program's database (");
    row("backup onto the database, other spelling",
        {backup, home + QStringLiteral(".//wyData.wyb")}, 1, 1, "is the program's database (");
    row("backup onto the write-ahead log", {backup, home + QStringLiteral("wyData.wyb-wal")}, 1, 1,
        "is the program's database journal");
    row("backup onto the shared memory", {backup, home + QStringLiteral("wyData.wyb-shm")}, 1, 1,
        "is the program's database journal");
    row("backup onto the settings", {backup, home + QStringLiteral("wyConf.ini")}, 1, 1,
        "is the program's settings file");
    row("backup onto the run lock", {backup, home + QStringLiteral("wyRun.lock")}, 1, 1,
        "is the program's run lock");
    row("report onto the database",
        {QStringLiteral("report"), QStringLiteral("tasks"), home + QStringLiteral("wyData.wyb")}, 1,
        1, "is the program's database (");
    row("report onto the settings",
        {QStringLiteral("report"), QStringLiteral("memos"), QStringLiteral("--format=html"),
         home + QStringLiteral("wyConf.ini")},
        1, 1, "is the program's settings file");
    // A damaged page ends every reading command with a failure, never a part of the list.
    row("list of a damaged database", {QStringLiteral("list"), QStringLiteral("tasks")}, 3, 1,
        "is damaged");
    row("JSON list of a damaged database",
        {QStringLiteral("list"), QStringLiteral("tasks"), QStringLiteral("--json")}, 3, 1,
        "is damaged");
    row("report of a damaged database",
        {QStringLiteral("report"), QStringLiteral("tasks"), dir + QStringLiteral("good.wyx")}, 3, 1,
        "is damaged");
    row("report of a damaged database to standard output",
        {QStringLiteral("report"), QStringLiteral("tasks"), QStringLiteral("-")}, 3, 1,
        "is damaged");
    row("backup of a damaged database", {backup, dir + QStringLiteral("good.wyx")}, 3, 1,
        "is damaged");
    // A missing database is not made by the reading commands.
    row("list without database", {QStringLiteral("list"), QStringLiteral("tasks")}, 0, 1,
        "there is no database");
    row("backup without database", {QStringLiteral("backup"), dir + QStringLiteral("b.wyx")}, 0, 1,
        "there is no database");
    row("report without database",
        {QStringLiteral("report"), QStringLiteral("tasks"), dir + QStringLiteral("r.txt")}, 0, 1,
        "there is no database");
    row("check without database", {QStringLiteral("check")}, 0, 1, "there is no database");
    row("child without database",
        {QStringLiteral("add"), QStringLiteral("memo"), QStringLiteral("x"),
         QStringLiteral("--child-of"), key(11)},
        0, 1, "There is no top-level memo with the key");
    row("list a file that is no database", {QStringLiteral("list"), QStringLiteral("memos")}, 2, 1,
        "is not a database");
    row("restore into a file that is no database",
        {QStringLiteral("restore"), dir + QStringLiteral("good.wyx"),
         QStringLiteral("--replace=all")},
        2, 1, "file is not a database");
    // Items.
    row("empty text", {QStringLiteral("add"), QStringLiteral("task"), QStringLiteral(" \n ")}, 1, 1,
        "the text is empty; nothing was added");
    row("child of a missing item",
        {QStringLiteral("add"), QStringLiteral("task"), QStringLiteral("x"),
         QStringLiteral("--child-of"), key(99)},
        1, 1, "There is no top-level task with the key");
    row("child of a child",
        {QStringLiteral("add"), QStringLiteral("task"), QStringLiteral("x"),
         QStringLiteral("--child-of"), key(3)},
        1, 1, "There is no top-level task with the key");
    row("child of a memo's key",
        {QStringLiteral("add"), QStringLiteral("task"), QStringLiteral("x"),
         QStringLiteral("--child-of"), key(11)},
        1, 1, "There is no top-level task with the key");
}

void TestCli::badInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, database);
    QFETCH(int, status);
    QFETCH(QString, message);
    makeBadFiles();
    if (database == 1)
        seedLists();
    else if (database == 2)
        writeFile(this->database(), "not a database, but a file of that name\n");
    else if (database == 3)
        makeDamagedDatabase();
    const QMap<QString, QByteArray> before = snapshot(home());
    const QMap<QString, QByteArray> filesBefore = snapshot(m_files.path());
    const QStringList namesBefore =
        QDir(m_files.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^DIR")), m_files.path());
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^HOME/")), home());

    const CliRun run = cli(arguments);
    QCOMPARE(run.status, status);
    QVERIFY(run.out.isEmpty());
    // One line, naming the program.
    QVERIFY2(run.err.startsWith("tasklume-cli: ") && run.err.count('\n') == 1 &&
                 run.err.endsWith('\n'),
             run.err.constData());
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    // Nothing changed: no database made, none written, no file left behind.
    QCOMPARE(snapshot(home()), before);
    QCOMPARE(snapshot(m_files.path()), filesBefore);
    QCOMPARE(QDir(m_files.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), namesBefore);
    if (database == 3) // the line names the file
        QVERIFY2(run.err.contains(QDir::toNativeSeparators(this->database()).toUtf8()),
                 run.err.constData());
}

// ---- memory on hostile files -------------------------------------------------------------

void TestCli::readerMemoryBoundedOnHostileFile_data()
{
    QTest::addColumn<QString>("command");
    // The 32 MiB lie in empty elements, or in one attribute (a part too large to read).
    QTest::addColumn<bool>("oneAttribute");
    QTest::newRow("restore, elements") << QStringLiteral("restore") << false;
    QTest::newRow("import, elements") << QStringLiteral("import") << false;
    QTest::newRow("restore, one attribute") << QStringLiteral("restore") << true;
    QTest::newRow("import, one attribute") << QStringLiteral("import") << true;
}

// A small file holding 32 MiB of empty elements in a section the readers never look at:
// reading it stores one task and needs no memory for the rest. The peak resident memory of
// the companion stays within 64 MiB.
void TestCli::readerMemoryBoundedOnHostileFile()
{
    QFETCH(QString, command);
    QFETCH(bool, oneAttribute);
    int status = -1;
    // The companion's own peak resident memory in KiB, or -1. A process started from this one
    // would count this one's memory in its peak (through the copied address space), so a
    // small Python process starts it and asks the kernel for its child's peak.
    auto peakKiB = [&](const QString &path) -> long {
        QStringList arguments{
            QStringLiteral("-c"),
            QStringLiteral("import resource, subprocess, sys\n"
                           "r = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL)\n"
                           "print(r.returncode, "
                           "resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n"),
            QStringLiteral(TASKLUME_CLI), command, path};
        if (command == QLatin1String("restore"))
            arguments << QStringLiteral("--replace=all");
        QProcess process;
        QProcessEnvironment env = CliProcess::environment(home());
#ifdef __SANITIZE_ADDRESS__
        // Freed memory waits in the sanitizer's quarantine; that is not the reader's.
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   QStringLiteral("quarantine_size_mb=0:thread_local_quarantine_size_kb=0"));
#endif
        process.setProcessEnvironment(env);
        process.start(QStandardPaths::findExecutable(QStringLiteral("python3")), arguments);
        if (!process.waitForFinished(300000))
            return -1;
        const QList<QByteArray> words = process.readAllStandardOutput().simplified().split(' ');
        if (words.size() != 2)
            return -1;
        status = words.at(0).toInt();
        return words.at(1).toLong();
    };

    const QString plain = file(QStringLiteral("plain.wyx"));
    const QString bomb = file(QStringLiteral("bomb.wyx"));
    // One task; the hostile file has 32 MiB of empty elements after it.
    QVERIFY(DataSet::writeHostileFile(plain, 0));
    QVERIFY(DataSet::writeHostileFile(bomb, 32, oneAttribute));
    QVERIFY(QFileInfo(bomb).size() < 1024 * 1024);
    const long base = peakKiB(plain);
    QCOMPARE(status, 0);
    const long peak = peakKiB(bomb);
    QCOMPARE(status, oneAttribute ? 1 : 0); // a part of 32 MiB is refused
    QVERIFY(base > 0);
    QVERIFY(peak > 0);
    const QString figures =
        QStringLiteral("peak %1 KiB, with one task alone %2 KiB").arg(peak).arg(base);
#ifdef __SANITIZE_ADDRESS__
    // The sanitizer's own memory comes on top, and its allocator keeps more: the file may add
    // nothing that grows with it (at most the one part the parser keeps whole, 16 MiB).
    QVERIFY2(peak - base <= 80 * 1024, qPrintable(figures));
#else
    QVERIFY2(peak <= 64 * 1024, qPrintable(figures));
#endif
    const CliRun list = cli({QStringLiteral("list"), QStringLiteral("tasks")});
    QCOMPARE(list.status, 0);
    QVERIFY(list.out.contains("kept"));
}

// ---- while the program runs ---------------------------------------------------------------

void TestCli::writesRefusedWhileProgramRuns_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("restore") << QStringList{QStringLiteral("restore"), QStringLiteral("GOOD"),
                                            QStringLiteral("--replace=all")}
                             << QStringLiteral("use \"Database Restore...\" in its File menu");
    QTest::newRow("import") << QStringList{QStringLiteral("import"), QStringLiteral("GOOD")}
                            << QStringLiteral("use \"Import\" in its File menu");
    // A program that cannot be reached is not bypassed either.
    QTest::newRow("add, no channel")
        << QStringList{QStringLiteral("add"), QStringLiteral("task"), QStringLiteral("x")}
        << QStringLiteral("cannot be reached; nothing was added");
}

void TestCli::writesRefusedWhileProgramRuns()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    makeBadFiles();
    seedLists();
    arguments.replaceInStrings(QStringLiteral("GOOD"), file(QStringLiteral("good.wyx")));
    RunLock program;
    QVERIFY(program.acquireExclusive(m_folder->file(Texts::RunLockFileName),
                                     {QCoreApplication::applicationPid(), QString()}));
    const QMap<QString, QByteArray> before = snapshot(home());

    const CliRun run = cli(arguments);
    QCOMPARE(run.status, 1);
    QVERIFY2(
        run.err.contains(QStringLiteral("Ploxen Tasklume is running on this folder (process %1)")
                             .arg(QCoreApplication::applicationPid())
                             .toUtf8()),
        run.err.constData());
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);
    QCOMPARE(snapshot(home()), before);
}

void TestCli::readsWorkWhileProgramRuns()
{
    seedLists();
    RunLock program;
    QVERIFY(program.acquireExclusive(m_folder->file(Texts::RunLockFileName),
                                     {QCoreApplication::applicationPid(), QString()}));
    const QList<QStringList> reads{
        {QStringLiteral("list"), QStringLiteral("tasks")},
        {QStringLiteral("backup"), file(QStringLiteral("b.wyx"))},
        {QStringLiteral("report"), QStringLiteral("memos"), file(QStringLiteral("r.html"))},
    };
    for (const QStringList &arguments : reads) {
        const CliRun run = cli(arguments);
        QVERIFY2(run.status == 0, run.err.constData());
    }
    // The check reads as well: it finds the orphan of the seeded lists.
    const CliRun check = cli({QStringLiteral("check")});
    QVERIFY2(check.out.contains("tasks: orphan (its parent is missing): " + key(4).toUtf8()),
             check.out.constData());
    QVERIFY(QFileInfo::exists(file(QStringLiteral("b.wyx"))));
    QVERIFY(QFileInfo::exists(file(QStringLiteral("r.html"))));
}

void TestCli::addAsksRunningProgram_data()
{
    QTest::addColumn<QByteArray>("reply"); // empty: the channel does not answer
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("stored") << QByteArray("ok {KEY}\n") << 0 << QByteArray("{KEY}\n")
                            << QByteArray();
    QTest::newRow("refused")
        << QByteArray("error There is no top-level task with the key X.\n") << 1 << QByteArray()
        << QByteArray("tasklume-cli: add: There is no top-level task with the key X.\n");
    QTest::newRow("no answer") << QByteArray() << 1 << QByteArray()
                               << QByteArray("did not answer in time; the item was not added");
}

// A stand-in for the running program: it holds the folder and answers on a channel named for
// a display session the command does not have.
void TestCli::addAsksRunningProgram()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    seedLists();
    QTemporaryDir runtime;
    const QByteArray oldDisplay = qgetenv("DISPLAY");
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("DISPLAY", ":4711");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    InstanceServer server;
    const bool listening = server.listen();
    qputenv("DISPLAY", oldDisplay);
    qputenv("XDG_RUNTIME_DIR", oldRuntime);
    QVERIFY(listening);
    QVERIFY(server.fullServerName().startsWith(runtime.path()));
    QByteArrayList requests;
    server.setRequestHandler([&](const QByteArray &request) {
        requests.append(request);
        return reply;
    });
    const QString channel = reply.isEmpty() ? runtime.filePath(QStringLiteral("nobody-listens"))
                                            : server.fullServerName();
    RunLock program;
    QVERIFY(program.acquireExclusive(m_folder->file(Texts::RunLockFileName),
                                     {QCoreApplication::applicationPid(), channel}));
    const QMap<QString, QByteArray> before = snapshot(home());

    const QString text = QStringLiteral("Call Anna\nabout the \"plan\" & more");
    const CliRun run = cliWithEvents({QStringLiteral("add"), QStringLiteral("task"), text,
                                      QStringLiteral("--child-of"), key(1)});
    QCOMPARE(run.status, status);
    QCOMPARE(run.out, out);
    if (err.isEmpty())
        QVERIFY2(run.err.isEmpty(), run.err.constData());
    else
        QVERIFY2(run.err.contains(err) && run.err.count('\n') == 1, run.err.constData());
    // The command left the storing to the program.
    QCOMPARE(snapshot(home()), before);
    if (!reply.isEmpty()) {
        QCOMPARE(requests.size(), 1);
        const QByteArrayList parts = requests.at(0).split(' ');
        QCOMPARE(parts.size(), 5);
        QCOMPARE(parts.at(0), QByteArray("add"));
        QCOMPARE(parts.at(1), QByteArray("task"));
        QCOMPARE(QString::fromUtf8(QByteArray::fromBase64(parts.at(2))), key(1));
        QCOMPARE(QString::fromUtf8(QByteArray::fromBase64(parts.at(3))), text);
        // The moment (the system's monotonic clock) after which it must not be stored, some
        // seconds ahead.
        bool valid = false;
        const qint64 deadline = parts.at(4).toLongLong(&valid);
        QVERIFY(valid);
        const qint64 now = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
        QVERIFY2(deadline > now && deadline < now + 60000, parts.at(4).constData());
    }
}

// The real program on the offscreen platform, started with a display session and a runtime
// folder that the command does not have.
void TestCli::addWithRealProgram()
{
    m_folder->copyProgramFiles();
    withDatabase(database(), [](QSqlDatabase db) {
        Row parent = task(1, Texts::RootKey, QStringLiteral("Parent"));
        parent.expandFlag = true;
        insertTask(db, parent);
    });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TASKLUME_HOME"), home());
    CliProcess::ProgramRun tasklume(env, QStringLiteral(":4712"));
    QVERIFY(tasklume.started());

    const QString lock = m_folder->file(Texts::RunLockFileName);
    std::optional<RunLock::Holder> holder;
    QTRY_VERIFY_WITH_TIMEOUT((holder = RunLock::runningProgram(lock)).has_value(), 20000);
    QCOMPARE(holder->pid, tasklume.processId());
    QVERIFY(holder->channel.startsWith(tasklume.runtimeFolder()));
    // The lists are there once they answer.
    QTRY_VERIFY_WITH_TIMEOUT(RequestInstance(holder->channel, "rows tasks").contains("Parent"),
                             20000);

    CliRun run = cli({QStringLiteral("add"), QStringLiteral("task"), QStringLiteral("From cron")});
    QCOMPARE(run.status, 0);
    const QString topKey = QString::fromUtf8(run.out).trimmed();
    run = cli({QStringLiteral("add"), QStringLiteral("task"), QStringLiteral("Sub task"),
               QStringLiteral("--child-of=") + key(1)});
    QCOMPARE(run.status, 0);
    const QString childKey = QString::fromUtf8(run.out).trimmed();
    run = cli({QStringLiteral("add"), QStringLiteral("memo"), QStringLiteral("x"),
               QStringLiteral("--child-of=") + key(1)});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, "tasklume-cli: add: There is no top-level memo with the key " +
                          key(1).toUtf8() + ".\n");

    // Shown at once, the child under its parent.
    const QByteArray rows = RequestInstance(holder->channel, "rows tasks");
    QVERIFY2(rows.contains("0\t\tFrom cron\n"), rows.constData());
    QVERIFY2(rows.contains("1\t\tSub task\n"), rows.constData());
    withDatabase(database(), [&](QSqlDatabase db) {
        QCOMPARE(fetchRow(db, QStringLiteral("tasks"), QStringLiteral("tid"), topKey)
                     .value(QStringLiteral("pid"))
                     .toString(),
                 Texts::RootKey);
        QCOMPARE(fetchRow(db, QStringLiteral("tasks"), QStringLiteral("tid"), childKey)
                     .value(QStringLiteral("pid"))
                     .toString(),
                 key(1));
        QCOMPARE(queryValue(db, QStringLiteral("select count(*) from memos")).toInt(), 0);
    });

    // Restoring is left to the program.
    makeBadFiles();
    run = cli({QStringLiteral("restore"), file(QStringLiteral("good.wyx")),
               QStringLiteral("--replace=all")});
    QCOMPARE(run.status, 1);
    QVERIFY(run.err.contains("is running on this folder"));

    // Once it has ended, the folder is the command's.
    QVERIFY(tasklume.end(10000));
    QVERIFY(!RunLock::runningProgram(lock).has_value());
    run = cli({QStringLiteral("restore"), file(QStringLiteral("good.wyx")),
               QStringLiteral("--replace=all")});
    QCOMPARE(run.status, 0);
}

// A program stopped (SIGSTOP) while the command waits: the command ends with status 1 and
// "not added", and the program, going on (SIGCONT), drops the request that came too late, so
// that a script that tries again stores the item once.
void TestCli::addToStoppedProgramIsNotStoredLater()
{
    m_folder->copyProgramFiles();
    withDatabase(database(), [](QSqlDatabase db) {
        insertTask(db, task(1, Texts::RootKey, QStringLiteral("Parent")));
    });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TASKLUME_HOME"), home());
    CliProcess::ProgramRun tasklume(env, QStringLiteral(":4713"));
    QVERIFY(tasklume.started());
    const QString lock = m_folder->file(Texts::RunLockFileName);
    std::optional<RunLock::Holder> holder;
    QTRY_VERIFY_WITH_TIMEOUT((holder = RunLock::runningProgram(lock)).has_value(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(RequestInstance(holder->channel, "rows tasks").contains("Parent"),
                             20000);

    const pid_t pid = pid_t(tasklume.processId());
    QCOMPARE(::kill(pid, SIGSTOP), 0);
    auto resume = qScopeGuard([pid] { ::kill(pid, SIGCONT); });
    CliRun run =
        cli({QStringLiteral("add"), QStringLiteral("task"), QStringLiteral("While stopped")});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains("did not answer in time; the item was not added"),
             run.err.constData());
    QCOMPARE(::kill(pid, SIGCONT), 0);
    resume.dismiss();

    // The script tries again, and the program, going on, answers.
    run = cli({QStringLiteral("add"), QStringLiteral("task"), QStringLiteral("While stopped")});
    QVERIFY2(run.status == 0, run.err.constData());
    run = cli({QStringLiteral("add"), QStringLiteral("task"), QStringLiteral("Afterwards")});
    QVERIFY2(run.status == 0, run.err.constData());
    const QByteArray rows = RequestInstance(holder->channel, "rows tasks");
    QCOMPARE(rows.count("While stopped"), 1);
    QVERIFY(tasklume.end(10000));
    withDatabase(database(), [&](QSqlDatabase db) {
        QCOMPARE(queryValue(db, QStringLiteral("select count(*) from tasks where content = "
                                               "'While stopped'"))
                     .toInt(),
                 1);
        QCOMPARE(queryValue(db, QStringLiteral("select count(*) from tasks")).toInt(), 3);
    });
}

// The e-mail attachments an earlier run left in "Temp" go when the program starts again.
void TestCli::programStartClearsTempFolder()
{
    m_folder->copyProgramFiles();
    withDatabase(database(), [](QSqlDatabase db) {
        insertTask(db, task(1, Texts::RootKey, QStringLiteral("Parent")));
    });
    QVERIFY(QDir(home()).mkpath(QStringLiteral("Temp")));
    const QStringList leftovers{m_folder->file(QStringLiteral("Temp/Tasks.html")),
                                m_folder->file(QStringLiteral("Temp/Memos.wyx"))};
    for (const QString &path : leftovers)
        writeFile(path, "a list of the last run");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TASKLUME_HOME"), home());
    CliProcess::ProgramRun tasklume(env, QStringLiteral(":4714"));
    QVERIFY(tasklume.started());
    const QString lock = m_folder->file(Texts::RunLockFileName);
    std::optional<RunLock::Holder> holder;
    QTRY_VERIFY_WITH_TIMEOUT((holder = RunLock::runningProgram(lock)).has_value(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(RequestInstance(holder->channel, "rows tasks").contains("Parent"),
                             20000);
    for (const QString &path : leftovers)
        QVERIFY2(!QFileInfo::exists(path), qPrintable(path));
    QVERIFY(QFileInfo(m_folder->file(QStringLiteral("Temp"))).isDir());
    QVERIFY(tasklume.end(10000));
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
