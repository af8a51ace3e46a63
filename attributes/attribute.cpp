#include "attributes/attribute.h"

namespace NS_Attribute {

AttributeValue::~AttributeValue() = default;

Attribute::Attribute(const std::wstring& attributeName) : name(attributeName) {}

Attribute::~Attribute()
{
    delete value;
}

} // namespace NS_Attribute
