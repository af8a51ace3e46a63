// Turns SIGTERM and SIGINT into a readable file descriptor, so that an event
// loop waiting in poll() wakes up for them and ends in its own time, on its own
// thread, instead of being cut off inside a signal handler.
#pragma once

namespace NS_PosixSignals {

class StopSignals {
public:
    StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    // Puts the previous dispositions back.
    ~StopSignals();

    // False when the pipe or the handlers could not be set up.
    bool Ready() const { return readEnd >= 0; }
    // Readable once one of the signals has arrived.
    int Descriptor() const { return readEnd; }
    // The first signal received since construction, or 0.
    int Received() const;

private:
    int readEnd = -1;
};

} // namespace NS_PosixSignals
