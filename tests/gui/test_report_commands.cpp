// The report commands of both lists on a real database: save with the filter-driven
// extension, Save All's selection, the write failure, the pending edit, the e-mail command
// (which makes a missing "Temp" folder again) with a stand-in xdg-email that records its
// arguments, and printing to PDF read back with pdftotext.
#include "app/ItemListCommands.h"
#include "common/Reports.h"
#include "components/WySndMsg.h"
#include "gui/DialogDriver.h"
#include "MailStandIn.h"
#include "memos/Fr_wyMemos.h"
#include "storage/Database.h"
#include "support/FakeFrameHost.h"
#include "support/TestSupport.h"
#include "tasks/Fr_wyTasks.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

QString pdfText(const QString &pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class TestReportCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void saveFilterDrivesExtension_data();
    void saveFilterDrivesExtension();
    void saveOffersICalendarFile_data();
    void saveOffersICalendarFile();
    void saveAllWritesShownItemsWithAllChildren_data();
    void saveAllWritesShownItemsWithAllChildren();
    void saveCancelledChangesNothing();
    void writeFailureShowsErrorAndStillClears();
    void saveRefusesLinkOfAnotherUser_data();
    void saveRefusesLinkOfAnotherUser();
    void commandsFollowPendingEdit_data();
    void commandsFollowPendingEdit();
    void emailHandsBothFilesToMailClient_data();
    void emailHandsBothFilesToMailClient();
    void emailWithoutTempFolderMakesIt();
    void emailWithoutMailSystemSaysWhatIsMissing_data();
    void emailWithoutMailSystemSaysWhatIsMissing();
    void emailAttachmentsAreRemovedOnceHandedOn_data();
    void emailAttachmentsAreRemovedOnceHandedOn();
    void printShowsEveryVisibleRow_data();
    void printShowsEveryVisibleRow();

private:
    TwyTreeFrame *makeFrame(bool tasks);
    void seed(bool tasks, int extraTopLevel = 0);
    void selectRows(const QList<int> &rows, const QModelIndex &parent = {});
    QString reportOf(const QString &name) const { return QString::fromUtf8(readFile(name)); }

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FakeFrameHost> m_host;
    std::unique_ptr<QWidget> m_window;
    TwyTreeFrame *m_frame = nullptr;
};

void TestReportCommands::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_host = std::make_unique<FakeFrameHost>();
    m_window = std::make_unique<QWidget>();
    m_window->resize(500, 600);
}

void TestReportCommands::cleanup()
{
    m_window.reset();
    m_host.reset();
    m_folder.reset();
}

TwyTreeFrame *TestReportCommands::makeFrame(bool tasks)
{
    if (tasks)
        m_frame = new TwyTasksFrame(*m_host, m_window.get());
    else
        m_frame = new TwyMemosFrame(*m_host, m_window.get());
    m_frame->resize(500, 600);
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get()))
        qWarning("window not exposed");
    return m_frame;
}

// "First" (open) with two children, "Second" (collapsed) with one, "Third", and extra
// top-level items "Item 1" ...
void TestReportCommands::seed(bool tasks, int extraTopLevel)
{
    QSqlDatabase db = m_host->database();
    auto insert = [&](const Row &row) { tasks ? insertTask(db, row) : insertMemo(db, row); };
    Row first{key(1), QStringLiteral("root"), QStringLiteral("First")};
    first.expandFlag = true;
    first.createTime = first.editTime = 45000;
    insert(first);
    Row child1{key(2), key(1), QStringLiteral("First child")};
    child1.checkFlag = true;
    child1.checkTime = 45001;
    insert(child1);
    Row child2{key(3), key(1), QStringLiteral("Second child\r\non two lines")};
    child2.dueFlag = true;
    child2.dueTime = 45300;
    insert(child2);
    Row second{key(4), QStringLiteral("root"), QStringLiteral("Second")};
    second.textColor = 0x0000FF;
    second.backgroundColor = 0xCCFFFF;
    insert(second);
    insert(Row{key(5), key(4), QStringLiteral("Hidden child")});
    Row third{key(6), QStringLiteral("root"), QStringLiteral("Third <b>bold</b>")};
    third.alarmFlag = true;
    third.alarmTime = 46000;
    insert(third);
    for (int i = 1; i <= extraTopLevel; ++i)
        insert(Row{key(100 + i), QStringLiteral("root"), QStringLiteral("Item %1").arg(i)});
    m_host->installedMenus.clear();
    m_frame->postMessage(WM_FRAME_RELOAD);
    m_frame->postMessage(WM_FRAME_ACTIVATE);
    QTRY_VERIFY(!m_host->installedMenus.isEmpty());
}

