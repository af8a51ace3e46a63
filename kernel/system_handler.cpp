#include "kernel/system_handler.h"

#include <memory>

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
    auto value = std::make_unique<SystemValue>();
    value->object = object->self;
    auto attribute = std::make_unique<NS_Attribute::Attribute>(name);
    attribute->value = value.release();
    object->attributes.Add(attribute.get());
    attribute.release();
    SendEvent(object->self, nullptr, NS_Events::Attached);
}

} // namespace NS_SystemHandler
