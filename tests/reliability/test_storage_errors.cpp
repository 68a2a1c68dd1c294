// The texts of storage failures: each names the database file and what is wrong with it,
// and the engine's own words follow.
#include "storage/Database.h"
#include "storage/Statements.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace TestSupport;

class TestStorageErrors : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void openFailureNamesFileAndCause_data();
    void openFailureNamesFileAndCause();
    void statementOnLockedDatabase();

private:
    QString failureOfOpen(const QString &path);
};

void TestStorageErrors::init()
{
    // A text with a placeholder left over or missing shows up as a warning.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

QString TestStorageErrors::failureOfOpen(const QString &path)
{
    QString text;
    try {
        Database::open(path, QStringLiteral("errors"));
        Database::close(QStringLiteral("errors"));
    } catch (const TasklumeError &error) {
        text = error.text();
    }
    return text;
}

void TestStorageErrors::openFailureNamesFileAndCause_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("cause");
    QTest::newRow("not a database")
        << QByteArray("Just some text, no database at all.\n") << "is damaged or is not a database";
    QTest::newRow("damaged header")
        << QByteArray("SQLite format 3\0garbage garbage", 31).append(QByteArray(4096, '\x7f'))
        << "is damaged or is not a database";
}

void TestStorageErrors::openFailureNamesFileAndCause()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, cause);
    ProgramFolder folder;
    const QString path = folder.file(QStringLiteral("wyData.wyb"));
    writeFile(path, contents);
    const QString text = failureOfOpen(path);
    QVERIFY2(text.contains(QLatin1Char('"') + path + QLatin1Char('"')), qPrintable(text));
    QVERIFY2(text.contains(cause), qPrintable(text));
    // The engine's words on a line of their own.
    QCOMPARE(text.count(QLatin1Char('\n')), 1);
    // The file is left as it was.
    QCOMPARE(readFile(path), contents);
}

void TestStorageErrors::statementOnLockedDatabase()
{
    ProgramFolder folder;
    const QString path = folder.file(QStringLiteral("wyData.wyb"));
    QSqlDatabase db = Database::open(path, QStringLiteral("errors"));
    QProcess locker;
    locker.start(QStringLiteral(TASKLUME_STORAGE_DRIVER),
                 {QStringLiteral("lock"), path, QStringLiteral("write")});
    QByteArray said;
    while (!said.contains("locked\n") && locker.state() != QProcess::NotRunning &&
           locker.waitForReadyRead(15000))
        said += locker.readAllStandardOutput();
    QVERIFY2(said.contains("locked\n"), locker.readAllStandardError().constData());

    {
        TaskStatements tasks(db);
        TTaskInfo task;
        task.pid = QStringLiteral("root");
        task.content = QStringLiteral("Never stored");
        QString text;
        try {
            tasks.insertNew(task);
        } catch (const TasklumeError &error) {
            text = error.text();
        }
        QVERIFY2(text.startsWith(QStringLiteral("The database file \"") + path +
                                 QStringLiteral("\" is locked by another program.")),
                 qPrintable(text));
        QVERIFY2(text.endsWith(QStringLiteral("\ndatabase is locked")), qPrintable(text));
    }

    locker.closeWriteChannel();
    QVERIFY(locker.waitForFinished(10000));
    QCOMPARE(queryValue(db, QStringLiteral("select count(*) from tasks")).toInt(), 0);
    db = QSqlDatabase();
    Database::close(QStringLiteral("errors"));
}

QTEST_GUILESS_MAIN(TestStorageErrors)
#include "test_storage_errors.moc"