void TestReportCommands::selectRows(const QList<int> &rows, const QModelIndex &parent)
{
    auto *tree = m_frame->tree();
    tree->selectionModel()->clearSelection();
    for (int row : rows)
        tree->selectionModel()->setCurrentIndex(tree->model()->index(row, 0, parent),
                                                QItemSelectionModel::Select |
                                                    QItemSelectionModel::Rows);
}

void TestReportCommands::saveFilterDrivesExtension_data()
{
    QTest::addColumn<bool>("tasks");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("tasks: plan under text") << true << "plan" << 1 << "plan.txt"
                                            << "To-Do List";
    QTest::newRow("tasks: plan.htm under HTML") << true << "plan.htm" << 2 << "plan.html"
                                                << "<html><body>";
    QTest::newRow("memos: notes.txt under HTML") << false << "notes.txt" << 2 << "notes.html"
                                                 << "<html><body>";
    QTest::newRow("memos: notes.html under text") << false << "notes.html" << 1 << "notes.txt"
                                                  << "Memos";
}

void TestReportCommands::saveFilterDrivesExtension()
{
    QFETCH(bool, tasks);
    QFETCH(QString, typed);
    QFETCH(int, filter);
    QFETCH(QString, written);
    QFETCH(QString, firstLine);
    makeFrame(tasks);
    seed(tasks);
    // An older file of the written name is replaced without a question.
    writeFile(m_folder->file(written), "old");
    m_frame->runSaveDialog = [&] {
        return TwyTreeFrame::SaveChoice{m_folder->file(typed), filter};
    };
    selectRows({0});
    m_frame->action(QStringLiteral("Action_Save"))->trigger();

    const QString report = reportOf(m_folder->file(written));
    QVERIFY2(report.startsWith(firstLine + QStringLiteral("\r\n")), qPrintable(report));
    QVERIFY(report.contains(QStringLiteral("First child")));
    QVERIFY(report.contains(QStringLiteral("Second child")));
    QVERIFY(report.contains(tasks ? QStringLiteral("Tasks 1, Child Tasks 2 - ")
                                  : QStringLiteral("Memos 1, Child Memos 2 - ")));
    QVERIFY(!QFile::exists(m_folder->file(typed)) || typed == written);
    // The selection stays as it was.
    QCOMPARE(m_frame->tree()->selectedNodes().size(), 1);
}

void TestReportCommands::saveOffersICalendarFile_data()
{
    QTest::addColumn<bool>("tasks");
    QTest::addColumn<bool>("whole");
    QTest::addColumn<int>("items");
    QTest::newRow("tasks: the selected task with its children") << true << false << 3;
    QTest::newRow("memos: the selected memo with its children") << false << false << 3;
    QTest::newRow("tasks: save all") << true << true << 6;
}

void TestReportCommands::saveOffersICalendarFile()
{
    QFETCH(bool, tasks);
    QFETCH(bool, whole);
    QFETCH(int, items);
    makeFrame(tasks);
    seed(tasks);
    m_frame->runSaveDialog = [&] {
        return TwyTreeFrame::SaveChoice{m_folder->file(QStringLiteral("plan.txt")), 3};
    };
    selectRows({0});
    m_frame->action(whole ? QStringLiteral("Action_SaveAll") : QStringLiteral("Action_Save"))
        ->trigger();
    QVERIFY(!QFile::exists(m_folder->file(QStringLiteral("plan.txt"))));
    const QByteArray calendar = readFile(m_folder->file(QStringLiteral("plan.ics")));
    QVERIFY(calendar.startsWith("BEGIN:VCALENDAR\r\n"));
    QCOMPARE(calendar.count(tasks ? "BEGIN:VTODO" : "BEGIN:VJOURNAL"), items);
    QCOMPARE(calendar.count("RELATED-TO;RELTYPE=PARENT:"), whole ? 3 : 2);
    QVERIFY(calendar.contains("SUMMARY:First child"));
    if (!whole) // the selection stays as it was
        QCOMPARE(m_frame->tree()->selectedNodes().size(), 1);
}

