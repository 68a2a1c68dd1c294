// Every file the program writes for the user (backups, exports, reports): the bytes go to a
// temporary file in the target's folder, which replaces the target only once it is complete
// and on disk, so that a failed or interrupted write never leaves a cut file where a good one
// stood. A target that is one of the program's own files (the database with its journal
// files, the settings file, the run lock) is refused under whatever name it is given: the
// comparison is by device and inode, so links and other spellings are caught.
//
// What is written is the user's alone: the file is made readable and writable by its owner
// only (0600) whatever the umask, and it only ever replaces the file that was named.
// - A name that is a link is followed only when the link is the user's own (a link another
//   user made, above all one planted in a shared sticky folder such as /tmp, is refused) and
//   it leads to a file of the user's own, or to no file yet; then that file is replaced and
//   the link stays. Anything else a link leads to (another user's file, a folder, a device)
//   is refused.
// - An existing file of another user in a shared sticky folder (one anybody may write, as
//   /tmp) is refused, as the kernel's protected_regular rule would; so is a name that is no
//   regular file (a folder, a device, a pipe).
// - The name is looked at again right before the file is put in place: when something else
//   lies there by then, nothing is replaced.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

class SafeFile
{
public:
    explicit SafeFile(const QString &fileName);
    ~SafeFile();
    SafeFile(const SafeFile &) = delete;
    SafeFile &operator=(const SafeFile &) = delete;

    // Starts the temporary file. Throws TasklumeError with the refusal's text when the target
    // is one of the program's own files or may not be written (see above; nothing is touched
    // then); false when the temporary file cannot be made.
    bool open();
    // Where the bytes go until commit().
    QIODevice &device() { return m_file; }
    // Flushes the bytes to disk and renames the temporary file over the target. False (and
    // the target as it was) when any step fails.
    bool commit();
    // Drops the temporary file; the target stays as it was.
    void cancel();

    // The program's own file (its path in the program folder) that fileName names, or empty
    // text when it names none of them.
    static QString ProgramFileOf(const QString &fileName);
    // The message for such a target.
    static QString RefusalText(const QString &fileName, const QString &programFile);
    // Throws TasklumeError with RefusalText when fileName names one of the program's files.
    static void RefuseProgramFile(const QString &fileName);
    // Why fileName may not be written (one of the program's files, a link of another user,
    // another user's file in a shared folder, ...), or empty text when it may.
    static QString RefusalOf(const QString &fileName);
    // Throws TasklumeError with RefusalOf's text when there is one.
    static void RefuseTarget(const QString &fileName);

    // The whole file in one step: open, write, commit.
    static bool Write(const QString &fileName, const QByteArray &bytes);

    // The mode of every file written here.
    static constexpr int FileMode = 0600;

private:
    // What lay at a path when the write started.
    struct Seen
    {
        bool exists = false;
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const Seen &) const = default;
    };
    static Seen seen(const QString &path);
    void dropTemporary();

    QString m_name;
    QString m_landing;   // the file replaced: the name, or the file the user's link leads to
    QString m_temporary; // the temporary file beside it
    Seen m_nameSeen, m_landingSeen;
    QFile m_file;
    bool m_open = false;
};
