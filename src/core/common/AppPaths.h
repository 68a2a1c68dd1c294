// Where the program's files are. The files the program writes (database, settings, run
// lock, Temp/) lie in one folder: TASKLUME_HOME when it is set; otherwise, for an installed
// program, the user's data folder, $XDG_DATA_HOME/ploxen-tasklume
// (~/.local/share/ploxen-tasklume), root's included; otherwise the folder the executable lies
// in (a portable copy, a user-owned install, the build folder). A program is installed when
// it lies in the system's tree (below a folder named "usr", as /usr/lib/tasklume, also in a
// system tree unpacked or mounted elsewhere, or below /opt), or in a folder its user does
// not own or may not write, unless that folder already holds the user's database. The files
// the program only reads (Images/, Sounds/, the help) lie beside the executable in the build
// folder and a portable copy, and in the installed program's shared data folder
// (prefix/share/tasklume for a program in prefix/lib/tasklume).
// Every file is one of these folders plus a fixed relative name.
#pragma once

#include <QString>

namespace AppPaths {

// The name of the user's data folder under $XDG_DATA_HOME.
inline const QString DataFolderName = QStringLiteral("ploxen-tasklume");
// The name the installed program's icon has in the desktop's icon theme (hicolor).
inline const QString IconName = QStringLiteral("tasklume");

// Which rule chose the folder.
enum class FolderKind
{
    Named,    // TASKLUME_HOME
    Program,  // the folder the executable lies in
    UserData, // the user's data folder
};

// What the choice depends on, gathered from the process and the file system.
struct FolderFacts
{
    QString named;             // TASKLUME_HOME, empty when unset
    QString programFolder;     // the folder the executable lies in
    bool programWritable;      // the user may make files in it
    bool programHoldsDatabase; // it holds a database the user may write
    bool programOwned;         // the user owns it
    bool programInSystemTree;  // it lies in the system's tree (below "usr", or /opt)
    QString dataHome;          // XDG_DATA_HOME, empty when unset
    QString home;              // the user's home folder
};

struct FolderChoice
{
    QString folder; // absolute, with a trailing slash
    FolderKind kind;
};

// The rule, without looking at anything but its arguments.
FolderChoice chooseFolder(const FolderFacts &facts);
// The facts of this process.
FolderFacts currentFacts();

// The folder of the files the program writes, with a trailing slash. The user's data
// folder is made (readable by its owner only) the first time this is asked.
QString folder();
// Which rule chose folder().
FolderKind folderKind();
// The folder the executable lies in, with a trailing slash.
QString programFolder();
// A file the program writes: folder() joined with a relative name such as "wyConf.ini".
QString file(const QString &relativeName);
// The installed program's folder of the files it only reads, for a program in
// programFolder, with a trailing slash: prefix/share/tasklume/ for prefix/lib/tasklume/.
QString sharedDataFolder(const QString &programFolder);
// The first of the folders that holds relativeName, joined with it; the first folder's
// path when none does (so that a message names where the file was looked for).
QString findResource(const QStringList &folders, const QString &relativeName);
// A file the program only reads, such as "Images/appIcon.png": the copy in the folder
// named by TASKLUME_HOME when there is one, else the one beside the executable, else the
// one in sharedDataFolder(programFolder()).
QString resource(const QString &relativeName);
// A line for people: the folder in use and why it was chosen (nothing is made).
QString describeFolder();
// Overrides the folder for the rest of the process (tests, the command-line companion).
void setFolder(const QString &folder);
// Whether a program folder lies in the system's tree: below a folder named "usr" (/usr/lib,
// /usr/local, the same tree unpacked or mounted elsewhere) or below /opt.
bool isSystemTree(const QString &programFolder);
// Removes what the folder "Temp" holds (left over from e-mail hand-offs of an earlier run):
// files and links themselves, never what a link leads to; folders in it stay.
void clearTempFolder();
// A file in the folder "Temp" of folder(), ready to be written: the folder is made
// again when it is missing (readable by its owner only), and the file is made or kept
// readable by its owner only. Throws TasklumeError naming the folder or file when that
// cannot be done.
QString tempFile(const QString &name);

} // namespace AppPaths
