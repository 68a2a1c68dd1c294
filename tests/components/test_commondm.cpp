// The common commands on the real main window: the start-up options and the update prompt
// with its timer and "Do not ask me again.", the options dialog and the autostart entry,
// the about box and its links, the web pages and mail links handed to the desktop, stay on
// top, and the commands in the lists' menus and the tray menu; and the same module on a
// stand-in window that only offers what the module asks of its host.
#include "app/CommonHost.h"
#include "app/Dlg_About.h"
#include "app/Dlg_Options.h"
#include "app/Dlg_Update.h"
#include "app/Dm_Common.h"
#include "app/Fm_Main.h"
#include "common/AppPaths.h"
#include "common/IniFile.h"
#include "components/WyTray.h"
#include "components/WyVersionInfo.h"
#include "gui/DialogDriver.h"
#include "interchange/XmlDateTime.h"
#include "memos/Fr_wyMemos.h"
#include "storage/Database.h"
#include "support/TestSupport.h"
#include "tasks/Fr_wyTasks.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace TestSupport;

namespace {
const QString kOption = QStringLiteral("option");
constexpr double kOneMinute = 1.0 / 1440.0;

// Takes the addresses the program hands to the desktop, instead of a browser or a mail
// program.
class DesktopCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

// Holds the common commands in place of the main window: keeps the options it is given and
// notes each step asked of it.
class StandInHost : public QWidget, public CommonHost
{
public:
    explicit StandInHost(const QString &iniPath)
        : m_ini(iniPath), m_version(new TWyVersionInfo(this))
    {}
    QWidget *commonWindow() override { return this; }
    const IniFile &ini() const override { return m_ini; }
    ShellOptions shellOptions() const override { return options; }
    void setShellOptions(const ShellOptions &given) override { options = given; }
    void setCommonAction(CommonAction id, QAction *) override { registered.append(id); }
    TWYHHComp *helpComp() const override { return nullptr; }
    TWyVersionInfo *versionInfo() const override { return m_version; }
    void activateList() override { steps.append(QStringLiteral("activate")); }
    void postUpdatePrompt() override { steps.append(QStringLiteral("prompt")); }
    void Restore() override { steps.append(QStringLiteral("restore")); }
    void Minimize() override { steps.append(QStringLiteral("minimize")); }
    void setStayOnTop(bool on) override
    {
        steps.append(on ? QStringLiteral("top") : QStringLiteral("not top"));
    }
    QString MakeWebUrl(const QString &address) const override
    {
        return address + QStringLiteral("?id=stand-in");
    }

    ShellOptions options;
    QStringList steps;
    QList<CommonAction> registered;

private:
    IniFile m_ini;
    TWyVersionInfo *m_version;
};
} // namespace

class TestCommonDm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void firstStartWritesVisitWeb();
    void updatePromptAfterDays_data();
    void updatePromptAfterDays();
    void tickedBoxAndTimeoutStopPrompts();
    void untickingWritesAtOnce();
    void yesVisitsTheHomePage();
    void optionsOkWritesBothKeysAndTheEntry();
    void optionsCancelChangesNothing();
    void optionsKeepAnEntryNamingAnotherPath();
    void optionsAfterAPromptShowTheStoredChoice();
    void aboutBox();
    void aboutBoxLinks_data();
    void aboutBoxLinks();
    void aboutBoxWithoutPicture();
    void webAndMailCommands_data();
    void webAndMailCommands();
    void stayOnTopKeepsPlaceAndSize();
    void commandsInTheMenus();
    void openFromTheTrayMenu();
    void standInHostStartup_data();
    void standInHostStartup();
    void standInHostCommands();

