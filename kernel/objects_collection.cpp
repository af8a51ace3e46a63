#include "kernel/objects_collection.h"

#include "kernel/failure.h"

namespace NS_ObjectsCollection {

using NS_Failure::Throw;

ObjectsCollection::~ObjectsCollection()
{
    for (NS_Object::Object* object : slots) {
        delete object;
    }
}

void ObjectsCollection::Add(NS_Object::Object* object)
{
    if (object->self.index != -1) {
        Throw<Exception>();
    }
    if (freeCount > 0) {
        --freeCount;
        const std::int32_t slot = freeSlots[static_cast<std::size_t>(freeCount)];
        slots[static_cast<std::size_t>(slot)] = object;
        object->self.index = slot;
        return;
    }
    // A negative index means "null reference", so the table stops short of wrapping.
    if (slots.size() >= static_cast<std::size_t>(INT32_MAX)) {
        Throw<Exception>();
    }
    // Both arrays grow before anything is written, so that a failed growth
    // leaves them the same length and the object without a slot.
    freeSlots.push_back(0);
    try {
        slots.push_back(object);
    } catch (...) {
        freeSlots.pop_back();
        throw;
    }
    object->self.index = static_cast<std::int32_t>(slots.size() - 1);
}

void ObjectsCollection::Remove(const NS_ObjectIndex::ObjectIndex& reference)
{
    NS_Object::Object* object = Find(reference);
    if (object == nullptr) {
        Throw<Exception>();
    }
    // The reference may be the object's own `self`: take the slot before the delete.
    const std::int32_t slot = reference.index;
    delete object;
    slots[static_cast<std::size_t>(slot)] = nullptr;
    freeSlots[static_cast<std::size_t>(freeCount)] = slot;
    ++freeCount;
}

void ObjectsCollection::LiveObjects(std::vector<NS_Object::Object*>& list) const
{
    list.clear();
    list.reserve(LiveCount());
    for (NS_Object::Object* object : slots) {
        if (object != nullptr) {
            list.push_back(object);
        }
    }
}

} // namespace NS_ObjectsCollection
