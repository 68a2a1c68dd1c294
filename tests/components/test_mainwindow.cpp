// The main window's shell: the tray hint reaching the icon, the balloon at most once an
// hour, closing and minimising to the tray (or, with no tray, ending like any window), a
// second start, a new item on open, the tray's Add commands, the tray menu, the window
// state at hide and Exit, and F1.
#include "app/Fm_Main.h"
#include "common/IconArt.h"
#include "app/QuitSignals.h"
#include "common/IniFile.h"
#include "common/ItemTreeView.h"
#include "components/wyHHComp.h"
#include "components/WyTray.h"
#include "memos/Fr_wyMemos.h"
#include "storage/Database.h"
#include "support/TestSupport.h"
#include "tasks/Fr_wyTasks.h"
#include "tasks/TaskTreeModel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalSpy>
#include <QSpontaneKeyEvent>
#include <QSqlQuery>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <csignal>

using namespace TestSupport;

namespace {
bool g_trayThere = true;

// A close the window manager sends (the close button, Alt+F4).
void closeFromWindowManager(QWidget &window)
{
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(&window, &event);
}

QString text(int length, QChar letter)
{
    return QString(length, letter);
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void hintReachesTheTray_data();
    void hintReachesTheTray();
    void hintSizeSetting();
    void balloonAtMostOnceAnHour();
    void closeHidesAndSavesTheWindowState();
    void minimiseGoesToTheTray();
    void closeWithoutTrayEndsTheProgram();
    void secondStart();
    void trayGoneBringsTheWindowBack();
    void tipFollowsTheWidthOnBothTabs_data();
    void tipFollowsTheWidthOnBothTabs();
    void trayMenuInOrder();
    void leftClickOpens();
    void addFromTheTray_data();
    void addFromTheTray();
    void addOnOpen();
    void tabChangeInstallsTheMenus();
    void tabsCarryTheirImages_data();
    void tabsCarryTheirImages();
    void f1AndHelpContents();
    void exitSavesTheWindowState();
    void sessionEndStoresTheEdit_data();
    void sessionEndStoresTheEdit();
    void signalWithDialogOpenEndsAfterIt();
    void windowAppearsWithItsList_data();
    void windowAppearsWithItsList();

private:
    void seed(const QStringList &incomplete, const QStringList &complete = {});
    void start();
    QTabWidget *tabs() const
    {
        return m_main->findChild<QTabWidget *>(QStringLiteral("PageControl1"));
    }
    QStringList trayMenu() const;

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<TmainFm> m_main;
};

void TestMainWindow::initTestCase()
{
    TWyCustomTrayIcon::setAvailabilityProbe([] { return g_trayThere; });
}

void TestMainWindow::init()
{
    g_trayThere = true;
    m_folder = std::make_unique<ProgramFolder>();
    m_folder->copyProgramFiles();
}

void TestMainWindow::cleanup()
{
    m_main.reset();
    Database::close();
    m_folder.reset();
}

void TestMainWindow::seed(const QStringList &incomplete, const QStringList &complete)
{
    {
        QSqlDatabase db =
            Database::open(m_folder->file(QStringLiteral("wyData.wyb")), QStringLiteral("seed"));
        int n = 1;
        for (const QString &content : incomplete)
            insertTask(db, Row{key(n++), QStringLiteral("root"), content});
        for (const QString &content : complete) {
            Row row{key(n++), QStringLiteral("root"), content};
            row.checkFlag = true;
            insertTask(db, row);
        }
        db.close();
    }
    Database::close(QStringLiteral("seed"));
}

void TestMainWindow::start()
{
    m_main = std::make_unique<TmainFm>(nullptr);
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    // The frames are made at the first show and load through posted messages.
    QTRY_VERIFY(m_main->tasksFrame() && m_main->memosFrame());
    QTRY_VERIFY(!m_main->trayIcon()->Hint().startsWith(QStringLiteral("Ploxen")));
}

QStringList TestMainWindow::trayMenu() const
{
    auto *menu = m_main->findChild<QMenu *>(QStringLiteral("PopupMenu_Tray"));
    QStringList items;
    for (QAction *action : menu->actions())
        items.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return items;
}

void TestMainWindow::hintReachesTheTray_data()
{
    QTest::addColumn<QStringList>("incomplete");
    QTest::addColumn<QStringList>("complete");
    QTest::newRow("none") << QStringList{} << QStringList{QStringLiteral("done")};
    QTest::newRow("four") << QStringList{QStringLiteral("d"), QStringLiteral("b"),
                                         QStringLiteral("c"), QStringLiteral("a")}
                          << QStringList{};
    QTest::newRow("seven") << QStringList{QStringLiteral("g"), QStringLiteral("f"),
                                          QStringLiteral("e"), QStringLiteral("d"),
                                          QStringLiteral("c"), QStringLiteral("b"),
                                          QStringLiteral("a")}
                           << QStringList{QStringLiteral("0 done first")};
    // 17 + 4 x 28 + 5 characters: longer than the 127 the tray shows.
    QTest::newRow("cut at 127") << QStringList{text(25, u'w'), text(25, u'x'), text(25, u'y'),
                                               text(25, u'z')}
                                << QStringList{};
    QTest::newRow("line breaks") << QStringList{QStringLiteral("two\r\nlines")} << QStringList{};
}

void TestMainWindow::hintReachesTheTray()
{
    QFETCH(QStringList, incomplete);
    QFETCH(QStringList, complete);
    seed(incomplete, complete);
    start();

    QStringList sorted = incomplete;
    std::sort(sorted.begin(), sorted.end());
    const QString hint = TrayHintText(sorted, 20);
    QCOMPARE(m_main->trayIcon()->Hint(), hint);
    // The notification area gets at most 127 characters, one line per carriage return.
    QString shown = hint.left(127);
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QCOMPARE(m_main->trayIcon()->systemTrayIcon()->toolTip(), shown);
    if (QByteArray(QTest::currentDataTag()) == "cut at 127")
        QVERIFY(hint.size() > 127);
}

void TestMainWindow::hintSizeSetting()
{
    IniFile(m_folder->file(QStringLiteral("wyConf.ini")))
        .writeInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 5);
    seed({QStringLiteral("abcdefgh")});
    start();
    QCOMPARE(m_main->FHintSize, 5);
    QCOMPARE(m_main->trayIcon()->Hint(), QStringLiteral("Incomplete Tasks:\r(1) abcde..."));
}

