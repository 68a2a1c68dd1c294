#include "QuitSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
// The pipe's ends while an object is installed; the handler reads them only.
volatile sig_atomic_t g_writeEnd = -1;
int g_readEnd = -1;

extern "C" void onQuitSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    if (g_writeEnd >= 0) {
        // A full pipe already holds a request to end; one more is not needed.
        [[maybe_unused]] const ssize_t written = ::write(g_writeEnd, &byte, 1);
    }
    errno = savedErrno;
}
} // namespace

QuitSignals::QuitSignals(QObject *parent) : QObject(parent)
{
    if (g_readEnd >= 0)
        return;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_readEnd = ends[0];
    g_writeEnd = ends[1];
    m_notifier = new QSocketNotifier(g_readEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::onReadable);
    struct sigaction action
    {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kSignals) {
        // A hang-up or interrupt ignored from the start (nohup, a background job) stays
        // ignored, as the one who started the program asked.
        struct sigaction old
        {};
        if (::sigaction(number, nullptr, &old) != 0 ||
            (number != SIGTERM && old.sa_handler == SIG_IGN))
            continue;
        if (::sigaction(number, &action, nullptr) == 0)
            m_installed.append({number, old});
    }
}

QuitSignals::~QuitSignals()
{
    if (!m_notifier)
        return;
    if (!m_ignoring) {
        for (const auto &[number, old] : std::as_const(m_installed))
            ::sigaction(number, &old, nullptr);
    }
    delete m_notifier;
    m_notifier = nullptr;
    const int writeEnd = g_writeEnd;
    g_writeEnd = -1;
    ::close(writeEnd);
    ::close(g_readEnd);
    g_readEnd = -1;
}

void QuitSignals::ignoreUntilExit()
{
    m_ignoring = true;
    for (const auto &installed : std::as_const(m_installed))
        ::signal(installed.first, SIG_IGN);
}

void QuitSignals::onReadable()
{
    unsigned char bytes[16];
    ssize_t count;
    do {
        count = ::read(g_readEnd, bytes, sizeof bytes);
    } while (count < 0 && errno == EINTR);
    for (ssize_t i = 0; i < count; ++i)
        Q_EMIT quitRequested(int(bytes[i]));
}
