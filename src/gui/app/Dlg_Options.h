// "Options": on the first page, start with the desktop session, start in the tray, a new
// item on open; on the "Sync" page, the sync's server and password.
#pragma once

#include "ShellOptions.h"

#include <QDialog>

class QCheckBox;
class QPushButton;
class QTabWidget;
class SyncOptionsPage;
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
    QTabWidget *PageControl = nullptr;
    SyncOptionsPage *SyncPage = nullptr;

protected:
    // The focused control shows its focus frame from the start.
    void showEvent(QShowEvent *event) override;

private:
    // Stores the options and closes; a setting that cannot be written is reported and the
    // dialog stays open with the user's choices. A sync address that is no web address is
    // refused before anything is stored. The password goes to the secret store, and the
    // dialog closes when the store has taken it.
    void Btn_OkClick();
    void storePassword();
    void passwordStored(bool ok, const QString &message);

    TcommonDm &m_commonDm;
};
