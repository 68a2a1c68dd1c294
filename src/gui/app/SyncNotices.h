// What the user learns of a sync run that failed: a run they started (Sync Now) says so in a
// message box, beside the status bar's line; a run of the timer that fails while the window
// is out of sight shows one desktop notification (org.freedesktop.Notifications on the
// session bus), not one per interval: the next comes only after a run went well again.
#pragma once

#include "sync/SyncRun.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

class QWidget;

class SyncNotices : public QObject
{
    Q_OBJECT
public:
    explicit SyncNotices(QWidget *window);

    // A run has ended; byUser: the user started it; seen: the window is on the screen.
    void runEnded(const SyncOutcome &outcome, bool byUser, bool seen);

    // Whether a notification of a failure stands (until a run goes well).
    bool notified() const { return m_notified; }
    // The message box shown for the last failed run the user started, while it is open.
    QMessageBox *box() const { return m_box; }

private:
    void showBox(const QString &text);
    void notify(const QString &text);

    QWidget *m_window;
    QPointer<QMessageBox> m_box;
    bool m_notified = false;
    uint m_notificationId = 0; // the notification shown, replaced by the next one
};
