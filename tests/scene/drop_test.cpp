#include <gtest/gtest.h>

#include <cmath>

#include "tests/scene/scene_fixture.h"
#include "tests/support/scripted_model.h"

namespace {

using velmora_test::MakeDrop;
using velmora_test::MassForSpeed;
using velmora_test::ParkedDrop;
using velmora_test::PeekDraws;

TEST(Resistance, MatchesTheWorkedValues)
{
    EXPECT_EQ(Drop::ResistanceBand(0.0), 20);
    EXPECT_EQ(Drop::EdgeLevel(0.0, 0.0), 36u);
    EXPECT_EQ(Drop::EdgeLevel(21 * 0.05 - 1.0, 0.0), 44u);
    EXPECT_EQ(Drop::Resistance(Vector3(0, 0, 0)), 0.091733333333333333);

    // The edge term for y0 is -5000, whose low 32 bits are 0xFFFFEC78.
    EXPECT_EQ(Drop::EdgeLevel(0.0, -0.5), (0xFFFFEC78u ^ 0xCCCCCCCCu) % 100u);
    EXPECT_EQ(Drop::EdgeLevel(0.0, -0.5), 24u);
    EXPECT_EQ(Drop::EdgeLevel(21 * 0.05 - 1.0, -0.5), 16u);
    EXPECT_EQ(Drop::Resistance(Vector3(-0.5, 0, 0)), 0.078933333333333341);
    // Below the pane the band truncates toward zero, not down: -0.4 gives 0.
    EXPECT_EQ(Drop::ResistanceBand(-1.02), 0);
    EXPECT_EQ(Drop::Resistance(Vector3(0.3, -1.02, 0)), 0.15445333333333333);
}

TEST(Resistance, BandEdgeAtMinusPointEightFallsInTheBandBelow)
{
    // (−0.8 + 1) × 20 comes out just below 4.
    EXPECT_EQ(Drop::ResistanceBand(-0.8), 3);
    EXPECT_EQ(Drop::ResistanceBand(-0.85 + 1e-12), 3);
    // Within a band the value runs linearly from the lower edge's level to the upper one's.
    const double top = (0.5 + 0.01 * Drop::EdgeLevel(4 * 0.05 - 1.0, 0.5)) * 0.16 * 2.0 / 3.0;
    EXPECT_NEAR(Drop::Resistance(Vector3(0.5, -0.8, 0)), top, 1e-12);
}

TEST(Resistance, StaysWithinItsRangeOverThePane)
{
    // Drops live between y = 0.8 and just below −0.8, where they are removed.
    double lowest = 1.0;
    double highest = 0.0;
    for (double y = -1.0; y < 1.0; y += 0.00731) {
        for (double x = -1.3; x <= 1.3; x += 0.000917) {
            const double r = Drop::Resistance(Vector3(x, y, 0));
            lowest = std::min(lowest, r);
            highest = std::max(highest, r);
        }
    }
    // Levels 0 and 99 give 0.5 and 1.49 times 0.16 × 2/3: 0.05333… and 0.15893….
    EXPECT_GE(lowest, 0.0533);
    EXPECT_LE(highest, 0.15894);
    // The extremes are reached, not just bounded.
    EXPECT_LT(lowest, 0.054);
    EXPECT_GT(highest, 0.158);
}

TEST(DropValue, DefaultsToAFreeDropOfRandomMassAndItsRadius)
{
    velmora_test::SeedSoNextDrawIs(0);
    const Drop_value lightest;
    EXPECT_EQ(lightest.state, Drop_value::Free);
    EXPECT_EQ(lightest.mass, 0.000576);
    EXPECT_EQ(lightest.position.x, 0.0);
    velmora_test::SeedSoNextDrawIs(32767);
    const Drop_value heaviest;
    EXPECT_NEAR(heaviest.mass, 0.0008, 1e-18);
    EXPECT_NEAR(heaviest.radius, std::cbrt(heaviest.mass / 400.0), 1e-17);
    EXPECT_EQ(Drop_value::RadiusOf(0.0), 0.0);
    EXPECT_EQ(Drop_value::RadiusOf(-1e-7), 0.0);
}

class DropTest : public velmora_test::SceneTest {
protected:
    void SetUp() override { Build(HeadlessSceneModel::WithDrop); }
};

TEST_F(DropTest, AttachSetValueAndDetachKeepTheSetAndSendTheirEvents)
{
    // Listen as the drops manager would; the events are read off the queue.
    DropHandler().Subscribe(NS_Events::Attached | NS_Events::Changed | NS_Events::Detached, L"Spy");
    NS_Object::Object* object = universe->CreateObject();
    const NS_ObjectIndex::ObjectIndex reference = object->self;
    DropHandler().Attach(reference);
    EXPECT_EQ(DropHandler().drops.count(reference), 1u);
    const Drop_value given = MakeDrop(0.1, 0.2, 0.0007);
    DropHandler().SetValue(reference, &given);
    EXPECT_EQ(DropAt(reference).position.y, 0.2);
    ASSERT_EQ(universe->GetEventQueue()->size(), 2u);
    EXPECT_EQ(universe->GetEventQueue()->front().kind, NS_Events::Attached);
    EXPECT_EQ(universe->GetEventQueue()->back().kind, NS_Events::Changed);
    universe->GetEventQueue()->clear();

    EXPECT_TRUE(
        velmora_test::ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { DropHandler().Attach(reference); }));
    EXPECT_TRUE(velmora_test::ThrowsPointerTo<NS_AttributeHandler::Exception>([&] {
        const Rain_value wrong;
        DropHandler().SetValue(reference, &wrong);
    }));

