// The reference to an object: its slot in the universe's table and a stamp that
// is unique within the process. Ordered by stamp, hence by creation.
#pragma once

#include <cstdint>

namespace NS_ObjectIndex {

class Exception {};

struct ObjectIndex {
    std::int32_t index = -1;
    std::int64_t stamp = 0;

    // Takes the next stamp of the process-wide counter; throws once the counter wraps to 0.
    void AssignStamp();

    bool operator<(const ObjectIndex& other) const { return stamp < other.stamp; }
};

// The stamp the next object will get. The counter is process-wide and never reset,
// so a second universe goes on where the first stopped.
std::int64_t PeekNextStamp();
// Moves the counter, so that exhaustion can be exercised without 2^64 objects.
void RestartStampCounterAt(std::int64_t next);

} // namespace NS_ObjectIndex
