// What the real program tells the window manager about its fixed dialogs (options, about,
// due date, reminder, colour, alarm): a dialog window of fixed size whose Motif
// hints allow moving and, except for the alarm window, closing, and nothing else; the
// window manager then offers neither resizing nor maximising.
#include "E2eSupport.h"
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QTest>

using namespace TestSupport;

namespace {
const QString kTitle = QStringLiteral("Ploxen Tasklume");
const QString kClass = QStringLiteral("tasklume");
constexpr TDateTime kSecond = 1.0 / 86400.0;

// The Motif hints' bits.
constexpr uint kFuncResize = 1u << 1;
constexpr uint kFuncMove = 1u << 2;
constexpr uint kFuncMinimize = 1u << 3;
constexpr uint kFuncMaximize = 1u << 4;
constexpr uint kFuncClose = 1u << 5;
constexpr uint kDecorResizeHandle = 1u << 2;
constexpr uint kDecorMinimize = 1u << 5;
constexpr uint kDecorMaximize = 1u << 6;

QString windowProperty(const X11Session &session, const QString &window, const QString &name)
{
    return session.run(QStringLiteral("xprop"), {QStringLiteral("-id"), window, name})
        .section(QLatin1Char('='), 1)
        .trimmed();
}
} // namespace

class TestE2eDialogHints : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void fixedDialogHints_data();
    void fixedDialogHints();
    void cleanupTestCase();

private:
    void keys(const QStringList &names) const;

    std::unique_ptr<X11Session> m_session;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<ProgramRun> m_program;
    QString m_window;
};

void TestE2eDialogHints::keys(const QStringList &names) const
{
    // Every key but the last opens a menu: the next key goes once it shows.
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QStringList before = m_session->shownWindows(kClass);
        m_session->run(QStringLiteral("xdotool"),
                       {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), names.at(i)});
        if (i + 1 < names.size())
            QVERIFY2(!m_session->waitForNewWindow(kClass, before).isEmpty(),
                     qPrintable(names.at(i)));
    }
}

void TestE2eDialogHints::initTestCase()
{
    m_session = std::make_unique<X11Session>();
    if (!m_session->isRunning())
        QSKIP("Xvfb is not available");
    m_folder = std::make_unique<ProgramFolder>();
    m_folder->copyProgramFiles();
    Row dentist{key(2), QStringLiteral("root"), QStringLiteral("Call the dentist")};
    dentist.alarmFlag = true;
    dentist.alarmTime = NowDays() - 60 * kSecond;
    seedDatabase(
        m_folder->file(QStringLiteral("wyData.wyb")),
        {Row{key(1), QStringLiteral("root"), QStringLiteral("Water the plants")}, dentist});
    m_program = std::make_unique<ProgramRun>(*m_session, m_folder->path());
    QVERIFY(m_program->start());
    m_window = m_session->waitForWindow(kTitle);
    QVERIFY2(!m_window.isEmpty(), qPrintable(m_program->output()));
}

void TestE2eDialogHints::fixedDialogHints_data()
{
    QTest::addColumn<QStringList>("openKeys"); // keys to the main window that open it
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("closable");
    QTest::addColumn<QStringList>("closeKeys");
    const QStringList escape{QStringLiteral("Escape")};
    // The alarm comes up by itself at the start; Enter snoozes it.
    QTest::newRow("alarm") << QStringList() << QStringLiteral("Task Reminder") << false
                           << QStringList{QStringLiteral("Return")};
    QTest::newRow("options") << QStringList{QStringLiteral("alt+f"), QStringLiteral("o")}
                             << QStringLiteral("Options") << true << escape;
    QTest::newRow("about") << QStringList{QStringLiteral("alt+h"), QStringLiteral("a")}
                           << QStringLiteral("About...") << true << escape;
    QTest::newRow("due date") << QStringList{QStringLiteral("row"), QStringLiteral("alt+t"),
                                             QStringLiteral("u")}
                              << QStringLiteral("Set Due Date") << true << escape;
    QTest::newRow("reminder") << QStringList{QStringLiteral("row"), QStringLiteral("alt+t"),
                                             QStringLiteral("s")}
                              << QStringLiteral("Set Reminder") << true << escape;
    QTest::newRow("colour") << QStringList{QStringLiteral("row"), QStringLiteral("alt+t"),
                                           QStringLiteral("o")}
                            << QStringLiteral("Set Color") << true << escape;
}

