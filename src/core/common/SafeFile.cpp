#include "SafeFile.h"

#include "AppPaths.h"
#include "pU_Funcs.h"
#include "Texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Identity
{
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const Identity &other) const
    {
        return device == other.device && inode == other.inode;
    }
};

// The file's identity, following links; nothing when it does not exist.
std::optional<Identity> identityOf(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return Identity{info.st_dev, info.st_ino};
}

// Where a write to the path would land: a link is followed to the file it names, even when
// that file does not exist yet.
QString landingPath(const QString &path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    for (int depth = 0; depth < 16; ++depth) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            break;
        current = info.symLinkTarget();
    }
    return current;
}

// The program's own files, by their fixed names in the program folder.
QStringList programFiles()
{
    const QString database = AppPaths::file(Texts::DatabaseFileName);
    return {database,
            database + QStringLiteral("-wal"),
            database + QStringLiteral("-shm"),
            database + QStringLiteral("-journal"),
            AppPaths::file(Texts::IniFileName),
            AppPaths::file(Texts::RunLockFileName)};
}

QString describe(const QString &programFile)
{
    const QString name = QFileInfo(programFile).fileName();
    if (name == Texts::IniFileName)
        return QStringLiteral("settings file");
    if (name == Texts::RunLockFileName)
        return QStringLiteral("run lock");
    if (name == Texts::DatabaseFileName)
        return QStringLiteral("database");
    return QStringLiteral("database journal");
}

// A folder anybody may write whose sticky bit keeps each name its owner's (/tmp and the like).
bool sharedSticky(const struct stat &folder)
{
    return (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
}

QString ownerName(uid_t uid)
{
    struct passwd entry;
    struct passwd *found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        return QString::fromLocal8Bit(found->pw_name);
    return QStringLiteral("%1").arg(uid);
}

// Where a write to fileName may land, or why it may not: links are followed only while
// they are the user's own, and the file at the end must be a regular file of the user's own
// or not exist yet.
struct Landing
{
    QString path;
    QString refusal;
};

Landing decideLanding(const QString &fileName)
{
    const QString shownName = QDir::toNativeSeparators(fileName);
    const auto refused = [&](const QString &text) { return Landing{{}, text.arg(shownName)}; };
    const uid_t me = ::geteuid();
    QString current = QFileInfo(fileName).absoluteFilePath();
    for (int depth = 0; depth <= 16; ++depth) {
        struct stat here;
        if (::lstat(QFile::encodeName(current).constData(), &here) != 0)
            return {current, {}}; // made new; a missing folder shows when the file is made
        const QString folderPath = QFileInfo(current).absolutePath();
        struct stat folder;
        const bool shared =
            ::stat(QFile::encodeName(folderPath).constData(), &folder) == 0 && sharedSticky(folder);
        if (S_ISLNK(here.st_mode)) {
            if (here.st_uid != me) {
                if (shared && here.st_uid != folder.st_uid)
                    return refused(
                        QStringLiteral("%1 is a link the user %2 put in a folder others may "
                                       "write; it is not followed and nothing was written.")
                            .arg(QStringLiteral("%1"), ownerName(here.st_uid)));
                return refused(QStringLiteral("%1 is a link of the user %2; it is not followed "
                                              "and nothing was written.")
                                   .arg(QStringLiteral("%1"), ownerName(here.st_uid)));
            }
            const QString target = QFileInfo(current).symLinkTarget();
            if (target.isEmpty())
                return refused(QStringLiteral("%1 is a link that cannot be read; nothing was "
                                              "written."));
            current = target;
            continue;
        }
        if (!S_ISREG(here.st_mode))
            return refused(depth == 0
                               ? QStringLiteral("%1 is not a regular file; nothing was "
                                                "written.")
                               : QStringLiteral("%1 is a link to %2, which is not a "
                                                "regular file; nothing was written.")
                                     .arg(QStringLiteral("%1"), QDir::toNativeSeparators(current)));
        if (here.st_uid != me) {
            if (depth > 0)
                return refused(QStringLiteral("%1 is a link to %2, a file of the user %3; it is "
                                              "not replaced and nothing was written.")
                                   .arg(QStringLiteral("%1"), QDir::toNativeSeparators(current),
                                        ownerName(here.st_uid)));
            if (shared && here.st_uid != folder.st_uid)
                return refused(QStringLiteral("%1 is a file of the user %2 in a folder others "
                                              "may write; it is not replaced and nothing was "
                                              "written.")
                                   .arg(QStringLiteral("%1"), ownerName(here.st_uid)));
        }
        return {current, {}};
    }
    return refused(QStringLiteral("%1 is a chain of too many links; nothing was written."));
}

void syncFolder(const QString &filePath)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(filePath).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd); // the rename on disk too; a folder that cannot be synced is no failure
        ::close(fd);
    }
}

} // namespace

