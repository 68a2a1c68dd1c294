// The alarm sound: one asynchronous, unlooped play of a sound file through the desktop's
// event sound service (libcanberra). When the file is missing or nothing can play it, the
// desktop's own alert sounds instead. Playing never reports an error and never waits.
#pragma once

#include <QString>

#include <functional>

namespace AlarmSound {

// Starts the sound and returns at once.
void play(const QString &path);

// Stand-ins for tests: player is called instead of the sound service, on the calling
// thread, and returns whether the sound started; alert is called instead of the desktop's
// alert. Empty functions restore the real ones.
void setPlayerForTesting(std::function<bool(const QString &path)> player);
void setAlertForTesting(std::function<void()> alert);

} // namespace AlarmSound
