#include "host/posix_signals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace NS_PosixSignals {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT};

// Written only by the handler, read by the loop; both are async-signal-safe.
volatile std::sig_atomic_t firstSignal = 0;
int writeEnd = -1;
struct sigaction previous[sizeof kSignals / sizeof kSignals[0]];

extern "C" void OnStopSignal(int number)
{
    const int savedErrno = errno;
    if (firstSignal == 0)
        firstSignal = number;
    const char byte = 1;
    // A full pipe already wakes the loop; the result does not matter.
    [[maybe_unused]] const ssize_t written = write(writeEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

StopSignals::StopSignals()
{
    int ends[2];
    if (pipe(ends) != 0)
        return;
    for (int end : ends) {
        fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
        fcntl(end, F_SETFD, FD_CLOEXEC);
    }
    readEnd = ends[0];
    writeEnd = ends[1];
    firstSignal = 0;

    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        if (sigaction(kSignals[i], &action, &previous[i]) != 0) {
            while (i-- > 0)
                sigaction(kSignals[i], &previous[i], nullptr);
            close(readEnd);
            close(writeEnd);
            readEnd = writeEnd = -1;
            return;
        }
    }
}

StopSignals::~StopSignals()
{
    if (readEnd < 0)
        return;
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
        sigaction(kSignals[i], &previous[i], nullptr);
    close(readEnd);
    close(writeEnd);
    writeEnd = -1;
}

int StopSignals::Received() const
{
    return firstSignal;
}

} // namespace NS_PosixSignals
