// Every allocation of a small scene made to fail in turn. This executable
// replaces the global allocation functions: the N-th allocation after arming
// fails, and each block remembers whether it was made while armed, so that the
// blocks a run leaves behind can be counted (the sanitizer preset also reports
// them, and any overflow).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "kernel/failure.h"
#include "kernel/object.h"
#include "kernel/universe.h"
#include "tests/support/scripted_model.h"

using velmora_test::ScriptedHandler;
using velmora_test::ScriptedModel;

namespace {

constexpr std::size_t kHeader = 16; // keeps the block's alignment
constexpr std::uint32_t kTracked = 0x7A11C0DEu;

std::atomic<bool> armed{false};
std::atomic<bool> failAll{false};
std::atomic<long> countdown{0};   // fail when it reaches 0
std::atomic<long> allocations{0}; // made while armed
std::atomic<long> outstanding{0}; // made while armed and not yet freed

void* Allocate(std::size_t size) noexcept
{
    const bool track = armed.load(std::memory_order_relaxed);
    if (track) {
        if (failAll.load(std::memory_order_relaxed) || countdown.fetch_sub(1, std::memory_order_relaxed) == 1) {
            return nullptr;
        }
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (block == nullptr) {
        return nullptr;
    }
    const std::uint32_t tag = track ? kTracked : 0u;
    std::memcpy(block, &tag, sizeof tag);
    if (track) {
        outstanding.fetch_add(1, std::memory_order_relaxed);
    }
    return block + kHeader;
}

void Release(void* pointer) noexcept
{
    if (pointer == nullptr) {
        return;
    }
    unsigned char* block = static_cast<unsigned char*>(pointer) - kHeader;
    std::uint32_t tag = 0;
    std::memcpy(&tag, block, sizeof tag);
    if (tag == kTracked) {
        outstanding.fetch_sub(1, std::memory_order_relaxed);
    }
    std::free(block);
}

// Fails the n-th allocation from now (0: none) and counts from zero.
void Arm(long n)
{
    countdown = n == 0 ? -1 : n;
    allocations = 0;
    outstanding = 0;
    armed = true;
}

void Disarm()
{
    armed = false;
    failAll = false;
}

} // namespace

void* operator new(std::size_t size)
{
    void* pointer = Allocate(size);
    if (pointer == nullptr) {
        throw std::bad_alloc();
    }
    return pointer;
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}
void operator delete(void* pointer) noexcept
{
    Release(pointer);
}
void operator delete[](void* pointer) noexcept
{
    Release(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept
{
    Release(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept
{
    Release(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept
{
    Release(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept
{
    Release(pointer);
}

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

// Empty when the run ended normally or for want of memory.
std::string RunArmed(long n)
{
    std::string unexpected;
    Arm(n);
    try {
        RunSmallScene();
    } catch (const std::bad_alloc&) {
    } catch (...) {
        unexpected = NS_Failure::Describe(std::current_exception());
    }
    Disarm();
    return unexpected;
}

TEST(AllocationFailure, EveryFailedAllocationOfASmallSceneIsSurvivedWithoutALeak)
{
    ASSERT_EQ(RunArmed(0), "");
    const long total = allocations.load();
    ASSERT_GT(total, 200);
    ASSERT_EQ(outstanding.load(), 0);
    for (long n = 1; n <= total; ++n) {
        const std::string unexpected = RunArmed(n);
        ASSERT_EQ(unexpected, "") << "allocation " << n << " of " << total;
        ASSERT_EQ(outstanding.load(), 0) << "blocks left after failing allocation " << n << " of " << total;
    }
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
    failAll = true;
    NS_Failure::DescribeInto(failure, words, sizeof words);
    Disarm();
    EXPECT_NE(std::string(words).find("handler"), std::string::npos);
}

} // namespace
