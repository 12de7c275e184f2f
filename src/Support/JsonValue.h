#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace lorvantine {

// A JSON document being built for output. Objects keep their members in the order they were set,
// so a writer can reproduce a fixed key order; sorting is the writer's choice (JsonWriter).
class JsonValue {
public:
    enum class Kind { null, boolean, integer, unsignedInteger, number, string, array, object };
    using Array = std::vector<JsonValue>;
    using Member = std::pair<std::string, JsonValue>;
    using Object = std::vector<Member>;

    JsonValue() = default;
    JsonValue(std::nullptr_t) { }
    JsonValue(bool value)
        : m_value(value)
    {
    }
    template<typename Integer>
        requires std::is_integral_v<Integer> && (!std::is_same_v<Integer, bool>) && (!std::is_same_v<Integer, char>)
    JsonValue(Integer value)
    {
        if constexpr (std::is_signed_v<Integer>)
            m_value = static_cast<int64_t>(value);
        else if (static_cast<uint64_t>(value) <= static_cast<uint64_t>(INT64_MAX))
            m_value = static_cast<int64_t>(value);
        else
            m_value = static_cast<uint64_t>(value);
    }
    JsonValue(double value)
        : m_value(value)
    {
    }
    JsonValue(float value)
        : m_value(static_cast<double>(value))
    {
    }
    JsonValue(const char* value)
        : m_value(std::string(value))
    {
    }
    JsonValue(std::string value)
        : m_value(std::move(value))
    {
    }
    JsonValue(std::string_view value)
        : m_value(std::string(value))
    {
    }

    static JsonValue array(Array elements = {});
    // `JsonValue::object({{"index", 3}, {"text", "Hi"}})` keeps that order.
    static JsonValue object(Object members = {});

    Kind kind() const { return static_cast<Kind>(m_value.index()); }
    bool isNull() const { return kind() == Kind::null; }

    // Sets a member of an object (a null value becomes an empty object first). A new key goes
    // last; an existing key keeps its place and takes the new value.
    JsonValue& set(std::string key, JsonValue value);
    // Sets the member only when there is a value: optional fields are left out, never null.
    template<typename T>
    JsonValue& setOptional(std::string key, const std::optional<T>& value)
    {
        if (value)
            set(std::move(key), JsonValue(*value));
        return *this;
    }
    // Appends to an array (a null value becomes an empty array first).
    JsonValue& append(JsonValue element);

    friend bool operator==(const JsonValue&, const JsonValue&) = default;

    // Calls `visitor` with the held value: std::nullptr_t, bool, int64_t, uint64_t, double,
    // std::string, Array or Object.
    template<typename Visitor>
    decltype(auto) visit(Visitor&& visitor) const
    {
        return std::visit(std::forward<Visitor>(visitor), m_value);
    }

private:
    std::variant<std::nullptr_t, bool, int64_t, uint64_t, double, std::string, Array, Object> m_value;
};

} // namespace lorvantine
