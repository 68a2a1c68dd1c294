#include "DatabaseCheck.h"

#include "Statements.h"

namespace {

DatabaseCheck::TableReport checkTable(ItemStatements &statements)
{
    DatabaseCheck::TableReport report;
    report.table = statements.table();
    const QStringList columns = statements.columnNames();
    report.present = !columns.isEmpty();
    if (!report.present)
        return report;
    for (const QString &column : Statements::requiredColumns(report.table)) {
        if (!columns.contains(column, Qt::CaseInsensitive))
            report.missingColumns.append(column);
    }
    // The tree needs the key and the parent; without them its shape cannot be read.
    if (report.missingColumns.contains(statements.keyColumn()) ||
        report.missingColumns.contains(QStringLiteral("pid")))
        return report;
    report.rows = statements.countRows();
    report.topLevel = statements.countTopLevel();
    report.orphanKeys = statements.orphanKeys();
    report.thirdLevelKeys = statements.thirdLevelKeys();
    report.reservedKeys = statements.reservedKeys();
    report.children = report.rows - report.topLevel - int(report.orphanKeys.size()) -
                      int(report.thirdLevelKeys.size());
    return report;
}

} // namespace

DatabaseCheck::Report DatabaseCheck::Run(QSqlDatabase db)
{
    Report report;
    report.integrityProblems = Statements::integrityProblems(db);
    TaskStatements tasks(db);
    MemoStatements memos(db);
    report.tasks = checkTable(tasks);
    report.memos = checkTable(memos);
    return report;
}
