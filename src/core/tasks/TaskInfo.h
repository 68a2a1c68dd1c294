// The record of one to-do list node, mirroring one row of the table tasks.
#pragma once

#include "common/ItemInfo.h"

#include <QtGlobal>

struct TTaskInfo : ItemInfo
{
    bool checkFlag = false;
    bool dueFlag = false;
    bool alarmFlag = false;
    qint32 textColor = 0;       // 0 = default text colour
    qint32 backgroundColor = 0; // 0 = default background
    TDateTime checkTime = 0;
    TDateTime alarmTime = 0;
    TDateTime dueTime = 0;
};
