#include <gtest/gtest.h>

#include <cmath>

#include "scene/portable_math.h"
#include "tests/scene/scene_fixture.h"

namespace {

using velmora_test::PeekDraws;

class RainTest : public velmora_test::SceneTest {
protected:
    void SetUp() override { Build(HeadlessSceneModel::WithRain); }
};

TEST_F(RainTest, TheConstructorDrawsTheSlantAndItsRange)
{
    universe.reset();
    SeedRandom(777);
    const double r = PeekDraws(1)[0];
    Build(HeadlessSceneModel::WithRain);
    const Rain& rain = RainHandler();
    EXPECT_EQ(rain.Angle(), 0.6 * r - 0.3);
    EXPECT_EQ(rain.Direction().x, PortableSin(rain.Angle()));
    EXPECT_EQ(rain.Direction().y, -PortableCos(rain.Angle()));
    EXPECT_EQ(rain.XMin(), -1.0 - 1.5 * std::fabs(rain.Direction().x));
    EXPECT_EQ(rain.XMax(), 1.5 * std::fabs(rain.Direction().x) + 1.0);
    EXPECT_EQ(RainHandler().GetName(), L"Rain");

    // A seed whose slant is one where the C library's sine and cosine differ
    // from the portable ones in the last bit (with glibc).
    universe.reset();
    SeedRandom(19109);
    Build(HeadlessSceneModel::WithRain);
    EXPECT_EQ(RainHandler().Angle(), 0x1.f2557e449622ep-3);
    EXPECT_EQ(RainHandler().Direction().x, 0x1.ed6e5152256e8p-3);
    EXPECT_EQ(RainHandler().Direction().y, -0x1.f0ead895805dbp-1);
}

TEST_F(RainTest, AStraightFallStartsOverExactlyTheWidthOfThePane)
{
    RainHandler().SetAngle(0.0);
    EXPECT_EQ(RainHandler().XMin(), -1.0);
    EXPECT_EQ(RainHandler().XMax(), 1.0);
    EXPECT_EQ(RainHandler().Direction().x, 0.0);
    EXPECT_EQ(RainHandler().Direction().y, -1.0);
}

TEST_F(RainTest, StreakFactorRunsFromOneSeventeenthToOneFourHundredSeventeenth)
{
    using velmora_test::StateBefore;
    RainHandler().SetAngle(0.0);
    // Attach draws x first, then the factor's r.
    SeedRandom(StateBefore(StateBefore(0)));
    const Rain_value brightest = StreakAt(AddStreak());
    EXPECT_EQ(brightest.speed, 20.0 * (1.0 / 17.0));
    EXPECT_EQ(brightest.brightness, 3.0 * (1.0 / 17.0));
    EXPECT_EQ(brightest.length, 6.0 * (1.0 / 17.0));

    SeedRandom(StateBefore(StateBefore(32767u << 16)));
    const Rain_value dim = StreakAt(AddStreak());
    EXPECT_EQ(dim.speed, 20.0 * (1.0 / 417.0));
    EXPECT_EQ(dim.start.y, 1.0);
    EXPECT_EQ(dim.end.y, 1.0);

    SeedRandom(StateBefore(0));
    EXPECT_EQ(StreakAt(AddStreak()).start.x, -1.0);
    SeedRandom(StateBefore(32767u << 16));
    EXPECT_EQ(StreakAt(AddStreak()).start.x, 1.0);
}

TEST_F(RainTest, With195StreaksOneTickBringsExactlyFiveAndWith200None)
{
    for (int i = 0; i < 195; ++i) {
        AddStreak();
    }
    Cycle();
    // A streak starting at y = 1 cannot pass the bottom line in one step.
    EXPECT_EQ(RainHandler().streaks.size(), 200u);
    EXPECT_EQ(universe->LiveObjectCount(), 200u);
    // Full: the next tick starts none (the fastest may go in it, after two steps).
    const std::int64_t next = NS_ObjectIndex::PeekNextStamp();
    Cycle();
    EXPECT_EQ(NS_ObjectIndex::PeekNextStamp(), next);
}

TEST_F(RainTest, ANewStreakIsFirstSeenOneStepBelowTheTop)
{
    RainHandler().SetAngle(0.25);
    // Seed 106: the first streak's factor draw is one where 1 / (400 r + 17)
    // would round differently from 1 / ((400 r + 7) + 10).
    SeedRandom(106);
    Cycle();
    ASSERT_EQ(RainHandler().streaks.size(), 20u);
    SeedRandom(106);
    const std::vector<double> r = PeekDraws(2);
    const Rain_value first = StreakAt(*RainHandler().streaks.begin());
    const Rain& rain = RainHandler();
    const double x = rain.XMin() + r[0] * (rain.XMax() - rain.XMin());
    const double k = 1.0 / ((400.0 * r[1] + 7.0) + 10.0);
    EXPECT_EQ(first.speed, 20.0 * k);
    // Every streak's look and pace, from its own two draws, to the last bit.
    SeedRandom(106);
    const std::vector<double> all = PeekDraws(40);
    std::size_t i = 0;
    for (const auto& reference : rain.streaks) {
        const Rain_value streak = StreakAt(reference);
        const double factor = 1.0 / ((400.0 * all[2 * i + 1] + 7.0) + 10.0);
        EXPECT_EQ(streak.brightness, 3.0 * factor) << i;
        EXPECT_EQ(streak.speed, 20.0 * factor) << i;
        EXPECT_EQ(streak.length, 6.0 * factor) << i;
        ++i;
    }
    EXPECT_NEAR(first.start.x, x + std::sin(0.25) * first.speed, 1e-15);
    EXPECT_NEAR(first.start.y, 1.0 - std::cos(0.25) * first.speed, 1e-15);
    EXPECT_EQ(first.end.x, first.start.x + rain.Direction().x * first.length);
    EXPECT_EQ(first.end.y, first.start.y + rain.Direction().y * first.length);
}

TEST_F(RainTest, AStreakLandingExactlyOnTheBottomLineStaysAndOneBelowGoes)
{
    RainHandler().SetAngle(0.0);
    for (int i = 0; i < 200; ++i) {
        AddStreak();
    }
    auto it = RainHandler().streaks.begin();
    const NS_ObjectIndex::ObjectIndex onTheLine = *it++;
    const NS_ObjectIndex::ObjectIndex below = *it;
    Rain_value v = StreakAt(onTheLine);
    v.start = Vector2(0.0, -0.8 + 0.25);
    v.speed = 0.25;
    ASSERT_EQ(v.start.y - 0.25, -0.8);
    RainHandler().SetValue(onTheLine, &v);
    v.start = Vector2(0.0, std::nextafter(-0.8 + 0.25, -1.0));
    RainHandler().SetValue(below, &v);
    universe->DispatchEvents();
    Cycle();
    EXPECT_TRUE(Alive(onTheLine));
    EXPECT_EQ(StreakAt(onTheLine).start.y, -0.8);
    EXPECT_EQ(StreakAt(onTheLine).end.y, -0.8 - StreakAt(onTheLine).length);
    EXPECT_FALSE(Alive(below));
    EXPECT_EQ(RainHandler().streaks.size(), 199u);
}

TEST_F(RainTest, EveryStreakReachesTheBottomAndMakesRoom)
{
    Cycle();
    const NS_ObjectIndex::ObjectIndex first = *RainHandler().streaks.begin();
    int ticks = 1;
    while (Alive(first) && ticks < 100) {
        Cycle();
        ++ticks;
    }
    EXPECT_FALSE(Alive(first));
    EXPECT_LE(ticks, 40);
    for (int i = 0; i < 50; ++i) {
        Cycle();
        EXPECT_LE(RainHandler().streaks.size(), 200u);
        EXPECT_EQ(universe->GetEventQueue()->size(), 0u);
    }
    EXPECT_GT(RainHandler().streaks.size(), 150u);
}

} // namespace
