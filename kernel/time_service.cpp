#include "kernel/time_service.h"

#include "kernel/failure.h"

namespace NS_TimeService {

using NS_Failure::Throw;

TimeService::TimeService()
{
    timer = NS_Platform::NewTimer();
    tickEvent = timer ? NS_Platform::NewAutoResetEvent() : nullptr;
    mutex = tickEvent ? NS_Platform::NewMutex() : nullptr;
    if (mutex == nullptr) {
        Release(); // a constructor that throws gets no destructor
        Throw<Exception>();
    }
    try {
        Start();
    } catch (...) {
        Release();
        throw;
    }
}

TimeService::~TimeService()
{
    NS_Platform::RunQueuedRoutines();
    Release();
}

void TimeService::Release()
{
    if (timer != nullptr) {
        NS_Platform::CloseTimer(timer);
        timer = nullptr;
    }
    if (tickEvent != nullptr) {
        NS_Platform::CloseEvent(tickEvent);
        tickEvent = nullptr;
    }
    if (mutex != nullptr) {
        NS_Platform::CloseMutex(mutex);
        mutex = nullptr;
    }
}

void TimeService::SetPeriod(std::int32_t milliseconds)
{
    period = milliseconds;
    Start();
}

void TimeService::Start()
{
    if (!NS_Platform::ArmTimer(timer, 0, period, &TimeService::OnExpiry, this)) {
        Throw<Exception>();
    }
}

FILETIME TimeService::ReadTime()
{
    NS_Platform::LockMutex(mutex);
    const FILETIME copy = lastTime;
    NS_Platform::UnlockMutex(mutex);
    return copy;
}

void TimeService::OnExpiry(void* argument, std::uint32_t lowTime, std::uint32_t highTime)
{
    auto* self = static_cast<TimeService*>(argument);
    NS_Platform::LockMutex(self->mutex);
    self->lastTime.dwLowDateTime = lowTime;
    self->lastTime.dwHighDateTime = highTime;
    NS_Platform::UnlockMutex(self->mutex);
    NS_Platform::SignalEvent(self->tickEvent);
}

} // namespace NS_TimeService
