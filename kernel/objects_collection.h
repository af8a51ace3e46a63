// The universe's table of live objects: slots found in one step by a reference,
// free slots kept on a stack so that the slot freed last is reused first.
#pragma once

#include <cstdint>
#include <vector>

#include "kernel/object.h"

namespace NS_ObjectsCollection {

class Exception {};

class ObjectsCollection {
public:
    ObjectsCollection() = default;
    ObjectsCollection(const ObjectsCollection&) = delete;
    ObjectsCollection& operator=(const ObjectsCollection&) = delete;
    // Deletes whatever objects are still held (a destructor must not throw);
    // owners that care check IsEmpty() first.
    ~ObjectsCollection();

    // Leaves the table as it was when it throws (also when growing it fails).
    void Add(NS_Object::Object* object);
    NS_Object::Object* Find(const NS_ObjectIndex::ObjectIndex& reference) const
    {
        if (reference.index < 0 || static_cast<std::size_t>(reference.index) >= slots.size()) {
            return nullptr;
        }
        NS_Object::Object* object = slots[static_cast<std::size_t>(reference.index)];
        return (object != nullptr && object->self.stamp == reference.stamp) ? object : nullptr;
    }
    void Remove(const NS_ObjectIndex::ObjectIndex& reference);
    void LiveObjects(std::vector<NS_Object::Object*>& list) const;

    // Slot by slot, for walks that must survive objects going while they walk:
    // every index below SlotCount() is valid, a free slot gives null.
    std::size_t SlotCount() const { return slots.size(); }
    NS_Object::Object* InSlot(std::size_t slot) const { return slots[slot]; }

    bool IsEmpty() const { return slots.size() == static_cast<std::size_t>(freeCount); }
    std::size_t LiveCount() const { return slots.size() - static_cast<std::size_t>(freeCount); }

private:
    std::vector<NS_Object::Object*> slots;
    std::vector<std::int32_t> freeSlots;
    std::int32_t freeCount = 0;
};

} // namespace NS_ObjectsCollection
