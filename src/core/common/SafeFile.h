// Every file the program writes for the user (backups, exports, reports): the bytes go to a
// temporary file in the target's folder, which replaces the target only once it is complete
// and on disk, so that a failed or interrupted write never leaves a cut file where a good one
// stood. A target that is one of the program's own files (the database with its journal
// files, the settings file, the run lock) is refused under whatever name it is given: the
// comparison is by device and inode, so links and other spellings are caught.
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

class SafeFile
{
public:
    explicit SafeFile(const QString &fileName);
    ~SafeFile();
    SafeFile(const SafeFile &) = delete;
    SafeFile &operator=(const SafeFile &) = delete;

    // Starts the temporary file. Throws TasklumeError with RefusalText when the target is one
    // of the program's own files (nothing is touched then); false when the temporary file
    // cannot be made.
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

    // The whole file in one step: open, write, commit.
    static bool Write(const QString &fileName, const QByteArray &bytes);

private:
    QSaveFile m_file;
    bool m_open = false;
};