    universe->DestroyObject(reference);
    EXPECT_EQ(DropHandler().drops.count(reference), 0u);
    ASSERT_EQ(universe->GetEventQueue()->size(), 1u);
    EXPECT_EQ(universe->GetEventQueue()->front().kind, NS_Events::Detached);
    universe->GetEventQueue()->clear();
}

TEST_F(DropTest, AnEmptyTickDoesNothing)
{
    const std::uint32_t before = RandomState();
    Cycle();
    EXPECT_EQ(universe->LiveObjectCount(), 0u);
    EXPECT_EQ(RandomState(), before);
}

TEST_F(DropTest, SlidesFromExactlyTheSlideThreshold)
{
    const Vector3 at(0.31, 0.4, 0);
    const double mass = MassForSpeed(at, 0.002);
    ASSERT_FALSE(std::isnan(mass));
    const auto sliding = AddDrop(MakeDrop(at.x, at.y, mass));
    const auto sticking = AddDrop(MakeDrop(-0.6, 0.4, velmora_test::MassJustBelowSpeed(Vector3(-0.6, 0.4, 0), 0.002)));
    Cycle();
    EXPECT_EQ(DropAt(sliding).position.y, 0.4 - 0.002);
    EXPECT_EQ(DropAt(sliding).mass, mass);
    EXPECT_EQ(DropAt(sticking).position.y, 0.4);
    EXPECT_LT(DropAt(sticking).mass, MassForSpeed(Vector3(-0.6, 0.4, 0), 0.002) * 0.9995);
}

TEST_F(DropTest, MergingAndSheddingDropsSlideFromExactlyTheSlideThreshold)
{
    std::vector<NS_ObjectIndex::ObjectIndex> atThreshold;
    std::vector<NS_ObjectIndex::ObjectIndex> justBelow;
    double x = -0.9;
    for (std::int32_t state : {Drop_value::Merging, Drop_value::Shedding}) {
        for (bool exact : {true, false}) {
            const Vector3 at(x, 0.3, 0);
            x += 0.45;
            const double mass = exact ? MassForSpeed(at, 0.002) : velmora_test::MassJustBelowSpeed(at, 0.002);
            ASSERT_FALSE(std::isnan(mass));
            Drop_value v = MakeDrop(at.x, at.y, mass, state);
            v.counter = 2;
            (exact ? atThreshold : justBelow).push_back(AddDrop(v));
        }
    }
    Cycle();
    for (const auto& reference : atThreshold) {
        EXPECT_EQ(DropAt(reference).position.y, 0.3 - 0.002);
    }
    for (const auto& reference : justBelow) {
        EXPECT_EQ(DropAt(reference).position.y, 0.3);
    }
}