void TestMainWindow::balloonAtMostOnceAnHour()
{
    seed({});
    start();
    QSignalSpy balloons(m_main->trayIcon(), &TWyCustomTrayIcon::balloonHintShown);
    auto *timer = m_main->findChild<QTimer *>(QStringLiteral("Timer_balloon"));
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 3600000);
    QVERIFY(!timer->isActive());

    closeFromWindowManager(*m_main);
    QVERIFY(!m_main->isVisible());
    QCOMPARE(balloons.count(), 1);
    QCOMPARE(balloons.at(0).at(0).toString(), QStringLiteral("Ploxen Tasklume"));
    QCOMPARE(balloons.at(0).at(1).toString(), QStringLiteral("Click here to open!"));
    QVERIFY(timer->isActive());

    // Hidden again within the hour: no balloon.
    m_main->Restore();
    closeFromWindowManager(*m_main);
    QVERIFY(!m_main->isVisible());
    QCOMPARE(balloons.count(), 1);

    // The hour is over (the timer stops itself): the next hide shows it again.
    timer->setInterval(1);
    QTRY_VERIFY(!timer->isActive());
    m_main->Restore();
    closeFromWindowManager(*m_main);
    QCOMPARE(balloons.count(), 2);
}

void TestMainWindow::closeHidesAndSavesTheWindowState()
{
    seed({QStringLiteral("a")});
    start();
    m_main->setGeometry(40, 50, 500, 520);
    closeFromWindowManager(*m_main);
    QVERIFY(!m_main->isVisible());
    QVERIFY(!m_main->FExiting);
    QVERIFY(m_main->tasksFrame());
    const IniFile ini(m_folder->file(QStringLiteral("wyConf.ini")));
    QCOMPARE(ini.readInteger(QStringLiteral("form"), QStringLiteral("Saved"), 0), 1);
    QCOMPARE(ini.readInteger(QStringLiteral("form"), QStringLiteral("Left"), -1), 40);
    QCOMPARE(ini.readInteger(QStringLiteral("form"), QStringLiteral("Right"), -1), 540);

    // Moved while hidden; opening puts it back where it was.
    m_main->setGeometry(0, 0, 300, 300);
    m_main->Restore();
    QVERIFY(m_main->isVisible());
    QCOMPARE(m_main->geometry(), QRect(40, 50, 500, 520));
}

