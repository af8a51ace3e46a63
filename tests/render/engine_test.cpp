// The engine entry points, on the offscreen target with the real worker.
#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "attributes/attribute_handler.h"
#include "kernel/universe.h"
#include "render/egl_offscreen_draw_target.h"
#include "scene/random.h"
#include "scene/scene_model.h"
#include "tests/support/scripted_model.h"
#include "tests/support/wait_until.h"

namespace {

class Engine : public ::testing::Test {
protected:
    Engine() : target(320, 240) { target.Install(); }
    ~Engine() override { StopEngine(); }

    bool WaitForFrames(std::uint64_t count)
    {
        return velmora_test::WaitUntil(std::chrono::seconds(20), std::chrono::milliseconds(5),
                                       [&] { return target.FramesPresented() >= count; });
    }

    NS_EglOffscreen::Offscreen target;
};

// Appends one handler, then fails as a handler's constructor would.
class FailingModel : public NS_InitialModel::InitialModel {
public:
    explicit FailingModel(std::shared_ptr<velmora_test::Journal> j) : journal(std::move(j)) {}
    void CreateHandlers(std::list<NS_AttributeHandler::AttributeHandler*>& out) override
    {
        out.push_back(new velmora_test::ScriptedHandler(universe, L"Loader", journal));
        throw new (std::nothrow) NS_AttributeHandler::Exception;
    }
    std::shared_ptr<velmora_test::Journal> journal;
};

} // namespace

TEST_F(Engine, StartEngineRunsTheSceneAndDrawsFrames)
{
    SeedRandom(5);
    StartEngine();
    ASSERT_NE(currentUniverse, nullptr);
    EXPECT_TRUE(WaitForFrames(3));
    EXPECT_FALSE(currentUniverse->WorkerFailed()) << currentUniverse->WorkerFailure();
    StopEngine();
    EXPECT_EQ(currentUniverse, nullptr);
    // Drawn on the worker, read here once it has let go of the context.
    const std::vector<std::uint8_t> pixels = target.TopDownPixels();
    ASSERT_EQ(pixels.size(), 320u * 240u * 4u);
    std::set<std::uint32_t> colours;
    for (std::size_t i = 0; i < pixels.size(); i += 4)
        colours.insert(static_cast<std::uint32_t>(pixels[i] << 16 | pixels[i + 1] << 8 | pixels[i + 2]));
    EXPECT_GT(colours.size(), 16u) << "a blank frame";
}

TEST_F(Engine, SecondStopEngineDoesNothing)
{
    auto journal = std::make_shared<velmora_test::Journal>();
    velmora_test::ScriptedModel model({L"Drop", L"Rain"}, journal);
    StartEngineWith(model);
    ASSERT_NE(currentUniverse, nullptr);
    StopEngine();
    StopEngine();
    EXPECT_EQ(currentUniverse, nullptr);
    EXPECT_EQ(journal->destroyed, (std::vector<std::wstring>{L"Drop", L"Rain"}));
}

TEST_F(Engine, StopEngineWithNoUniverseDoesNothing)
{
    StopEngine();
    EXPECT_EQ(currentUniverse, nullptr);
}

TEST_F(Engine, FailingUniverseConstructorLeavesNoUniverse)
{
    auto journal = std::make_shared<velmora_test::Journal>();
    FailingModel model(journal);
    EXPECT_TRUE(velmora_test::ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { StartEngineWith(model); }));
    EXPECT_EQ(currentUniverse, nullptr);
    // The handler appended before the failure was deleted, and never started.
    EXPECT_EQ(journal->destroyed, (std::vector<std::wstring>{L"Loader"}));
    EXPECT_TRUE(journal->inits.empty());
    StopEngine();
    EXPECT_EQ(currentUniverse, nullptr);
}

TEST_F(Engine, StartingAgainStopsTheRunningUniverseFirst)
{
    auto journal = std::make_shared<velmora_test::Journal>();
    velmora_test::ScriptedModel model({L"Drop"}, journal);
    StartEngineWith(model);
    StartEngineWith(model);
    EXPECT_EQ(journal->destroyed, (std::vector<std::wstring>{L"Drop"}));
    StopEngine();
    EXPECT_EQ(journal->destroyed.size(), 2u);
}

TEST_F(Engine, TwoUniversesInARowEachGetFourNewHandlers)
{
    for (int run = 0; run < 2; ++run) {
        SeedRandom(static_cast<std::uint32_t>(run));
        const std::uint64_t before = target.FramesPresented();
        StartEngine();
        ASSERT_NE(currentUniverse, nullptr);
        for (const wchar_t* name : {L"Loader", L"Drop", L"DropsManager", L"Rain", L"ObjectIndex"}) {
            EXPECT_NE(currentUniverse->GetHandler(name), nullptr);
        }
        EXPECT_TRUE(WaitForFrames(before + 2)) << "run " << run;
        StopEngine();
    }
}

TEST_F(Engine, StartsAndStops200TimesInARow)
{
    for (int run = 0; run < 200; ++run) {
        StartEngine();
        ASSERT_NE(currentUniverse, nullptr);
        StopEngine();
        ASSERT_EQ(currentUniverse, nullptr);
    }
    // The target is still good for a scene afterwards.
    const std::uint64_t before = target.FramesPresented();
    StartEngine();
    EXPECT_TRUE(WaitForFrames(before + 1));
}

TEST(SceneModel, CreateHandlersAppendsTheFourInOrder)
{
    std::list<NS_AttributeHandler::AttributeHandler*> handlers;
    auto journal = std::make_shared<velmora_test::Journal>();
    velmora_test::ScriptedModel other({L"Other"}, journal);
    NS_Universe::Universe universe(&other, NS_Universe::Unpaced{});
    handlers.push_back(universe.GetHandler(L"Other"));
    sceneModel.SetUniverse(&universe);
    sceneModel.CreateHandlers(handlers);
    std::vector<std::wstring> names;
    for (auto* handler : handlers) {
        names.push_back(handler->GetName());
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Other", L"Loader", L"Drop", L"DropsManager", L"Rain"}));
    handlers.pop_front();
    for (auto* handler : handlers) {
        delete handler;
    }
}
