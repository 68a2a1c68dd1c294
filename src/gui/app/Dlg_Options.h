// "Options": start with the desktop session, start in the tray, a new item on open.
#pragma once

#include "ShellOptions.h"

#include <QDialog>

class QCheckBox;
class QPushButton;
class TcommonDm;

class TOptionsDlg : public QDialog
{
    Q_OBJECT
public:
    // The boxes show the options as they stand (options) and the autostart entry.
    TOptionsDlg(TcommonDm &commonDm, const ShellOptions &options, QWidget *parent = nullptr);

    QCheckBox *cb_AutoStart = nullptr;
    QCheckBox *cb_AutoMinimized = nullptr;
    QCheckBox *cb_AddOpen = nullptr;
    QPushButton *Btn_Ok = nullptr;
    QPushButton *Btn_Cancel = nullptr;

private:
    // Stores the three options and closes; a setting that cannot be written is reported
    // and the dialog stays open with the user's choices.
    void Btn_OkClick();

    TcommonDm &m_commonDm;
};