private:
    void writeVisit(double daysAgo);
    // Starts the program's window; toTray: it goes to the tray at once.
    void start(bool toTray = false);
    IniFile ini() const { return IniFile(m_folder->file(QStringLiteral("wyConf.ini"))); }
    QString entryPath() const
    {
        return m_config->path() + QStringLiteral("/autostart/Ploxen Tasklume.desktop");
    }
    QAction *action(const char *name) const
    {
        return m_main->commonDm()->findChild<QAction *>(QLatin1String(name));
    }
    static bool updatePromptOpen();

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<TmainFm> m_main;
    DesktopCatcher m_desktop;
};

void TestCommonDm::initTestCase()
{
    TWyCustomTrayIcon::setAvailabilityProbe([] { return true; });
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_desktop, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_desktop, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &m_desktop, "open");
}

void TestCommonDm::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_folder->copyProgramFiles();
    // The autostart entry goes to a private folder, never the user's own.
    m_config = std::make_unique<QTemporaryDir>();
    QVERIFY(m_config->isValid());
    qputenv("XDG_CONFIG_HOME", m_config->path().toLocal8Bit());
    m_desktop.urls.clear();
}

void TestCommonDm::cleanupTestCase()
{
    for (const char *scheme : {"https", "http", "mailto"})
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
}

void TestCommonDm::cleanup()
{
    m_main.reset();
    Database::close();
    m_config.reset();
    m_folder.reset();
}

void TestCommonDm::writeVisit(double daysAgo)
{
    ini().writeString(kOption, QStringLiteral("visitWeb"), DateTimeToXmlText(NowDays() - daysAgo));
}

void TestCommonDm::start(bool toTray)
{
    m_main = std::make_unique<TmainFm>(nullptr);
    m_main->show();
    if (!toTray)
        QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    QTRY_VERIFY(m_main->tasksFrame() && m_main->memosFrame());
    QTRY_VERIFY(!m_main->trayIcon()->Hint().startsWith(QStringLiteral("Ploxen")));
    // What the first show posted has run.
    QTest::qWait(50);
}

bool TestCommonDm::updatePromptOpen()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<TupdateDlg *>(widget) && widget->isVisible())
            return true;
    }
    return false;
}

void TestCommonDm::firstStartWritesVisitWeb()
{
    QVERIFY(!QFile::exists(ini().path()));
    const TDateTime before = NowDays();
    start();
    const auto visit =
        XmlTextToDateTime(ini().readString(kOption, QStringLiteral("visitWeb"), QString()));
    QVERIFY(visit.has_value());
    QVERIFY(*visit > before - kOneMinute && *visit < NowDays() + kOneMinute);
    QVERIFY(m_main->FVisitWebEn);
    QVERIFY(!m_main->FRunMinimized);
    QVERIFY(!updatePromptOpen());
    QCOMPARE(m_main->windowTitle(), QStringLiteral("Ploxen Tasklume"));
    QVERIFY(m_main->isVisible());
}

void TestCommonDm::updatePromptAfterDays_data()
{
    QTest::addColumn<double>("daysAgo");
    QTest::addColumn<bool>("prompt");
    // Whole days count: 90 days and some hours are still 90.
    QTest::newRow("90 days") << 90.0 << false;
    QTest::newRow("90 days and 20 hours") << 90.0 + 20.0 / 24.0 << false;
    QTest::newRow("91 days") << 91.0 << true;
}

