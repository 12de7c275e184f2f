#pragma once

#include "Support/JsonReading.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reads what can still be read from a damaged JSON object file, one top-level member at a time,
// so that one broken entry does not cost its neighbours.
namespace lorvantine::TolerantObjectReader {

struct Result {
    // Every member whose key and value read strictly; a repeated key keeps its last value.
    nlohmann::json members = nlohmann::json::object();
    // The keys of the members left out, in the order of the text; empty for an unreadable key.
    std::vector<std::string> dropped;
};

// Each member's value is read strictly within `limits` (one level less, for the object around
// it); a member that does not read is skipped up to the next comma or closing brace outside
// strings and brackets, and so is one the text ends in the middle of. Damage ends a member
// early rather than let it take its neighbours: a string that a line break ends before its
// closing quote, or a list that a member's key follows before its ']'. Comments, stray commas
// between members and a comma missing between them are passed over. None when the text does not begin with an object.
std::optional<Result> read(std::string_view text, JsonReading::Limits limits = {});

} // namespace lorvantine::TolerantObjectReader