void TestMainWindow::minimiseGoesToTheTray()
{
    seed({});
    start();
    m_main->setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY(!m_main->isVisible());
    QVERIFY(!m_main->FExiting);
    m_main->Restore();
    QVERIFY(m_main->isVisible());
    QVERIFY(!m_main->isMinimized());

    // The "&Close" command's path.
    m_main->Minimize();
    QTRY_VERIFY(!m_main->isVisible());
    QVERIFY(!m_main->FExiting);
}

void TestMainWindow::closeWithoutTrayEndsTheProgram()
{
    g_trayThere = false;
    seed({});
    start();
    QVERIFY(!m_main->trayIcon()->isAdded());
    closeFromWindowManager(*m_main);
    QVERIFY(m_main->FExiting);
    QVERIFY(!m_main->tasksFrame());
    QVERIFY(!m_main->isVisible());
}

void TestMainWindow::secondStart()
{
    g_trayThere = false;
    seed({});
    start();
    // Minimised on the task bar: restored.
    m_main->setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY(m_main->isMinimized());
    QVERIFY(m_main->isVisible());
    m_main->activateForSecondStart();
    QTRY_VERIFY(!m_main->isMinimized());
    QVERIFY(m_main->isVisible());

    // Hidden in the tray: nothing becomes visible.
    g_trayThere = true;
    closeFromWindowManager(*m_main);
    QVERIFY(!m_main->isVisible());
    m_main->activateForSecondStart();
    QTest::qWait(50);
    QVERIFY(!m_main->isVisible());

    // Hidden with no icon left to open it from: shown.
    m_main->trayIcon()->setActive(false);
    m_main->activateForSecondStart();
    QVERIFY(m_main->isVisible());
    QVERIFY(!m_main->isMinimized());
}

void TestMainWindow::trayGoneBringsTheWindowBack()
{
    IniFile(m_folder->file(QStringLiteral("wyConf.ini")))
        .writeBool(QStringLiteral("option"), QStringLiteral("addOpenEn"), true);
    seed({QStringLiteral("a")});
    start();
    closeFromWindowManager(*m_main);
    QVERIFY(!m_main->isVisible());
    g_trayThere = false;
    QTRY_VERIFY(m_main->isVisible());
    QVERIFY(!m_main->trayIcon()->isAdded());
    // Coming back by itself is no opening by the user: no new item is started.
    QTest::qWait(50);
    QCOMPARE(m_main->tasksFrame()->FEditNode, nullptr);
}

void TestMainWindow::tipFollowsTheWidthOnBothTabs_data()
{
    QTest::addColumn<int>("width");    // the window's width, set on the first tab
    QTest::addColumn<int>("firstTab"); // the tab shown while the width changes
    QTest::newRow("as designed, to-do tab") << 455 << 0;
    QTest::newRow("wider, to-do tab") << 800 << 0;
    QTest::newRow("narrower, to-do tab") << 330 << 0;
    QTest::newRow("wider, memo tab") << 800 << 1;
    QTest::newRow("narrower, memo tab") << 330 << 1;
}

