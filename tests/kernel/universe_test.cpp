#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "kernel/object.h"
#include "kernel/universe.h"
#include "tests/support/scripted_model.h"

using velmora_test::Journal;
using velmora_test::ScriptedHandler;
using velmora_test::ScriptedModel;
using velmora_test::ThrowsPointerTo;

namespace {

const FILETIME kSomeTime{0x1234u, 0x01D0u};

std::vector<std::wstring> SceneNames()
{
    return {L"Rain", L"Loader", L"DropsManager", L"Drop"};
}

} // namespace

TEST(Universe, ObjectIndexNamesTheSystemHandlerAndUnknownNamesThrow)
{
    ScriptedModel model{{}};
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    EXPECT_EQ(universe.GetHandler(L"ObjectIndex")->GetName(), L"ObjectIndex");
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { universe.GetHandler(L"Drop"); }));
}

TEST(Universe, DestroyingADeadReferenceThrowsAndTheNullReferenceFindsNothing)
{
    ScriptedModel model{{}};
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    EXPECT_EQ(universe.FindObject(NS_ObjectIndex::ObjectIndex{}), nullptr);
    const auto ref = universe.CreateObject()->self;
    universe.DestroyObject(ref);
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { universe.DestroyObject(ref); }));
    const auto reused = universe.CreateObject()->self;
    EXPECT_EQ(reused.index, ref.index);
    EXPECT_EQ(universe.FindObject(ref), nullptr);
}

TEST(Universe, DuplicateHandlerNamesFailConstructionWithoutLeaking)
{
    ScriptedModel model{{L"Drop", L"Rain", L"Drop", L"Loader"}};
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributesCollection::Exception>(
        [&] { NS_Universe::Universe universe(&model, NS_Universe::Unpaced{}); }));
    // Every handler made is gone: the registered ones with the collection, the
    // refused one and those behind it with the failed construction.
    EXPECT_EQ(model.journal->destroyed.size(), 4u);

    ScriptedModel paced{{L"Drop", L"Drop"}};
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributesCollection::Exception>([&] { NS_Universe::Universe universe(&paced); }));
    EXPECT_EQ(paced.journal->destroyed.size(), 2u);
}

TEST(Universe, CycleSendsTickThenRenderToEveryHandlerInNameOrder)
{
    ScriptedModel model{SceneNames()};
    // What the first handler sees at its Tick: the cycle's time already, and the
    // Ticks still queued for the others, "ObjectIndex" among them.
    FILETIME timeAtFirstTick{};
    std::vector<std::wstring> queuedAtFirstTick;
    model.configure = [&](ScriptedHandler& h) {
        if (h.GetName() == L"Drop") {
            h.onEvent = [&](ScriptedHandler& self, const NS_Events::Event& e) {
                if (e.kind == NS_Events::Tick) {
                    timeAtFirstTick = self.Universe()->GetTime();
                    for (const auto& queued : *self.Universe()->GetEventQueue()) {
                        queuedAtFirstTick.push_back(queued.target);
                    }
                }
            };
        }
    };
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    universe.InitHandlers();
    EXPECT_EQ(model.journal->inits, (std::vector<std::wstring>{L"Drop", L"DropsManager", L"Loader", L"Rain"}));
    universe.RunCycle(kSomeTime);
    const auto& seen = model.journal->entries;
    ASSERT_EQ(seen.size(), 8u);
    const std::vector<std::wstring> order{L"Drop", L"DropsManager", L"Loader", L"Rain"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(seen[i].handler, order[i]);
        EXPECT_EQ(seen[i].kind, NS_Events::Tick);
        EXPECT_EQ(seen[i + 4].handler, order[i]);
        EXPECT_EQ(seen[i + 4].kind, NS_Events::Render);
        EXPECT_EQ(seen[i].stamp, 0);
        EXPECT_TRUE(seen[i].source.empty());
    }
    EXPECT_EQ(timeAtFirstTick.dwLowDateTime, kSomeTime.dwLowDateTime);
    EXPECT_EQ(timeAtFirstTick.dwHighDateTime, kSomeTime.dwHighDateTime);
    EXPECT_EQ(queuedAtFirstTick, (std::vector<std::wstring>{L"DropsManager", L"Loader", L"ObjectIndex", L"Rain"}));
    EXPECT_TRUE(universe.GetEventQueue()->empty());
}

