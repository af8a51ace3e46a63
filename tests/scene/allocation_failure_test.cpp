// The rain scene's start, first cycles and teardown with each of its
// allocations made to fail in turn.
#include <gtest/gtest.h>

#include <new>

#include "kernel/failure.h"
#include "scene/headless_run.h"
#include "tests/support/failing_allocator.h"

using namespace velmora_test::failing_allocator;

namespace {

// Empty when the run ended normally or for want of memory.
std::string RunArmed(long n)
{
    std::string unexpected;
    Arm(n);
    try {
        HeadlessRun run(20240101);
        run.RunCycles(3);
    } catch (const std::bad_alloc&) {
    } catch (...) {
        unexpected = NS_Failure::Describe(std::current_exception());
    }
    Disarm();
    return unexpected;
}

TEST(SceneAllocationFailure, EveryFailedAllocationIsSurvivedWithoutALeak)
{
    ASSERT_EQ(RunArmed(0), "");
    const long total = Allocations();
    ASSERT_GT(total, 100);
    ASSERT_EQ(Outstanding(), 0);
    for (long n = 1; n <= total; ++n) {
        const std::string unexpected = RunArmed(n);
        ASSERT_EQ(unexpected, "") << "allocation " << n << " of " << total;
        ASSERT_EQ(Outstanding(), 0) << "blocks left after failing allocation " << n << " of " << total;
    }
    std::printf("failed each of %ld allocations in turn\n", total);
}

} // namespace
