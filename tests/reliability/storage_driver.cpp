// A stand-in for the program's lists that the reliability tests can kill at any moment. It
// runs the storage operations the frames and the interchange module run (add, edit text,
// complete, delete with children, restore and import of an interchange file) in a seeded
// random order on a program folder, and tells on standard output what it is about to do
// and when each operation has returned:
//
//   > N KIND           operation N begins
//   . TABLE KEY PID CHECK CONTENT    what it writes (fields tab-separated; KEY is "-" for
//                                    the rows an import adds under fresh keys)
//   - TABLE KEY        a row it deletes together with the row's children
//   ~ N                the import of operation N has returned (its rows follow)
//   + TABLE KEY PID CHECK CONTENT    a row an import added, read back once it returned
//   = N                operation N has returned: it is committed
//
// Second mode, "lock": holds a lock on a database as another program would, until its
// standard input closes.
//
//   storage_driver ops FOLDER SEED [COUNT]
//   storage_driver lock DATABASE write|exclusive
#include "common/AppPaths.h"
#include "common/ItemTree.h"
#include "common/Texts.h"
#include "interchange/Interchange.h"
#include "memos/MemoInfo.h"
#include "storage/Database.h"
#include "storage/Statements.h"
#include "tasks/TaskInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// Lines go out unbuffered, so that a line that was written is a line the test can read,
// whenever the process is killed.
void say(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, size_t(left));
        if (written <= 0)
            return;
        data += written;
        left -= written;
    }
}

QString tab()
{
    return QStringLiteral("\t");
}

struct Row
{
    QString key;
    QString pid;
    bool check = false;
    QString content;
};

class Driver
{
public:
    Driver(QSqlDatabase db, quint32 seed, const QString &folder)
        : m_tasks(db), m_memos(db), m_db(db), m_random(seed), m_folder(folder)
    {
        m_taskRows = readRows(m_tasks);
        m_memoRows = readRows(m_memos);
    }

    void step(int n)
    {
        const int roll = int(m_random.bounded(100));
        if (roll < 18)
            addTask(n, false);
        else if (roll < 28)
            addTask(n, true);
        else if (roll < 42)
            editText(n, true);
        else if (roll < 54)
            toggleCheck(n);
        else if (roll < 61)
            deleteItem(n, true);
        else if (roll < 69)
            addMemo(n);
        else if (roll < 75)
            editText(n, false);
        else if (roll < 79)
            deleteItem(n, false);
        else if (roll < 90)
            restore(n);
        else
            import(n);
    }

private:
    static std::vector<Row> readRows(ItemStatements &statements)
    {
        std::vector<Row> rows;
        QSqlQuery &query = statements.selectAll();
        while (query.next()) {
            rows.push_back({query.value(statements.keyColumn()).toString(),
                            query.value(QStringLiteral("pid")).toString(),
                            query.value(QStringLiteral("checkFlag")).toBool(),
                            query.value(QStringLiteral("content")).toString()});
        }
        query.finish();
        return rows;
    }

    // Texts with a quote, letters beyond ASCII and now and then one long enough to spill
    // over several database pages.
    QString content(int n, int longOneIn = 8)
    {
        QString text =
            QStringLiteral("item %1 it's \u00e9t\u00e9 #%2").arg(n).arg(m_random.bounded(1000000));
        if (m_random.bounded(longOneIn) == 0)
            text += QStringLiteral(" lorem").repeated(int(m_random.bounded(200, 3000)));
        return text;
    }

    std::vector<Row> &rows(bool tasks) { return tasks ? m_taskRows : m_memoRows; }

    const Row *pick(bool tasks, bool topOnly)
    {
        std::vector<const Row *> candidates;
        for (const Row &row : rows(tasks)) {
            if (!topOnly || row.pid == Texts::RootKey)
                candidates.push_back(&row);
        }
        if (candidates.empty())
            return nullptr;
        return candidates[m_random.bounded(quint32(candidates.size()))];
    }

    static QString table(bool tasks)
    {
        return tasks ? QStringLiteral("tasks") : QStringLiteral("memos");
    }

    void plan(bool tasks, const QString &key, const QString &pid, bool check, const QString &text)
    {
        say(QStringLiteral(".\t") + table(tasks) + tab() + key + tab() + pid + tab() +
            (check ? QStringLiteral("1") : QStringLiteral("0")) + tab() + text);
    }

    void addTask(int n, bool child)
    {
        TTaskInfo task;
        task.key = NewRowKey();
        task.pid = Texts::RootKey;
        if (child) {
            if (const Row *parent = pick(true, true))
                task.pid = parent->key;
        }
        task.content = content(n);
        task.createTime = task.editTime = NowDays();
        say(QStringLiteral("> %1 add-task").arg(n));
        plan(true, task.key, task.pid, false, task.content);
        m_tasks.insertNew(task);
        say(QStringLiteral("= %1").arg(n));
        m_taskRows.push_back({task.key, task.pid, false, task.content});
    }

