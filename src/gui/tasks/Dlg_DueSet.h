// "Set Due Date": an enabled flag and a due day in, the same two out.
#pragma once

#include "common/pU_Funcs.h"

#include <QDialog>
#include <QTime>

class QCheckBox;
class QDateEdit;
class QPushButton;

class TDueSetDlg : public QDialog
{
    Q_OBJECT
public:
    // Filled from a task's dueFlag and dueTime.
    TDueSetDlg(bool dueFlag, TDateTime dueTime, QWidget *parent = nullptr);

    // The result after OK: the state of the check box and the picked day with the time of
    // day of the value the picker opened with.
    bool dueFlag() const { return m_dueFlag; }
    TDateTime dueTime() const { return m_dueTime; }
    // What the dialog shows now, as OK would take it.
    TDateTime shownTime() const;

    QCheckBox *cb_due = nullptr;
    QDateEdit *edt_due = nullptr;
    QPushButton *Btn_Ok = nullptr;
    QPushButton *Btn_Cancel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    void edt_dueChange();
    void Btn_OkClick();

    bool m_inFlag;
    TDateTime m_inTime;
    QTime m_timeOfDay;
    bool m_dueFlag = false;
    TDateTime m_dueTime = 0;
    bool m_shown = false;
    bool m_filling = false;
    // The day the picker showed last: a signal that repeats it (Enter in the picker) is no
    // change by the user.
    QDate m_shownDay;
};
