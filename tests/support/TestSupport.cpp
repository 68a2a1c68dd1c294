#include "TestSupport.h"

#include "common/AppPaths.h"
#include "storage/Database.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

namespace TestSupport {

ProgramFolder::ProgramFolder()
{
    QVERIFY2(m_dir.isValid(), "cannot create a temporary folder");
    AppPaths::setFolder(m_dir.path());
    qputenv("TASKLUME_HOME", m_dir.path().toLocal8Bit());
}

ProgramFolder::~ProgramFolder() = default;

QString ProgramFolder::path() const
{
    return m_dir.path() + QLatin1Char('/');
}

QString ProgramFolder::file(const QString &name) const
{
    return path() + name;
}

void ProgramFolder::copyProgramFiles() const
{
    const QString source = qEnvironmentVariable("TASKLUME_PROGRAM_DIR");
    QVERIFY2(!source.isEmpty(), "TASKLUME_PROGRAM_DIR is not set");
    for (const QString &sub : {QStringLiteral("Images"), QStringLiteral("Sounds")}) {
        QDir().mkpath(path() + sub);
        QDirIterator it(source + QLatin1Char('/') + sub, QDir::Files);
        while (it.hasNext()) {
            it.next();
            QFile::copy(it.filePath(), path() + sub + QLatin1Char('/') + it.fileName());
        }
    }
    QDir().mkpath(path() + QStringLiteral("Temp"));
}

namespace {
QVariant timeOrNull(TDateTime t)
{
    return t == 0 ? QVariant() : QVariant(t);
}
void run(QSqlQuery &query)
{
    if (!query.exec())
        QFAIL(qPrintable(query.lastError().text()));
}
} // namespace

void insertTask(QSqlDatabase db, const Row &row)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "insert into tasks (tid, pid, content, checkFlag, dueFlag, alarmFlag, expandFlag, "
        "textColor, backgroundColor, createTime, editTime, checkTime, alarmTime, dueTime) "
        "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QVariantList values{row.key,
                              row.pid,
                              row.content,
                              row.checkFlag,
                              row.dueFlag,
                              row.alarmFlag,
                              row.expandFlag,
                              row.textColor,
                              row.backgroundColor,
                              timeOrNull(row.createTime),
                              timeOrNull(row.editTime),
                              timeOrNull(row.checkTime),
                              timeOrNull(row.alarmTime),
                              timeOrNull(row.dueTime)};
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    run(query);
}

void seedDatabase(const QString &path, const QList<Row> &tasks, const QList<Row> &memos)
{
    const QString connection = QStringLiteral("seed");
    {
        QSqlDatabase db = Database::open(path, connection);
        for (const Row &row : tasks)
            insertTask(db, row);
        for (const Row &row : memos)
            insertMemo(db, row);
        db.close();
    }
    Database::close(connection);
}

void insertMemo(QSqlDatabase db, const Row &row)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("insert into memos (mid, pid, content, expandFlag, assignTime, "
                                 "createTime, editTime) values (?, ?, ?, ?, ?, ?, ?)"));
    const QVariantList values{row.key,
                              row.pid,
                              row.content,
                              row.expandFlag,
                              timeOrNull(row.assignTime),
                              timeOrNull(row.createTime),
                              timeOrNull(row.editTime)};
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    run(query);
}

QString key(int n)
{
    return QStringLiteral("{%1-0000-4000-8000-000000000000}")
        .arg(n, 8, 16, QLatin1Char('0'))
        .toUpper();
}

QVariantMap fetchRow(QSqlDatabase db, const QString &table, const QString &keyColumn,
                     const QString &key)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("select * from %1 where %2=?").arg(table, keyColumn));
    query.bindValue(0, key);
    QVariantMap row;
    if (!query.exec()) {
        qWarning("fetchRow: %s", qPrintable(query.lastError().text()));
        return row;
    }
    if (!query.next())
        return row;
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i)
        row.insert(record.fieldName(i), query.isNull(i) ? QVariant() : query.value(i));
    return row;
}

void execSql(QSqlDatabase db, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        QFAIL(qPrintable(statement + QStringLiteral(": ") + query.lastError().text()));
}

QVariant queryValue(QSqlDatabase db, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement) || !query.next())
        return {};
    return query.value(0);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QStringList filesHolding(const QString &folder, const QByteArray &text)
{
    QStringList found;
    QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (readFile(path).contains(text))
            found.append(path);
    }
    return found;
}

int fileMode(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 0777);
}

class FileWriteLockThread
{
public:
    std::thread thread;
};

FileWriteLock::FileWriteLock(const QString &path)
{
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_handle, SQLITE_OPEN_READWRITE,
                        nullptr) != SQLITE_OK ||
        sqlite3_exec(m_handle, "begin immediate", nullptr, nullptr, nullptr) != SQLITE_OK)
        qFatal("Cannot lock %s: %s", qPrintable(path), sqlite3_errmsg(m_handle));
}

FileWriteLock::~FileWriteLock()
{
    if (m_thread && m_thread->thread.joinable())
        m_thread->thread.join();
    release();
}

void FileWriteLock::release()
{
    if (m_handle == nullptr)
        return;
    sqlite3_exec(m_handle, "commit", nullptr, nullptr, nullptr);
    sqlite3_close_v2(m_handle);
    m_handle = nullptr;
}

void FileWriteLock::releaseLater(int milliseconds)
{
    m_thread = std::make_unique<FileWriteLockThread>();
    m_thread->thread = std::thread([this, milliseconds] {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        release();
    });
}

} // namespace TestSupport
