#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// What "--probe-e2e" records for one application: the steps of the selection road in the order
// they ran. Steps after the first failure are absent, not failed. Plain values.
namespace EndToEndProbeRunner {

struct E2EStep {
    std::string name; // "launch", "find_text", "find_range", "bfr_screen", "bubble_shown", "bubble_press", "overlay_shown"
    bool pass = false;
    std::optional<std::string> reason; // why it failed; a few passing steps carry a detail instead
    friend bool operator==(const E2EStep&, const E2EStep&) = default;
};

struct E2EResult {
    std::string app; // the configuration's display name
    std::string scenario = "single_line";
    std::vector<E2EStep> steps;
    bool passed() const
    {
        for (const E2EStep& step : steps)
            if (!step.pass)
                return false;
        return true;
    }
    // Whether the run got as far as clicking the program's bubble.
    bool pressedBubble() const
    {
        return std::any_of(steps.begin(), steps.end(), [](const E2EStep& step) { return step.name == "bubble_press" && step.pass; });
    }
    friend bool operator==(const E2EResult&, const E2EResult&) = default;
};

} // namespace EndToEndProbeRunner
} // namespace lorvantine
