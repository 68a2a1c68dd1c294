// Starts the real program on a private X server with a seeded database: the window shows
// the stored tasks, a second start hands over and ends, and closing the window ends the
// program when no tray is there to hide it in.
#include "E2eSupport.h"
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTest>

using namespace TestSupport;

class TestE2eStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void startShowsSeededTasks();
    void secondStartRestoresFirstAndEnds();
    void closingWithoutTrayEndsProgram();
    void cleanupTestCase();

private:
    QByteArray fileHash(const QString &path) const;

    std::unique_ptr<X11Session> m_session;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<ProgramRun> m_first;
    QString m_window;
};

QByteArray TestE2eStartup::fileHash(const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

void TestE2eStartup::initTestCase()
{
    m_session = std::make_unique<X11Session>();
    if (!m_session->isRunning())
        QSKIP("Xvfb is not available");

    m_folder = std::make_unique<ProgramFolder>();
    m_folder->copyProgramFiles();
    {
        QSqlDatabase db =
            Database::open(m_folder->file(QStringLiteral("wyData.wyb")), QStringLiteral("seed"));
        Row buy{key(1), QStringLiteral("root"), QStringLiteral("Buy milk")};
        buy.expandFlag = true;
        insertTask(db, buy);
        insertTask(db, Row{key(2), key(1), QStringLiteral("Semi-skimmed\r\nTwo bottles")});
        Row paid{key(3), QStringLiteral("root"), QStringLiteral("Pay the rent")};
        paid.checkFlag = true;
        insertTask(db, paid);
        insertTask(db, Row{key(4), QStringLiteral("root"), QStringLiteral("Call Anna")});
        insertTask(db, Row{key(5), key(4), QStringLiteral("hidden child of a collapsed task")});
        insertTask(db, Row{key(6), key(2), QStringLiteral("third level never shows")});
        insertMemo(db, Row{key(7), QStringLiteral("root"), QStringLiteral("Ideas")});
        db.close();
    }
    Database::close(QStringLiteral("seed"));
}

void TestE2eStartup::startShowsSeededTasks()
{
    m_first = std::make_unique<ProgramRun>(*m_session, m_folder->path());
    QVERIFY(m_first->start());
    m_window = m_session->waitForWindow(QStringLiteral("Ploxen Tasklume"));
    QVERIFY2(!m_window.isEmpty(), qPrintable(m_first->output()));

    QByteArray rows;
    for (int i = 0; i < 50 && !rows.contains("Call Anna"); ++i) {
        QTest::qWait(100);
        rows = m_first->request("rows tasks");
    }
    const QList<QByteArray> lines = rows.trimmed().split('\n');
    QVERIFY2(lines.contains("0\tE\tBuy milk"), rows.constData());
    QVERIFY2(lines.contains("1\t\tSemi-skimmed  Two bottles"), rows.constData());
    QVERIFY2(lines.contains("0\tC\tPay the rent"), rows.constData());
    QVERIFY2(lines.contains("0\t\tCall Anna"), rows.constData());
    QVERIFY2(!rows.contains("hidden child"), rows.constData());
    QVERIFY2(!rows.contains("third level"), rows.constData());
    // The child follows its parent.
    QCOMPARE(lines.indexOf("1\t\tSemi-skimmed  Two bottles"), lines.indexOf("0\tE\tBuy milk") + 1);
    QCOMPARE(m_first->request("rows memos").trimmed(), QByteArray("0\t\tIdeas"));
}

void TestE2eStartup::secondStartRestoresFirstAndEnds()
{
    QVERIFY(m_first);
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowminimize"), QStringLiteral("--sync"), m_window});
    QTRY_COMPARE_WITH_TIMEOUT(m_session->mapState(m_window), QStringLiteral("IsUnMapped"), 5000);

    const QByteArray dbBefore = fileHash(m_folder->file(QStringLiteral("wyData.wyb")));
    const QByteArray iniBefore = fileHash(m_folder->file(QStringLiteral("wyConf.ini")));

    ProgramRun second(*m_session, m_folder->path());
    QVERIFY(second.start());
    QVERIFY2(second.waitForEnd(10000), "the second copy did not end");
    QVERIFY2(second.process().exitStatus() == QProcess::NormalExit &&
                 second.process().exitCode() == 0,
             qPrintable(second.output()));

    // The first copy is restored and still running; the second touched no file.
    QTRY_COMPARE_WITH_TIMEOUT(m_session->mapState(m_window), QStringLiteral("IsViewable"), 5000);
    QCOMPARE(m_first->process().state(), QProcess::Running);
    QCOMPARE(fileHash(m_folder->file(QStringLiteral("wyData.wyb"))), dbBefore);
    QCOMPARE(fileHash(m_folder->file(QStringLiteral("wyConf.ini"))), iniBefore);
}

void TestE2eStartup::closingWithoutTrayEndsProgram()
{
    QVERIFY(m_first);
    // Alt+F4 goes to the window the window manager has made active; on a busy machine the
    // activation can still be on its way when the key comes, so the key is pressed again
    // while the window stays on the screen.
    m_session->closeWithKey(m_window);
    QVERIFY2(m_first->waitForEnd(10000), "the program did not end on close");
    QVERIFY2(m_first->process().exitStatus() == QProcess::NormalExit &&
                 m_first->process().exitCode() == 0,
             qPrintable(m_first->output()));

    // The database is whole and still holds every seeded row.
    {
        QSqlDatabase db =
            Database::open(m_folder->file(QStringLiteral("wyData.wyb")), QStringLiteral("check"));
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("PRAGMA integrity_check")));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("ok"));
        QVERIFY(query.exec(QStringLiteral("select count(*) from tasks")));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt(), 6);
    }
    Database::close(QStringLiteral("check"));
}

void TestE2eStartup::cleanupTestCase()
{
    m_first.reset();
    m_session.reset();
}

QTEST_GUILESS_MAIN(TestE2eStartup)
#include "test_e2e_startup.moc"
