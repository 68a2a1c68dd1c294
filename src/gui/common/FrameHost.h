// What a list frame uses of the window it lives in.
#pragma once

#include "common/AppPaths.h"
#include "common/Texts.h"
#include "ListCommands.h"

#include <QList>
#include <QPixmap>
#include <QSqlDatabase>

class IniFile;
class QAction;
class QMenu;

// Commands the main window and the common-commands module own and both lists show in their
// menus ("&File" and "&Help").
enum class CommonAction
{
    Options,      // "&Options..."
    SyncNow,      // "S&ync Now"
    DbBackup,     // "Database &Backup..."
    DbRestore,    // "Database &Restore..."
    Import,       // "&Import"
    StayOnTop,    // "S&tay on top" (check item)
    Close,        // "&Close", Ctrl+F12
    HelpContents, // "&Contents"
    Contact,      // "C&ontact Technical Support"
    Suggestion,   // "&Make a Suggestion"
    Website,      // "&Visit Ploxen Website"
    Update,       // "Check for &Update"
    About,        // "&About"
};

// The five background bitmaps the main window loads and both lists share read-only.
struct FrameBitmaps
{
    QPixmap toolbarBackground;
    QPixmap searchbarBackground;
    QPixmap groupBackground;
    QPixmap itemBackground0;
    QPixmap itemBackground1;
};

class FrameHost
{
public:
    virtual ~FrameHost() = default;

    virtual QSqlDatabase database() const = 0;
    virtual const IniFile &ini() const = 0;
    virtual const FrameBitmaps &bitmaps() const = 0;
    // Makes the given menus the window's menu bar.
    virtual void installMenus(const QList<QMenu *> &menus) = 0;
    // The row counts of the last reload of each list.
    virtual void setTaskCount(int count) = 0;
    virtual void setMemoCount(int count) = 0;
    // Number of characters of each task kept in the tray hint, and the hint itself.
    virtual int hintSize() const = 0;
    virtual void setTrayHint(const QString &hint) = 0;
    // The window's action for a common command; never null (a command whose module is not
    // there yet is a disabled action with its caption).
    virtual QAction *commonAction(CommonAction id) const = 0;
    // Export and e-mail of the lists' items, one object for both lists.
    virtual ListCommands &listCommands() = 0;
    // The alarm sound's full path.
    virtual QString alarmSound() const { return AppPaths::resource(Texts::AlarmSoundFile); }
    // An alarm window is opening for a task with this text. While the window is hidden or
    // another program is in front, the host announces it on the desktop as well.
    virtual void notifyAlarm(const QString &text) { Q_UNUSED(text); }
};
