// Text stored as a new item the way pasting it does: the stored form of the text under a
// fresh key, created and edited now, a memo left unassigned. The lists' paste commands, the
// running program's requests and the command-line companion's "add" all come here.
#pragma once

#include "common/ItemInfo.h"
#include "common/Reports.h"

#include <QSqlDatabase>
#include <QString>

#include <memory>

class ItemStatements;

namespace PastedItem {

// Fills a fresh record for the text: content in its stored form (trailing white space
// removed, CR LF line breaks), a new key, the parent (the key of a top-level item, or "root"
// when empty), createTime and editTime now.
void Fill(ItemInfo &info, const QString &text, const QString &parentKey);
// A fresh record of the list's kind, filled for the text.
std::unique_ptr<ItemInfo> MakeRecord(Reports::ListKind kind, const QString &text,
                                     const QString &parentKey);

// Inserts a record made by MakeRecord: a top-level task with the paste's insert, a child
// task with the same columns under its parent, a memo with no assign time.
void Insert(ItemStatements &statements, ItemInfo &info);

// The message for a parent key that names no top-level item of the list.
QString NoParentMessage(Reports::ListKind kind, const QString &parentKey);

// Stores text as a new item of the list in the database, at the top level or under the
// top-level item parentKey, and returns its key. Throws TasklumeError when parentKey names
// no top-level item (nothing is stored then) or the insert fails.
QString Store(QSqlDatabase db, Reports::ListKind kind, const QString &text,
              const QString &parentKey);

} // namespace PastedItem
