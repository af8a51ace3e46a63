#include "host/engine_run.h"

#include <cstdint>
#include <ctime>

#include "kernel/universe.h"
#include "render/draw_target.h"
#include "scene/random.h"
#include "scene/scene_model.h"

namespace NS_EngineRun {

EngineRun::EngineRun(NS_DrawTarget::DrawTarget& target, NS_InitialModel::InitialModel& scene)
{
    // Seeded before the universe exists: the rain's constructor already draws.
    SeedRandom(static_cast<std::uint32_t>(std::time(nullptr)));
    NS_DrawTarget::Install(&target);
    try {
        StartEngineWith(scene);
    } catch (...) {
        NS_DrawTarget::Install(nullptr);
        throw;
    }
}

EngineRun::~EngineRun()
{
    StopEngine();
    NS_DrawTarget::Install(nullptr);
}

bool EngineRun::Failed() const
{
    return currentUniverse != nullptr && currentUniverse->WorkerFailed();
}

std::string EngineRun::FailureReport() const
{
    return currentUniverse != nullptr ? "the scene stopped: " + currentUniverse->WorkerFailure() : std::string();
}

} // namespace NS_EngineRun
