// The main window: the two list tabs, the shared resources both lists use, the tray icon
// and the program's end.
#pragma once

#include "common/FrameHost.h"
#include "common/IniFile.h"
#include "common/pU_Funcs.h"
#include "common/RunLock.h"
#include "CommonHost.h"
#include "ItemListCommands.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QSqlDatabase>

#include <memory>

class InstanceServer;
class QAction;
class QLabel;
class QMenu;
class SyncController;
class SyncNotices;
class QTabWidget;
class QTimer;
class TWYHHComp;
class TWyFormState;
class TWyTrayIcon;
class TWyVersionInfo;
class TcommonDm;
class TwyMemosFrame;
class TwyTasksFrame;
class TwyTreeFrame;

class TmainFm : public QMainWindow, public FrameHost, public CommonHost
{
    Q_OBJECT
public:
    // Runs the creation steps. Throws TasklumeError when the database cannot be opened.
    // The program's entry has claimed the run lock and the channel already (runLock); without
    // it the window takes them itself.
    explicit TmainFm(InstanceServer *instance, RunLock *runLock = nullptr,
                     QWidget *parent = nullptr);
    ~TmainFm() override;

    // FrameHost (ini() serves CommonHost too)
    QSqlDatabase database() const override { return m_db; }
    const IniFile &ini() const override { return m_ini; }
    const FrameBitmaps &bitmaps() const override { return m_bitmaps; }
    void installMenus(const QList<QMenu *> &menus) override;
    void setTaskCount(int count) override { FTaskCount = count; }
    void setMemoCount(int count) override { FMemoCount = count; }
    int hintSize() const override { return FHintSize; }
    void setTrayHint(const QString &hint) override;
    QAction *commonAction(CommonAction id) const override;
    ListCommands &listCommands() override { return m_listCommands; }
    QString alarmSound() const override { return FAlarmSound; }
    void notifyAlarm(const QString &text) override;
    // CommonHost. The interchange module registers its common commands here too.
    QWidget *commonWindow() override { return this; }
    ShellOptions shellOptions() const override;
    void setShellOptions(const ShellOptions &options) override;
    void setCommonAction(CommonAction id, QAction *action) override;
    void activateList() override;
    void postUpdatePrompt() override;
    void syncSettingsChanged() override;

    TwyTasksFrame *tasksFrame() const { return FTasksFrame; }
    TwyMemosFrame *memosFrame() const { return FMemosFrame; }
    // The frame of the active tab.
    TwyTreeFrame *activeFrame() const;

    // Brings the window to the front for a second start: restored when minimised, left
    // alone when hidden in the tray, opened when hidden with no tray icon to open it.
    void activateForSecondStart();
    // Opens the window from the tray ("&Open Ploxen Tasklume", a left click on the icon).
    void Restore() override;
    // Sends the window to the tray ("&Close", Ctrl+F12); with no tray on the
    // desktop it is minimised instead.
    void Minimize() override;
    // Posts the reload to the to-do list and then to the memo list (after a restore or an
    // import).
    void reloadLists();
    // Puts the window on top of others or back, keeping its place and size; neither the
    // tray balloon nor a new item on open is triggered by the change.
    void setStayOnTop(bool on) override;

    // The shell's components.
    TWyTrayIcon *trayIcon() const { return WyTrayIcon1; }
    TWyFormState *formState() const { return WyFormState1; }
    TWyVersionInfo *versionInfo() const override { return WyVersionInfo1; }
    TWYHHComp *helpComp() const override { return WYHHComp1; }
    // The common commands (options, stay on top, help, web pages, about box).
    TcommonDm *commonDm() const { return m_commonDm; }
    // The background sync and its command "S&ync Now".
    SyncController *syncController() const { return m_sync; }
    // What the user is told of a failed run (a message box, a desktop notification).
    SyncNotices *syncNotices() const { return m_syncNotices; }
    QAction *syncNowAction() const { return Action_SyncNow; }
    // Whether the lists wait to be read anew after a sync (an edit or a dialog is open).
    bool syncReloadWaiting() const { return m_syncReloadWaiting; }
    // The longest Exit waits for a sync that is running.
    void setExitSyncWait(int ms) { m_exitSyncWaitMs = ms; }

    // The address followed by the query the maker's pages receive: the days since the last
    // visit and the row counts of the two lists.
    QString MakeWebUrl(const QString &address) const override;
    // Shows the update prompt (posted at the first show when it is due).
    void WMShowUpdate();

