// The drops manager's process-wide spawn countdown, for tests that set up or
// check the rhythm of spawning.
#pragma once

#include <cstdint>

#include "scene/drops_manager.h"

struct DropsManagerProbe {
    static std::int32_t& SpawnCountdown() { return DropsManager::spawnCountdown; }
};
