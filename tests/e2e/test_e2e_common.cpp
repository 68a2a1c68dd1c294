// The common commands in the real program under a window manager: the update prompt at a
// start long after the last visit keeps the window open (even with "Run program minimized")
// and closes by itself, the options dialog and the about box open from the menus, and stay
// on top keeps the window's place and size through the window's re-creation.
#include "common/IniFile.h"
#include "E2eSupport.h"
#include "interchange/XmlDateTime.h"
#include "support/TestSupport.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;

namespace {
const QString kTitle = QStringLiteral("Ploxen Tasklume");
const QString kOption = QStringLiteral("option");
const QString kClass = QStringLiteral("tasklume");
} // namespace

class TestE2eCommon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void promptAtStartKeepsTheWindowOpen();
    void promptClosesByItself();
    void optionsFromTheFileMenu();
    void aboutFromTheHelpMenu();
    void stayOnTopKeepsPlaceAndSize();
    void cleanupTestCase();

private:
    void press(const QString &keys) const;
    // Opens a menu of the main window's menu bar with its Alt key and waits until it shows.
    void openMenu(const QString &keys) const;
    void activateMain() const;
    // The window's frame-independent place and size as xdotool reports them.
    QString geometry(const QString &window) const;
    bool onTop(const QString &window) const;

    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<X11Session> m_session;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<ProgramRun> m_program;
    QString m_window;
    QString m_prompt;
    QString m_visitText;
};

void TestE2eCommon::press(const QString &keys) const
{
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
}

void TestE2eCommon::openMenu(const QString &keys) const
{
    const QStringList before = m_session->shownWindows(kClass);
    press(keys);
    QVERIFY2(!m_session->waitForNewWindow(kClass, before).isEmpty(), qPrintable(keys));
}

void TestE2eCommon::activateMain() const
{
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), m_window});
    QVERIFY(m_session->waitUntilActive(m_window));
}

QString TestE2eCommon::geometry(const QString &window) const
{
    const QString info =
        m_session->run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), window});
    QStringList parts;
    for (const QString &line : info.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1String("Position:")))
            parts.append(trimmed.mid(9).section(QLatin1Char(' '), 1, 1));
        else if (trimmed.startsWith(QLatin1String("Geometry:")))
            parts.append(trimmed.mid(9).trimmed());
    }
    return parts.join(QLatin1Char(' '));
}

