// Keeps the pane supplied with drops: spawns one at a random place every 1 to 70
// ticks while fewer than 100 drops exist, and removes those that ran off the
// bottom. Follows the drops through the "Drop" handler's Attached and Detached.
#pragma once

#include <cstdint>

#include "attributes/attribute_handler.h"

class DropsManager : public NS_AttributeHandler::AttributeHandler {
public:
    explicit DropsManager(NS_AttributeHandler::UniverseForHandler* owner);
    ~DropsManager() override;

    void Init() override;
    void Handle(const NS_Events::Event& event) override;

    static constexpr std::size_t kDropLimit = 100;
    // Drops whose y is below this are removed.
    static constexpr double kRemovalLine = -0.8;

    // The drop objects, as far as the events delivered so far tell.
    const ObjectSet& Drops() const { return drops; }

private:
    friend void PrepareFreshScene(std::uint32_t seed);
    // Reads and sets the countdown (tests/scene/drops_manager_probe.h).
    friend struct DropsManagerProbe;

    void RunTick();

    // Ticks still to wait before the next spawn. Process-wide and never reset by
    // the scene: a universe started later goes on with the value the previous
    // one left.
    static std::int32_t spawnCountdown;

    ObjectSet drops;
};

// What a run that must repeat exactly from its seed starts from: the random
// source seeded, and the spawn countdown at 0, whatever an earlier universe in
// the process left.
void PrepareFreshScene(std::uint32_t seed);
