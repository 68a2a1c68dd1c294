// The help contexts of the program: the numbers controls and dialogs carry, and the topic
// of the help file each one opens.
#pragma once

#include <QString>

namespace HelpContext {
enum : int
{
    None = 0,            // no context of its own: the owner's or the window's is used
    Contents = 1,        // the start of the help
    MainWindow = 10,     // the window, its tabs and menus
    Tray = 20,           // the tray icon and its menu
    Tasks = 100,         // the to-do list
    TaskEditing = 110,   // adding, editing, completing, copying tasks
    TaskViews = 120,     // view range, search, sorting, moving
    DueReminder = 130,   // the due date and reminder dialogs
    Alarm = 140,         // the reminder alarm window
    TaskColours = 150,   // the colour dialog
    Reports = 160,       // saving and printing
    Email = 170,         // sending by e-mail
    Memos = 200,         // the memo list
    Backup = 300,        // database backup and export
    RestoreImport = 310, // restore, import and the replace question
    Options = 400,       // the options dialog
    About = 410,         // the about box
    Update = 420,        // the update prompt
    Keys = 500,          // keyboard reference
    Files = 600,         // the program's files
};
}

// The anchor of the help file for a context; the start of the help for an unknown one.
QString HelpAnchor(int context);
