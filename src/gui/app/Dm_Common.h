// The commands both lists and the tray share: options, stay on top, opening and closing
// the window, help, support mail, the maker's web pages and the about box; the start-up
// options and the update prompt; the autostart entry.
#pragma once

#include "common/pU_Funcs.h"
#include "sync/SyncSettings.h"

#include <QObject>
#include <QString>
#include <QUrl>

class CommonHost;
class QAction;

class TcommonDm : public QObject
{
    Q_OBJECT
public:
    // Makes the commands and hands the window those its menus show.
    explicit TcommonDm(CommonHost &host);

    // Reads "visitWebEn", "visitWeb" (written with the current time when it has no usable
    // value) and "runMinimizedEn" into the window's options. Uses no state of the module:
    // the main window calls it before the module exists. A settings file that cannot be
    // written is reported and the start goes on.
    static void LoadStartupOptions(CommonHost &host);
    // At the window's first show: the caption, the active list's activation, then either
    // the update prompt (the window then stays open at this start) or, when asked for,
    // the tray.
    void ApplyStartupOptions();
    // The main window's answer to the posted update prompt: shows it modally.
    void showUpdatePrompt();

    // Open a page of the maker's site in the user's web browser and note the visit.
    void VisitHomePage();
    void VisitResourcesPage();
    // Start a new mail to the support or the sales address in the user's mail program.
    void MailSupport();
    void MailSales();
    // Whether the program starts with the desktop session, and changing it.
    bool IsAutoStartOn() const;
    void SetAutoStart(bool on);

    // Writes "visitWebEn" at once and keeps it in the window's options.
    void setVisitWebEn(bool on);
    // Writes "runMinimizedEn" and "addOpenEn" and keeps them in the window's options.
    void setOpenOptions(bool runMinimized, bool addOpen);
    // The sync's settings (section "sync"); writing them tells the window. The password is
    // not among them: the options dialog keeps it in the secret store.
    SyncSettings syncSettings() const;
    void setSyncSettings(const SyncSettings &settings);

    // Commands.
    QAction *Action_Options = nullptr;
    QAction *Action_About = nullptr;
    QAction *HelpContents1 = nullptr;
    QAction *Action_Contact = nullptr;
    QAction *Action_Suggestion = nullptr;
    QAction *Action_Website = nullptr;
    QAction *Action_Update = nullptr;
    QAction *Action_Resources = nullptr;
    QAction *Action_UiStayOnTop = nullptr;
    QAction *Action_UiOpen = nullptr;
    QAction *Action_UiClose = nullptr;

private:
    QAction *makeAction(const QString &name, const QString &caption, void (TcommonDm::*slot)());
    void visitPage(const QString &page);
    // Hands an address to the desktop (browser or mail program); nothing is reported when
    // none takes it.
    static void openWithDesktop(const QUrl &url);

    void Action_OptionsExecute();
    void Action_AboutExecute();
    void HelpContents1Execute();
    void Action_UiStayOnTopExecute();
    void Action_UiOpenExecute();
    void Action_UiCloseExecute();

    CommonHost &m_host;
};
