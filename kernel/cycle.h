// The length of one simulation cycle: the worker's pace, and how far the
// driver of an unpaced universe moves the kernel's clock from one cycle to the
// next, so that a tool's run stands for the saver's time.
#pragma once

#include <cstdint>

namespace NS_Universe {

constexpr std::int32_t kCycleMilliseconds = 30;
// In the kernel's time unit, the FILETIME's 100 ns.
constexpr std::uint64_t kCycleTimeUnits = 10000ull * kCycleMilliseconds;

} // namespace NS_Universe
