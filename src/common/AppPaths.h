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

} // namespace AppPaths
