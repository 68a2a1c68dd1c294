// The main window: the two list tabs, the shared resources both lists use, the tray icon
// and the program's end.
#pragma once

#include "common/FrameHost.h"
#include "common/IniFile.h"

#include <QHash>
#include <QMainWindow>
#include <QSqlDatabase>

#include <memory>

class InstanceServer;
class QAction;
class QMenu;
class QSystemTrayIcon;
class QTabWidget;
class TwyMemosFrame;
class TwyTasksFrame;
class TwyTreeFrame;

class TmainFm : public QMainWindow, public FrameHost
{
    Q_OBJECT
public:
    // Runs the creation steps. Throws TasklumeError when the database cannot be opened.
    explicit TmainFm(InstanceServer *instance, QWidget *parent = nullptr);
    ~TmainFm() override;

    // FrameHost
    QSqlDatabase database() const override { return m_db; }
    const IniFile &ini() const override { return m_ini; }
    const FrameBitmaps &bitmaps() const override { return m_bitmaps; }
    void installMenus(const QList<QMenu *> &menus) override;
    void setTaskCount(int count) override { FTaskCount = count; }
    void setMemoCount(int count) override { FMemoCount = count; }
    int hintSize() const override { return FHintSize; }
    void setTrayHint(const QString &hint) override;
    QAction *commonAction(CommonAction id) const override;
    // Gives a common command its action (the interchange and common-commands modules
    // register theirs); the frames' menus show it from then on.
    void setCommonAction(CommonAction id, QAction *action);

    TwyTasksFrame *tasksFrame() const { return FTasksFrame; }
    TwyMemosFrame *memosFrame() const { return FMemosFrame; }
    // The frame of the active tab.
    TwyTreeFrame *activeFrame() const;

    // Brings the window to the front for a second start: restored when minimised, left
    // alone when hidden in the tray.
    void activateForSecondStart();
    // Opens the window from the tray.
    void Restore();

    // The only command that ends the program.
    void Action_ExitExecute();

    // Settings and state other modules read.
    QString FIniPath;
    int FHintSize = 20;
    bool FAddOpenEn = false;
    bool FRunMinimized = false;
    QString FAlarmSound;
    int FTaskCount = 0;
    int FMemoCount = 0;
    bool FExiting = false;
    bool FFirstShow = true;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void loadBitmaps();
    void buildTray();
    void firstShow();
    void ApplyStartupOptions();
    void PageControl1Change(int index);
    bool trayAvailable() const;
    QByteArray answerRequest(const QByteArray &request) const;

    InstanceServer *FMutex;
    IniFile m_ini;
    QSqlDatabase m_db;
    FrameBitmaps m_bitmaps;
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet_task = nullptr;
    QWidget *TabSheet_memo = nullptr;
    TwyTasksFrame *FTasksFrame = nullptr;
    TwyMemosFrame *FMemosFrame = nullptr;
    QSystemTrayIcon *WyTrayIcon1 = nullptr;
    QMenu *PopupMenu_Tray = nullptr;
    QAction *Action_Exit = nullptr;
    QHash<CommonAction, QAction *> m_commonActions;
    bool m_closing = false;
};