TEST_F(DropTest, ShedsFromExactlyTheSheddingThreshold)
{
    const Vector3 at(0.2, 0.5, 0);
    const auto fast = AddDrop(MakeDrop(at.x, at.y, MassForSpeed(at, 0.01)));
    const auto slower = AddDrop(MakeDrop(-0.7, 0.5, velmora_test::MassJustBelowSpeed(Vector3(-0.7, 0.5, 0), 0.01)));
    Cycle();
    EXPECT_EQ(DropAt(fast).state, Drop_value::Shedding);
    EXPECT_EQ(DropAt(slower).state, Drop_value::Free);
    EXPECT_EQ(DropHandler().drops.size(), 3u);
    EXPECT_EQ(DropHandler().Sheddings(), 1u);
}

// Two drops whose centres end up `gap` apart along x at the same height, once the
// earlier one has made this tick's slide; radii 0.125 each.
class ContactTest : public DropTest {
protected:
    void Place(double gap, double earlierMass, double laterMass)
    {
        Drop_value a = MakeDrop(0.0, 0.5, earlierMass);
        a.radius = 0.125;
        const double slid = 0.5 - earlierMass / Drop::Resistance(a.position);
        Drop_value b = MakeDrop(gap, slid, laterMass);
        b.radius = 0.125;
        earlier = AddDrop(a);
        later = AddDrop(b);
    }
    NS_ObjectIndex::ObjectIndex earlier;
    NS_ObjectIndex::ObjectIndex later;
};

TEST_F(ContactTest, DropsExactlyTouchingMerge)
{
    Place(0.25, 0.0005, 0.0004);
    Cycle();
    EXPECT_EQ(DropAt(earlier).state, Drop_value::Merging);
    EXPECT_EQ(DropAt(later).state, Drop_value::Merging);
    EXPECT_EQ(DropHandler().MergesStarted(), 1u);
}

TEST_F(ContactTest, DropsJustApartDoNotMerge)
{
    Place(std::nextafter(0.25, 1.0), 0.0005, 0.0004);
    Cycle();
    EXPECT_EQ(DropAt(earlier).state, Drop_value::Free);
    EXPECT_EQ(DropAt(later).state, Drop_value::Free);
}

TEST_F(ContactTest, WithEqualMassesTheLaterAbsorbsTheEarlierAndBothDriftToTheLaterAtEqualHeight)
{
    const double m = 0.0005;
    Place(0.25, m, m);
    Cycle();
    const Drop_value a = DropAt(earlier);
    const Drop_value b = DropAt(later);
    EXPECT_EQ(b.massRate, m / 3);
    EXPECT_EQ(a.massRate, m * (-1.001) / 3);
    EXPECT_EQ(a.xRate, 0.25 / 3);
    EXPECT_EQ(b.xRate, 0.0);
    // The earlier starts its transfer next tick; the later made its first step already.
    EXPECT_EQ(a.counter, 3);
    EXPECT_EQ(a.mass, m);
    EXPECT_EQ(b.counter, 2);
    EXPECT_EQ(b.mass, m + m / 3);
}

