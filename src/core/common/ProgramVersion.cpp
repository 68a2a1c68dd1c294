#include "ProgramVersion.h"

#include "common/TasklumeVersionValues.h"

QString ProgramVersion()
{
    return QStringLiteral(TASKLUME_VI_FILE_VERSION);
}
