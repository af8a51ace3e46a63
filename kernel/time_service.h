// Paces the worker: a periodic timer whose completion routine, run on the worker
// thread during its alertable waits, records the expiry time and signals tickEvent.
#pragma once

#include <cstdint>

#include "kernel/filetime.h"
#include "kernel/platform.h"

namespace NS_TimeService {

class Exception {};

class TimeService {
public:
    // Armed for one expiry, due at once.
    TimeService();
    TimeService(const TimeService&) = delete;
    TimeService& operator=(const TimeService&) = delete;
    // Runs completion routines already queued, then closes the handles.
    ~TimeService();

    // Stores the period (milliseconds, 0 for a single expiry) and re-arms.
    void SetPeriod(std::int32_t milliseconds);
    // Arms with a due time of 0 (at once) and the stored period.
    void Start();
    FILETIME ReadTime();

    NS_Platform::Handle tickEvent = nullptr;

private:
    static void OnExpiry(void* argument, std::uint32_t lowTime, std::uint32_t highTime);
    void Release();

    std::int32_t period = 0;
    NS_Platform::Handle timer = nullptr;
    FILETIME lastTime{};
    NS_Platform::Handle mutex = nullptr;
};

} // namespace NS_TimeService
