// The options of section "option" the main window keeps for the commands both lists share.
#pragma once

#include "common/pU_Funcs.h"

struct ShellOptions
{
    bool visitWebEn = true;     // "visitWebEn": the update prompt may come
    TDateTime lastWebVisit = 0; // "visitWeb": the last visit to the maker's pages
    bool runMinimized = false;  // "runMinimizedEn": the program starts in the tray
    bool addOpenEn = false;     // "addOpenEn": opening the window starts a new item
};
