// Per-object state: an attribute is a named slot on one object, owning one value.
#pragma once

#include <string>

#include "attributes/attributes_collection.h"
#include "attributes/events.h"

namespace NS_Attribute {

// The polymorphic base of every value that a handler keeps on an object.
class AttributeValue {
public:
    AttributeValue() = default;
    virtual ~AttributeValue();
};

// Named after the handler that placed it; owns its value. Others may subscribe
// to it, to hear of changes of this one object's value.
class Attribute : public NS_Events::EventsSender, public NS_AttributesCollection::AttributesCollectionElement {
public:
    explicit Attribute(const std::wstring& attributeName);
    ~Attribute() override;

    const std::wstring& GetName() const override { return name; }

    // Set by the attribute's creator before the attribute is added to an object.
    AttributeValue* value = nullptr;

private:
    std::wstring name;
};

} // namespace NS_Attribute
