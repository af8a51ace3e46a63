// The kernel's primitives on POSIX systems, reproducing the Win32 behaviour the
// kernel relies on: auto-reset events, alertable waits that run the completion
// routines queued to the waiting thread, and periodic timers whose expiries are
// queued to the thread that armed them (one pending completion per timer, so a
// late thread is woken once, with the latest expiry time).
//
// All waits share one lock; each thread sleeps on a condition variable of its
// own, which both an event and a completion queued to that thread can wake.
#include "kernel/platform.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace NS_Platform {

namespace {

using Clock = std::chrono::steady_clock;

// Seconds from 1 January 1601 to 1 January 1970.
constexpr std::uint64_t kEpochDifferenceSeconds = 11644473600ull;

std::mutex& SyncLock()
{
    static std::mutex lock;
    return lock;
}

struct TimerState;

struct QueuedRoutine {
    TimerState* timer;
    TimerRoutine routine;
    void* argument;
    std::uint64_t time;
};

struct ThreadState {
    std::condition_variable wake;
    std::deque<QueuedRoutine> routines; // guarded by SyncLock()
};

std::shared_ptr<ThreadState> CurrentThreadState()
{
    thread_local std::shared_ptr<ThreadState> state = std::make_shared<ThreadState>();
    return state;
}

struct EventState {
    bool signalled = false;
    std::vector<ThreadState*> waiters; // guarded by SyncLock()
};

struct ThreadHandle {
    std::thread thread;
    std::atomic<bool> active{true};
};

struct TimerState {
    std::mutex lock;
    std::condition_variable changed;
    bool armed = false;
    bool quit = false;
    Clock::time_point nextDue;
    std::int32_t periodMs = 0;
    TimerRoutine routine = nullptr;
    void* argument = nullptr;
    std::shared_ptr<ThreadState> owner;
    std::thread thread;
};

void QueueRoutine(const std::shared_ptr<ThreadState>& owner, const QueuedRoutine& completion)
{
    {
        std::lock_guard<std::mutex> guard(SyncLock());
        auto pending = std::find_if(owner->routines.begin(), owner->routines.end(),
                                    [&](const QueuedRoutine& c) { return c.timer == completion.timer; });
        if (pending != owner->routines.end()) {
            *pending = completion; // coalesce: one wake-up, the later time
        } else {
            owner->routines.push_back(completion);
        }
    }
    owner->wake.notify_all();
}

void TimerLoop(TimerState* timer)
{
    std::unique_lock<std::mutex> lock(timer->lock);
    for (;;) {
        if (timer->quit) {
            return;
        }
        if (!timer->armed) {
            timer->changed.wait(lock);
            continue;
        }
        if (Clock::now() < timer->nextDue) {
            timer->changed.wait_until(lock, timer->nextDue);
            continue;
        }
        QueuedRoutine completion{timer, timer->routine, timer->argument, CurrentFileTime()};
        std::shared_ptr<ThreadState> owner = timer->owner;
        if (timer->periodMs > 0) {
            // Periods missed while nobody listened are skipped, not made up.
            const auto period = std::chrono::milliseconds(timer->periodMs);
            const auto now = Clock::now();
            while (timer->nextDue <= now) {
                timer->nextDue += period;
            }
        } else {
            timer->armed = false;
        }
        lock.unlock();
        QueueRoutine(owner, completion);
        lock.lock();
    }
}

void RunRoutines(std::deque<QueuedRoutine>& batch)
{
    for (const QueuedRoutine& completion : batch) {
        completion.routine(completion.argument, static_cast<std::uint32_t>(completion.time),
                           static_cast<std::uint32_t>(completion.time >> 32));
    }
}

} // namespace

Handle NewAutoResetEvent()
{
    return new (std::nothrow) EventState;
}

void SignalEvent(Handle event)
{
    auto* state = static_cast<EventState*>(event);
    std::lock_guard<std::mutex> guard(SyncLock());
    state->signalled = true;
    for (ThreadState* waiter : state->waiters) {
        waiter->wake.notify_all();
    }
}

