// What the text and HTML reports of the two lists share, without any window: which list and
// which format, the entries of a selection, the stamp a report ends with and the file
// writer. The layouts themselves are in interchange/ListReports.h.
#pragma once

#include "ItemTree.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace Reports {

enum class ListKind
{
    Tasks,
    Memos
};
enum class Format
{
    Text,
    Html
};

// What a report writes besides its entries.
struct Stamp
{
    QString timeStamp;   // short date, a blank and the long time (no time at midnight)
    QString version;     // the program's file version
    QString productPage; // the maker's site followed by "/tasklume"
};

// The product page address: the maker's web site followed by the path "/tasklume".
QString ProductPageAddress();
// The program's file version (ProgramVersion).
QString VersionText();
// The stamp for a report written at the given moment.
Stamp MakeStamp(const QDateTime &moment = QDateTime::currentDateTime());

// One line of a report: a selected item, or a child that follows its selected top-level
// parent.
struct Entry
{
    const ItemNode *node = nullptr;
    bool child = false;
};

struct Entries
{
    QList<Entry> list;
    int mainCount = 0;  // N
    int childCount = 0; // M
};

// The selected items in tree order, each a main entry; after a selected top-level item all
// its children as child entries, in tree order, whatever their visibility.
Entries CollectEntries(const QList<ItemNode *> &selected);

// Replaces the file of that name by the bytes in one step (SafeFile). False when it cannot be
// written; throws TasklumeError when the name is one of the program's own files.
bool WriteReportFile(const QString &fileName, const QByteArray &bytes);

// The name with its extension replaced by the given one (".txt"), or the extension added
// when there is none. Only the last part of the path counts; a leading dot (".notes") does
// not start an extension.
QString ChangeExtension(const QString &fileName, const QString &extension);

// Every character outside ASCII as a numeric character reference ("&#233;").
QByteArray AsciiWithReferences(const QString &text);

} // namespace Reports
