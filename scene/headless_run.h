// Runs the rain scene without a renderer, window or timer, as fast as the caller
// asks for cycles, and watches it: counts, running totals, a checksum of every
// drop's and streak's value, and the scene's invariants after each cycle.
#pragma once

#include <cstdint>
#include <memory>
#include <set>

#include "scene/headless_model.h"

class Drop;
class DropsManager;
class Rain;

namespace NS_Universe {
class Universe;
}

// The scene as it stands after a cycle.
struct SceneFigures {
    std::uint64_t cycle = 0;
    std::size_t drops = 0;
    std::size_t trailDrops = 0; // drops alive that were shed as trail drops
    std::size_t streaks = 0;
    std::uint64_t merges = 0;    // merges started so far
    std::uint64_t sheddings = 0; // trail drops shed so far
    std::uint64_t driedAway = 0;
    std::uint64_t checksum = 0; // of every value's fields, bit for bit
};

// What the watch saw over the whole run.
struct SceneWatch {
    std::size_t maxDrops = 0;
    std::size_t maxStreaks = 0;
    std::size_t maxLiveObjects = 0;
    // Cycles that ended with events still queued.
    std::uint64_t cyclesWithQueuedEvents = 0;
    // Cycles after which the universe held objects that are neither drops nor streaks.
    std::uint64_t cyclesWithStrayObjects = 0;
    // Cycles after which the drops manager's view differed from the drops.
    std::uint64_t cyclesWithManagerMismatch = 0;

    bool Sound() const
    {
        return cyclesWithQueuedEvents == 0 && cyclesWithStrayObjects == 0 && cyclesWithManagerMismatch == 0 &&
               maxStreaks <= 200;
    }
};

class HeadlessRun {
public:
    // Starts the scene as a fresh process would: the generator seeded, the spawn
    // countdown at 0, then the universe built and its handlers started.
    explicit HeadlessRun(std::uint32_t seed);
    HeadlessRun(const HeadlessRun&) = delete;
    HeadlessRun& operator=(const HeadlessRun&) = delete;
    ~HeadlessRun();

    // One cycle (Tick and Render to every handler, each followed by a drain), then
    // the watch. Exceptions of the handlers pass through.
    void RunCycle();
    void RunCycles(std::uint64_t count);

    SceneFigures Figures() const;
    const SceneWatch& Watch() const { return watch; }

    NS_Universe::Universe& Universe() { return *universe; }
    Drop& DropHandler() { return *drop; }
    Rain& RainHandler() { return *rain; }

private:
    void Observe();

    HeadlessSceneModel model;
    std::unique_ptr<NS_Universe::Universe> universe;
    Drop* drop = nullptr;
    DropsManager* manager = nullptr;
    Rain* rain = nullptr;
    std::uint64_t cycles = 0;
    std::uint64_t nextTime;
    std::int64_t newestSeenStamp = 0;
    std::set<std::int64_t> trailStamps;
    SceneWatch watch;
};
