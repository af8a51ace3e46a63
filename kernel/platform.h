// The few operating-system primitives the kernel runs on, one implementation per
// platform (win32_platform.cpp, posix_platform.cpp), chosen by the build.
//
// The semantics are those of Win32: auto-reset events; waits that, when
// alertable, first run the completion routines queued to the waiting thread and
// then report that instead of the object; periodic timers whose completion
// routine runs on the thread that armed them, during its alertable waits.
#pragma once

#include <cstdint>

namespace NS_Platform {

// An opaque handle; null means "none". Each kind has its own close operation.
using Handle = void*;

using ThreadRoutine = std::uint32_t (*)(void* argument);
// Receives the argument given when arming and the expiry time as FILETIME words.
using TimerRoutine = void (*)(void* argument, std::uint32_t lowTime, std::uint32_t highTime);

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

enum class WaitResult {
    Signalled,   // the object itself (WAIT_OBJECT_0)
    RoutinesRan, // queued timer routines ran instead (WAIT_IO_COMPLETION)
    TimedOut,
    Failed,
};

// Auto-reset, initially not signalled. Null on failure.
Handle NewAutoResetEvent();
void SignalEvent(Handle event);
WaitResult WaitForEvent(Handle event, std::uint32_t timeoutMs, bool alertable);
void CloseEvent(Handle event);

// Starts at once with default security and stack. Null on failure.
Handle NewThread(ThreadRoutine routine, void* argument);
bool ThreadStillActive(Handle thread);
// Releases the handle; on platforms whose threads must be reaped this joins a
// thread that has already said it is done.
void CloseThread(Handle thread);

// Not owned at creation. Null on failure.
Handle NewMutex();
void LockMutex(Handle mutex);
void UnlockMutex(Handle mutex);
void CloseMutex(Handle mutex);

// A synchronization timer, not armed. Null on failure.
Handle NewTimer();
// dueTime: an absolute FILETIME count (0 is long past, so "at once"), or a
// negative count of 100 ns units from now. periodMs 0 means a single expiry.
// Re-arming restarts the timer, on the calling thread. False on failure.
bool ArmTimer(Handle timer, std::int64_t dueTime, std::int32_t periodMs, TimerRoutine routine, void* argument);
// Closing ends the timer; completion routines still queued for it are dropped.
void CloseTimer(Handle timer);

// Runs the completion routines already queued to the calling thread (SleepEx(0, TRUE)).
void RunQueuedRoutines();

// The current system time as a FILETIME count.
std::uint64_t CurrentFileTime();

} // namespace NS_Platform
