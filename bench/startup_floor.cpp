// The floor the start-up of the program is measured against: the least a Qt Widgets program
// does to show a list from the same database. It opens the database in TASKLUME_HOME, reads
// every row of both tables with a bare "select *", and shows the tasks' texts in a tree view
// in a main window of the program's first size. It answers the single-instance channel's
// "shown tasks" and "painted tasks" like the program, so that both are timed the same way.
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

#include <chrono>

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
// Notes the time of the first paint of the widget it watches.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(qint64 &painted) : m_painted(painted) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && m_painted < 0)
            m_painted = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
        return QObject::eventFilter(watched, event);
    }

private:
    qint64 &m_painted;
};
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringListModel model;
    qint64 painted = -1; // the list's first paint, microseconds of the monotonic clock
    InstanceServer channel;
    channel.listen();
    channel.setRequestHandler([&model, &painted](const QByteArray &request) {
        if (request == "shown tasks")
            return QByteArray::number(model.rowCount()) + '\n';
        if (request == "painted tasks")
            return QByteArray::number(painted) + '\n';
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
    FirstPaint firstPaint(painted);
    tree->viewport()->installEventFilter(&firstPaint);
    window.resize(455, 503);
    window.show();
    return app.exec();
}