TEST(Universe, EventPostedDuringTickArrivesAfterAllTicksAndBeforeTheFirstRender)
{
    ScriptedModel model{{L"Drop", L"Rain"}};
    model.configure = [](ScriptedHandler& h) {
        if (h.GetName() == L"Drop") {
            h.onEvent = [](ScriptedHandler& self, const NS_Events::Event& e) {
                if (e.kind == NS_Events::Tick) {
                    self.Subscribe(NS_Events::Changed, L"Rain");
                    self.SendEvent(NS_ObjectIndex::ObjectIndex{}, nullptr, NS_Events::Changed);
                }
            };
        }
    };
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    universe.RunCycle(kSomeTime);
    const auto& seen = model.journal->entries;
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0].kind, NS_Events::Tick);
    EXPECT_EQ(seen[1].kind, NS_Events::Tick);
    EXPECT_EQ(seen[2].kind, NS_Events::Changed);
    EXPECT_EQ(seen[2].handler, L"Rain");
    EXPECT_EQ(seen[2].source, L"Drop");
    EXPECT_EQ(seen[3].kind, NS_Events::Render);
}

TEST(Universe, SystemHandlerAloneIgnoresItsTickAndRender)
{
    ScriptedModel model{{}};
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    universe.InitHandlers();
    for (int i = 0; i < 3; ++i) {
        universe.RunCycle(kSomeTime);
    }
    EXPECT_TRUE(universe.GetEventQueue()->empty());
    EXPECT_EQ(universe.CyclesRun(), 3u);
}

TEST(Universe, EventForAnUnknownTargetThrowsAfterLeavingTheQueue)
{
    ScriptedModel model{{L"Drop"}};
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    NS_Events::Event stray;
    stray.kind = NS_Events::Changed;
    stray.target = L"Nobody";
    universe.GetEventQueue()->push_back(stray);
    NS_Events::Event later;
    later.kind = NS_Events::Changed;
    later.target = L"Drop";
    universe.GetEventQueue()->push_back(later);
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { universe.DispatchEvents(); }));
    ASSERT_EQ(universe.GetEventQueue()->size(), 1u);
    EXPECT_EQ(universe.GetEventQueue()->front().target, L"Drop");
}

TEST(Universe, DestroyingAnObjectDetachesEachHandlerInNameOrderThenForgetsIt)
{
    ScriptedModel model{{L"Rain", L"Drop", L"Listener"}};
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    auto* drop = model.Handler(L"Drop");
    auto* rain = model.Handler(L"Rain");
    drop->Subscribe(NS_Events::Detached, L"Listener");
    rain->Subscribe(NS_Events::Detached, L"Listener");
    const auto ref = universe.CreateObject()->self;
    rain->Attach(ref);
    drop->Attach(ref);
    universe.GetEventQueue()->clear();

    universe.DestroyObject(ref);
    EXPECT_EQ(universe.FindObject(ref), nullptr);
    EXPECT_TRUE(drop->Objects().empty());
    EXPECT_TRUE(rain->Objects().empty());
    ASSERT_EQ(universe.GetEventQueue()->size(), 2u);
    EXPECT_EQ(universe.GetEventQueue()->at(0).source, L"Drop");
    EXPECT_EQ(universe.GetEventQueue()->at(1).source, L"Rain");
}

TEST(Universe, DestroyingAPlainObjectCallsNoDetachAndQueuesNothing)
{
    ScriptedModel model{{L"Drop"}};
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    universe.GetHandler(L"ObjectIndex")->Subscribe(0x1F, L"Drop");
    const auto ref = universe.CreateObject()->self;
    universe.GetEventQueue()->clear();
    universe.DestroyObject(ref);
    EXPECT_TRUE(universe.GetEventQueue()->empty());
}

TEST(Universe, LiveObjectsAreDetachedAtTeardownAndTheirEventsDeliveredBeforeHandlersGo)
{
    auto journal = std::make_shared<Journal>();
    std::vector<std::wstring> order; // Detached deliveries and handler deaths, interleaved
    {
        ScriptedModel model{{L"Drop", L"Listener"}, journal};
        model.configure = [&order](ScriptedHandler& h) {
            h.onEvent = [&order](ScriptedHandler& self, const NS_Events::Event& e) {
                if (e.kind == NS_Events::Detached) {
                    order.push_back(self.GetName() + L" heard Detached");
                }
            };
        };
        NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
        auto* drop = model.Handler(L"Drop");
        drop->Subscribe(5, L"Listener");
        for (int i = 0; i < 3; ++i) {
            drop->Attach(universe.CreateObject()->self);
        }
        universe.DispatchEvents();
        journal->destroyed.clear();
    }
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[0], L"Listener heard Detached");
    // Handlers die only after every Detached was delivered, in name order.
    EXPECT_EQ(journal->destroyed, (std::vector<std::wstring>{L"Drop", L"Listener"}));
}