TEST_F(ContactTest, AMergeRunsThreeStepsThenTheLighterGoesAndTheHeavierRests)
{
    const double heavy = 0.0006;
    const double light = 0.0003;
    Place(0.25, heavy, light);
    Cycle(); // the merge starts; the later, lighter drop makes its first step
    EXPECT_EQ(DropAt(later).mass, light + light * (-1.001) / 3);
    Cycle();
    Cycle(); // its third step takes it to −0.001 × its mass, and it goes
    EXPECT_FALSE(Alive(later));
    EXPECT_EQ(DropHandler().drops.size(), 1u);
    Drop_value a = DropAt(earlier);
    EXPECT_EQ(a.state, Drop_value::Merging);
    EXPECT_EQ(a.counter, 1);
    Cycle(); // the heavier's third step
    a = DropAt(earlier);
    EXPECT_EQ(a.counter, 0);
    EXPECT_NEAR(a.mass, heavy + light, 1e-18);
    EXPECT_NEAR(a.radius, std::cbrt(a.mass / 400.0), 1e-17);
    const double restDraw = PeekDraws(1)[0];
    Cycle();
    a = DropAt(earlier);
    EXPECT_EQ(a.state, Drop_value::Resting);
    EXPECT_EQ(a.counter, static_cast<int>(1 + 3 * restDraw));
}

TEST_F(ContactTest, TheLighterEndsJustBelowZeroMass)
{
    // Seen from the giver's side: the earlier drop is the lighter one here, and
    // its mass after the last step can still be read before the tick ends.
    const double light = 0.0003;
    Place(0.25, light, 0.0006);
    for (int i = 0; i < 3; ++i) {
        Cycle();
        ASSERT_TRUE(Alive(earlier));
    }
    // Its three steps come on ticks 2 to 4; after the third its mass is −0.001 × light.
    Drop_value a = DropAt(earlier);
    EXPECT_EQ(a.counter, 1);
    EXPECT_NEAR(a.mass + a.massRate, -0.001 * light, 1e-18);
    Cycle();
    EXPECT_FALSE(Alive(earlier));
}

TEST_F(ContactTest, AnUpperHeavierDropDriftsTowardTheLowerOnesX)
{
    Drop_value a = MakeDrop(0.0, 0.5, 0.0009);
    a.radius = 0.125;
    Drop_value b = MakeDrop(0.1, 0.4, 0.0004);
    b.radius = 0.125;
    earlier = AddDrop(a);
    later = AddDrop(b);
    Cycle();
    EXPECT_EQ(DropAt(earlier).xRate, 0.1 / 3);
    EXPECT_EQ(DropAt(later).xRate, 0.0);
    const double x = DropAt(earlier).position.x;
    for (int tick = 0; tick < 4; ++tick) {
        Cycle();
    }
    // It slides on each of its four merging ticks, the one that finds the counter at 0 included.
    EXPECT_NEAR(DropAt(earlier).position.x, x + 4 * (0.1 / 3), 1e-15);
}

TEST_F(DropTest, DropsNotFreeAreSkippedByTheScans)
{
    const Vector3 at(0.0, 0.3, 0);
    const double speed = 0.004;
    Drop_value a = MakeDrop(at.x, at.y, MassForSpeed(at, speed));
    for (std::int32_t state : {Drop_value::Merging, Drop_value::Shedding, Drop_value::Resting}) {
        const auto free = AddDrop(a);
        Drop_value other = MakeDrop(0.0, 0.3 - speed, 0.0002, state);
        other.counter = 2;
        other.massRate = 0.0;
        const auto busy = AddDrop(other);
        Cycle();
        EXPECT_EQ(DropAt(free).state, Drop_value::Free) << state;
        universe->DestroyObject(free);
        universe->DestroyObject(busy);
        universe->DispatchEvents();
    }
}

