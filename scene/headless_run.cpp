#include "scene/headless_run.h"

#include <algorithm>
#include <cstring>

#include "kernel/cycle.h"
#include "kernel/universe.h"
#include "scene/drop.h"
#include "scene/drops_manager.h"
#include "scene/rain.h"

namespace {

// 1 January 2024, 00:00 UTC, as a FILETIME count; the scene never reads the time,
// but the kernel's clock should still advance by 30 ms a cycle.
constexpr std::uint64_t kStartTime = 133485408000000000ull;

// FNV-1a, fed byte by byte from the value's bits, least significant byte first,
// so that the sum does not depend on the host's byte order.
class Checksum {
public:
    void Add(std::uint64_t word)
    {
        for (int i = 0; i < 8; ++i) {
            sum ^= (word >> (8 * i)) & 0xFFu;
            sum *= 0x100000001B3ull;
        }
    }
    void Add(double value)
    {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        Add(bits);
    }
    void Add(std::int32_t value) { Add(static_cast<std::uint64_t>(static_cast<std::uint32_t>(value))); }

    std::uint64_t sum = 0xCBF29CE484222325ull;
};

} // namespace

HeadlessRun::HeadlessRun(std::uint32_t seed) : nextTime(kStartTime)
{
    PrepareFreshScene(seed);
    universe = std::make_unique<NS_Universe::Universe>(&model, NS_Universe::Unpaced{});
    drop = dynamic_cast<Drop*>(universe->GetHandler(L"Drop"));
    manager = dynamic_cast<DropsManager*>(universe->GetHandler(L"DropsManager"));
    rain = dynamic_cast<Rain*>(universe->GetHandler(L"Rain"));
    universe->InitHandlers();
    newestSeenStamp = NS_ObjectIndex::PeekNextStamp() - 1;
}

HeadlessRun::~HeadlessRun() = default;

void HeadlessRun::RunCycle()
{
    FILETIME time{};
    time.dwLowDateTime = static_cast<decltype(time.dwLowDateTime)>(nextTime & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<decltype(time.dwHighDateTime)>(nextTime >> 32);
    universe->RunCycle(time);
    nextTime += NS_Universe::kCycleTimeUnits;
    ++cycles;
    Observe();
}

void HeadlessRun::RunCycles(std::uint64_t count)
{
    for (std::uint64_t i = 0; i < count; ++i) {
        RunCycle();
    }
}

void HeadlessRun::Observe()
{
    const ObjectSet& drops = drop->drops;
    // A trail drop ends its birth cycle in the Shedding state; a spawned drop
    // ends it Free, since the manager ticks after the drops.
    std::int64_t newest = newestSeenStamp;
    for (auto it = drops.upper_bound(NS_ObjectIndex::ObjectIndex{0, newestSeenStamp}); it != drops.end(); ++it) {
        if (drop->GetTyped(*it)->state == Drop_value::Shedding) {
            trailStamps.insert(it->stamp);
        }
        newest = it->stamp;
    }
    newestSeenStamp = std::max(newest, newestSeenStamp);
    for (auto it = trailStamps.begin(); it != trailStamps.end();) {
        // Stamps are unique, so the slot does not matter for the lookup by order.
        if (drops.count(NS_ObjectIndex::ObjectIndex{0, *it}) == 0) {
            it = trailStamps.erase(it);
        } else {
            ++it;
        }
    }

    const std::size_t streaks = rain->streaks.size();
    watch.maxDrops = std::max(watch.maxDrops, drops.size());
    watch.maxStreaks = std::max(watch.maxStreaks, streaks);
    watch.maxLiveObjects = std::max(watch.maxLiveObjects, universe->LiveObjectCount());
    if (!universe->GetEventQueue()->empty()) {
        ++watch.cyclesWithQueuedEvents;
    }
    if (universe->LiveObjectCount() != drops.size() + streaks) {
        ++watch.cyclesWithStrayObjects;
    }
    const ObjectSet& followed = manager->Drops();
    const auto sameObject = [](const NS_ObjectIndex::ObjectIndex& a, const NS_ObjectIndex::ObjectIndex& b) {
        return a.stamp == b.stamp && a.index == b.index;
    };
    if (followed.size() != drops.size() || !std::equal(followed.begin(), followed.end(), drops.begin(), sameObject)) {
        ++watch.cyclesWithManagerMismatch;
    }
}

SceneFigures HeadlessRun::Figures() const
{
    SceneFigures figures;
    figures.cycle = cycles;
    figures.drops = drop->drops.size();
    figures.trailDrops = trailStamps.size();
    figures.streaks = rain->streaks.size();
    figures.merges = drop->MergesStarted();
    figures.sheddings = drop->Sheddings();
    figures.driedAway = drop->DriedAway();

    // Stamps are left out: they count every object the process ever made, and
    // the order of the values already carries the order of creation.
    Checksum sum;
    for (const NS_ObjectIndex::ObjectIndex& reference : drop->drops) {
        const Drop_value& v = *drop->GetTyped(reference);
        sum.Add(v.state);
        sum.Add(v.position.x);
        sum.Add(v.position.y);
        sum.Add(v.position.z);
        sum.Add(v.radius);
        sum.Add(v.massRate);
        sum.Add(v.xRate);
        sum.Add(v.counter);
        sum.Add(v.mass);
    }
    for (const NS_ObjectIndex::ObjectIndex& reference : rain->streaks) {
        const Rain_value& v = *rain->GetTyped(reference);
        sum.Add(v.start.x);
        sum.Add(v.start.y);
        sum.Add(v.end.x);
        sum.Add(v.end.y);
        sum.Add(v.brightness);
        sum.Add(v.length);
        sum.Add(v.speed);
    }
    figures.checksum = sum.sum;
    return figures;
}
