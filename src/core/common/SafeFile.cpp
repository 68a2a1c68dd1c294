#include "SafeFile.h"

#include "AppPaths.h"
#include "pU_Funcs.h"
#include "Texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

#include <fcntl.h>
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

SafeFile::SafeFile(const QString &fileName) : m_file(fileName) {}

SafeFile::~SafeFile()
{
    if (m_open)
        m_file.cancelWriting();
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

bool SafeFile::open()
{
    RefuseProgramFile(m_file.fileName());
    if (m_file.fileName().isEmpty())
        return false;
    m_open = m_file.open(QIODevice::WriteOnly);
    return m_open;
}

bool SafeFile::commit()
{
    if (!m_open)
        return false;
    m_open = false;
    if (!m_file.flush() || ::fsync(m_file.handle()) != 0) {
        m_file.cancelWriting();
        return false;
    }
    if (!m_file.commit())
        return false;
    syncFolder(m_file.fileName());
    return true;
}

void SafeFile::cancel()
{
    if (m_open)
        m_file.cancelWriting();
    m_open = false;
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
