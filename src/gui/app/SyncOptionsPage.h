// The "Sync" page of the options: the CalDAV collection of the to-do list and the optional
// one of the memos, the user name, the password (kept in the desktop's secret store, read
// into the page when it opens) and the minutes between runs.
#pragma once

#include "sync/SyncSettings.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QSpinBox;

class SyncOptionsPage : public QWidget
{
    Q_OBJECT
public:
    // Shows the settings; the stored password follows when the secret store answers (it
    // never replaces what the user has typed meanwhile).
    explicit SyncOptionsPage(const SyncSettings &settings, QWidget *parent = nullptr);

    // The settings as the fields give them.
    SyncSettings settings() const;
    QString password() const;
    // Why the fields cannot be stored (empty when they can), and the field to correct.
    QString problem(QWidget **field = nullptr) const;
    // Whether the secret store has answered the page's question for the stored password.
    bool passwordRead() const { return m_passwordRead; }

    // What saving must do with the password in the secret store.
    enum class PasswordChange
    {
        None,
        Write,
        Remove
    };
    PasswordChange passwordChange() const;
    // Says on the page what the secret store is doing or why it cannot be used.
    void setNote(const QString &text, bool problem);

    QLineEdit *Edt_TasksUrl = nullptr;
    QLineEdit *Edt_MemosUrl = nullptr;
    QLineEdit *Edt_UserName = nullptr;
    QLineEdit *Edt_Password = nullptr;
    QSpinBox *Spin_Interval = nullptr;
    QLabel *lbl_Note = nullptr;

private:
    void readPassword(const SyncSettings &settings);

    QString m_loadedEntry;    // the secret store's entry of the settings shown at first
    QString m_loadedPassword; // and the password found there
    bool m_passwordRead = false;
};
