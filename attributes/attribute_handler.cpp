#include "attributes/attribute_handler.h"

#include <new>

#include "kernel/object.h"

namespace NS_AttributeHandler {

void Fail()
{
    throw new (std::nothrow) Exception;
}

AttributeHandler::AttributeHandler(UniverseForHandler* owner) : universe(owner) {}

AttributeHandler::~AttributeHandler() = default;

void AttributeHandler::Init() {}

NS_Attribute::AttributeValue* AttributeHandler::GetValue(const NS_ObjectIndex::ObjectIndex&)
{
    Fail();
}

void AttributeHandler::Attach(const NS_ObjectIndex::ObjectIndex&)
{
    Fail();
}

void AttributeHandler::SetValue(const NS_ObjectIndex::ObjectIndex&, const NS_Attribute::AttributeValue*)
{
    Fail();
}

void AttributeHandler::Detach(const NS_ObjectIndex::ObjectIndex& reference)
{
    NS_Object::Object* object = universe->FindObject(reference);
    if (object == nullptr) {
        Fail();
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
        Fail();
    }
    auto* attribute = dynamic_cast<NS_Attribute::Attribute*>(object->attributes.Find(name));
    if (attribute == nullptr) {
        Fail();
    }
    return attribute;
}

void AttributeHandler::AttachValue(const NS_ObjectIndex::ObjectIndex& reference, NS_Attribute::AttributeValue* value)
{
    if (value == nullptr) {
        Fail();
    }
    NS_Object::Object* object = universe->FindObject(reference);
    if (object == nullptr) {
        delete value;
        Fail();
    }
    auto* attribute = new NS_Attribute::Attribute(name);
    attribute->value = value;
    try {
        object->attributes.Add(attribute);
    } catch (NS_AttributesCollection::Exception* refused) {
        delete refused;
        delete attribute; // takes the value with it
        Fail();
    }
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
