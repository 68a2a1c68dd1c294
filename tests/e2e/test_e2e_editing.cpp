// A user at the keyboard: adds a task (Enter, typing, Ctrl+Enter) and marks it complete with
// Space; on the memo tab adds a memo and a child memo; then the program restarts with the
// view settings it was left with.
#include "E2eSupport.h"
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

using namespace TestSupport;

class TestE2eEditing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void addTaskAndCompleteIt();
    void addMemoAndChildMemo();
    void viewSettingsSurviveRestart();
    void cleanupTestCase();

private:
    void keys(const QStringList &names);
    void type(const QByteArray &list, const QString &text);
    QVariantList row(const QString &sql);
    QByteArray waitForRows(const QByteArray &list, const QByteArray &needle);
    void startProgram();
    void exitProgram();

    std::unique_ptr<X11Session> m_session;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<ProgramRun> m_run;
    QString m_window;
};

void TestE2eEditing::initTestCase()
{
    m_session = std::make_unique<X11Session>();
    if (!m_session->isRunning())
        QSKIP("Xvfb is not available");
    m_folder = std::make_unique<ProgramFolder>();
    m_folder->copyProgramFiles();
    startProgram();
}

void TestE2eEditing::startProgram()
{
    m_run = std::make_unique<ProgramRun>(*m_session, m_folder->path());
    QVERIFY(m_run->start());
    m_window = m_session->waitForWindow(QStringLiteral("Ploxen Tasklume"));
    QVERIFY2(!m_window.isEmpty(), qPrintable(m_run->output()));
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), m_window});
    QTRY_COMPARE_WITH_TIMEOUT(
        m_session->run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}), m_window,
        5000);
}

void TestE2eEditing::exitProgram()
{
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), m_window,
                    QStringLiteral("key"), QStringLiteral("--clearmodifiers"),
                    QStringLiteral("alt+F4")});
    QVERIFY2(m_run->waitForEnd(10000), "the program did not end");
}

void TestE2eEditing::keys(const QStringList &names)
{
    QStringList args{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60")};
    args += names;
    // The keys reach the active window in order; each step then waits for what it changed.
    m_session->run(QStringLiteral("xdotool"), args);
}

void TestE2eEditing::type(const QByteArray &list, const QString &text)
{
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
    // Every letter is in the list's open editor.
    QTRY_COMPARE_WITH_TIMEOUT(m_run->request("editing " + list), text.toUtf8() + '\n', 10000);
}

QVariantList TestE2eEditing::row(const QString &sql)
{
    QVariantList values;
    {
        QSqlDatabase db = Database::open(m_folder->file(QStringLiteral("wyData.wyb")),
                                         QStringLiteral("check"));
        QSqlQuery query(db);
        if (query.exec(sql) && query.next()) {
            for (int i = 0; i < query.record().count(); ++i)
                values.append(query.value(i));
        }
    }
    Database::close(QStringLiteral("check"));
    return values;
}

QByteArray TestE2eEditing::waitForRows(const QByteArray &list, const QByteArray &needle)
{
    QByteArray rows;
    for (int i = 0; i < 50 && !rows.contains(needle); ++i) {
        rows = m_run->request("rows " + list);
        if (!rows.contains(needle))
            QTest::qWait(100);
    }
    return rows;
}

void TestE2eEditing::addTaskAndCompleteIt()
{
    keys({QStringLiteral("Return")});
    type("tasks", QStringLiteral("Water the plants"));
    keys({QStringLiteral("ctrl+Return")});
    const QByteArray rows = waitForRows("tasks", "Water the plants");
    QVERIFY2(rows.contains("0\t\tWater the plants"), rows.constData());

    keys({QStringLiteral("space")});
    QVERIFY2(waitForRows("tasks", "0\tC\tWater").contains("0\tC\tWater the plants"),
             m_run->request("rows tasks").constData());
    const QVariantList stored = row(QStringLiteral(
        "select content, checkFlag, length(tid), pid from tasks where content='Water the plants'"));
    QCOMPARE(stored.size(), 4);
    QCOMPARE(stored.at(1).toInt(), 1);
    QCOMPARE(stored.at(2).toInt(), 38);
    QCOMPARE(stored.at(3).toString(), QStringLiteral("root"));
}

void TestE2eEditing::addMemoAndChildMemo()
{
    // The memo tab, by keyboard: Ctrl+Tab switches tabs.
    keys({QStringLiteral("ctrl+Tab")});
    keys({QStringLiteral("Return")});
    type("memos", QStringLiteral("Holiday ideas"));
    keys({QStringLiteral("ctrl+Return")});
    QVERIFY(waitForRows("memos", "Holiday ideas").contains("0\t\tHoliday ideas"));
    keys({QStringLiteral("ctrl+Return")}); // a child of the selected memo
    type("memos", QStringLiteral("Lisbon in May"));
    keys({QStringLiteral("ctrl+Return")});
    const QByteArray rows = waitForRows("memos", "Lisbon");
    QVERIFY2(rows.contains("0\tE\tHoliday ideas\n1\t\tLisbon in May"), rows.constData());

    const QVariantList parent =
        row(QStringLiteral("select mid, assignTime, createTime from memos where content='Holiday ideas'"));
    QCOMPARE(parent.size(), 3);
    QCOMPARE(parent.at(1).toDouble(), parent.at(2).toDouble());
    QCOMPARE(row(QStringLiteral("select pid from memos where content='Lisbon in May'")).value(0),
             parent.at(0));
}

void TestE2eEditing::viewSettingsSurviveRestart()
{
    keys({QStringLiteral("ctrl+shift+Tab")}); // back to the to-do list
    // List view through the menu: Alt+V opens "&View", L picks "View &List".
    keys({QStringLiteral("alt+v"), QStringLiteral("l")});
    QVERIFY(waitForRows("tasks", "1. Water").contains("0\tC\t1. Water the plants"));
    exitProgram();
    startProgram();
    const QByteArray rows = waitForRows("tasks", "1. Water");
    QVERIFY2(rows.contains("0\tC\t1. Water the plants"), rows.constData());
    exitProgram();
}

void TestE2eEditing::cleanupTestCase()
{
    m_run.reset();
    m_session.reset();
}

QTEST_GUILESS_MAIN(TestE2eEditing)
#include "test_e2e_editing.moc"