void TestCommonDm::updatePromptAfterDays()
{
    QFETCH(double, daysAgo);
    QFETCH(bool, prompt);
    writeVisit(daysAgo);
    const QString visitText = ini().readString(kOption, QStringLiteral("visitWeb"), QString());
    ini().writeBool(kOption, QStringLiteral("runMinimizedEn"), true);

    bool shownWhileWindowOpen = false;
    QString caption;
    OnDialog<TupdateDlg> answer([&](TupdateDlg *dialog) {
        caption = dialog->windowTitle();
        shownWhileWindowOpen = m_main && m_main->isVisible();
        dialog->Btn_No->click();
    });
    start(!prompt);
    if (prompt) {
        QTRY_COMPARE(answer.runs(), 1);
        QCOMPARE(caption, QStringLiteral("Ploxen Update"));
        // Not sent to the tray at this start, though "Run program minimized" is on.
        QVERIFY(shownWhileWindowOpen);
        QTest::qWait(50);
        QVERIFY(m_main->isVisible());
    } else {
        // The window goes to the tray as asked, and no prompt comes.
        QTRY_VERIFY(!m_main->isVisible());
        QCOMPARE(answer.runs(), 0);
    }
    // No answers the prompt without a visit: the time stamp stays, so it comes back.
    QCOMPARE(ini().readString(kOption, QStringLiteral("visitWeb"), QString()), visitText);
    QVERIFY(m_desktop.urls.isEmpty());
    QCOMPARE(ini().readString(kOption, QStringLiteral("runMinimizedEn"), QString()),
             QStringLiteral("1"));
}

void TestCommonDm::tickedBoxAndTimeoutStopPrompts()
{
    writeVisit(200);
    bool storedAtOnce = false;
    bool timerAsDesigned = false;
    bool closedByItself = false;
    OnDialog<TupdateDlg> tickAndWait([&](TupdateDlg *dialog) {
        timerAsDesigned = dialog->Timer1->isActive() && dialog->Timer1->isSingleShot() &&
                          dialog->Timer1->interval() == 5000;
        QVERIFY(!dialog->cb_ask->isChecked());
        QCOMPARE(dialog->cb_ask->text(), QStringLiteral("Do not ask me again."));
        dialog->cb_ask->click();
        storedAtOnce = ini().readString(kOption, QStringLiteral("visitWebEn"), QString()) ==
                           QStringLiteral("0") &&
                       !m_main->FVisitWebEn;
        // Nobody answers: the prompt closes by itself with No.
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 15000);
        closedByItself = dialog->result() == TupdateDlg::No;
    });
    start();
    QTRY_COMPARE(tickAndWait.runs(), 1);
    QVERIFY(timerAsDesigned);
    QVERIFY(storedAtOnce);
    QTRY_VERIFY(closedByItself);
    QVERIFY(m_desktop.urls.isEmpty());

    // The next starts ask no more, though the last visit is long ago.
    for (int startNo = 0; startNo < 2; ++startNo) {
        m_main.reset();
        Database::close();
        start();
        QVERIFY(!m_main->FVisitWebEn);
        QVERIFY(!updatePromptOpen());
        QCOMPARE(tickAndWait.runs(), 1);
    }
}

void TestCommonDm::untickingWritesAtOnce()
{
    writeVisit(100);
    QStringList written;
    OnDialog<TupdateDlg> toggle([&](TupdateDlg *dialog) {
        dialog->cb_ask->click();
        written.append(ini().readString(kOption, QStringLiteral("visitWebEn"), QString()));
        dialog->cb_ask->click();
        written.append(ini().readString(kOption, QStringLiteral("visitWebEn"), QString()));
        dialog->Btn_No->click();
    });
    start();
    QTRY_COMPARE(toggle.runs(), 1);
    QCOMPARE(written, (QStringList{QStringLiteral("0"), QStringLiteral("1")}));
    QVERIFY(m_main->FVisitWebEn);
}

