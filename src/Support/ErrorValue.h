#pragma once

#include <cstdint>
#include <string>

namespace lorvantine {

// An error as a value, in the platform's shape: a domain naming who failed ("NSURLErrorDomain",
// "TTS", ...), that domain's code, and a text for people (the localized description).
struct ErrorValue {
    std::string domain;
    int64_t code = 0;
    std::string description;

    bool operator==(const ErrorValue&) const = default;
};

} // namespace lorvantine
