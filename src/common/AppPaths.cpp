#include "AppPaths.h"

#include "Texts.h"
#include "pU_Funcs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString g_folder;

QString withSlash(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}
} // namespace

QString AppPaths::folder()
{
    if (g_folder.isEmpty()) {
        const QString home = qEnvironmentVariable("TASKLUME_HOME");
        if (!home.isEmpty())
            g_folder = withSlash(QDir(home).absolutePath());
        else
            g_folder = withSlash(QCoreApplication::applicationDirPath());
    }
    return g_folder;
}

QString AppPaths::file(const QString &relativeName)
{
    return folder() + relativeName;
}

void AppPaths::setFolder(const QString &folder)
{
    g_folder = withSlash(QDir(folder).absolutePath());
}

QString AppPaths::tempFile(const QString &name)
{
    const QString folderPath = file(Texts::TempDir);
    const QByteArray folderName = QFile::encodeName(QDir::cleanPath(folderPath));
    const auto failure = [](const QString &text, const QString &path) {
        return TasklumeError(text.arg(QDir::toNativeSeparators(path),
                                      QString::fromLocal8Bit(std::strerror(errno))));
    };
    if (::mkdir(folderName.constData(), 0700) != 0) {
        struct stat info {};
        if (errno != EEXIST || ::stat(folderName.constData(), &info) != 0)
            throw failure(QStringLiteral("Cannot create the folder \"%1\": %2"), folderPath);
        if (!S_ISDIR(info.st_mode)) {
            errno = ENOTDIR;
            throw failure(QStringLiteral("Cannot use the folder \"%1\": %2"), folderPath);
        }
    }
    const QString path = folderPath + name;
    // Never through a link: the file is written where it is named.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        throw failure(QStringLiteral("Cannot write the file \"%1\": %2"), path);
    const int changed = ::fchmod(fd, 0600);
    const int error = errno;
    ::close(fd);
    if (changed != 0) {
        errno = error;
        throw failure(QStringLiteral("Cannot write the file \"%1\": %2"), path);
    }
    return path;
}
