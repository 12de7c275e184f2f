#include "Support/JsonWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "Support/Text.h"

namespace lorvantine {
namespace JsonWriter {

namespace {

void appendQuoted(std::string& out, std::string_view text)
{
    static constexpr char hexDigits[] = "0123456789abcdef";
    const std::string validText = Text::isValidUtf8(text) ? std::string() : Text::fromScalars(Text::scalars(text));
    if (!validText.empty())
        text = validText;
    out.push_back('"');
    for (char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '/': out += "\\/"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\u00";
                out.push_back(hexDigits[(c >> 4) & 0xF]);
                out.push_back(hexDigits[c & 0xF]);
            } else {
                out.push_back(c);
            }
        }
    }
    out.push_back('"');
}

class Serializer {
public:
    Serializer(Style style, KeyOrder keyOrder)
        : m_pretty(style == Style::pretty)
        , m_sorted(keyOrder == KeyOrder::sorted)
    {
    }

    bool write(const JsonValue& value)
    {
        return value.visit([this](const auto& held) { return writeHeld(held); });
    }

    std::string& output() { return m_out; }
    const std::string& failure() const { return m_failure; }

private:
    bool writeHeld(std::nullptr_t)
    {
        m_out += "null";
        return true;
    }
    bool writeHeld(bool value)
    {
        m_out += value ? "true" : "false";
        return true;
    }
    bool writeHeld(int64_t value)
    {
        m_out += std::to_string(value);
        return true;
    }
    bool writeHeld(uint64_t value)
    {
        m_out += std::to_string(value);
        return true;
    }
    bool writeHeld(double value)
    {
        auto text = number(value);
        if (!text) {
            m_failure = "invalid number value (" + std::string(std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf"))
                + ") in JSON write";
            return false;
        }
        m_out += *text;
        return true;
    }
    bool writeHeld(const std::string& value)
    {
        appendQuoted(m_out, value);
        return true;
    }
    bool writeHeld(const JsonValue::Array& elements)
    {
        m_out.push_back('[');
        openLevel();
        bool first = true;
        for (const JsonValue& element : elements) {
            separate(first);
            if (!write(element))
                return false;
        }
        closeLevel();
        m_out.push_back(']');
        return true;
    }
    bool writeHeld(const JsonValue::Object& members)
    {
        std::vector<const JsonValue::Member*> ordered;
        ordered.reserve(members.size());
        for (const JsonValue::Member& member : members)
            ordered.push_back(&member);
        // UTF-8 byte order is code point order.
        if (m_sorted)
            std::stable_sort(ordered.begin(), ordered.end(), [](auto* a, auto* b) { return a->first < b->first; });

        m_out.push_back('{');
        openLevel();
        bool first = true;
        for (const JsonValue::Member* member : ordered) {
            separate(first);
            appendQuoted(m_out, member->first);
            m_out += m_pretty ? " : " : ":";
            if (!write(member->second))
                return false;
        }
        closeLevel();
        m_out.push_back('}');
        return true;
    }

    // Pretty containers, empty ones included, open and close on lines of their own: "[\n\n]".
    void openLevel()
    {
        if (!m_pretty)
            return;
        m_out.push_back('\n');
        m_indent += 2;
    }
    void closeLevel()
    {
        if (!m_pretty)
            return;
        m_out.push_back('\n');
        m_indent -= 2;
        m_out.append(m_indent, ' ');
    }
    void separate(bool& first)
    {
        if (!first)
            m_out += m_pretty ? ",\n" : ",";
        first = false;
        if (m_pretty)
            m_out.append(m_indent, ' ');
    }

    bool m_pretty;
    bool m_sorted;
    size_t m_indent = 0;
    std::string m_out;
    std::string m_failure;
};

} // namespace

Expected<std::string, JsonError> serialize(const JsonValue& value, Style style, KeyOrder keyOrder)
{
    Serializer serializer(style, keyOrder);
    if (!serializer.write(value))
        return Unexpected(JsonError{serializer.failure()});
    return std::move(serializer.output());
}

std::string quoted(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    appendQuoted(out, text);
    return out;
}

std::optional<std::string> number(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace JsonWriter
} // namespace lorvantine
