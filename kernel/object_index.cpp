#include "kernel/object_index.h"

#include "kernel/failure.h"

namespace NS_ObjectIndex {

namespace {
StampCounter processStamps;
} // namespace

void ObjectIndex::AssignStamp()
{
    AssignStampFrom(processStamps);
}

void ObjectIndex::AssignStampFrom(StampCounter& stamps)
{
    const std::uint64_t taken = stamps.Take();
    stamp = static_cast<std::int64_t>(taken);
    if (taken + 1 == 0) {
        NS_Failure::Throw<Exception>();
    }
}

std::int64_t PeekNextStamp()
{
    return processStamps.Peek();
}

} // namespace NS_ObjectIndex
