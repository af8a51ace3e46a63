// An object of the scene: a bag of named attributes plus its own reference.
#pragma once

#include "attributes/attributes_collection.h"
#include "kernel/object_index.h"

namespace NS_Object {

class Object {
public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object() = default;

    NS_AttributesCollection::AttributesCollection attributes;
    NS_ObjectIndex::ObjectIndex self;
};

} // namespace NS_Object
