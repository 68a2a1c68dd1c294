// The memo frame: the shared list frame without task features.
#pragma once

#include "common/Fr_wyTree.h"

class TwyMemosFrame : public TwyTreeFrame
{
    Q_OBJECT
public:
    TwyMemosFrame(FrameHost &host, QWidget *parent);

    void ReloadMemos() { reloadItems(); }

protected:
    void reportCount(int count) override;
};
