// The "Sync" page of the options: the CalDAV collection of the to-do list and the optional
// one of the memos, the user name, the password (kept in the desktop's secret store, read
// into the page when it opens) and the minutes between runs. From the server's address (or
// the user's own) "Find Collections" lists the user's calendar collections by name with what
// they accept, to choose from; "Test" checks the log-in and the chosen collections. The page
// says plainly when the password would travel unencrypted to another machine.
#pragma once

#include "sync/SyncSettings.h"

#include <QWidget>

#include "sync/CalDavDiscovery.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
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
    // Whether a search or a test is going.
    bool isBusy() const { return m_busy; }
    // The collections the last search found.
    const QList<DavCollection> &found() const { return m_found; }

    // How long each request of a search or a test may take.
    void setRequestTimeout(int ms) { m_requestTimeoutMs = ms; }

    QLineEdit *Edt_Server = nullptr;
    QPushButton *Btn_Find = nullptr;
    QPushButton *Btn_Test = nullptr;
    QComboBox *Cmb_Tasks = nullptr; // the collections found, to choose from
    QComboBox *Cmb_Memos = nullptr;
    QLabel *lbl_Warning = nullptr; // the password would travel unencrypted

    QLineEdit *Edt_TasksUrl = nullptr;
    QLineEdit *Edt_MemosUrl = nullptr;
    QLineEdit *Edt_UserName = nullptr;
    QLineEdit *Edt_Password = nullptr;
    QSpinBox *Spin_Interval = nullptr;
    QLabel *lbl_Note = nullptr;

Q_SIGNALS:
    // A search or a test has ended; its outcome is on the page's note.
    void checked();

private:
    void readPassword(const SyncSettings &settings);
    void findCollections();
    void testSettings();
    void showFound(const DavDiscovery &found);
    void updateWarning();
    void setBusy(bool busy);
    // Runs work on a thread of its own and then done on the page's, while the page lives.
    void runAside(std::function<QString()> work, std::function<void(const QString &)> done);

    QList<DavCollection> m_found;
    bool m_busy = false;
    int m_requestTimeoutMs = 20000;
    QString m_loadedEntry;    // the secret store's entry of the settings shown at first
    QString m_loadedPassword; // and the password found there
    bool m_passwordRead = false;
};