void TestCommonDm::yesVisitsTheHomePage()
{
    {
        QSqlDatabase db =
            Database::open(m_folder->file(QStringLiteral("wyData.wyb")), QStringLiteral("seed"));
        insertTask(db, Row{key(1), QStringLiteral("root"), QStringLiteral("a")});
        insertTask(db, Row{key(2), key(1), QStringLiteral("b")});
        insertMemo(db, Row{key(3), QStringLiteral("root"), QStringLiteral("m")});
        db.close();
    }
    Database::close(QStringLiteral("seed"));
    writeVisit(120);
    int result = -1;
    OnDialog<TupdateDlg> yes([&](TupdateDlg *dialog) {
        QVERIFY(dialog->Btn_Yes->isDefault());
        QVERIFY(dialog->Btn_Yes->font().bold());
        dialog->Btn_Yes->click();
        result = dialog->result();
    });
    start();
    QTRY_COMPARE(yes.runs(), 1);
    QCOMPARE(result, int(TupdateDlg::Yes));
    QCOMPARE(m_desktop.urls.size(), 1);
    QCOMPARE(m_desktop.urls.first().toString(),
             QStringLiteral("https://ploxen.example.com/index.htm?id=s-p-y-120&t=2-0&m=1-0"));
    // The visit is noted in the file, not in memory.
    const auto visit =
        XmlTextToDateTime(ini().readString(kOption, QStringLiteral("visitWeb"), QString()));
    QVERIFY(visit && *visit > NowDays() - kOneMinute);
    QVERIFY(m_main->FLastWebVisit < NowDays() - 119);
}

void TestCommonDm::optionsOkWritesBothKeysAndTheEntry()
{
    start();
    QVERIFY(!QFileInfo::exists(entryPath()));
    OnDialog<TOptionsDlg> tickAll([](TOptionsDlg *dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Options"));
        QCOMPARE(dialog->cb_AutoStart->text(), QStringLiteral("Start with Windows"));
        QCOMPARE(dialog->cb_AutoMinimized->text(), QStringLiteral("Run program minimized"));
        QCOMPARE(dialog->cb_AddOpen->text(), QStringLiteral("Add new item while open"));
        QVERIFY(!dialog->cb_AutoStart->isChecked());
        QVERIFY(!dialog->cb_AutoMinimized->isChecked());
        QVERIFY(!dialog->cb_AddOpen->isChecked());
        dialog->cb_AutoStart->click();
        dialog->cb_AutoMinimized->click();
        dialog->cb_AddOpen->click();
        dialog->Btn_Ok->click();
    });
    action("Action_Options")->trigger();
    QCOMPARE(tickAll.runs(), 1);
    QCOMPARE(ini().readString(kOption, QStringLiteral("runMinimizedEn"), QString()),
             QStringLiteral("1"));
    QCOMPARE(ini().readString(kOption, QStringLiteral("addOpenEn"), QString()),
             QStringLiteral("1"));
    QVERIFY(m_main->FRunMinimized && m_main->FAddOpenEn);
    const QStringList entry = QString::fromUtf8(readFile(entryPath())).split(QLatin1Char('\n'));
    QVERIFY(entry.contains(QStringLiteral("Name=Ploxen Tasklume")));
    QVERIFY(entry.contains(QStringLiteral("Exec=") + QCoreApplication::applicationFilePath()));

    // The dialog shows what is stored; clearing everything writes 0 and removes the entry.
    OnDialog<TOptionsDlg> clearAll([](TOptionsDlg *dialog) {
        QVERIFY(dialog->cb_AutoStart->isChecked());
        QVERIFY(dialog->cb_AutoMinimized->isChecked());
        QVERIFY(dialog->cb_AddOpen->isChecked());
        dialog->cb_AutoStart->click();
        dialog->cb_AutoMinimized->click();
        dialog->cb_AddOpen->click();
        dialog->Btn_Ok->click();
    });
    action("Action_Options")->trigger();
    QCOMPARE(clearAll.runs(), 1);
    QCOMPARE(ini().readString(kOption, QStringLiteral("runMinimizedEn"), QString()),
             QStringLiteral("0"));
    QCOMPARE(ini().readString(kOption, QStringLiteral("addOpenEn"), QString()),
             QStringLiteral("0"));
    QVERIFY(!m_main->FRunMinimized && !m_main->FAddOpenEn);
    QVERIFY(!QFileInfo::exists(entryPath()));
}

