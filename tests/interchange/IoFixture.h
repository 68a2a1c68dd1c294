// Fixtures of the interchange tests: databases in a temporary folder, the rows of a table as
// plain values, container files made from XML text, and a scripted restore question.
#pragma once

#include "interchange/Interchange.h"

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <deque>
#include <memory>

namespace IoFixture {

// A database file in its own temporary folder, opened under a connection of its own.
class TestDb
{
public:
    // inMemory: the database lives in memory and files go to /dev/shm when there is one
    // (the fuzz run, which makes many small runs).
    explicit TestDb(bool inMemory = false);
    ~TestDb();
    TestDb(const TestDb &) = delete;
    TestDb &operator=(const TestDb &) = delete;

    QSqlDatabase db() const { return m_db; }
    QString path() const { return m_path; }
    // A file name in the same folder.
    QString file(const QString &name) const;

    // Every row of a table, ordered by key; column names as keys.
    QList<QVariantMap> rows(const QString &table) const;
    QVariantMap row(const QString &table, const QString &key) const;
    int count(const QString &table) const;
    void exec(const QString &statement) const;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    QString m_connection;
    QSqlDatabase m_db;
};

// A container file holding the given XML text.
void writeContainer(const QString &path, const QByteArray &xml);
// A document with the given items inside the usual root and sections.
QByteArray document(const QByteArray &memos, const QByteArray &tasks,
                    const QByteArray &app = QByteArrayLiteral("Tasklume"));
// One memo or task element; unnamed attributes keep sensible values, and an attribute
// given as "-name" is left out.
QByteArray memo(const QString &mid, const QString &pid, const QStringList &changes = {});
QByteArray task(const QString &tid, const QString &pid, const QStringList &changes = {});

// The items of both sections as the one-pass reading (ItemStream::readAll) gives them,
// against the checked reading (ItemStream::open and readSection). Empty when they agree or
// the one pass left the file alone; otherwise what differs. onePass receives whether the
// one pass read the whole file with both sections.
QString onePassDifference(const QString &path, bool *onePass = nullptr);

// Answers the restore's questions from a script and records what it was asked.
class ScriptedAsker : public Interchange::ReplaceAsker
{
public:
    explicit ScriptedAsker(std::deque<Interchange::Answer> answers = {})
        : m_answers(std::move(answers))
    {}
    Interchange::Answer ask(const Interchange::ReplaceQuestion &question) override;

    QList<Interchange::ReplaceQuestion> asked;

private:
    std::deque<Interchange::Answer> m_answers;
};

// Collects the messages a run shows.
struct Messages
{
    QStringList shown;
    Interchange::MessageSink sink()
    {
        return [this](const QString &text) { shown.append(text); };
    }
};

// Sets the process's time zone (TZ) until the scope ends.
class ZoneScope
{
public:
    explicit ZoneScope(const char *zone);
    ~ZoneScope();

private:
    QByteArray m_old;
    bool m_had;
};

// Wall-clock seconds of a day count (for comparing to the second); -1 for no value.
qint64 seconds(const QVariant &days);

} // namespace IoFixture
