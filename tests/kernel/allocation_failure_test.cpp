// Every allocation of a small scene made to fail in turn, with the failing
// allocator of tests/support (the sanitizer preset also reports leaks and
// overflows).
#include <gtest/gtest.h>

#include <new>

#include "kernel/failure.h"
#include "kernel/object.h"
#include "kernel/universe.h"
#include "tests/support/failing_allocator.h"
#include "tests/support/scripted_model.h"

using velmora_test::ScriptedHandler;
using velmora_test::ScriptedModel;
using namespace velmora_test::failing_allocator;

namespace {

// Three handlers that create, attach, change and destroy objects every cycle,
// leaving some alive for the teardown to detach.
void RunSmallScene()
{
    ScriptedModel model{{L"Drop", L"Listener", L"Rain"}};
    model.configure = [](ScriptedHandler& h) {
        if (h.GetName() == L"Drop") {
            h.onInit = [](ScriptedHandler& self) {
                self.SubscribeTo(L"Drop", NS_Events::Attached | NS_Events::Changed | NS_Events::Detached);
            };
            h.onEvent = [](ScriptedHandler& self, const NS_Events::Event& e) {
                if (e.kind != NS_Events::Tick) {
                    return;
                }
                const auto reference = self.Universe()->CreateObject()->self;
                self.Attach(reference);
                velmora_test::TestValue value;
                value.number = 7;
                self.SetValue(reference, &value);
                if (self.Objects().size() > 3) {
                    self.Universe()->DestroyObject(*self.Objects().begin());
                }
            };
        } else if (h.GetName() == L"Rain") {
            h.onEvent = [](ScriptedHandler& self, const NS_Events::Event& e) {
                if (e.kind == NS_Events::Tick) {
                    self.Attach(self.Universe()->CreateObject()->self);
                    self.Universe()->GetHandler(L"Drop")->Attach(*self.Objects().rbegin());
                } else if (e.kind == NS_Events::Render && self.Objects().size() > 2) {
                    self.Universe()->DestroyObject(*self.Objects().begin());
                }
            };
        }
    };
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    universe.InitHandlers();
    for (std::uint32_t cycle = 1; cycle <= 5; ++cycle) {
        universe.RunCycle(FILETIME{cycle, 0});
    }
}

TEST(AllocationFailure, EveryFailedAllocationOfASmallSceneIsSurvivedWithoutALeak)
{
    long total = 0;
    EXPECT_EQ(FailEachAllocationInTurn(RunSmallScene, total), "");
    EXPECT_GT(total, 200);
    std::printf("failed each of %ld allocations in turn\n", total);
}

TEST(AllocationFailure, AGrowthThatFailsLeavesTheObjectsTableAsItWas)
{
    for (long n = 1; n <= 2; ++n) {
        NS_ObjectsCollection::ObjectsCollection table;
        auto* kept = new NS_Object::Object;
        kept->self.AssignStamp();
        table.Add(kept);
        auto* refused = new NS_Object::Object;
        refused->self.AssignStamp();
        Arm(n); // the growth of either array
        EXPECT_THROW(table.Add(refused), std::bad_alloc);
        Disarm();
        EXPECT_EQ(refused->self.index, -1);
        EXPECT_EQ(table.LiveCount(), 1u);
        table.Remove(kept->self);
        EXPECT_TRUE(table.IsEmpty());
        table.Add(refused);
        table.Remove(refused->self);
    }
}

TEST(AllocationFailure, AFailureIsPutIntoWordsWithNoMemoryToSpare)
{
    char words[160];
    std::exception_ptr failure;
    try {
        NS_Failure::Throw<NS_AttributeHandler::Exception>();
    } catch (...) {
        failure = std::current_exception();
    }
    Arm(0);
    FailAll();
    NS_Failure::DescribeInto(failure, words, sizeof words);
    Disarm();
    EXPECT_NE(std::string(words).find("handler"), std::string::npos);
}

} // namespace