TEST(Universe, TwoUniversesInOneProcessNeverShareAStamp)
{
    std::int64_t last = 0;
    {
        ScriptedModel model{{}};
        NS_Universe::Universe first(&model, NS_Universe::Unpaced{});
        for (int i = 0; i < 5; ++i) {
            last = first.CreateObject()->self.stamp;
        }
    }
    ScriptedModel model{{}};
    NS_Universe::Universe second(&model, NS_Universe::Unpaced{});
    EXPECT_GT(second.CreateObject()->self.stamp, last);
}

TEST(Universe, TeardownSurvivesAThrowingDetachAndAnAttributeWithoutAHandler)
{
    ScriptedModel model{{L"Drop", L"Listener"}};
    {
        NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
        auto* drop = model.Handler(L"Drop");
        ASSERT_NE(drop, nullptr);
        drop->Subscribe(NS_Events::Detached, L"Listener");
        const auto throwing = universe.CreateObject()->self;
        drop->Attach(throwing);
        drop->onDetach = [throwing](ScriptedHandler&, const NS_ObjectIndex::ObjectIndex& gone) {
            if (gone.stamp == throwing.stamp) {
                throw new NS_AttributeHandler::Exception;
            }
        };
        // An attribute whose name no handler bears: GetHandler throws for it.
        universe.CreateObject()->attributes.Add(new NS_Attribute::Attribute(L"Unknown"));
        drop->Attach(universe.CreateObject()->self);
        universe.DispatchEvents();
        model.journal->entries.clear();
    }
    // Both Detach calls happened and were heard, the throwing one included.
    EXPECT_EQ(model.journal->Count(NS_Events::Detached), 2u);
    EXPECT_EQ(model.journal->destroyed.size(), 2u);
}

TEST(Universe, TeardownWalksByReferenceWhileDetachDestroysAndCreatesObjects)
{
    ScriptedModel model{{L"Drop", L"Listener"}};
    {
        NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
        auto* drop = model.Handler(L"Drop");
        ASSERT_NE(drop, nullptr);
        drop->Subscribe(NS_Events::Attached | NS_Events::Detached, L"Listener");
        const auto first = universe.CreateObject()->self;
        const auto second = universe.CreateObject()->self;
        drop->Attach(first);
        drop->Attach(second);
        // Detaching the first destroys the second, which teardown then finds gone.
        drop->onDetach = [first, second](ScriptedHandler& self, const NS_ObjectIndex::ObjectIndex& gone) {
            if (gone.stamp == first.stamp) {
                self.Universe()->DestroyObject(second);
            }
        };
        // Hearing a Detached, the listener makes one more object: it is detached too.
        ScriptedHandler* listener = model.Handler(L"Listener");
        ASSERT_NE(listener, nullptr);
        listener->onEvent = [drop](ScriptedHandler& self, const NS_Events::Event& e) {
            if (e.kind == NS_Events::Detached && self.journal->Count(NS_Events::Detached) == 1) {
                drop->Attach(self.Universe()->CreateObject()->self);
            }
        };
        universe.DispatchEvents();
        model.journal->entries.clear();
    }
    EXPECT_EQ(model.journal->Count(NS_Events::Attached), 1u);
    EXPECT_EQ(model.journal->Count(NS_Events::Detached), 3u);
    EXPECT_EQ(model.journal->destroyed.size(), 2u);
}

TEST(Universe, DestroyObjectAcceptsTheObjectsOwnReference)
{
    // The reference lives inside the object being deleted; the sanitizer preset
    // reports any read of it after the delete.
    ScriptedModel model{{L"Drop"}};
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    NS_Object::Object* object = universe.CreateObject();
    ScriptedHandler* drop = model.Handler(L"Drop");
    ASSERT_NE(drop, nullptr);
    drop->Attach(object->self);
    universe.DestroyObject(object->self);
    EXPECT_EQ(universe.LiveObjectCount(), 0u);
}
