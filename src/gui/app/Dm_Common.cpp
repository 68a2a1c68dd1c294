#include "Dm_Common.h"

#include "app/AutoStart.h"
#include "app/CommonOptions.h"
#include "common/IniFile.h"
#include "common/pU_Boxes.h"
#include "common/Texts.h"
#include "CommonHost.h"
#include "components/FormStateRules.h"
#include "components/HelpTopics.h"
#include "components/wyHHComp.h"
#include "components/WyVersionInfo.h"
#include "Dlg_About.h"
#include "Dlg_Options.h"
#include "Dlg_Update.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>

TcommonDm::TcommonDm(CommonHost &host) : QObject(host.commonWindow()), m_host(host)
{
    setObjectName(QStringLiteral("commonDm"));

    Action_Options = makeAction(QStringLiteral("Action_Options"), QStringLiteral("&Options..."),
                                &TcommonDm::Action_OptionsExecute);
    Action_About = makeAction(QStringLiteral("Action_About"), QStringLiteral("&About"),
                              &TcommonDm::Action_AboutExecute);
    // "&Contents" of the lists' Help menus. The menus show F1 beside it; the key itself
    // opens the help at the topic of the list in use (the help component's F1).
    HelpContents1 = makeAction(QStringLiteral("HelpContents1"), QStringLiteral("&Contents"),
                               &TcommonDm::HelpContents1Execute);
    HelpContents1->setStatusTip(QStringLiteral("Help Contents"));
    HelpContents1->setToolTip(QStringLiteral("Help Contents"));
    HelpContents1->setShortcut(Qt::Key_F1);
    HelpContents1->setShortcutContext(Qt::WidgetShortcut);
    Action_Contact =
        makeAction(QStringLiteral("Action_Contact"), QStringLiteral("C&ontact Technical Support"),
                   &TcommonDm::MailSupport);
    Action_Suggestion = makeAction(QStringLiteral("Action_Suggestion"),
                                   QStringLiteral("&Make a Suggestion"), &TcommonDm::MailSupport);
    Action_Website = makeAction(QStringLiteral("Action_Website"),
                                QStringLiteral("&Visit Ploxen Website"), &TcommonDm::VisitHomePage);
    Action_Update = makeAction(QStringLiteral("Action_Update"), QStringLiteral("Check for &Update"),
                               &TcommonDm::VisitHomePage);
    Action_Resources =
        makeAction(QStringLiteral("Action_Resources"), QStringLiteral("Get Free Resources"),
                   &TcommonDm::VisitResourcesPage);
    Action_UiStayOnTop =
        makeAction(QStringLiteral("Action_UiStayOnTop"), QStringLiteral("S&tay on top"),
                   &TcommonDm::Action_UiStayOnTopExecute);
    Action_UiStayOnTop->setCheckable(true);
    Action_UiStayOnTop->setStatusTip(
        FormStateRules::StayOnTopHint(QGuiApplication::platformName()));
    Action_UiStayOnTop->setToolTip(Action_UiStayOnTop->statusTip());
    Action_UiOpen =
        makeAction(QStringLiteral("Action_UiOpen"), QString(), &TcommonDm::Action_UiOpenExecute);
    Action_UiOpen->setText(Texts::TrayOpen);
    // The key is the lists' own (Ctrl+F12); the action shows it in the menus' key column.
    Action_UiClose = makeAction(QStringLiteral("Action_UiClose"), QStringLiteral("&Close"),
                                &TcommonDm::Action_UiCloseExecute);
    Action_UiClose->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F12));
    Action_UiClose->setShortcutContext(Qt::WidgetShortcut);

    m_host.setCommonAction(CommonAction::Options, Action_Options);
    m_host.setCommonAction(CommonAction::StayOnTop, Action_UiStayOnTop);
    m_host.setCommonAction(CommonAction::Close, Action_UiClose);
    m_host.setCommonAction(CommonAction::HelpContents, HelpContents1);
    m_host.setCommonAction(CommonAction::Contact, Action_Contact);
    m_host.setCommonAction(CommonAction::Suggestion, Action_Suggestion);
    m_host.setCommonAction(CommonAction::Website, Action_Website);
    m_host.setCommonAction(CommonAction::Update, Action_Update);
    m_host.setCommonAction(CommonAction::About, Action_About);
}

QAction *TcommonDm::makeAction(const QString &name, const QString &caption,
                               void (TcommonDm::*slot)())
{
    auto *action = new QAction(caption, this);
    action->setObjectName(name);
    connect(action, &QAction::triggered, this,
            [this, slot] { RunCommand([&] { (this->*slot)(); }); });
    return action;
}

