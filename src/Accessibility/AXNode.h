#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// One accessibility element as captured by AXReader::walkTree: plain data, detached from the
// element it came from, so it can be printed, compared or handed to another thread.
struct AXNode {
    std::string role = "unknown";
    std::optional<std::string> title;
    std::optional<std::string> value; // only a string value is captured
    std::optional<std::string> description;
    std::vector<AXNode> children; // in "AXChildren" order; empty at the depth limit
    int depth = 0;

    friend bool operator==(const AXNode&, const AXNode&) = default;
};

} // namespace lorvantine
