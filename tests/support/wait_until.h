// Waiting for what another process or thread brings about: asked again and
// again until it holds or the time is up. Every test waits this one way, on
// Linux and in the Windows driver alike.
#pragma once

#include <chrono>
#include <thread>
#include <utility>

namespace velmora_test {

// Asks `done` until it answers true, `interval` apart, for `timeout` at most:
// true as soon as it does, false when the time is up. It is asked once more
// after the deadline, so that a pause that overslept on a busy machine costs
// no answer. Between two asks it calls `pause(interval)`: a sleep unless the
// caller has more to do meanwhile (the Windows driver pumps its messages).
template <typename Done, typename Pause>
bool WaitUntil(std::chrono::steady_clock::duration timeout, std::chrono::milliseconds interval, Done&& done,
               Pause&& pause)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        pause(interval);
    }
    return true;
}

template <typename Done>
bool WaitUntil(std::chrono::steady_clock::duration timeout, std::chrono::milliseconds interval, Done&& done)
{
    return WaitUntil(timeout, interval, std::forward<Done>(done),
                     [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); });
}

} // namespace velmora_test
