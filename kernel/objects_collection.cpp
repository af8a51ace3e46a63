#include "kernel/objects_collection.h"

#include <new>

namespace NS_Object {

Object::~Object() = default;

} // namespace NS_Object

namespace NS_ObjectsCollection {

namespace {
[[noreturn]] void Fail()
{
    throw new (std::nothrow) Exception;
}
} // namespace

ObjectsCollection::~ObjectsCollection()
{
    for (NS_Object::Object* object : slots) {
        delete object;
    }
}

void ObjectsCollection::Add(NS_Object::Object* object)
{
    if (object->self.index != -1) {
        Fail();
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
        Fail();
    }
    object->self.index = static_cast<std::int32_t>(slots.size());
    slots.push_back(object);
    freeSlots.push_back(0);
}

void ObjectsCollection::Remove(const NS_ObjectIndex::ObjectIndex& reference)
{
    NS_Object::Object* object = Find(reference);
    if (object == nullptr) {
        Fail();
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
