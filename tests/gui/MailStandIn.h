// Stand-ins for the desktop's mail tools: an xdg-email and, on request, a sendmail that record
// their exact arguments (and sendmail its input) in a private folder put first on PATH.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

class MailStandIn
{
public:
    // xdg-email exits with exitCode; with sleepSeconds it waits that long first. With
    // onlyStandIns, PATH holds nothing but the stand-in folder.
    explicit MailStandIn(bool withMailClient = true, bool withSendmail = false, int exitCode = 0,
                         int sleepSeconds = 0, bool onlyStandIns = true)
        : m_oldPath(qgetenv("PATH"))
    {
        QVERIFY(m_dir.isValid());
        if (withMailClient)
            script(QStringLiteral("xdg-email"),
                   QStringLiteral("#!/bin/sh\n"
                                  "out=\"${0%/*}/xdg-email.args\"\n"
                                  ": > \"$out\"\n"
                                  "for a in \"$@\"; do printf '%s\\000' \"$a\" >> \"$out\"; done\n"
                                  "[ %1 -gt 0 ] && /bin/sleep %1\n"
                                  ": > \"${0%/*}/xdg-email.done\"\n"
                                  "exit %2\n")
                       .arg(sleepSeconds)
                       .arg(exitCode));
        if (withSendmail)
            script(QStringLiteral("sendmail"),
                   QStringLiteral("#!/bin/sh\n"
                                  "out=\"${0%/*}/sendmail.args\"\n"
                                  ": > \"$out\"\n"
                                  "for a in \"$@\"; do printf '%s\\000' \"$a\" >> \"$out\"; done\n"
                                  "while IFS= read -r line; do printf '%s\\n' \"$line\"; done "
                                  "> \"${0%/*}/sendmail.input\"\n"
                                  "exit 0\n"));
        const QByteArray path = onlyStandIns ? m_dir.path().toLocal8Bit()
                                             : m_dir.path().toLocal8Bit() + ':' + m_oldPath;
        qputenv("PATH", path);
    }
    ~MailStandIn() { qputenv("PATH", m_oldPath); }

    QString file(const QString &name) const { return m_dir.filePath(name); }
    bool called(const QString &tool = QStringLiteral("xdg-email")) const
    {
        return QFile::exists(file(tool + QStringLiteral(".args")));
    }
    bool finished() const { return QFile::exists(file(QStringLiteral("xdg-email.done"))); }
    // The arguments of the last call, exactly as the tool got them.
    QStringList arguments(const QString &tool = QStringLiteral("xdg-email")) const
    {
        QFile f(file(tool + QStringLiteral(".args")));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList list;
        const QList<QByteArray> parts = f.readAll().split('\0');
        for (qsizetype i = 0; i + 1 < parts.size(); ++i)
            list.append(QString::fromUtf8(parts.at(i)));
        return list;
    }
    QByteArray sendmailInput() const
    {
        QFile f(file(QStringLiteral("sendmail.input")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    void script(const QString &name, const QString &text)
    {
        QFile f(file(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                         QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    }

    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};