    void addMemo(int n)
    {
        TMemoInfo memo;
        memo.key = NewRowKey();
        memo.pid = Texts::RootKey;
        if (m_random.bounded(3) == 0) {
            if (const Row *parent = pick(false, true))
                memo.pid = parent->key;
        }
        memo.content = content(n);
        memo.createTime = memo.editTime = memo.assignTime = NowDays();
        say(QStringLiteral("> %1 add-memo").arg(n));
        plan(false, memo.key, memo.pid, false, memo.content);
        m_memos.insert(memo);
        say(QStringLiteral("= %1").arg(n));
        m_memoRows.push_back({memo.key, memo.pid, false, memo.content});
    }

    void editText(int n, bool tasks)
    {
        const Row *row = pick(tasks, false);
        if (row == nullptr)
            return addTask(n, false);
        const QString text = content(n);
        say(QStringLiteral("> %1 edit").arg(n));
        plan(tasks, row->key, row->pid, row->check, text);
        (tasks ? static_cast<ItemStatements &>(m_tasks) : m_memos)
            .updateContent(row->key, text, NowDays());
        say(QStringLiteral("= %1").arg(n));
    }

    void toggleCheck(int n)
    {
        const Row *found = pick(true, false);
        if (found == nullptr)
            return addTask(n, false);
        Row &row = const_cast<Row &>(*found);
        say(QStringLiteral("> %1 check").arg(n));
        say(QStringLiteral("!\ttasks\t") + row.key + tab() +
            (row.check ? QStringLiteral("0") : QStringLiteral("1")));
        m_tasks.updateCheck(row.key, !row.check, NowDays());
        say(QStringLiteral("= %1").arg(n));
        row.check = !row.check;
    }

    void deleteItem(int n, bool tasks)
    {
        const Row *row = pick(tasks, false);
        if (row == nullptr)
            return addTask(n, false);
        const QString key = row->key;
        say(QStringLiteral("> %1 delete").arg(n));
        say(QStringLiteral("-\t") + table(tasks) + tab() + key);
        (tasks ? static_cast<ItemStatements &>(m_tasks) : m_memos).deleteItem(key);
        say(QStringLiteral("= %1").arg(n));
        std::erase_if(rows(tasks), [&](const Row &r) { return r.key == key || r.pid == key; });
    }

