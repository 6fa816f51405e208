#include "app/quit_signals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> QuitSignals {SIGTERM, SIGHUP, SIGINT};

// One watcher per process: the handler has nowhere else to find the pipe.
int s_pipe[2] = {-1, -1};
struct sigaction s_previous[QuitSignals.size()];

void onSignal(int signal)
{
    // Only async-signal-safe calls here. A full pipe drops the byte: a close is asked for already.
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t ignored = ::write(s_pipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

TQuitSignals::TQuitSignals(QObject* parent)
    : QObject(parent)
{
    if (s_pipe[0] >= 0 || ::pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TQuitSignals::readPipe);
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Restarted calls: a signal in the middle of a file write must not turn it into a failure.
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < QuitSignals.size(); ++i)
        ::sigaction(QuitSignals[i], &action, &s_previous[i]);
    m_installed = true;
}

TQuitSignals::~TQuitSignals()
{
    restoreHandlers();
    if (m_notifier) {
        m_notifier->setEnabled(false);
        ::close(s_pipe[0]);
        ::close(s_pipe[1]);
        s_pipe[0] = s_pipe[1] = -1;
    }
}

void TQuitSignals::restoreHandlers()
{
    if (!m_installed)
        return;
    m_installed = false;
    for (size_t i = 0; i < QuitSignals.size(); ++i)
        ::sigaction(QuitSignals[i], &s_previous[i], nullptr);
}

void TQuitSignals::readPipe()
{
    unsigned char byte = 0;
    int signal = 0;
    while (::read(s_pipe[0], &byte, 1) == 1)
        signal = byte;
    if (signal == 0)
        return;
    restoreHandlers();
    if (OnQuitRequested)
        OnQuitRequested(signal);
}