void TestMainWindow::tipFollowsTheWidthOnBothTabs()
{
    QFETCH(int, width);
    QFETCH(int, firstTab);
    seed({});
    start();
    auto *tabs = m_main->findChild<QTabWidget *>(QStringLiteral("PageControl1"));
    QVERIFY(tabs);
    const QList<TwyTreeFrame *> frames{m_main->tasksFrame(), m_main->memosFrame()};
    // Both lists are empty: each shows the tip to add an item.
    for (TwyTreeFrame *frame : frames)
        QTRY_VERIFY(!frame->tipPanel()->isHidden());

    tabs->setCurrentIndex(firstTab);
    m_main->resize(width, m_main->height());
    QTRY_COMPARE(m_main->width(), width);
    QTest::qWait(20);
    // On whichever tab is shown, before and after showing the other one, the tip is laid
    // out at its frame's width.
    for (int tab : {firstTab, 1 - firstTab}) {
        tabs->setCurrentIndex(tab);
        QTest::qWait(20);
        const TwyTreeFrame *frame = frames.at(tab);
        QLabel *label = frame->tipLabel();
        QTRY_COMPARE(label->width(), frame->width() - label->x() - 4);
        QTRY_COMPARE(frame->tipPanel()->height(), label->height() + 8);
    }
    // The same text takes the same height on both tabs.
    QCOMPARE(frames.at(0)->tipLabel()->text(), frames.at(1)->tipLabel()->text());
    QCOMPARE(frames.at(0)->tipPanel()->height(), frames.at(1)->tipPanel()->height());
}

void TestMainWindow::trayMenuInOrder()
{
    seed({});
    start();
    QCOMPARE(trayMenu().join(QLatin1Char('|')),
             QStringLiteral("&Open Ploxen Tasklume|-|&Add Task|Paste to &Task|-|A&dd Memo|"
                            "Paste to &Memo|-|E&xit"));
    QCOMPARE(m_main->trayIcon()->PopupMenu(),
             m_main->findChild<QMenu *>(QStringLiteral("PopupMenu_Tray")));
    QVERIFY(m_main->trayIcon()->MinimizeToTray());
    QVERIFY(m_main->trayIcon()->CloseToTray());
    QVERIFY(!m_main->trayIcon()->shownIcon().isNull());
}

void TestMainWindow::leftClickOpens()
{
    seed({});
    start();
    closeFromWindowManager(*m_main);
    QVERIFY(!m_main->isVisible());
    // A middle click does nothing here.
    Q_EMIT m_main->trayIcon()->systemTrayIcon()->activated(QSystemTrayIcon::MiddleClick);
    QVERIFY(!m_main->isVisible());
    Q_EMIT m_main->trayIcon()->systemTrayIcon()->activated(QSystemTrayIcon::Trigger);
    QVERIFY(m_main->isVisible());
    // "&Open Ploxen Tasklume" as well.
    closeFromWindowManager(*m_main);
    m_main->findChild<QAction *>(QStringLiteral("Action_UiOpen"))->trigger();
    QVERIFY(m_main->isVisible());
}

void TestMainWindow::addFromTheTray_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("startTab");
    QTest::addColumn<int>("expectedTab");
    QTest::addColumn<bool>("addOnOpen");
    QTest::newRow("Add Task from the memo tab")
        << QStringLiteral("Action_AddTask") << 1 << 0 << false;
    QTest::newRow("Add Memo from the task tab")
        << QStringLiteral("Action_AddMemo") << 0 << 1 << false;
    QTest::newRow("Add Task with add-on-open")
        << QStringLiteral("Action_AddTask") << 1 << 0 << true;
}