void TestE2eDialogHints::fixedDialogHints()
{
    QFETCH(QStringList, openKeys);
    QFETCH(QString, title);
    QFETCH(bool, closable);
    QFETCH(QStringList, closeKeys);
    QVERIFY(!m_window.isEmpty());
    if (!openKeys.isEmpty()) {
        m_session->run(QStringLiteral("xdotool"),
                       {QStringLiteral("windowactivate"), QStringLiteral("--sync"), m_window});
        if (openKeys.first() == QLatin1String("row")) {
            // The task commands work on the selected task: a click on the first row.
            m_session->run(QStringLiteral("xdotool"),
                           {QStringLiteral("mousemove"), QStringLiteral("--window"), m_window,
                            QStringLiteral("120"), QStringLiteral("92"), QStringLiteral("click"),
                            QStringLiteral("1")});
            // The click and the keys after it reach the program in order.
            openKeys.removeFirst();
        }
        keys(openKeys);
    }
    const QString dialog = m_session->waitForWindow(title);
    QVERIFY2(!dialog.isEmpty(), "the dialog did not open");
    // The window manager has taken the dialog in once it tells what the dialog allows.
    QTRY_VERIFY_WITH_TIMEOUT(
        !windowProperty(*m_session, dialog, QStringLiteral("_NET_WM_ALLOWED_ACTIONS")).isEmpty(),
        5000);

    // What the window manager was told, read before the dialog is closed again.
    const QString type = windowProperty(*m_session, dialog, QStringLiteral("_NET_WM_WINDOW_TYPE"));
    const QStringList motif = windowProperty(*m_session, dialog, QStringLiteral("_MOTIF_WM_HINTS"))
                                  .split(QLatin1Char(','), Qt::SkipEmptyParts);
    const QString hints =
        m_session->run(QStringLiteral("xprop"),
                       {QStringLiteral("-id"), dialog, QStringLiteral("WM_NORMAL_HINTS")});
    const QString actions =
        windowProperty(*m_session, dialog, QStringLiteral("_NET_WM_ALLOWED_ACTIONS"));
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), dialog});
    keys(closeKeys);
    QTRY_VERIFY_WITH_TIMEOUT(m_session->mapState(dialog) != QStringLiteral("IsViewable"), 5000);

    // A dialog window.
    QVERIFY2(type.startsWith(QLatin1String("_NET_WM_WINDOW_TYPE_DIALOG")), qPrintable(type));
    // Motif: flags, functions, decorations.
    QVERIFY2(motif.size() >= 3, qPrintable(motif.join(QLatin1Char(','))));
    bool ok = false;
    const uint flags = motif.at(0).trimmed().toUInt(&ok, 16);
    const uint functions = motif.at(1).trimmed().toUInt(&ok, 16);
    const uint decorations = motif.at(2).trimmed().toUInt(&ok, 16);
    QCOMPARE(flags & 3u, 3u);
    QCOMPARE(functions & (kFuncResize | kFuncMinimize | kFuncMaximize), 0u);
    QVERIFY(functions & kFuncMove);
    QCOMPARE(bool(functions & kFuncClose), closable);
    QCOMPARE(decorations & (kDecorResizeHandle | kDecorMinimize | kDecorMaximize), 0u);
    // A fixed size.
    const QString minimum = hints.section(QStringLiteral("minimum size:"), 1)
                                .section(QLatin1Char('\n'), 0, 0)
                                .trimmed();
    const QString maximum = hints.section(QStringLiteral("maximum size:"), 1)
                                .section(QLatin1Char('\n'), 0, 0)
                                .trimmed();
    QVERIFY2(!minimum.isEmpty() && minimum == maximum, qPrintable(hints));
    // The window manager offers neither resizing nor maximising.
    QVERIFY2(!actions.contains(QLatin1String("RESIZE")) &&
                 !actions.contains(QLatin1String("MAXIMIZE")),
             qPrintable(actions));
}

void TestE2eDialogHints::cleanupTestCase()
{
    m_program.reset();
    m_folder.reset();
    m_session.reset();
}

QTEST_GUILESS_MAIN(TestE2eDialogHints)
#include "test_e2e_dialoghints.moc"
