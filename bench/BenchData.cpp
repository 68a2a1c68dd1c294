#include "BenchData.h"

#include "DataSet.h"
#include "storage/Database.h"

#include <QDir>
#include <QTemporaryDir>

#include <map>
#include <memory>

QSqlDatabase BenchData::database(int items)
{
    static std::map<int, std::unique_ptr<QTemporaryDir>> folders;
    const QString connection = QStringLiteral("bench%1").arg(items);
    auto it = folders.find(items);
    if (it == folders.end()) {
        auto dir = std::make_unique<QTemporaryDir>();
        QSqlDatabase db =
            Database::open(QDir(dir->path()).filePath(QStringLiteral("wyData.wyb")), connection);
        DataSet::generate(db, DataSet::Options{items, items, 7, 30});
        folders.emplace(items, std::move(dir));
        return db;
    }
    return QSqlDatabase::database(connection);
}
