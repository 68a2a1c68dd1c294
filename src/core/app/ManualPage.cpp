#include "ManualPage.h"

#include <QStringList>

ManualPage::ManualPage(const QString &name, const QString &summary) : m_name(name)
{
    section(QStringLiteral("NAME"));
    m_body += escape(name) + QStringLiteral(" \\- ") + escape(summary) + QLatin1Char('\n');
}

QString ManualPage::escape(const QString &text)
{
    QString out;
    out.reserve(text.size() + 16);
    bool lineStart = true;
    for (const QChar c : text) {
        if (lineStart && (c == QLatin1Char('.') || c == QLatin1Char('\'')))
            out += QStringLiteral("\\&");
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\e");
        else if (c == QLatin1Char('-'))
            out += QStringLiteral("\\-");
        else
            out += c;
        lineStart = c == QLatin1Char('\n');
    }
    return out;
}

void ManualPage::section(const QString &heading)
{
    m_body += QStringLiteral(".SH ") + heading.toUpper() + QLatin1Char('\n');
}

void ManualPage::paragraph(const QString &text)
{
    const QStringList paragraphs = text.trimmed().split(QStringLiteral("\n\n"));
    bool first = true;
    for (const QString &part : paragraphs) {
        if (!first)
            m_body += QStringLiteral(".PP\n");
        first = false;
        QStringList lines = part.split(QLatin1Char('\n'));
        for (QString &line : lines)
            line = line.trimmed();
        m_body += escape(lines.join(QLatin1Char('\n'))) + QLatin1Char('\n');
    }
}

void ManualPage::item(const QString &tag, const QString &text)
{
    m_body += QStringLiteral(".TP\n.B ") + escape(tag) + QLatin1Char('\n');
    // An empty line starts a further paragraph at the same indentation.
    const QStringList paragraphs = text.trimmed().split(QStringLiteral("\n\n"));
    bool first = true;
    for (const QString &part : paragraphs) {
        if (!first)
            m_body += QStringLiteral(".IP\n");
        first = false;
        QStringList lines = part.split(QLatin1Char('\n'));
        for (QString &line : lines)
            line = line.trimmed();
        m_body += escape(lines.join(QLatin1Char('\n'))) + QLatin1Char('\n');
    }
}

void ManualPage::verbatim(const QString &text)
{
    m_body +=
        QStringLiteral(".PP\n.RS\n.nf\n") + escape(text.trimmed()) + QStringLiteral("\n.fi\n.RE\n");
}

QString ManualPage::text(const QString &date) const
{
    return QStringLiteral(".TH %1 1 \"%2\" \"Ploxen Tasklume\" \"User Commands\"\n")
               .arg(escape(m_name.toUpper()), date) +
           m_body;
}