void TestMainWindow::addFromTheTray()
{
    QFETCH(QString, command);
    QFETCH(int, startTab);
    QFETCH(int, expectedTab);
    QFETCH(bool, addOnOpen);
    IniFile(m_folder->file(QStringLiteral("wyConf.ini")))
        .writeBool(QStringLiteral("option"), QStringLiteral("addOpenEn"), addOnOpen);
    seed({QStringLiteral("a")});
    start();
    tabs()->setCurrentIndex(startTab);
    QTest::qWait(20);
    closeFromWindowManager(*m_main);
    QVERIFY(!m_main->isVisible());

    m_main->findChild<QAction *>(command)->trigger();
    QVERIFY(m_main->isVisible());
    QCOMPARE(tabs()->currentIndex(), expectedTab);
    TwyTreeFrame *target =
        expectedTab == 0 ? static_cast<TwyTreeFrame *>(m_main->tasksFrame()) : m_main->memosFrame();
    TwyTreeFrame *other =
        expectedTab == 0 ? static_cast<TwyTreeFrame *>(m_main->memosFrame()) : m_main->tasksFrame();
    // One new item, on the chosen list only, and the chosen list's menus installed.
    QTRY_VERIFY(target->FEditNode != nullptr);
    QTest::qWait(50);
    QCOMPARE(other->FEditNode, nullptr);
    QList<QAction *> menus;
    for (QMenu *menu : target->mainMenu())
        menus.append(menu->menuAction());
    QTRY_COMPARE(m_main->menuBar()->actions(), menus);
    QCOMPARE(target->model()->rowCount(), expectedTab == 0 ? 2 : 1);
}

void TestMainWindow::addOnOpen()
{
    IniFile(m_folder->file(QStringLiteral("wyConf.ini")))
        .writeBool(QStringLiteral("option"), QStringLiteral("addOpenEn"), true);
    seed({QStringLiteral("a")});
    start();
    QVERIFY(m_main->FAddOpenEn);
    // The first show starts nothing.
    QTest::qWait(50);
    QCOMPARE(m_main->tasksFrame()->FEditNode, nullptr);

    closeFromWindowManager(*m_main);
    m_main->Restore();
    QTRY_VERIFY(m_main->tasksFrame()->FEditNode != nullptr);
    QCOMPARE(m_main->memosFrame()->FEditNode, nullptr);
}

void TestMainWindow::tabChangeInstallsTheMenus()
{
    seed({});
    start();
    auto titles = [this] {
        QStringList list;
        for (QAction *action : m_main->menuBar()->actions())
            list.append(action->text());
        return list;
    };
    QTRY_VERIFY(titles().contains(QStringLiteral("&Tasks")));
    tabs()->setCurrentIndex(1);
    QTRY_VERIFY(titles().contains(QStringLiteral("&Memos")));
    QVERIFY(!titles().contains(QStringLiteral("&Tasks")));
    // The tab survives hiding and opening.
    closeFromWindowManager(*m_main);
    m_main->Restore();
    QCOMPARE(tabs()->currentIndex(), 1);
}

void TestMainWindow::tabsCarryTheirImages_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("image");
    QTest::newRow("to-do list") << 0 << QStringLiteral("To-Do List") << int(IconId::TabTasks);
    QTest::newRow("memos") << 1 << QStringLiteral("Memos") << int(IconId::TabMemos);
}

void TestMainWindow::tabsCarryTheirImages()
{
    QFETCH(int, tab);
    QFETCH(QString, caption);
    QFETCH(int, image);
    seed({});
    start();
    QCOMPARE(tabs()->tabText(tab), caption);
    QCOMPARE(tabs()->iconSize(), QSize(22, 22));
    const QIcon icon = tabs()->tabIcon(tab);
    QVERIFY(!icon.isNull());
    const QSize size(22, 22);
    QCOMPARE(icon.pixmap(size).toImage(), IconArt::icon(IconId(image)).pixmap(size).toImage());
}