    // A file of a few top-level items, each with up to three children. For a restore some
    // top-level items are stored ones with a new text (their key is kept), the others new.
    QString writeFile(int n, bool tasks, bool forRestore, std::vector<Row> *written,
                      QStringList *planLines)
    {
        ItemNode root;
        std::vector<std::unique_ptr<ItemNode>> tops;
        const int count = int(m_random.bounded(1, m_random.bounded(4) == 0 ? 120 : 8));
        for (int i = 0; i < count; ++i) {
            std::unique_ptr<ItemInfo> info;
            if (tasks) {
                auto task = std::make_unique<TTaskInfo>();
                task->checkFlag = m_random.bounded(2) == 0;
                info = std::move(task);
            } else {
                info = std::make_unique<TMemoInfo>();
            }
            const Row *existing =
                forRestore && m_random.bounded(2) == 0 ? pick(tasks, true) : nullptr;
            info->key = existing ? existing->key : NewRowKey();
            for (const auto &top : tops) {
                if (top->info->key == info->key)
                    info->key = NewRowKey(); // one entry per key in a file
            }
            info->pid = Texts::RootKey;
            info->content = content(n * 1000 + i, 40);
            info->createTime = info->editTime = NowDays();
            auto node = std::make_unique<ItemNode>(std::move(info));
            node->parent = &root;
            const int children = int(m_random.bounded(4));
            for (int c = 0; c < children; ++c) {
                std::unique_ptr<ItemInfo> childInfo;
                if (tasks)
                    childInfo = std::make_unique<TTaskInfo>();
                else
                    childInfo = std::make_unique<TMemoInfo>();
                childInfo->key = NewRowKey();
                childInfo->pid = node->info->key;
                childInfo->content = content(n * 1000 + i * 10 + c, 40);
                childInfo->createTime = childInfo->editTime = NowDays();
                auto child = std::make_unique<ItemNode>(std::move(childInfo));
                child->parent = node.get();
                node->children.push_back(std::move(child));
            }
            tops.push_back(std::move(node));
        }
        QList<ItemNode *> selected;
        for (const auto &top : tops) {
            selected.append(top.get());
            const auto line = [&](const ItemNode &node) {
                const bool check = tasks && node.as<TTaskInfo>()->checkFlag;
                written->push_back({node.info->key, node.info->pid, check, node.info->content});
                planLines->append(
                    table(tasks) + tab() +
                    (forRestore ? node.info->key.toString() : QStringLiteral("-")) + tab() +
                    (forRestore || node.info->pid == Texts::RootKey ? node.info->pid.toString()
                                                                    : QStringLiteral("-")) +
                    tab() + (check ? QStringLiteral("1") : QStringLiteral("0")) + tab() +
                    node.info->content);
            };
            line(*top);
            for (const auto &child : top->children)
                line(*child);
        }
        const QString fileName = m_folder + QStringLiteral("exchange-%1.wyx").arg(n);
        const auto failed = [](const QString &text) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
            std::exit(3);
        };
        if (!(tasks ? WriteTasksFile(fileName, selected, failed)
                    : WriteMemosFile(fileName, selected, failed)))
            failed(QStringLiteral("cannot write ") + fileName);
        return fileName;
    }

    struct ReplaceAll : Interchange::ReplaceAsker
    {
        Interchange::Answer ask(const Interchange::ReplaceQuestion &) override
        {
            return Interchange::Answer::All;
        }
    };

    void restore(int n)
    {
        const bool tasks = m_random.bounded(3) != 0;
        std::vector<Row> written;
        QStringList planLines;
        const QString fileName = writeFile(n, tasks, true, &written, &planLines);
        say(QStringLiteral("> %1 restore").arg(n));
        for (const QString &line : planLines)
            say(QStringLiteral(".\t") + line);
        ReplaceAll asker;
        const Interchange::RunResult result =
            Interchange::RestoreFile(m_db, fileName, asker, [](const QString &text) {
                std::fprintf(stderr, "%s\n", qPrintable(text));
            });
        if (result.outcome != Interchange::Outcome::Completed) {
            std::fprintf(stderr, "restore did not complete\n");
            std::exit(3);
        }
        say(QStringLiteral("= %1").arg(n));
        for (const Row &row : written) {
            std::erase_if(rows(tasks), [&](const Row &r) { return r.key == row.key; });
            rows(tasks).push_back(row);
        }
        ::unlink(QFile::encodeName(fileName).constData());
    }

    void import(int n)
    {
        const bool tasks = m_random.bounded(2) == 0;
        std::vector<Row> written;
        QStringList planLines;
        const QString fileName = writeFile(n, tasks, false, &written, &planLines);
        say(QStringLiteral("> %1 import").arg(n));
        for (const QString &line : planLines)
            say(QStringLiteral(".\t") + line);
        const Interchange::RunResult result =
            Interchange::ImportFile(m_db, fileName, [](const QString &text) {
                std::fprintf(stderr, "%s\n", qPrintable(text));
            });
        if (result.outcome != Interchange::Outcome::Completed) {
            std::fprintf(stderr, "import did not complete\n");
            std::exit(3);
        }
        say(QStringLiteral("~ %1").arg(n)); // returned; the new keys follow
        // The new keys are not known beforehand: the rows are read again.
        std::vector<Row> after = readRows(tasks ? static_cast<ItemStatements &>(m_tasks) : m_memos);
        QSet<QString> known;
        for (const Row &row : rows(tasks))
            known.insert(row.key);
        for (const Row &row : after) {
            if (!known.contains(row.key))
                say(QStringLiteral("+\t") + table(tasks) + tab() + row.key + tab() + row.pid +
                    tab() + (row.check ? QStringLiteral("1") : QStringLiteral("0")) + tab() +
                    row.content);
        }
        say(QStringLiteral("= %1").arg(n));
        rows(tasks) = std::move(after);
        ::unlink(QFile::encodeName(fileName).constData());
    }

    TaskStatements m_tasks;
    MemoStatements m_memos;
    QSqlDatabase m_db;
    QRandomGenerator m_random;
    QString m_folder;
    std::vector<Row> m_taskRows;
    std::vector<Row> m_memoRows;
};

int runOperations(const QString &folder, quint32 seed, int count)
{
    AppPaths::setFolder(folder);
    try {
        QSqlDatabase db = Database::open(AppPaths::file(Texts::DatabaseFileName));
        Driver driver(db, seed, AppPaths::folder());
        say(QStringLiteral("ready"));
        for (int n = 1; n <= count; ++n)
            driver.step(n);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    }
    Database::close();
    say(QStringLiteral("end"));
    return 0;
}

int holdLock(const QString &path, const QString &mode)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lock"));
    db.setDatabaseName(path);
    if (!db.open()) {
        std::fprintf(stderr, "%s\n", qPrintable(db.lastError().text()));
        return 2;
    }
    {
        QSqlQuery query(db);
        QStringList statements;
        if (mode == QLatin1String("exclusive"))
            statements << QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")
                       << QStringLiteral("BEGIN EXCLUSIVE");
        else
            statements << QStringLiteral("BEGIN IMMEDIATE");
        // A write inside the transaction takes the write lock for certain.
        statements << QStringLiteral("update tasks set content=content where 1=0");
        for (const QString &statement : statements) {
            if (!query.exec(statement)) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(statement),
                             qPrintable(query.lastError().text()));
                return 2;
            }
            query.finish();
        }
        say(QStringLiteral("locked"));
        char buffer[64];
        while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
        }
        query.exec(QStringLiteral("ROLLBACK"));
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("lock"));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args.at(1) == QLatin1String("ops"))
        return runOperations(args.at(2), args.at(3).toUInt(),
                             args.size() >= 5 ? args.at(4).toInt() : 100000);
    if (args.size() >= 4 && args.at(1) == QLatin1String("lock"))
        return holdLock(args.at(2), args.at(3));
    std::fprintf(stderr, "usage: storage_driver ops FOLDER SEED [COUNT] | "
                         "lock DATABASE write|exclusive\n");
    return 2;
}
