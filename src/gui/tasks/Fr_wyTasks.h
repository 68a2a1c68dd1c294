// The to-do list frame: the shared list frame with completion marks, due dates, reminders
// and colours.
#pragma once

#include <functional>

#include "tasks/AlarmScan.h"
#include "tasks/TaskTreeModel.h"
#include "common/Fr_wyTree.h"

#include <QPointer>

class QComboBox;
class TaskStatements;
class TtaskReminderDlg;

class TwyTasksFrame : public TwyTreeFrame
{
    Q_OBJECT
public:
    TwyTasksFrame(FrameHost &host, QWidget *parent);
    ~TwyTasksFrame() override;

    TaskTreeModel *taskModel() const { return static_cast<TaskTreeModel *>(m_model); }
    TaskStatements &taskStatements() const;

    void ReloadTasks() { reloadItems(); }
    int CountTasks();
    void UpdateTrayHint();
    void PasteAsTask(const QString &text) { pasteText(text); }

    // Marks a task complete or not and stores it.
    void setCompletion(ItemNode *node, bool checked);
    void setCompletion(const QList<ItemNode *> &nodes, bool checked);
    void toggleCompletion();
    void toggleDateView();

    // Due date, reminder and colours of the selected tasks.
    void Action_TaskDueSetExecute();
    void Action_TaskReminderSetExecute();
    void Action_SetColorExecute();
    // One tick of the alarm scan Timer1 (500 ms, running from the end of a reload until
    // shutdown): raises the alarm of at most one due task.
    void Timer1Timer();
    QTimer *alarmTimer() const { return Timer1; }
    AlarmScan &alarmScan() { return m_alarms; }
    void shutdown() override;

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

    bool hiddenByRange(const ItemNode *node) const override;
    bool filtersByRange() const override { return viewRange != 0; }
    void afterFilter() override;

private:
    // A reading of the tray hint waits for the writes being stored in the background.
    bool m_trayHintWaiting = false;
    // The first selected task, whose values a dialog about the selection opens with; null
    // while an edit is open or nothing is selected.
    const TTaskInfo *dialogTask() const;
    // Runs write on every selected task, shows its row again and takes it out of the
    // selection.
    void writeEachSelectedAndDeselect(const std::function<void(ItemNode *)> &write);
    void setViewRange(int range);
    void rangeChanged(int range);

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

    // Reminders.
    void raiseAlarm(ItemNode *node);
    void alarmClosed(TtaskReminderDlg *dialog);
    QTimer *Timer1 = nullptr;
    AlarmScan m_alarms;
    QPointer<TtaskReminderDlg> m_alarmDlg;
    const ItemNode *m_alarmNode = nullptr; // compared only: it may have gone meanwhile
    QString m_alarmKey;
};