void TestReportCommands::saveAllWritesShownItemsWithAllChildren_data()
{
    QTest::addColumn<bool>("tasks");
    QTest::addColumn<bool>("hideThird");
    QTest::addColumn<bool>("anchorOnChild");
    QTest::addColumn<QStringList>("mainEntries");
    QTest::addColumn<QString>("counts");
    QTest::newRow("tasks: every top-level task")
        << true << false << false
        << QStringList{QStringLiteral(" * First"), QStringLiteral(" * Second"),
                       QStringLiteral(" * Third <b>bold</b>")}
        << "Tasks 3, Child Tasks 3";
    QTest::newRow("memos: a memo the filter hides is left out")
        << false << true << false
        << QStringList{QStringLiteral(" * First"), QStringLiteral(" * Second")}
        << "Memos 2, Child Memos 3";
    QTest::newRow("memos: anchor on a child takes its shown siblings")
        << false << false << true
        << QStringList{QStringLiteral(" * First child"), QStringLiteral(" * Second child")}
        << "Memos 2, Child Memos 0";
}

void TestReportCommands::saveAllWritesShownItemsWithAllChildren()
{
    QFETCH(bool, tasks);
    QFETCH(bool, hideThird);
    QFETCH(bool, anchorOnChild);
    QFETCH(QStringList, mainEntries);
    QFETCH(QString, counts);
    makeFrame(tasks);
    seed(tasks);
    auto *tree = m_frame->tree();
    if (hideThird) {
        m_frame->model()->root()->children.at(2)->hidden = true;
        m_frame->model()->refreshShown();
    }
    const QModelIndex first = tree->model()->index(0, 0);
    tree->selectionModel()->clearSelection();
    tree->selectionModel()->setCurrentIndex(
        anchorOnChild ? tree->model()->index(0, 0, first) : first, QItemSelectionModel::NoUpdate);
    const QString name = m_folder->file(QStringLiteral("all"));
    m_frame->runSaveDialog = [&] { return TwyTreeFrame::SaveChoice{name, 1}; };
    m_frame->action(QStringLiteral("Action_SaveAll"))->trigger();

    const QString report = reportOf(name + QStringLiteral(".txt"));
    QStringList found;
    for (const QString &line : report.split(QStringLiteral("\r\n")))
        if (line.startsWith(QStringLiteral(" * ")))
            found << line.section(QStringLiteral(" - "), 0, 0);
    QCOMPARE(found, mainEntries);
    QVERIFY2(report.contains(QLatin1Char(' ') + counts + QStringLiteral(" - ")),
             qPrintable(report));
    if (!anchorOnChild)
        QVERIFY(report.contains(QStringLiteral("   - Hidden child"))); // under a collapsed parent
    QVERIFY(!tree->selectionModel()->hasSelection());
}

void TestReportCommands::saveCancelledChangesNothing()
{
    makeFrame(true);
    seed(true);
    selectRows({1});
    m_frame->runSaveDialog = [] { return TwyTreeFrame::SaveChoice{}; };
    m_frame->action(QStringLiteral("Action_SaveAll"))->trigger();
    QCOMPARE(QDir(m_folder->path())
                 .entryList({QStringLiteral("*.txt"), QStringLiteral("*.html")}, QDir::Files),
             QStringList());
    const QList<ItemNode *> selected = m_frame->tree()->selectedNodes();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first()->info->content, QStringLiteral("Second"));
}

void TestReportCommands::writeFailureShowsErrorAndStillClears()
{
    makeFrame(false);
    seed(false);
    EveryBoxAnswer answer;
    m_frame->runSaveDialog = [&] {
        return TwyTreeFrame::SaveChoice{m_folder->file(QStringLiteral("missing/notes")), 2};
    };
    m_frame->action(QStringLiteral("Action_SaveAll"))->trigger();
    QCOMPARE(answer.texts, QStringList{QStringLiteral("Error: File write failure!")});
    QVERIFY(!m_frame->tree()->selectionModel()->hasSelection());
}

void TestReportCommands::saveRefusesLinkOfAnotherUser_data()
{
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("name");
    QTest::newRow("text") << 1 << "shared.txt";
    QTest::newRow("HTML") << 2 << "shared.html";
    QTest::newRow("iCalendar") << 3 << "shared.ics";
}

