#include "kernel/object_index.h"

#include "kernel/failure.h"
#include <atomic>

namespace NS_ObjectIndex {

namespace {
// Unsigned so that the wrap is defined; the universe never shares it between
// threads at once, the atomic only keeps tests with two universes honest.
std::atomic<std::uint64_t> counter{0};
} // namespace

void ObjectIndex::AssignStamp()
{
    const std::uint64_t taken = counter.fetch_add(1, std::memory_order_relaxed);
    stamp = static_cast<std::int64_t>(taken);
    if (taken + 1 == 0) {
        NS_Failure::Throw<Exception>();
    }
}

std::int64_t PeekNextStamp()
{
    return static_cast<std::int64_t>(counter.load(std::memory_order_relaxed));
}

void RestartStampCounterAt(std::int64_t next)
{
    counter.store(static_cast<std::uint64_t>(next), std::memory_order_relaxed);
}

} // namespace NS_ObjectIndex
