#include <gtest/gtest.h>

#include "kernel/universe.h"
#include "scene/drop.h"
#include "scene/headless_run.h"
#include "scene/rain.h"

namespace {

constexpr std::uint64_t kOneHour = 120000; // cycles of 30 ms

// The drops manager stops spawning at 100, but fast drops keep shedding, so the
// count may rise somewhat above it; far above would mean a runaway.
constexpr std::size_t kDropsBound = 140;

TEST(SceneLongRun, AnHourStaysBoundedSoundAndQuiet)
{
    HeadlessRun run(20240101);
    std::size_t liveAfterWarmUp = 0;
    for (std::uint64_t cycle = 1; cycle <= kOneHour; ++cycle) {
        run.RunCycle();
        if (cycle == 10000) {
            liveAfterWarmUp = run.Watch().maxLiveObjects;
        }
    }
    const SceneWatch& watch = run.Watch();
    const SceneFigures figures = run.Figures();
    RecordProperty("max_drops", static_cast<int>(watch.maxDrops));
    EXPECT_LE(watch.maxDrops, kDropsBound);
    EXPECT_GE(watch.maxDrops, 100u);
    EXPECT_LE(watch.maxStreaks, 200u);
    EXPECT_EQ(watch.cyclesWithQueuedEvents, 0u);
    EXPECT_EQ(watch.cyclesWithStrayObjects, 0u);
    EXPECT_EQ(watch.cyclesWithManagerMismatch, 0u);
    // Nothing accumulates: the busiest moment of the hour is no busier than the
    // scene's own limits allow.
    EXPECT_LE(watch.maxLiveObjects, kDropsBound + 200);
    EXPECT_LE(watch.maxLiveObjects, liveAfterWarmUp + 40);
    // The scene did what a rainy pane does.
    EXPECT_GT(figures.merges, 100u);
    EXPECT_GT(figures.sheddings, 1000u);
    EXPECT_GT(figures.driedAway, 100u);
    EXPECT_GT(figures.streaks, 150u);
    std::printf("an hour: max drops %zu, max streaks %zu, merges %llu, sheddings %llu, dried away %llu\n",
                watch.maxDrops, watch.maxStreaks, static_cast<unsigned long long>(figures.merges),
                static_cast<unsigned long long>(figures.sheddings), static_cast<unsigned long long>(figures.driedAway));
}

TEST(SceneLongRun, TheSameSeedGivesTheSameSceneAndAnotherSeedAnother)
{
    std::uint64_t first = 0;
    {
        HeadlessRun run(99);
        run.RunCycles(3000);
        first = run.Figures().checksum;
    }
    {
        HeadlessRun run(99);
        run.RunCycles(3000);
        EXPECT_EQ(run.Figures().checksum, first);
    }
    HeadlessRun other(100);
    other.RunCycles(3000);
    EXPECT_NE(other.Figures().checksum, first);
}

} // namespace
