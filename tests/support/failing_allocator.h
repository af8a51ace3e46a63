// Replaces the global allocation functions of the test executable that links
// failing_allocator.cpp (and only of that one): once armed, the N-th allocation
// fails, and each block remembers whether it was made while armed, so that the
// blocks a run leaves behind can be counted.
#pragma once

namespace velmora_test::failing_allocator {

// Fails the n-th allocation from now (0: none) and counts from zero.
void Arm(long n);
// From now until Disarm, every allocation fails.
void FailAll();
void Disarm();

long Allocations(); // made while armed
long Outstanding(); // made while armed and not yet freed

} // namespace velmora_test::failing_allocator
