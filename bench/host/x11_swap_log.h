// The file shared by x11_swap_counter.so (in the measured program) and
// x11_measure: the number of buffer swaps so far and when the latest of them
// returned, on CLOCK_MONOTONIC, in a ring.
#pragma once

#include <cstdint>

// 65,536 swaps (half an hour at 30 ms): the pacing is that of the latest ones.
// The writer touches every page of the ring before the first swap: pages first
// touched one by one during a soak would add 14 KiB a minute to the measured
// program's resident memory.
constexpr std::uint64_t kSwapLogCapacity = 1u << 16;

struct SwapLog {
    std::uint64_t swaps;
    std::int64_t stamps[kSwapLogCapacity]; // nanoseconds; swap n at n % capacity
};
