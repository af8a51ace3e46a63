// The shape shared by handlers that keep a value of their own on each object they
// follow ("Drop", "Rain"): attach a fresh value, overwrite it field by field,
// detach it, and keep the set of objects that carry it.
#pragma once

#include "attributes/attribute_handler.h"
#include "kernel/failure.h"

namespace NS_AttributeHandler {

template <typename Value> class ValueHandler : public AttributeHandler {
public:
    using AttributeHandler::AttributeHandler;

    NS_Attribute::AttributeValue* GetValue(const NS_ObjectIndex::ObjectIndex& reference) override
    {
        return FindOwnAttribute(reference)->value;
    }

    // The typed view that readers want; throws like GetValue.
    Value* GetTyped(const NS_ObjectIndex::ObjectIndex& reference)
    {
        auto* value = dynamic_cast<Value*>(GetValue(reference));
        if (value == nullptr) {
            NS_Failure::Throw<Exception>();
        }
        return value;
    }

    void Attach(const NS_ObjectIndex::ObjectIndex& reference) override
    {
        // Into the set first, so that nothing can fail after the value is on the
        // object and announced; taken out again when attaching fails.
        const auto placed = objects.insert(reference);
        try {
            AttachValue(reference, new Value());
        } catch (...) {
            if (placed.second) {
                objects.erase(placed.first);
            }
            throw;
        }
    }

    void SetValue(const NS_ObjectIndex::ObjectIndex& reference, const NS_Attribute::AttributeValue* value) override
    {
        NS_Attribute::Attribute* attribute = FindOwnAttribute(reference);
        auto* stored = dynamic_cast<Value*>(attribute->value);
        auto* given = dynamic_cast<const Value*>(value);
        // A value of another class has nothing to copy from; refusing it beats slicing.
        if (stored == nullptr || given == nullptr) {
            NS_Failure::Throw<Exception>();
        }
        *stored = *given;
        SendEvent(reference, attribute, NS_Events::Changed);
    }

    void Detach(const NS_ObjectIndex::ObjectIndex& reference) override
    {
        AttributeHandler::Detach(reference);
        objects.erase(reference);
    }

    const ObjectSet& Objects() const { return objects; }

protected:
    ObjectSet objects;
};

} // namespace NS_AttributeHandler
