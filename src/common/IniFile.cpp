#include "IniFile.h"

#include "pU_Funcs.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

namespace {

bool isSectionLine(const QString &trimmed, QString *name)
{
    if (trimmed.size() < 2 || !trimmed.startsWith(QLatin1Char('[')) ||
        !trimmed.endsWith(QLatin1Char(']')))
        return false;
    *name = trimmed.mid(1, trimmed.size() - 2).trimmed();
    return true;
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Splits "key=value"; false for lines that hold no key.
bool splitEntry(const QString &line, QString *key, QString *value)
{
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')) ||
        trimmed.startsWith(QLatin1Char('#')))
        return false;
    const qsizetype eq = trimmed.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return false;
    *key = trimmed.left(eq).trimmed();
    *value = trimmed.mid(eq + 1).trimmed();
    return true;
}

} // namespace

QString IniFile::readString(const QString &section, const QString &key, const QString &def) const
{
    bool inSection = false;
    for (const QString &line : readLines(m_path)) {
        QString name;
        if (isSectionLine(line.trimmed(), &name)) {
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        QString k, v;
        if (inSection && splitEntry(line, &k, &v) && k.compare(key, Qt::CaseInsensitive) == 0)
            return v;
    }
    return def;
}

int IniFile::readInteger(const QString &section, const QString &key, int def) const
{
    const QString text = readString(section, key, QString());
    if (text.isEmpty())
        return def;
    bool ok = false;
    int value = text.toInt(&ok, 10);
    if (!ok && (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)))
        value = text.mid(2).toInt(&ok, 16);
    return ok ? value : def;
}

bool IniFile::readBool(const QString &section, const QString &key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value) const
{
    QStringList lines = readLines(m_path);
    const QString entry = key + QLatin1Char('=') + QString(value).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    qsizetype sectionStart = -1; // index of the section's header line
    qsizetype lastEntry = -1;    // last key line of the section
    bool done = false;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size() && !done; ++i) {
        QString name;
        if (isSectionLine(lines.at(i).trimmed(), &name)) {
            if (inSection)
                break;
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            if (inSection)
                sectionStart = lastEntry = i;
            continue;
        }
        QString k, v;
        if (inSection && splitEntry(lines.at(i), &k, &v)) {
            if (k.compare(key, Qt::CaseInsensitive) == 0) {
                lines[i] = entry;
                done = true;
            }
            lastEntry = i;
        }
    }
    if (!done) {
        if (sectionStart < 0) {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
                lines.append(QString());
            lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
            lines.append(entry);
        } else {
            lines.insert(lastEntry + 1, entry);
        }
    }

    QSaveFile file(m_path);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        ok = file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()) >= 0;
        ok = ok && file.commit();
    }
    if (!ok)
        throw TasklumeError(QStringLiteral("Cannot write the settings file \"%1\": %2")
                                .arg(m_path, file.errorString()));
}

void IniFile::writeInteger(const QString &section, const QString &key, int value) const
{
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString &section, const QString &key, bool value) const
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
