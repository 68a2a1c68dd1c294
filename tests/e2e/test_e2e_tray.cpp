// The real program on a private X server with a tray (trayer): closing and minimising hide
// the window behind the tray icon while the program keeps running, a second start shows
// nothing while it is hidden, a click on the icon and the tray menu bring it back, F1 opens
// the help, and the tray menu's "E&xit" ends the program.
#include "common/IniFile.h"
#include "E2eSupport.h"
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QStandardPaths>
#include <QTest>

using namespace TestSupport;

namespace {
const QString kTitle = QStringLiteral("Ploxen Tasklume");
const QString kClass = QStringLiteral("tasklume");
} // namespace

class TestE2eTray : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void startPutsAnIconIntoTheTray();
    void closeHidesBehindTheIcon();
    void secondStartShowsNothingWhileHidden();
    void clickOnTheIconBringsTheWindowBack();
    void minimiseHidesBehindTheIcon();
    void trayMenuOpensTheWindow();
    void f1OpensTheHelp();
    void exitFromTheTrayMenuEndsTheProgram();
    void cleanupTestCase();

private:
    bool isHidden() const;
    void press(const QString &keys) const;

    std::unique_ptr<X11Session> m_session;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<ProgramRun> m_program;
    QString m_window;
    QString m_icon;
};

bool TestE2eTray::isHidden() const
{
    // Hidden in the tray: not on the screen, and not left iconified on a task bar either.
    return m_session->mapState(m_window) == QStringLiteral("IsUnMapped") &&
           m_session->wmState(m_window) != QStringLiteral("Iconic");
}

void TestE2eTray::press(const QString &keys) const
{
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
}

void TestE2eTray::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty())
        QSKIP("trayer is not available");
    m_session = std::make_unique<X11Session>(X11Session::Options{true, true});
    if (!m_session->isRunning())
        QSKIP("Xvfb is not available");

    m_folder = std::make_unique<ProgramFolder>();
    m_folder->copyProgramFiles();
    QFile::copy(qEnvironmentVariable("TASKLUME_PROGRAM_DIR") +
                    QStringLiteral("/Tasklume-help.html"),
                m_folder->file(QStringLiteral("Tasklume-help.html")));
    {
        QSqlDatabase db =
            Database::open(m_folder->file(QStringLiteral("wyData.wyb")), QStringLiteral("seed"));
        insertTask(db, Row{key(1), QStringLiteral("root"), QStringLiteral("Water the plants")});
        insertTask(db, Row{key(2), QStringLiteral("root"), QStringLiteral("Call the plumber")});
        Row done{key(3), QStringLiteral("root"), QStringLiteral("Buy stamps")};
        done.checkFlag = true;
        insertTask(db, done);
        insertMemo(db, Row{key(4), QStringLiteral("root"), QStringLiteral("Door code 4711")});
        db.close();
    }
    Database::close(QStringLiteral("seed"));
}

void TestE2eTray::startPutsAnIconIntoTheTray()
{
    m_program = std::make_unique<ProgramRun>(*m_session, m_folder->path());
    QVERIFY(m_program->start());
    m_window = m_session->waitForWindow(kTitle);
    QVERIFY2(!m_window.isEmpty(), qPrintable(m_program->output()));
    m_icon = m_session->waitForTrayIcon(QStringLiteral("tasklume"));
    QVERIFY2(!m_icon.isEmpty(), "no icon in the tray");
    QTRY_VERIFY_WITH_TIMEOUT(m_program->request("rows tasks").contains("Call the plumber"), 10000);
}

void TestE2eTray::closeHidesBehindTheIcon()
{
    QVERIFY(!m_window.isEmpty());
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), m_window,
                    QStringLiteral("key"), QStringLiteral("--clearmodifiers"),
                    QStringLiteral("alt+F4")});
    QTRY_VERIFY_WITH_TIMEOUT(isHidden(), 5000);
    // Still answering (so past the close), and still running.
    QVERIFY(m_program->request("rows memos").contains("Door code 4711"));
    QCOMPARE(m_program->process().state(), QProcess::Running);
    // The window's place was saved when it went.
    const IniFile ini(m_folder->file(QStringLiteral("wyConf.ini")));
    QCOMPARE(ini.readInteger(QStringLiteral("form"), QStringLiteral("Saved"), 0), 1);
}

