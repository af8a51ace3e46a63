// The handler base: a named unit of behaviour that keeps one kind of per-object
// state on objects, reacts to events and talks to the universe through the
// services of UniverseForHandler.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "attributes/attribute.h"
#include "attributes/attributes_collection.h"
#include "attributes/events.h"
#include "kernel/filetime.h"
#include "kernel/object_index.h"

namespace NS_Object {
class Object;
}

namespace NS_AttributeHandler {

class Exception {};

class AttributeHandler;

// The universe's services to its handlers. Never destroyed through this interface.
class UniverseForHandler {
public:
    virtual NS_Object::Object* FindObject(const NS_ObjectIndex::ObjectIndex& reference) = 0;
    virtual AttributeHandler* GetHandler(const std::wstring& name) = 0;
    virtual NS_Object::Object* CreateObject() = 0;
    virtual void DestroyObject(const NS_ObjectIndex::ObjectIndex& reference) = 0;
    virtual NS_Events::EventQueue* GetEventQueue() = 0;
    virtual FILETIME GetTime() = 0;

protected:
    UniverseForHandler() = default;
    ~UniverseForHandler() = default;
};

class AttributeHandler : public NS_Events::EventsSender, public NS_AttributesCollection::AttributesCollectionElement {
public:
    explicit AttributeHandler(UniverseForHandler* owner);
    ~AttributeHandler() override;

    virtual void Init();
    virtual NS_Attribute::AttributeValue* GetValue(const NS_ObjectIndex::ObjectIndex& reference);
    virtual void Attach(const NS_ObjectIndex::ObjectIndex& reference);
    virtual void SetValue(const NS_ObjectIndex::ObjectIndex& reference, const NS_Attribute::AttributeValue* value);
    // Removes this handler's attribute from the object and sends Detached.
    virtual void Detach(const NS_ObjectIndex::ObjectIndex& reference);
    virtual void Handle(const NS_Events::Event& event);

    const std::wstring& GetName() const override { return name; }

    // Subscribes this handler to the events of the handler of that name.
    void SubscribeTo(const std::wstring& handlerName, std::uint32_t mask);

protected:
    // Consumes the value in every case past the null check: kept on success, destroyed on failure.
    void AttachValue(const NS_ObjectIndex::ObjectIndex& reference, NS_Attribute::AttributeValue* value);
    void SendEvent(const NS_ObjectIndex::ObjectIndex& reference, const NS_Events::EventsSender* extra,
                   std::uint32_t kind);

    // The one lookup behind every GetValue: this handler's attribute on a live object.
    NS_Attribute::Attribute* FindOwnAttribute(const NS_ObjectIndex::ObjectIndex& reference);

    UniverseForHandler* const universe;
    std::wstring name;
};

} // namespace NS_AttributeHandler

// The objects a handler follows, ordered by stamp (so by creation).
using ObjectSet = std::set<NS_ObjectIndex::ObjectIndex>;