void TestCommonDm::optionsCancelChangesNothing()
{
    ini().writeBool(kOption, QStringLiteral("addOpenEn"), true);
    start();
    const QByteArray settings = readFile(ini().path());
    OnDialog<TOptionsDlg> cancel([](TOptionsDlg *dialog) {
        QVERIFY(dialog->cb_AddOpen->isChecked());
        dialog->cb_AutoStart->click();
        dialog->cb_AutoMinimized->click();
        dialog->cb_AddOpen->click();
        dialog->Btn_Cancel->click();
    });
    action("Action_Options")->trigger();
    QCOMPARE(cancel.runs(), 1);
    QCOMPARE(readFile(ini().path()), settings);
    QVERIFY(m_main->FAddOpenEn);
    QVERIFY(!m_main->FRunMinimized);
    QVERIFY(!QFileInfo::exists(entryPath()));
}

void TestCommonDm::optionsKeepAnEntryNamingAnotherPath()
{
    QDir().mkpath(QFileInfo(entryPath()).absolutePath());
    const QByteArray other =
        "[Desktop Entry]\nType=Application\nName=Ploxen Tasklume\nExec=/opt/old/tasklume\n";
    writeFile(entryPath(), other);
    start();
    OnDialog<TOptionsDlg> ok([](TOptionsDlg *dialog) {
        QVERIFY(dialog->cb_AutoStart->isChecked());
        dialog->Btn_Ok->click();
    });
    action("Action_Options")->trigger();
    QCOMPARE(ok.runs(), 1);
    QCOMPARE(readFile(entryPath()), other);
}

void TestCommonDm::optionsAfterAPromptShowTheStoredChoice()
{
    // The prompt keeps the window open at this start only; the user's choice stays.
    writeVisit(95);
    ini().writeBool(kOption, QStringLiteral("runMinimizedEn"), true);
    OnDialog<TupdateDlg> no([](TupdateDlg *dialog) { dialog->Btn_No->click(); });
    start();
    QTRY_COMPARE(no.runs(), 1);
    QVERIFY(m_main->isVisible());
    bool shownTicked = false;
    OnDialog<TOptionsDlg> ok([&](TOptionsDlg *dialog) {
        shownTicked = dialog->cb_AutoMinimized->isChecked();
        dialog->Btn_Ok->click();
    });
    action("Action_Options")->trigger();
    QCOMPARE(ok.runs(), 1);
    QVERIFY(shownTicked);
    QCOMPARE(ini().readString(kOption, QStringLiteral("runMinimizedEn"), QString()),
             QStringLiteral("1"));
}

void TestCommonDm::aboutBox()
{
    start();
    QString caption, name, version, dataFolder;
    bool bold = false, picture = false;
    int nameSize = 0;
    QStringList links;
    OnDialog<TAboutDlg> look([&](TAboutDlg *dialog) {
        caption = dialog->windowTitle();
        if (auto *folder = dialog->findChild<QLabel *>(QStringLiteral("Label_DataFolder")))
            dataFolder = folder->text();
        name = dialog->Label_AppName->text();
        bold = dialog->Label_AppName->font().bold();
        nameSize = dialog->Label_AppName->font().pixelSize();
        version = dialog->lbl_version->text();
        picture = !dialog->Image_App->pixmap().isNull();
        for (QLabel *label : {dialog->Label_Website, dialog->Label_Support, dialog->Label_Sales})
            links.append(label->text());
        dialog->Btn_Close->click();
    });
    action("Action_About")->trigger();
    QCOMPARE(look.runs(), 1);
    QCOMPARE(caption, QStringLiteral("About..."));
    QCOMPARE(name, QStringLiteral("Ploxen Tasklume"));
    QVERIFY(bold);
    QCOMPARE(nameSize, 19);
    QCOMPARE(version, m_main->versionInfo()->GetValue(TWyVersionInfo::FileVersion));
    QVERIFY(!version.isEmpty() && !version.contains(QStringLiteral("xxx")));
    QVERIFY(picture);
    QVERIFY(links.at(0).contains(QStringLiteral("https://ploxen.example.com/")));
    QVERIFY(links.at(1).contains(QStringLiteral("support@ploxen.example.com")));
    QVERIFY(links.at(2).contains(QStringLiteral("sales@ploxen.example.com")));
    QVERIFY(m_desktop.urls.isEmpty());
    // Where the lists are kept, so the user can find them.
    QCOMPARE(dataFolder, AppPaths::describeFolder());
    QVERIFY(dataFolder.startsWith(QDir::toNativeSeparators(AppPaths::folder())));
}

