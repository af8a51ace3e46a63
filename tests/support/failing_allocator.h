// Replaces the global allocation functions of the test executable that links
// failing_allocator.cpp (and only of that one): once armed, the N-th allocation
// fails, and each block remembers whether it was made while armed, so that the
// blocks a run leaves behind can be counted.
#pragma once

#include <functional>
#include <string>

namespace velmora_test::failing_allocator {

// Fails the n-th allocation from now (0: none) and counts from zero.
void Arm(long n);
// From now until Disarm, every allocation fails.
void FailAll();
void Disarm();

long Allocations(); // made while armed
long Outstanding(); // made while armed and not yet freed

// Runs `run` once armed with no failure to count its allocations, then once
// for each of them with that one failing. Returns what went wrong first (an
// exception other than std::bad_alloc, or blocks left behind), or "" when
// every run ended cleanly; `total` is the number of allocations of one run.
std::string FailEachAllocationInTurn(const std::function<void()>& run, long& total);

} // namespace velmora_test::failing_allocator
