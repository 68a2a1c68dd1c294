#include "AutoStart.h"

#include "common/Texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace AutoStart {

QString EntryName()
{
    return Texts::AppTitle;
}

QString EntryPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The base directory specification ignores a relative value.
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(config) + QStringLiteral("/autostart/") + EntryName() +
           QStringLiteral(".desktop");
}

bool IsOn(const QString &entryPath)
{
    const QFileInfo info(entryPath);
    return info.exists() && !info.isDir();
}

void Set(bool on, const QString &programPath, const QString &entryPath)
{
    if (!on) {
        if (IsOn(entryPath))
            QFile::remove(entryPath);
        return;
    }
    if (QFileInfo::exists(entryPath))
        return;
    if (!QDir().mkpath(QFileInfo(entryPath).absolutePath()))
        return;
    QSaveFile file(entryPath);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(EntryText(programPath).toUtf8());
    file.commit();
}

QString EntryText(const QString &programPath)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Exec=%2\n"
                          "Icon=tasklume\n"
                          "Terminal=false\n")
        .arg(EntryName(), ExecValue(programPath));
}

QString ExecValue(const QString &programPath)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = false;
    QString argument;
    for (const QChar c : programPath) {
        if (reserved.contains(c))
            quote = true;
        // Inside quotes these four are escaped with a backslash.
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            argument += QLatin1Char('\\');
        // A per cent sign would start a field code.
        if (c == QLatin1Char('%'))
            argument += QLatin1Char('%');
        argument += c;
    }
    if (quote)
        argument = QLatin1Char('"') + argument + QLatin1Char('"');
    // The value as a whole is a string of the desktop entry format.
    QString value;
    for (const QChar c : argument) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
}

} // namespace AutoStart