void TestMainWindow::f1AndHelpContents()
{
    seed({QStringLiteral("a")});
    start();
    m_main->activateWindow();
    m_main->tasksFrame()->tree()->setFocus();
    QTRY_VERIFY(m_main->tasksFrame()->tree()->hasFocus());
    QTest::keyClick(m_main->tasksFrame()->tree(), Qt::Key_F1);
    QVERIFY(m_main->helpComp()->viewer());
    QCOMPARE(m_main->helpComp()->viewer()->currentAnchor(), QStringLiteral("tasks"));

    // "&Contents" of the Help menus opens the start of the help.
    QAction *contents = m_main->commonAction(CommonAction::HelpContents);
    QCOMPARE(contents->text(), QStringLiteral("&Contents"));
    QVERIFY(contents->isEnabled());
    QCOMPARE(contents->shortcut(), QKeySequence(Qt::Key_F1));
    contents->trigger();
    QCOMPARE(m_main->helpComp()->viewer()->currentAnchor(), QStringLiteral("contents"));
}

void TestMainWindow::exitSavesTheWindowState()
{
    seed({});
    start();
    m_main->setGeometry(70, 80, 460, 510);
    m_main->findChild<QAction *>(QStringLiteral("Action_Exit"))->trigger();
    QVERIFY(m_main->FExiting);
    QVERIFY(!m_main->tasksFrame());
    QVERIFY(!m_main->trayIcon()->isAdded());
    const IniFile ini(m_folder->file(QStringLiteral("wyConf.ini")));
    QCOMPARE(ini.readInteger(QStringLiteral("form"), QStringLiteral("Left"), -1), 70);
    QCOMPARE(ini.readInteger(QStringLiteral("form"), QStringLiteral("Bottom"), -1), 590);
}

void TestMainWindow::sessionEndStoresTheEdit_data()
{
    // How the session's end reaches the program, and whether the program goes on after.
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("goesOn");
    QTest::newRow("session saved") << QStringLiteral("save") << true;
    QTest::newRow("quit request") << QStringLiteral("quit") << false;
    QTest::newRow("event loop told to end") << QStringLiteral("exit") << false;
}

void TestMainWindow::sessionEndStoresTheEdit()
{
    QFETCH(QString, how);
    QFETCH(bool, goesOn);
    seed({QStringLiteral("a")});
    start();
    m_main->setGeometry(70, 80, 460, 510);
    m_main->findChild<QAction *>(QStringLiteral("Action_AddTask"))->trigger();
    QWidget *editor = nullptr;
    QTRY_VERIFY((editor = m_main->tasksFrame()->tree()->openEditor()) != nullptr);
    QTest::keyClicks(editor, QStringLiteral("Typed at logout"));

    if (how == QLatin1String("save")) {
        m_main->saveSession();
    } else {
        QTimer::singleShot(0, qApp, [how] {
            if (how == QLatin1String("quit")) {
                QEvent quit(QEvent::Quit);
                QCoreApplication::sendEvent(qApp, &quit);
            } else {
                QCoreApplication::exit(0);
            }
        });
        QCOMPARE(QApplication::exec(), 0);
    }
    QCOMPARE(m_main->FExiting, !goesOn);
    QSqlQuery query(m_main->database());
    QVERIFY(query.exec(QStringLiteral("select content from tasks")));
    QStringList stored;
    while (query.next())
        stored.append(query.value(0).toString());
    stored.sort();
    QCOMPARE(stored, (QStringList{QStringLiteral("Typed at logout"), QStringLiteral("a")}));
    const IniFile ini(m_folder->file(QStringLiteral("wyConf.ini")));
    QCOMPARE(ini.readInteger(QStringLiteral("form"), QStringLiteral("Left"), -1), 70);
    QCOMPARE(ini.readInteger(QStringLiteral("form"), QStringLiteral("Bottom"), -1), 590);
}

