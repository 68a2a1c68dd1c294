#include "AutoStart.h"

#include "common/Texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

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

void Renew(const QString &programPath, const QString &entryPath)
{
    QFile entry(entryPath);
    if (!IsOn(entryPath) || !entry.open(QIODevice::ReadOnly))
        return;
    const QStringList lines = QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'));
    entry.close();
    const bool ours = lines.contains(QStringLiteral("Exec=") + ExecValue(programPath));
    const bool checked = std::any_of(lines.begin(), lines.end(), [](const QString &line) {
        return line.startsWith(QLatin1String("TryExec="));
    });
    if (!ours || checked)
        return;
    QSaveFile file(entryPath);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(EntryText(programPath).toUtf8());
    file.commit();
}

namespace {

// A value of the desktop entry format's string type.
QString stringValue(const QString &text)
{
    QString value;
    for (const QChar c : text) {
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

// Whether the hicolor theme below a data folder holds the program's icon at some size.
bool themeHasIcon(const QString &dataDir)
{
    const QDir hicolor(dataDir + QStringLiteral("/icons/hicolor"));
    if (!hicolor.exists())
        return false;
    for (const QString &size : hicolor.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const char *suffix : {".png", ".svg"}) {
            if (QFileInfo::exists(hicolor.filePath(size + QStringLiteral("/apps/") +
                                                   Texts::IconName + QLatin1String(suffix))))
                return true;
        }
    }
    return false;
}

} // namespace

QString IconValue(const QString &programPath)
{
    return IconValue(programPath,
                     QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation));
}

QString IconValue(const QString &programPath, const QStringList &dataDirs)
{
    const QString folder = QFileInfo(programPath).absolutePath();
    for (const QString &dir : dataDirs) {
        // An installation keeps the program under the prefix of the data folder
        // (prefix/lib/.../tasklume beside prefix/share).
        const QString data = QDir::cleanPath(QFileInfo(dir).absoluteFilePath());
        if (!data.endsWith(QLatin1String("/share")))
            continue;
        const QString prefix = data.chopped(int(QStringLiteral("share").size()));
        if (folder.startsWith(prefix) && themeHasIcon(data))
            return Texts::IconName;
    }
    return QDir::cleanPath(folder + QLatin1Char('/') + Texts::AppIconFile);
}

QString EntryText(const QString &programPath)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Exec=%2\n"
                          "TryExec=%3\n"
                          "Icon=%4\n"
                          "Terminal=false\n")
        .arg(EntryName(), ExecValue(programPath),
             // The desktop skips the entry once the program is gone (a removed package).
             stringValue(QFileInfo(programPath).absoluteFilePath()),
             stringValue(IconValue(programPath)));
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
    return stringValue(argument);
}

} // namespace AutoStart