void TestReportCommands::saveRefusesLinkOfAnotherUser()
{
    // In a folder anybody may write, another user has put a link under the name chosen in the
    // save dialog: one error box says why, and the file the link leads to stays as it was.
    QFETCH(int, filter);
    QFETCH(QString, name);
    if (::geteuid() != 0)
        QSKIP("a link of another user needs root to be made");
    QTemporaryDir shared;
    QVERIFY(shared.isValid());
    QVERIFY(::chmod(QFile::encodeName(shared.path()).constData(), 01777) == 0);
    const QString precious = m_folder->file(QStringLiteral("precious"));
    writeFile(precious, "years of notes");
    const QString link = shared.filePath(name);
    QVERIFY(QFile::link(precious, link));
    QVERIFY(::lchown(QFile::encodeName(link).constData(), 64997, 64997) == 0);

    makeFrame(true);
    seed(true);
    EveryBoxAnswer answer;
    m_frame->runSaveDialog = [&] { return TwyTreeFrame::SaveChoice{link, filter}; };
    m_frame->action(QStringLiteral("Action_SaveAll"))->trigger();
    QCOMPARE(answer.texts.size(), 1);
    QVERIFY2(answer.texts.constFirst().startsWith(QStringLiteral("Error: ") + link +
                                                  QStringLiteral(" is a link")),
             qPrintable(answer.texts.constFirst()));
    QCOMPARE(readFile(precious), QByteArray("years of notes"));
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(!m_frame->tree()->selectionModel()->hasSelection());
}

void TestReportCommands::commandsFollowPendingEdit_data()
{
    QTest::addColumn<bool>("tasks");
    QTest::newRow("tasks") << true;
    QTest::newRow("memos") << false;
}

void TestReportCommands::commandsFollowPendingEdit()
{
    QFETCH(bool, tasks);
    makeFrame(tasks);
    seed(tasks);
    const QStringList names{QStringLiteral("Action_Save"), QStringLiteral("Action_SaveAll"),
                            QStringLiteral("Action_Print"), QStringLiteral("Action_Email")};
    int dialogs = 0;
    m_frame->runSaveDialog = [&] {
        ++dialogs;
        return TwyTreeFrame::SaveChoice{};
    };
    m_frame->tree()->selectionModel()->clearSelection();
    for (const QString &name : names)
        QVERIFY2(m_frame->action(name)->isEnabled(), qPrintable(name)); // nothing selected

    m_frame->addItem();
    QVERIFY(m_frame->FEditNode);
    for (const QString &name : names)
        QVERIFY2(!m_frame->action(name)->isEnabled(), qPrintable(name));
    m_frame->SaveReport(false);
    m_frame->SaveReport(true);
    QCOMPARE(dialogs, 0);

    QTRY_VERIFY(m_frame->tree()->openEditor());
    m_frame->endEditing(false);
    QTRY_COMPARE(m_frame->FEditNode, nullptr);
    for (const QString &name : names)
        QVERIFY2(m_frame->action(name)->isEnabled(), qPrintable(name));
}

void TestReportCommands::emailHandsBothFilesToMailClient_data()
{
    QTest::addColumn<bool>("tasks");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QString>("counts");
    QTest::newRow("tasks: one with children") << true << QList<int>{0} << "Tasks 1, Child Tasks 2";
    QTest::newRow("tasks: nothing selected") << true << QList<int>{} << "Tasks 0, Child Tasks 0";
    QTest::newRow("memos: two") << false << QList<int>{1, 2} << "Memos 2, Child Memos 1";
}

void TestReportCommands::emailHandsBothFilesToMailClient()
{
    QFETCH(bool, tasks);
    QFETCH(QList<int>, rows);
    QFETCH(QString, counts);
    QDir().mkpath(m_folder->file(QStringLiteral("Temp")));
    makeFrame(tasks);
    seed(tasks);
    selectRows(rows);
    MailStandIn standIn;
    m_frame->action(QStringLiteral("Action_Email"))->trigger();

    const QString base = tasks ? QStringLiteral("Tasks") : QStringLiteral("Memos");
    const QString html = m_folder->file(QStringLiteral("Temp/") + base + QStringLiteral(".html"));
    const QString wyx = m_folder->file(QStringLiteral("Temp/") + base + QStringLiteral(".wyx"));
    QCOMPARE(standIn.arguments(),
             (QStringList{QStringLiteral("--utf8"), QStringLiteral("--subject"),
                          tasks ? QStringLiteral("To-Do List") : QStringLiteral("Memos"),
                          QStringLiteral("--body"),
                          base +
                              QStringLiteral(".html: HTML file, you can open it with website "
                                             "browser.\r\n") +
                              base +
                              QStringLiteral(".wyx: Ploxen data file, you can import it "
                                             "into Ploxen software directly.\r\n"),
                          QStringLiteral("--attach"), html, QStringLiteral("--attach"), wyx}));
    const QString report = reportOf(html);
    QVERIFY(report.startsWith(QStringLiteral("<html><body>\r\n")));
    QVERIFY2(report.contains(counts + QStringLiteral(" - ")), qPrintable(report));
    QVERIFY(readFile(wyx).size() > 8);
    // The selection is left as it was.
    QCOMPARE(m_frame->tree()->selectedNodes().size(), rows.size());
}