void TcommonDm::LoadStartupOptions(CommonHost &host)
{
    const TDateTime now = NowDays();
    const CommonOptions::StartupOptions startup =
        CommonOptions::ReadStartupOptions(host.ini(), now);
    ShellOptions options = host.shellOptions();
    options.visitWebEn = startup.visitWebEn;
    options.lastWebVisit = startup.lastWebVisit;
    options.runMinimized = startup.runMinimized;
    host.setShellOptions(options);
    if (startup.visitWebMissing)
        RunCommand([&] { CommonOptions::NoteWebVisit(host.ini(), now); });
}

void TcommonDm::ApplyStartupOptions()
{
    m_host.commonWindow()->setWindowTitle(Texts::AppTitle);
    m_host.activateList();
    // With the prompt on the screen the window stays open at this start; the option itself
    // is kept as the user chose it.
    const ShellOptions options = m_host.shellOptions();
    bool toTray = options.runMinimized;
    if (CommonOptions::IsUpdatePromptDue(options.visitWebEn, options.lastWebVisit, NowDays())) {
        m_host.postUpdatePrompt();
        toTray = false;
    }
    if (toTray)
        m_host.Minimize();
}

void TcommonDm::showUpdatePrompt()
{
    TupdateDlg dialog(*this, m_host.commonWindow());
    dialog.exec();
}

void TcommonDm::visitPage(const QString &page)
{
    openWithDesktop(QUrl(m_host.MakeWebUrl(CommonOptions::WebPageAddress(page))));
    CommonOptions::NoteWebVisit(m_host.ini(), NowDays());
}

void TcommonDm::VisitHomePage()
{
    visitPage(CommonOptions::HomePage);
}

void TcommonDm::VisitResourcesPage()
{
    visitPage(CommonOptions::ResourcesPage);
}

void TcommonDm::MailSupport()
{
    openWithDesktop(QUrl(CommonOptions::MailLink(CommonOptions::SupportMail)));
}

void TcommonDm::MailSales()
{
    openWithDesktop(QUrl(CommonOptions::MailLink(CommonOptions::SalesMail)));
}

void TcommonDm::openWithDesktop(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

bool TcommonDm::IsAutoStartOn() const
{
    return AutoStart::IsOn(AutoStart::EntryPath());
}

void TcommonDm::SetAutoStart(bool on)
{
    AutoStart::Set(on, QCoreApplication::applicationFilePath(), AutoStart::EntryPath());
}

void TcommonDm::setVisitWebEn(bool on)
{
    ShellOptions options = m_host.shellOptions();
    options.visitWebEn = on;
    m_host.setShellOptions(options);
    m_host.ini().writeBool(CommonOptions::Section, CommonOptions::KeyVisitWebEn, on);
}

void TcommonDm::setOpenOptions(bool runMinimized, bool addOpen)
{
    m_host.ini().writeBool(CommonOptions::Section, CommonOptions::KeyRunMinimized, runMinimized);
    m_host.ini().writeBool(CommonOptions::Section, CommonOptions::KeyAddOpen, addOpen);
    ShellOptions options = m_host.shellOptions();
    options.runMinimized = runMinimized;
    options.addOpenEn = addOpen;
    m_host.setShellOptions(options);
}

SyncSettings TcommonDm::syncSettings() const
{
    return SyncOptions::Read(m_host.ini());
}

void TcommonDm::setSyncSettings(const SyncSettings &settings)
{
    if (settings == syncSettings())
        return;
    SyncOptions::Write(m_host.ini(), settings);
    m_host.syncSettingsChanged();
}

void TcommonDm::Action_OptionsExecute()
{
    TOptionsDlg dialog(*this, m_host.shellOptions(), m_host.commonWindow());
    dialog.exec();
}

void TcommonDm::Action_AboutExecute()
{
    TAboutDlg dialog(*this, m_host.versionInfo()->GetValue(TWyVersionInfo::FileVersion),
                     m_host.commonWindow());
    dialog.exec();
}

void TcommonDm::HelpContents1Execute()
{
    m_host.helpComp()->showHelp(HelpContext::Contents);
}

void TcommonDm::Action_UiStayOnTopExecute()
{
    // The action has already turned its check mark.
    m_host.setStayOnTop(Action_UiStayOnTop->isChecked());
}

void TcommonDm::Action_UiOpenExecute()
{
    m_host.Restore();
}

void TcommonDm::Action_UiCloseExecute()
{
    m_host.Minimize();
}
