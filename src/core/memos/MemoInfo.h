// The record of one memo node, mirroring one row of the table memos.
#pragma once

#include "common/ItemInfo.h"

struct TMemoInfo : ItemInfo
{
    // Equal to createTime for a memo added in the tree; 0 for one made by pasting text.
    TDateTime assignTime = 0;
};
