// The water drops on the pane: each drop is an object carrying a "Drop" attribute
// whose Drop_value is the whole state of the drop; the Drop handler owns those
// values and, on every tick, slides, dries, merges and sheds the drops.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "attributes/value_handler.h"
#include "scene/vector.h"

class Drop_value : public NS_Attribute::AttributeValue {
public:
    enum State : std::int32_t {
        Free = 0,     // slides or sticks; may merge and may shed
        Merging = 1,  // exchanging mass with a drop it touched
        Shedding = 2, // a drop and the trail drop it left, exchanging mass
        Resting = 3,  // after a transfer: moves or dries, neither merges nor sheds
    };

    // A free drop at the origin with a mass drawn from RandomUnit (one draw).
    Drop_value();
    Drop_value(const Drop_value&) = default;
    Drop_value& operator=(const Drop_value&) = default;
    ~Drop_value() override;

    // Drawn by the renderer from position and radius; the scene never calls it.
    void Draw() const;

    // The radius of a drop of that mass: the cube root of mass / 400; 0 once a
    // giving drop has passed on all its mass.
    static double RadiusOf(double mass);

    std::int32_t state = Free;
    Vector3 position;         // centre on the pane; z stays 0
    double radius = 0.0;      // always RadiusOf(mass) once the drop is on the pane
    double massRate = 0.0;    // mass added per transfer tick; negative for the giver
    double xRate = 0.0;       // shift of x per moving tick of a merge
    std::int32_t counter = 0; // ticks left in the transfer or the rest
    double mass = 0.0;
};

class Drop : public NS_AttributeHandler::ValueHandler<Drop_value> {
public:
    explicit Drop(NS_AttributeHandler::UniverseForHandler* owner);
    ~Drop() override;

    void Handle(const NS_Events::Event& event) override;

    // The divisor that turns a drop's mass into its slide per tick at p: smooth
    // along y within bands 0.05 high, unrelated at x positions 0.0001 apart.
    static double Resistance(const Vector3& p);
    // The band of a height: the integer part of (y + 1) × 20.
    static std::int32_t ResistanceBand(double y);
    // The pseudo-random level (0..99) at a band edge yk for a given x.
    static std::uint32_t EdgeLevel(double edge, double x);

    // The objects that carry a "Drop" value, in stamp order (newer later).
    const ObjectSet& drops;

    // Running totals since the handler was made, for tools and soak runs.
    std::uint64_t MergesStarted() const { return mergesStarted; }
    std::uint64_t Sheddings() const { return sheddings; }
    std::uint64_t DriedAway() const { return driedAway; }

private:
    // A drop's value as the tick holds it during one pass.
    struct PassEntry {
        NS_ObjectIndex::ObjectIndex reference;
        NS_Attribute::Attribute* attribute;
        Drop_value* value;
    };
    PassEntry Fetch(const NS_ObjectIndex::ObjectIndex& reference);
    static bool Listens(const NS_Events::EventsSender& sender);
    void WriteBack(const PassEntry& entry, const Drop_value& value, bool changesHeard);

    // One tick's pass over the drops, in the order of `drops`.
    struct Pass {
        std::vector<PassEntry> drops;
        std::vector<NS_ObjectIndex::ObjectIndex> marked; // removed at the end of the pass
        bool changesHeard = false;                       // whether anybody listens to Changed
    };
    void RunTick();
    Pass StartPass();
    // The steps of one drop's turn, in the order the tick takes them.
    void TransferStep(Drop_value& drop, const NS_ObjectIndex::ObjectIndex& self, Pass& pass);
    double SlideOrDry(Drop_value& drop, const NS_ObjectIndex::ObjectIndex& self, Pass& pass); // its speed
    bool MergeWithFirstTouched(std::size_t index, Drop_value& drop, Pass& pass);
    static void Merge(Drop_value& a, Drop_value& b);
    void Shed(Drop_value& drop, Pass& pass);

    std::uint64_t mergesStarted = 0;
    std::uint64_t sheddings = 0;
    std::uint64_t driedAway = 0;
};