void TestReportCommands::emailWithoutTempFolderMakesIt()
{
    QVERIFY(!QFile::exists(m_folder->file(QStringLiteral("Temp"))));
    makeFrame(true);
    seed(true);
    selectRows({0});
    MailStandIn standIn;
    EveryBoxAnswer answer;
    m_frame->action(QStringLiteral("Action_Email"))->trigger();
    QCOMPARE(answer.texts, QStringList());
    QVERIFY(standIn.called());
    QCOMPARE(fileMode(m_folder->file(QStringLiteral("Temp"))), 0700);
    QCOMPARE(fileMode(m_folder->file(QStringLiteral("Temp/Tasks.html"))), 0600);
    QCOMPARE(fileMode(m_folder->file(QStringLiteral("Temp/Tasks.wyx"))), 0600);
    QVERIFY(reportOf(m_folder->file(QStringLiteral("Temp/Tasks.html")))
                .contains(QStringLiteral("First")));
}

void TestReportCommands::emailWithoutMailSystemSaysWhatIsMissing_data()
{
    // A user who abandons the message hears nothing more; without xdg-email, or with no
    // mail client behind it (its exit status 3), one box says what to install or set up.
    QTest::addColumn<bool>("withMailClient");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("abandoned by the user") << true << 4 << QStringList();
    QTest::newRow("no xdg-email")
        << false << 0
        << QStringList{
               QStringLiteral("Warning: E-mail cannot be sent: the program \"xdg-email\" is "
                              "missing. Install the package \"xdg-utils\" and set up a "
                              "mail client, then try again.")};
    QTest::newRow("no mail client set up")
        << true << 3
        << QStringList{QStringLiteral("Warning: E-mail cannot be sent: no mail client is set up on "
                                      "this desktop. Install a mail client (such as Thunderbird or "
                                      "Evolution) and choose it as the default application for "
                                      "e-mail, then try again.")};
}

void TestReportCommands::emailWithoutMailSystemSaysWhatIsMissing()
{
    QFETCH(bool, withMailClient);
    QFETCH(int, exitCode);
    QFETCH(QStringList, boxes);
    QDir().mkpath(m_folder->file(QStringLiteral("Temp")));
    makeFrame(false);
    seed(false);
    selectRows({0});
    EveryBoxAnswer answer;
    {
        MailStandIn mail(withMailClient, false, exitCode);
        m_frame->action(QStringLiteral("Action_Email"))->trigger();
        QCOMPARE(mail.called(), withMailClient);
    }
    QTest::qWait(100);
    QCOMPARE(answer.texts, boxes);
    // The files stay in Temp.
    QVERIFY(QFile::exists(m_folder->file(QStringLiteral("Temp/Memos.html"))));
    QVERIFY(QFile::exists(m_folder->file(QStringLiteral("Temp/Memos.wyx"))));
}

void TestReportCommands::emailAttachmentsAreRemovedOnceHandedOn_data()
{
    // The mail client's exit code, how long it takes the message, the delays, and whether the
    // files go while the client still holds the message (the latest time) or after it.
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("clientSeconds");
    QTest::addColumn<int>("afterHandOffMs");
    QTest::addColumn<int>("latestMs");
    QTest::addColumn<bool>("goneWhileClientRuns");
    QTest::newRow("taken at once") << 0 << 0 << 300 << 600000 << false;
    QTest::newRow("abandoned") << 4 << 0 << 300 << 600000 << false;
    QTest::newRow("taken after the wait") << 0 << 2 << 300 << 600000 << false;
    QTest::newRow("client never returns in time") << 0 << 4 << 600000 << 500 << true;
}

