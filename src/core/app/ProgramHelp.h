// What the program says of itself: `tasklume --help`, and its manual page tasklume(1), both
// made from the texts here; the page's keys come from the keyboard reference of the help
// (Tasklume-help.html), so that the page, the help and the program agree.
#pragma once

#include <QList>
#include <QString>

namespace ProgramHelp {

// A tagged text: an option, a variable, a file, a key.
struct Entry
{
    QString tag;
    QString text;
};

// The line after the name in the page's NAME section.
QString summary();
// `tasklume --help`: usage, what the program is, its options, the variables it reads and
// where its files are.
QString usage();
// `tasklume --version`.
QString version();
// The options the program takes (--help, --version and Qt's own that matter on a desktop).
QList<Entry> options();
// The environment variables the program reads.
QList<Entry> environment();

// A row of the help's keyboard reference: the keys, where they work, what they do.
struct Key
{
    QString keys;
    QString where;
    QString what;
};
// The rows of the keyboard reference (the table after <a name="keys">) of the help.
QList<Key> keysFromHelp(const QString &html);

// The page tasklume(1), with the keys of the help's keyboard reference.
QString manualPage(const QList<Key> &keys, const QString &date);

} // namespace ProgramHelp
