// The kernel's primitives on Windows: thin wrappers over the Win32 calls.
#include "kernel/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <new>

namespace NS_Platform {

namespace {

struct ThreadStart {
    ThreadRoutine routine;
    void* argument;
};

DWORD WINAPI ThreadTrampoline(LPVOID parameter)
{
    ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    return start.routine(start.argument);
}

// The completion routine's argument: the timer carries the portable routine.
struct Timer {
    HANDLE handle;
    TimerRoutine routine;
    void* argument;
};

VOID CALLBACK TimerTrampoline(LPVOID parameter, DWORD lowTime, DWORD highTime)
{
    auto* timer = static_cast<Timer*>(parameter);
    // Windows passes the UTC time of the expiry. Wine passes its own internal due
    // time instead, which reads as a negative count; the current time stands in.
    if ((highTime & 0x80000000u) != 0) {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        lowTime = now.dwLowDateTime;
        highTime = now.dwHighDateTime;
    }
    timer->routine(timer->argument, lowTime, highTime);
}

} // namespace

Handle NewAutoResetEvent()
{
    return CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

void SignalEvent(Handle event)
{
    SetEvent(event);
}

WaitResult WaitForEvent(Handle event, std::uint32_t timeoutMs, bool alertable)
{
    switch (WaitForSingleObjectEx(event, timeoutMs == kInfinite ? INFINITE : timeoutMs, alertable ? TRUE : FALSE)) {
    case WAIT_OBJECT_0:
        return WaitResult::Signalled;
    case WAIT_IO_COMPLETION:
        return WaitResult::RoutinesRan;
    case WAIT_TIMEOUT:
        return WaitResult::TimedOut;
    default:
        return WaitResult::Failed;
    }
}

void CloseEvent(Handle event)
{
    CloseHandle(event);
}

Handle NewThread(ThreadRoutine routine, void* argument)
{
    auto* start = new (std::nothrow) ThreadStart{routine, argument};
    if (start == nullptr) {
        return nullptr;
    }
    HANDLE thread = CreateThread(nullptr, 0, ThreadTrampoline, start, 0, nullptr);
    if (thread == nullptr) {
        delete start;
    }
    return thread;
}

bool ThreadStillActive(Handle thread)
{
    DWORD code = 0;
    return GetExitCodeThread(thread, &code) && code == STILL_ACTIVE;
}

void CloseThread(Handle thread)
{
    CloseHandle(thread);
}

Handle NewMutex()
{
    return CreateMutexA(nullptr, FALSE, nullptr);
}

void LockMutex(Handle mutex)
{
    WaitForSingleObject(mutex, INFINITE);
}

void UnlockMutex(Handle mutex)
{
    ReleaseMutex(mutex);
}

void CloseMutex(Handle mutex)
{
    CloseHandle(mutex);
}

Handle NewTimer()
{
    HANDLE handle = CreateWaitableTimerA(nullptr, FALSE, nullptr);
    if (handle == nullptr) {
        return nullptr;
    }
    auto* timer = new (std::nothrow) Timer{handle, nullptr, nullptr};
    if (timer == nullptr) {
        CloseHandle(handle);
    }
    return timer;
}

bool ArmTimer(Handle timer, std::int64_t dueTime, std::int32_t periodMs, TimerRoutine routine, void* argument)
{
    auto* t = static_cast<Timer*>(timer);
    t->routine = routine;
    t->argument = argument;
    LARGE_INTEGER due;
    due.QuadPart = dueTime;
    return SetWaitableTimer(t->handle, &due, periodMs, TimerTrampoline, t, FALSE) != FALSE;
}

void CloseTimer(Handle timer)
{
    auto* t = static_cast<Timer*>(timer);
    // Cancelling withdraws a completion that expired after the owner's last
    // alertable wait; it would otherwise run later with a pointer to freed memory.
    CancelWaitableTimer(t->handle);
    CloseHandle(t->handle);
    delete t;
}

void RunQueuedRoutines()
{
    SleepEx(0, TRUE);
}

std::uint64_t CurrentFileTime()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

} // namespace NS_Platform
