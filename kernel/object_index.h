// The reference to an object: its slot in the universe's table and a stamp that
// is unique within the process. Ordered by stamp, hence by creation.
#pragma once

#include <atomic>
#include <cstdint>

namespace NS_ObjectIndex {

class Exception {};

// Hands out stamps in order; unsigned inside, so that the wrap is defined.
class StampCounter {
public:
    constexpr explicit StampCounter(std::int64_t next = 0) : counter(static_cast<std::uint64_t>(next)) {}
    // The universe never shares the process's counter between threads at once;
    // the atomic only keeps tests with two universes honest.
    std::uint64_t Take() { return counter.fetch_add(1, std::memory_order_relaxed); }
    std::int64_t Peek() const { return static_cast<std::int64_t>(counter.load(std::memory_order_relaxed)); }

private:
    std::atomic<std::uint64_t> counter;
};

struct ObjectIndex {
    std::int32_t index = -1;
    std::int64_t stamp = 0;

    // Takes the next stamp of the process-wide counter; throws once the counter wraps to 0.
    void AssignStamp();
    // The same from another counter.
    void AssignStampFrom(StampCounter& stamps);

    bool operator<(const ObjectIndex& other) const { return stamp < other.stamp; }
};

// The stamp the next object will get. The counter is process-wide and never reset,
// so a second universe goes on where the first stopped.
std::int64_t PeekNextStamp();

} // namespace NS_ObjectIndex
