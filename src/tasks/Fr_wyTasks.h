// The to-do list frame: the shared list frame with completion marks, due dates, reminders
// and colours.
#pragma once

#include "TaskTreeModel.h"
#include "common/Fr_wyTree.h"

class QComboBox;
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
    void PasteAsTask(const QString &text) { pasteText(text); }
    void pasteText(const QString &text) override;

    // Marks a task complete or not and stores it.
    void setCompletion(ItemNode *node, bool checked);
    void toggleCompletion();
    void toggleDateView();

    // View settings read at each reload.
    bool viewDate() const { return m_model->view.date; }
    int viewRange = 0;

protected:
    void readViewSettings() override;
    void afterReload() override;
    void reportCount(int count) override;
    std::unique_ptr<ItemInfo> newRecord() const override;
    void insertNewItem(ItemNode *node) override;
    void insertPastedItem(ItemNode *node) override;
    void prepareAdd() override;
    QString statusText(const ItemNode *node) const override;
    void updateOwnActions(bool selection) override;
    void disableOwnActions() override;
    void buildMenus() override;

private:
    void setViewRange(int range);

    QAction *Action_TaskComplete = nullptr;
    QAction *Action_ViewDate = nullptr;
    QAction *Action_TaskReminderSet = nullptr;
    QAction *Action_TaskDueSet = nullptr;
    QAction *Action_SetColor = nullptr;
    QAction *Action_ViewAsc = nullptr;
    QAction *Action_ExpandAll = nullptr;
    QAction *Action_CollapseAll = nullptr;
    QAction *Action_Save = nullptr;
    QAction *Action_SaveAll = nullptr;
    QAction *Action_Print = nullptr;
    QAction *Action_Export = nullptr;
    QAction *Action_Email = nullptr;
    QAction *Menu_ViewAll = nullptr;
    QAction *Menu_ViewComplete = nullptr;
    QAction *Menu_ViewIncomplete = nullptr;
    QMenu *Menu_Moveto = nullptr;
    QMenu *MainMoveTo = nullptr;
    QComboBox *Comb_ViewRange = nullptr;
};