bool TestE2eCommon::onTop(const QString &window) const
{
    return m_session
        ->run(QStringLiteral("xprop"),
              {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_STATE")})
        .contains(QStringLiteral("_NET_WM_STATE_ABOVE"));
}

void TestE2eCommon::initTestCase()
{
    // The program must never touch the user's own autostart folder.
    m_config = std::make_unique<QTemporaryDir>();
    QVERIFY(m_config->isValid());
    qputenv("XDG_CONFIG_HOME", m_config->path().toLocal8Bit());
    const bool tray = !QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty();
    m_session = std::make_unique<X11Session>(X11Session::Options{true, tray});
    if (!m_session->isRunning())
        QSKIP("Xvfb is not available");
    m_folder = std::make_unique<ProgramFolder>();
    m_folder->copyProgramFiles();
    const IniFile ini(m_folder->file(QStringLiteral("wyConf.ini")));
    ini.writeString(kOption, QStringLiteral("visitWeb"), DateTimeToXmlText(NowDays() - 100));
    ini.writeBool(kOption, QStringLiteral("runMinimizedEn"), true);
    m_visitText = ini.readString(kOption, QStringLiteral("visitWeb"), QString());
}

void TestE2eCommon::promptAtStartKeepsTheWindowOpen()
{
    m_program = std::make_unique<ProgramRun>(*m_session, m_folder->path());
    QVERIFY(m_program->start());
    m_prompt = m_session->waitForWindow(QStringLiteral("Ploxen Update"));
    QVERIFY2(!m_prompt.isEmpty(), qPrintable(m_program->output()));
    m_window = m_session->waitForWindow(kTitle);
    QVERIFY(!m_window.isEmpty());
    QCOMPARE(m_session->mapState(m_window), QStringLiteral("IsViewable"));
    QCOMPARE(m_session->wmState(m_window), QStringLiteral("Normal"));
}

void TestE2eCommon::promptClosesByItself()
{
    QVERIFY(!m_prompt.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(m_session->mapState(m_prompt) != QStringLiteral("IsViewable"), 15000);
    QCOMPARE(m_session->mapState(m_window), QStringLiteral("IsViewable"));
    // No visit: the time stamp is as it was, the option as the user set it.
    const IniFile ini(m_folder->file(QStringLiteral("wyConf.ini")));
    QCOMPARE(ini.readString(kOption, QStringLiteral("visitWeb"), QString()), m_visitText);
    QCOMPARE(ini.readString(kOption, QStringLiteral("runMinimizedEn"), QString()),
             QStringLiteral("1"));
    QCOMPARE(m_program->process().state(), QProcess::Running);
}

void TestE2eCommon::optionsFromTheFileMenu()
{
    QVERIFY(!m_window.isEmpty());
    activateMain();
    openMenu(QStringLiteral("alt+f"));
    press(QStringLiteral("o"));
    const QString options = m_session->waitForWindow(QStringLiteral("Options"));
    QVERIFY2(!options.isEmpty(), "no options dialog");
    QVERIFY(m_session->waitUntilActive(options));
    press(QStringLiteral("Escape"));
    QTRY_VERIFY_WITH_TIMEOUT(m_session->mapState(options) != QStringLiteral("IsViewable"), 5000);
    QVERIFY(
        !QFile::exists(m_config->path() + QStringLiteral("/autostart/Ploxen Tasklume.desktop")));
}

void TestE2eCommon::aboutFromTheHelpMenu()
{
    QVERIFY(!m_window.isEmpty());
    activateMain();
    openMenu(QStringLiteral("alt+h"));
    press(QStringLiteral("a"));
    const QString about = m_session->waitForWindow(QStringLiteral("About..."));
    QVERIFY2(!about.isEmpty(), "no about box");
    QVERIFY(m_session->waitUntilActive(about));
    press(QStringLiteral("Escape"));
    QTRY_VERIFY_WITH_TIMEOUT(m_session->mapState(about) != QStringLiteral("IsViewable"), 5000);
}

void TestE2eCommon::stayOnTopKeepsPlaceAndSize()
{
    QVERIFY(!m_window.isEmpty());
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowmove"), QStringLiteral("--sync"), m_window,
                    QStringLiteral("120"), QStringLiteral("90")});
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowsize"), QStringLiteral("--sync"), m_window,
                    QStringLiteral("510"), QStringLiteral("540")});
    QTRY_VERIFY_WITH_TIMEOUT(geometry(m_window).endsWith(QStringLiteral("510x540")), 5000);
    const QString placed = geometry(m_window);
    QVERIFY(!onTop(m_window));

    for (const bool on : {true, false}) {
        activateMain();
        openMenu(QStringLiteral("alt+f"));
        // "S&tay on top"
        press(QStringLiteral("t"));
        // The window is made anew with its new style: find it again.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                m_window = m_session->waitForWindow(kTitle, 500);
                return !m_window.isEmpty() && onTop(m_window) == on;
            }(),
            5000);
        QTRY_COMPARE_WITH_TIMEOUT(geometry(m_window), placed, 5000);
        QCOMPARE(m_session->mapState(m_window), QStringLiteral("IsViewable"));
    }
}

void TestE2eCommon::cleanupTestCase()
{
    m_program.reset();
    m_folder.reset();
    m_session.reset();
    qunsetenv("XDG_CONFIG_HOME");
    m_config.reset();
}

QTEST_MAIN(TestE2eCommon)
#include "test_e2e_common.moc"
