// Shared between velmora-measure.scr (the saver with its SwapBuffers wrapped)
// and win32_measure.exe: a named mapping with the number of buffer swaps and
// when the latest of them returned (QueryPerformanceCounter), in a ring.
#pragma once

#include <cstdint>

// The mapping's name comes to the saver in this environment variable.
constexpr wchar_t kSwapLogVariable[] = L"VELMORA_SWAP_LOG";

// Nine hours of frames at 30 ms: a soak never wraps the ring.
constexpr std::uint64_t kSwapLogCapacity = 1u << 20;

struct SwapLog {
    volatile std::uint64_t swaps;
    std::int64_t stamps[kSwapLogCapacity]; // performance counter ticks; swap n at n % capacity
};
