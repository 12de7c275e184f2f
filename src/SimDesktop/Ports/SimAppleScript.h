#pragma once

#include "Support/Expected.h"

#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

// The part of AppleScript the program sends to other applications, read statement by statement
// (one per line, or one line alone):
//   tell application id "com.example.App" to activate
//   delay 0.5
//   tell application "System Events" to key code 124
// Anything else is refused with a message naming the statement, as a script error would be.
namespace SimAppleScript {

struct Statement {
    enum class Kind { activate, delay, keyCode };
    Kind kind = Kind::delay;
    std::string bundleID; // activate
    double seconds = 0;   // delay
    int keyCode = 0;      // keyCode

    friend bool operator==(const Statement&, const Statement&) = default;
};

Expected<std::vector<Statement>, std::string> parse(std::string_view source);

} // namespace SimAppleScript
} // namespace lorvantine
