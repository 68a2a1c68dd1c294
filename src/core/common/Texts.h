// Fixed texts of the program: captions, file names and messages shared by several modules.
#pragma once

#include <QString>

namespace Texts {

inline const QString AppTitle = QStringLiteral("Ploxen Tasklume");
inline const QString InitialCaption = QStringLiteral("Ploxen Software");
inline const QString MutexName = QStringLiteral("Ploxen-Tasklume-Mutex");

inline const QString IniFileName = QStringLiteral("wyConf.ini");
inline const QString DatabaseFileName = QStringLiteral("wyData.wyb");
// Locked by the running program (common/RunLock.h).
inline const QString RunLockFileName = QStringLiteral("wyRun.lock");
inline const QString ImagesDir = QStringLiteral("Images/");
inline const QString ToolbarBackgroundFile = QStringLiteral("toolsbarBackground.bmp");
inline const QString SearchbarBackgroundFile = QStringLiteral("searchbarBackground.bmp");
inline const QString GroupBackgroundFile = QStringLiteral("groupBackground.bmp");
inline const QString ItemBackground0File = QStringLiteral("itemBackground0.bmp");
inline const QString ItemBackground1File = QStringLiteral("itemBackground1.bmp");
inline const QString AppIconFile = QStringLiteral("Images/appIcon.png");
// The name the program's icon is installed under in the icon theme (hicolor), the one
// name the desktop files use for it.
inline const QString IconName = QStringLiteral("tasklume");
// The component id of the software-centre description, which names the menu entry
// (DesktopId.desktop) and, on Wayland, the program's windows.
inline const QString DesktopId = QStringLiteral("com.example.ploxen.Tasklume");
inline const QString AlarmSoundFile = QStringLiteral("Sounds/Alarm.wav");
inline const QString HelpFile = QStringLiteral("Tasklume-help.html");
inline const QString TempDir = QStringLiteral("Temp/");

inline const QString RootKey = QStringLiteral("root");

// The maker's web site.
inline const QString WebSite = QStringLiteral("https://ploxen.example.com/");

inline const QString TabTasks = QStringLiteral("To-Do List");
inline const QString TabMemos = QStringLiteral("Memos");

// Message box captions.
inline const QString CaptionAsk = QStringLiteral("Ask");
inline const QString CaptionError = QStringLiteral("Error");
inline const QString CaptionWarning = QStringLiteral("Warning");
inline const QString CaptionTip = QStringLiteral("Tip");

// Tree display.
inline const QString TaskPlaceholder = QStringLiteral("Input content here");
inline const QString TaskTreeHint = QStringLiteral("Double click to add a Task!");
inline const QString MemoTreeHint = QStringLiteral("Double click to add a Memo!");

// Status bar tips, drawn in the seeded order shared by both lists.
inline const QString StatusTips[6] = {
    QStringLiteral("Ctrl+Enter: Finish edit."),
    QStringLiteral("Esc: Cancel edit."),
    QStringLiteral("Mouse double click blank: shortcut add."),
    QStringLiteral("Enter: add a new item."),
    QStringLiteral("Ctrl+Enter: add a new Child item."),
    QStringLiteral("Ctrl+F12: Minimize window."),
};

// Tray.
inline const QString TrayOpen = QStringLiteral("&Open Ploxen Tasklume");
inline const QString ActionAddTask = QStringLiteral("&Add Task");
inline const QString ActionPasteTask = QStringLiteral("Paste to &Task");
inline const QString ActionAddMemo = QStringLiteral("A&dd Memo");
inline const QString ActionPasteMemo = QStringLiteral("Paste to &Memo");
inline const QString ActionExit = QStringLiteral("E&xit");
inline const QString ActionDbBackup = QStringLiteral("Database &Backup...");
inline const QString ActionDbRestore = QStringLiteral("Database &Restore...");
inline const QString ActionImport = QStringLiteral("&Import");

} // namespace Texts
