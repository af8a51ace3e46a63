#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "kernel/platform.h"
#include "kernel/time_service.h"

using NS_Platform::WaitResult;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// Waits as the worker does: alertably, until the tick event itself is reported.
void WaitForTick(NS_TimeService::TimeService& service)
{
    while (NS_Platform::WaitForEvent(service.tickEvent, NS_Platform::kInfinite, true) != WaitResult::Signalled) {
    }
}

} // namespace

TEST(TimeService, ExpiresOnceAtOnceAfterConstruction)
{
    NS_TimeService::TimeService service;
    const auto start = Clock::now();
    EXPECT_EQ(NS_Platform::WaitForEvent(service.tickEvent, NS_Platform::kInfinite, true), WaitResult::RoutinesRan);
    EXPECT_EQ(NS_Platform::WaitForEvent(service.tickEvent, 0, false), WaitResult::Signalled);
    EXPECT_LT(Clock::now() - start, 500ms);
    EXPECT_EQ(NS_Platform::WaitForEvent(service.tickEvent, 150, true), WaitResult::TimedOut);
}

TEST(TimeService, PeriodicExpiriesComeEveryThirtyMilliseconds)
{
    NS_TimeService::TimeService service;
    WaitForTick(service); // the construction's own expiry
    service.SetPeriod(30);
    const auto start = Clock::now();
    WaitForTick(service);
    EXPECT_LT(Clock::now() - start, 500ms); // the first one is due at once
    for (int i = 0; i < 10; ++i) {
        WaitForTick(service);
    }
    const auto elapsed = Clock::now() - start;
    // Ten periods; generous bounds, these machines are shared.
    EXPECT_GT(elapsed, 240ms);
    EXPECT_LT(elapsed, 2000ms);
}

TEST(TimeService, ExpiriesMissedWhileBusyWakeTheWaiterOnceWithALaterTime)
{
    NS_TimeService::TimeService service;
    service.SetPeriod(30);
    WaitForTick(service);
    const std::uint64_t first = FileTimeToTicks(service.ReadTime());
    std::this_thread::sleep_for(200ms); // busy: no alertable wait, several expiries
    WaitForTick(service);
    const std::uint64_t later = FileTimeToTicks(service.ReadTime());
    // The latest of the expiries missed (about 180 ms later), not the first (30 ms).
    EXPECT_GE(later, first + 1000000u);
    // No backlog of wake-ups: the next one is a fresh expiry, not a stored one.
    EXPECT_EQ(NS_Platform::WaitForEvent(service.tickEvent, 0, false), WaitResult::TimedOut);
}

TEST(TimeService, ReadTimeIsSystemTimeInFileTimeUnits)
{
    NS_TimeService::TimeService service;
    WaitForTick(service);
    const std::uint64_t expiry = FileTimeToTicks(service.ReadTime());
    const std::uint64_t now = NS_Platform::CurrentFileTime();
    EXPECT_LE(expiry, now + 10000000u);
    EXPECT_GT(expiry + 50000000u, now);
    // After 2020-01-01 (132223104000000000) and before 2100: the 1601 epoch.
    EXPECT_GT(expiry, 132223104000000000ull);
    EXPECT_LT(expiry, 157469184000000000ull);
}

TEST(TimeService, DestructionRunsTheRoutinesQueuedSoFarBeforeClosingItsHandles)
{
    // Another timer's routine, queued to this thread, runs inside the
    // destructor, while the time service still has its handles.
    struct Watch {
        NS_TimeService::TimeService* service;
        bool ran = false;
        bool serviceWhole = false;
    };
    auto* service = new NS_TimeService::TimeService;
    Watch watch{service};
    NS_Platform::Handle other = NS_Platform::NewTimer();
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(NS_Platform::ArmTimer(
        other, 0, 0,
        [](void* argument, std::uint32_t, std::uint32_t) {
            auto* w = static_cast<Watch*>(argument);
            w->ran = true;
            w->serviceWhole = w->service->tickEvent != nullptr;
        },
        &watch));
    std::this_thread::sleep_for(50ms); // due and queued, never waited for
    delete service;
    EXPECT_TRUE(watch.ran);
    EXPECT_TRUE(watch.serviceWhole);
    NS_Platform::CloseTimer(other);
}

TEST(TimeService, DestructionLeavesNoCompletionBehindForLaterWaits)
{
    {
        NS_TimeService::TimeService service;
        service.SetPeriod(10);
        std::this_thread::sleep_for(60ms); // completions queued, never waited for
    }
    // A completion left queued would now run against a destroyed service.
    NS_Platform::Handle other = NS_Platform::NewAutoResetEvent();
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(NS_Platform::WaitForEvent(other, 50, true), WaitResult::TimedOut);
    NS_Platform::CloseEvent(other);
}

TEST(PlatformEvent, IsAutoResetAndAZeroWaitConsumesTheSignal)
{
    NS_Platform::Handle event = NS_Platform::NewAutoResetEvent();
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(NS_Platform::WaitForEvent(event, 0, false), WaitResult::TimedOut);
    NS_Platform::SignalEvent(event);
    NS_Platform::SignalEvent(event); // two signals, one wake-up
    EXPECT_EQ(NS_Platform::WaitForEvent(event, 0, false), WaitResult::Signalled);
    EXPECT_EQ(NS_Platform::WaitForEvent(event, 0, false), WaitResult::TimedOut);

    std::thread signaller([event] {
        std::this_thread::sleep_for(30ms);
        NS_Platform::SignalEvent(event);
    });
    EXPECT_EQ(NS_Platform::WaitForEvent(event, NS_Platform::kInfinite, false), WaitResult::Signalled);
    signaller.join();
    NS_Platform::CloseEvent(event);
}

TEST(PlatformTimer, CompletionRunsOnTheArmingThreadOnlyInsideItsAlertableWaits)
{
    struct Seen {
        std::thread::id thread;
        int runs = 0;
    } seen;
    NS_Platform::Handle timer = NS_Platform::NewTimer();
    NS_Platform::Handle event = NS_Platform::NewAutoResetEvent();
    ASSERT_NE(timer, nullptr);
    ASSERT_TRUE(NS_Platform::ArmTimer(
        timer, 0, 0,
        [](void* argument, std::uint32_t, std::uint32_t) {
            auto* s = static_cast<Seen*>(argument);
            s->thread = std::this_thread::get_id();
            ++s->runs;
        },
        &seen));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(seen.runs, 0); // due, but this thread has not waited alertably yet
    EXPECT_EQ(NS_Platform::WaitForEvent(event, 0, false), WaitResult::TimedOut);
    EXPECT_EQ(seen.runs, 0);
    EXPECT_EQ(NS_Platform::WaitForEvent(event, 1000, true), WaitResult::RoutinesRan);
    EXPECT_EQ(seen.runs, 1);
    EXPECT_EQ(seen.thread, std::this_thread::get_id());
    NS_Platform::CloseTimer(timer);
    NS_Platform::CloseEvent(event);
}
