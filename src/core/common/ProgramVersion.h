// The program's version as its files carry it: the reports' signature and the interchange
// file's "appversion". The values come from the build (TasklumeVersionValues.h).
#pragma once

#include <QString>

// The file version of this program ("1.4.0").
QString ProgramVersion();
