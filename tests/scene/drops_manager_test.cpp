#include <gtest/gtest.h>

#include <cmath>

#include "tests/scene/scene_fixture.h"

namespace {

using velmora_test::MakeDrop;
using velmora_test::ParkedDrop;
using velmora_test::PeekDraws;

class DropsManagerTest : public velmora_test::SceneTest {
protected:
    void SetUp() override { Build(HeadlessSceneModel::WithDrop | HeadlessSceneModel::WithDropsManager); }

    // Parked drops in a grid far enough apart never to touch.
    void Park(int count)
    {
        for (int i = 0; i < count; ++i) {
            AddDrop(ParkedDrop(-0.95 + 0.19 * (i % 10), -0.7 + 0.15 * (i / 10)));
        }
    }
};

TEST_F(DropsManagerTest, SubscribesToTheDropsAndFollowsThemThroughDeliveredEvents)
{
    const NS_ObjectIndex::ObjectIndex reference = universe->CreateObject()->self;
    DropHandler().Attach(reference);
    // Known only once the Attached event is delivered.
    EXPECT_EQ(Manager().Drops().size(), 0u);
    universe->DispatchEvents();
    EXPECT_EQ(Manager().Drops().count(reference), 1u);
    universe->DestroyObject(reference);
    EXPECT_EQ(Manager().Drops().size(), 1u);
    universe->DispatchEvents();
    EXPECT_EQ(Manager().Drops().size(), 0u);
}

TEST_F(DropsManagerTest, ChangedAndRenderEventsLeaveItUntouched)
{
    Park(3);
    const std::uint32_t before = RandomState();
    for (std::uint32_t kind : {NS_Events::Changed, NS_Events::Render}) {
        NS_Events::Event event;
        event.kind = kind;
        event.object = *Manager().Drops().begin();
        Manager().Handle(event);
    }
    EXPECT_EQ(Manager().Drops().size(), 3u);
    EXPECT_EQ(RandomState(), before);
    EXPECT_EQ(universe->LiveObjectCount(), 3u);
}

TEST_F(DropsManagerTest, With99DropsASpawnDrawsFiveNumbersInOrder)
{
    Park(99);
    const std::vector<double> r = PeekDraws(6);
    Cycle();
    ASSERT_EQ(DropHandler().drops.size(), 100u);
    const Drop_value spawned = DropAt(*DropHandler().drops.rbegin());
    // The scratch value's mass, r1 for y, r2 for x, Attach's default mass, the countdown.
    EXPECT_EQ(spawned.mass, 0.000576 + r[0] * (0.0008 - 0.000576));
    EXPECT_EQ(spawned.position.y, std::sqrt(r[1]) * 1.6 - 0.8);
    EXPECT_EQ(spawned.position.x, 2 * r[2] - 1);
    EXPECT_EQ(spawned.position.z, 0.0);
    EXPECT_EQ(spawned.state, Drop_value::Free);
    EXPECT_EQ(DropsManagerProbe::SpawnCountdown(), static_cast<int>(70 * r[4]));
    EXPECT_EQ(RandomUnit(), r[5]);
    // Counted by the manager from the delivery in the same cycle on.
    EXPECT_EQ(Manager().Drops().size(), 100u);
}

TEST_F(DropsManagerTest, With100DropsNothingSpawnsAndTheCountdownStays)
{
    Park(100);
    DropsManagerProbe::SpawnCountdown() = 7;
    const std::uint32_t before = RandomState();
    Cycle();
    EXPECT_EQ(DropHandler().drops.size(), 100u);
    EXPECT_EQ(DropsManagerProbe::SpawnCountdown(), 7);
    EXPECT_EQ(RandomState(), before);
}

TEST_F(DropsManagerTest, CountsDownBeforeTheNextSpawn)
{
    DropsManagerProbe::SpawnCountdown() = 2;
    Cycle();
    Cycle();
    EXPECT_EQ(DropHandler().drops.size(), 0u);
    EXPECT_EQ(DropsManagerProbe::SpawnCountdown(), 0);
    Cycle();
    EXPECT_EQ(DropHandler().drops.size(), 1u);
}

TEST_F(DropsManagerTest, TheCountdownReaches70OnlyOnADrawOfExactlyOne)
{
    Park(10);
    // A spawn draws five numbers; steer the fifth, the countdown's, to 32767 by
    // walking the generator back five steps from the state that gives it.
    std::uint32_t seed = 32767u << 16;
    for (int i = 0; i < 5; ++i) {
        seed = velmora_test::StateBefore(seed);
    }
    SeedRandom(seed);
    Cycle();
    EXPECT_EQ(DropsManagerProbe::SpawnCountdown(), 70);

    DropsManagerProbe::SpawnCountdown() = 0;
    seed = 32766u << 16;
    for (int i = 0; i < 5; ++i) {
        seed = velmora_test::StateBefore(seed);
    }
    SeedRandom(seed);
    Cycle();
    EXPECT_EQ(DropsManagerProbe::SpawnCountdown(), 69);
}

TEST_F(DropsManagerTest, CullsDropsBelowTheBottomLineButNotOnIt)
{
    Park(5);
    const auto onTheLine = AddDrop(ParkedDrop(0.3, -0.8));
    const auto below = AddDrop(ParkedDrop(-0.3, std::nextafter(-0.8, -1.0)));
    DropsManagerProbe::SpawnCountdown() = 50;
    Cycle();
    EXPECT_TRUE(Alive(onTheLine));
    EXPECT_FALSE(Alive(below));
    EXPECT_EQ(Manager().Drops().size(), 6u);
    EXPECT_EQ(DropHandler().drops.size(), 6u);
}

TEST_F(DropsManagerTest, SkipsDropsThatTheDropHandlerRemovedInTheSameCycle)
{
    // Dries away in the drops' tick, while the manager still lists it.
    const auto drying = AddDrop(MakeDrop(0.0, -0.9, 0.0000010005));
    DropsManagerProbe::SpawnCountdown() = 50;
    Cycle();
    EXPECT_FALSE(Alive(drying));
    EXPECT_EQ(Manager().Drops().size(), 0u);
    EXPECT_EQ(universe->GetEventQueue()->size(), 0u);
}

TEST_F(DropsManagerTest, TheCountdownOutlivesTheUniverse)
{
    DropsManagerProbe::SpawnCountdown() = 0;
    Cycle(); // spawns and draws a new countdown
    const std::int32_t left = DropsManagerProbe::SpawnCountdown();
    universe.reset();
    universe = std::make_unique<NS_Universe::Universe>(model.get(), NS_Universe::Unpaced{});
    universe->InitHandlers();
    EXPECT_EQ(DropsManagerProbe::SpawnCountdown(), left);
    if (left > 0) {
        Cycle();
        EXPECT_EQ(DropsManagerProbe::SpawnCountdown(), left - 1);
        EXPECT_EQ(DropHandler().drops.size(), 0u);
    }
}

} // namespace
