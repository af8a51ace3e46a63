// A universe of chosen scene handlers, driven cycle by cycle on the test's thread,
// with helpers to place drops and streaks of known values.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "kernel/object.h"
#include "kernel/universe.h"
#include "scene/drop.h"
#include "scene/headless_model.h"
#include "scene/rain.h"
#include "scene/random.h"
#include "tests/scene/drops_manager_probe.h"

namespace velmora_test {

// The state that the generator must hold so that its next state is `next`:
// the step is a bijection of the 32-bit integers, undone with the inverse of
// its multiplier.
inline std::uint32_t StateBefore(std::uint32_t next)
{
    std::uint32_t inverse = 214013u; // Newton's iteration for the inverse modulo 2^32
    for (int i = 0; i < 5; ++i) {
        inverse *= 2u - 214013u * inverse;
    }
    return (next - 2531011u) * inverse;
}

// Seeds the generator so that its next draw is g (0..32767).
inline void SeedSoNextDrawIs(std::uint32_t g)
{
    SeedRandom(StateBefore(g << 16));
}

// The next `count` RandomUnit values, with the generator put back where it was.
inline std::vector<double> PeekDraws(int count)
{
    const std::uint32_t saved = RandomState();
    std::vector<double> draws;
    for (int i = 0; i < count; ++i) {
        draws.push_back(RandomUnit());
    }
    SeedRandom(saved);
    return draws;
}

// A mass whose slide per tick at p is exactly `speed`, to the last bit.
inline double MassForSpeed(const Vector3& p, double speed)
{
    const double resistance = Drop::Resistance(p);
    double mass = speed * resistance;
    for (int i = 0; i < 64; ++i) {
        const double got = mass / resistance;
        if (got == speed) {
            return mass;
        }
        mass = std::nextafter(mass, got < speed ? 1.0 : 0.0);
    }
    return std::numeric_limits<double>::quiet_NaN();
}

// The heaviest mass whose slide per tick at p is below `speed`.
inline double MassJustBelowSpeed(const Vector3& p, double speed)
{
    const double resistance = Drop::Resistance(p);
    double mass = MassForSpeed(p, speed);
    while (mass / resistance >= speed) {
        mass = std::nextafter(mass, 0.0);
    }
    return mass;
}

inline Drop_value MakeDrop(double x, double y, double mass, std::int32_t state = Drop_value::Free)
{
    Drop_value v;
    v.state = state;
    v.position = Vector3(x, y, 0.0);
    v.mass = mass;
    v.radius = Drop_value::RadiusOf(mass);
    return v;
}

// A drop that neither moves nor takes part in anything for a long while: light
// enough to stick anywhere, resting, heavy enough not to dry away soon.
inline Drop_value ParkedDrop(double x, double y)
{
    Drop_value v = MakeDrop(x, y, 0.00005, Drop_value::Resting);
    v.counter = 100000;
    return v;
}

class SceneTest : public ::testing::Test {
protected:
    void Build(std::uint32_t which)
    {
        DropsManagerProbe::SpawnCountdown() = 0;
        model = std::make_unique<HeadlessSceneModel>(which);
        universe = std::make_unique<NS_Universe::Universe>(model.get(), NS_Universe::Unpaced{});
        universe->InitHandlers();
    }

    Drop& DropHandler() { return *dynamic_cast<Drop*>(universe->GetHandler(L"Drop")); }
    DropsManager& Manager() { return *dynamic_cast<DropsManager*>(universe->GetHandler(L"DropsManager")); }
    Rain& RainHandler() { return *dynamic_cast<Rain*>(universe->GetHandler(L"Rain")); }

    // Puts a drop on the pane as the drops manager does, and delivers the events.
    NS_ObjectIndex::ObjectIndex AddDrop(const Drop_value& value)
    {
        const NS_ObjectIndex::ObjectIndex reference = universe->CreateObject()->self;
        DropHandler().Attach(reference);
        DropHandler().SetValue(reference, &value);
        universe->DispatchEvents();
        return reference;
    }

    NS_ObjectIndex::ObjectIndex AddStreak()
    {
        const NS_ObjectIndex::ObjectIndex reference = universe->CreateObject()->self;
        RainHandler().Attach(reference);
        universe->DispatchEvents();
        return reference;
    }

    void Cycle() { universe->RunCycle(FILETIME{}); }

    Drop_value DropAt(const NS_ObjectIndex::ObjectIndex& reference) { return *DropHandler().GetTyped(reference); }
    Rain_value StreakAt(const NS_ObjectIndex::ObjectIndex& reference) { return *RainHandler().GetTyped(reference); }
    bool Alive(const NS_ObjectIndex::ObjectIndex& reference) { return universe->FindObject(reference) != nullptr; }

    void TearDown() override
    {
        universe.reset();
        DropsManagerProbe::SpawnCountdown() = 0;
    }

    std::unique_ptr<HeadlessSceneModel> model;
    std::unique_ptr<NS_Universe::Universe> universe;
};

} // namespace velmora_test