SafeFile::SafeFile(const QString &fileName) : m_name(fileName) {}

SafeFile::~SafeFile()
{
    cancel();
}

SafeFile::Seen SafeFile::seen(const QString &path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {true, quint64(info.st_dev), quint64(info.st_ino)};
}

QString SafeFile::ProgramFileOf(const QString &fileName)
{
    if (fileName.isEmpty())
        return {};
    const QString landing = landingPath(fileName);
    const std::optional<Identity> target = identityOf(landing);
    const std::optional<Identity> targetFolder = identityOf(QFileInfo(landing).absolutePath());
    const QString targetName = QFileInfo(landing).fileName();
    for (const QString &programFile : programFiles()) {
        if (target) {
            if (identityOf(programFile) == target)
                return programFile;
            continue;
        }
        // A target that does not exist yet is the program's file when it would be made under
        // the same name in the same folder.
        if (targetFolder && targetName == QFileInfo(programFile).fileName() &&
            identityOf(QFileInfo(programFile).absolutePath()) == targetFolder)
            return programFile;
    }
    return {};
}

QString SafeFile::RefusalText(const QString &fileName, const QString &programFile)
{
    return QStringLiteral("%1 is the program's %2 (%3): choose another file; nothing was written.")
        .arg(QDir::toNativeSeparators(fileName), describe(programFile),
             QDir::toNativeSeparators(programFile));
}

void SafeFile::RefuseProgramFile(const QString &fileName)
{
    const QString programFile = ProgramFileOf(fileName);
    if (!programFile.isEmpty())
        throw TasklumeError(RefusalText(fileName, programFile));
}

QString SafeFile::RefusalOf(const QString &fileName)
{
    if (fileName.isEmpty())
        return {};
    if (const QString programFile = ProgramFileOf(fileName); !programFile.isEmpty())
        return RefusalText(fileName, programFile);
    return decideLanding(fileName).refusal;
}

void SafeFile::RefuseTarget(const QString &fileName)
{
    if (const QString refusal = RefusalOf(fileName); !refusal.isEmpty())
        throw TasklumeError(refusal);
}

bool SafeFile::open()
{
    RefuseProgramFile(m_name);
    if (m_name.isEmpty() || m_open)
        return false;
    const Landing landing = decideLanding(m_name);
    if (!landing.refusal.isEmpty())
        throw TasklumeError(landing.refusal);
    m_landing = landing.path;
    m_nameSeen = seen(m_name);
    m_landingSeen = seen(m_landing);

    // The temporary file is made new (never through a link) and the owner's alone.
    const QFileInfo info(m_landing);
    QByteArray pattern = QFile::encodeName(info.absolutePath() + QLatin1Char('/') +
                                           QLatin1Char('.') + info.fileName()) +
                         ".XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    m_temporary = QFile::decodeName(pattern);
    if (::fchmod(fd, FileMode) != 0 ||
        !m_file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        ::unlink(pattern.constData());
        m_temporary.clear();
        return false;
    }
    m_open = true;
    return true;
}

void SafeFile::dropTemporary()
{
    if (m_file.isOpen())
        m_file.close();
    if (!m_temporary.isEmpty())
        ::unlink(QFile::encodeName(m_temporary).constData());
    m_temporary.clear();
}

bool SafeFile::commit()
{
    if (!m_open)
        return false;
    m_open = false;
    if (!m_file.flush() || ::fsync(m_file.handle()) != 0) {
        dropTemporary();
        return false;
    }
    m_file.close();
    if (m_file.error() != QFileDevice::NoError) {
        dropTemporary();
        return false;
    }
    // Whatever was put at the name since the write started is not replaced.
    if (seen(m_name) != m_nameSeen || seen(m_landing) != m_landingSeen) {
        dropTemporary();
        return false;
    }
    const QByteArray from = QFile::encodeName(m_temporary);
    const QByteArray to = QFile::encodeName(m_landing);
    int renamed;
    if (!m_landingSeen.exists) {
        // Nothing lay there: a file that appeared meanwhile stays.
        renamed =
            ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
        if (renamed != 0 && (errno == EINVAL || errno == ENOSYS))
            renamed = ::rename(from.constData(), to.constData());
    } else {
        renamed = ::rename(from.constData(), to.constData());
    }
    if (renamed != 0) {
        dropTemporary();
        return false;
    }
    m_temporary.clear();
    syncFolder(m_landing);
    return true;
}

void SafeFile::cancel()
{
    m_open = false;
    dropTemporary();
}

bool SafeFile::Write(const QString &fileName, const QByteArray &bytes)
{
    SafeFile file(fileName);
    if (!file.open())
        return false;
    if (file.device().write(bytes) != bytes.size()) {
        file.cancel();
        return false;
    }
    return file.commit();
}