    // The only command that ends the program. A request to end from outside (a signal, the
    // session's end) runs it too.
    void Action_ExitExecute();
    // Ends the program on a request from outside (a signal): open dialogs are cancelled
    // first, so that no command is left half-way in a nested event loop, then Exit runs.
    void endFromOutside();
    // The session is being saved (the user logs out): what is being typed is stored and the
    // window state saved, and the program goes on until it is told to end.
    void saveSession();

    // Settings and state other modules read.
    QString FIniPath;
    int FHintSize = 20;
    bool FAddOpenEn = false;
    bool FRunMinimized = false;
    bool FVisitWebEn = true;
    TDateTime FLastWebVisit = 0;
    QString FAlarmSound;
    int FTaskCount = 0;
    int FMemoCount = 0;
    bool FExiting = false;
    bool FFirstShow = true;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void loadBitmaps();
    void buildTray();
    void firstShow();
    // Loads the memo list once the window has painted its first picture (or at once when
    // the window does not show).
    void loadMemosAfterFirstPaint();
    void loadWaitingMemos();
    bool eventFilter(QObject *watched, QEvent *event) override;
    void PageControl1Change(int index);
    void FormShow();
    void FormHide();
    void WyTrayIcon1Click(Qt::MouseButton button);
    void Timer_balloonTimer();
    void Action_AddTaskExecute();
    void Action_AddMemoExecute();
    // Opens the window on a tab and starts a new item there.
    void addFromTray(QWidget *tab, TwyTreeFrame *frame);
    QByteArray answerRequest(const QByteArray &request);
    // The sync: the status bars show its state; after a run that changed the lists here
    // they are read anew once neither list is being edited and no dialog is open.
    void buildSync();
    void showSyncState(const QString &text);
    void reloadAfterSync(bool tasks, bool memos);
    QByteArray answerAddRequest(const QByteArray &request);

    bool m_memosWaiting = false;        // the memo list loads after the first paint
    bool m_memosLoading = false;        // and its rows are being read
    bool m_updatePromptWaiting = false; // the update prompt follows the memo list
    qint64 m_firstPaintMicroseconds = -1; // the to-do list's first paint, monotonic clock
    InstanceServer *FMutex;
    // Held from start-up to Exit: tells the command-line companion that the program runs on
    // this folder and how to reach it.
    RunLock *m_runLock = nullptr;
    RunLock m_ownRunLock;
    IniFile m_ini;
    QSqlDatabase m_db;
    FrameBitmaps m_bitmaps;
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet_task = nullptr;
    QWidget *TabSheet_memo = nullptr;
    TwyTasksFrame *FTasksFrame = nullptr;
    TwyMemosFrame *FMemosFrame = nullptr;
    TWyTrayIcon *WyTrayIcon1 = nullptr;
    TWyFormState *WyFormState1 = nullptr;
    TWyVersionInfo *WyVersionInfo1 = nullptr;
    TWYHHComp *WYHHComp1 = nullptr;
    QTimer *Timer_balloon = nullptr;
    QMenu *PopupMenu_Tray = nullptr;
    QAction *Action_AddTask = nullptr;
    QAction *Action_PasteTask = nullptr;
    QAction *Action_AddMemo = nullptr;
    QAction *Action_PasteMemo = nullptr;
    QAction *Action_Exit = nullptr;
    TcommonDm *m_commonDm = nullptr;
    SyncController *m_sync = nullptr;
    SyncNotices *m_syncNotices = nullptr;
    QAction *Action_SyncNow = nullptr;
    QAction *Action_Find = nullptr;
    // The sync's state in each list's status bar.
    QList<QPointer<QLabel>> m_syncLabels;
    bool m_syncReloadWaiting = false;
    bool m_syncReloadTasks = false; // the lists that wait to be read anew
    bool m_syncReloadMemos = false;
    QStringList m_syncChangedTasks; // the keys of the rows those runs changed
    QStringList m_syncChangedMemos;
    int m_exitSyncWaitMs = 10000;
    QHash<CommonAction, QAction *> m_commonActions;
    bool m_closing = false;
    // Set while the window's own steps hide and show it (a change of window flags), so
    // that the hide and show handlers stay out of it.
    bool m_restyling = false;
    // Set while a tray command opens the window to start an item itself.
    bool m_addingFromTray = false;
    // Passes Exit has waited for dialogs that were open when it was chosen.
    int m_exitDeferrals = 0;
    // Export and e-mail for both lists.
    ItemListCommands m_listCommands;
};
