// Killing the program while it writes: the storage driver runs the lists' storage
// operations in a seeded random order and is killed (SIGKILL) at a random moment, round
// after round. After each kill the database must pass the engine's integrity check and hold
// every change whose operation had returned; the one operation that was under way may have
// happened or not, but never in part where it is one transaction.
//
// TASKLUME_CRASH_SEED and TASKLUME_CRASH_ROUNDS repeat or widen a run; the seed in use is
// printed.
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

using namespace TestSupport;

namespace {

struct Item
{
    QString pid;
    bool check = false;
    QString content;
    bool operator==(const Item &other) const = default;
};

// Rows by "table<TAB>key".
using State = QMap<QString, Item>;

struct Operation
{
    int number = 0;
    QString kind;
    QList<QStringList> lines; // the lines between "> N" and "= N", split at tabs
    bool returned = false;
    bool importReturned = false; // "~ N": the import returned, its keys not yet told
};

QString rowId(const QString &table, const QString &key)
{
    return table + QLatin1Char('\t') + key;
}

// (table, level, check, content) of a row, the part of an imported row that is known ahead.
QString importShape(const QString &table, const QString &pid, const QString &check,
                    const QString &content)
{
    return table + QLatin1Char('\t') +
           (pid == QLatin1String("root") ? QStringLiteral("top") : QStringLiteral("child")) +
           QLatin1Char('\t') + check + QLatin1Char('\t') + content;
}

QList<Operation> parse(const QByteArray &output)
{
    QList<Operation> operations;
    QList<QByteArray> lines = output.split('\n');
    lines.removeLast(); // the text after the last line feed: empty, or cut off by the kill
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith(QLatin1String("> "))) {
            const QStringList parts = line.mid(2).split(QLatin1Char(' '));
            operations.append(Operation{parts.value(0).toInt(), parts.value(1), {}, false});
        } else if (line.startsWith(QLatin1String("= "))) {
            if (!operations.isEmpty() && operations.last().number == line.mid(2).toInt())
                operations.last().returned = true;
        } else if (line.startsWith(QLatin1String("~ "))) {
            if (!operations.isEmpty() && operations.last().number == line.mid(2).toInt())
                operations.last().importReturned = true;
        } else if (!operations.isEmpty() && line.size() > 1 && line.at(1) == QLatin1Char('\t')) {
            operations.last().lines.append(line.split(QLatin1Char('\t')));
        }
    }
    return operations;
}

// The effect of an operation that returned. Imports use the rows they read back.
void apply(State &state, const Operation &op)
{
    for (const QStringList &f : op.lines) {
        const QString &mark = f.at(0);
        if (mark == QLatin1String(".") && op.kind == QLatin1String("edit")) {
            state[rowId(f.at(1), f.at(2))].content = f.at(5);
        } else if (mark == QLatin1String(".") && op.kind != QLatin1String("import")) {
            state[rowId(f.at(1), f.at(2))] = Item{f.at(3), f.at(4) == QLatin1String("1"), f.at(5)};
        } else if (mark == QLatin1String("+")) {
            state[rowId(f.at(1), f.at(2))] = Item{f.at(3), f.at(4) == QLatin1String("1"), f.at(5)};
        } else if (mark == QLatin1String("!")) {
            state[rowId(f.at(1), f.at(2))].check = f.at(3) == QLatin1String("1");
        } else if (mark == QLatin1String("-")) {
            const QString table = f.at(1);
            const QString key = f.at(2);
            for (auto it = state.begin(); it != state.end();) {
                const QStringList id = it.key().split(QLatin1Char('\t'));
                if (id.at(0) == table && (id.at(1) == key || it->pid == key))
                    it = state.erase(it);
                else
                    ++it;
            }
        }
    }
}

QStringList describeDifference(const State &actual, const State &expected)
{
    QStringList out;
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        if (!actual.contains(it.key()))
            out << QStringLiteral("missing ") + it.key();
        else if (actual.value(it.key()) != *it)
            out << QStringLiteral("differs ") + it.key() + QStringLiteral(": stored \"") +
                       actual.value(it.key()).content.left(60) + QStringLiteral("\" check ") +
                       QString::number(actual.value(it.key()).check) + QStringLiteral(" pid ") +
                       actual.value(it.key()).pid + QStringLiteral(", expected \"") +
                       it->content.left(60) + QStringLiteral("\" check ") +
                       QString::number(it->check) + QStringLiteral(" pid ") + it->pid;
    }
    for (auto it = actual.begin(); it != actual.end(); ++it) {
        if (!expected.contains(it.key()))
            out << QStringLiteral("unexpected ") + it.key();
    }
    return out;
}

} // namespace

class TestCrashSafety : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedStorageKeepsEveryReturnedChange();

private:
    // Opens the database the way the program does (which recovers its journal), checks its
    // integrity and reads every row.
    State readDatabase(const QString &path);
};

State TestCrashSafety::readDatabase(const QString &path)
{
    State state;
    {
        QSqlDatabase db = Database::open(path, QStringLiteral("check"));
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("PRAGMA integrity_check")) || !query.next()) {
            [&] { QFAIL(qPrintable(query.lastError().text())); }();
            return state;
        }
        QStringList problems;
        do
            problems << query.value(0).toString();
        while (query.next());
        if (problems != QStringList{QStringLiteral("ok")})
            [&] {
                QFAIL(qPrintable(QStringLiteral("integrity check: ") + problems.join(u'\n')));
            }();
        for (const auto &[table, key, check] :
             {std::tuple{"tasks", "tid", "checkFlag"}, std::tuple{"memos", "mid", "0"}}) {
            if (!query.exec(
                    QStringLiteral("select %1, pid, %2, content from %3")
                        .arg(QLatin1String(key), QLatin1String(check), QLatin1String(table))))
                [&] { QFAIL(qPrintable(query.lastError().text())); }();
            while (query.next())
                state.insert(rowId(QLatin1String(table), query.value(0).toString()),
                             Item{query.value(1).toString(), query.value(2).toBool(),
                                  query.value(3).toString()});
        }
    }
    Database::close(QStringLiteral("check"));
    return state;
}

