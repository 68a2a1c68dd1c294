// The to-do list frame: the shared list frame with completion marks, due dates, reminders
// and colours.
#pragma once

#include "TaskTreeModel.h"
#include "common/Fr_wyTree.h"

class TaskStatements;

class TwyTasksFrame : public TwyTreeFrame
{
    Q_OBJECT
public:
    TwyTasksFrame(FrameHost &host, QWidget *parent);

    TaskTreeModel *taskModel() const { return static_cast<TaskTreeModel *>(m_model); }
    TaskStatements &taskStatements() const;

    void ReloadTasks() { reloadItems(); }
    int CountTasks();
    void UpdateTrayHint();

    // View settings read at each reload.
    bool viewDate = false;
    int viewRange = 0;

protected:
    void readViewSettings() override;
    void afterReload() override;
    void reportCount(int count) override;
};
