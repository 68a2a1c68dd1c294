#include "EngineError.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

bool writable(const QString &path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

sqlite3 *handleOf(const QSqlDriver *driver)
{
    const QVariant handle = driver ? driver->handle() : QVariant();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3 *const *>(handle.constData());
    return nullptr;
}

// code: the engine's result code; systemError: the errno behind an I/O failure, or 0.
QString explain(const QString &path, int code, int systemError, const QString &engineText)
{
    const QFileInfo file(path);
    const QString folder = file.absolutePath();
    const QString diskFull = QStringLiteral("The disk that holds the database file \"%1\" is "
                                            "full. Make room on it and try again.");
    QString reason;
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        reason = QStringLiteral("The database file \"%1\" is locked by another program. Close "
                                "that program and try again.");
        break;
    case SQLITE_FULL:
        reason = diskFull;
        break;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        reason = QStringLiteral("The file \"%1\" is damaged or is not a database.");
        break;
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_IOERR:
    case SQLITE_AUTH:
        if (systemError == ENOSPC || systemError == EDQUOT)
            reason = diskFull;
        else if (systemError == EFBIG)
            reason = QStringLiteral("The database file \"%1\" has reached the largest size "
                                    "allowed for files.");
        else if (!writable(folder))
            reason = QStringLiteral("The folder \"%2\" is read-only: the database file \"%1\" "
                                    "cannot be written there.");
        else if (file.exists() && !writable(path))
            reason = QStringLiteral("The database file \"%1\" is read-only.");
        else if (systemError != 0)
            reason = QStringLiteral("The database file \"%1\" could not be read or written: ") +
                     QString::fromLocal8Bit(std::strerror(systemError)) + QLatin1Char('.');
        break;
    default:
        break;
    }
    if (reason.isEmpty())
        reason = QStringLiteral("The database file \"%1\" could not be used.");
    const QString filePath = QDir::toNativeSeparators(file.absoluteFilePath());
    reason = reason.contains(QLatin1String("%2"))
                 ? reason.arg(filePath, QDir::toNativeSeparators(folder))
                 : reason.arg(filePath);
    return engineText.isEmpty() ? reason : reason + QLatin1Char('\n') + engineText;
}

QString engineWords(const QSqlError &error)
{
    const QString words = error.databaseText().trimmed();
    return words.isEmpty() ? error.text().trimmed() : words;
}

} // namespace

QString EngineHandleErrorText(sqlite3 *handle, const QString &file)
{
    // A handle whose opening failed has no file name of its own.
    const char *name = sqlite3_db_filename(handle, "main");
    const QString path = name && *name ? QString::fromLocal8Bit(name) : file;
    const int code = sqlite3_extended_errcode(handle);
    const int primary = code & 0xff;
    const int systemError =
        primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN ? sqlite3_system_errno(handle) : 0;
    return explain(path, code, systemError, QString::fromUtf8(sqlite3_errmsg(handle)));
}

QString EngineErrorText(const QSqlDriver *driver, const QSqlError &error)
{
    sqlite3 *handle = handleOf(driver);
    if (handle == nullptr)
        return error.text();
    const char *name = sqlite3_db_filename(handle, "main");
    const QString path = name ? QString::fromLocal8Bit(name) : QString();
    const int code = error.nativeErrorCode().toInt();
    const int primary = code & 0xff;
    const int systemError =
        primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN ? sqlite3_system_errno(handle) : 0;
    return explain(path, code, systemError, engineWords(error));
}

QString EngineOpenErrorText(const QString &path, const QSqlError &error)
{
    // Without a connection there is no result code: the file and its folder tell.
    int systemError = 0;
    const QByteArray native = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    if (::access(native.constData(), R_OK) != 0)
        systemError = errno;
    return explain(path, SQLITE_CANTOPEN, systemError, engineWords(error));
}

bool EngineInTransaction(const QSqlDriver *driver)
{
    sqlite3 *handle = handleOf(driver);
    return handle == nullptr || sqlite3_get_autocommit(handle) == 0;
}

TasklumeError EngineFailure(const QSqlQuery &query)
{
    return TasklumeError(EngineErrorText(query.driver(), query.lastError()));
}
