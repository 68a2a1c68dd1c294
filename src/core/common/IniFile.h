// The settings file: plain INI text, opened, read or written and closed again on every
// access. Booleans are written as 1 and 0 and any non-zero number reads as true; a missing
// or unreadable key yields the default the caller names.
#pragma once

#include <QString>

class IniFile
{
public:
    explicit IniFile(QString path) : m_path(std::move(path)) {}

    const QString &path() const { return m_path; }

    QString readString(const QString &section, const QString &key, const QString &def) const;
    int readInteger(const QString &section, const QString &key, int def) const;
    bool readBool(const QString &section, const QString &key, bool def) const;

    // Writes go to disk at once, replacing the file as a whole; the file is readable by
    // its owner only. Throw TasklumeError naming the file when it cannot be written.
    void writeString(const QString &section, const QString &key, const QString &value) const;
    void writeInteger(const QString &section, const QString &key, int value) const;
    void writeBool(const QString &section, const QString &key, bool value) const;

private:
    QString m_path;
};
