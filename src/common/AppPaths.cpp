#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString g_folder;

QString withSlash(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}
} // namespace

QString AppPaths::folder()
{
    if (g_folder.isEmpty()) {
        const QString home = qEnvironmentVariable("TASKLUME_HOME");
        if (!home.isEmpty())
            g_folder = withSlash(QDir(home).absolutePath());
        else
            g_folder = withSlash(QCoreApplication::applicationDirPath());
    }
    return g_folder;
}

QString AppPaths::file(const QString &relativeName)
{
    return folder() + relativeName;
}

void AppPaths::setFolder(const QString &folder)
{
    g_folder = withSlash(QDir(folder).absolutePath());
}
