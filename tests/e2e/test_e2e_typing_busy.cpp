// Typing into the real window while it is busy, as a quick user does: at once after the
// start (while the memo list is still being read), and right behind a command that keeps the
// window busy on a long list. Every character reaches the editor Enter opened and is stored.
#include "DataSet.h"
#include "E2eSupport.h"
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QSqlQuery>
#include <QTest>

using namespace TestSupport;

namespace {
// Enough rows that the lists take a noticeable time to read and lay out in a test build.
constexpr int kItems = 30000;
} // namespace

class TestE2eTypingBusy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void everyTypedCharacterIsStored_data();
    void everyTypedCharacterIsStored();
    void cleanupTestCase();

private:
    // The stored texts that end as text does (each case ends its text with its own mark).
    QStringList stored(const QString &table, const QString &text);

    std::unique_ptr<X11Session> m_session;
    std::unique_ptr<ProgramFolder> m_folder;
};

void TestE2eTypingBusy::initTestCase()
{
    m_session = std::make_unique<X11Session>();
    if (!m_session->isRunning())
        QSKIP("Xvfb is not available");
    m_folder = std::make_unique<ProgramFolder>();
    m_folder->copyProgramFiles();
    {
        QSqlDatabase db =
            Database::open(m_folder->file(QStringLiteral("wyData.wyb")), QStringLiteral("seed"));
        DataSet::generate(db, DataSet::Options{kItems, kItems, 11, 30});
    }
    Database::close(QStringLiteral("seed"));
}

QStringList TestE2eTypingBusy::stored(const QString &table, const QString &text)
{
    QStringList texts;
    {
        // Read only: the check never waits for a lock the program holds.
        QSqlDatabase db = Database::openExisting(m_folder->file(QStringLiteral("wyData.wyb")),
                                                 QStringLiteral("check"));
        QSqlQuery query(db);
        const QString mark = text.right(2);
        query.prepare(QStringLiteral("select content from ") + table +
                      QStringLiteral(" where substr(content, -length(?)) = ? order by rowid"));
        query.addBindValue(mark);
        query.addBindValue(mark);
        if (query.exec()) {
            while (query.next())
                texts.append(query.value(0).toString());
        }
    }
    Database::close(QStringLiteral("check"));
    return texts;
}

void TestE2eTypingBusy::everyTypedCharacterIsStored_data()
{
    QTest::addColumn<bool>("atStart");
    // xdotool key names sent before Enter: what makes the window busy, or chooses the list.
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("text");

    QTest::newRow("to-do list at start")
        << true << QStringList() << QStringLiteral("tasks") << QStringLiteral("zz fresh task #0");
    QTest::newRow("memo list at start")
        << true << QStringList{QStringLiteral("ctrl+Tab")} << QStringLiteral("memos")
        << QStringLiteral("zz fresh memo #1");
    // Alt+V opens "&View"; E is "&Expand All", L "View &List" (every row laid out anew).
    QTest::newRow("behind Expand All")
        << false << QStringList{QStringLiteral("alt+v"), QStringLiteral("e")}
        << QStringLiteral("tasks") << QStringLiteral("zz after expand #2");
    QTest::newRow("behind View List")
        << false << QStringList{QStringLiteral("alt+v"), QStringLiteral("l")}
        << QStringLiteral("tasks") << QStringLiteral("zz after list view #3");
}

void TestE2eTypingBusy::everyTypedCharacterIsStored()
{
    QFETCH(bool, atStart);
    QFETCH(QStringList, before);
    QFETCH(QString, table);
    QFETCH(QString, text);

    ProgramRun run(*m_session, m_folder->path());
    QVERIFY(run.start());
    const QString window = m_session->waitForWindow(QStringLiteral("Ploxen Tasklume"), 60000);
    QVERIFY2(!window.isEmpty(), qPrintable(run.output()));
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
    QVERIFY(m_session->waitUntilActive(window));
    if (!atStart) {
        // The program has settled: both lists are shown.
        QTRY_VERIFY_WITH_TIMEOUT(run.request("shown memos").trimmed().toInt() > 0, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(run.request("shown tasks").trimmed().toInt() > 0, 60000);
    }

    // All in one go, 10 ms apart, as fast as a quick typist and faster.
    QStringList args{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("10")};
    args << before << QStringLiteral("Return");
    for (const QChar c : text) {
        if (c == QLatin1Char(' '))
            args << QStringLiteral("space");
        else if (c == QLatin1Char('#'))
            args << QStringLiteral("numbersign");
        else
            args << QString(c);
    }
    args << QStringLiteral("ctrl+Return");
    m_session->run(QStringLiteral("xdotool"), args);

    const QByteArray list = table.toUtf8();

    // Stored, whole, once; and no editor left open.
    QTRY_COMPARE_WITH_TIMEOUT(stored(table, text), QStringList{text}, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(run.request("editing " + list), QByteArray("\n"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(run.request("rows " + list).contains(text.toUtf8()), 30000);

    run.process().terminate();
    QVERIFY(run.waitForEnd(30000));
    QCOMPARE(stored(table, text), QStringList{text});
}

void TestE2eTypingBusy::cleanupTestCase()
{
    m_folder.reset();
    m_session.reset();
}

QTEST_GUILESS_MAIN(TestE2eTypingBusy)
#include "test_e2e_typing_busy.moc"
