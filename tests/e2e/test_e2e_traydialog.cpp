// The real program's tray menu while one of its modal dialogs is open: a right click on
// the icon still shows the menu, its commands still work, and "E&xit" stores the edit the
// user left open and ends the program cleanly.
#include "E2eSupport.h"
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>

using namespace TestSupport;

namespace {
const QString kTitle = QStringLiteral("Ploxen Tasklume");
const QString kClass = QStringLiteral("tasklume");
} // namespace

class TestE2eTrayDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void trayMenuWorksWhileADialogIsOpen_data();
    void trayMenuWorksWhileADialogIsOpen();
    void cleanupTestCase();

private:
    void keys(const QStringList &names) const;
    QStringList shownWindows() const;
    QString storedTask(const QString &content) const;

    std::unique_ptr<X11Session> m_session;
    std::unique_ptr<ProgramFolder> m_folder;
};

void TestE2eTrayDialog::keys(const QStringList &names) const
{
    QStringList args{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60")};
    args += names;
    // The keys reach the active window in order; each step then waits for what it changed.
    m_session->run(QStringLiteral("xdotool"), args);
}

QStringList TestE2eTrayDialog::shownWindows() const
{
    return m_session->shownWindows(kClass);
}

QString TestE2eTrayDialog::storedTask(const QString &content) const
{
    QString found;
    {
        QSqlDatabase db = Database::open(m_folder->file(QStringLiteral("wyData.wyb")),
                                         QStringLiteral("check"));
        QSqlQuery query(db);
        query.prepare(QStringLiteral("select content from tasks where content = ?"));
        query.addBindValue(content);
        if (query.exec() && query.next())
            found = query.value(0).toString();
    }
    Database::close(QStringLiteral("check"));
    return found;
}

void TestE2eTrayDialog::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty())
        QSKIP("trayer is not available");
    m_session = std::make_unique<X11Session>(X11Session::Options{true, true});
    if (!m_session->isRunning())
        QSKIP("Xvfb is not available");
    m_folder = std::make_unique<ProgramFolder>();
    m_folder->copyProgramFiles();
    seedDatabase(m_folder->file(QStringLiteral("wyData.wyb")),
                 {Row{key(1), QStringLiteral("root"), QStringLiteral("Water the plants")}});
}

void TestE2eTrayDialog::trayMenuWorksWhileADialogIsOpen_data()
{
    QTest::addColumn<QStringList>("openKeys"); // the keys that open the dialog
    QTest::addColumn<QString>("dialogTitle");
    QTest::newRow("options") << QStringList{QStringLiteral("alt+f"), QStringLiteral("o")}
                             << QStringLiteral("Options");
    QTest::newRow("about") << QStringList{QStringLiteral("alt+h"), QStringLiteral("a")}
                           << QStringLiteral("About...");
}

void TestE2eTrayDialog::trayMenuWorksWhileADialogIsOpen()
{
    QFETCH(QStringList, openKeys);
    QFETCH(QString, dialogTitle);
    QVERIFY(m_session && m_folder);
    ProgramRun program(*m_session, m_folder->path());
    QVERIFY(program.start());
    const QString window = m_session->waitForWindow(kTitle);
    QVERIFY2(!window.isEmpty(), qPrintable(program.output()));
    const QString icon = m_session->waitForTrayIcon(kClass);
    QVERIFY2(!icon.isEmpty(), "no icon in the tray");
    QTRY_VERIFY_WITH_TIMEOUT(program.request("rows tasks").contains("Water the plants"), 10000);

    // A task being typed, not finished with Ctrl+Enter (opening the menu then stores it).
    const QString typed = QStringLiteral("Typed while %1 opened").arg(QLatin1String(QTest::currentDataTag()));
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
    keys({QStringLiteral("Return")});
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), typed});
    QTRY_COMPARE_WITH_TIMEOUT(program.request("editing tasks"), typed.toUtf8() + '\n', 10000);

    const QStringList beforeMenu = shownWindows();
    keys({openKeys.at(0)});
    QVERIFY2(!m_session->waitForNewWindow(kClass, beforeMenu).isEmpty(), "no menu");
    keys({openKeys.at(1)});
    const QString dialog = m_session->waitForWindow(dialogTitle);
    QVERIFY2(!dialog.isEmpty(), "the dialog did not open");

    // The tray's menu comes up over the dialog.
    const QStringList before = shownWindows();
    m_session->click(icon, 3);
    QStringList added;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            added.clear();
            for (const QString &id : shownWindows()) {
                if (!before.contains(id))
                    added.append(id);
            }
            return !added.isEmpty();
        }(),
        5000);

    // "E&xit": the dialog is cancelled, the program ends cleanly, the task is kept.
    keys({QStringLiteral("x")});
    QVERIFY2(program.waitForEnd(10000), "the program did not end on Exit");
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process().exitCode(), 0);
    QCOMPARE(storedTask(typed), typed);
}

void TestE2eTrayDialog::cleanupTestCase()
{
    m_folder.reset();
    m_session.reset();
}

QTEST_GUILESS_MAIN(TestE2eTrayDialog)
#include "test_e2e_traydialog.moc"
