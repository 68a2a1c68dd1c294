// The alarm window: shows a task whose reminder has come, plays the alarm sound and ends
// only through "Snooze" (a new reminder time) or "Dismiss". It has no close box, ignores
// Escape and stays above other windows, so it reaches the user even while the main window
// is hidden in the tray.
#pragma once

#include "common/pU_Funcs.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

class TtaskReminderDlg : public QDialog
{
    Q_OBJECT
public:
    // content: the task's text; soundFile: the alarm sound's full path.
    TtaskReminderDlg(const QString &content, const QString &soundFile, QWidget *parent = nullptr);
    ~TtaskReminderDlg() override;

    // The program-wide reference to the alarm window that is open, or null.
    static TtaskReminderDlg *openAlarm() { return s_openAlarm; }

    // Shows the window modally without waiting for it, centred on the desktop and above
    // other windows, records it as the open alarm and starts the sound. finished() reports
    // its end; read dismissed() and snoozeTime() then.
    void showAlarm();

    // Out: set by "Dismiss"; the time "Snooze" computed (0 until then).
    bool dismissed() const { return m_dismissed; }
    TDateTime snoozeTime() const { return m_snoozeTime; }

    QPlainTextEdit *Memo1 = nullptr;
    QComboBox *comb_Snooze = nullptr;
    QPushButton *btn_dismiss = nullptr;
    QPushButton *btn_snooze = nullptr;

public Q_SLOTS:
    // Only the two buttons end the window.
    void reject() override {}

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void FormShow();
    void btn_snoozeClick();
    void btn_dismissClick();
    void finish();

    static TtaskReminderDlg *s_openAlarm;
    QString m_content;
    QString m_soundFile;
    bool m_dismissed = false;
    TDateTime m_snoozeTime = 0;
    bool m_shown = false;
    bool m_finishing = false;
};
