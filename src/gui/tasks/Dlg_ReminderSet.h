// "Set Reminder": an enabled flag and a reminder moment in, the same two out; warns when the
// chosen moment is not in the future.
#pragma once

#include "common/pU_Funcs.h"

#include <QDialog>

class QCheckBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTimeEdit;

class TReminderSetDlg : public QDialog
{
    Q_OBJECT
public:
    // Filled from a task's alarmFlag and alarmTime.
    TReminderSetDlg(bool alarmFlag, TDateTime alarmTime, QWidget *parent = nullptr);

    // The result after OK.
    bool alarmFlag() const { return m_alarmFlag; }
    TDateTime alarmTime() const { return m_alarmTime; }
    // The chosen moment: the day of edt_date and the time of day of edt_time.
    TDateTime chosenTime() const;
    // The colour of the warning "Date or time may be incorrect!" on the palette's window
    // colour: blue where blue is readable, else the palette's link colour made readable.
    static QColor WarningColor(const QPalette &palette);
    // Whether the warning is shown.
    bool warningShown() const;

    QCheckBox *cb_reminder = nullptr;
    QDateEdit *edt_date = nullptr;
    QTimeEdit *edt_time = nullptr;
    QLabel *lbl_warning = nullptr;
    QLabel *img_warning = nullptr;
    QPushButton *btn_ok = nullptr;
    QPushButton *btn_cancel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    void edt_Change();
    void cb_reminderClick(bool checked);
    void btn_okClick();
    void checkWarning();

    bool m_inFlag;
    TDateTime m_inTime;
    bool m_alarmFlag = false;
    TDateTime m_alarmTime = 0;
    bool m_shown = false;
    bool m_filling = false;
    // The moment the pickers showed last: a signal that repeats it (Enter in a picker) is
    // no change by the user.
    TDateTime m_shownMoment = 0;
};