void TestMainWindow::signalWithDialogOpenEndsAfterIt()
{
    // SIGTERM comes while the delete command asks its question: the question is cancelled,
    // the command ends, and only then are the lists torn down and the program ended.
    seed({QStringLiteral("a")});
    start();
    QuitSignals quitSignals;
    QVERIFY(quitSignals.isInstalled());
    connect(&quitSignals, &QuitSignals::quitRequested, m_main.get(), &TmainFm::endFromOutside);
    TwyTreeFrame *frame = m_main->tasksFrame();
    QTRY_COMPARE(frame->model()->rowCount(), 1);
    frame->tree()->setCurrentIndex(frame->model()->index(0, 0));
    bool askedWhenSignalled = false;
    QTimer::singleShot(100, this, [&] {
        askedWhenSignalled =
            qobject_cast<QMessageBox *>(QApplication::activeModalWidget()) != nullptr;
        ::raise(SIGTERM);
    });
    bool dialogOpenAtTeardown = true;
    connect(frame, &QObject::destroyed, this,
            [&] { dialogOpenAtTeardown = QApplication::activeModalWidget() != nullptr; });
    frame->deleteItems();
    QVERIFY(askedWhenSignalled);
    QTRY_VERIFY(m_main->FExiting);
    QVERIFY(!m_main->tasksFrame());
    QVERIFY(!dialogOpenAtTeardown);
    QSqlQuery query(m_main->database());
    QVERIFY(query.exec(QStringLiteral("select count(*) from tasks")) && query.next());
    QCOMPARE(query.value(0).toInt(), 1);
}


void TestMainWindow::windowAppearsWithItsList_data()
{
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<bool>("inTray");
    QTest::newRow("ascending") << true << false;
    QTest::newRow("descending") << false << false;
    QTest::newRow("starting in the tray") << true << true;
}

void TestMainWindow::windowAppearsWithItsList()
{
    QFETCH(bool, ascending);
    QFETCH(bool, inTray);
    const IniFile ini(m_folder->file(QStringLiteral("wyConf.ini")));
    ini.writeBool(QStringLiteral("task"), QStringLiteral("viewAscEn"), ascending);
    ini.writeBool(QStringLiteral("option"), QStringLiteral("runMinimizedEn"), inTray);
    ini.writeBool(QStringLiteral("option"), QStringLiteral("visitWebEn"), false);
    seed({QStringLiteral("b middle"), QStringLiteral("c last"), QStringLiteral("a first")});
    {
        QSqlDatabase db =
            Database::open(m_folder->file(QStringLiteral("wyData.wyb")), QStringLiteral("seed"));
        insertMemo(db, Row{key(10), QStringLiteral("root"), QStringLiteral("a memo")});
        insertMemo(db, Row{key(11), QStringLiteral("root"), QStringLiteral("another memo")});
        db.close();
    }
    Database::close(QStringLiteral("seed"));

    // What the to-do list shows at the moment the window is put on the screen.
    m_main = std::make_unique<TmainFm>(nullptr);
    m_main->createWinId();
    bool mapped = false;
    QStringList rowsWhenMapped;
    connect(m_main->windowHandle(), &QWindow::visibleChanged, this, [&](bool visible) {
        if (!visible || mapped)
            return;
        mapped = true;
        if (const TwyTasksFrame *frame = m_main->tasksFrame()) {
            const QAbstractItemModel *model = frame->model();
            for (int row = 0; row < model->rowCount(); ++row)
                rowsWhenMapped.append(model->index(row, 0).data().toString());
        }
    });
    m_main->show();

    if (inTray) {
        QTRY_VERIFY(!m_main->isVisible());
    } else {
        QVERIFY(mapped);
        QStringList sorted{QStringLiteral("a first"), QStringLiteral("b middle"),
                           QStringLiteral("c last")};
        if (!ascending)
            std::reverse(sorted.begin(), sorted.end());
        QCOMPARE(rowsWhenMapped, sorted);
    }
    // The memo list follows, whether or not the window painted.
    QTRY_VERIFY(m_main->memosFrame());
    QTRY_COMPARE(m_main->memosFrame()->model()->rowCount(), 2);
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
