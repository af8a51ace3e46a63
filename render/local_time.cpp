#include "render/local_time.h"

#include <atomic>

namespace NS_LocalTime {

namespace {

// Seconds of the day of the fixed reading, or -1 for the real time. One word,
// so that the worker never sees half of a reading.
std::atomic<int> fixedSecondOfDay{-1};

} // namespace

Reading Now()
{
    const int fixed = fixedSecondOfDay.load(std::memory_order_acquire);
    if (fixed < 0) {
        return SystemLocalTime();
    }
    return Reading{fixed / 3600, fixed / 60 % 60, fixed % 60};
}

void FixTime(const Reading& reading)
{
    const int second = ((reading.hours % 24) * 60 + reading.minutes % 60) * 60 + reading.seconds % 60;
    fixedSecondOfDay.store(second < 0 ? 0 : second, std::memory_order_release);
}

void ReleaseFixedTime()
{
    fixedSecondOfDay.store(-1, std::memory_order_release);
}

} // namespace NS_LocalTime
