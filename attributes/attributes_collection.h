// A container of named elements (an object's attributes, a universe's handlers):
// keyed by the element's own name, duplicates refused, owned, listed in name order.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace NS_AttributesCollection {

class Exception {};

// What a collection can hold: anything with a name that does not change while it is held.
class AttributesCollectionElement {
public:
    virtual ~AttributesCollectionElement();
    virtual const std::wstring& GetName() const = 0;
};

class AttributesCollection {
public:
    AttributesCollection() = default;
    AttributesCollection(const AttributesCollection&) = delete;
    AttributesCollection& operator=(const AttributesCollection&) = delete;
    virtual ~AttributesCollection();

    // Takes ownership on success; on a duplicate name throws and the caller keeps the element.
    void Add(AttributesCollectionElement* element);
    // Destroys the element of that name; throws when there is none.
    void Remove(const std::wstring& name);
    AttributesCollectionElement* Find(const std::wstring& name) const;
    // Replaces the list's contents with every element, in ascending name order.
    void GetAll(std::vector<AttributesCollectionElement*>& list) const;

    std::size_t Count() const { return elements.size(); }

private:
    // std::wstring's ordering compares code units as unsigned values, a proper
    // prefix first; on Windows those units are the UTF-16 ones.
    std::map<std::wstring, AttributesCollectionElement*> elements;
};

} // namespace NS_AttributesCollection

namespace NS_HandlersCollection {

// The universe's registry of handlers: the same container under a type of its own.
class HandlersCollection : public NS_AttributesCollection::AttributesCollection {
public:
    ~HandlersCollection() override;
};

} // namespace NS_HandlersCollection
