// Shared between velmora-measure.scr (the saver with its SwapBuffers wrapped)
// and win32_measure.exe: a named mapping with the number of buffer swaps and
// when the latest of them returned (QueryPerformanceCounter), in a ring.
#pragma once

#include <cstdint>

// The mapping's name comes to the saver in this environment variable.
constexpr wchar_t kSwapLogVariable[] = L"VELMORA_SWAP_LOG";

// 65,536 swaps (half an hour at 30 ms): the pacing is that of the latest ones.
// The writer touches every page of the ring before the first swap: pages first
// touched one by one during a soak would add 14 KiB a minute to the measured
// program's resident memory.
constexpr std::uint64_t kSwapLogCapacity = 1u << 16;

struct SwapLog {
    volatile std::uint64_t swaps;
    std::int64_t stamps[kSwapLogCapacity]; // performance counter ticks; swap n at n % capacity
};
