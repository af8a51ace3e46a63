// The file shared by x11_swap_counter.so (in the measured program) and
// x11_measure: the number of buffer swaps so far and when the latest of them
// returned, on CLOCK_MONOTONIC, in a ring.
#pragma once

#include <cstdint>

// Nine hours of frames at 30 ms: a soak never wraps the ring.
constexpr std::uint64_t kSwapLogCapacity = 1u << 20;

struct SwapLog {
    std::uint64_t swaps;
    std::int64_t stamps[kSwapLogCapacity]; // nanoseconds; swap n at n % capacity
};
