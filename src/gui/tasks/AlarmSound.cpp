#include "AlarmSound.h"

#include <QApplication>
#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>

#include <canberra.h>

#include <mutex>
#include <thread>

namespace {

std::function<bool(const QString &)> g_player;
std::function<void()> g_alert;

void alert()
{
    if (g_alert)
        g_alert();
    else
        QApplication::beep();
}

// The one sound service connection of the program, made at the first alarm.
ca_context *context()
{
    static std::once_flag once;
    static ca_context *ctx = nullptr;
    std::call_once(once, [] {
        if (ca_context_create(&ctx) != CA_SUCCESS) {
            ctx = nullptr;
            return;
        }
        ca_context_change_props(ctx, CA_PROP_APPLICATION_NAME, "Ploxen Tasklume",
                                CA_PROP_APPLICATION_ID, "tasklume", nullptr);
    });
    return ctx;
}

bool playWithCanberra(const QByteArray &path)
{
    ca_context *ctx = context();
    if (ctx == nullptr)
        return false;
    // Played once: no loop property is given.
    return ca_context_play(ctx, 0, CA_PROP_MEDIA_FILENAME, path.constData(),
                           CA_PROP_EVENT_DESCRIPTION, "Task Reminder", CA_PROP_MEDIA_ROLE, "event",
                           nullptr) == CA_SUCCESS;
}

} // namespace

void AlarmSound::play(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        alert();
        return;
    }
    if (g_player) {
        if (!g_player(path))
            alert();
        return;
    }
    // Opening the sound service and the device can take a moment (or hang with a sound
    // server that does not answer); the window must not wait for it.
    const QByteArray file = QFile::encodeName(path);
    std::thread([file] {
        if (playWithCanberra(file))
            return;
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app, [] { alert(); }, Qt::QueuedConnection);
    }).detach();
}

void AlarmSound::setPlayerForTesting(std::function<bool(const QString &)> player)
{
    g_player = std::move(player);
}

void AlarmSound::setAlertForTesting(std::function<void()> alert)
{
    g_alert = std::move(alert);
}
