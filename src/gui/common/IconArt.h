// The program's own icons, drawn as vectors at whatever size and pixel ratio they are shown
// in, so they stay crisp on HiDPI screens. Lines and symbols that are meant to look like
// text take the current palette, so a dark desktop theme stays readable.
#pragma once

#include <QIcon>

enum class IconId {
    AddItem,      // a green plus: add a top-level item, tip "add a new item"
    AddChild,     // a small plus below and right of a line: add a child item
    Edit,         // a pencil
    Delete,       // a red cross / bin
    SortAsc,      // A over Z with an arrow down (the list goes A to Z)
    SortDesc,     // Z over A with an arrow down
    ViewList,     // numbered lines
    ViewDate,     // a calendar with lines of text
    ExpandAll,    // a plus in a box with lines
    CollapseAll,  // a minus in a box with lines
    TipEdit,      // a pencil with a check: "click here to finish edit"
    TipInfo,      // a blue information sign
    Search,       // a magnifier
    ClearSearch,  // a magnifier with a small cross
    Alarm,        // an alarm clock: reminder set
    Overdue,      // a calendar page marked in red
    Due,          // a plain calendar page
    MemoTop,      // a note sheet
    MemoChild,    // a small note sheet
    TabTasks,     // a check list (22 px tab image)
    TabMemos,     // a note pad (22 px tab image)
    StatusBulb,   // a light bulb
    Save,         // a floppy / document with arrow
    Print,        // a printer
    Color,        // a palette or colour swatch
    Reminder,     // a bell
    DueSet,       // a calendar with a pin
};

namespace IconArt {
// The program's own picture.
QIcon icon(IconId id);
// The freedesktop icon name of the command a picture stands for ("list-add", "edit-delete"...),
// or an empty string when the desktop's themes have none for it.
QString themeName(IconId id);
// The icon of a tool bar button or menu command: the desktop icon theme's one for the command
// where the theme has it (a theme's "-symbolic" icon is drawn in the palette's text colour),
// else the program's own picture.
QIcon commandIcon(IconId id);
} // namespace IconArt
