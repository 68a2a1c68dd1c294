// The floor the start-up of the program is measured against: the least a Qt Widgets program
// does to show a list from the same database. It opens the database in TASKLUME_HOME, reads
// every row of both tables with a bare "select *", and shows the tasks' texts in a tree view
// in a main window of the program's first size. It answers the single-instance channel's
// "shown tasks" like the program, so that both are timed the same way.
#include "app/SingleInstance.h"
#include "common/Texts.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringListModel>
#include <QTreeView>

namespace {
// Every row of the table, every column fetched; the texts of the content column.
QStringList selectAll(QSqlDatabase db, const QString &table)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    QStringList contents;
    if (!query.exec(QStringLiteral("select * from ") + table))
        return contents;
    const int content = query.record().indexOf(QStringLiteral("content"));
    while (query.next())
        contents.append(query.value(content).toString());
    return contents;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringListModel model;
    InstanceServer channel;
    channel.listen();
    channel.setRequestHandler([&model](const QByteArray &request) {
        if (request == "shown tasks")
            return QByteArray::number(model.rowCount()) + '\n';
        return QByteArrayLiteral("0\n");
    });

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(
        QDir(qEnvironmentVariable("TASKLUME_HOME")).filePath(Texts::DatabaseFileName));
    if (!db.open())
        return 1;
    model.setStringList(selectAll(db, QStringLiteral("tasks")));
    const QStringList memos = selectAll(db, QStringLiteral("memos"));

    QMainWindow window;
    auto *tree = new QTreeView(&window);
    tree->setHeaderHidden(true);
    tree->setModel(&model);
    window.setCentralWidget(tree);
    window.resize(455, 503);
    window.show();
    return app.exec();
}
