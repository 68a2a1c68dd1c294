#include "AppPaths.h"

#include "Texts.h"
#include "pU_Funcs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString g_folder;
AppPaths::FolderKind g_kind = AppPaths::FolderKind::Program;
bool g_made = false;

QString withSlash(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

bool mayWrite(const QString &path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

// Makes the folder and any missing parent, each readable by its owner only; an existing
// folder is left as it is. A failure shows later, when a file in it is opened.
void makeFolder(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    qsizetype from = 1;
    while (from <= clean.size()) {
        qsizetype end = clean.indexOf(QLatin1Char('/'), from);
        if (end < 0)
            end = clean.size();
        ::mkdir(QFile::encodeName(clean.left(end)).constData(), 0700);
        from = end + 1;
    }
}
} // namespace

AppPaths::FolderChoice AppPaths::chooseFolder(const FolderFacts &facts)
{
    if (!facts.named.isEmpty())
        return {withSlash(QDir::cleanPath(QDir(facts.named).absolutePath())), FolderKind::Named};
    // An installed program never writes beside itself, not even when run by root; a folder
    // of the user's own keeps being used, and so does one that already holds their lists.
    if (!facts.programInSystemTree &&
        ((facts.programWritable && facts.programOwned) || facts.programHoldsDatabase))
        return {withSlash(QDir::cleanPath(facts.programFolder)), FolderKind::Program};
    // A relative XDG_DATA_HOME is invalid and ignored.
    const QString base = QDir::isAbsolutePath(facts.dataHome)
                             ? facts.dataHome
                             : facts.home + QStringLiteral("/.local/share");
    return {withSlash(QDir::cleanPath(base + QLatin1Char('/') + DataFolderName)),
            FolderKind::UserData};
}

AppPaths::FolderFacts AppPaths::currentFacts()
{
    FolderFacts facts;
    facts.named = qEnvironmentVariable("TASKLUME_HOME");
    facts.programFolder = programFolder();
    const QString folderName = QDir::cleanPath(facts.programFolder);
    facts.programWritable = ::access(QFile::encodeName(folderName).constData(), W_OK | X_OK) == 0;
    facts.programHoldsDatabase = mayWrite(facts.programFolder + Texts::DatabaseFileName);
    struct stat info;
    facts.programOwned =
        ::stat(QFile::encodeName(folderName).constData(), &info) == 0 && info.st_uid == ::geteuid();
    facts.programInSystemTree = isSystemTree(facts.programFolder);
    facts.dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    facts.home = QDir::homePath();
    return facts;
}

namespace {
// The folder in use, chosen once; made only when a file in it is wanted.
void choose()
{
    if (g_folder.isEmpty()) {
        const AppPaths::FolderChoice choice = AppPaths::chooseFolder(AppPaths::currentFacts());
        g_folder = choice.folder;
        g_kind = choice.kind;
        g_made = choice.kind != AppPaths::FolderKind::UserData;
    }
}
} // namespace

QString AppPaths::folder()
{
    choose();
    if (!g_made) {
        makeFolder(g_folder);
        g_made = true;
    }
    return g_folder;
}

AppPaths::FolderKind AppPaths::folderKind()
{
    choose();
    return g_kind;
}

QString AppPaths::programFolder()
{
    return withSlash(QCoreApplication::applicationDirPath());
}

QString AppPaths::file(const QString &relativeName)
{
    return folder() + relativeName;
}

QString AppPaths::sharedDataFolder(const QString &programFolder)
{
    // Where the install rules put the data, seen from the program's folder.
    return withSlash(QDir::cleanPath(withSlash(programFolder) +
                                     QStringLiteral(TASKLUME_SHARED_DATA_FROM_PROGRAM)));
}

QString AppPaths::findResource(const QStringList &folders, const QString &relativeName)
{
    for (const QString &candidate : folders) {
        const QString path = withSlash(candidate) + relativeName;
        if (QFileInfo::exists(path))
            return path;
    }
    return folders.isEmpty() ? relativeName : withSlash(folders.constFirst()) + relativeName;
}

QString AppPaths::resource(const QString &relativeName)
{
    QStringList folders;
    if (folderKind() == FolderKind::Named)
        folders.append(folder());
    const QString program = programFolder();
    folders.append(program);
    folders.append(sharedDataFolder(program));
    const QString found = findResource(folders, relativeName);
    // Nothing found: the path beside the program is the one a message names.
    return QFileInfo::exists(found) ? found : program + relativeName;
}

QString AppPaths::describeFolder()
{
    choose();
    const QString path = QDir::toNativeSeparators(g_folder);
    switch (folderKind()) {
    case FolderKind::Named:
        return QStringLiteral("%1 (named by TASKLUME_HOME)").arg(path);
    case FolderKind::Program:
        return QStringLiteral("%1 (the program's folder)").arg(path);
    case FolderKind::UserData:
        return QStringLiteral("%1 (the user's data folder)").arg(path);
    }
    return path;
}

void AppPaths::setFolder(const QString &folder)
{
    g_folder = withSlash(QDir(folder).absolutePath());
    g_kind = FolderKind::Named;
    g_made = true;
}

bool AppPaths::isSystemTree(const QString &programFolder)
{
    const QString clean = QDir::cleanPath(programFolder);
    if (clean == QLatin1String("/opt") || clean.startsWith(QLatin1String("/opt/")))
        return true;
    return clean.split(QLatin1Char('/'), Qt::SkipEmptyParts).contains(QLatin1String("usr"));
}

void AppPaths::clearTempFolder()
{
    const QByteArray folderName = QFile::encodeName(QDir::cleanPath(file(Texts::TempDir)));
    const int folderFd =
        ::open(folderName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0)
        return;
    DIR *listing = ::fdopendir(folderFd);
    if (listing == nullptr) {
        ::close(folderFd);
        return;
    }
    while (const struct dirent *entry = ::readdir(listing)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat info;
        if (::fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(info.st_mode))
            ::unlinkat(folderFd, name, 0);
    }
    ::closedir(listing);
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