void TestCommonDm::aboutBoxLinks_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("visit");
    QTest::newRow("website") << QStringLiteral("Label_Website")
                             << QStringLiteral("https://ploxen.example.com/index.htm"
                                               "?id=s-p-y-0&t=0-0&m=0-0")
                             << true;
    QTest::newRow("support") << QStringLiteral("Label_Support")
                             << QStringLiteral("mailto:support@ploxen.example.com") << false;
    QTest::newRow("sales") << QStringLiteral("Label_Sales")
                           << QStringLiteral("mailto:sales@ploxen.example.com") << false;
}

void TestCommonDm::aboutBoxLinks()
{
    QFETCH(QString, label);
    QFETCH(QString, url);
    QFETCH(bool, visit);
    start();
    writeVisit(3);
    const QString visitText = ini().readString(kOption, QStringLiteral("visitWeb"), QString());
    OnDialog<TAboutDlg> click([&](TAboutDlg *dialog) {
        auto *link = dialog->findChild<QLabel *>(label);
        QVERIFY(link);
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        // A click on the address itself, as the user does.
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(6, link->height() / 2));
        dialog->Btn_Close->click();
    });
    action("Action_About")->trigger();
    QCOMPARE(click.runs(), 1);
    QCOMPARE(m_desktop.urls.size(), 1);
    QCOMPARE(m_desktop.urls.first().toString(), url);
    const QString after = ini().readString(kOption, QStringLiteral("visitWeb"), QString());
    QCOMPARE(after != visitText, visit);
}

void TestCommonDm::aboutBoxWithoutPicture()
{
    QVERIFY(QFile::remove(m_folder->file(QStringLiteral("Images/appIcon.png"))));
    start();
    BoxAnswer report(QMessageBox::Ok);
    QString version;
    OnDialog<TAboutDlg> look([&](TAboutDlg *dialog) {
        version = dialog->lbl_version->text();
        dialog->Btn_Close->click();
    });
    action("Action_About")->trigger();
    // The missing picture is reported; the box opens all the same, with its version.
    QCOMPARE(report.runs(), 1);
    QCOMPARE(report.caption, QStringLiteral("Ploxen Tasklume"));
    QVERIFY(report.text.contains(QStringLiteral("appIcon.png")));
    QCOMPARE(look.runs(), 1);
    QCOMPARE(version, m_main->versionInfo()->GetValue(TWyVersionInfo::FileVersion));
}

void TestCommonDm::webAndMailCommands_data()
{
    QTest::addColumn<QString>("actionName");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("url");
    const QString home =
        QStringLiteral("https://ploxen.example.com/index.htm?id=s-p-y-0&t=0-0&m=0-0");
    const QString support = QStringLiteral("mailto:support@ploxen.example.com");
    QTest::newRow("contact") << QStringLiteral("Action_Contact")
                             << QStringLiteral("C&ontact Technical Support") << support;
    QTest::newRow("suggestion") << QStringLiteral("Action_Suggestion")
                                << QStringLiteral("&Make a Suggestion") << support;
    QTest::newRow("website") << QStringLiteral("Action_Website")
                             << QStringLiteral("&Visit Ploxen Website") << home;
    QTest::newRow("update") << QStringLiteral("Action_Update")
                            << QStringLiteral("Check for &Update") << home;
    QTest::newRow("resources")
        << QStringLiteral("Action_Resources") << QStringLiteral("Get Free Resources")
        << QStringLiteral("https://ploxen.example.com/resources.htm?id=s-p-y-0&t=0-0&m=0-0");
}

