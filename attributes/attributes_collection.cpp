#include "attributes/attributes_collection.h"

#include "kernel/failure.h"

namespace NS_AttributesCollection {

using NS_Failure::Throw;

AttributesCollectionElement::~AttributesCollectionElement() = default;

AttributesCollection::~AttributesCollection()
{
    for (auto& entry : elements) {
        delete entry.second;
    }
}

void AttributesCollection::Add(AttributesCollectionElement* element)
{
    std::wstring key = element->GetName();
    auto found = elements.lower_bound(key);
    if (found != elements.end() && found->first == key) {
        Throw<Exception>();
    }
    elements.emplace_hint(found, std::move(key), element);
}

void AttributesCollection::Remove(const std::wstring& name)
{
    auto found = elements.find(name);
    if (found == elements.end()) {
        Throw<Exception>();
    }
    delete found->second;
    elements.erase(found);
}

AttributesCollectionElement* AttributesCollection::Find(const std::wstring& name) const
{
    auto found = elements.find(name);
    return found == elements.end() ? nullptr : found->second;
}

void AttributesCollection::GetAll(std::vector<AttributesCollectionElement*>& list) const
{
    list.clear();
    list.reserve(elements.size());
    for (const auto& entry : elements) {
        list.push_back(entry.second);
    }
}

} // namespace NS_AttributesCollection

namespace NS_HandlersCollection {

HandlersCollection::~HandlersCollection() = default;

} // namespace NS_HandlersCollection
