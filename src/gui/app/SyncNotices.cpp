#include "SyncNotices.h"

#include "common/Texts.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMessageBox>
#include <QWidget>

SyncNotices::SyncNotices(QWidget *window) : QObject(window), m_window(window)
{
    setObjectName(QStringLiteral("syncNotices"));
}

void SyncNotices::runEnded(const SyncOutcome &outcome, bool byUser, bool seen)
{
    if (outcome.ok) {
        m_notified = false;
        return;
    }
    if (byUser)
        showBox(SyncRun::Summary(outcome));
    else if (!seen && !m_notified)
        notify(outcome.message);
}

void SyncNotices::showBox(const QString &text)
{
    // Not modal to the whole program and not waited for: the run ended in the event loop,
    // which goes on; a box still open from the last time shows the new text.
    if (m_box) {
        m_box->setText(text);
        m_box->raise();
        return;
    }
    auto *box =
        new QMessageBox(QMessageBox::NoIcon, Texts::CaptionError, text, QMessageBox::Ok, m_window);
    box->setObjectName(QStringLiteral("SyncFailedBox"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    m_box = box;
    box->open();
}

void SyncNotices::notify(const QString &text)
{
    m_notified = true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << Texts::AppTitle << m_notificationId << QStringLiteral("dialog-error")
         << QStringLiteral("Sync failed") << text << QStringList() << QVariantMap() << int(-1);
    // Without a notification service nothing is shown; the status bar still has the line.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isValid())
            m_notificationId = reply.value();
        watcher->deleteLater();
    });
}
