#include "DataSet.h"

#include "common/pU_Funcs.h"
#include "interchange/WyxContainer.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <cmath>

namespace {

const char *const kVerbs[] = {"Call",  "Email", "Review", "Prepare",   "Fix",
                              "Buy",   "Plan",  "Write",  "Check",     "Book",
                              "Pay",   "Send",  "Update", "Clean",     "Organise",
                              "Renew", "Print", "Return", "Ask about", "Finish"};
const char *const kObjects[] = {"the quarterly report", "dentist appointment",
                                "car insurance",        "birthday present for Anna",
                                "kitchen tap",          "train tickets",
                                "project budget",       "meeting notes",
                                "garden hose",          "tax forms",
                                "library books",        "server backups",
                                "team lunch",           "passport",
                                "electricity bill",     "holiday photos",
                                "presentation slides",  "café reservation",
                                "Müller invoice",       "résumé draft",
                                "contract with Łukasz", "東京 trip itinerary",
                                "Ελληνικά lessons"};
const char *const kDetails[] = {"before Friday",
                                "with Tom",
                                "after lunch",
                                "if it rains",
                                "— see the email from Monday",
                                "(urgent)",
                                "next week",
                                "and keep the receipt",
                                "call back if busy",
                                "for the office"};

QString sentence(QRandomGenerator &rng)
{
    QString text = QString::fromUtf8(kVerbs[rng.bounded(int(std::size(kVerbs)))]) +
                   QLatin1Char(' ') +
                   QString::fromUtf8(kObjects[rng.bounded(int(std::size(kObjects)))]);
    if (rng.bounded(2) == 0)
        text +=
            QLatin1Char(' ') + QString::fromUtf8(kDetails[rng.bounded(int(std::size(kDetails)))]);
    return text;
}

QString content(QRandomGenerator &rng)
{
    QString text = sentence(rng);
    const int roll = rng.bounded(10);
    if (roll == 0) // a few lines of notes
        text += QStringLiteral("\r\n") + sentence(rng) + QStringLiteral("\r\n") + sentence(rng);
    else if (roll < 3)
        text += QStringLiteral(". ") + sentence(rng) + QLatin1Char('.');
    return text;
}

void exec(QSqlQuery &query)
{
    if (!query.exec())
        throw TasklumeError(query.lastError().text());
}

} // namespace

void DataSet::generate(QSqlDatabase db, const Options &options)
{
    QRandomGenerator rng(options.seed);
    const int tasks = options.tasks;
    const int memos = options.memos;
    const int expandedPercent = options.expandedPercent;
    if (!db.transaction())
        throw TasklumeError(db.lastError().text());
    QSqlQuery query(db);
    const TDateTime now = NowDays();

    // Tasks: four fifths top-level, the rest children spread over the top-level ones.
    const int taskTop = tasks - tasks / 5;
    QStringList taskKeys;
    taskKeys.reserve(taskTop);
    query.prepare(QStringLiteral(
        "insert into tasks (tid, pid, content, checkFlag, dueFlag, alarmFlag, expandFlag, "
        "textColor, backgroundColor, createTime, editTime, checkTime, alarmTime, dueTime) "
        "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (int i = 0; i < tasks; ++i) {
        const bool top = i < taskTop || taskKeys.isEmpty();
        const QString key = NewRowKey();
        const QString pid =
            top ? QStringLiteral("root") : taskKeys.at(rng.bounded(int(taskKeys.size())));
        const TDateTime created = now - rng.bounded(2000) / 10.0;
        const bool checked = rng.bounded(3) == 0;
        const bool due = rng.bounded(5) == 0;
        const bool alarm = rng.bounded(100) == 0;
        query.bindValue(0, key);
        query.bindValue(1, pid);
        query.bindValue(2, content(rng));
        query.bindValue(3, checked);
        query.bindValue(4, due);
        query.bindValue(5, alarm);
        query.bindValue(6, top && int(rng.bounded(100)) < expandedPercent);
        query.bindValue(7, rng.bounded(20) == 0 ? 0x000000C0 : 0);
        query.bindValue(8, rng.bounded(25) == 0 ? 0x00E0F0FF : 0);
        query.bindValue(9, created);
        query.bindValue(10, created + rng.bounded(100) / 100.0);
        query.bindValue(11, checked ? QVariant(created + 1) : QVariant());
        query.bindValue(12, alarm ? QVariant(now + rng.bounded(1000) / 10.0) : QVariant());
        query.bindValue(13, due ? QVariant(std::floor(now) + rng.bounded(60) - 20) : QVariant());
        exec(query);
        if (top)
            taskKeys.append(key);
    }

    const int memoTop = memos - memos / 5;
    QStringList memoKeys;
    query.prepare(QStringLiteral("insert into memos (mid, pid, content, expandFlag, "
                                 "assignTime, createTime, editTime) values (?, ?, ?, ?, ?, ?, ?)"));
    for (int i = 0; i < memos; ++i) {
        const bool top = i < memoTop || memoKeys.isEmpty();
        const QString key = NewRowKey();
        const TDateTime created = now - rng.bounded(2000) / 10.0;
        query.bindValue(0, key);
        query.bindValue(1, top ? QStringLiteral("root")
                               : memoKeys.at(rng.bounded(int(memoKeys.size()))));
        query.bindValue(2, content(rng));
        query.bindValue(3, top && int(rng.bounded(100)) < expandedPercent);
        query.bindValue(4, rng.bounded(4) == 0 ? QVariant() : QVariant(created));
        query.bindValue(5, created);
        query.bindValue(6, created);
        exec(query);
        if (top)
            memoKeys.append(key);
    }
    if (!db.commit())
        throw TasklumeError(db.lastError().text());
}

bool DataSet::writeHostileFile(const QString &path, int mebibytes, bool oneAttribute)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    WyxContainer::Writer writer(out);
    const QByteArray head =
        "<ploxen app=\"Tasklume\" appversion=\"1\" dataversion=\"1.1\" "
        "time=\"2024-01-01T00:00:00.000Z\"><tasks><task tid=\"{T}\" pid=\"root\" "
        "content=\"kept\" check-flag=\"False\" alarm-flag=\"False\" due-flag=\"False\" "
        "text-color=\"\" background-color=\"\" create-time=\"2024-01-01T00:00:00.000Z\" "
        "edit-time=\"2024-01-01T00:00:00.000Z\" check-time=\"1899-12-30T00:00:00.000Z\" "
        "alarm-time=\"1899-12-30T00:00:00.000Z\" due-time=\"1899-12-30T00:00:00.000Z\"/>"
        "</tasks><memos/><notes>" +
        QByteArray(oneAttribute ? "<a b=\"" : "");
    const QByteArray piece =
        QByteArray(oneAttribute ? "x" : "<a/>").repeated(oneAttribute ? 1 << 20 : 1 << 18); // 1 MiB
    const QByteArray tail = QByteArray(oneAttribute ? "\"/>" : "") + "</notes><peers/></ploxen>";
    bool ok = writer.begin() && writer.write(head.constData(), head.size());
    for (int i = 0; ok && i < mebibytes; ++i)
        ok = writer.write(piece.constData(), piece.size());
    return ok && writer.write(tail.constData(), tail.size()) && writer.finish();
}
