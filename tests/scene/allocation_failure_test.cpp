// The rain scene's start, first cycles and teardown with each of its
// allocations made to fail in turn.
#include <gtest/gtest.h>

#include <new>

#include "scene/headless_run.h"
#include "tests/support/failing_allocator.h"

using namespace velmora_test::failing_allocator;

namespace {

TEST(SceneAllocationFailure, EveryFailedAllocationIsSurvivedWithoutALeak)
{
    long total = 0;
    const auto startCyclesAndTearDown = [] {
        HeadlessRun run(20240101);
        run.RunCycles(3);
    };
    EXPECT_EQ(FailEachAllocationInTurn(startCyclesAndTearDown, total), "");
    EXPECT_GT(total, 100);
    std::printf("failed each of %ld allocations in turn\n", total);
}

} // namespace