void TestCommonDm::webAndMailCommands()
{
    QFETCH(QString, actionName);
    QFETCH(QString, caption);
    QFETCH(QString, url);
    start();
    QAction *command = action(actionName.toLatin1().constData());
    QVERIFY(command);
    QCOMPARE(command->text(), caption);
    command->trigger();
    QCOMPARE(m_desktop.urls.size(), 1);
    QCOMPARE(m_desktop.urls.first().toString(), url);
}

void TestCommonDm::stayOnTopKeepsPlaceAndSize()
{
    start();
    m_main->setGeometry(90, 70, 470, 520);
    QTRY_COMPARE(m_main->geometry(), QRect(90, 70, 470, 520));
    QAction *onTop = action("Action_UiStayOnTop");
    QCOMPARE(onTop->text(), QStringLiteral("S&tay on top"));
    QVERIFY(onTop->isCheckable() && !onTop->isChecked());

    onTop->trigger();
    QVERIFY(onTop->isChecked());
    QVERIFY(m_main->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(m_main->isVisible());
    QTRY_COMPARE(m_main->geometry(), QRect(90, 70, 470, 520));

    onTop->trigger();
    QVERIFY(!onTop->isChecked());
    QVERIFY(!m_main->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(m_main->isVisible());
    QTRY_COMPARE(m_main->geometry(), QRect(90, 70, 470, 520));
}

void TestCommonDm::commandsInTheMenus()
{
    start();
    QStringList file, help;
    QTRY_VERIFY(!m_main->menuBar()->actions().isEmpty());
    for (QAction *top : m_main->menuBar()->actions()) {
        QStringList *list = top->text() == QStringLiteral("&File")   ? &file
                            : top->text() == QStringLiteral("&Help") ? &help
                                                                     : nullptr;
        if (!list || !top->menu())
            continue;
        for (QAction *item : top->menu()->actions()) {
            if (item->isSeparator())
                continue;
            // Every common command the menus show works.
            QVERIFY2(item->isEnabled(), qPrintable(item->text()));
            list->append(item->text());
        }
    }
    for (const char *caption : {"&Options...", "S&tay on top", "&Close"})
        QVERIFY2(file.contains(QLatin1String(caption)), caption);
    // The key stands in the menu's key column, not padded into the caption.
    QCOMPARE(m_main->commonAction(CommonAction::Close)->shortcut(),
             QKeySequence(Qt::CTRL | Qt::Key_F12));
    QCOMPARE(
        help,
        (QStringList{QStringLiteral("&Contents"), QStringLiteral("C&ontact Technical Support"),
                     QStringLiteral("&Make a Suggestion"), QStringLiteral("&Visit Ploxen Website"),
                     QStringLiteral("Check for &Update"), QStringLiteral("&About")}));
    QCOMPARE(m_main->commonAction(CommonAction::HelpContents)->shortcut(),
             QKeySequence(Qt::Key_F1));
}

void TestCommonDm::openFromTheTrayMenu()
{
    start();
    auto *tray = m_main->findChild<QMenu *>(QStringLiteral("PopupMenu_Tray"));
    QAction *open = tray->actions().first();
    QCOMPARE(open->text(), QStringLiteral("&Open Ploxen Tasklume"));
    QCOMPARE(open, action("Action_UiOpen"));
    action("Action_UiClose")->trigger();
    QTRY_VERIFY(!m_main->isVisible());
    open->trigger();
    QTRY_VERIFY(m_main->isVisible());
}

QTEST_MAIN(TestCommonDm)
void TestCommonDm::standInHostStartup_data()
{
    QTest::addColumn<double>("visitDaysAgo");
    QTest::addColumn<bool>("runMinimized");
    QTest::addColumn<QStringList>("steps");
    const QString activate = QStringLiteral("activate");
    QTest::newRow("open") << 1.0 << false << QStringList{activate};
    QTest::newRow("to the tray") << 1.0 << true
                                 << QStringList{activate, QStringLiteral("minimize")};
    // The prompt keeps the window open at this start.
    QTest::newRow("prompt instead of the tray")
        << 95.0 << true << QStringList{activate, QStringLiteral("prompt")};
}

void TestCommonDm::standInHostStartup()
{
    QFETCH(double, visitDaysAgo);
    QFETCH(bool, runMinimized);
    QFETCH(QStringList, steps);
    writeVisit(visitDaysAgo);
    ini().writeBool(kOption, QStringLiteral("runMinimizedEn"), runMinimized);
    StandInHost host(ini().path());
    host.options.addOpenEn = true; // not a start-up option: left as it is
    TcommonDm::LoadStartupOptions(host);
    QVERIFY(host.options.visitWebEn);
    QCOMPARE(host.options.runMinimized, runMinimized);
    QVERIFY(host.options.addOpenEn);
    QVERIFY(std::abs(host.options.lastWebVisit - (NowDays() - visitDaysAgo)) < kOneMinute);
    TcommonDm commonDm(host);
    QCOMPARE(commonDm.parent(), &host);
    QCOMPARE(host.registered.size(), 9);
    QVERIFY(host.registered.contains(CommonAction::Options));
    QVERIFY(host.registered.contains(CommonAction::About));
    commonDm.ApplyStartupOptions();
    QCOMPARE(host.windowTitle(), QStringLiteral("Ploxen Tasklume"));
    QCOMPARE(host.steps, steps);
}

void TestCommonDm::standInHostCommands()
{
    StandInHost host(ini().path());
    host.options.runMinimized = true;
    TcommonDm commonDm(host);
    // The options dialog shows the host's options and hands the choice back to it.
    OnDialog<TOptionsDlg> options([](TOptionsDlg *dialog) {
        QVERIFY(dialog->cb_AutoMinimized->isChecked());
        QVERIFY(!dialog->cb_AddOpen->isChecked());
        dialog->cb_AutoMinimized->click();
        dialog->cb_AddOpen->click();
        dialog->Btn_Ok->click();
    });
    commonDm.Action_Options->trigger();
    QCOMPARE(options.runs(), 1);
    QVERIFY(!host.options.runMinimized);
    QVERIFY(host.options.addOpenEn);
    QCOMPARE(ini().readString(kOption, QStringLiteral("addOpenEn"), QString()),
             QStringLiteral("1"));
    QCOMPARE(ini().readString(kOption, QStringLiteral("runMinimizedEn"), QString()),
             QStringLiteral("0"));
    // The about box shows the host's version.
    QString version;
    OnDialog<TAboutDlg> about([&](TAboutDlg *dialog) {
        version = dialog->lbl_version->text();
        dialog->Btn_Close->click();
    });
    commonDm.Action_About->trigger();
    QCOMPARE(about.runs(), 1);
    QCOMPARE(version, host.versionInfo()->GetValue(TWyVersionInfo::FileVersion));
    // The window's steps and the web page with the host's query.
    commonDm.Action_UiStayOnTop->trigger();
    commonDm.Action_UiStayOnTop->trigger();
    commonDm.Action_UiOpen->trigger();
    commonDm.Action_UiClose->trigger();
    QCOMPARE(host.steps, QStringList({QStringLiteral("top"), QStringLiteral("not top"),
                                      QStringLiteral("restore"), QStringLiteral("minimize")}));
    commonDm.Action_Website->trigger();
    QCOMPARE(m_desktop.urls.size(), 1);
    QVERIFY(m_desktop.urls.first().toString().endsWith(QStringLiteral("index.htm?id=stand-in")));
    // Turning the update prompt off keeps it in the host's options.
    commonDm.setVisitWebEn(false);
    QVERIFY(!host.options.visitWebEn);
}

#include "test_commondm.moc"
