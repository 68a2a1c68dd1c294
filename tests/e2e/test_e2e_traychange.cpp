// The real program under a tray that comes and goes (a panel started after log-in, a
// panel that restarts): the icon appears in a tray that starts after the program, the
// window goes into it, comes back by itself when the tray ends while the window is hidden
// there, and the icon returns with the tray.
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

class TestE2eTrayChange : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void hideBehindTheIcon();
    void trayEndingBringsTheHiddenWindowBack();
    void trayStartingAfterTheProgramGetsTheIcon();
    void cleanupTestCase();

private:
    bool isHidden() const;
    bool isReachable() const;
    void closeWindow() const;
    void startProgram();

    std::unique_ptr<X11Session> m_session;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<ProgramRun> m_program;
    QString m_window;
};

bool TestE2eTrayChange::isHidden() const
{
    return m_session->isHiddenInTray(m_window);
}

bool TestE2eTrayChange::isReachable() const
{
    return m_session->isReachable(m_window);
}

void TestE2eTrayChange::closeWindow() const
{
    m_session->closeWithKey(m_window);
}

void TestE2eTrayChange::startProgram()
{
    m_program = std::make_unique<ProgramRun>(*m_session, m_folder->path());
    QVERIFY(m_program->start());
    m_window = m_session->waitForWindow(kTitle);
    QVERIFY2(!m_window.isEmpty(), qPrintable(m_program->output()));
    QTRY_VERIFY_WITH_TIMEOUT(m_program->request("rows tasks").contains("Water the plants"), 10000);
}

void TestE2eTrayChange::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty())
        QSKIP("trayer is not available");
    m_session = std::make_unique<X11Session>();
    if (!m_session->isRunning())
        QSKIP("Xvfb is not available");
    m_folder = std::make_unique<ProgramFolder>();
    m_folder->copyProgramFiles();
    seedDatabase(m_folder->file(QStringLiteral("wyData.wyb")),
                 {Row{key(1), QStringLiteral("root"), QStringLiteral("Water the plants")}});
}

void TestE2eTrayChange::hideBehindTheIcon()
{
    QVERIFY(m_session->startTray());
    startProgram();
    QVERIFY2(!m_session->waitForTrayIcon(kClass).isEmpty(), "no icon in the tray");
    closeWindow();
    QTRY_VERIFY_WITH_TIMEOUT(isHidden(), 5000);
    QCOMPARE(m_program->process().state(), QProcess::Running);
}

void TestE2eTrayChange::trayEndingBringsTheHiddenWindowBack()
{
    QVERIFY(!m_window.isEmpty());
    QVERIFY(isHidden());
    // The panel ends (restarts, or its tray is switched off).
    m_session->stopTray();
    QTRY_VERIFY_WITH_TIMEOUT(isReachable(), 10000);
    QCOMPARE(m_program->process().state(), QProcess::Running);
    QVERIFY(m_program->request("rows tasks").contains("Water the plants"));
}

void TestE2eTrayChange::trayStartingAfterTheProgramGetsTheIcon()
{
    // A new start while no tray is there (a start at log-in before the panel).
    m_program.reset();
    startProgram();
    QVERIFY(m_session->waitForTrayIcon(kClass, 500).isEmpty());

    QVERIFY(m_session->startTray());
    // No hide is needed for the icon to turn up.
    const QString icon = m_session->waitForTrayIcon(kClass, 10000);
    QVERIFY2(!icon.isEmpty(), "no icon in the tray that started after the program");
    QCOMPARE(m_session->mapState(m_window), QStringLiteral("IsViewable"));

    // The window now hides behind that icon, which opens it again.
    closeWindow();
    QTRY_VERIFY_WITH_TIMEOUT(isHidden(), 5000);
    m_session->click(icon, 1);
    QTRY_COMPARE_WITH_TIMEOUT(m_session->mapState(m_window), QStringLiteral("IsViewable"), 5000);
}

void TestE2eTrayChange::cleanupTestCase()
{
    m_program.reset();
    m_session.reset();
}

QTEST_GUILESS_MAIN(TestE2eTrayChange)
#include "test_e2e_traychange.moc"