WaitResult WaitForEvent(Handle event, std::uint32_t timeoutMs, bool alertable)
{
    auto* state = static_cast<EventState*>(event);
    const std::shared_ptr<ThreadState> self = CurrentThreadState();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(SyncLock());
    for (;;) {
        if (alertable && !self->routines.empty()) {
            std::deque<QueuedRoutine> batch;
            batch.swap(self->routines);
            lock.unlock();
            RunRoutines(batch);
            return WaitResult::RoutinesRan;
        }
        if (state->signalled) {
            state->signalled = false;
            return WaitResult::Signalled;
        }
        if (timeoutMs == 0 || (timeoutMs != kInfinite && Clock::now() >= deadline)) {
            return WaitResult::TimedOut;
        }
        state->waiters.push_back(self.get());
        if (timeoutMs == kInfinite) {
            self->wake.wait(lock);
        } else {
            self->wake.wait_until(lock, deadline);
        }
        state->waiters.erase(std::find(state->waiters.begin(), state->waiters.end(), self.get()));
    }
}

void CloseEvent(Handle event)
{
    delete static_cast<EventState*>(event);
}

Handle NewThread(ThreadRoutine routine, void* argument)
{
    auto* handle = new (std::nothrow) ThreadHandle;
    if (handle == nullptr) {
        return nullptr;
    }
    try {
        handle->thread = std::thread([handle, routine, argument] {
            routine(argument);
            handle->active.store(false);
        });
    } catch (...) {
        delete handle;
        return nullptr;
    }
    return handle;
}

bool ThreadStillActive(Handle thread)
{
    return static_cast<ThreadHandle*>(thread)->active.load();
}

void CloseThread(Handle thread)
{
    auto* handle = static_cast<ThreadHandle*>(thread);
    if (handle->thread.joinable()) {
        handle->thread.join();
    }
    delete handle;
}

Handle NewMutex()
{
    return new (std::nothrow) std::recursive_mutex; // Win32 mutexes may be re-entered by their owner
}

void LockMutex(Handle mutex)
{
    static_cast<std::recursive_mutex*>(mutex)->lock();
}

void UnlockMutex(Handle mutex)
{
    static_cast<std::recursive_mutex*>(mutex)->unlock();
}

void CloseMutex(Handle mutex)
{
    delete static_cast<std::recursive_mutex*>(mutex);
}

Handle NewTimer()
{
    auto* timer = new (std::nothrow) TimerState;
    if (timer == nullptr) {
        return nullptr;
    }
    try {
        timer->thread = std::thread(TimerLoop, timer);
    } catch (...) {
        delete timer;
        return nullptr;
    }
    return timer;
}

bool ArmTimer(Handle timer, std::int64_t dueTime, std::int32_t periodMs, TimerRoutine routine, void* argument)
{
    if (periodMs < 0) {
        return false;
    }
    auto* state = static_cast<TimerState*>(timer);
    Clock::time_point due = Clock::now();
    if (dueTime < 0) {
        due += std::chrono::microseconds(-dueTime / 10);
    } else {
        const std::uint64_t now = CurrentFileTime();
        if (static_cast<std::uint64_t>(dueTime) > now) {
            due += std::chrono::microseconds((static_cast<std::uint64_t>(dueTime) - now) / 10);
        }
    }
    std::shared_ptr<ThreadState> owner = CurrentThreadState();
    {
        std::lock_guard<std::mutex> guard(state->lock);
        state->armed = true;
        state->nextDue = due;
        state->periodMs = periodMs;
        state->routine = routine;
        state->argument = argument;
        state->owner = owner;
    }
    state->changed.notify_all();
    return true;
}

void CloseTimer(Handle timer)
{
    auto* state = static_cast<TimerState*>(timer);
    {
        std::lock_guard<std::mutex> guard(state->lock);
        state->quit = true;
    }
    state->changed.notify_all();
    state->thread.join();
    if (state->owner) {
        std::lock_guard<std::mutex> guard(SyncLock());
        auto& queue = state->owner->routines;
        queue.erase(
            std::remove_if(queue.begin(), queue.end(), [&](const QueuedRoutine& c) { return c.timer == state; }),
            queue.end());
    }
    delete state;
}

void RunQueuedRoutines()
{
    const std::shared_ptr<ThreadState> self = CurrentThreadState();
    std::deque<QueuedRoutine> batch;
    {
        std::lock_guard<std::mutex> guard(SyncLock());
        batch.swap(self->routines);
    }
    RunRoutines(batch);
}

std::uint64_t CurrentFileTime()
{
    const auto sinceUnixEpoch = std::chrono::system_clock::now().time_since_epoch();
    const auto units = std::chrono::duration_cast<std::chrono::nanoseconds>(sinceUnixEpoch).count() / 100;
    return static_cast<std::uint64_t>(units) + kEpochDifferenceSeconds * 10000000ull;
}

} // namespace NS_Platform
