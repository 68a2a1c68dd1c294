// The real program on a desktop without a tray, driven with real keys: Close (Ctrl+F12 and
// the File menu) iconifies the window, which stays listed where the desktop lists its
// windows, and a second start brings it back; never a window withdrawn out of reach.
#include "E2eSupport.h"
#include "support/TestSupport.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace TestSupport;

namespace {
const QString kTitle = QStringLiteral("Ploxen Tasklume");
} // namespace

class TestE2eNoTray : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void closeIconifies_data();
    void closeIconifies();
    void cleanupTestCase();

private:
    // Whether the window manager lists the window among the desktop's windows (a task bar
    // shows those).
    bool listed() const;
    void secondStart();

    std::unique_ptr<X11Session> m_session;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<ProgramRun> m_program;
    QString m_window;
};

bool TestE2eNoTray::listed() const
{
    const QString list = m_session->run(
        QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST")});
    const QString hex = QStringLiteral("0x") + QString::number(m_window.toULongLong(), 16);
    return list.split(QRegularExpression(QStringLiteral("[ ,#]+"))).contains(hex);
}

void TestE2eNoTray::secondStart()
{
    ProgramRun second(*m_session, m_folder->path());
    QVERIFY(second.start());
    QVERIFY2(second.waitForEnd(15000), qPrintable(second.output()));
    QCOMPARE(second.process().exitCode(), 0);
}

void TestE2eNoTray::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("xdotool is not available");
    X11Session::Options options;
    options.tray = false;
    m_session = std::make_unique<X11Session>(options);
    if (!m_session->isRunning())
        QSKIP("Xvfb is not available");
    m_folder = std::make_unique<ProgramFolder>();
    m_folder->copyProgramFiles();
    seedDatabase(m_folder->file(QStringLiteral("wyData.wyb")),
                 {Row{key(1), QStringLiteral("root"), QStringLiteral("Water the plants")}});
    m_program = std::make_unique<ProgramRun>(*m_session, m_folder->path());
    QVERIFY(m_program->start());
    m_window = m_session->waitForWindow(kTitle);
    QVERIFY2(!m_window.isEmpty(), qPrintable(m_program->output()));
    QTRY_VERIFY_WITH_TIMEOUT(m_program->request("rows tasks").contains("Water the plants"), 10000);
    QVERIFY(m_session->waitForTrayIcon(QStringLiteral("tasklume"), 300).isEmpty());
}

void TestE2eNoTray::closeIconifies_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("Ctrl+F12 in the list") << QStringList{QStringLiteral("ctrl+F12")};
    QTest::newRow("File, Close") << QStringList{QStringLiteral("alt+f"), QStringLiteral("c")};
    QTest::newRow("Ctrl+F12 again") << QStringList{QStringLiteral("ctrl+F12")};
}

void TestE2eNoTray::closeIconifies()
{
    QFETCH(QStringList, keys);
    QTRY_COMPARE_WITH_TIMEOUT(m_session->mapState(m_window), QStringLiteral("IsViewable"), 5000);
    QVERIFY(m_session->waitUntilActive(m_window));
    // The keys go to the list, where Ctrl+F12 is handled.
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), m_window});
    m_session->keys(keys);
    QTRY_COMPARE_WITH_TIMEOUT(m_session->wmState(m_window), QStringLiteral("Iconic"), 5000);
    QVERIFY(m_session->isReachable(m_window));
    QVERIFY2(listed(), "the window left the desktop's list of windows");
    QCOMPARE(m_program->process().state(), QProcess::Running);

    // A second start is a way back as well.
    secondStart();
    QTRY_COMPARE_WITH_TIMEOUT(m_session->mapState(m_window), QStringLiteral("IsViewable"), 5000);
    QCOMPARE(m_session->wmState(m_window), QStringLiteral("Normal"));
}

void TestE2eNoTray::cleanupTestCase()
{
    m_program.reset();
    m_session.reset();
}

QTEST_GUILESS_MAIN(TestE2eNoTray)
#include "test_e2e_notray.moc"
