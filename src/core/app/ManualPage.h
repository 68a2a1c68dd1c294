// A manual page (man(7) macros) built from plain texts: the programs' help texts become the
// sections of their pages, so a page says what the program's own help says.
#pragma once

#include <QList>
#include <QPair>
#include <QString>

class ManualPage
{
public:
    // name: the page's name ("tasklume-cli"); summary: the line after it in NAME.
    ManualPage(const QString &name, const QString &summary);

    // A section heading ("SYNOPSIS"); the following parts go into it.
    void section(const QString &heading);
    // A paragraph of plain text; lines are joined, an empty line starts a new paragraph.
    void paragraph(const QString &text);
    // A tagged paragraph: tag in bold on a line of its own, text indented below it (an empty
    // line starts a further paragraph there).
    void item(const QString &tag, const QString &text);
    // Lines kept as they are (examples, tables), in a fixed font.
    void verbatim(const QString &text);

    // The page's source, with the month of the release in its header.
    QString text(const QString &date) const;

    // Text made safe for roff: backslashes, hyphens read as minus signs (options), and
    // lines that would start with a control character.
    static QString escape(const QString &text);

private:
    QString m_name;
    QString m_body;
};