void TestCrashSafety::killedStorageKeepsEveryReturnedChange()
{
    const quint32 seed = qEnvironmentVariableIsSet("TASKLUME_CRASH_SEED")
                             ? quint32(qEnvironmentVariableIntValue("TASKLUME_CRASH_SEED"))
                             : 20240611u;
    const int rounds = qEnvironmentVariableIsSet("TASKLUME_CRASH_ROUNDS")
                           ? qEnvironmentVariableIntValue("TASKLUME_CRASH_ROUNDS")
                           : 24;
    qInfo("seed %u, %d rounds", seed, rounds);
    QRandomGenerator random(seed);

    ProgramFolder folder;
    const QString database = folder.file(QStringLiteral("wyData.wyb"));
    State state; // what the database holds, as checked after the last round
    int returned = 0;
    QMap<QString, int> killedDuring;

    for (int round = 0; round < rounds; ++round) {
        QProcess driver;
        driver.setProcessChannelMode(QProcess::SeparateChannels);
        driver.start(
            QStringLiteral(TASKLUME_STORAGE_DRIVER),
            {QStringLiteral("ops"), folder.path(), QString::number(seed + quint32(round))});
        QVERIFY2(driver.waitForStarted(5000), qPrintable(driver.errorString()));

        // Most kills come while the operations run; some during the start, while the
        // database is being opened (and, in the first round, created).
        const bool early = random.bounded(5) == 0;
        const int delay = early ? int(random.bounded(150)) : int(random.bounded(20, 900));
        QByteArray output;
        if (!early) {
            QElapsedTimer waited;
            waited.start();
            while (!output.contains("ready\n") && waited.elapsed() < 60000 &&
                   driver.state() == QProcess::Running) {
                driver.waitForReadyRead(100);
                output += driver.readAllStandardOutput();
            }
            QVERIFY2(output.contains("ready\n"), driver.readAllStandardError().constData());
        }
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < delay && driver.state() == QProcess::Running)
            driver.waitForReadyRead(int(qMax<qint64>(1, delay - clock.elapsed())));
        QVERIFY2(driver.state() == QProcess::Running,
                 qPrintable(QStringLiteral("the driver ended by itself: ") +
                            QString::fromLocal8Bit(driver.readAllStandardError())));
        driver.kill(); // SIGKILL
        QVERIFY(driver.waitForFinished(10000));
        QCOMPARE(driver.exitStatus(), QProcess::CrashExit);
        output += driver.readAllStandardOutput();

        const QList<Operation> operations = parse(output);
        State expected = state;
        const Operation *underWay = nullptr;
        for (const Operation &op : operations) {
            if (op.returned) {
                apply(expected, op);
                ++returned;
            } else {
                underWay = &op; // the last one only: the driver runs one at a time
            }
        }

        const State actual = readDatabase(database);
        if (QTest::currentTestFailed())
            return;
        QStringList differences = describeDifference(actual, expected);
        if (!differences.isEmpty() && underWay) {
            if (underWay->kind == QLatin1String("import")) {
                // All of the file's rows under fresh keys, or none.
                QStringList planned, added;
                for (const QStringList &f : underWay->lines)
                    planned << importShape(f.at(1), f.at(3), f.at(4), f.at(5));
                State known;
                for (auto it = actual.begin(); it != actual.end(); ++it) {
                    if (expected.contains(it.key()))
                        known.insert(it.key(), *it);
                    else
                        added << importShape(it.key().section(u'\t', 0, 0), it->pid,
                                             it->check ? QStringLiteral("1") : QStringLiteral("0"),
                                             it->content);
                }
                planned.sort();
                added.sort();
                // Once the import has returned, all of it is there.
                if (describeDifference(known, expected).isEmpty() &&
                    ((added.isEmpty() && !underWay->importReturned) || added == planned)) {
                    differences.clear();
                } else {
                    differences = describeDifference(known, expected);
                    for (const QString &row : added) {
                        if (!planned.contains(row))
                            differences
                                << QStringLiteral("imported, not in the file: ") + row.left(80);
                    }
                    for (const QString &row : planned) {
                        if (!added.contains(row))
                            differences
                                << QStringLiteral("in the file, not imported: ") + row.left(80);
                    }
                }
            } else {
                // Every other operation, a deletion with its children included, is whole
                // or not there at all.
                State after = expected;
                apply(after, *underWay);
                if (actual == after)
                    differences.clear();
            }
        }
        QVERIFY2(differences.isEmpty(),
                 qPrintable(QStringLiteral("round %1 (seed %2), killed during %3 after %4 ms:\n")
                                .arg(round)
                                .arg(seed + quint32(round))
                                .arg(underWay ? underWay->kind : QStringLiteral("nothing"))
                                .arg(delay) +
                            differences.mid(0, 20).join(QLatin1Char('\n'))));
        QString moment = underWay ? underWay->kind : QStringLiteral("start or between");
        if (underWay && underWay->importReturned)
            moment += QStringLiteral(" (returned)");
        ++killedDuring[moment];
        state = actual;
    }
    qInfo() << "operations returned:" << returned << "killed during:" << killedDuring;
    // The rounds did work: the kills did not all land before the first operation.
    QVERIFY(returned > rounds);
    QVERIFY(!state.isEmpty());
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "test_crash_safety.moc"
