// The kernel's own handler, "ObjectIndex": it gives every new object an attribute
// that holds the object's own reference.
#pragma once

#include "attributes/attribute_handler.h"

namespace NS_SystemHandler {

class SystemValue : public NS_Attribute::AttributeValue {
public:
    ~SystemValue() override;

    NS_ObjectIndex::ObjectIndex object;
};

class SystemHandler : public NS_AttributeHandler::AttributeHandler {
public:
    explicit SystemHandler(NS_AttributeHandler::UniverseForHandler* owner);
    ~SystemHandler() override;

    NS_Attribute::AttributeValue* GetValue(const NS_ObjectIndex::ObjectIndex& reference) override;

    // Called by the universe for each object it creates, once its stamp and slot are set.
    void AttachObjectIndex(NS_Object::Object* object);
};

} // namespace NS_SystemHandler
