#include "Database.h"

#include "EngineError.h"
#include "Statements.h"
#include "common/pU_Funcs.h"

#include <QFileInfo>
#include <QSqlError>
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

void Database::close(const QString &connectionName)
{
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}
