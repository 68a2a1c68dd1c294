// The record each tree node carries: the fields that tasks and memos share. Each list adds
// its own fields in a derived record (tasks/TaskInfo.h, memos/MemoInfo.h).
#pragma once

#include "pU_Funcs.h"
#include "RowKey.h"

#include <QString>

struct ItemInfo
{
    virtual ~ItemInfo() = default;

    RowKey key;      // row key (column tid or mid); empty for an item not stored yet
    RowKey pid;      // "root" for a top-level item, else the parent's key
    QString content; // the item's text, may hold CR LF line breaks
    bool expandFlag = false;
    TDateTime createTime = 0;
    TDateTime editTime = 0;
};
