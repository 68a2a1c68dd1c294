// The program's folder: where the executable lies, or the folder named by TASKLUME_HOME.
// Every file the program reads or writes is this folder plus a fixed relative name.
#pragma once

#include <QString>

namespace AppPaths {

// The folder with a trailing slash.
QString folder();
// The folder joined with a relative name such as "wyConf.ini" or "Images/".
QString file(const QString &relativeName);
// Overrides the folder for the rest of the process (tests, the command-line companion).
void setFolder(const QString &folder);
// A file in the folder "Temp" beside the program, ready to be written: the folder is made
// again when it is missing (readable by its owner only), and the file is made or kept
// readable by its owner only. Throws TasklumeError naming the folder or file when that
// cannot be done.
QString tempFile(const QString &name);

} // namespace AppPaths
