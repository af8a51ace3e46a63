#include "kernel/system_handler.h"

#include "kernel/object.h"

namespace NS_SystemHandler {

SystemValue::~SystemValue() = default;

SystemHandler::SystemHandler(NS_AttributeHandler::UniverseForHandler* owner) : AttributeHandler(owner)
{
    name = L"ObjectIndex";
}

SystemHandler::~SystemHandler() = default;

NS_Attribute::AttributeValue* SystemHandler::GetValue(const NS_ObjectIndex::ObjectIndex& reference)
{
    return FindOwnAttribute(reference)->value;
}

void SystemHandler::AttachObjectIndex(NS_Object::Object* object)
{
    auto* attribute = new NS_Attribute::Attribute(name);
    auto* value = new SystemValue;
    value->object = object->self;
    attribute->value = value;
    try {
        object->attributes.Add(attribute);
    } catch (...) {
        delete attribute;
        throw;
    }
    SendEvent(value->object, nullptr, NS_Events::Attached);
}

} // namespace NS_SystemHandler
