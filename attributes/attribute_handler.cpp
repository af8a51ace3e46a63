#include "attributes/attribute_handler.h"

#include <memory>

#include "kernel/failure.h"
#include "kernel/object.h"

namespace NS_AttributeHandler {

AttributeHandler::AttributeHandler(UniverseForHandler* owner) : universe(owner) {}

AttributeHandler::~AttributeHandler() = default;

void AttributeHandler::Init() {}

NS_Attribute::AttributeValue* AttributeHandler::GetValue(const NS_ObjectIndex::ObjectIndex&)
{
    NS_Failure::Throw<Exception>();
}

void AttributeHandler::Attach(const NS_ObjectIndex::ObjectIndex&)
{
    NS_Failure::Throw<Exception>();
}

void AttributeHandler::SetValue(const NS_ObjectIndex::ObjectIndex&, const NS_Attribute::AttributeValue*)
{
    NS_Failure::Throw<Exception>();
}

void AttributeHandler::Detach(const NS_ObjectIndex::ObjectIndex& reference)
{
    NS_Object::Object* object = universe->FindObject(reference);
    if (object == nullptr) {
        NS_Failure::Throw<Exception>();
    }
    object->attributes.Remove(name);
    SendEvent(reference, nullptr, NS_Events::Detached);
}

void AttributeHandler::Handle(const NS_Events::Event&) {}

void AttributeHandler::SubscribeTo(const std::wstring& handlerName, std::uint32_t mask)
{
    universe->GetHandler(handlerName)->Subscribe(mask, name);
}

NS_Attribute::Attribute* AttributeHandler::FindOwnAttribute(const NS_ObjectIndex::ObjectIndex& reference)
{
    NS_Object::Object* object = universe->FindObject(reference);
    if (object == nullptr) {
        NS_Failure::Throw<Exception>();
    }
    auto* attribute = dynamic_cast<NS_Attribute::Attribute*>(object->attributes.Find(name));
    if (attribute == nullptr) {
        NS_Failure::Throw<Exception>();
    }
    return attribute;
}

void AttributeHandler::AttachValue(const NS_ObjectIndex::ObjectIndex& reference, NS_Attribute::AttributeValue* value)
{
    if (value == nullptr) {
        NS_Failure::Throw<Exception>();
    }
    // Owned from here on, whatever fails below (out of memory included).
    std::unique_ptr<NS_Attribute::AttributeValue> owned(value);
    NS_Object::Object* object = universe->FindObject(reference);
    if (object == nullptr) {
        NS_Failure::Throw<Exception>();
    }
    auto attribute = std::make_unique<NS_Attribute::Attribute>(name);
    attribute->value = owned.release();
    try {
        object->attributes.Add(attribute.get());
    } catch (NS_AttributesCollection::Exception* refused) {
        delete refused;
        NS_Failure::Throw<Exception>();
    }
    attribute.release();
    SendEvent(reference, nullptr, NS_Events::Attached);
}

void AttributeHandler::SendEvent(const NS_ObjectIndex::ObjectIndex& reference, const NS_Events::EventsSender* extra,
                                 std::uint32_t kind)
{
    NS_Events::Event event;
    event.object = reference;
    event.source = name;
    event.kind = kind;
    NS_Events::EventQueue* queue = universe->GetEventQueue();
    Post(event, *queue);
    if (extra != nullptr) {
        extra->Post(event, *queue);
    }
}

} // namespace NS_AttributeHandler
