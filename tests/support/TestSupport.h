// Shared fixtures: a private program folder per test and a seeded database in it.
#pragma once

#include "common/pU_Funcs.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>

struct sqlite3;

namespace TestSupport {

class FileWriteLockThread;

// A fresh, empty program folder; AppPaths points at it while the object lives.
class ProgramFolder
{
public:
    ProgramFolder();
    ~ProgramFolder();
    QString path() const; // with a trailing slash
    QString file(const QString &name) const;
    // Copies the program's images, sounds and help from the build folder.
    void copyProgramFiles() const;

private:
    QTemporaryDir m_dir;
};

// A row to seed; empty texts and zero times are written as null.
struct Row
{
    QString key;
    QString pid = QStringLiteral("root");
    QString content;
    bool checkFlag = false;
    bool dueFlag = false;
    bool alarmFlag = false;
    bool expandFlag = false;
    qint32 textColor = 0;
    qint32 backgroundColor = 0;
    TDateTime createTime = 0;
    TDateTime editTime = 0;
    TDateTime checkTime = 0;
    TDateTime alarmTime = 0;
    TDateTime dueTime = 0;
    TDateTime assignTime = 0; // memos only
};

void insertTask(QSqlDatabase db, const Row &row);
void insertMemo(QSqlDatabase db, const Row &row);
// Opens the database file (made when missing), inserts the tasks and memos and closes it
// again, so that the program under test finds them.
void seedDatabase(const QString &path, const QList<Row> &tasks, const QList<Row> &memos = {});
// A key in the program's form, made from a small number so tests read well.
QString key(int n);

// The stored columns of one row, read with plain SQL; a null column is an invalid QVariant.
// Empty when no row has the key.
QVariantMap fetchRow(QSqlDatabase db, const QString &table, const QString &keyColumn,
                     const QString &key);
// Runs one statement for a test's own set-up or check; fails the test on an error.
void execSql(QSqlDatabase db, const QString &statement);
// The first column of the first row of a query, or an invalid QVariant.
QVariant queryValue(QSqlDatabase db, const QString &statement);

// Holds the write lock of a database file from a connection of its own, as another
// program writing to it would, until release() or the end of the object. releaseLater()
// lets go from a thread of its own after the given time, while the test's thread waits
// on the file.
class FileWriteLock
{
public:
    explicit FileWriteLock(const QString &path);
    ~FileWriteLock();
    void release();
    void releaseLater(int milliseconds);

private:
    sqlite3 *m_handle = nullptr;
    std::unique_ptr<FileWriteLockThread> m_thread;
};

// Whole-file helpers.
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);
// The files under folder (hidden ones and subfolders included) whose bytes contain text.
QStringList filesHolding(const QString &folder, const QByteArray &text);
// The permission bits of a file (st_mode & 0777), or -1 when it cannot be read.
int fileMode(const QString &path);

} // namespace TestSupport