TEST_F(DropTest, ATrailDropStepsInItsBirthTickAndEndsAt1Point001M)
{
    const Vector3 at(-0.25, 0.6, 0);
    const double speed = 0.012;
    const auto fast = AddDrop(MakeDrop(at.x, at.y, MassForSpeed(at, speed)));
    const double massBefore = DropAt(fast).mass;
    const std::vector<double> draws = PeekDraws(4);
    Cycle();

    ASSERT_EQ(DropHandler().drops.size(), 2u);
    const NS_ObjectIndex::ObjectIndex trailReference = *DropHandler().drops.rbegin();
    const Drop_value trail = DropAt(trailReference);
    const Drop_value shedder = DropAt(fast);
    // The draws: Attach's default mass, the scratch value's, then r for m.
    const Vector3 slid(at.x, at.y - speed, 0);
    const double m = (0.3 + 0.6 * draws[2]) * Drop::Resistance(slid) * 0.002;
    EXPECT_EQ(shedder.massRate, -m);
    EXPECT_EQ(RandomUnit(), draws[3]);
    EXPECT_EQ(trail.state, Drop_value::Shedding);
    EXPECT_EQ(trail.position.x, slid.x);
    EXPECT_EQ(trail.position.y, slid.y);
    EXPECT_EQ(trail.counter, 0);
    EXPECT_EQ(trail.mass, m * 0.001 + m);
    EXPECT_NEAR(trail.mass, 1.001 * m, 1e-18);
    EXPECT_EQ(trail.xRate, 0.0);
    EXPECT_EQ(shedder.state, Drop_value::Shedding);
    EXPECT_EQ(shedder.counter, 1);
    EXPECT_EQ(shedder.mass, massBefore);

    // The trail drop is too light to slide where it was left.
    EXPECT_LT(trail.mass / Drop::Resistance(trail.position), 0.002);
    Cycle();
    EXPECT_EQ(DropAt(fast).mass, massBefore - m);
    EXPECT_EQ(DropAt(fast).counter, 0);
    EXPECT_EQ(DropAt(trailReference).state, Drop_value::Resting);
    EXPECT_EQ(DropAt(trailReference).position.y, slid.y);
}

TEST_F(DropTest, ADryingDropStaysAtExactlyTheLimitAndGoesBelowIt)
{
    const double limit = 0.000001;
    double exact = limit / 0.999;
    for (int i = 0; i < 16 && exact * 0.999 != limit; ++i) {
        exact = std::nextafter(exact, exact * 0.999 < limit ? 1.0 : 0.0);
    }
    ASSERT_EQ(exact * 0.999, limit);
    const auto stays = AddDrop(MakeDrop(0.1, 0.1, exact));
    const auto goes = AddDrop(MakeDrop(0.5, 0.1, std::nextafter(exact, 0.0)));
    Drop_value resting = MakeDrop(-0.5, 0.1, 0.0001, Drop_value::Resting);
    resting.counter = 2;
    const auto rests = AddDrop(resting);
    Cycle();
    EXPECT_TRUE(Alive(stays));
    EXPECT_EQ(DropAt(stays).mass, limit);
    EXPECT_EQ(DropAt(stays).state, Drop_value::Free);
    EXPECT_FALSE(Alive(goes));
    // A resting drop that sticks dries as well.
    EXPECT_EQ(DropAt(rests).mass, 0.0001 * 0.999);
    EXPECT_EQ(DropAt(rests).counter, 1);
    EXPECT_EQ(DropHandler().DriedAway(), 1u);
}

TEST_F(DropTest, ADropWhoseMassReachesExactlyZeroIsRemoved)
{
    Drop_value giver = MakeDrop(0.0, 0.0, 0.0004, Drop_value::Merging);
    giver.counter = 1;
    giver.massRate = -0.0004;
    const auto reference = AddDrop(giver);
    Cycle();
    EXPECT_FALSE(Alive(reference));
    EXPECT_EQ(universe->GetEventQueue()->size(), 0u);
}

TEST_F(DropTest, ARestingDropFoundAtZeroBecomesFreeAndIsHandledAsFreeInTheSameTick)
{
    const Vector3 at(0.0, 0.3, 0);
    Drop_value resting = MakeDrop(at.x, at.y, MassForSpeed(at, 0.05), Drop_value::Resting);
    resting.counter = 1;
    const auto reference = AddDrop(resting);
    Cycle(); // counter 1 → 0, still resting: slides, sheds nothing
    EXPECT_EQ(DropAt(reference).state, Drop_value::Resting);
    EXPECT_EQ(DropHandler().drops.size(), 1u);
    Cycle(); // found at 0: free, and fast enough to shed at once
    EXPECT_EQ(DropAt(reference).state, Drop_value::Shedding);
    EXPECT_EQ(DropHandler().drops.size(), 2u);
}

} // namespace
