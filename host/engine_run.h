// One run of the scene on a drawing target, as the Linux savers run it: the
// random source seeded from the clock, the target installed, the engine
// started; and, however the run ends, the engine stopped (its worker lets go
// of the target's context) before the target is uninstalled. The host keeps
// the target, and whatever it draws on, alive until the run is destroyed.
#pragma once

#include <string>

namespace NS_DrawTarget {
class DrawTarget;
}
namespace NS_InitialModel {
class InitialModel;
}

namespace NS_EngineRun {

class EngineRun {
public:
    EngineRun(NS_DrawTarget::DrawTarget& target, NS_InitialModel::InitialModel& scene);
    EngineRun(const EngineRun&) = delete;
    EngineRun& operator=(const EngineRun&) = delete;
    ~EngineRun();

    // True once the scene's worker stopped by a failure.
    bool Failed() const;
    // What a person is told then: "the scene stopped: " and the failure.
    std::string FailureReport() const;
};

} // namespace NS_EngineRun
