#include "IniFile.h"

#include "pU_Funcs.h"

#include <QByteArrayView>
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

// One line of the file: its bytes as they stand, line end included, and its text for
// reading. Lines are written back from their bytes, so that what the program does not own
// (a comment in another encoding, a CR LF line end) comes back unchanged.
struct Line
{
    QByteArray bytes;
    QString text;
};

QList<Line> readRawLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    QList<Line> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        end = end < 0 ? data.size() : end + 1;
        Line line{data.mid(start, end - start), QString()};
        QByteArrayView body(line.bytes);
        if (body.endsWith('\n'))
            body.chop(1);
        if (body.endsWith('\r'))
            body.chop(1);
        line.text = QString::fromUtf8(body);
        // A byte order mark is no part of the first line's text.
        if (lines.isEmpty() && line.text.startsWith(QChar(0xFEFF)))
            line.text.remove(0, 1);
        lines.append(line);
        start = end;
    }
    return lines;
}

QStringList readLines(const QString &path)
{
    QStringList texts;
    for (const Line &line : readRawLines(path))
        texts.append(line.text);
    return texts;
}

// A line the program writes, ended as the line it replaces (LF for a new one).
Line ownLine(const QString &text, const QByteArray &ending = QByteArrayLiteral("\n"))
{
    return Line{text.toUtf8() + ending, text};
}

QByteArray endingOf(const QByteArray &bytes)
{
    if (bytes.endsWith("\r\n"))
        return QByteArrayLiteral("\r\n");
    return QByteArrayLiteral("\n");
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
    QList<Line> lines = readRawLines(m_path);
    const QString entry = key + QLatin1Char('=') + QString(value).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    qsizetype sectionStart = -1; // index of the section's header line
    qsizetype lastEntry = -1;    // last key line of the section
    bool done = false;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size() && !done; ++i) {
        QString name;
        if (isSectionLine(lines.at(i).text.trimmed(), &name)) {
            if (inSection)
                break;
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            if (inSection)
                sectionStart = lastEntry = i;
            continue;
        }
        QString k, v;
        if (inSection && splitEntry(lines.at(i).text, &k, &v)) {
            if (k.compare(key, Qt::CaseInsensitive) == 0) {
                lines[i] = ownLine(entry, endingOf(lines.at(i).bytes));
                done = true;
            }
            lastEntry = i;
        }
    }
    if (!done) {
        // A last line without its line end gets one before anything follows it.
        if (!lines.isEmpty() && !lines.last().bytes.endsWith('\n'))
            lines.last().bytes += '\n';
        if (sectionStart < 0) {
            if (!lines.isEmpty() && !lines.last().text.trimmed().isEmpty())
                lines.append(ownLine(QString()));
            lines.append(ownLine(QLatin1Char('[') + section + QLatin1Char(']')));
            lines.append(ownLine(entry));
        } else {
            lines.insert(lastEntry + 1, ownLine(entry, endingOf(lines.at(lastEntry).bytes)));
        }
    }
    QByteArray data;
    for (const Line &line : std::as_const(lines))
        data += line.bytes;

    QSaveFile file(m_path);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        ok = file.write(data) >= 0;
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
