#include "Support/JsonValue.h"

#include <cassert>

namespace lorvantine {

JsonValue JsonValue::array(Array elements)
{
    JsonValue value;
    value.m_value = std::move(elements);
    return value;
}

JsonValue JsonValue::object(Object members)
{
    JsonValue value;
    value.m_value = std::move(members);
    return value;
}

JsonValue& JsonValue::set(std::string key, JsonValue value)
{
    if (isNull())
        m_value = Object {};
    assert(kind() == Kind::object);
    auto* members = std::get_if<Object>(&m_value);
    if (!members)
        return *this;
    for (Member& member : *members) {
        if (member.first == key) {
            member.second = std::move(value);
            return *this;
        }
    }
    members->emplace_back(std::move(key), std::move(value));
    return *this;
}

JsonValue& JsonValue::append(JsonValue element)
{
    if (isNull())
        m_value = Array {};
    assert(kind() == Kind::array);
    if (auto* elements = std::get_if<Array>(&m_value))
        elements->push_back(std::move(element));
    return *this;
}

} // namespace lorvantine
