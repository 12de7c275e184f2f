#pragma once

#include "Support/Expected.h"

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace lorvantine::JsonReading {

// What a reader of outside input accepts. Deeper documents are refused before they are built:
// a document that loads but is deeper than the stack allows would only fail later, when it is
// written out or compared.
struct Limits {
    size_t maxDepth = 512;
    // Zero: any size.
    size_t maxBytes = 0;
    // Values of any kind, containers included (object keys are not values). Bounds what the
    // document costs in memory, which can be many times its text. Zero: any number.
    size_t maxValues = 0;
};

struct Failure {
    // Where the reader stopped, in bytes from the start.
    size_t byte = 0;
    // The reason in plain words, without the library's "[json.exception…]" prefix.
    std::string message;
    // The reader stopped at one of the limits (depth, values, size), not at a fault of the text:
    // what it read so far was well formed.
    bool beyondLimits = false;
};

// Parses strict JSON (RFC 8259: no comments, no trailing commas, UTF-8 only). Never throws:
// malformed text, numbers out of a double's range, documents nested deeper than the limit or
// holding more values than it allows, and texts above the size limit all come back as a Failure.
Expected<nlohmann::json, Failure> parse(std::string_view text, Limits limits = {});
Expected<nlohmann::ordered_json, Failure> parseOrdered(std::string_view text, Limits limits = {});
// The same for a document in CBOR (RFC 8949), the binary form of messages between processes.
Expected<nlohmann::json, Failure> parseCbor(std::string_view bytes, Limits limits = {});

} // namespace lorvantine::JsonReading
