#pragma once

#include <string>
#include <string_view>

#include "Support/Expected.h"
#include "Support/JsonValue.h"

namespace lorvantine {

struct JsonError {
    std::string message;
};

// Writes JSON the way the platform's serialiser does, since other programs read these files:
// "/" escaped as "\/", other non-ASCII text as UTF-8, control characters as escapes, doubles in
// their shortest round-trip form without a trailing ".0", and in pretty form a two-space indent
// with " : " between key and value.
namespace JsonWriter {

enum class Style { compact, pretty };
enum class KeyOrder { asWritten, sorted }; // sorted: ascending Unicode code point order, at every depth

// Fails only for a non-finite number, which JSON cannot express.
Expected<std::string, JsonError> serialize(const JsonValue& value, Style style = Style::compact,
                                           KeyOrder keyOrder = KeyOrder::asWritten);

// The quoted, escaped form of one string.
std::string quoted(std::string_view text);
// The shortest form that reads back to the same double; none for NaN and infinities.
std::optional<std::string> number(double value);

} // namespace JsonWriter
} // namespace lorvantine
