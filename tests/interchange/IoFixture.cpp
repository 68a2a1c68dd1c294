#include "IoFixture.h"

#include "interchange/ItemStream.h"
#include "interchange/WyxContainer.h"
#include "interchange/XmlDateTime.h"
#include "storage/Database.h"
#include "storage/Statements.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <atomic>
#include <ctime>

namespace IoFixture {

TestDb::TestDb(bool inMemory)
{
    static std::atomic<int> counter{0};
    m_connection = QStringLiteral("iotest%1").arg(++counter);
    if (inMemory && QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/tasklume-XXXXXX"));
    else
        m_dir = std::make_unique<QTemporaryDir>();
    m_path = m_dir->filePath(QStringLiteral("wyData.wyb"));
    if (!inMemory) {
        m_db = Database::open(m_path, m_connection);
        return;
    }
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setDatabaseName(QStringLiteral(":memory:"));
    if (!m_db.open())
        qFatal("%s", qPrintable(m_db.lastError().text()));
    for (const QString &statement : Statements::schema())
        exec(statement);
}

TestDb::~TestDb()
{
    m_db = QSqlDatabase();
    Database::close(m_connection);
}

QString TestDb::file(const QString &name) const
{
    return m_dir->filePath(name);
}

QList<QVariantMap> TestDb::rows(const QString &table) const
{
    QSqlQuery query(m_db);
    const QString key =
        table == QLatin1String("tasks") ? QStringLiteral("tid") : QStringLiteral("mid");
    if (!query.exec(QStringLiteral("select * from %1 order by %2").arg(table, key)))
        qFatal("%s", qPrintable(query.lastError().text()));
    QList<QVariantMap> result;
    while (query.next()) {
        QVariantMap row;
        const QSqlRecord record = query.record();
        for (int i = 0; i < record.count(); ++i)
            row.insert(record.fieldName(i), record.value(i));
        result.append(row);
    }
    return result;
}

QVariantMap TestDb::row(const QString &table, const QString &key) const
{
    const QString column =
        table == QLatin1String("tasks") ? QStringLiteral("tid") : QStringLiteral("mid");
    for (const QVariantMap &row : rows(table)) {
        if (row.value(column).toString() == key)
            return row;
    }
    return {};
}

int TestDb::count(const QString &table) const
{
    QSqlQuery query(m_db);
    query.exec(QStringLiteral("select count(*) from ") + table);
    return query.next() ? query.value(0).toInt() : -1;
}

void TestDb::exec(const QString &statement) const
{
    QSqlQuery query(m_db);
    if (!query.exec(statement))
        qFatal("%s", qPrintable(query.lastError().text()));
}

void writeContainer(const QString &path, const QByteArray &xml)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write(WyxContainer::encode(xml));
}

QByteArray document(const QByteArray &memos, const QByteArray &tasks, const QByteArray &app)
{
    return QByteArrayLiteral("<?xml version=\"1.0\"?>\n<ploxen app=\"") + app +
           QByteArrayLiteral("\" appversion=\"1.0.0\" dataversion=\"1.1\" "
                             "time=\"2024-01-01T10:00:00.000Z\">\n  <tasks>") +
           tasks + QByteArrayLiteral("</tasks>\n  <memos>") + memos +
           QByteArrayLiteral("</memos>\n  <notes/>\n  <peers/>\n</ploxen>\n");
}

namespace {
QByteArray element(const char *name, QList<QPair<QString, QString>> attributes,
                   const QStringList &changes)
{
    for (const QString &change : changes) {
        if (change.startsWith(QLatin1Char('-'))) {
            const QString gone = change.mid(1);
            attributes.removeIf([&](const auto &a) { return a.first == gone; });
            continue;
        }
        const qsizetype eq = change.indexOf(QLatin1Char('='));
        const QString name = change.left(eq);
        const QString value = change.mid(eq + 1);
        bool found = false;
        for (auto &a : attributes) {
            if (a.first == name) {
                a.second = value;
                found = true;
            }
        }
        if (!found)
            attributes.append({name, value});
    }
    QByteArray text = QByteArrayLiteral("<") + name;
    for (const auto &[key, value] : attributes) {
        QString escaped = value.toHtmlEscaped();
        escaped.replace(QLatin1Char('\n'), QStringLiteral("&#10;"));
        text += ' ' + key.toUtf8() + "=\"" + escaped.toUtf8() + '"';
    }
    return text + "/>";
}
} // namespace

QByteArray memo(const QString &mid, const QString &pid, const QStringList &changes)
{
    const QString time = QStringLiteral("2024-03-01T09:30:15.000Z");
    return element("memo",
                   {{QStringLiteral("mid"), mid},
                    {QStringLiteral("pid"), pid},
                    {QStringLiteral("content"), QStringLiteral("memo ") + mid},
                    {QStringLiteral("assign-time"), time},
                    {QStringLiteral("create-time"), time},
                    {QStringLiteral("edit-time"), time}},
                   changes);
}

QByteArray task(const QString &tid, const QString &pid, const QStringList &changes)
{
    const QString time = QStringLiteral("2024-03-01T09:30:15.000Z");
    const QString zero = QStringLiteral("1899-12-30T00:00:00.000Z");
    return element("task",
                   {{QStringLiteral("tid"), tid},
                    {QStringLiteral("pid"), pid},
                    {QStringLiteral("content"), QStringLiteral("task ") + tid},
                    {QStringLiteral("check-flag"), QStringLiteral("False")},
                    {QStringLiteral("alarm-flag"), QStringLiteral("False")},
                    {QStringLiteral("due-flag"), QStringLiteral("False")},
                    {QStringLiteral("text-color"), QStringLiteral("0")},
                    {QStringLiteral("background-color"), QStringLiteral("0")},
                    {QStringLiteral("create-time"), time},
                    {QStringLiteral("edit-time"), time},
                    {QStringLiteral("check-time"), zero},
                    {QStringLiteral("alarm-time"), zero},
                    {QStringLiteral("due-time"), zero}},
                   changes);
}

Interchange::Answer ScriptedAsker::ask(const Interchange::ReplaceQuestion &question)
{
    asked.append(question);
    if (m_answers.empty())
        return Interchange::Answer::No;
    const Interchange::Answer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

ZoneScope::ZoneScope(const char *zone)
    : m_old(qgetenv("TZ")), m_had(qEnvironmentVariableIsSet("TZ"))
{
    qputenv("TZ", zone);
    tzset();
}

ZoneScope::~ZoneScope()
{
    if (m_had)
        qputenv("TZ", m_old);
    else
        qunsetenv("TZ");
    tzset();
}

qint64 seconds(const QVariant &days)
{
    if (days.isNull() || days.toDouble() == 0)
        return -1;
    const std::optional<WallTime> wall = DaysToWallTime(days.toDouble());
    return wall ? wall->julianDay * 86400 + wall->seconds : -2;
}

namespace {
// Every attribute either reader asks for, and the root's.
const QList<QByteArray> kEveryAttribute{
    "mid",        "tid",        "pid",      "content",          "check-flag",  "alarm-flag",
    "due-flag",   "text-color", "app",      "background-color", "create-time", "edit-time",
    "check-time", "alarm-time", "due-time", "assign-time"};

QString describe(const ItemStream::Item &item)
{
    QString text = QString::number(item.position) +
                   (item.element ? QStringLiteral(" element") : QStringLiteral(" other"));
    for (qsizetype k = 0; k < kEveryAttribute.size(); ++k) {
        text += QLatin1Char(' ') + QString::fromLatin1(kEveryAttribute.at(k)) + QLatin1Char('=');
        text += item.value(int(k)) ? QString::fromLatin1(QByteArray(item.value(int(k))).toHex())
                                   : QStringLiteral("-");
    }
    return text;
}
} // namespace

QString onePassDifference(const QString &path, bool *onePass)
{
    static const QByteArray names[2] = {"memos", "tasks"};
    QStringList fast[2];
    QList<ItemStream::Section> sections;
    for (int s = 0; s < 2; ++s) {
        ItemStream::Section section;
        section.name = names[s];
        section.attributes = kEveryAttribute;
        section.item = [&fast, s](const ItemStream::Item &item) {
            fast[s] << describe(item);
            return true;
        };
        sections << section;
    }
    std::optional<QString> fastApp;
    ItemStream stream;
    const bool read = stream.readAll(
        path,
        [&](const std::optional<QString> &app) {
            fastApp = app;
            return true;
        },
        sections);
    if (onePass)
        *onePass = read && sections.at(0).found && sections.at(1).found;
    if (!read)
        return {};
    ItemStream checked;
    if (!checked.open(path))
        return QStringLiteral("read in one pass, refused when checked: ") + checked.loadError();
    if (checked.app() != fastApp)
        return QStringLiteral("the app: one pass %1, checked %2")
            .arg(fastApp.value_or(QStringLiteral("(none)")),
                 checked.app().value_or(QStringLiteral("(none)")));
    for (int s = 0; s < 2; ++s) {
        if (!sections.at(s).found)
            continue; // the checked reading reads the root in its place
        QStringList items;
        checked.readSection(names[s], kEveryAttribute, [&](const ItemStream::Item &item) {
            items << describe(item);
            return true;
        });
        if (items != fast[s])
            return QStringLiteral("%1: one pass [%2], checked [%3]")
                .arg(QString::fromLatin1(names[s]), fast[s].join(QStringLiteral(" | ")),
                     items.join(QStringLiteral(" | ")));
    }
    return {};
}

} // namespace IoFixture