void TestE2eTray::secondStartShowsNothingWhileHidden()
{
    QVERIFY(!m_window.isEmpty());
    ProgramRun second(*m_session, m_folder->path());
    QVERIFY(second.start());
    QVERIFY2(second.waitForEnd(10000), "the second copy did not end");
    QCOMPARE(second.process().exitCode(), 0);
    // Nothing may happen, so there is nothing to wait for: give a wrongly shown window the
    // time the window manager takes to map it, then look.
    QTest::qWait(500);
    QVERIFY(isHidden());
    QCOMPARE(m_program->process().state(), QProcess::Running);
}

void TestE2eTray::clickOnTheIconBringsTheWindowBack()
{
    QVERIFY(!m_icon.isEmpty());
    m_session->click(m_icon, 1);
    QTRY_COMPARE_WITH_TIMEOUT(m_session->mapState(m_window), QStringLiteral("IsViewable"), 5000);
    QCOMPARE(m_session->wmState(m_window), QStringLiteral("Normal"));
}

void TestE2eTray::minimiseHidesBehindTheIcon()
{
    QVERIFY(!m_window.isEmpty());
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowminimize"), QStringLiteral("--sync"), m_window});
    // Not iconified on a task bar: withdrawn behind the icon.
    QTRY_VERIFY_WITH_TIMEOUT(isHidden() && m_session->wmState(m_window).isEmpty(), 5000);
    // It stays hidden: nothing to wait for, so give a wrong map the window manager's time.
    QTest::qWait(500);
    QVERIFY(isHidden());
    QCOMPARE(m_program->process().state(), QProcess::Running);
}

void TestE2eTray::trayMenuOpensTheWindow()
{
    QVERIFY(!m_icon.isEmpty());
    const QStringList before = m_session->shownWindows(kClass);
    m_session->click(m_icon, 3);
    QVERIFY2(!m_session->waitForNewWindow(kClass, before).isEmpty(), "no tray menu");
    // "&Open Ploxen Tasklume"
    press(QStringLiteral("o"));
    QTRY_COMPARE_WITH_TIMEOUT(m_session->mapState(m_window), QStringLiteral("IsViewable"), 5000);
    QCOMPARE(m_session->wmState(m_window), QStringLiteral("Normal"));
}

void TestE2eTray::f1OpensTheHelp()
{
    QVERIFY(!m_window.isEmpty());
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), m_window});
    press(QStringLiteral("F1"));
    const QString help = m_session->waitForWindow(QStringLiteral("Help \u2014 Ploxen Tasklume"));
    QVERIFY2(!help.isEmpty(), "F1 opened no help window");
    QVERIFY(m_session->waitUntilActive(help));
    press(QStringLiteral("Escape"));
    // Closed (and gone), the main window still there.
    QTRY_VERIFY_WITH_TIMEOUT(m_session->mapState(help) != QStringLiteral("IsViewable"), 5000);
    QCOMPARE(m_session->mapState(m_window), QStringLiteral("IsViewable"));
}

void TestE2eTray::exitFromTheTrayMenuEndsTheProgram()
{
    QVERIFY(!m_icon.isEmpty());
    // Exit works whether the window is shown or hidden; hide it first, as a user would
    // who lives in the tray.
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), m_window,
                    QStringLiteral("key"), QStringLiteral("--clearmodifiers"),
                    QStringLiteral("alt+F4")});
    QTRY_VERIFY_WITH_TIMEOUT(isHidden(), 5000);
    const QStringList before = m_session->shownWindows(kClass);
    m_session->click(m_icon, 3);
    QVERIFY2(!m_session->waitForNewWindow(kClass, before).isEmpty(), "no tray menu");
    // "E&xit"
    press(QStringLiteral("x"));
    QVERIFY2(m_program->waitForEnd(10000), "the program did not end on Exit");
    QVERIFY2(m_program->process().exitStatus() == QProcess::NormalExit &&
                 m_program->process().exitCode() == 0,
             qPrintable(m_program->output()));
    // Nobody answers any more.
    QVERIFY(m_program->request("rows tasks").isEmpty());
}

void TestE2eTray::cleanupTestCase()
{
    m_program.reset();
    m_session.reset();
}

QTEST_GUILESS_MAIN(TestE2eTray)
#include "test_e2e_tray.moc"
