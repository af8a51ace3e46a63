// Linked only into the test builds of the savers (velmora-test, velmora-test.scr),
// whose entries run the scene SaverScene gives: with VELMORA_TEST_FAIL_AT_CYCLE=N
// in the environment, the rain scene plus one handler that throws on the N-th
// tick, as a broken handler would; otherwise the rain scene itself.
// When VELMORA_TEST_FAILURE_LOG names a file, the handler writes the steady
// clock's reading (milliseconds) there just before it throws, so that a test can
// tell how soon after the failure the saver ended.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

#include "attributes/attribute_handler.h"
#include "attributes/events.h"
#include "host/saver_scene.h"
#include "kernel/failure.h"
#include "scene/scene_model.h"

namespace {

class FailingHandler : public NS_AttributeHandler::AttributeHandler {
public:
    FailingHandler(NS_AttributeHandler::UniverseForHandler* owner, unsigned long cycle, std::string timeLog)
        : AttributeHandler(owner), failAt(cycle), log(std::move(timeLog))
    {
        name = L"Failing";
    }

    void Handle(const NS_Events::Event& event) override
    {
        if (event.kind != NS_Events::Tick || ++ticks < failAt) {
            return;
        }
        if (!log.empty()) {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            std::ofstream(log) << std::chrono::duration_cast<std::chrono::milliseconds>(now).count() << '\n';
        }
        NS_Failure::Throw<NS_AttributeHandler::Exception>();
    }

private:
    unsigned long failAt;
    unsigned long ticks = 0;
    std::string log;
};

class FailingScene : public InitialModel {
public:
    unsigned long failAt = 0;
    std::string log;

    void CreateHandlers(std::list<NS_AttributeHandler::AttributeHandler*>& out) override
    {
        InitialModel::CreateHandlers(out);
        out.push_back(new FailingHandler(universe, failAt, log));
    }
};

} // namespace

NS_InitialModel::InitialModel& SaverScene()
{
    const char* cycle = std::getenv("VELMORA_TEST_FAIL_AT_CYCLE");
    if (cycle == nullptr || std::strtoul(cycle, nullptr, 10) == 0) {
        return sceneModel;
    }
    static FailingScene failingScene;
    failingScene.failAt = std::strtoul(cycle, nullptr, 10);
    if (const char* log = std::getenv("VELMORA_TEST_FAILURE_LOG")) {
        failingScene.log = log;
    }
    return failingScene;
}