void TestReportCommands::emailAttachmentsAreRemovedOnceHandedOn()
{
    // The attachments in "Temp" are there while the mail client takes them, and are removed
    // after it has them (or at the latest time) whatever the outcome.
    QFETCH(int, exitCode);
    QFETCH(int, clientSeconds);
    QFETCH(int, afterHandOffMs);
    QFETCH(int, latestMs);
    QFETCH(bool, goneWhileClientRuns);
    makeFrame(true);
    seed(true);
    selectRows({0});
    auto &commands = dynamic_cast<ItemListCommands &>(m_host->listCommands());
    commands.afterHandOffMs = afterHandOffMs;
    commands.latestMs = latestMs;
    auto *component = new TWySendMessage(m_frame);
    component->setObjectName(QStringLiteral("WySendMessage1"));
    component->handOffTimeout = 200;
    const QString html = m_folder->file(QStringLiteral("Temp/Tasks.html"));
    const QString wyx = m_folder->file(QStringLiteral("Temp/Tasks.wyx"));

    MailStandIn standIn(true, false, exitCode, clientSeconds);
    EveryBoxAnswer answer;
    m_frame->action(QStringLiteral("Action_Email"))->trigger();
    QVERIFY(standIn.called());
    // Right after the hand-off the mail client still may read them.
    QVERIFY(QFile::exists(html));
    QVERIFY(QFile::exists(wyx));
    if (clientSeconds > 0)
        QVERIFY(!standIn.finished());
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(html) && !QFile::exists(wyx), 15000);
    QCOMPARE(standIn.finished(), !goneWhileClientRuns);
    QTRY_VERIFY_WITH_TIMEOUT(standIn.finished(), 15000);
    QCOMPARE(answer.texts, QStringList());
}

void TestReportCommands::printShowsEveryVisibleRow_data()
{
    QTest::addColumn<bool>("tasks");
    QTest::addColumn<int>("extra");
    QTest::addColumn<bool>("listView");
    QTest::newRow("tasks") << true << 0 << false;
    QTest::newRow("memos in list view") << false << 0 << true;
    QTest::newRow("tasks over several pages") << true << 120 << false;
}

void TestReportCommands::printShowsEveryVisibleRow()
{
    QFETCH(bool, tasks);
    QFETCH(int, extra);
    QFETCH(bool, listView);
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    makeFrame(tasks);
    seed(tasks, extra);
    if (listView)
        m_frame->action(QStringLiteral("Action_ViewList"))->trigger();
    selectRows({0, 2}); // the selection plays no part
    const QString pdf = m_folder->file(QStringLiteral("print.pdf"));
    int dialogs = 0;
    m_frame->runPrintDialog = [&](QPrinter &printer) {
        ++dialogs;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    };
    m_frame->action(QStringLiteral("Action_Print"))->trigger();
    QCOMPARE(dialogs, 1);

    const QString text = pdfText(pdf);
    // KEEP_PRINT names a folder that keeps the printed files, to look at them as pictures
    // (pdftoppm -png).
    if (qEnvironmentVariableIsSet("KEEP_PRINT"))
        QFile::copy(pdf, qEnvironmentVariable("KEEP_PRINT") + QLatin1Char('/') +
                             QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".pdf"));
    // Every row the tree shows, in display order, by the first line of its text.
    QStringList rows;
    auto *tree = m_frame->tree();
    for (QModelIndex index = tree->model()->index(0, 0); index.isValid();
         index = tree->indexBelow(index))
        rows << index.data(Qt::DisplayRole)
                    .toString()
                    .split(QRegularExpression(QStringLiteral("[\r\n]+")))
                    .first()
                    .simplified();
    QCOMPARE(rows.size(), 5 + extra);
    if (listView)
        QCOMPARE(rows.at(2), QStringLiteral("(2) Second child on two lines"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    qsizetype at = 0;
    for (const QString &row : rows) {
        qsizetype found = -1;
        for (qsizetype i = at; i < lines.size() && found < 0; ++i)
            if (lines.at(i).simplified() == row)
                found = i;
        QVERIFY2(found >= 0,
                 qPrintable(row + QStringLiteral(" missing or out of order in:\n") + text));
        at = found + 1;
    }
    if (!listView)
        QVERIFY(text.contains(QStringLiteral("on two lines")));
    QVERIFY(!text.contains(QStringLiteral("Hidden child"))); // under a collapsed parent
    const qsizetype pages = text.count(QLatin1Char('\f'));
    QVERIFY2(extra > 0 ? pages > 1 : pages == 1, qPrintable(QString::number(pages)));
}

QTEST_MAIN(TestReportCommands)
#include "test_report_commands.moc"
