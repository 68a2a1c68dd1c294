#include "Database.h"

#include "BackgroundWrites.h"
#include "common/EngineError.h"
#include "common/pU_Funcs.h"
#include "Statements.h"

#include <QFileInfo>
#include <QSqlError>
#include <QUrl>
#include <QSqlQuery>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Creates an empty file readable by its owner only; SQLite takes an empty file as a new
// database and gives its journal files the same permissions.
void createOwnerOnlyFile(const QString &path)
{
    const QByteArray native = QFileInfo(path).absoluteFilePath().toLocal8Bit();
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST)
            return;
        throw TasklumeError(QStringLiteral("Cannot create the database file \"%1\": %2")
                                .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    ::close(fd);
}

} // namespace

QSqlDatabase Database::open(const QString &path, const QString &connectionName)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw TasklumeError(QStringLiteral("The database \"%1\" is not a file.").arg(path));
    if (!info.exists())
        createOwnerOnlyFile(path);

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(path);
    if (!db.open()) {
        const QString text = EngineOpenErrorText(path, db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw TasklumeError(text);
    }
    try {
        QSqlQuery query(db);
        // The first read of the file tells whether it is a database at all.
        for (const QString &statement : Statements::connectionSetup())
            ExecSql(query, statement);
        for (const QString &statement : Statements::schema())
            ExecSql(query, statement);
    } catch (const TasklumeError &) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw;
    }
    return db;
}

QSqlDatabase Database::openExisting(const QString &path, const QString &connectionName)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw TasklumeError(QStringLiteral("There is no database \"%1\".").arg(path));
    if (!info.isFile())
        throw TasklumeError(QStringLiteral("The database \"%1\" is not a file.").arg(path));

    // "mode=rw": the engine opens the file for reading and writing but never creates it,
    // so a file removed meanwhile is not made again.
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
    db.setDatabaseName(QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded) +
                       QStringLiteral("?mode=rw"));
    auto fail = [&](const QString &text) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw TasklumeError(text);
    };
    if (!db.open())
        fail(db.lastError().text());
    try {
        QSqlQuery query(db);
        for (const QString &statement : Statements::existingSetup())
            OpenSql(query, statement);
    } catch (const TasklumeError &error) {
        fail(QStringLiteral("\"%1\" is not a database: %2").arg(path, error.text()));
    }
    return db;
}

void Database::close(const QString &connectionName)
{
    BackgroundWrites::waitForAll();
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}
